#!/usr/bin/env bash
# Builds the benchmarks in Release (preset `bench`, into build-bench/) and
# runs them: the fake-based engine benchmark, then the benchmark on the real
# Linux platform parts inside a private network namespace, which ends with a
# table of ratios against each path's limit. Extra arguments go to both
# benchmark programs (e.g. --benchmark_filter=Receive).
# REPETITIONS (default 5) sets how many runs each median is taken over.
set -euo pipefail
cd "$(dirname "$0")/.."

repetitions=${REPETITIONS:-5}
cmake --preset bench >/dev/null
cmake --build --preset bench

echo "=== machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), kernel $(uname -r)"
echo "=== load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "=== engine on fakes (build-bench/bench/engine_bench)"
build-bench/bench/engine_bench --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true "$@"
echo "=== real platform parts in a private network namespace (build-bench/bench/platform_bench)"
./scripts/in-test-netns.sh build-bench/bench/platform_bench --benchmark_repetitions="$repetitions" \
  --benchmark_report_aggregates_only=true "$@"
echo "=== load after: $(cut -d' ' -f1-3 /proc/loadavg)"
