#!/usr/bin/env bash
# ArtNet.dll while another program holds UDP port 6454: a Linux socket in
# this namespace (artnet-peer listening on all addresses, no sharing) holds
# it. The C++ test host (com_host_tests.exe, test WirePortInUse) enables
# output and sets three channels: it sees the port-in-use warning once, as a
# message box titled by the module's name, and closes it. The listener in the
# peer's namespace must still get every packet once, from other ports. Then
# the script ends the holder and the host sets two more channels, which
# return to port 6454.
# usage: port_in_use_test.sh PROJECT_DIR BUILD_DIR LOADER TEST_EXE ARTNET_PEER
set -euo pipefail
source "$(dirname "$0")/wine_env.sh" "$1" "$2" "$3"
exe=$4 peer=$5
source "$(dirname "$0")/wire_lib.sh"

seed_settings ComWirePortInUse 0 1 2
"$peer" listen --timeout-ms 90000 >"$work/holder.out" 2>&1 &
holder=$!
background+=("$holder")
if ! wait_bound ""; then
  echo "FAIL: the holder did not bind port 6454"
  exit 1
fi
start_listener "$work/peer.out" --timeout-ms 90000
run_test_host WirePortInUse ARTNET_WIRE_SENT_FILE="$(windows_path "$work/sent")" \
  ARTNET_WIRE_RELEASED_FILE="$(windows_path "$work/released")"
wait_until 90 bash -c "[[ -f '$work/sent' ]] || ! kill -0 $host 2>/dev/null" || true
wait_until 5 has_datagrams "$work/peer.out" 4 || true
held=$(grep -c '^[^ ]' "$work/peer.out" || true)  # datagrams sent while the port was held
kill "$holder" 2>/dev/null || true
wait "$holder" 2>/dev/null || true
touch "$work/released"
finish_test_host
sleep 0.3
stop_listener

datagrams "$work/peer.out" >"$work/lines"
echo "--- datagrams seen"
cut -f1,2 "$work/lines"
source_port() { sed -n "$1p" "$work/lines" | field Route | sed 's/^[0-9.]*:\([0-9]*\) .*/\1/'; }

check "the announcement first, to the broadcast address" \
  test "$(head -n1 "$work/lines" | cut -f1)" == 'ArtPollReply from 10.78.0.1 (239 bytes)'
check "it went to 10.78.0.255:6454" grep -q $'\tRoute: 10.78.0.1:[0-9]* -> 10.78.0.255:6454\t' <(head -n1 "$work/lines")
check "four datagrams while the port was held (saw $held)" test "$held" -ge 4
for ((i = 1; i <= held; ++i)); do
  port=$(source_port "$i")
  check "datagram $i left from a free port ($port), not 6454" test "$port" != 6454
done

# ArtDmx by its contents; refreshes may repeat a buffer, but no packet is
# sent twice: the sequence numbers count up without a repeat.
grep '^ArtDmx' "$work/lines" >"$work/dmx" || true
mapfile -t data < <(field Data <"$work/dmx")
mapfile -t sequence < <(field Sequence <"$work/dmx")
# (A one-slot buffer may be sent padded to two values.)
carried() { printf '%s\n' "${data[@]}" | grep -qxE "$1( 0)?"; }
for want in "11" "11 22" "11 22 33" "11 22 33 44" "11 22 33 44 55"; do
  check "an ArtDmx carrying $want" carried "$want"
done
check "sequence numbers 1..${#sequence[@]}, each once" test "${sequence[*]}" == "$(seq -s ' ' 1 "${#sequence[@]}")"
last=$(wc -l <"$work/lines")
check "once the port is free, the last send leaves from 6454" test "$(source_port "$last")" == 6454
check "the last ArtDmx carries channels 1-5" test "${data[-1]:-}" == "11 22 33 44 55"
exit $fail
