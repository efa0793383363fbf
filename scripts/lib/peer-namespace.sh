# Sourced by the demo and the networked tests, inside their own private
# namespace: replaces artnet0 with a veth pair to a namespace "peer" (this
# side 10.77.0.1/24 with the default route, the peer 10.77.0.2/24), and
# provides start_listener, wait_for_line and cleanup. Needs $work and $peer
# (the artnet-peer program).
listener=
cleanup() {
  [[ -n "$listener" ]] && kill "$listener" 2>/dev/null
  # The kernel frees a deleted namespace, and the veth end in it, some time
  # later; deleting the pair first makes it go at once.
  ip link del veth-host 2>/dev/null
  ip netns del peer 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

ip link del artnet0  # only the veth, so the plug-in's local address is 10.77.0.1
ip netns add peer
ip link add veth-host type veth peer name veth-peer netns peer
ip addr add 10.77.0.1/24 dev veth-host
ip link set veth-host up
ip route add default dev veth-host
ip -n peer link set lo up
ip -n peer addr add 10.77.0.2/24 dev veth-peer
ip -n peer link set veth-peer up

# start_listener ARGS...: artnet-peer listen in the peer namespace, output in
# $work/peer.out; returns once its socket is bound.
start_listener() {
  ip netns exec peer "$peer" listen "$@" >"$work/peer.out" 2>"$work/peer.err" &
  listener=$!
  for _ in $(seq 50); do
    ip netns exec peer ss -Hlun 'sport = :6454' | grep -q . && return 0
    sleep 0.1
  done
  echo "listener did not start"; return 1
}

# wait_for_line FILE LINE: up to 5 s for an exact line to appear.
wait_for_line() {
  for _ in $(seq 50); do
    grep -qxF "$2" "$1" && return 0
    sleep 0.1
  done
  echo "timed out waiting for '$2' in $1"; return 1
}
