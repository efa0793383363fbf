# Helpers for the interop tests, sourced after tests/host/veth_pair.sh
# (which provides $work, the peer namespace, start_listener, wait_for_line
# and cleanup). Needs $lumenhost, $peer, $plugin.

# store_settings SUBNET SEND_UNIVERSE RECEIVE_UNIVERSE: added to the section
# veth_pair.sh wrote, next to its broadcast address 10.77.0.255.
store_settings() {
  cat >>"$work/config/lumenstage/plugins.ini" <<INI
ArtNet_SubNet=$1
ArtNet_InputUniverse1=$2
ArtNet_OutputUniverse1=$3
INI
}

# run_host ARGS...: lumenhost with the real plug-in and the test's settings,
# output in $work/host.out and host.err.
run_host() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/config" \
    "$lumenhost" --plugin "$plugin" "$@" >"$work/host.out" 2>"$work/host.err"
}

# stop_listener: ends an artnet-peer listen started without --count (it
# flushes every datagram it prints, so nothing is lost).
stop_listener() {
  if [[ -n "$listener" ]]; then
    kill "$listener" 2>/dev/null || true
    wait "$listener" 2>/dev/null || true
    listener=
  fi
}

show_outputs() {
  echo "--- lumenhost (exit $1)"; cat "$work/host.out" "$work/host.err"
  echo "--- artnet-peer"; cut -c1-200 "$work/peer.out"; cat "$work/peer.err"
}

# blocks FILE: artnet-peer's output, one datagram per line: the title, then
# each field without its indent, tab-separated; the hex dump left out.
blocks() {
  awk '/^[^ ]/ { if (line != "") print line; line = $0; next }
       /^  hex:/ { next }
       /^  / { sub(/^  /, ""); line = line "\t" $0 }
       END { if (line != "") print line }' "$1"
}
