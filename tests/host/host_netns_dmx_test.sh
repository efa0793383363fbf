#!/usr/bin/env bash
# End to end, both DMX roads: a peer's ArtDmx for the plug-in's receive
# universe (1) reaches the host as LMST_DMXIn_SetChannel lines, and values
# the host sets leave as ArtDmx on the send universe (0): one stored while
# output is off, one set after Enable that sends the buffer at once. Commands go in
# through standard input, step by step, so the order is fixed.
# usage: host_netns_dmx_test.sh LUMENHOST ARTNET_PEER PLUGIN IN_TEST_NETNS_SH
set -euo pipefail
source "$(dirname "$0")/../netns_test_lib.sh" "$4" "$0" "$@"

lumenhost=$1 peer=$2 plugin=$3

work=$(mktemp -d)
source "$(dirname "$0")/veth_pair.sh"
start_listener --only dmx --count 1 --timeout-ms 10000

mkfifo "$work/in"
env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" \
  "$lumenhost" --plugin "$plugin" <"$work/in" >"$work/host.out" 2>"$work/host.err" &
host=$!
exec 3>"$work/in"

printf 'init\nset 2 7\nenable\n' >&3
wait_for_line "$work/host.out" "Enable -> true"
# Channel 3 carries 0, unchanged from the empty input buffer: no call for it.
ip netns exec peer "$peer" dmx --to 10.77.0.1 --universe 1 10 20 0
wait_for_line "$work/host.out" "LMST_DMXIn_SetChannel 2 20" || true
printf 'set 1 255\nwait 300\ndisable\nterm\n' >&3
exec 3>&-

host_rc=0
wait "$host" || host_rc=$?
peer_rc=0
wait "$listener" || peer_rc=$?
listener=

fail=0
echo "--- lumenhost (exit $host_rc)"; cat "$work/host.out" "$work/host.err"
echo "--- artnet-peer (exit $peer_rc)"; cat "$work/peer.out" "$work/peer.err"
[[ $host_rc -eq 0 ]] || { echo "FAIL: lumenhost exited $host_rc"; fail=1; }
expected=$'Init -> false\nSetChannel 2 7 -> true\nEnable -> true\nLMST_DMXIn_SetChannel 1 10\nLMST_DMXIn_SetChannel 2 20
SetChannel 1 255 -> true\nDisable -> true\nTerm -> false'
if [[ "$(cat "$work/host.out")" != "$expected" ]]; then
  echo "FAIL: lumenhost printed other lines than:"; echo "$expected"; fail=1
fi
grep -qx 'ArtDmx from 10.77.0.1 (20 bytes)' "$work/peer.out" || { echo "FAIL: no 20-byte ArtDmx from 10.77.0.1"; fail=1; }
grep -qx '  SubUni: 0x00' "$work/peer.out" || { echo "FAIL: ArtDmx not on universe 0"; fail=1; }
grep -qx '  Data: 255 7' "$work/peer.out" || { echo "FAIL: ArtDmx does not carry 255 7"; fail=1; }
exit $fail
