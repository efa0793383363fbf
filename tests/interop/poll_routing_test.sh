#!/usr/bin/env bash
# Where the plug-in answers an ArtPoll: with TalkToMe bit 0x02 unicast to the
# poll's sender, otherwise to the configured broadcast address, whether the
# poll itself came unicast or broadcast. The peer (10.77.0.2, across a veth
# pair) reports each datagram's destination address.
# usage: poll_routing_test.sh LUMENHOST ARTNET_PEER PLUGIN IN_TEST_NETNS_SH
set -euo pipefail
source "$(dirname "$0")/../netns_test_lib.sh" "$4" "$0" "$@"

lumenhost=$1 peer=$2 plugin=$3
here=$(dirname "$0")

work=$(mktemp -d)
source "$here/../host/veth_pair.sh"
source "$here/interop_lib.sh"
store_settings 3 4 6

mkfifo "$work/in"
run_host <"$work/in" &
host=$!
exec 3>"$work/in"
printf 'init\nenable\n' >&3
wait_for_line "$work/host.out" "Enable -> true"

fail=0
# poll_case TO TALKTOME EXPECTED_DESTINATION
poll_case() {
  local out="$work/poll-$1-$2.out" rc=0
  ip netns exec peer "$peer" poll --to "$1" --talk-to-me "$2" --listen-ms 700 >"$out" 2>&1 || rc=$?
  blocks "$out" | grep '^ArtPollReply' >"$out.replies" || true
  local routes
  routes=$(cut -f2 "$out.replies")
  echo "--- poll to $1, TalkToMe $2 (exit $rc): ${routes:-no reply}"
  if [[ "$routes" != "Route: 10.77.0.1:6454 -> $3:6454" ]]; then
    echo "FAIL: expected exactly one ArtPollReply from 10.77.0.1:6454 to $3"; cat "$out"; fail=1
  elif ! grep -qF $'\tIP: 10.77.0.1\t' "$out.replies" || ! grep -qF $'\tSwIn: 0x34 ' "$out.replies"; then
    echo "FAIL: the reply does not describe this plug-in"; cat "$out"; fail=1
  fi
}
poll_case 10.77.0.1 0x02 10.77.0.2
poll_case 10.77.0.1 0x00 10.77.0.255
poll_case 10.77.0.255 0x03 10.77.0.2
poll_case 10.77.0.255 0x01 10.77.0.255

printf 'disable\nterm\n' >&3
exec 3>&-
host_rc=0
wait "$host" || host_rc=$?
echo "--- lumenhost (exit $host_rc)"; cat "$work/host.out" "$work/host.err"
[[ $host_rc -eq 0 ]] || { echo "FAIL: lumenhost exited $host_rc"; fail=1; }
[[ "$(cat "$work/host.out")" == $'Init -> false\nEnable -> true\nDisable -> true\nTerm -> false' ]] ||
  { echo "FAIL: lumenhost printed unexpected lines"; fail=1; }
exit $fail
