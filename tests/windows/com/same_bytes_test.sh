#!/usr/bin/env bash
# ArtNet.dll and the Linux build put the same bytes on the wire. One scripted
# sequence (Init with stored settings, Enable, three spaced SetChannel, a
# poll from the peer, Disable, Term) is run twice from 10.78.0.1: by the C++
# test host (com_host_tests.exe, test WireSameBytes) with the settings in
# the registry, then by lumenhost with libArtNet.so and the same settings in
# its settings file. A listener in the peer's namespace captures every
# datagram; both captures must match byte for byte, with the same source
# ports and destinations, and carry the stored settings.
# usage: same_bytes_test.sh PROJECT_DIR BUILD_DIR LOADER TEST_EXE ARTNET_PEER LUMENHOST LIBARTNET
set -euo pipefail
source "$(dirname "$0")/wine_env.sh" "$1" "$2" "$3"
exe=$4 peer=$5 lumenhost=$6 plugin=$7
if [[ ! -x "$lumenhost" || ! -f "$plugin" ]]; then
  echo "skipped: no Linux lumenhost and libArtNet.so (configure with -DARTNET_LINUX_HOST=... -DARTNET_LINUX_PLUGIN=...)"
  exit 77
fi
source "$(dirname "$0")/wire_lib.sh"

title=ComWireBytes
seed_settings "$title" 2 3 4  # SubNet 2, send universe 3, receive universe 4
mkdir -p "$work/config/lumenstage"
cat >"$work/config/lumenstage/plugins.ini" <<INI
[$title\\Plugins\\$(basename "$plugin")]
ArtNet_BroadcastAdress=10.78.0.255
ArtNet_SubNet=2
ArtNet_InputUniverse1=3
ArtNet_OutputUniverse1=4
INI

# The peer polls the host (unicast, reply to the sender) once the
# announcement and the three ArtDmx have arrived.
poll_after_four() {
  wait_until 20 has_datagrams "$1" 4 || return 0
  ip netns exec "$ns" "$peer" poll --to 10.78.0.1 --talk-to-me 2
  wait_until 10 has_datagrams "$1" 5 || true
}

capture_windows() {
  local out=$1
  rm -f "$work/sent" "$work/polled"
  start_listener "$out" --timeout-ms 90000
  run_test_host WireSameBytes ARTNET_WIRE_SENT_FILE="$(windows_path "$work/sent")" \
    ARTNET_WIRE_POLLED_FILE="$(windows_path "$work/polled")"
  wait_until 90 bash -c "[[ -f '$work/sent' ]] || ! kill -0 $host 2>/dev/null" || true
  [[ -f "$work/sent" ]] && poll_after_four "$out"
  touch "$work/polled"
  finish_test_host
  sleep 0.3
  stop_listener
}

capture_linux() {
  local out=$1 lumen
  start_listener "$out" --timeout-ms 90000
  rm -f "$work/commands"
  mkfifo "$work/commands"
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/config" \
    timeout 60 "$lumenhost" --plugin "$plugin" <"$work/commands" >"$work/lumenhost.out" 2>&1 &
  lumen=$!
  background+=("$lumen")
  exec 3>"$work/commands"
  printf 'init %s\nenable\nwait 200\nset 1 10\nwait 200\nset 5 200\nwait 200\nset 3 33\n' "$title" >&3
  poll_after_four "$out"
  printf 'disable\nterm\n' >&3
  exec 3>&-
  local rc=0
  wait "$lumen" || rc=$?
  echo "--- lumenhost (exit $rc)"
  cat "$work/lumenhost.out"
  check "lumenhost ran every call" test "$(tr '\n' '|' <"$work/lumenhost.out")" == \
    "Init -> false|Enable -> true|SetChannel 1 10 -> true|SetChannel 5 200 -> true|SetChannel 3 33 -> true|Disable -> true|Term -> false|"
  sleep 0.3
  stop_listener
}

# clean FILE: the capture is the announcement, three ArtDmx and the reply,
# nothing else (a 4-second refresh would slip in only on a very slow run).
clean() {
  [[ "$(datagrams "$1" | cut -f1 | sed 's/ from.*//' | tr '\n' ' ')" == \
    "ArtPollReply ArtDmx ArtDmx ArtDmx ArtPollReply " ]]
}

# Each side gets a second run if the first one was not clean.
for side in windows linux; do
  for attempt in 1 2; do
    echo "=== $side, run $attempt"
    "capture_$side" "$work/$side.out"
    clean "$work/$side.out" && break
    echo "note: the $side capture is not the five expected datagrams:"
    datagrams "$work/$side.out" | cut -f1,2
  done
  datagrams "$work/$side.out" >"$work/$side.lines"
  cat "$work/$side.out.err"
done

check "the Windows capture is the five expected datagrams" clean "$work/windows.out"
check "the Linux capture is the five expected datagrams" clean "$work/linux.out"
echo "--- captured from ArtNet.dll"
cut -f1,2 "$work/windows.lines"
check "the same datagrams, byte for byte, from the same ports to the same destinations" \
  diff -u "$work/linux.lines" "$work/windows.lines"

# Both ran with the stored settings and their own address, not defaults.
want() {  # want LINE_NUMBER FIELD VALUE
  check "datagram $1: $2 $3" test "$(sed -n "$1p" "$work/windows.lines" | field "$2")" == "$3"
}
want 1 Route "10.78.0.1:6454 -> 10.78.0.255:6454"
want 1 IP 10.78.0.1
want 1 SubSwitch 2
want 1 SwIn "0x23 0x00 0x00 0x00"
want 1 SwOut "0x24 0x00 0x00 0x00"
want 2 SubUni 0x23
want 2 Sequence 1
want 4 Sequence 3
want 4 Data "10 0 33 0 200"
want 5 Route "10.78.0.1:6454 -> 10.78.0.2:6454"
check "the reply equals the announcement" test "$(sed -n 1p "$work/windows.lines" | field hex)" == \
  "$(sed -n 5p "$work/windows.lines" | field hex)"
exit $fail
