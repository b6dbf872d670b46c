#!/usr/bin/env bash
# Sets up a Debian 12 machine and runs every test: the normal build, then the AddressSanitizer and
# UndefinedBehaviorSanitizer build, then a bounded fuzzing run of the archive extractor.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"

echo "== build"
scripts/build.sh build
echo "== tests"
ctest --test-dir build --output-on-failure -j 2

echo "== sanitizer build"
scripts/build.sh build-asan -DZORVANE_SANITIZE=ON -DZORVANE_BUILD_APP=OFF
echo "== sanitizer tests"
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j 2

if [ -x scripts/fuzz-archive.sh ]; then
    echo "== fuzzing the archive extractor"
    scripts/fuzz-archive.sh
fi
