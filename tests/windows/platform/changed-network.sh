#!/usr/bin/env bash
# Runs the datagram socket's cases that need the network changed, each in a
# fresh namespace of its own (scripts/in-test-netns.sh nests), so the change
# cannot disturb other tests and the Wine server started there serves only
# that namespace:
#   - no route at all: a limited broadcast must still leave through artnet0;
#   - a second network holding the default route: the local address follows
#     the destination's network first;
#   - artnet0 behind a slow queue (tbf): the send buffer fills; the queue is
#     removed when the test asks, by creating a file.
#   changed-network.sh windows_platform_tests.exe
set -euo pipefail

exe=$1
project=$(cd "$(dirname "$0")/../../.." && pwd)
export WINE_RUN=$project/scripts/wine-run.sh EXE=$exe

# A server of the same prefix still running out here would be found from the
# nested namespaces too, and their programs would send on this network:
# let it end first.
timeout 60 wineserver -w 2>/dev/null || true

"$project/scripts/in-test-netns.sh" bash -c '
  set -u
  ip route del default
  ARTNET_TEST_ROUTELESS=1 "$WINE_RUN" "$EXE" --gtest_filter="*.LimitedBroadcastLeavesWithoutAnyRoute"
  rc=$?
  wineserver -k 2>/dev/null
  exit $rc'

"$project/scripts/in-test-netns.sh" bash -c '
  set -u
  ip link add office0 type ifb 2>/dev/null || ip link add office0 type bridge
  ip addr add 192.168.77.1/24 dev office0
  ip link set office0 up
  ip route replace default dev office0
  ARTNET_TEST_MULTIHOMED=1 "$WINE_RUN" "$EXE" --gtest_filter="*.LocalIPOnTwoNetworks*"
  rc=$?
  wineserver -k 2>/dev/null
  exit $rc'

drain_dir=$(mktemp -d)
trap 'rm -rf "$drain_dir"' EXIT
export DRAIN=$drain_dir/drain
"$project/scripts/in-test-netns.sh" bash -c '
  set -u
  tc qdisc add dev artnet0 root tbf rate 8kbit burst 1600 limit 100000000
  (
    for _ in $(seq 300); do
      [[ -e $DRAIN ]] && break
      sleep 0.1
    done
    tc qdisc del dev artnet0 root
  ) &
  watcher=$!
  ARTNET_TEST_SLOW_LINK=1 ARTNET_TEST_DRAIN_FILE="Z:$DRAIN" "$WINE_RUN" "$EXE" --gtest_filter="*.FullSendBufferIsRefused*"
  rc=$?
  kill $watcher 2>/dev/null
  wait $watcher 2>/dev/null
  wineserver -k 2>/dev/null
  exit $rc'
