#!/usr/bin/env bash
# ArtNet.dll on the wire, beside the Linux build's Art-Net peer: the C++
# test host (com_host_tests.exe, test WireRoundTrip) sets values that leave
# as an ArtDmx, then waits while the peer sends an ArtDmx for the receive
# universe, which must reach its helper object. The peer sits in a namespace
# of its own behind a veth pair (10.78.0.0/24); the test's namespace keeps
# its other interfaces, so tests running beside this one are not disturbed.
# usage: wire_test.sh PROJECT_DIR BUILD_DIR LOADER TEST_EXE ARTNET_PEER
set -euo pipefail
source "$(dirname "$0")/wine_env.sh" "$1" "$2" "$3"
exe=$4 peer=$5
if [[ -z "$peer" || ! -x "$peer" ]]; then
  echo "skipped: no Linux Art-Net peer (configure with -DARTNET_LINUX_PEER=.../artnet-peer)"
  exit 77
fi

work=$(mktemp -d)
ns=com-peer-$$
listener=
cleanup() {
  [[ -n "$listener" ]] && kill "$listener" 2>/dev/null
  ip link del "vc$$" 2>/dev/null
  ip netns del "$ns" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
ip netns add "$ns"
ip link add "vc$$" type veth peer name veth-peer netns "$ns"
ip addr add 10.78.0.1/24 dev "vc$$"
ip link set "vc$$" up
ip -n "$ns" link set lo up
ip -n "$ns" addr add 10.78.0.2/24 dev veth-peer
ip -n "$ns" link set veth-peer up

section='HKCU\Software\VB and VBA Program Settings\ComWireTest\Plugins\ArtNet.dll'
reg add "$section" /v ArtNet_BroadcastAdress /d 10.78.0.255 /f >/dev/null

ip netns exec "$ns" "$peer" listen --only dmx --count 1 --timeout-ms 20000 >"$work/peer.out" 2>"$work/peer.err" &
listener=$!
for _ in $(seq 50); do
  ip netns exec "$ns" ss -Hlun 'sport = :6454' | grep -q . && break
  sleep 0.1
done

ARTNET_WIRE_READY_FILE="$(windows_path "$work/ready")" WIN_TIMEOUT=90 \
  win "$exe" --gtest_filter='*WireRoundTrip*' >"$work/host.out" 2>&1 &
host=$!
for _ in $(seq 300); do
  [[ -f "$work/ready" ]] && break
  kill -0 "$host" 2>/dev/null || break
  sleep 0.1
done
if [[ -f "$work/ready" ]]; then
  ip netns exec "$ns" "$peer" dmx --to 10.78.0.1 --universe 1 10 20
fi
host_rc=0
wait "$host" || host_rc=$?
peer_rc=0
wait "$listener" || peer_rc=$?
listener=

echo "--- test host (exit $host_rc)"; tr -d '\r' <"$work/host.out"
echo "--- artnet-peer (exit $peer_rc)"; cat "$work/peer.out" "$work/peer.err"
if grep -q '\[  SKIPPED \]' "$work/host.out" && ! grep -q '\[  FAILED  \]' "$work/host.out"; then
  echo "skipped: the test host skipped"; exit 77
fi
check "the test host passed" test "$host_rc" -eq 0
check "an ArtDmx from 10.78.0.1" grep -q '^ArtDmx from 10.78.0.1' "$work/peer.out"
check "on universe 0" grep -qx '  SubUni: 0x00' "$work/peer.out"
check "carrying 255 7" grep -qx '  Data: 255 7' "$work/peer.out"
exit $fail
