#!/usr/bin/env bash
# Runs a command in a private network and mount namespace: loopback up, one
# interface artnet0 (10.99.0.1/24) carrying the default route, so broadcasts
# (255.255.255.255, 10.99.0.255) are routable and looped back locally while
# nothing can leave the machine. Exports ARTNET_TEST_NETNS=1 and returns the
# command's exit code. Nestable: each call makes a fresh namespace, and
# /run/netns is private to it, so `ip netns add` inside stays inside.
set -euo pipefail

if [[ $# -eq 0 ]]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi

if [[ "$1" != "--inside-test-netns" ]]; then
  as_root=()
  [[ $(id -u) -eq 0 ]] || as_root=(sudo --preserve-env)
  exec "${as_root[@]}" unshare --net --mount --propagation private -- "$0" --inside-test-netns "$@"
fi
shift

ip link set lo up
# A dummy device where the kernel has one; otherwise an ifb or a bridge
# without ports, which equally drop what is sent through them.
ip link add artnet0 type dummy 2>/dev/null ||
  ip link add artnet0 type ifb 2>/dev/null ||
  ip link add artnet0 type bridge
ip addr add 10.99.0.1/24 dev artnet0
ip link set artnet0 up
ip route add default dev artnet0

# This namespace's own view of /sys and its own /run/netns.
mount -t sysfs -o ro sysfs /sys 2>/dev/null || true
mkdir -p /run/netns
mount -t tmpfs -o mode=0755 test-netns /run/netns

# Wine's server creates the sockets of the programs it runs, so a server
# started here must serve this namespace only and none from outside may be
# reused. Upstream Wine meets at /tmp/.wine-$UID; Debian's keeps its folder
# under $TMPDIR and names it in the prefix, so both get a private place. The
# temp folder is unique on the shared /tmp, so files an outer namespace made
# stay visible in a nested one.
wine_dir=/tmp/.wine-$(id -u)
mkdir -p "$wine_dir"
mount -t tmpfs -o mode=0700 test-netns-wine "$wine_dir"
TMPDIR=$(mktemp -d /tmp/test-netns.XXXXXX)
chmod 1777 "$TMPDIR"  # as /tmp: unprivileged helpers (olad as nobody) use it too
export TMPDIR

export ARTNET_TEST_NETNS=1
set +e
"$@"
rc=$?
rm -rf "$TMPDIR"
exit $rc
