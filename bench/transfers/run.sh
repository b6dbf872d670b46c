#!/usr/bin/env bash
# Whole transfers as a user makes them, measured in one run against one zorvane-phone on loopback:
#   zorvane-cli push / pull of a 1 GiB file (verification included)  vs  curl -T / curl -o
#   push of a folder of 10,000 files of 4 KiB by tar stream          vs  tar -cf - DIR | curl -T - .../uploadTar
#     (also to a phone without digest endpoints, to show the transfer without verification)
#   the same push by tar stream                                      vs  our file-by-file fallback
#   pull of that folder by archive                                   vs  our file-by-file fallback
#   peak resident memory of zorvane-cli during the 1 GiB transfers
# Ratios are throughput ratios (higher is better for us).
#
# The data lives in memory (/dev/shm) when there is room: on disk, the writeback of one round's
# 10,000 files lands on whichever round comes next and scatters the small-file figures.
#
#   ZORVANE_BENCH_DIR    where the data goes (default /dev/shm if it has 4 GiB free, else $TMPDIR
#                        or /tmp); needs about 3 GiB
#   ZORVANE_BENCH_BUILD  build folder (default build-bench in the repository)
#   ZORVANE_BENCH_RUNS   timed runs of each figure, the best one counts (default 3)
#   ZORVANE_BENCH_MIB    size of the big file in MiB (default 1024)
#   ZORVANE_BENCH_FILES  number of small files (default 10000)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${ZORVANE_BENCH_BUILD:-$root/build-bench}
runs=${ZORVANE_BENCH_RUNS:-3}
mib=${ZORVANE_BENCH_MIB:-1024}
count=${ZORVANE_BENCH_FILES:-10000}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZORVANE_BUILD_BENCH=ON -DZORVANE_BUILD_APP=OFF >/dev/null
cmake --build "$build" -j2 --target zorvane-cli zorvane-phone >/dev/null
cli=$build/tools/cli/zorvane-cli
phone_bin=$build/tools/phone/zorvane-phone

place=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt $((4 * 1024 * 1024)) ]; then
    place=/dev/shm
fi
data=$(mktemp -d "${ZORVANE_BENCH_DIR:-$place}/zorvane-transfer-bench.XXXXXX")
cleanup() {
    # The phones' process ids are kept in files: start_phone runs in a command substitution.
    for pidfile in "$data"/*.pid; do
        [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
    done
    rm -rf "$data"
}
trap cleanup EXIT

# start_phone NAME ARGS...: serves $data/NAME, prints its address.
start_phone() {
    local name=$1
    shift
    mkdir -p "$data/$name"
    "$phone_bin" --root "$data/$name" --port 0 "$@" >"$data/$name.out" 2>"$data/$name.err" &
    echo $! >"$data/$name.pid"
    for _ in $(seq 50); do
        grep -q '^listening on ' "$data/$name.out" && break
        sleep 0.1
    done
    sed -n 's/^listening on //p' "$data/$name.out"
}

seconds() { # runs the command, prints its wall time in seconds; a failing command ends the benchmark
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>"$data/last.err" || { echo "failed: $*" >&2; cat "$data/last.err" >&2; exit 1; }
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
peak_kib() { # runs the command under /usr/bin/time, prints its peak resident memory in KiB
    /usr/bin/time -f '%M' -o "$data/rss" "$@" >/dev/null 2>"$data/last.err" \
        || { echo "failed: $*" >&2; cat "$data/last.err" >&2; exit 1; }
    cat "$data/rss"
}
best() { sort -g | head -n 1; }
ratio() { awk -v theirs="$1" -v ours="$2" 'BEGIN { printf "%.2f", theirs / ours }'; }

echo "preparing data in $data"
mkdir -p "$data/local" "$data/small/many" "$data/back"
head -c $((mib * 1024 * 1024)) /dev/urandom >"$data/local/big.bin"
python3 - "$data/small/many" "$count" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
block = os.urandom(4096)
for i in range(count):
    folder = os.path.join(root, f"d{i // 500:03d}")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"f{i:05d}.bin"), "wb") as f:
        f.write(block[i % 64:] + block[:i % 64])
PY

phone=$(start_phone cabin)
slow_phone=$(start_phone fallback --no-folder-endpoints)
bare_phone=$(start_phone nohash --no-hash)
[ -n "$phone" ] && [ -n "$slow_phone" ] || { echo "zorvane-phone did not start" >&2; exit 1; }
echo "phone $phone, fallback phone $slow_phone"

echo "1 GiB file, best of $runs"
ours_push=() curl_push=() ours_pull=() curl_pull=()
rss_push=0 rss_pull=0
for _ in $(seq "$runs"); do
    rm -f "$data/cabin/big.bin" "$data/cabin/curl.bin"
    ours_push+=("$(seconds "$cli" push "$data/local/big.bin" --phone "$phone")")
    curl_push+=("$(seconds curl -sf -T "$data/local/big.bin" "http://$phone/upload?path=/curl.bin")")
    rm -f "$data/back/big.bin" "$data/back/curl.bin"
    ours_pull+=("$(seconds "$cli" pull /big.bin --to "$data/back" --phone "$phone")")
    curl_pull+=("$(seconds curl -sf -o "$data/back/curl.bin" "http://$phone/download?path=/big.bin")")
done
cmp -s "$data/local/big.bin" "$data/back/big.bin" || { echo "pulled file differs" >&2; exit 1; }
rm -f "$data/cabin/big.bin" "$data/back/big.bin"
rss_push=$(peak_kib "$cli" push "$data/local/big.bin" --phone "$phone")
rss_pull=$(peak_kib "$cli" pull /big.bin --to "$data/back" --phone "$phone")
op=$(printf '%s\n' "${ours_push[@]}" | best)
cp=$(printf '%s\n' "${curl_push[@]}" | best)
ol=$(printf '%s\n' "${ours_pull[@]}" | best)
cl=$(printf '%s\n' "${curl_pull[@]}" | best)
rm -f "$data/local/big.bin" "$data/back/big.bin" "$data/back/curl.bin" "$data/cabin/big.bin" "$data/cabin/curl.bin"

echo "folder of $count files of 4 KiB, best of $runs"
tar_size=$(tar -cf - -C "$data/small" many | wc -c)
# Each figure is the best of $runs rounds; every round starts from an empty target.
stream_times=() tar_curl_times=() fallback_times=() bare_times=() pull_archive_times=() pull_fallback_times=()
for _ in $(seq "$runs"); do
    rm -rf "$data/cabin/many" "$data/cabin/tarcurl" "$data/fallback/many" "$data/nohash/many"
    stream_times+=("$(seconds "$cli" push "$data/small/many" --phone "$phone")")
    tar_curl_times+=("$(seconds bash -c "tar -cf - -C '$data/small' many | curl -sf -X POST -T - -H 'Transfer-Encoding:' \
        -H 'Content-Length: $tar_size' 'http://$phone/uploadTar?path=/tarcurl'")")
    fallback_times+=("$(seconds "$cli" push "$data/small/many" --phone "$slow_phone")")
    # The same push to a phone without digest endpoints: the transfer alone, nothing verified.
    bare_times+=("$(seconds "$cli" push "$data/small/many" --phone "$bare_phone")")
    [ "$(find "$data/cabin/tarcurl/many" -type f | wc -l)" -eq "$count" ] || { echo "tar | curl did not arrive" >&2; exit 1; }
    [ "$(find "$data/fallback/many" -type f | wc -l)" -eq "$count" ] || { echo "fallback push incomplete" >&2; exit 1; }
    rm -rf "$data/back/archive" "$data/back/fallback"
    mkdir -p "$data/back/archive" "$data/back/fallback"
    pull_archive_times+=("$(seconds "$cli" pull /many --to "$data/back/archive" --phone "$phone")")
    pull_fallback_times+=("$(seconds "$cli" pull /many --to "$data/back/fallback" --phone "$slow_phone")")
    diff -r "$data/small/many" "$data/back/archive/many" >/dev/null || { echo "archive pull differs" >&2; exit 1; }
    diff -r "$data/small/many" "$data/back/fallback/many" >/dev/null || { echo "fallback pull differs" >&2; exit 1; }
done
stream=$(printf '%s\n' "${stream_times[@]}" | best)
tar_curl=$(printf '%s\n' "${tar_curl_times[@]}" | best)
fallback=$(printf '%s\n' "${fallback_times[@]}" | best)
stream_bare=$(printf '%s\n' "${bare_times[@]}" | best)
pull_archive=$(printf '%s\n' "${pull_archive_times[@]}" | best)
pull_fallback=$(printf '%s\n' "${pull_fallback_times[@]}" | best)

echo
printf '%-58s %8s %8s %7s %s\n' figure theirs ours ratio target
printf '%-58s %7ss %7ss %7s %s\n' "push 1 GiB: curl -T vs zorvane-cli push" "$cp" "$op" "$(ratio "$cp" "$op")" ">= 0.85"
printf '%-58s %7ss %7ss %7s %s\n' "pull 1 GiB: curl -o vs zorvane-cli pull" "$cl" "$ol" "$(ratio "$cl" "$ol")" ">= 0.85"
printf '%-58s %7ss %7ss %7s %s\n' "push $count x 4 KiB: tar | curl vs tar stream" "$tar_curl" "$stream" "$(ratio "$tar_curl" "$stream")" ">= 0.8"
printf '%-58s %7ss %7ss %7s %s\n' "  same, phone without digests (nothing verified)" "$tar_curl" "$stream_bare" "$(ratio "$tar_curl" "$stream_bare")" ""
printf '%-58s %7ss %7ss %7s %s\n' "push $count x 4 KiB: file by file vs tar stream" "$fallback" "$stream" "$(ratio "$fallback" "$stream")" ">= 10"
printf '%-58s %7ss %7ss %7s %s\n' "pull $count x 4 KiB: file by file vs archive" "$pull_fallback" "$pull_archive" "$(ratio "$pull_fallback" "$pull_archive")" ">= 10"
echo "peak resident memory of zorvane-cli: push $((rss_push / 1024)) MiB, pull $((rss_pull / 1024)) MiB (limit 64 MiB)"
