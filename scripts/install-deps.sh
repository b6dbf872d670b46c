#!/usr/bin/env bash
# Installs the Debian 12 packages Zorvane needs to build, test and run; only missing ones.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-declarative-dev qt6-svg-dev qt6-qpa-plugins
    qml6-module-qtquick qml6-module-qtqml qml6-module-qtquick-controls qml6-module-qtquick-templates
    qml6-module-qtquick-layouts qml6-module-qtquick-window qml6-module-qtquick-dialogs
    qml6-module-qtqml-workerscript qml6-module-qttest qml6-module-qt-labs-folderlistmodel
    qcoro-qt6-dev libssl-dev libavahi-client-dev
    avahi-daemon dbus-daemon iproute2 util-linux
    adb
    fonts-noto-cjk adwaita-icon-theme qt6-translations-l10n
    xvfb xauth curl openssl tar python3 time
    desktop-file-utils appstream help2man
    clang-14 libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}" >&2
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
