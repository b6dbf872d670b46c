#!/usr/bin/env bash
# Builds the Debian package from the build folder into a scratch folder and checks what it
# declares and holds: the libraries worked out from the programs, the QML modules named by hand,
# the recommended helpers, and the files a desktop needs. Usage: check-deb.sh BUILD_DIR
set -euo pipefail
build=$1
out=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-deb.XXXXXX")
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" > "$out/cpack.log" 2>&1 \
    || { cat "$out/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$out"/zorvane_*_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "no package made"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6core6 libqt6quick6 libqcoro6core0 libssl3 libavahi-client3 \
        qml6-module-qtquick-controls qml6-module-qtquick-dialogs qml6-module-qt-labs-folderlistmodel; do
    grep -q "\b$needed\b" <<< "$depends" || fail "Depends lacks $needed: $depends"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
for wanted in adb avahi-daemon fonts-noto-cjk; do
    grep -q "\b$wanted\b" <<< "$recommends" || fail "Recommends lacks $wanted: $recommends"
done
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/zorvane ./usr/bin/zorvane-cli ./usr/bin/zorvane-phone \
        ./usr/share/applications/io.zorvane.Zorvane.desktop ./usr/share/metainfo/io.zorvane.Zorvane.metainfo.xml \
        ./usr/share/icons/hicolor/48x48/apps/io.zorvane.Zorvane.png ./usr/share/man/man1/zorvane.1; do
    grep -q " $file\$" <<< "$contents" || fail "the package lacks $file"
done
echo "package $(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $depends"
