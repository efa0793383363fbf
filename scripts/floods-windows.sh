#!/usr/bin/env bash
# The Windows floods of docs/reliability.md: ArtNet.dll (i686, under Wine)
# hosted by flood_host.exe while the Linux artnet-peer floods it from a peer
# namespace across a veth pair, and a listener there stamps what the plug-in
# sends. For each kind of flood: how long the host's calls waited in its
# message queue, the host's own timer, every value the host set and when it
# reached the wire, the refresh on a quiet output, and the memory of the
# wineserver and the host process. Then the receive capacity: datagrams a
# second taken by the DLL against a bare Winsock loop reading one datagram
# per FD_READ, both under Wine, alternating in the same run. Prints tables.
# Everything runs in private network namespaces (re-executed inside
# scripts/in-test-netns.sh when needed), removed afterwards.
#
# usage: scripts/floods-windows.sh [--smoke] [--seconds S] [--rate R] [--capacity-seconds S] [--rounds N]
#                                  [--reference] [--no-capacity | --capacity-only] [--build DIR] [--peer PATH] [--keep DIR]
#                                  [--inside-only] [--loader L] [KIND...]
#   KIND: random, pollreply, dmx, truncated (default: all four)
#   --seconds S: each flood's length (default 10); --rate R: datagrams a second (default 100000)
#   --reference: also run each flood against the bare loop (its host call waits)
#   --rounds N: capacity rounds, each a bare and a DLL run (default 8); --capacity-seconds S (default 2);
#     --capacity-rate R: datagrams a second offered (default 50000, several times what either takes)
#   --smoke: a second of the ArtDmx flood and of each capacity run, what CI runs
#   --keep DIR: copy the raw files (listener, host logs, memory samples) there
#   --inside-only: skip (exit 77) outside scripts/in-test-netns.sh instead of entering it (ctest)
#   --loader L: wine (default, i686) or /usr/lib/wine/wine64 (the win64 build)
# Needs the win32 build (flood_host, artnet_com) and the Linux artnet-peer:
#   cmake --preset ci && cmake --build --preset ci --target artnet-peer -j2
#   cmake --preset win32 && cmake --build --preset win32 --target flood_host artnet_com -j2
set -euo pipefail
project=$(cd "$(dirname "$0")/.." && pwd)
if [[ "${ARTNET_TEST_NETNS:-}" != 1 ]]; then
  if [[ " $* " == *" --inside-only "* ]]; then
    echo "skipped: loads ArtNet.dll, run it inside scripts/in-test-netns.sh"
    exit 77
  fi
  exec "$project/scripts/in-test-netns.sh" "$0" "$@"
fi

seconds=10 rate=100000 capacity_seconds=2 capacity_rate=50000 rounds=8 reference=0 capacity=1 floods=1 smoke=0 keep=
build=$project/build-win32 peer=$project/build-ci/artnet-peer loader=wine kinds=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --rate) rate=$2; shift 2 ;;
    --capacity-seconds) capacity_seconds=$2; shift 2 ;;
    --capacity-rate) capacity_rate=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --reference) reference=1; shift ;;
    --no-capacity) capacity=0; shift ;;
    --capacity-only) floods=0; shift ;;
    --smoke) smoke=1; shift ;;
    --build) build=$2; shift 2 ;;
    --peer) peer=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    --inside-only) shift ;;
    --loader) loader=$2; shift 2 ;;
    -h|--help) sed -n '2,28p' "$0"; exit 0 ;;
    random|pollreply|dmx|truncated) kinds+=("$1"); shift ;;
    *) echo "floods-windows.sh: unexpected argument '$1'" >&2; exit 2 ;;
  esac
done
[[ ${#kinds[@]} -gt 0 ]] || kinds=(random pollreply dmx truncated)
if ((smoke)); then
  seconds=1 rate=20000 capacity_seconds=1 capacity_rate=20000 rounds=1 kinds=(dmx)
fi
exe=$build/flood_host.exe
if [[ ! -f "$exe" || ! -f "$build/ArtNet.dll" ]]; then
  echo "skipped: no $exe or ArtNet.dll (cmake --build --preset win32 --target flood_host artnet_com)"
  exit 77
fi

source "$project/tests/windows/com/wine_env.sh" "$project" "$build" "$loader"
source "$project/tests/windows/com/wire_lib.sh"  # the veth pair, the listener, cleanup
report=$project/bench/windows/flood_report.py
if [[ -n "$keep" ]]; then
  keep=$(mkdir -p "$keep" && cd "$keep" && pwd)
  trap 'cp -r "$work"/. "$keep"/ 2>/dev/null || true; cleanup' EXIT
fi
# The flood leaves from an address of its own, as a second node would.
ip -n "$ns" addr add 10.78.0.3/24 dev veth-peer
seed_settings FloodBench 0 0 1  # send universe 0, receive universe 1 (the ArtDmx flood's)
self_net=$(readlink /proc/self/ns/net)

# pid_of PATTERN: the process of that name in this namespace (the wineserver
# and the host belong to it; other sessions' do not).
pid_of() {
  local pid name
  for pid in /proc/[0-9]*; do
    { read -r name <"$pid/comm"; } 2>/dev/null || continue
    # shellcheck disable=SC2053  # a pattern on purpose
    [[ "$name" == $1 && "$(readlink "$pid/ns/net" 2>/dev/null)" == "$self_net" ]] && { echo "${pid#/proc/}"; return; }
  done
}
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
# CPU time (user + system, clock ticks) of a process and all its threads.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
# The plug-in's socket on UDP 6454 here: its drops, and whether its queue is empty.
udp_field() { awk -v f="$1" 'NR > 1 && $2 ~ /:1936$/ { print $f; exit }' /proc/net/udp; }
drops() { udp_field 13; }
queue_empty() { [[ "$(udp_field 5)" == *:00000000 ]]; }
now() { date +%s.%N; }

# start_host DIR ARGS...: flood_host.exe in the background until "ready"; sets
# $host, $server_pid, $host_pid, and starts the memory sampler.
start_host() {
  local dir=$1
  mkdir -p "$dir"
  WIN_TIMEOUT=600 win "$exe" --dir "$(windows_path "$dir")" --dll "$(windows_path "$build/ArtNet.dll")" "${@:2}" \
    >"$dir/host.out" 2>&1 &
  host=$!
  background+=("$host")
  if ! wait_until 60 test -f "$dir/ready"; then
    echo "FAIL: flood_host did not start"; tr -d '\r' <"$dir/host.out"; exit 1
  fi
  # Wine's own services start with a fresh wineserver and take the cores
  # for a moment; measuring starts once they have settled.
  sleep 2
  server_pid=$(pid_of 'wineserver*') host_pid=$(pid_of flood_host.exe)
  echo "start $(rss_kb "$server_pid") $(rss_kb "$host_pid")" >"$dir/rss"
  (while [[ ! -f "$dir/sampled" ]]; do
     echo "during $(rss_kb "$server_pid") $(rss_kb "$host_pid")" >>"$dir/rss"
     sleep 0.5
   done) &
  background+=($!)
}

# finish_host DIR [keep-server]: tells it the flood ended, samples memory
# once the queue is worked off, and waits for its figures; then waits for
# the wineserver to end, unless told to keep it.
finish_host() {
  local dir=$1
  touch "$dir/stop"
  wait_until 600 test -f "$dir/drained" || echo "flood_host did not drain its queue"
  echo "end $(rss_kb "$server_pid") $(rss_kb "$host_pid")" >>"$dir/rss"
  echo "drops $(drops)" >>"$dir/rss"
  touch "$dir/sampled"
  local rc=0
  wait "$host" || rc=$?
  tr -d '\r' <"$dir/host.out" >"$dir/figures"
  # The next flood starts with a fresh wineserver, so its memory is its own.
  if [[ "${2:-}" != keep-server ]]; then WINEDEBUG=-all timeout 60 wineserver -w || true; fi
  if ((rc != 0)); then echo "FAIL: flood_host exited with $rc"; cat "$dir/figures"; fail=1; fi
}

flood() {  # flood KIND COUNT [ARGS...]: from the peer namespace, paced at $rate unless ARGS say otherwise
  ip netns exec "$ns" "$peer" flood --to 10.78.0.1 --from 10.78.0.3 --kind "$1" --count "$2" --rate "$rate" "${@:3}"
}

echo "load: $(uptime)"
flood_dirs=()
((floods)) || kinds=()
for kind in "${kinds[@]}"; do
  modes=(dll)
  ((reference)) && modes+=(bare)
  for mode in "${modes[@]}"; do
    dir=$work/flood-$kind-$mode
    echo "=== $kind flood, ${seconds} s at ${rate}/s, $mode"
    mkdir -p "$dir"
    start_listener "$dir/wire.out" --timestamps
    mode_args=()
    [[ $mode == bare ]] && mode_args=(--bare)
    # The host sets values in the first 30 % of the flood, then the output
    # stays quiet so the refresh shows.
    start_host "$dir" "${mode_args[@]}" --set-ms $((seconds * 300))
    touch "$dir/go"
    flood "$kind" $((rate * seconds)) >"$dir/flood.out"
    finish_host "$dir"
    sleep 0.2
    stop_listener
    echo "$kind" >"$dir/kind"
    echo "$mode" >"$dir/mode"
    flood_dirs+=("$dir")
  done
done

capacity_dirs=()
if ((capacity)); then
  # ArtDmx for a universe the plug-in does not take: the cost is the receive
  # path's alone, not the host's.
  for ((round = 1; round <= rounds; ++round)); do
    order=(bare dll)
    ((round % 2)) || order=(dll bare)  # ABBA: a load that drifts favours neither
    for mode in "${order[@]}"; do
      dir=$work/capacity-$round-$mode
      echo "=== receive capacity, round $round, $mode: ${capacity_seconds} s at ${capacity_rate}/s offered"
      mode_args=()
      [[ $mode == bare ]] && mode_args=(--bare)
      start_host "$dir" "${mode_args[@]}"
      count=$((capacity_rate * capacity_seconds))
      # On a shared machine the rate follows the load; the CPU time each
      # datagram cost (the host process and the wineserver) much less so.
      before=$(drops) cpu_before="$(cpu_ticks "$host_pid") $(cpu_ticks "$server_pid")"
      started=$(now)
      flood dmx "$count" --universe 9 --rate "$capacity_rate" >"$dir/flood.out"
      for ((i = 0; i < 6000; ++i)); do queue_empty && break; sleep 0.01; done  # finer than wait_until
      emptied=$(now)
      after=$(drops) cpu_after="$(cpu_ticks "$host_pid") $(cpu_ticks "$server_pid")"
      echo "$mode $count $before $after $started $emptied $cpu_before $cpu_after $(getconf CLK_TCK)" >"$dir/capacity"
      finish_host "$dir" keep-server
      capacity_dirs+=("$dir")
    done
  done
fi

echo
python3 "$report" --rate "$rate" --floods "${flood_dirs[@]}" --capacity "${capacity_dirs[@]}"
exit $fail
