#!/usr/bin/env bash
# Runs a discovery test against real avahi-daemons in network namespaces of its own:
#   "phone"   - its own D-Bus and avahi-daemon, zorvane-phone announcing "演示手机" and a
#               developer image "sdk_gphone64_arm64" that must stay hidden;
#   "desktop" - its own D-Bus and avahi-daemon, and the test program (our client).
# Two links join them: zvu (169.254.x.y on both ends: an iPhone's USB network link) and
# zvw (10.213.0.0/24: the WiFi network). Each namespace gets a private /run, so the daemons
# neither see nor disturb the machine's own. Everything started is stopped and removed on exit,
# also when the test fails.
#
#   in-namespaces.sh TEST_PROGRAM PHONE_PROGRAM [test arguments...]
# Exit 77 (skipped) where namespaces cannot be made, unless ZORVANE_REQUIRE_NETNS=1.
set -euo pipefail
test_program=$1
phone_program=$2
shift 2

skip() {
    echo "SKIP: $*" >&2
    if [ "${ZORVANE_REQUIRE_NETNS:-0}" = 1 ]; then
        echo "ZORVANE_REQUIRE_NETNS=1: this machine must run the namespace test" >&2
        exit 1
    fi
    exit 77
}

[ "$(id -u)" -eq 0 ] || skip "creating network namespaces needs root"
for tool in ip unshare mount dbus-daemon avahi-daemon; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh installs it)"
done

tag=$$
phone_ns=zv-phone-$tag
desk_ns=zv-desk-$tag
work=$(mktemp -d /tmp/zorvane-netns.XXXXXX)
chmod 755 "$work"

stop_namespace() {
    local ns=$1 pids
    pids=$(ip netns pids "$ns" 2>/dev/null || true)
    if [ -n "$pids" ]; then
        kill $pids 2>/dev/null || true
        for _ in $(seq 20); do
            [ -z "$(ip netns pids "$ns" 2>/dev/null || true)" ] && break
            sleep 0.1
        done
        pids=$(ip netns pids "$ns" 2>/dev/null || true)
        [ -n "$pids" ] && kill -9 $pids 2>/dev/null || true
    fi
    ip netns del "$ns" 2>/dev/null || true
}
cleanup() {
    local status=$?
    stop_namespace "$desk_ns"
    stop_namespace "$phone_ns"
    if [ $status -ne 0 ] && [ -f "$work/phone.log" ]; then
        echo "--- phone stand-in log" >&2
        tail -n 40 "$work/phone.log" >&2 || true
    fi
    rm -rf "$work"
    exit $status
}
trap cleanup EXIT

ip netns add "$phone_ns" 2>"$work/netns.err" || skip "this machine refuses to create network namespaces: $(cat "$work/netns.err")"
ip netns add "$desk_ns"
ip link add zvu0 netns "$desk_ns" type veth peer name zvu1 netns "$phone_ns"
ip link add zvw0 netns "$desk_ns" type veth peer name zvw1 netns "$phone_ns"
ip -n "$desk_ns" link set lo up
ip -n "$phone_ns" link set lo up
ip -n "$desk_ns" addr add 169.254.77.1/16 dev zvu0
ip -n "$phone_ns" addr add 169.254.77.2/16 dev zvu1
ip -n "$desk_ns" addr add 10.213.0.1/24 dev zvw0
ip -n "$phone_ns" addr add 10.213.0.2/24 dev zvw1
for link in zvu0 zvw0; do ip -n "$desk_ns" link set "$link" up; done
for link in zvu1 zvw1; do ip -n "$phone_ns" link set "$link" up; done

# avahi-daemon.conf for one side: its own host name (both share this machine's), its two links only.
write_config() {
    cat >"$1" <<CONF
[server]
host-name=$2
use-ipv4=yes
use-ipv6=no
allow-interfaces=$3
ratelimit-interval-usec=0
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
publish-addresses=yes
CONF
}
write_config "$work/phone-avahi.conf" zvphone zvu1,zvw1
write_config "$work/desk-avahi.conf" zvdesk zvu0,zvw0

# Inside a namespace: a private /run, then the system bus and avahi-daemon on it.
daemons='mount -t tmpfs zorvane-run /run && mkdir -p /run/dbus && dbus-daemon --system --fork && avahi-daemon -D --no-rlimits -f "$0"'

mkdir -p "$work/cabin/照片" "$work/hidden"
echo "一个文件" >"$work/cabin/说明.txt"
ip netns exec "$phone_ns" unshare -m --propagation private bash -c "$daemons"' &&
    "$1" --root "$2/cabin" --host 0.0.0.0 --port 8765 --publish 演示手机 --verbose >"$2/phone.out" 2>"$2/phone.log" &
    "$1" --root "$2/hidden" --host 0.0.0.0 --port 8766 --publish sdk_gphone64_arm64 >/dev/null 2>"$2/hidden.log" &
    wait' "$work/phone-avahi.conf" "$phone_program" "$work" &

for _ in $(seq 100); do
    grep -q 'announced as "演示手机"' "$work/phone.log" 2>/dev/null \
        && grep -q 'announced as "sdk_gphone64_arm64"' "$work/hidden.log" 2>/dev/null && break
    sleep 0.1
done
grep -q 'announced as "演示手机"' "$work/phone.log" || { echo "the phone stand-in did not announce itself" >&2; exit 1; }

ip netns exec "$desk_ns" unshare -m --propagation private bash -c "$daemons"' && exec "$@"' \
    "$work/desk-avahi.conf" env \
    ZORVANE_NETNS_AVAHI_CONF="$work/desk-avahi.conf" ZORVANE_NETNS_PHONE_LOG="$work/phone.log" \
    "$test_program" "$@"
