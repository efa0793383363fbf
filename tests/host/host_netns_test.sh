#!/usr/bin/env bash
# End to end: the real plug-in, driven by lumenhost in a private namespace
# (10.77.0.1), announces itself across a veth pair to an artnet-peer
# listening in a second namespace (10.77.0.2).
# usage: host_netns_test.sh LUMENHOST ARTNET_PEER PLUGIN IN_TEST_NETNS_SH
set -euo pipefail
source "$(dirname "$0")/../netns_test_lib.sh" "$4" "$0" "$@"

lumenhost=$1 peer=$2 plugin=$3

work=$(mktemp -d)
source "$(dirname "$0")/veth_pair.sh"
start_listener --only pollreply --count 1 --timeout-ms 10000

printf 'init\nenable\nwait 500\ndisable\nterm\n' >"$work/script"
host_rc=0
env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" \
  "$lumenhost" --plugin "$plugin" --script "$work/script" >"$work/host.out" 2>"$work/host.err" || host_rc=$?

peer_rc=0
wait "$listener" || peer_rc=$?
listener=

fail=0
[[ $host_rc -eq 0 ]] || { echo "FAIL: lumenhost exited $host_rc"; fail=1; }
echo "--- lumenhost (exit $host_rc)"; cat "$work/host.out" "$work/host.err"
echo "--- artnet-peer (exit $peer_rc)"; cat "$work/peer.out" "$work/peer.err"
expected=$'Init -> false\nEnable -> true\nDisable -> true\nTerm -> false'
if [[ "$(cat "$work/host.out")" != "$expected" ]]; then
  echo "FAIL: lumenhost printed other lines than:"; echo "$expected"; fail=1
fi
grep -qx 'ArtPollReply from 10.77.0.1 (239 bytes)' "$work/peer.out" || { echo "FAIL: no 239-byte ArtPollReply from 10.77.0.1"; fail=1; }
grep -qx '  IP: 10.77.0.1' "$work/peer.out" || { echo "FAIL: reply's IP field is not 10.77.0.1"; fail=1; }
grep -qx '  ShortName: "Lumenstage"' "$work/peer.out" || { echo "FAIL: unexpected ShortName"; fail=1; }
# Term saved into the same section Init read from, so nothing else appeared.
settings=$(cat "$work/config/lumenstage/plugins.ini")
echo "--- plugins.ini after Term"; echo "$settings"
if [[ $(grep -c '^\[' <<<"$settings") -ne 1 ]] || ! grep -qx 'ArtNet_BroadcastAdress=10.77.0.255' <<<"$settings"; then
  echo "FAIL: settings not kept in [Lumenstage\Plugins\libArtNet.so]"; fail=1
fi
exit $fail
