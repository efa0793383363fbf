#!/usr/bin/env bash
# The main job, end to end: build, then inside a private network namespace
# let the reference host start the plug-in while a test peer in a second
# namespace, across a veth pair, receives and decodes its ArtPollReply.
# Exits 0 only if the peer got a 239-byte ArtPollReply.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ "${1:-}" != --in-netns ]]; then
  ./scripts/setup.sh
  cmake --preset default >/dev/null
  cmake --build --preset default
  exec ./scripts/in-test-netns.sh "$0" --in-netns
fi

build=$PWD/build
peer=$build/artnet-peer
work=$(mktemp -d)
# The plug-in's side 10.77.0.1, the peer's 10.77.0.2; the default route (and
# so the plug-in's broadcasts to 255.255.255.255) goes out the veth.
source scripts/lib/peer-namespace.sh
start_listener --only pollreply --count 1 --timeout-ms 10000

echo "=== lumenhost (plug-in in namespace 10.77.0.1)"
printf '%s\n' init name enable 'wait 500' disable term |
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" "$build/lumenhost"

status=0
wait "$listener" || status=$?
listener=
echo "=== artnet-peer (namespace peer, 10.77.0.2)"
cat "$work/peer.out"
if [[ $status -eq 0 ]] && grep -q '^ArtPollReply from .* (239 bytes)$' "$work/peer.out"; then
  echo "=== demo passed: the peer received the plug-in's 239-byte ArtPollReply"
  exit 0
fi
echo "=== demo FAILED: no 239-byte ArtPollReply reached the peer" >&2
exit 1
