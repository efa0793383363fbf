#!/usr/bin/env bash
# The full floods of docs/reliability.md: 1,000,000 random datagrams,
# 1,000,000 forged ArtPollReply with distinct addresses and 1,000,000
# full-universe ArtDmx at the plug-in under lumenhost, each in a private
# network namespace of its own (removed afterwards), with the figures
# printed. Needs root or sudo for the namespaces, and a build (by default
# build-ci, made with -j2 if missing).
# usage: scripts/floods.sh [--count N] [--rate PER_SECOND (0: as fast as possible)] [--build DIR] [KIND...]
set -euo pipefail
cd "$(dirname "$0")/.."

count=1000000 rate=100000 build=build-ci kinds=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --count) count=$2; shift 2 ;;
    --rate) rate=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    random|pollreply|dmx) kinds+=("$1"); shift ;;
    *) echo "floods.sh: unexpected argument '$1'" >&2; exit 2 ;;
  esac
done
[[ ${#kinds[@]} -gt 0 ]] || kinds=(random pollreply dmx)

if [[ ! -x "$build/flood-probe" ]]; then
  cmake --preset ci >/dev/null
  cmake --build --preset ci -j2
fi
plugin=$(find "$build" -maxdepth 3 -name libArtNet.so | head -n 1)

fail=0
for kind in "${kinds[@]}"; do
  echo "=== $kind: $count datagrams at ${rate}/s (0: unlimited)"
  ./scripts/in-test-netns.sh tests/host/host_flood_test.sh "$build/lumenhost" "$build/flood-probe" "$plugin" \
    scripts/in-test-netns.sh "$kind" "$count" "$rate" 5 || fail=1
done
exit $fail
