#!/usr/bin/env bash
# The window's responsiveness, drawn offscreen (QT_QPA_PLATFORM=offscreen):
#   start   from the start of the real zorvane process (as the kernel records it, so loading the
#           libraries counts) to its window's first frame, the median of the runs (target: under
#           1 s); with ZORVANE_REPORT_FIRST_FRAME set the application prints that itself and quits
#   scroll  a folder of 10,000 small files from top to bottom, in the computer pane (opened
#           locally) and the phone pane (served by zorvane-phone on loopback), with the view mode
#           setting at list and at grid: each step a third of the view's height, timed from the
#           scroll to the end of the frame showing it; the median and worst frame (target: no
#           frame over 50 ms), with how many took over 50 ms, and the same less the wait for the
#           platform's update request (about 5 ms offscreen, a vsync on a screen): the frame's work.
#           Which view each pane has is shown: the setting changes nothing where a pane has no
#           view for it. Offscreen, Qt Quick draws with its software renderer.
# Every run gets settings of its own (XDG_CONFIG_HOME in a scratch folder), so the start is a first
# start: the computer pane lists the home folder.
#
#   ZORVANE_BENCH_BUILD  build folder (default build in the repository)
#   ZORVANE_BENCH_RUNS   runs of the start (default 5)
#   ZORVANE_BENCH_FILES  entries in the scrolled folder (default 10000)
#   ZORVANE_SCROLL_TRACE a file to add every scroll step to (see bench/window/scrollbench.cpp)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${ZORVANE_BENCH_BUILD:-$root/build}
runs=${ZORVANE_BENCH_RUNS:-5}
count=${ZORVANE_BENCH_FILES:-10000}

mkdir -p "$build"
if ! { cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZORVANE_BUILD_BENCH=ON \
        -DZORVANE_BUILD_APP=ON && cmake --build "$build" -j2 --target zorvane zorvane-window-scrollbench \
        zorvane-phone; } >"$build/build.log" 2>&1; then
    cat "$build/build.log" >&2
    exit 1
fi
app=$build/src/app/zorvane
tool=$build/bench/window/zorvane-window-scrollbench
export QT_QPA_PLATFORM=offscreen
export ZORVANE_PHONE_BIN=$build/tools/phone/zorvane-phone

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-window-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

echo "load before: $(cut -d ' ' -f 1-3 /proc/loadavg) on $(nproc) cores"
starts=()
for i in $(seq "$runs"); do
    line=$(XDG_CONFIG_HOME="$scratch/start-$i" ZORVANE_REPORT_FIRST_FRAME=1 timeout 60 "$app" \
        2>"$scratch/start.err" | sed -n 's/^first frame after \(-\?[0-9]*\) ms$/\1/p') || true
    [ -n "$line" ] || { echo "zorvane showed no first frame" >&2; cat "$scratch/start.err" >&2; exit 1; }
    starts+=("$line")
done
start_median=$(printf '%s\n' "${starts[@]}" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')

scrolls=()
for mode in list grid; do
    if ! out=$(XDG_CONFIG_HOME="$scratch/scroll-$mode" "$tool" "$mode" "$count" 2>"$scratch/scroll.err"); then
        printf '%s\n' "$out"
        echo "scrolling in $mode mode could not be measured" >&2
        cat "$scratch/scroll.err" >&2
        exit 1
    fi
    header=$(head -n 1 <<<"$out")
    while IFS= read -r row; do scrolls+=("$row"); done < <(tail -n +2 <<<"$out")
done
echo "load after:  $(cut -d ' ' -f 1-3 /proc/loadavg)"

verdicts=()
echo
echo "start to first frame, $runs runs: ${starts[*]} ms; median $start_median ms"
if [ "$start_median" -lt 1000 ]; then verdicts+=("MET     first frame: $start_median ms < 1000 ms")
else verdicts+=("MISSED  first frame: $start_median ms >= 1000 ms"); fi
echo
echo "scrolling $count entries top to bottom:"
echo "$header"
for row in "${scrolls[@]}"; do
    echo "$row"
    read -r pane mode _ _ _ _ worst _ <<<"$row"
    if awk -v w="$worst" 'BEGIN { exit !(w <= 50) }'; then verdicts+=("MET     $pane $mode: worst frame $worst ms <= 50 ms")
    else verdicts+=("MISSED  $pane $mode: worst frame $worst ms > 50 ms"); fi
done
echo
printf '%s\n' "${verdicts[@]}"
