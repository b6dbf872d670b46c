#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds Zorvane, serves a demo file cabin with the phone stand-in on
# loopback and starts the window (or, without a display, shows the engine working from the command
# line).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

scripts/install-deps.sh
scripts/build.sh build >/dev/null

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
build/tools/cli/zorvane-cli info --phone "$address"
echo "The file cabin's top folder:"
build/tools/cli/zorvane-cli ls / --phone "$address"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display here (DISPLAY and WAYLAND_DISPLAY are unset), so the window cannot open."
    echo "The engine works against the demo phone from the command line, as shown above."
    exit 0
fi
build/src/app/zorvane --phone "$address"
