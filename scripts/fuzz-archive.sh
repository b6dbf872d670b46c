#!/usr/bin/env bash
# Fuzzes the tar extractor with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer for a
# bounded time, starting from real archives written by GNU tar and Python's tarfile.
# Fails on any crash, sanitizer report, or write outside the extraction folder.
#
#   ZORVANE_FUZZ_SECONDS   run time (default 60)
#   ZORVANE_FUZZ_BUILD     build folder (default build-fuzz in the repository)
# Needs clang-14, libclang-rt-14-dev, qt6-base-dev, cmake, python3, tar.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZORVANE_FUZZ_BUILD:-$root/build-fuzz}
seconds=${ZORVANE_FUZZ_SECONDS:-60}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

mkdir -p "$build"
if ! { cmake -S "$root/tests/archive/fuzz" -B "$build" "${generator[@]}" \
        -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVANE_ROOT="$root" &&
       cmake --build "$build" -j2; } >"$build/build.log" 2>&1; then
    cat "$build/build.log" >&2
    echo "building the fuzz target failed" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seeds=$work/seeds
tree=$work/tree
mkdir -p "$seeds" "$build/corpus" "$build/artifacts"

# A small tree with what matters to a reader: long and non-ASCII names, empty items, links.
mkdir -p "$tree/中文/空" "$tree/deep/a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p" "$tree/empty"
printf '照片' >"$tree/中文/照片.txt"
: >"$tree/empty-file"
head -c 1300 /dev/urandom >"$tree/deep/a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/data"
printf 'x' >"$tree/$(printf 'n%.0s' $(seq 1 120))"
printf 'y' >"$tree/deep/$(printf '长%.0s' $(seq 1 40))"
ln -s empty-file "$tree/link"
ln "$tree/empty-file" "$tree/hard"

for format in gnu oldgnu ustar pax v7; do
    LC_ALL=C.UTF-8 tar --format=$format -cf "$seeds/gnutar-$format.tar" -C "$tree" . 2>/dev/null || true
done
LC_ALL=C.UTF-8 python3 - "$tree" "$seeds" <<'PY'
import io, sys, tarfile
tree, seeds = sys.argv[1], sys.argv[2]
for name, fmt in (('gnu', tarfile.GNU_FORMAT), ('pax', tarfile.PAX_FORMAT), ('ustar', tarfile.USTAR_FORMAT)):
    try:
        with tarfile.open(f'{seeds}/python-{name}.tar', 'w', format=fmt) as archive:
            archive.add(tree, arcname='.')
    except ValueError:
        pass  # ustar cannot carry every name of the tree

def member(archive, name, data=b'', kind=tarfile.REGTYPE, link=''):
    info = tarfile.TarInfo(name)
    info.type, info.linkname, info.size = kind, link, len(data)
    archive.addfile(info, io.BytesIO(data))

# Hostile ones, one archive each since extraction stops at the first refused entry: climbing
# out, absolute names, writing through links already in the target or made by the archive.
hostile = {
    'climb': [('../escape', b'x')],
    'absolute': [('/abs/file', b'y'), ('abs/passwd', b'z')],
    'own-link': [('made-link', '../outside'), ('made-link/through', b'w')],
    'planted-relative': [('rel/through', b'v')],
    'planted-absolute': [('abs/deeper/file', b'u')],
    'planted-file': [('file', b't')],
    'planted-dangling': [('dangling', b's')],
    'planted-nested': [('dir/inner/x', b'r')],
}
for label, members in hostile.items():
    with tarfile.open(f'{seeds}/hostile-{label}.tar', 'w', format=tarfile.GNU_FORMAT) as archive:
        for name, payload in members:
            if isinstance(payload, str):
                member(archive, name, kind=tarfile.SYMTYPE, link=payload)
            else:
                member(archive, name, payload)
with tarfile.open(f'{seeds}/python-pax-size.tar', 'w', format=tarfile.PAX_FORMAT) as archive:
    info = tarfile.TarInfo('中文/pax')
    info.size, info.pax_headers = 3, {'size': '3', 'comment': 'c'}
    archive.addfile(info, io.BytesIO(b'abc'))
PY
# Archives cut short.
for file in "$seeds"/*.tar; do
    size=$(stat -c %s "$file")
    head -c $((size / 2)) "$file" >"${file%.tar}-half.tar"
done

echo "fuzzing the tar extractor for ${seconds}s ($(ls "$seeds" | wc -l) seed archives)"
status=0
"$build/fuzz_tarextractor" -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/" "$build/corpus" "$seeds" \
    >"$build/fuzz.log" 2>&1 || status=$?
tail -n 12 "$build/fuzz.log"
if [ "$status" -ne 0 ]; then
    echo "fuzzing failed (exit $status); see $build/fuzz.log and $build/artifacts/" >&2
    exit 1
fi
echo "fuzzing passed"
