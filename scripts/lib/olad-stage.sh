# Sourced after scripts/lib/peer-namespace.sh: the Open Lighting Architecture
# daemon (olad) as an Art-Net node in the peer namespace, bound to 10.77.0.2.
# Needs $work. Provides start_olad, stop_olad, ola and olad_http.
#
# olad refuses to run as root: it runs as nobody, with a config directory of
# its own where only the Art-Net plugin is enabled. It never runs in the
# machine's own namespace, where it would broadcast. No DNS-SD (which would
# reach the machine's Avahi over D-Bus); its HTTP server, when asked for,
# listens inside the peer namespace only and is queried from there.
olad_pid= olad_device= olad_http_port=

# start_olad SUBNET SECONDS [HTTP_PORT]: starts olad for at most SECONDS,
# its Art-Net node on net 0 and SUBNET, and returns once its Art-Net device
# is up, with its number in $olad_device. Returns 1 (the log is in
# $work/olad.log) when the device does not come up, or other devices do.
start_olad() {
  local subnet=$1 seconds=$2 http=(--no-http)
  olad_http_port=${3:-}
  [[ -n "$olad_http_port" ]] && http=(--http-port "$olad_http_port" --no-http-quit)
  chmod 711 "$work"
  mkdir -p "$work/ola"
  local p
  for p in dummy e131 espnet ftdidmx gpio karate kinet milinst opendmx openpixelcontrol osc \
           pathport renard sandnet shownet spi stageprofi uartdmx usbdmx usbserial; do
    echo 'enabled = false' >"$work/ola/ola-$p.conf"
  done
  # Our node is reached by unicast once olad has filed it from its
  # ArtPollReply; olad's own broadcasts go to the veth's subnet only.
  cat >"$work/ola/ola-artnet.conf" <<CONF
enabled = true
ip = 10.77.0.2
net = 0
subnet = $subnet
output_ports = 4
always_broadcast = false
use_limited_broadcast = false
use_loopback = false
CONF
  chown -R nobody:nogroup "$work/ola"
  # Without its config olad would start every plugin it has.
  if ! setpriv --reuid=nobody --regid=nogroup --clear-groups test -r "$work/ola/ola-artnet.conf"; then
    echo "olad's config in $work/ola cannot be read as nobody (a folder above it is closed)"; return 1
  fi
  # timeout runs olad in a process group of its own and passes a TERM on.
  timeout "$seconds" ip netns exec peer setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env HOME="$work/ola" olad --config-dir "$work/ola" "${http[@]}" --no-register-with-dns-sd --log-level 3 \
    >"$work/olad.log" 2>&1 &
  olad_pid=$!

  olad_device=
  for _ in $(seq 100); do
    olad_device=$(ola ola_dev_info 2>/dev/null | sed -n 's/^Device \([0-9]*\): ArtNet \[10\.77\.0\.2\]$/\1/p') || true
    [[ -n "$olad_device" ]] && break
    sleep 0.1
  done
  if [[ -z "$olad_device" ]]; then
    echo "olad's Art-Net device did not come up on 10.77.0.2"; return 1
  fi
  if [[ $(ola ola_dev_info | grep -c '^Device ') -ne 1 ]]; then
    echo "olad runs devices other than Art-Net: $(ola ola_dev_info)"; return 1
  fi
  if [[ -n "$olad_http_port" ]]; then
    for _ in $(seq 50); do
      olad_http /debug >/dev/null 2>&1 && return 0
      sleep 0.1
    done
    echo "olad's HTTP server did not answer in the peer namespace"; return 1
  fi
}

# stop_olad: ends olad (through its timeout, by PID) and waits for it.
stop_olad() {
  if [[ -n "$olad_pid" ]]; then
    kill -TERM "$olad_pid" 2>/dev/null || true
    wait "$olad_pid" 2>/dev/null || true
    olad_pid=
  fi
}

# ola CLIENT ARGS...: an olad client in the peer namespace, time-bounded.
ola() { timeout 10 ip netns exec peer "$@"; }

# olad_http PATH...: olad's answers to one or more HTTP paths, fetched
# inside the peer namespace.
olad_http() {
  local urls=() path
  for path in "$@"; do urls+=("http://127.0.0.1:$olad_http_port$path"); done
  timeout 5 ip netns exec peer curl -fsS --noproxy "*" --max-time 4 "${urls[@]}"
}
