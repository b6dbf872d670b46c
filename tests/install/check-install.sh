#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the installed tree as a desktop would see it:
# the programs run from there, the launcher and the AppStream file pass their validators, the
# icons are where the theme looks. Usage: check-install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d "${TMPDIR:-/tmp}/zorvane-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" > "$prefix.log" 2>&1 || { cat "$prefix.log" >&2; fail "cmake --install"; }
rm -f "$prefix.log"

id=io.zorvane.Zorvane
for file in bin/zorvane bin/zorvane-cli bin/zorvane-phone \
        share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
        share/icons/hicolor/scalable/apps/$id.svg share/doc/Zorvane/privacy.html \
        share/man/man1/zorvane.1 share/man/man1/zorvane-cli.1 share/man/man1/zorvane-phone.1; do
    [ -s "$prefix/$file" ] || fail "$file is not installed"
done
for size in 16 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
    [ -s "$png" ] || fail "the ${size}px icon is not installed"
    # A PNG of the right size: its header says so.
    dims=$(python3 -c 'import struct, sys; print(*struct.unpack(">II", open(sys.argv[1], "rb").read(24)[16:24]))' "$png")
    [ "$dims" = "$size $size" ] || fail "the ${size}px icon is $dims"
done

desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "the launcher does not validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" > /dev/null \
    || fail "the AppStream file does not validate"
grep -q '^Exec=zorvane$' "$prefix/share/applications/$id.desktop" || fail "the launcher does not start zorvane"

# The man pages say what the programs' help says.
grep -q 'HOST:PORT' "$prefix/share/man/man1/zorvane.1" || fail "zorvane.1 lacks --phone"
grep -q '连接到指定地址的手机' "$prefix/share/man/man1/zorvane.1" || fail "zorvane.1 lost its Chinese"
grep -q -- 'push' "$prefix/share/man/man1/zorvane-cli.1" || fail "zorvane-cli.1 lacks push"

# The installed programs run from the prefix alone.
"$prefix/bin/zorvane-cli" --help | grep -q 'zorvane-cli' || fail "zorvane-cli --help"
"$prefix/bin/zorvane-phone" --help > /dev/null 2>&1 || fail "zorvane-phone --help"
home=$(mktemp -d)
out=$(cd / && HOME=$home XDG_CONFIG_HOME=$home/config QT_QPA_PLATFORM=offscreen ZORVANE_REPORT_FIRST_FRAME=1 \
    timeout 60 "$prefix/bin/zorvane" 2>&1) || { rm -rf "$home"; echo "$out" >&2; fail "zorvane did not start"; }
rm -rf "$home"
echo "$out" | grep -q '^first frame after [0-9]* ms$' || { echo "$out" >&2; fail "zorvane drew no frame"; }
echo "installed tree checked; $(echo "$out" | grep '^first frame')"
