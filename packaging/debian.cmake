# The Debian package (`cpack -G DEB` in a build folder). The shared libraries it needs are worked
# out by dpkg-shlibdeps from the programs themselves; what Qt loads at run time without linking
# (QML modules, the SVG plugins, the platform plugins) is named here, as are the helpers Zorvane
# uses when they are there.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorvane)
set(CPACK_PACKAGE_VENDOR Zorvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "move files between this computer and a phone")
set(CPACK_PACKAGE_DESCRIPTION "Zorvane moves files and whole folders between this computer and a phone that runs
its companion app, over WiFi, an iPhone's USB link or an Android cable (adb), and
checks every transfer with SHA-256 on both sides. It also edits the phone's files.
The package holds the window (zorvane), the command-line tool (zorvane-cli) and a
stand-in for the phone's server (zorvane-phone).")
set(CPACK_PACKAGE_CONTACT "Zorvane <packaging@zorvane.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-templates, qml6-module-qtquick-layouts, qml6-module-qtquick-window, qml6-module-qtquick-dialogs, qml6-module-qtqml-workerscript, qml6-module-qt-labs-folderlistmodel, qt6-qpa-plugins, libqt6svg6, adwaita-icon-theme | breeze-icon-theme")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "adb, avahi-daemon, fonts-noto-cjk, qt6-translations-l10n")
include(CPack)
