#!/usr/bin/env bash
# Whole transfers as a user makes them, each measured in one run against zorvane-phone on loopback
# beside the same work done by hand with standard tools. zorvane-cli verifies every transfer (the
# phone's SHA-256 digests against the local side), so the hand-made peers verify too:
#   file push    zorvane-cli push   vs  curl -T, then curl .../hash alongside openssl dgst -sha256
#   file pull    zorvane-cli pull   vs  curl -o, then curl .../hash alongside openssl dgst -sha256
#                (also shown, without a target: ours hashes the bytes as it writes them and asks
#                the phone at once, so the same done by hand, curl | tee | openssl dgst with the
#                phone's /hash asked alongside, is set against it too)
#   folder push  zorvane-cli push   vs  tar -cf - DIR | curl -T - .../uploadTar,
#                                       then curl .../hashTree alongside
#                                       find | xargs openssl dgst -sha256
#   folder pull  zorvane-cli pull   vs  curl .../downloadFolder | tar -xf -, then the same checks
# The local digest walk is one find feeding one xargs, so a handful of openssl processes hash all
# the files (openssl hashes about four times as fast as sha256sum here, and the per-file cost is
# in process starts that xargs spreads thin). The hand-made pipelines do inside the clock what ours
# does inside it: they compare the two sides' digests, and the folder push first finds the archive's
# length the phone needs (GNU tar writing to /dev/null walks the folder without reading the files,
# the same walk our planning makes).
# Also measured, without a target:
#   our figures against the bare curl transfers (nothing verified);
#   zorvane-cli against a phone without digest endpoints (what verification costs us);
#   zorvane-cli info (what starting and connecting costs us).
# Our folder push and pull by archive are also set against our file-by-file fallback, which runs
# against a phone without folder endpoints. Ratios are throughput ratios, theirs / ours by time
# (higher is better for us); the verdicts go by the medians of the runs, the best runs' ratio beside
# them: on a busy machine single runs of either side stray, and a best-of pick rewards the lucky one.
#
# The data lives in memory (/dev/shm) when there is room, and every timed run follows a sync: on
# disk, the writeback of one round's small files lands on whichever round comes next.
#
#   ZORVANE_BENCH_DIR    where the data goes (default /dev/shm if it has 6 GiB free, else $TMPDIR
#                        or /tmp); needs about 5 GiB at the default sizes
#   ZORVANE_BENCH_BUILD  build folder (default build-bench in the repository)
#   ZORVANE_BENCH_RUNS   timed runs of each figure (default 5; a whole run takes about 5 minutes)
#   ZORVANE_BENCH_MIB    size of the big file in MiB (default 1024)
#   ZORVANE_BENCH_FILES  number of small files of 4 KiB (default 10000)
# A quick run: ZORVANE_BENCH_RUNS=1 ZORVANE_BENCH_MIB=64 ZORVANE_BENCH_FILES=1000
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${ZORVANE_BENCH_BUILD:-$root/build-bench}
runs=${ZORVANE_BENCH_RUNS:-5}
mib=${ZORVANE_BENCH_MIB:-1024}
count=${ZORVANE_BENCH_FILES:-10000}

mkdir -p "$build"
if ! { cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZORVANE_BUILD_BENCH=ON \
        -DZORVANE_BUILD_APP=OFF && cmake --build "$build" -j2 --target zorvane-cli zorvane-phone; } \
        >"$build/build.log" 2>&1; then
    cat "$build/build.log" >&2
    exit 1
fi
cli=$build/tools/cli/zorvane-cli
phone_bin=$build/tools/phone/zorvane-phone

place=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt $((6 * 1024 * 1024)) ]; then
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

echo "preparing data in $data"
local_dir=$data/local
back=$data/back
big=$local_dir/big.bin
mkdir -p "$local_dir/many" "$back"
head -c $((mib * 1024 * 1024)) /dev/urandom >"$big"
python3 - "$local_dir/many" "$count" <<'PY'
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
[ -n "$phone" ] && [ -n "$slow_phone" ] && [ -n "$bare_phone" ] || { echo "zorvane-phone did not start" >&2; exit 1; }
echo "phone $phone, without folder endpoints $slow_phone, without digests $bare_phone"

# The hand-made requests carry the head our client sends: Host tarnivox, a client identity and a
# query-encoded computer name, Connection: close, and nothing of curl's own (no User-Agent, Accept
# or Expect). Uploads are POSTs with a Content-Length; the phone takes no chunked body.
computer=$(hostname | jq -Rr @uri)
curl_head=(curl -sS -f -H 'Host: tarnivox' -H "X-QVX-Client: $(cat /proc/sys/kernel/random/uuid)"
    -H "X-QVX-Name: $computer" -H 'Connection: close' -H 'User-Agent:' -H 'Accept:' -H 'Expect:')
# url ADDRESS ENDPOINT PATH: the address as our client forms it, each piece of the path
# percent-encoded, the slashes between them kept.
url() {
    local encoded
    encoded=$(jq -rn --arg p "$3" '$p | split("/") | map(select(. != "") | @uri) | join("/")')
    echo "http://$1/$2?path=/$encoded"
}
upload_url=$(url "$phone" upload /big.bin)
download_url=$(url "$phone" download /big.bin)
hash_url=$(url "$phone" hash /big.bin)
upload_tar_url=$(url "$phone" uploadTar /)
download_folder_url=$(url "$phone" downloadFolder /many)
hash_tree_url=$(url "$phone" hashTree /many)
# The phone needs the archive's length up front: GNU tar tells it from a walk alone.
archive_length() {
    tar --totals -cf /dev/null -C "$local_dir" many 2>&1 | sed -n 's/^Total bytes written: \([0-9]*\).*/\1/p'
}
[ "$(archive_length)" = "$(tar -cf - -C "$local_dir" many | wc -c)" ] \
    || { echo "tar's walk-only length differs from its archive's length" >&2; exit 1; }

# ours NAME ARGS...: zorvane-cli with its settings kept here, its peak resident memory (KiB)
# appended to $data/NAME.rss.
ours() {
    local name=$1
    shift
    XDG_CONFIG_HOME="$data/config" /usr/bin/time -a -f '%M' -o "$data/$name.rss" "$cli" "$@"
}
# digests URL LOCAL_COMMAND...: the phone's digest into $data/remote.digest while the local
# command writes ours into $data/local.digest.
digests() {
    local url=$1 asking
    shift
    "${curl_head[@]}" -o "$data/remote.digest" "$url" &
    asking=$!
    if "$@" >"$data/local.digest"; then wait "$asking"; else wait "$asking"; return 1; fi
}
local_tree_digests() ( cd "$1" && find . -type f -printf '%P\0' | xargs -0 openssl dgst -sha256 -r )
same_file_digests() {
    [ "$(tr -d ' \r\n' <"$data/remote.digest" | tr A-F a-f)" = "$(cut -d ' ' -f 1 "$data/local.digest")" ] \
        || { echo "the hand-made check found different digests" >&2; exit 1; }
}
same_tree_digests() {
    cmp -s <(jq -r '.files[] | "\(.sha256) *\(.path)"' "$data/remote.digest" | sort) \
        <(sort "$data/local.digest") || { echo "the hand-made check found different digests" >&2; exit 1; }
    [ "$(wc -l <"$data/local.digest")" -eq "$count" ] || { echo "files went missing" >&2; exit 1; }
}
same_file() { cmp -s "$big" "$1" || { echo "$1 differs from the original" >&2; exit 1; }; }
same_tree() { diff -r "$local_dir/many" "$1" >/dev/null || { echo "$1 differs from the original" >&2; exit 1; }; }

# One job per figure: job_GROUP_WHO is timed; before it reset_GROUP_WHO, or else reset_GROUP,
# clears its target, and after it check_GROUP_WHO looks at the outcome, both untimed. A job's exit status is that of its last command, so its steps are chained with &&.
reset_file_push() { rm -f "$data/cabin/big.bin"; }
reset_file_push_bare() { rm -f "$data/nohash/big.bin"; }
job_file_push_ours() { ours file_push push "$big" --phone "$phone"; }
job_file_push_hand() {
    "${curl_head[@]}" -o /dev/null -X POST -T "$big" "$upload_url" \
        && digests "$hash_url" openssl dgst -sha256 -r "$big" && same_file_digests
}
job_file_push_curl() { "${curl_head[@]}" -o /dev/null -X POST -T "$big" "$upload_url"; }
job_file_push_bare() { ours file_push push "$big" --phone "$bare_phone"; }
check_file_push_hand() { same_file_digests; }
check_file_push_ours() { same_file "$data/cabin/big.bin"; }

reset_file_pull() { rm -f "$back/big.bin"; }
job_file_pull_ours() { ours file_pull pull /big.bin --to "$back" --phone "$phone"; }
job_file_pull_hand() {
    "${curl_head[@]}" -o "$back/big.bin" "$download_url" \
        && digests "$hash_url" openssl dgst -sha256 -r "$back/big.bin" && same_file_digests
}
job_file_pull_curl() { "${curl_head[@]}" -o "$back/big.bin" "$download_url"; }
# The way ours verifies a pull, done by hand: the phone's digest asked for at once, ours made from
# the bytes as they are written.
job_file_pull_stream() {
    digests "$hash_url" bash -c 'set -o pipefail; "$@" | tee "$0" | openssl dgst -sha256 -r' \
        "$back/big.bin" "${curl_head[@]}" "$download_url" && same_file_digests
}
check_file_pull_stream() { same_file "$back/big.bin"; }
job_file_pull_bare() { ours file_pull pull /big.bin --to "$back" --phone "$bare_phone"; }
check_file_pull_hand() { same_file_digests; same_file "$back/big.bin"; }
check_file_pull_ours() { same_file "$back/big.bin"; }

reset_folder_push() { rm -rf "$data/cabin/many"; }
reset_folder_push_bare() { rm -rf "$data/nohash/many"; }
reset_folder_push_fallback() { rm -rf "$data/fallback/many"; }
job_folder_push_ours() { ours folder_push push "$local_dir/many" --phone "$phone"; }
job_folder_push_hand() {
    job_folder_push_curl && digests "$hash_tree_url" local_tree_digests "$local_dir/many" && same_tree_digests
}
job_folder_push_curl() {
    local length
    length=$(archive_length) && tar -cf - -C "$local_dir" many | "${curl_head[@]}" -o /dev/null -X POST -T - \
        -H 'Transfer-Encoding:' -H "Content-Length: $length" "$upload_tar_url"
}
job_folder_push_bare() { ours folder_push push "$local_dir/many" --phone "$bare_phone"; }
job_folder_push_fallback() { ours folder_push push "$local_dir/many" --phone "$slow_phone"; }
check_folder_push_hand() { same_tree_digests; }
check_folder_push_ours() { same_tree "$data/cabin/many"; }
check_folder_push_fallback() { same_tree "$data/fallback/many"; }

reset_folder_pull() { rm -rf "$back/many"; }
job_folder_pull_ours() { ours folder_pull pull /many --to "$back" --phone "$phone"; }
job_folder_pull_hand() {
    job_folder_pull_curl && digests "$hash_tree_url" local_tree_digests "$back/many" && same_tree_digests
}
# The phone's archive holds the folder's contents, not the folder itself.
job_folder_pull_curl() {
    mkdir "$back/many" && "${curl_head[@]}" "$download_folder_url" | tar -xf - -C "$back/many"
}
job_folder_pull_bare() { ours folder_pull pull /many --to "$back" --phone "$bare_phone"; }
job_folder_pull_fallback() { ours folder_pull pull /many --to "$back" --phone "$slow_phone"; }
check_folder_pull_hand() { same_tree_digests; same_tree "$back/many"; }
check_folder_pull_curl() { same_tree "$back/many"; }
check_folder_pull_ours() { same_tree "$back/many"; }
check_folder_pull_fallback() { same_tree "$back/many"; }

job_connect_ours() { ours connect info --phone "$phone"; }
# The digest steps of the hand-made checks, each alone: the phone's answer and the local hashing.
job_digest_phone_file() { "${curl_head[@]}" -o /dev/null "$hash_url"; }
job_digest_local_file() { openssl dgst -sha256 -r "$big"; }
job_digest_phone_tree() { "${curl_head[@]}" -o /dev/null "$hash_tree_url"; }
job_digest_local_tree() { local_tree_digests "$local_dir/many"; }

declare -A times
# measure GROUP WHO: one timed run of job_GROUP_WHO after its reset and a sync; a failing job
# ends the benchmark.
measure() {
    local name=$1_$2 start end
    if declare -F "reset_$name" >/dev/null; then "reset_$name"
    elif declare -F "reset_$1" >/dev/null; then "reset_$1"; fi
    sync
    start=$(date +%s.%N)
    "job_$name" >/dev/null 2>"$data/last.err" || { echo "failed: $name" >&2; cat "$data/last.err" >&2; exit 1; }
    end=$(date +%s.%N)
    times[$name]+=" $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')"
    if declare -F "check_$name" >/dev/null; then "check_$name"; fi
}

# The rounds alternate the sides, so a slow spell of the machine falls on all of them alike. The
# pushes leave on the phones what the pulls then fetch.
echo "$mib MiB file and $count files of 4 KiB, $runs rounds"
for _ in $(seq "$runs"); do
    for who in ours hand curl bare; do measure file_push "$who"; done
    for who in ours hand curl bare stream; do measure file_pull "$who"; done
    for who in ours hand curl bare fallback; do measure folder_push "$who"; done
    for who in ours hand curl bare fallback; do measure folder_pull "$who"; done
    measure connect ours
    for part in phone_file local_file phone_tree local_tree; do measure digest "$part"; done
done

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
best() { tr ' ' '\n' | grep . | sort -g | head -n 1; }
ratio() { awk -v theirs="$1" -v ours="$2" 'BEGIN { printf "%.2f", theirs / ours }'; }
peak_mib() { sort -n "$data/$1.rss" | tail -n 1 | awk '{ printf "%d", $1 / 1024 }'; }

verdicts=()
# row LABEL THEIRS OURS [TARGET]: one line of the table; with a target, a verdict line too.
row() {
    local label=$1 theirs=$2 ours=$3 target=${4:-}
    local tm om tb ob r
    tm=$(median <<<"${times[$theirs]}") om=$(median <<<"${times[$ours]}")
    tb=$(best <<<"${times[$theirs]}") ob=$(best <<<"${times[$ours]}")
    r=$(ratio "$tm" "$om")
    printf '%-56s %8.3fs %8.3fs %6.2fx  %8.3fs %8.3fs %6.2fx  %s\n' "$label" "$tm" "$om" "$r" \
        "$tb" "$ob" "$(ratio "$tb" "$ob")" "${target:+>= $target}"
    [ -n "$target" ] || return 0
    if awk -v r="$r" -v t="$target" 'BEGIN { exit !(r >= t) }'; then
        verdicts+=("MET     $label: ${r}x >= $target")
    else
        verdicts+=("MISSED  $label: ${r}x < $target")
    fi
}

echo
printf '%-56s %9s %9s %7s  %9s %9s %7s  %s\n' "theirs vs ours" "median" "" "" "best" "" "" "target"
row "file push: curl + hash + openssl vs zorvane-cli" file_push_hand file_push_ours 1.0
row "file pull: curl + hash + openssl vs zorvane-cli" file_pull_hand file_pull_ours 1.0
row "folder push: tar | curl + hashTree + openssl vs ours" folder_push_hand folder_push_ours 1.0
row "folder pull: curl | tar + hashTree + openssl vs ours" folder_pull_hand folder_pull_ours 1.0
row "folder push: our file by file vs our archive" folder_push_fallback folder_push_ours 8
row "folder pull: our file by file vs our archive" folder_pull_fallback folder_pull_ours 8
echo "the same check as ours by hand (the phone's digest asked at once, ours from the bytes written):"
row "  file pull: curl | tee | openssl + hash vs zorvane-cli" file_pull_stream file_pull_ours
echo "unverified curl transfers against our verified ones:"
row "  file push: curl -T vs zorvane-cli" file_push_curl file_push_ours
row "  file pull: curl -o vs zorvane-cli" file_pull_curl file_pull_ours
row "  folder push: tar | curl vs zorvane-cli" folder_push_curl folder_push_ours
row "  folder pull: curl | tar vs zorvane-cli" folder_pull_curl folder_pull_ours
echo "zorvane-cli against a phone without digests (nothing verified) vs with them:"
row "  file push" file_push_bare file_push_ours
row "  file pull" file_pull_bare file_pull_ours
row "  folder push" folder_push_bare folder_push_ours
row "  folder pull" folder_pull_bare folder_pull_ours
# alone LABEL NAME: the median and best time of one figure.
alone() { printf '%-56s %8.3fs %27.3fs\n' "$1" "$(median <<<"${times[$2]}")" "$(best <<<"${times[$2]}")"; }
echo "parts, each alone:"
alone "  zorvane-cli info (start, connect, end)" connect_ours
alone "  the phone's /hash of the big file" digest_phone_file
alone "  openssl dgst -sha256 of the big file" digest_local_file
alone "  the phone's /hashTree of the folder" digest_phone_tree
alone "  find | xargs openssl dgst -sha256 over the folder" digest_local_tree
echo "file throughput by the medians: ours push $(awk -v m="$mib" -v t="$(median <<<"${times[file_push_ours]}")" \
    'BEGIN { printf "%.0f", m / t }') MiB/s, pull $(awk -v m="$mib" -v t="$(median <<<"${times[file_pull_ours]}")" \
    'BEGIN { printf "%.0f", m / t }') MiB/s"
echo "peak resident memory of zorvane-cli: file push $(peak_mib file_push) MiB, file pull $(peak_mib file_pull) MiB," \
    "folder push $(peak_mib folder_push) MiB, folder pull $(peak_mib folder_pull) MiB (limit 64 MiB)"
echo
printf '%s\n' "${verdicts[@]}"
