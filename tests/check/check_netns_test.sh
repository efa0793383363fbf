#!/usr/bin/env bash
# artnet-check against a peer namespace across a veth pair, one case a row:
# what is set up on the wire and in the settings, the exit code, and lines
# the report must hold. Every run must end on its own; none may crash.
# usage: check_netns_test.sh ARTNET_CHECK ARTNET_PEER IN_TEST_NETNS_SH LUMENHOST PLUGIN
set -euo pipefail
source "$(dirname "$0")/../netns_test_lib.sh" "$3" "$0" "$@"

check=$1 peer=$2 lumenhost=$4 plugin=$5
work=$(mktemp -d)
source "$(dirname "$0")/../host/veth_pair.sh"

background=()
stop_background() {
  for pid in "${background[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  background=()
  # The host of a pipeline outlives its subshell: it is ended by its own PID.
  [[ -n "${holder_pid:-}" ]] && kill "$holder_pid" 2>/dev/null && wait_gone "$holder_pid"
  ip link del office0 2>/dev/null || true
  ip route replace default dev veth-host 2>/dev/null || true  # as the pair made it, for the next row
  return 0
}
wait_gone() { for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done; }
trap 'stop_background; cleanup || true' EXIT

settings() {  # the settings file's lines after the section
  printf '%s\n' '[Lumenstage\Plugins\libArtNet.so]' "$@" >"$work/config/lumenstage/plugins.ini"
}
node() {  # a node in the peer namespace answering polls: ARGS for artnet-peer node
  ip netns exec peer "$peer" node --timeout-ms 30000 "$@" >/dev/null 2>&1 &
  background+=($!)
  for _ in $(seq 50); do
    ip netns exec peer ss -Hlun 'sport = :6454' | grep -q . && return 0
    sleep 0.1
  done
  echo "node did not start"; return 1
}
sender() {  # ArtDmx from the peer, over and over: ARGS for artnet-peer dmx
  (while :; do ip netns exec peer "$peer" dmx --to 10.77.0.1 "$@" 1 2 3 >/dev/null 2>&1; sleep 0.2; done) &
  background+=($!)
}
holder() {  # another program on this side holds UDP 6454
  "$peer" listen --timeout-ms 30000 >/dev/null 2>&1 &
  background+=($!)
  holder_pid=$!
  for _ in $(seq 50); do ss -Hlun 'sport = :6454' | grep -q . && return 0; sleep 0.1; done
  echo "holder did not start"; return 1
}
plugin_running() {  # the host runs the plug-in, which holds UDP 6454 as it should
  (printf 'init\nenable\nwait 30000\n' | env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" \
    "$lumenhost" --plugin "$plugin" >/dev/null 2>&1) &
  background+=($!)
  holder_pid=
  for _ in $(seq 50); do
    holder_pid=$(ss -Hlunp 'sport = :6454' | grep -o 'pid=[0-9]*' | head -1 | cut -d= -f2) || true
    [[ -n "$holder_pid" ]] && return 0
    sleep 0.1
  done
  echo "the host did not start"; return 1
}
garbage() {  # a node answering nonsense, and noise beside it
  node --short Broken --port-types 0x80 --swout 0
  (while :; do
    for kind in truncated random; do ip netns exec peer "$peer" flood --to 10.77.0.1 --kind $kind --count 20 >/dev/null 2>&1; done
    sleep 0.2
  done) &
  background+=($!)
}
healthy() { node --short Dimmers --long "Dimmer rack" --port-types 0x80 --swout 0 && sender --universe 1; }
no_network() { ip link del veth-host; }
office_first() {  # a flat lighting network, and an office network listed before it
  ip route del default
  ip link add office0 index 2 type veth peer name office0-peer  # where artnet0 was, before veth-host
  ip addr add 192.168.50.1/24 dev office0
  ip link set office0-peer up
  ip link set office0 up
}

# name | setup | settings lines (;-separated) | exit code (a,b: either) | lines the report holds (;-separated)
cases=(
  "healthy|healthy|ArtNet_BroadcastAdress=10.77.0.255|0|Dimmers;A node takes universe 0:0:0;DMX for universe 0:0:1 arrives;Result: nothing wrong found."
  "no node takes ours|node --short Other --port-types 0x80 --swout 3|ArtNet_BroadcastAdress=10.77.0.255|1|No node takes universe 0:0:0, the one the plug-in sends"
  "sender on another sub-net|healthy; sender --subnet 2 --universe 1|ArtNet_BroadcastAdress=10.77.0.255|1|10.77.0.2 sends universe 0:2:1;MIXED into the plug-in's input"
  "port held|healthy; holder|ArtNet_BroadcastAdress=10.77.0.255|1|is held by artnet-peer (PID @HOLDER@);receives nothing;DMX could not be listened for"
  "the plug-in running|healthy; plugin_running|ArtNet_BroadcastAdress=10.77.0.255|0|held by lumenhost (PID @HOLDER@): the plug-in is running there;close lumenhost and run the check again"
  "node answering garbage|garbage|ArtNet_BroadcastAdress=10.77.0.255|0,1|damaged repl;are not Art-Net or are cut short;Broken"
  "hand-edited settings|healthy|ArtNet_BroadcastAdress=localhost;ArtNet_SubNet=abc;ArtNet_OutputUniverse1=300|1|\"localhost\" is not an IPv4 address;reports error 13 when it loads the plug-in;error 6 (overflow)"
  "flat, another interface first|healthy; office_first|ArtNet_BroadcastAdress=10.77.0.255|0|office0;sends from here, announces 10.77.0.1;Result: nothing wrong found."
  "no route|healthy; ip route del default|ArtNet_BroadcastAdress=192.168.5.255|1|There is no route to 192.168.5.255"
  "no interface on the network|healthy; no_network|ArtNet_BroadcastAdress=10.77.0.255|1|No interface on the lighting network is up"
)

fail=0
for row in "${cases[@]}"; do
  IFS='|' read -r name setup lines rc expected <<<"$row"
  holder_pid=
  IFS=';' read -ra setting_lines <<<"$lines"
  settings "${setting_lines[@]}"
  eval "$setup"
  actual_rc=0
  XDG_CONFIG_HOME="$work/config" timeout 20 "$check" >"$work/report.txt" 2>&1 || actual_rc=$?
  XDG_CONFIG_HOME="$work/config" timeout 20 "$check" --json >"$work/report.json" 2>&1 || true
  stop_background
  echo "=== $name (exit $actual_rc)"; cat "$work/report.txt"
  [[ ",$rc," == *",$actual_rc,"* ]] || { echo "FAIL [$name]: exit $actual_rc, expected $rc"; fail=1; }
  python3 -c 'import json,sys; json.load(open(sys.argv[1]))' "$work/report.json" ||
    { echo "FAIL [$name]: --json is no JSON"; fail=1; }
  IFS=';' read -ra wanted <<<"${expected//@HOLDER@/$holder_pid}"
  for line in "${wanted[@]}"; do
    grep -qF -- "$line" "$work/report.txt" || { echo "FAIL [$name]: report lacks: $line"; fail=1; }
  done
done
exit $fail
