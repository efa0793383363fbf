#!/usr/bin/env bash
# The main job as a show, inside a private network namespace made by
# scripts/in-test-netns.sh (scripts/demo.sh builds first and starts it there).
# The console, lumenhost with the plug-in, sits at 10.77.0.1; across a veth
# pair the stage, olad in a namespace "peer", at 10.77.0.2. A flat lighting
# network: no default route, the plug-in's default broadcast address.
# Prints what the stage received as bars, refreshed in place on a terminal,
# as plain lines once a second otherwise. Exits 0 only if the stage ends
# with the show's last frame exactly and the console got the values the
# stage sent back; 130 on Ctrl-C, after tearing everything down.
set -euo pipefail

usage() {
  cat <<'EOF'
usage: play-show.sh LUMENHOST PLUGIN [--seconds N | --show FILE]
Plays a chase and a fade (scripts/make-show.sh, about N seconds, default 20),
or the show in FILE (lumenhost's frame, set and wait lines), from lumenhost
and the plug-in to olad across a veth pair, shows what olad received and what
it sent back, and tears everything down. Runs only inside a private network
namespace; scripts/demo.sh sets that up.
EOF
}

seconds=20 show_file= args=()
while [[ $# -gt 0 ]]; do
  case $1 in
    --seconds) seconds=${2:-}; shift 2 || shift ;;
    --show) show_file=${2:-}; shift 2 || shift ;;
    -h|--help) usage; exit 0 ;;
    -*) echo "play-show.sh: unknown option '$1'" >&2; usage >&2; exit 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
if [[ ${#args[@]} -ne 2 || ! "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  usage >&2; exit 2
fi
lumenhost=${args[0]} plugin=${args[1]}
if [[ -n "$show_file" ]]; then
  # The show may only set channels and wait; the life cycle is ours.
  if [[ ! -r "$show_file" ]]; then
    echo "play-show.sh: cannot read $show_file" >&2; exit 2
  fi
  bad=$(awk '!/^[ \t]*(#|$)/ && $1 != "frame" && $1 != "set" && $1 != "wait" { print FNR ": " $0; exit }' "$show_file")
  if [[ -n "$bad" ]]; then
    echo "play-show.sh: $show_file: a show has only frame, set and wait lines: line $bad" >&2; exit 2
  fi
  if ! grep -q '^[[:blank:]]*wait' "$show_file"; then
    echo "play-show.sh: $show_file: no wait line, so no frame ends" >&2; exit 2
  fi
fi

# The plug-in broadcasts to 255.255.255.255 here and olad to its subnet:
# never in the machine's own network namespace. A fresh one from
# in-test-netns.sh holds exactly lo and artnet0.
links=$(ip -o link show 2>/dev/null | awk -F': ' '{ sub(/@.*/, "", $2); print $2 }' | sort | tr '\n' ' ')
if [[ "${ARTNET_TEST_NETNS:-}" != 1 || "$links" != "artnet0 lo " ||
      $(stat -Lc %i /proc/self/ns/net) == $(stat -Lc %i /proc/1/ns/net 2>/dev/null || echo unknown) ]]; then
  echo "play-show.sh: runs only inside a private network namespace (scripts/in-test-netns.sh);" \
       "use scripts/demo.sh" >&2
  exit 2
fi

here=$(cd "$(dirname "$0")" && pwd)
send_universe=0 receive_universe=1 back_channels=8
tty=0
[[ -t 1 ]] && tty=1

work=$(mktemp -d)
source "$here/lib/peer-namespace.sh"
ip route del default
source "$here/lib/olad-stage.sh"

host= tshark_pid=
stop_all() {
  exec 3>&-
  for pid in $tshark_pid $host; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  tshark_pid= host=
  stop_olad
  [[ $tty -eq 1 ]] && printf '\e[?25h\e[?7h'
  return 0
}
trap 'stop_all; cleanup' EXIT
trap 'echo "=== interrupted: tearing everything down" >&2; exit 130' INT
trap 'exit 143' TERM
trap 'exit 141' PIPE  # lumenhost gone while we write to it: tear down all the same

die() {
  echo "=== show FAILED: $*" >&2
  {
    echo "--- lumenhost"; tail -n 20 "$work/host.out"; cat "$work/host.err"
    echo "--- olad"; grep -v -e PidStoreLoader -e Preferences "$work/olad.log" | tail -n 20
  } >&2 2>/dev/null || true
  exit 1
}

# The show, and what to expect of it: per step, the SetChannel calls made
# by its end and the part of the show it belongs to; the final buffer, at
# least the two slots of the shortest ArtDmx.
if [[ -n "$show_file" ]]; then
  cp "$show_file" "$work/show"
  seconds=$(awk '$1 == "wait" { ms += $2 } END { print int(ms / 1000) + 1 }' "$work/show")
else
  "$here/make-show.sh" --seconds "$seconds" >"$work/show"
fi
mapfile -t steps < <(awk '
  /^# / { part = $2 }
  $1 == "set" { calls++ }
  $1 == "frame" { calls += NF - 1 }
  $1 == "wait" { print calls + 0, part }' "$work/show")
expected=$(awk '
  $1 == "set" { v[$2] = $3; if ($2 > n) n = $2 }
  $1 == "frame" { for (i = 2; i <= NF; i++) v[i - 1] = $i; if (NF - 1 > n) n = NF - 1 }
  END { if (n < 2) n = 2; for (c = 1; c <= n; c++) printf "%s%d", (c > 1 ? "," : ""), v[c] }' "$work/show")
nsteps=${#steps[@]}
total_calls=${steps[nsteps - 1]%% *}
channels=$(tr ',' '\n' <<<"$expected" | wc -l)
shown=$((channels < 32 ? channels : 32))  # the bars show the first 32

# The console's settings: the plug-in's defaults, written out.
mkdir -p "$work/config/lumenstage"
cat >"$work/config/lumenstage/plugins.ini" <<INI
[Lumenstage\Plugins\libArtNet.so]
ArtNet_BroadcastAdress=255.255.255.255
ArtNet_SubNet=0
ArtNet_InputUniverse1=$send_universe
ArtNet_OutputUniverse1=$receive_universe
INI

echo "=== stage: olad $(olad --version 2>/dev/null | awk '{print $NF; exit}') at 10.77.0.2, only its Art-Net plugin"
start_olad 0 $((seconds * 3 + 60)) 9090 || die "olad did not start"
# olad's input port 0 takes what we send, its output port 0 sends what we receive.
ola ola_patch --device "$olad_device" --port 0 --input --universe "$send_universe" >/dev/null || die "ola_patch input"
ola ola_patch --device "$olad_device" --port 0 --universe "$receive_universe" >/dev/null || die "ola_patch output"

# Wireshark's dissector reads our announcement on the stage's side of the
# wire: olad files nodes by address and universe only, not by name.
# "Capturing on" can come before packets are seen, so probes (to the discard
# port, which olad does not read) go out until tshark shows one.
ip netns exec peer env HOME="$work" XDG_CONFIG_HOME="$work/wireshark" \
  tshark -n -l -i veth-peer -f 'udp and src host 10.77.0.1' \
  -Y 'artnet.header.opcode == 0x2100 or udp.dstport == 9' \
  -T fields -E separator='|' -e udp.dstport -e ip.src -e artnet.poll_reply.short_name \
  -e artnet.poll_reply.swin_1_universe -e artnet.poll_reply.swout_1_universe \
  >"$work/tshark.out" 2>"$work/tshark.err" &
tshark_pid=$!
capturing=0
for _ in $(seq 300); do
  if grep -q '^Capturing on' "$work/tshark.err"; then
    echo probe >/dev/udp/10.77.0.2/9 2>/dev/null || true
    grep -q '^9|' "$work/tshark.out" && { capturing=1; break; }
  fi
  sleep 0.1
done
[[ $capturing -eq 1 ]] || die "tshark did not start: $(cat "$work/tshark.err")"

echo "=== console: lumenhost at 10.77.0.1, broadcast 255.255.255.255, no default route"
mkfifo "$work/in"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/config" \
  "$lumenhost" --plugin "$plugin" <"$work/in" >"$work/host.out" 2>"$work/host.err" &
host=$!
exec 3>"$work/in"
printf 'init\nenable\n' >&3
wait_for_line "$work/host.out" "Enable -> true" >/dev/null || die "the plug-in did not start"

# Discovery: olad files our node for the universe we receive (from our
# ArtPollReply) and from then on sends that universe to it.
# A deadline that holds on a loaded two-core machine: olad answers slowly there.
listed=0 filing_deadline=$((SECONDS + 60))
while ((SECONDS < filing_deadline)); do
  ola ola_artnet --device "$olad_device" --universe "$receive_universe" 2>/dev/null |
    grep -qxF 10.77.0.1 && grep -q '^6454|' "$work/tshark.out" && { listed=1; break; }
  sleep 0.2
done
[[ $listed -eq 1 ]] || die "olad did not file our node for universe $receive_universe"
IFS='|' read -r _ reply_ip reply_name reply_in reply_out < <(grep -m1 '^6454|' "$work/tshark.out")
kill -TERM "$tshark_pid" 2>/dev/null || true
wait "$tshark_pid" 2>/dev/null || true
tshark_pid=
echo "=== the stage sees our node:"
echo "    olad:   10.77.0.1, a node taking universe 0:0:$receive_universe (olad sends it there)"
echo "    tshark: ArtPollReply from $reply_ip \"$reply_name\", sends universe $reply_in, takes $reply_out"

# What the stage sends back, four times during the show: 2, 4, 6, then all
# 8 channels lit, falling from 255 to 31.
feedback() {
  local k=$1 c values=()
  for ((c = 1; c <= back_channels; c++)); do
    values+=($((c <= 2 * k ? 255 - 32 * (c - 1) : 0)))
  done
  local IFS=,
  echo "${values[*]}"
}
sent_back=0 last_back=

# --- sampling -----------------------------------------------------------
# progress fills calls, frames and part from what lumenhost printed so far.
step=0
progress() {
  calls=$(grep -c '^SetChannel .* -> ' "$work/host.out" || true)
  while ((step < nsteps)) && ((${steps[step]%% *} <= calls)); do step=$((step + 1)); done
  frames=$step
  part=${steps[step < nsteps ? step : nsteps - 1]#* }
}
# sample fills stage_dmx (comma list), stage_frames, console_out and
# stage_in (UDP datagrams), back (comma list).
udp_counts() { awk '$1 == "Udp:" && $2 ~ /^[0-9]+$/ { print $2, $5 }'; }
sample() {
  local answer
  answer=$(olad_http "/get_dmx?u=$send_universe" /debug 2>/dev/null) || answer=
  stage_dmx=$(sed -n 's/.*"dmx": *\[\([0-9,]*\)\].*/\1/p' <<<"$answer")
  stage_frames=$(sed -n "s/^universe-dmx-frames: .* $send_universe:\([0-9]*\).*/\1/p" <<<"$answer")
  read -r _ console_out < <(udp_counts </proc/net/snmp)
  read -r stage_in _ < <(ip netns exec peer cat /proc/net/snmp | udp_counts)
  back=$(awk -v n="$back_channels" '$1 == "LMST_DMXIn_SetChannel" { v[$2] = $3 }
    END { for (c = 1; c <= n; c++) printf "%s%d", (c > 1 ? "," : ""), v[c] }' "$work/host.out")
}

# --- display ------------------------------------------------------------
if [[ $(locale charmap 2>/dev/null) == UTF-8 ]]; then
  glyphs=(' ' '▁' '▂' '▃' '▄' '▅' '▆' '▇' '█')
else
  glyphs=(' ' '.' ':' '-' '=' '+' '*' '#' '@')
fi
# bar_line FIRST VALUES...: channels FIRST.. as bars, then their values.
bar_line() {
  local first=$1 v g bars="" numbers=""
  shift
  for v in "$@"; do
    g=${glyphs[(v * 8 + 127) / 255]}
    bars+="$g$g"
    numbers+=$(printf ' %3d' "$v")
  done
  for ((v = $#; v < 8; v++)); do bars+="  "; done
  printf '   %3d-%-3d %s %s' "$first" $((first + $# - 1)) "$bars" "$numbers"
}
# bar_block VALUES_CSV COUNT: lines of eight channels.
bar_block() {
  local -a v
  IFS=, read -r -a v <<<"$1"
  local c
  for ((c = 0; c < $2; c += 8)); do
    local group=()
    local i
    for ((i = c; i < c + 8 && i < $2; i++)); do group+=("${v[i]:-0}"); done
    bar_line $((c + 1)) "${group[@]}"
    printf '\n'
  done
}
seconds_since_start() {
  local now=${EPOCHREALTIME/./}
  printf '%d.%d' $(((now - start_us) / 1000000)) $(((now - start_us) / 100000 % 10))
}
screen() {
  printf '  show %5s s  frame %d of %d  %-8s\n' "$(seconds_since_start)" "$frames" "$nsteps" "$part"
  printf '  stage received, universe 0:0:%d (olad get_dmx)\n' "$send_universe"
  bar_block "$stage_dmx" "$shown"
  printf '  console received back, universe 0:0:%d (LMST_DMXIn_SetChannel)\n' "$receive_universe"
  bar_block "$back" "$back_channels"
  printf '  console  %5d frames played  %6d SetChannel calls  %6d datagrams out\n' \
    "$frames" "$calls" "$console_out"
  printf '  stage    %5s frames taken%34d datagrams in\n' "${stage_frames:-?}" "$stage_in"
}
screen_lines=$((5 + (shown + 7) / 8 + (back_channels + 7) / 8))
drawn=0
draw() {
  if [[ $tty -eq 1 ]]; then
    [[ $drawn -eq 1 ]] && printf '\e[%dA' "$screen_lines"
    screen | sed 's/$/\x1b[K/'
    drawn=1
  else
    local t
    t=$(seconds_since_start)
    printf '[%5s s] console %d frames, %d SetChannel calls, %d datagrams out | stage %s frames, %d datagrams in\n' \
      "$t" "$frames" "$calls" "$console_out" "${stage_frames:-?}" "$stage_in"
    printf '[%5s s] stage received  %s\n' "$t" "${stage_dmx//,/ }"
    printf '[%5s s] console got back %s\n' "$t" "${back//,/ }"
  fi
}

echo "=== show: $nsteps frames on $channels channels, about $seconds s; the stage answers 4 times"
# No cursor, and no wrapping: a line wider than the terminal must not
# push the refreshed block down.
[[ $tty -eq 1 ]] && printf '\e[?25l\e[?7l'
start_us=${EPOCHREALTIME/./}
cat "$work/show" >&3
period_us=$((tty == 1 ? 200000 : 1000000))
next_draw=$start_us
deadline=$((start_us + (seconds * 2 + 15) * 1000000))
while :; do
  progress
  while ((sent_back < 4)) && ((frames * 5 >= (sent_back + 1) * nsteps)); do
    sent_back=$((sent_back + 1))
    last_back=$(feedback "$sent_back")
    ola ola_set_dmx --universe "$receive_universe" --dmx "$last_back" || die "ola_set_dmx"
  done
  ((calls >= total_calls)) && break
  now=${EPOCHREALTIME/./}
  if ((now >= next_draw)); then
    sample
    draw
    next_draw=$((next_draw + period_us))
  fi
  kill -0 "$host" 2>/dev/null || die "lumenhost ended during the show"
  ((now < deadline)) || die "the show stalled at frame $frames of $nsteps"
  sleep 0.05
done

# The last frame is coalesced into one ArtDmx about 50 ms after its calls;
# well before the 4-second refresh could hide a lost one.
progress
for _ in $(seq 20); do
  sample
  [[ "$stage_dmx" == "$expected" && "$back" == "$last_back" ]] && break
  sleep 0.1
done
draw
[[ $tty -eq 1 ]] && printf '\e[?25h\e[?7h'
show_seconds=$(seconds_since_start)

printf 'disable\nterm\n' >&3
exec 3>&-
host_rc=0
for _ in $(seq 50); do kill -0 "$host" 2>/dev/null || break; sleep 0.1; done
wait "$host" || host_rc=$?
host=

fail=0
echo "=== show over: $frames frames in $show_seconds s"
echo "    console: $calls SetChannel calls left as $console_out UDP datagrams"
echo "    stage:   olad took $stage_frames DMX frames"
if [[ "$stage_dmx" == "$expected" ]]; then
  echo "=== the stage holds the show's last frame exactly:"
  fold -s -w 72 <<<"${expected//,/ }" | sed 's/^/    /'
else
  echo "=== FAIL: the stage holds ${stage_dmx:-nothing}, not the show's last frame $expected"; fail=1
fi
if [[ "$back" == "$last_back" ]]; then
  echo "=== the console got the stage's last values back: ${back//,/ }"
else
  echo "=== FAIL: the console got ${back:-nothing} back, not $last_back"; fail=1
fi
if [[ $host_rc -ne 0 ]] || ! grep -qxF 'Disable -> true' "$work/host.out" || [[ -s "$work/host.err" ]] ||
   grep -q '^SetChannel .* -> [^t]' "$work/host.out"; then
  echo "=== FAIL: lumenhost exited $host_rc or reported a failure:"
  grep -v '^SetChannel .* -> true$' "$work/host.out" | tail -n 20; cat "$work/host.err"; fail=1
fi
[[ $fail -eq 0 ]] && echo "=== show passed"
exit $fail
