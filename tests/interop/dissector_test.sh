#!/usr/bin/env bash
# Wireshark's Art-Net dissector (tshark) reads our packets as we meant them:
# the announcement, the two ArtDmx of a burst, and the answer to a peer's
# ArtPoll, captured on the veth in this test's own namespace. Checks opcode,
# protocol version, sequence, universe, length and data, the reply's names,
# IP, port and port setup, and that nothing is reported malformed.
# usage: dissector_test.sh LUMENHOST ARTNET_PEER PLUGIN IN_TEST_NETNS_SH
set -euo pipefail
source "$(dirname "$0")/../netns_test_lib.sh" "$4" "$0" "$@"

if ! command -v tshark >/dev/null; then
  echo "skipped: tshark is not installed (scripts/setup.sh installs it)"
  exit 77
fi
lumenhost=$1 peer=$2 plugin=$3
here=$(dirname "$0")

work=$(mktemp -d)
source "$here/../host/veth_pair.sh"
source "$here/interop_lib.sh"
store_settings 2 5 7

# tshark with no user preferences, so only its defaults decide the dissection.
tshark_env=(env HOME="$work" XDG_CONFIG_HOME="$work/wireshark-config")
tshark_clean() { "${tshark_env[@]}" tshark "$@"; }

capture="$work/capture.pcapng"
# Started through env, which execs tshark: $! is tshark itself. -P -l print
# each captured packet at once, which tells when capturing really started.
"${tshark_env[@]}" tshark -i veth-host -f 'udp port 6454' -w "$capture" -P -l \
  >"$work/tshark.out" 2>"$work/tshark.err" &
tshark_pid=$!
# "Capturing on" can come before packets are seen: ArtPolls from the peer
# (nobody listens yet, so nothing answers) until one shows up.
capturing=0
for _ in $(seq 100); do
  if grep -q '^Capturing on' "$work/tshark.err"; then
    ip netns exec peer "$peer" poll --to 10.77.0.1 >/dev/null 2>&1 || true
    [[ -s "$work/tshark.out" ]] && { capturing=1; break; }
  fi
  sleep 0.1
done
[[ $capturing -eq 1 ]] || { echo "FAIL: tshark did not start"; cat "$work/tshark.err"; exit 1; }

mkfifo "$work/in"
run_host <"$work/in" &
host=$!
exec 3>"$work/in"
printf 'init\nenable\nframe 5 6 7\nwait 200\n' >&3
wait_for_line "$work/host.out" "SetChannel 3 7 -> true"
sleep 0.3
poll_rc=0
ip netns exec peer "$peer" poll --to 10.77.0.1 --talk-to-me 2 --listen-ms 500 >"$work/poll.out" 2>&1 || poll_rc=$?
printf 'disable\nterm\n' >&3
exec 3>&-
host_rc=0
wait "$host" || host_rc=$?
sleep 0.3
kill -TERM "$tshark_pid"  # it finishes the capture file and exits
wait "$tshark_pid" || true

fail=0
echo "--- lumenhost (exit $host_rc)"; cat "$work/host.out" "$work/host.err"
[[ $host_rc -eq 0 && $poll_rc -eq 0 ]] || { echo "FAIL: lumenhost exited $host_rc, artnet-peer poll $poll_rc"; fail=1; }
echo "--- capture"
tshark_clean -r "$capture" 2>/dev/null

# fields FILTER FIELD...: one line per matching frame, values joined by '|'.
fields() {
  local filter=$1; shift
  local args=()
  for f in "$@"; do args+=(-e "$f"); done
  tshark_clean -r "$capture" -Y "$filter" -T fields -E separator='|' "${args[@]}" 2>/dev/null
}
# expect WHAT ACTUAL EXPECTED
expect() {
  if [[ "$2" != "$3" ]]; then
    echo "FAIL: $1"; echo "  dissector: ${2:-(nothing)}"; echo "  expected:  $3"; fail=1
  fi
}

reply_fields=(ip.src udp.srcport ip.dst udp.dstport artnet.header.opcode artnet.poll_reply.ip_address
  artnet.poll_reply.port_nr artnet.poll_reply.versinfo artnet.poll_reply.netswitch artnet.poll_reply.subswitch
  artnet.poll_reply.oem artnet.poll_reply.esta_man artnet.poll_reply.short_name artnet.poll_reply.long_name
  artnet.poll_reply.node_report artnet.poll_reply.num_ports artnet.poll_reply.port_types_1
  artnet.poll_reply.port_types_2 artnet.poll_reply.swin_1 artnet.poll_reply.swout_1
  artnet.poll_reply.swin_1_universe artnet.poll_reply.swout_1_universe artnet.poll_reply.style)
reply_body='0x2100|10.77.0.1|6454|0x000e|0x00|0x02|0x08b0|0x5156|Lumenstage|Lumenstage ArtNet output plugin|#0001 [0000] Lumenstage output plugin is ready|1|0xc0|0x00|0x25|0x27|37|39|0x01'
expect "the announcement" \
  "$(fields 'artnet.header.opcode == 0x2100 && ip.dst == 10.77.0.255' "${reply_fields[@]}")" \
  "10.77.0.1|6454|10.77.0.255|6454|$reply_body"
expect "the answer to the ArtPoll with TalkToMe 0x02" \
  "$(fields 'artnet.header.opcode == 0x2100 && ip.dst == 10.77.0.2' "${reply_fields[@]}")" \
  "10.77.0.1|6454|10.77.0.2|6454|$reply_body"
expect "the ArtDmx of the burst (channel 1 alone, padded to 2; then all three)" \
  "$(fields 'artnet.header.opcode == 0x5000' ip.src udp.srcport ip.dst artnet.header.protver \
       artnet.output.sequence artnet.output.physical artnet.output.universe artnet.output.length dmx_chan.data_filter)" \
  $'10.77.0.1|6454|10.77.0.255|14|1|0|37|2|0500\n10.77.0.1|6454|10.77.0.255|14|2|0|37|3|050607'

expect "malformed packets" "$(fields '_ws.malformed' frame.number)" ""
# The text fields are padded with spaces after their terminating zero, which
# the dissector notes once per field; anything else it flags is a fault.
expect "expert notes" "$(fields '_ws.expert' artnet.header.opcode ip.dst _ws.expert.message)" \
  "0x2100|10.77.0.255|Trailing stray characters,Trailing stray characters,Trailing stray characters
0x2100|10.77.0.2|Trailing stray characters,Trailing stray characters,Trailing stray characters"
exit $fail
