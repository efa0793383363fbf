#!/usr/bin/env bash
# ArtNet.dll's send pacing, timed on the wire: the C++ test host
# (com_host_tests.exe, test WirePacing) enables output, sets 20 channels back
# to back and then nothing for 9.5 s. A listener in the peer's namespace
# stamps each arrival. The first change leaves at once, the other 19 follow
# coalesced in one ArtDmx 30-250 ms later, and then the whole buffer is sent
# again every 3.5-6 s, with consecutive sequence numbers. The windows are
# wide on purpose: the machine may be loaded.
# usage: pacing_test.sh PROJECT_DIR BUILD_DIR LOADER TEST_EXE ARTNET_PEER
set -euo pipefail
source "$(dirname "$0")/wine_env.sh" "$1" "$2" "$3"
exe=$4 peer=$5
source "$(dirname "$0")/wire_lib.sh"

seed_settings ComWirePacing 0 1 2
start_listener "$work/peer.out" --timestamps --timeout-ms 90000
run_test_host WirePacing ARTNET_WIRE_DONE_FILE="$(windows_path "$work/done")"
finish_test_host
sleep 0.3
stop_listener

datagrams "$work/peer.out" >"$work/lines"
echo "--- datagrams seen (arrival, title, sequence, data)"
awk -F'\t' '{ printf "%s\t%s", $3, $1; for (i = 4; i <= NF; ++i) if ($i ~ /^(Sequence|Data):/) printf "\t%s", $i; print "" }' \
  "$work/lines" | cut -c1-160

check "the first datagram is the announcement" grep -q '^ArtPollReply' <(head -n1 "$work/lines")
announced=$(head -n1 "$work/lines" | field Arrived)
grep '^ArtDmx' "$work/lines" >"$work/dmx" || true
mapfile -t arrived < <(field Arrived <"$work/dmx")
mapfile -t data < <(field Data <"$work/dmx")
mapfile -t sequence < <(field Sequence <"$work/dmx")
burst=$(seq -s ' ' 10 10 200)

# within SECONDS LOW HIGH
within() { awk -v t="$1" -v lo="$2" -v hi="$3" 'BEGIN { exit !(t >= lo && t <= hi) }'; }
since() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

# One slot, which may be sent padded to two values.
check "the first ArtDmx carries the first change alone" grep -qxE '10( 0)?' <<<"${data[0]:-}"
if ((${#arrived[@]} >= 2)); then
  gap=$(since "${arrived[0]}" "${arrived[1]}")
  echo "coalesced ArtDmx ${gap} s after the first"
  check "the second ArtDmx carries the whole burst" test "${data[1]}" == "$burst"
  check "the coalesced ArtDmx arrives 30-250 ms after the first" within "$gap" 0.030 0.250
fi
refreshes=$((${#arrived[@]} - 2))
check "at least two refreshes in 9.5 s (saw $refreshes)" test "$refreshes" -ge 2
if ((refreshes >= 1)); then
  first=$(since "$announced" "${arrived[2]}")
  echo "first refresh ${first} s after the announcement"
  check "the first refresh comes 2-6 s after Enable" within "$first" 2.0 6.0
fi
for ((i = 2; i < ${#arrived[@]}; ++i)); do
  check "refresh $((i - 1)) repeats the whole buffer" test "${data[i]}" == "$burst"
  if ((i > 2)); then
    gap=$(since "${arrived[i - 1]}" "${arrived[i]}")
    echo "refresh $((i - 1)) ${gap} s after the one before"
    check "refresh $((i - 1)) comes 3.5-6 s after the one before" within "$gap" 3.5 6.0
  fi
done
check "sequence numbers 1..${#sequence[@]} in order" test "${sequence[*]}" == "$(seq -s ' ' 1 "${#sequence[@]}")"
exit $fail
