#!/usr/bin/env bash
# The Open Lighting Architecture daemon (olad) as a real Art-Net node in the
# peer namespace, across the veth pair from the plug-in. olad files our node
# as an output of the receive universe (from our ArtPollReply); it reads what
# we send, first a lone channel (one slot, sent as Length 2 with a trailing 0,
# since olad drops an ArtDmx with a single data byte as too small), then a
# buffer of 512; and what it sends on our receive universe reaches the host
# as LMST_DMXIn_SetChannel.
# usage: ola_test.sh LUMENHOST ARTNET_PEER PLUGIN IN_TEST_NETNS_SH
set -euo pipefail
source "$(dirname "$0")/../netns_test_lib.sh" "$4" "$0" "$@"

if ! command -v olad >/dev/null; then
  echo "skipped: olad is not installed (scripts/setup.sh installs ola)"
  exit 77
fi
lumenhost=$1 peer=$2 plugin=$3
here=$(dirname "$0")

work=$(mktemp -d)
source "$here/../host/veth_pair.sh"
source "$here/interop_lib.sh"
store_settings 2 5 7   # SubNet 2, send universe 5, receive universe 7

source "$here/../../scripts/lib/olad-stage.sh"

recorder= host=
stop_all() {
  exec 3>&-  # lumenhost ends at the end of its input
  # ola_recorder runs under timeout, which passes the TERM on.
  for pid in $recorder $host; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  stop_olad
}
trap 'stop_all; cleanup' EXIT

fail=0
show_all() {
  echo "--- lumenhost"; cat "$work/host.out" "$work/host.err" 2>/dev/null || true
  echo "--- ola_recorder"; cat "$work/recorder.out" 2>/dev/null || true
  cut -c1-120 "$work/show" 2>/dev/null || true
  echo "--- olad"; grep -v -e PidStoreLoader -e Preferences "$work/olad.log" | tail -n 40 || true
}
die() { echo "FAIL: $*"; show_all; exit 1; }

start_olad 2 55 || die "olad did not start"
device=$olad_device

# olad's input port 0 takes universe 0x25 (what we send), its output port 0
# sends universe 0x27 (what we receive).
ola ola_patch --device "$device" --port 0 --input --universe 5 || die "ola_patch input"
ola ola_patch --device "$device" --port 0 --universe 7 || die "ola_patch output"

# ola_recorder writes every update of universe 5 as "5 V1,V2,...". A marker
# set by a client shows that it is registered before the plug-in sends.
timeout 50 ip netns exec peer ola_recorder --record "$work/show" --universes 5 >"$work/recorder.out" 2>&1 &
recorder=$!
marked=0
for _ in $(seq 50); do
  ola ola_set_dmx --universe 5 --dmx 0,0,0,9 || true
  grep -qxF '5 0,0,0,9' "$work/show" 2>/dev/null && { marked=1; break; }
  sleep 0.1
done
[[ $marked -eq 1 ]] || die "ola_recorder did not record a marker frame"

mkfifo "$work/in"
run_host <"$work/in" &
host=$!
exec 3>"$work/in"
printf 'init\nenable\n' >&3
wait_for_line "$work/host.out" "Enable -> true" || die "the plug-in did not start"

# olad's node list for universe 0x27 comes from our ArtPollReply (SwOut 0x27);
# without always_broadcast, olad sends that universe only to the nodes in it.
listed=0
for _ in $(seq 100); do
  ola ola_artnet --device "$device" --universe 7 2>/dev/null | grep -qxF '10.77.0.1' && { listed=1; break; }
  sleep 0.1
done
[[ $listed -eq 1 ]] || { echo "FAIL: olad does not list 10.77.0.1 as a node for universe 0x27"; fail=1; }

# ola sees our output: the lone channel, then the whole buffer.
printf 'set 1 77\n' >&3
wait_for_line "$work/show" '5 77,0' || { echo "FAIL: olad did not take the lone channel 1 = 77"; fail=1; }
printf 'set 2 20\nset 512 255\n' >&3
full="5 77,20,$(printf '0,%.0s' $(seq 3 511))255"
wait_for_line "$work/show" "$full" || { echo "FAIL: olad did not get 1 = 77, 2 = 20, 512 = 255 in 512 slots"; fail=1; }

# ola feeds our input: two frames, the host gets each changed channel once.
# (ola_set_dmx waits for olad's answer; ola_streaming_client does not, and
# its frame may be lost when it exits at once.)
ola ola_set_dmx --universe 7 --dmx 1,2,3 || die "ola_set_dmx"
wait_for_line "$work/host.out" 'LMST_DMXIn_SetChannel 3 3' || fail=1
ola ola_set_dmx --universe 7 --dmx 9,8,7,6 || die "ola_set_dmx"
wait_for_line "$work/host.out" 'LMST_DMXIn_SetChannel 4 6' || fail=1

printf 'disable\nterm\n' >&3
exec 3>&-
host_rc=0
wait "$host" || host_rc=$?
host=
kill -TERM "$recorder"  # it saves the show and exits
wait "$recorder" || true
recorder=

show_all
[[ $host_rc -eq 0 ]] || { echo "FAIL: lumenhost exited $host_rc"; fail=1; }
expected="Init -> false
Enable -> true
SetChannel 1 77 -> true
SetChannel 2 20 -> true
SetChannel 512 255 -> true
LMST_DMXIn_SetChannel 1 1
LMST_DMXIn_SetChannel 2 2
LMST_DMXIn_SetChannel 3 3
LMST_DMXIn_SetChannel 1 9
LMST_DMXIn_SetChannel 2 8
LMST_DMXIn_SetChannel 3 7
LMST_DMXIn_SetChannel 4 6
Disable -> true
Term -> false"
[[ "$(cat "$work/host.out")" == "$expected" ]] || { echo "FAIL: lumenhost printed other lines than expected"; fail=1; }

# Every frame olad took from us, after the marker, is one the host's
# buffer had: the lone channel, the two changed ones, or all three.
grep '^5 ' "$work/show" | grep -vxF '5 0,0,0,9' >"$work/frames" || true
while IFS= read -r frame; do
  [[ "$frame" == '5 77,0' || "$frame" == '5 77,20' || "$frame" == "$full" ]] ||
    { echo "FAIL: olad got a frame the host never set: ${frame:0:120}"; fail=1; }
done <"$work/frames"
[[ "$(head -n1 "$work/frames")" == '5 77,0' ]] || { echo "FAIL: olad's first frame from us is not the lone channel"; fail=1; }
exit $fail
