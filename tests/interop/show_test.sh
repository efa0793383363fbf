#!/usr/bin/env bash
# The main job's show (scripts/play-show.sh), short and in its plain form for
# a pipe: it passes, and it leaves no process, namespace, veth or temporary
# file behind, neither after the whole show nor after a Ctrl-C during it.
# usage: show_test.sh LUMENHOST ARTNET_PEER PLUGIN IN_TEST_NETNS_SH
set -euo pipefail
source "$(dirname "$0")/../netns_test_lib.sh" "$4" "$0" "$@"

lumenhost=$1 plugin=$3 netns=$4
show="$(cd "$(dirname "$0")/../../scripts" && pwd)/play-show.sh"

# Inside the show's own namespace (see play below): play it, then look for
# what it may have left there.
if [[ "${5:-}" == --inner ]]; then
  tag=$6 scratch=$7
  shift 7
  trap : INT  # a Ctrl-C is for the show; this side survives it to look
  rc=0
  env ARTNET_SHOW_RUN="$tag" TMPDIR="$scratch" "$show" "$lumenhost" "$plugin" "$@" || rc=$?
  left=$(ip netns list)
  [[ -z "$left" ]] || echo "LEFT: namespaces: $left"
  left=$(ip -o link show type veth)
  [[ -z "$left" ]] || echo "LEFT: veth: $left"
  left=$(ls -A "$scratch")
  [[ -z "$left" ]] || echo "LEFT: files in its TMPDIR: $left"
  exit $rc
fi

for tool in olad tshark curl; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/setup.sh installs it)"
    exit 77
  fi
done
out=$(mktemp -d)
scratch=$(mktemp -d)
chmod 711 "$scratch"  # olad, as nobody, reads its config below it
trap 'rm -rf "$out" "$scratch"' EXIT
fail=0

# play TAG ARGS...: the show in a fresh namespace, as demo.sh starts it,
# every process it starts marked with ARTNET_SHOW_RUN=TAG; output in $out/TAG.
play() {
  local tag=$1
  shift
  "$netns" "$0" "$lumenhost" - "$plugin" "$netns" --inner "$tag" "$scratch" "$@" >"$out/$tag" 2>&1
}

# check_leftovers TAG: what the inner side found, and no process of that
# run anywhere; any found is reported, then ended.
check_leftovers() {
  local p left=()
  if grep '^LEFT: ' "$out/$1"; then fail=1; fi
  for p in /proc/[0-9]*; do
    if { tr '\0' '\n' <"$p/environ"; } 2>/dev/null | grep -qxF "ARTNET_SHOW_RUN=$1"; then
      echo "FAIL: $1: still running: ${p#/proc/} $({ tr '\0' ' ' <"$p/cmdline"; } 2>/dev/null)"; fail=1
      left+=("${p#/proc/}")
    fi
  done
  [[ ${#left[@]} -eq 0 ]] || kill -TERM "${left[@]}" 2>/dev/null || true
}

echo "=== a 3-second show, standard output a file"
rc=0
play whole --seconds 3 || rc=$?
cat "$out/whole"
[[ $rc -eq 0 ]] || { echo "FAIL: the show exited $rc"; fail=1; }
grep -qx '=== show passed' "$out/whole" || { echo "FAIL: the show did not pass"; fail=1; }
# Plain lines, no cursor movement, and at least the line of the first second.
if grep -q $'\e' "$out/whole" || ! grep -q '^\[ *1\.[0-9] s\] stage received ' "$out/whole"; then
  echo "FAIL: not the plain periodic form"; fail=1
fi
grep -qx '    tshark: ArtPollReply from 10.77.0.1 "Lumenstage", sends universe 0, takes 1' "$out/whole" ||
  { echo "FAIL: the stage's view of our node is missing"; fail=1; }
check_leftovers whole

echo "=== Ctrl-C two seconds into a 30-second show"
# Job control gives the show a process group of its own, as a terminal
# would, and leaves its SIGINT in place.
set -m
play interrupted --seconds 30 &
pid=$!
set +m
for _ in $(seq 200); do
  grep -q '^\[ *2\.[0-9] s\] ' "$out/interrupted" && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -INT -- -"$pid" 2>/dev/null || true
rc=0
wait "$pid" || rc=$?
cat "$out/interrupted"
[[ $rc -eq 130 ]] || { echo "FAIL: the interrupted show exited $rc, not 130"; fail=1; }
check_leftovers interrupted
exit $fail
