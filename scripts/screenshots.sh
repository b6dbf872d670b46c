#!/usr/bin/env bash
# Pictures of the window in the states worth looking at, at the smallest window size and at full
# HD, under a virtual display: scripts/screenshots.sh [OUTDIR] (default: build/screenshots).
# Needs a finished build in build/ (scripts/build.sh build).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$top/build/screenshots}")
shots=$top/build/tests/ui/zorvane-window-shots
if [ ! -x "$shots" ]; then
    echo "Build first: scripts/build.sh build" >&2
    exit 1
fi
export ZORVANE_PHONE_BIN=$top/build/tools/phone/zorvane-phone
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
mkdir -p "$out"
for size in 980x600 1920x1080; do
    # The screen as large as the window, so nothing lies outside it.
    xvfb-run -a -s "-screen 0 ${size}x24" env QT_QPA_PLATFORM=xcb "$shots" "$out" "$size"
done
