#!/usr/bin/env bash
# Archive benchmark against GNU tar, each figure measured in the same run on the same data:
#   streaming 20,000 files of 4 KiB, and one 2 GiB file, into a discarding sink
#       (ours: plan + produce every chunk; GNU tar: tar -cf - DIR | cat >/dev/null)
#   extracting both archives (ours vs tar -xf, told not to restore owners and times, which ours
#   does not do either)
# Prints throughput ratios (ours / GNU tar, higher is better) and our peak resident memory.
#
#   ZORVANE_BENCH_DIR    where the data goes (default $TMPDIR or /tmp); needs about 7 GiB
#   ZORVANE_BENCH_BUILD  build folder (default build-bench in the repository)
#   ZORVANE_BENCH_RUNS   timed runs per figure, the best one counts (default 3)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${ZORVANE_BENCH_BUILD:-$root/build-bench}
runs=${ZORVANE_BENCH_RUNS:-3}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

mkdir -p "$build"
if ! { cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DZORVANE_BUILD_BENCH=ON -DZORVANE_BUILD_APP=OFF \
        && cmake --build "$build" -j2 --target zorvane-tar-bench; } >"$build/build.log" 2>&1; then
    cat "$build/build.log" >&2
    exit 1
fi
bench=$build/bench/tar/zorvane-tar-bench

data=$(mktemp -d "${ZORVANE_BENCH_DIR:-${TMPDIR:-/tmp}}/zorvane-tar-bench.XXXXXX")
trap 'rm -rf "$data"' EXIT

echo "preparing data in $data"
mkdir -p "$data/many" "$data/big"
for d in $(seq -w 0 19); do
    mkdir "$data/many/d$d"
    head -c $((1000 * 4096)) /dev/urandom | split -b 4096 -a 3 -d - "$data/many/d$d/f"
done
count=$(find "$data/many" -type f | wc -l)
[ "$count" -eq 20000 ] || { echo "expected 20000 files, made $count" >&2; exit 1; }
head -c $((2 * 1024 * 1024 * 1024)) /dev/urandom >"$data/big/file.bin"

now() { date +%s.%N; }

# timed <command...>: seconds the command takes; a failing command ends the benchmark.
timed() {
    local start end
    start=$(now)
    "$@" >/dev/null 2>"$data/last.err" || { echo "failed: $*" >&2; cat "$data/last.err" >&2; exit 1; }
    end=$(now)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }'
}

min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

fresh_out() { rm -rf "$data/out"; mkdir "$data/out"; sync; sleep 1; }
gnu_stream() { tar -cf - -C "$1" . | cat >/dev/null; }
our_stream() { "$bench" stream "$1"; }
our_stream_piped() { "$bench" write "$1" /dev/stdout | cat >/dev/null; }
gnu_extract() { tar -x --no-same-owner -m -f "$1" -C "$data/out"; }
our_extract() { "$bench" extract "$1" "$data/out"; }
# Many small files go to a new folder each time: deleting 20,000 files (and the discards that
# follow) between runs would weigh on whichever run comes next.
fresh_folder() { out=$(mktemp -d "$data/many-out.XXXXXX"); sync; sleep 1; }
gnu_extract_new() { tar -x --no-same-owner -m -f "$1" -C "$out"; }
our_extract_new() { "$bench" extract "$1" "$out"; }

peak_rss() {  # peak_rss <command...>: KiB, as /usr/bin/time sees it
    /usr/bin/time -f "%M" "$@" 2>&1 >/dev/null | tail -n 1
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
report=()

# compare <label> <minimum ratio> <setup or -> <gnu function> <our function> <argument>:
# runs the two sides in turn (a warm-up of each, then $runs rounds) and keeps the best time of
# each, so writeback left by one side does not weigh on the other more than the other way round.
compare() {
    local label=$1 minimum=$2 setup=$3 gnu=$4 ours=$5 arg=$6 gnu_best="" our_best="" t
    for round in $(seq 0 "$runs"); do
        [ "$setup" = - ] || "$setup"
        t=$(timed "$gnu" "$arg"); [ "$round" -eq 0 ] || gnu_best=$(min "$gnu_best" "$t")
        [ "$setup" = - ] || "$setup"
        t=$(timed "$ours" "$arg"); [ "$round" -eq 0 ] || our_best=$(min "$our_best" "$t")
    done
    local r verdict=ok
    r=$(ratio "$gnu_best" "$our_best")
    awk -v r="$r" -v m="$minimum" 'BEGIN { exit !(r < m) }' && verdict="BELOW $minimum"
    [ "$minimum" = 0 ] && verdict=""
    report+=("$(printf '%-36s GNU tar %7.3fs  ours %7.3fs  ratio %5.2fx  %s' "$label" "$gnu_best" "$our_best" "$r" \
        "${verdict:+(target >= $minimum) $verdict}")")
}

for set in many big; do
    "$bench" write "$data/$set" "$data/$set.tar"
done

echo "timing (best of $runs alternating rounds each)"
compare "stream 20,000 x 4 KiB" 0.8 - gnu_stream our_stream "$data/many"
compare "stream one 2 GiB file" 0.9 - gnu_stream our_stream "$data/big"
compare "extract 20,000 x 4 KiB" 0.8 fresh_folder gnu_extract_new our_extract_new "$data/many.tar"
rm -rf "$data"/many-out.*
compare "extract one 2 GiB file" 0.8 fresh_out gnu_extract our_extract "$data/big.tar"
# For reference only: our archive sent through the same pipe as GNU tar's output.
compare "(info) 20,000 x 4 KiB, ours | cat" 0 - gnu_stream our_stream_piped "$data/many"
compare "(info) one 2 GiB file, ours | cat" 0 - gnu_stream our_stream_piped "$data/big"
# For reference only: file creation on this disk dominates the extraction of small files; in
# memory the extractor's own cost shows.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    shm=$(mktemp -d /dev/shm/zorvane-tar-bench.XXXXXX)
    trap 'rm -rf "$data" "$shm"' EXIT
    cp "$data/many.tar" "$shm/many.tar"
    fresh_shm() { rm -rf "$shm/out"; mkdir "$shm/out"; }
    gnu_extract_shm() { tar -x --no-same-owner -m -f "$1" -C "$shm/out"; }
    our_extract_shm() { "$bench" extract "$1" "$shm/out"; }
    compare "(info) extract 20,000 x 4 KiB in tmpfs" 0 fresh_shm gnu_extract_shm our_extract_shm "$shm/many.tar"
    rm -rf "$shm"
fi

rss_stream=$(peak_rss "$bench" stream "$data/big")
fresh_out
rss_extract=$(peak_rss "$bench" extract "$data/big.tar" "$data/out")
rss_many=$(peak_rss "$bench" stream "$data/many")

echo
printf '%s\n' "${report[@]}"
printf 'peak resident memory: stream 2 GiB %d KiB (target < 32768), extract 2 GiB %d KiB, stream 20,000 files %d KiB\n' \
    "$rss_stream" "$rss_extract" "$rss_many"
