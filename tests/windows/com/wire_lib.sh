# shellcheck shell=bash
# Sourced by the wire scenarios after wine_env.sh: the Linux peer, a work
# folder, a veth pair to a peer namespace (this side 10.78.0.1, the peer
# 10.78.0.2, broadcast 10.78.0.255), the peer's listener, and the turns the
# script and the Windows test host take through files. Cleans up on exit.
# Needs $peer (the Linux artnet-peer).
if [[ -z "$peer" || ! -x "$peer" ]]; then
  echo "skipped: no Linux Art-Net peer (configure with -DARTNET_LINUX_PEER=.../artnet-peer)"
  exit 77
fi

work=$(mktemp -d)
ns=com-peer-$$
listener=
background=()  # other processes this script started
cleanup() {
  local pid
  for pid in $listener "${background[@]}"; do kill "$pid" 2>/dev/null || true; done
  ip link del "vc$$" 2>/dev/null || true
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
ip netns add "$ns"
ip link add "vc$$" type veth peer name veth-peer netns "$ns"
ip addr add 10.78.0.1/24 dev "vc$$"
ip link set "vc$$" up
ip -n "$ns" link set lo up
ip -n "$ns" addr add 10.78.0.2/24 dev veth-peer
ip -n "$ns" link set veth-peer up

# seed_settings TITLE SUBNET SEND_UNIVERSE RECEIVE_UNIVERSE: ArtNet.dll's
# settings under the application title, broadcast to the peer's network.
seed_settings() {
  local section="HKCU\\Software\\VB and VBA Program Settings\\$1\\Plugins\\ArtNet.dll"
  reg add "$section" /v ArtNet_BroadcastAdress /d 10.78.0.255 /f >/dev/null
  reg add "$section" /v ArtNet_SubNet /d "$2" /f >/dev/null
  reg add "$section" /v ArtNet_InputUniverse1 /d "$3" /f >/dev/null
  reg add "$section" /v ArtNet_OutputUniverse1 /d "$4" /f >/dev/null
}

# wait_bound [NETNS]: until something listens on UDP 6454 there (default:
# the peer's namespace; "" for this one).
wait_bound() {
  local in=(ip netns exec "${1-$ns}")
  [[ -z "${1-$ns}" ]] && in=()
  for _ in $(seq 50); do
    "${in[@]}" ss -Hlun 'sport = :6454' | grep -q . && return 0
    sleep 0.1
  done
  return 1
}

# start_listener OUT ARGS...: artnet-peer listen in the peer's namespace.
start_listener() {
  local out=$1
  ip netns exec "$ns" "$peer" listen "${@:2}" >"$out" 2>"$out.err" &
  listener=$!
  wait_bound
}

# stop_listener: ends a listener started without --count (it flushes every
# datagram it prints, so nothing is lost).
stop_listener() {
  if [[ -n "$listener" ]]; then
    kill "$listener" 2>/dev/null || true
    wait "$listener" 2>/dev/null || true
    listener=
  fi
}

# datagrams FILE: the listener's output, one datagram per line: the title,
# then each field without its indent, tab-separated (the hex dump last).
datagrams() {
  awk '/^[^ ]/ { if (line != "") print line; line = $0; next }
       /^  / { sub(/^  /, ""); line = line "\t" $0 }
       END { if (line != "") print line }' "$1"
}

# field NAME: from datagrams' lines on stdin, the value of field NAME of each.
field() {
  awk -F'\t' -v name="$1: " '{ for (i = 2; i <= NF; ++i) if (index($i, name) == 1) print substr($i, length(name) + 1) }'
}

# wait_until TIMEOUT_S COMMAND...: polls until the command succeeds.
wait_until() {
  local deadline=$((SECONDS + $1))
  until "${@:2}"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# has_datagrams FILE N: the listener printed at least N datagrams.
has_datagrams() { (($(grep -c '^[^ ]' "$1" 2>/dev/null || true) >= $2)); }

# run_test_host TEST_NAME VAR=VALUE...: com_host_tests.exe with one test,
# in the background, output in $work/host.out; its pid in $host.
run_test_host() {
  (
    for assignment in "${@:2}"; do export "${assignment?}"; done
    WIN_TIMEOUT=120 win "$exe" --gtest_filter="*.$1"
  ) >"$work/host.out" 2>&1 &
  host=$!
  background+=("$host")
}

# finish_test_host: waits for it and shows its output; exits 77 if it skipped.
finish_test_host() {
  host_rc=0
  wait "$host" || host_rc=$?
  echo "--- test host (exit $host_rc)"
  tr -d '\r' <"$work/host.out"
  if grep -q '\[  SKIPPED \]' "$work/host.out" && ! grep -q '\[  FAILED  \]' "$work/host.out"; then
    echo "skipped: the test host skipped"
    exit 77
  fi
  check "the test host passed" test "$host_rc" -eq 0
}
