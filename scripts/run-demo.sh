#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds Zorvane, serves a demo file cabin with the phone stand-in on
# loopback and starts the window. Without a display it shows the engine working from the command
# line and keeps the demo phone running until Ctrl+C, so it can be tried from another terminal.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

scripts/install-deps.sh
# The first build takes several minutes on a small machine: its progress shows as it goes.
echo "Building Zorvane in $top/build ..."
scripts/build.sh build

data=${XDG_DATA_HOME:-$HOME/.local/share}/zorvane-demo
cabin=$data/cabin
if [ ! -d "$cabin" ]; then
    mkdir -p "$cabin/照片/2024 旅行" "$cabin/文档" "$cabin/Music" "$cabin/空文件夹"
    printf '这是演示文件舱里的一个文本文件。\n' > "$cabin/说明.txt"
    printf 'Zorvane demo\n' > "$cabin/README.md"
    head -c 150000 /dev/urandom > "$cabin/照片/2024 旅行/海边.jpg"
    head -c 90000 /dev/urandom > "$cabin/照片/img9.png"
    head -c 120000 /dev/urandom > "$cabin/照片/img10.png"
    printf '会议纪要\n' > "$cabin/文档/会议纪要.txt"
    head -c 2000000 /dev/urandom > "$cabin/文档/报告.pdf"
    head -c 3000000 /dev/urandom > "$cabin/Music/song.mp3"
fi

log=$data/phone.log
build/tools/phone/zorvane-phone --root "$cabin" --host 127.0.0.1 --port 0 --name "演示手机" \
    --system-version "iOS 17.5" > "$data/phone.out" 2> "$log" &
phone_pid=$!
trap 'kill $phone_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    grep -q '^listening on ' "$data/phone.out" 2>/dev/null && break
    sleep 0.1
done
address=$(sed -n 's/^listening on //p' "$data/phone.out")
if [ -z "$address" ]; then
    echo "The phone stand-in did not start; see $log" >&2
    exit 1
fi
echo "Demo phone: $address, serving $cabin"
# Finding phones on the network needs the system's avahi-daemon; the demo phone does not.
if ! avahi-daemon --check 2>/dev/null; then
    echo "Note: avahi-daemon is not running, so Zorvane cannot find phones on the network by itself."
    echo "      Start it with: sudo systemctl start avahi-daemon  (or: sudo service avahi-daemon start)"
fi
build/tools/cli/zorvane-cli info --phone "$address"
echo "The file cabin's top folder:"
build/tools/cli/zorvane-cli ls / --phone "$address"

cli=$top/build/tools/cli/zorvane-cli
window=$top/build/src/app/zorvane
no_window=
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    no_window="No display here (DISPLAY and WAYLAND_DISPLAY are unset), so the window cannot open."
elif [ ! -x "$window" ]; then
    no_window="The window was not built in $top/build (ZORVANE_BUILD_APP is OFF there)."
fi
if [ -n "$no_window" ]; then
    echo
    echo "$no_window"
    echo "The demo phone keeps running at $address until you press Ctrl+C."
    echo "Try it from another terminal, for example:"
    echo "    $cli ls /照片 --phone $address"
    echo "    $cli push '$top/README.md' --to /文档 --phone $address"
    echo "    $cli pull /文档/报告.pdf --to /tmp --phone $address"
    echo "($cli --help lists every command.)"
    wait "$phone_pid"
    exit 0
fi
"$window" --phone "$address"
