#!/usr/bin/env bash
# The native dialog's scan answered by a Linux peer node, in a fresh network
# namespace of its own (scripts/in-test-netns.sh nests): a bridge for the
# plug-in under Wine, a namespace with the node, one with a listener that
# records the ArtPollReply broadcasts; then checks that OK announced the
# picked subnet and universes.
#   scan-with-peer.sh SCAN_TEST.exe ARTNET_PEER
set -euo pipefail

exe=$1 peer=${2:-}
if [[ -z "$peer" || ! -x "$peer" ]]; then
  echo "skipped: no Linux artnet-peer (configure with -DARTNET_LINUX_PEER=...)"
  exit 77
fi
project=$(cd "$(dirname "$0")/../../.." && pwd)
export WINE_RUN=$project/scripts/wine-run.sh EXE=$exe PEER=$peer
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WORK=$work

# While a Wine server of this prefix still runs in the calling namespace (a
# test before this one), the programs started in the new namespace send
# nothing onto its network (measured, Wine 8): wait until it has gone.
timeout 60 wineserver -w 2>/dev/null || true

"$project/scripts/in-test-netns.sh" bash -c '
  set -u
  ip link del artnet0
  ip link add br-scan type bridge
  ip addr add 10.88.0.1/24 dev br-scan
  ip link set br-scan up
  ip route add default dev br-scan
  n=2
  for name in node listener; do
    ip netns add "$name"
    ip link add "veth-$name" type veth peer name eth0 netns "$name"
    ip link set "veth-$name" master br-scan
    ip link set "veth-$name" up
    ip -n "$name" link set lo up
    ip -n "$name" addr add "10.88.0.$n/24" dev eth0
    ip -n "$name" link set eth0 up
    ip -n "$name" route add default dev eth0
    n=4
  done
  ip netns exec node "$PEER" node --timeout-ms 60000 --short "Alpha Dimmer" --netsw 0 --subsw 3 --ports 2 \
    --port-types 0x80,0x40,0,0 --swout 0x35,0,0,0 --swin 0,0x3A,0,0 >"$WORK/node.out" 2>&1 &
  node=$!
  ip netns exec listener stdbuf -oL "$PEER" listen --only pollreply --timeout-ms 60000 >"$WORK/replies.out" 2>&1 &
  listener=$!
  for ns in node listener; do
    for _ in $(seq 50); do
      ip netns exec "$ns" ss -Hlun "sport = :6454" | grep -q . && break
      sleep 0.1
    done
  done
  ARTNET_TEST_SCAN_BRIDGE=1 WINE_RUN_TIMEOUT=90 "$WINE_RUN" "$EXE"
  rc=$?
  if [[ $rc -ne 0 ]]; then
    echo "--- the node:"; cat "$WORK/node.out"
    echo "--- ArtPollReply heard:"; cat "$WORK/replies.out"
  fi
  wineserver -k 2>/dev/null
  kill $node $listener 2>/dev/null
  wait $node $listener 2>/dev/null
  ip netns del node
  ip netns del listener
  exit $rc'

# The last announcement of the plug-in carries the picked subnet 3, sending
# universe 5 and receiving universe 10 (SwIn 0x35, SwOut 0x3a).
last=$(awk '/^ArtPollReply from 10\.88\.0\.1[ :]/ {block = ""; keep = 1; next}
            /^Art/ {keep = 0}
            keep {block = block $0 "\n"}
            END {printf "%s", block}' "$work/replies.out")
if ! grep -q "SubSwitch: 3$" <<<"$last" || ! grep -q "SwIn: 0x35 " <<<"$last" || ! grep -q "SwOut: 0x3a " <<<"$last"; then
  echo "the plug-in's last ArtPollReply does not carry the picked values:"
  cat "$work/replies.out"
  exit 1
fi
echo "OK announced subnet 3, universes 5 and 10"
