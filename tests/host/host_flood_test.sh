#!/usr/bin/env bash
# Floods the plug-in under lumenhost from a peer across a veth pair, and
# checks meanwhile that it keeps working (tools/flood_probe): no crash, polls
# answered, set values on the wire, memory flat. Prints the figures.
# usage: host_flood_test.sh LUMENHOST FLOOD_PROBE PLUGIN IN_TEST_NETNS_SH KIND COUNT RATE [MAX_P99_MS]
# MAX_P99_MS 0: the set -> wire and flush times are reported, not checked.
set -euo pipefail
source "$(dirname "$0")/../netns_test_lib.sh" "$4" "$0" "$@"

lumenhost=$1 probe=$2 plugin=$3 kind=$5 count=$6 rate=$7 max_p99=${8:-50}
peer=/bin/false  # the veth pair's listener is not used here

work=$(mktemp -d)
source "$(dirname "$0")/veth_pair.sh"
# The flood leaves from an address of its own, so its polls are not
# charged to the probe's.
ip -n peer addr add 10.77.0.3/24 dev veth-peer

# Under the sanitizers freed memory waits in a quarantine (up to 256 MB), so
# resident memory says nothing about leaks there (LeakSanitizer checks them),
# and every host call is several times slower.
rss_args=()
if [[ -n "${ASAN_OPTIONS:-}" ]]; then
  rss_args=(--max-rss-growth-kb 1000000)
  max_p99=$((max_p99 * 5))
fi

flush_args=()
((max_p99 > 0)) || flush_args=(--max-flush-ms 0)

echo "load: $(uptime)"
XDG_CONFIG_HOME="$work/config" "$probe" --lumenhost "$lumenhost" --plugin "$plugin" \
  --peer-netns /run/netns/peer --to 10.77.0.1 --flood-from 10.77.0.3 \
  --kind "$kind" --count "$count" --rate "$rate" --max-p99-ms "$max_p99" "${flush_args[@]}" "${rss_args[@]}"
