#!/usr/bin/env bash
# End to end on lighting networks as they really are:
# 1. A console PC whose office interface came up before the lighting one,
#    with the broadcast address on the lighting network: the announcement
#    carries the lighting address, not the office one.
# 2. A flat lighting network with no default route and the default broadcast
#    address 255.255.255.255: the announcement and the output still reach
#    the stage.
# usage: host_lighting_network_test.sh LUMENHOST ARTNET_PEER PLUGIN IN_TEST_NETNS_SH
set -euo pipefail
source "$(dirname "$0")/../netns_test_lib.sh" "$4" "$0" "$@"

lumenhost=$1 peer=$2 plugin=$3

work=$(mktemp -d)
# Made before the lighting side, so the office interface is listed first.
ip link add office0 type bridge
ip addr add 192.168.50.10/24 dev office0
ip link set office0 up
source "$(dirname "$0")/veth_pair.sh"

fail=0
expect_line() {  # FILE LINE WHAT
  grep -qx -- "$2" "$1" || { echo "FAIL: $3"; fail=1; }
}
run_host() {  # COMMANDS...
  printf '%s\n' "$@" >"$work/script"
  local rc=0
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" \
    "$lumenhost" --plugin "$plugin" --script "$work/script" >"$work/host.out" 2>"$work/host.err" || rc=$?
  echo "--- lumenhost (exit $rc)"; cat "$work/host.out" "$work/host.err"
  [[ $rc -eq 0 ]] || { echo "FAIL: lumenhost exited $rc"; fail=1; }
}
wait_listener() {
  local rc=0
  wait "$listener" || rc=$?
  listener=
  echo "--- artnet-peer (exit $rc)"; cat "$work/peer.out" "$work/peer.err"
}

echo "=== multi-homed, broadcast address 10.77.0.255"
start_listener --only pollreply --count 1 --timeout-ms 10000
run_host init enable 'wait 300' disable term
wait_listener
expect_line "$work/peer.out" '  IP: 10.77.0.1' "the reply does not carry the lighting address 10.77.0.1"

echo "=== flat network: no default route, broadcast address 255.255.255.255"
ip link del office0
ip route del default
rm "$work/config/lumenstage/plugins.ini"
start_listener --count 2 --timeout-ms 10000
run_host init enable 'set 1 200' 'wait 300' disable term
wait_listener
expect_line "$work/peer.out" 'ArtPollReply from 10.77.0.1 (239 bytes)' "no ArtPollReply reached the stage"
expect_line "$work/peer.out" '  IP: 10.77.0.1' "the reply does not carry 10.77.0.1"
expect_line "$work/peer.out" 'ArtDmx from 10.77.0.1 (20 bytes)' "no ArtDmx reached the stage"
grep -q '^  Data: 200' "$work/peer.out" || { echo "FAIL: the ArtDmx does not carry 200"; fail=1; }
grep -q '^  Route: 10.77.0.1:6454 -> 255.255.255.255:6454' "$work/peer.out" ||
  { echo "FAIL: not sent to 255.255.255.255"; fail=1; }
exit $fail
