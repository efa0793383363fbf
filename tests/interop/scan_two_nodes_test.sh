#!/usr/bin/env bash
# Two artnet-peer nodes, each in a namespace of its own, joined to this
# namespace by veth pairs on a bridge; then the scan program (the real
# plug-in on the Qt platform) scans and checks what it filed.
#   this namespace: br-scan 10.88.0.1/24; node-a 10.88.0.2; node-b 10.88.0.3
# usage: scan_two_nodes_test.sh SCAN_PROGRAM ARTNET_PEER IN_TEST_NETNS_SH
set -euo pipefail
source "$(dirname "$0")/../netns_test_lib.sh" "$3" "$0" "$@"

program=$1 peer=$2

work=$(mktemp -d)
nodes=()
cleanup() {
  for pid in "${nodes[@]}"; do kill "$pid" 2>/dev/null || true; done
  ip netns del node-a 2>/dev/null || true
  ip netns del node-b 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

ip link del artnet0  # the bridge alone, so the plug-in's address is 10.88.0.1
ip link add br-scan type bridge
ip addr add 10.88.0.1/24 dev br-scan
ip link set br-scan up
ip route add default dev br-scan
n=2
for name in node-a node-b; do
  ip netns add "$name"
  ip link add "veth-$name" type veth peer name eth0 netns "$name"
  ip link set "veth-$name" master br-scan
  ip link set "veth-$name" up
  ip -n "$name" link set lo up
  ip -n "$name" addr add "10.88.0.$n/24" dev eth0
  ip -n "$name" link set eth0 up
  n=$((n + 1))
done

# start_node NAMESPACE ARGS...: returns once the node's socket is bound.
start_node() {
  local ns=$1; shift
  ip netns exec "$ns" "$peer" node --timeout-ms 30000 "$@" >"$work/$ns.out" 2>"$work/$ns.err" &
  nodes+=($!)
  for _ in $(seq 50); do
    ip netns exec "$ns" ss -Hlun 'sport = :6454' | grep -q . && return 0
    sleep 0.1
  done
  echo "node in $ns did not start"; return 1
}
# Port 1 output on universe 5, port 2 input on universe 10.
start_node node-a --short "Alpha Dimmer" --long "Alpha dimmer rack, two ports" --report "#0001 [0042] ok" \
  --netsw 0 --subsw 3 --ports 2 --port-types 0x80,0x40,0,0 --swout 0x35,0,0,0 --swin 0,0x3A,0,0
# Ports 1 and 2 output (0xC0 counts as output), 3 input, 4 neither; the IP
# field names another address than the one it sends from.
start_node node-b --short "Beta Gateway" --ip 10.88.0.103 --netsw 1 --subsw 15 --ports 4 \
  --port-types 0xC0,0x80,0x40,0x05 --swout 0x1C,0x1D,0x17,0x18 --swin 0x11,0x12,0x1E,0x1F

rc=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM INTEROP_SCAN_BRIDGE=1 "$program" || rc=$?

fail=0
[[ $rc -eq 0 ]] || { echo "FAIL: scan program exited $rc"; fail=1; }
for ns in node-a node-b; do
  echo "--- $ns"; grep -v '^  hex:' "$work/$ns.out" || true; cat "$work/$ns.err"
  # One ArtPoll (the scan's) reached each node, and each answered it once.
  [[ $(grep -c '^ArtPoll from 10.88.0.1 (14 bytes)$' "$work/$ns.out") -eq 1 ]] || { echo "FAIL: $ns did not get exactly one ArtPoll"; fail=1; }
  [[ $(grep -c '^replied to 10.88.0.1$' "$work/$ns.out") -eq 1 ]] || { echo "FAIL: $ns did not answer exactly once"; fail=1; }
  grep -qx '  Route: 10.88.0.1:6454 -> 10.88.0.255:6454' "$work/$ns.out" || { echo "FAIL: the poll was not broadcast to 10.88.0.255"; fail=1; }
done
exit $fail
