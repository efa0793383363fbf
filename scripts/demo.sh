#!/usr/bin/env bash
# The main job, end to end: build, then inside a private network namespace
# let the reference host start the plug-in while a test peer in a second
# namespace, across a veth pair, receives and decodes its ArtPollReply.
# Exits 0 only if the peer got a 239-byte ArtPollReply.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ "${1:-}" != --in-netns ]]; then
  ./scripts/setup.sh
  cmake --preset default >/dev/null
  cmake --build --preset default
  exec ./scripts/in-test-netns.sh "$0" --in-netns
fi

build=$PWD/build
work=$(mktemp -d)
listener=
cleanup() {
  [[ -n "$listener" ]] && kill "$listener" 2>/dev/null
  ip netns del peer 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The plug-in's side 10.77.0.1, the peer's 10.77.0.2; the default route (and
# so the plug-in's broadcasts to 255.255.255.255) goes out the veth.
ip link del artnet0
ip netns add peer
ip link add veth-host type veth peer name veth-peer netns peer
ip addr add 10.77.0.1/24 dev veth-host
ip link set veth-host up
ip route add default dev veth-host
ip -n peer link set lo up
ip -n peer addr add 10.77.0.2/24 dev veth-peer
ip -n peer link set veth-peer up

ip netns exec peer "$build/artnet-peer" listen --only pollreply --count 1 --timeout-ms 10000 >"$work/peer.out" &
listener=$!
for _ in $(seq 50); do
  ip netns exec peer ss -Hlun 'sport = :6454' | grep -q . && break
  sleep 0.1
done

echo "=== lumenhost (plug-in in namespace 10.77.0.1)"
printf '%s\n' init name enable 'wait 500' disable term |
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" "$build/lumenhost"

status=0
wait "$listener" || status=$?
listener=
echo "=== artnet-peer (namespace peer, 10.77.0.2)"
cat "$work/peer.out"
if [[ $status -eq 0 ]] && grep -q '^ArtPollReply from .* (239 bytes)$' "$work/peer.out"; then
  echo "=== demo passed: the peer received the plug-in's 239-byte ArtPollReply"
  exit 0
fi
echo "=== demo FAILED: no 239-byte ArtPollReply reached the peer" >&2
exit 1
