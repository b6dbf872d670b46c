#!/usr/bin/env bash
# File-transfer benchmark against curl and openssl, each figure measured in the same run against
# the same zorvane-phone on loopback:
#   upload of a 1 GiB file:   pushFile  vs  curl -T FILE http://HOST:PORT/upload?path=...
#   download of it:           pullFile  vs  curl -o FILE http://HOST:PORT/download?path=...
#   SHA-256 of it:            sha256Hex vs  openssl dgst -sha256
#   peak resident memory of our client process during the 1 GiB transfers
# Prints throughput ratios (ours / theirs, higher is better; by the medians of the runs, the best
# runs' ratio beside them) and the memory.
#
# The data lives in memory (/dev/shm) when there is room, so that the phone stand-in's disk writes,
# shared with whatever else the machine is doing, do not drown the difference between the clients.
#
#   ZORVANE_BENCH_DIR    where the data goes (default /dev/shm if it has 4 GiB free, else $TMPDIR
#                        or /tmp); needs about 4 GiB
#   ZORVANE_BENCH_BUILD  build folder (default build-bench in the repository)
#   ZORVANE_BENCH_RUNS   timed runs per figure (default 5)
#   ZORVANE_BENCH_MIB    size of the test file in MiB (default 1024)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${ZORVANE_BENCH_BUILD:-$root/build-bench}
runs=${ZORVANE_BENCH_RUNS:-5}
mib=${ZORVANE_BENCH_MIB:-1024}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

mkdir -p "$build"
if ! { cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DZORVANE_BUILD_BENCH=ON -DZORVANE_BUILD_APP=OFF \
        && cmake --build "$build" -j2 --target zorvane-fileapi-bench zorvane-phone; } >"$build/build.log" 2>&1; then
    cat "$build/build.log" >&2
    exit 1
fi
bench=$build/bench/fileapi/zorvane-fileapi-bench
phone_bin=$build/tools/phone/zorvane-phone

place=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt $((4 * 1024 * 1024)) ]; then
    place=/dev/shm
fi
data=$(mktemp -d "${ZORVANE_BENCH_DIR:-$place}/zorvane-fileapi-bench.XXXXXX")
phone_pid=
cleanup() {
    if [ -n "$phone_pid" ]; then
        kill "$phone_pid" 2>/dev/null || true
        wait "$phone_pid" 2>/dev/null || true
    fi
    rm -rf "$data"
}
trap cleanup EXIT

echo "preparing a $mib MiB file in $data"
mkdir "$data/cabin" "$data/out"
head -c $((mib * 1024 * 1024)) /dev/urandom >"$data/file.bin"
ln "$data/file.bin" "$data/cabin/source.bin"

"$phone_bin" --root "$data/cabin" --port 0 >"$data/phone.out" 2>"$data/phone.err" &
phone_pid=$!
for _ in $(seq 50); do
    grep -q '^listening on ' "$data/phone.out" && break
    sleep 0.1
done
address=$(sed -n 's/^listening on //p' "$data/phone.out")
[ -n "$address" ] || { echo "zorvane-phone did not start" >&2; cat "$data/phone.err" >&2; exit 1; }
host=${address%:*}
port=${address##*:}
url="http://$address"

now() { date +%s.%N; }
max() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b > a) ? b : a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# timed <command...>: seconds the command takes.
timed() {
    local start end
    sync
    start=$(now)
    "$@" >/dev/null 2>"$data/last.err" || {
        echo "failed: $*" >&2; cat "$data/last.err" >&2; exit 1; }
    end=$(now)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }'
}

curl_push() { rm -f "$data/cabin/up.bin"; curl -sS -f -o /dev/null -T "$data/file.bin" "$url/upload?path=/up.bin"; }
# Our client's peak resident memory (KiB) goes to $data/rss.
ours() { XDG_CONFIG_HOME="$data/config" /usr/bin/time -f "%M" -o "$data/rss" "$bench" "$@"; }
our_push() { rm -f "$data/cabin/up.bin"; ours push "$host" "$port" "$data/file.bin" /up.bin; }
curl_pull() { rm -f "$data/out/down.bin"; curl -sS -f -o "$data/out/down.bin" "$url/download?path=/source.bin"; }
our_pull() { rm -f "$data/out/down.bin"; ours pull "$host" "$port" /source.bin "$data/out/down.bin"; }
openssl_sha() { openssl dgst -sha256 "$data/file.bin"; }
our_sha() { "$bench" sha256 "$data/file.bin"; }

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

report=()
our_rss=""
# compare <label> <minimum ratio> <peer name> <peer function> <our function> <track memory>:
# a warm-up of each side, then $runs alternating rounds. The verdict goes by the medians: on a busy
# machine the stand-in is sometimes starved of CPU for a whole transfer, so single runs of either
# client stray by up to ten times, and a best-of pick is decided by who got the lucky round.
compare() {
    local label=$1 minimum=$2 peer=$3 theirs=$4 ours=$5 memory=$6 their_times="" our_times="" t
    for round in $(seq 0 "$runs"); do
        t=$(timed "$theirs"); [ "$round" -eq 0 ] || their_times="$their_times $t"
        t=$(timed "$ours"); [ "$round" -eq 0 ] || our_times="$our_times $t"
        [ "$memory" = yes ] && our_rss=$(max "$our_rss" "$(tail -n 1 "$data/rss")")
    done
    local their_median our_median their_best our_best r verdict=ok
    their_median=$(echo "$their_times" | median)
    our_median=$(echo "$our_times" | median)
    their_best=$(echo "$their_times" | tr ' ' '\n' | grep . | sort -g | head -n 1)
    our_best=$(echo "$our_times" | tr ' ' '\n' | grep . | sort -g | head -n 1)
    r=$(ratio "$their_median" "$our_median")
    awk -v r="$r" -v m="$minimum" 'BEGIN { exit !(r < m) }' && verdict="BELOW $minimum"
    report+=("$(printf '%-20s median %-7s %6.3fs  ours %6.3fs  %5.0f MiB/s  ratio %5.2fx (target >= %s) %-9s  best %6.3fs / %6.3fs, ratio %5.2fx' \
        "$label" "$peer" "$their_median" "$our_median" "$(awk -v m="$mib" -v t="$our_median" 'BEGIN { print m / t }')" \
        "$r" "$minimum" "$verdict" "$their_best" "$our_best" "$(ratio "$their_best" "$our_best")")")
}

echo "timing against zorvane-phone at $address ($runs alternating rounds each, after a warm-up)"
compare "upload ($mib MiB)" 0.9 curl curl_push our_push yes
cmp -s "$data/file.bin" "$data/cabin/up.bin" || { echo "uploaded file differs" >&2; exit 1; }
compare "download ($mib MiB)" 0.9 curl curl_pull our_pull yes
cmp -s "$data/file.bin" "$data/out/down.bin" || { echo "downloaded file differs" >&2; exit 1; }
compare "sha256 ($mib MiB)" 0.9 openssl openssl_sha our_sha no
[ "$(our_sha 2>/dev/null)" = "$(openssl_sha | sed 's/.*= //')" ] || { echo "digests differ" >&2; exit 1; }

echo
printf '%s\n' "${report[@]}"
rss_verdict=ok
[ "$our_rss" -lt 65536 ] || rss_verdict="ABOVE 65536"
printf 'peak resident memory of our client during the transfers: %d KiB (target < 65536) %s\n' "$our_rss" "$rss_verdict"
