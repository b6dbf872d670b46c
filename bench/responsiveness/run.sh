#!/usr/bin/env bash
# The GUI thread's longest pause while the view model does heavy work, against zorvane-phone on
# loopback: the longest interval between two ticks of a 10 ms timer (target: under 50 ms) and the
# median interval, for
#   (a) pushing one folder of 100,000 empty files,
#   (b) queueing 500 single-file pushes chosen from a folder of 20,000 files,
#   (c) selecting and deleting 10,000 phone entries.
#
#   ZORVANE_BENCH_BUILD  build folder (default build-bench in the repository)
#   ZORVANE_BENCH_DIR    where the data goes (default /dev/shm when it has room, else /tmp)
#   ZORVANE_BENCH_SCALE  divides every count, for a quick run (default 1)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${ZORVANE_BENCH_BUILD:-$root/build-bench}
scale=${ZORVANE_BENCH_SCALE:-1}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZORVANE_BUILD_BENCH=ON -DZORVANE_BUILD_APP=OFF >/dev/null
cmake --build "$build" -j2 --target zorvane-responsiveness-bench zorvane-phone >/dev/null
tool=$build/bench/responsiveness/zorvane-responsiveness-bench
phone=$build/tools/phone/zorvane-phone

place=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt $((2 * 1024 * 1024)) ]; then
    place=/dev/shm
fi
export QT_QPA_PLATFORM=offscreen

verdicts=0
run() {
    local scenario=$1 count=$2
    local scratch
    scratch=$(mktemp -d "${ZORVANE_BENCH_DIR:-$place}/zorvane-responsiveness.XXXXXX")
    local line
    line=$(XDG_CONFIG_HOME="$scratch/config" "$tool" "$phone" "$scratch" "$scenario" "$((count / scale))" | tail -1) || { rm -rf "$scratch"; echo "$scenario: FAILED" >&2; exit 1; }
    rm -rf "$scratch"
    local worst
    worst=$(sed -n 's/.*worst_ms=\([0-9.]*\).*/\1/p' <<<"$line")
    if awk -v w="$worst" 'BEGIN { exit !(w < 50) }'; then
        echo "$line  -> under 50 ms: yes"
    else
        echo "$line  -> under 50 ms: NO"
        verdicts=1
    fi
}

run folder-push 100000
run batch-push 20000
run bulk-delete 10000
exit $verdicts
