#!/usr/bin/env bash
# The host's calls into ArtNet.dll under Wine, each beside its limit in the
# same process (bench/windows/call_bench.cpp; docs/performance.md). Builds
# the release DLLs and call_bench.exe for i686 and x86_64 (presets
# win32-release, win64-release), then runs each with its bitness's loader and
# its build's own prefix inside a private network namespace (re-executed
# inside scripts/in-test-netns.sh when needed), with the load before and after.
#
# usage: scripts/bench-windows.sh [--smoke] [--only i686|x86_64] [CALL_BENCH_ARGS...]
#        scripts/bench-windows.sh --build DIR --loader L [--inside-only] [--smoke] [CALL_BENCH_ARGS...]
#   --smoke: a second or two of each row, what CI runs
#   CALL_BENCH_ARGS: e.g. --rounds 31 --ops 2000 --pairs 21
#   --build DIR, --loader L: that build's call_bench.exe as it is, no building
#     (L: wine for i686, /usr/lib/wine/wine64 for x86_64); WINEPREFIX, if set, is kept
#   --inside-only: skip (exit 77) outside scripts/in-test-netns.sh instead of entering it (ctest)
set -euo pipefail
project=$(cd "$(dirname "$0")/.." && pwd)
original=("$@")

smoke=() only='' build='' loader='' inside_only=0 built=0 args=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --smoke) smoke=(--smoke); shift ;;
    --only) only=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --loader) loader=$2; shift 2 ;;
    --inside-only) inside_only=1; shift ;;
    --built) built=1; shift ;;  # the re-executed run: built already
    -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
    *) args+=("$1"); shift ;;
  esac
done

if [[ -n "$build" ]]; then
  [[ -n "$loader" ]] || { echo "bench-windows.sh: --build needs --loader" >&2; exit 2; }
  runs=("$build $loader")
else
  unset WINEPREFIX  # each build's own
  runs=()
  [[ "$only" == x86_64 ]] || runs+=("$project/build-win32-release wine")
  [[ "$only" == i686 ]] || runs+=("$project/build-win64-release /usr/lib/wine/wine64")
  [[ -z "$only" || "$only" == i686 || "$only" == x86_64 ]] || { echo "bench-windows.sh: --only i686|x86_64" >&2; exit 2; }
fi

# Built outside the namespace, as the caller.
if [[ -z "$build" ]] && ((!built)); then
  "$project/scripts/setup-windows.sh"
  for run in "${runs[@]}"; do
    preset=win32-release
    [[ "$run" == *win64* ]] && preset=win64-release
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target artnet_com call_bench
  done
fi

if [[ "${ARTNET_TEST_NETNS:-}" != 1 ]]; then
  if ((inside_only)); then
    echo "skipped: loads ArtNet.dll, run it inside scripts/in-test-netns.sh"
    exit 77
  fi
  exec "$project/scripts/in-test-netns.sh" "$0" --built "${original[@]}"
fi

# call_bench BUILD LOADER: its call_bench.exe under Wine; waits for the
# wineserver to end, so nothing is left running.
call_bench() {
  local build=$1 loader=$2 exe=$1/call_bench.exe rc=0
  if [[ ! -f "$exe" || ! -f "$build/ArtNet.dll" ]]; then
    echo "skipped: no $exe or ArtNet.dll (cmake --build BUILD --target call_bench artnet_com)"
    return 77
  fi
  (
    source "$project/tests/windows/com/wine_env.sh" "$project" "$build" "$loader"
    WIN_TIMEOUT=600 win "$exe" "${smoke[@]}" "${args[@]}" | tr -d '\r' || rc=$?
    WINEDEBUG=-all timeout 60 wineserver -w || true
    exit "$rc"
  ) || rc=$?
  return "$rc"
}

echo "load: $(uptime)"
fail=0
for run in "${runs[@]}"; do
  read -r dir loader <<<"$run"
  echo "=== $dir ($loader)"
  rc=0
  call_bench "$dir" "$loader" || rc=$?
  ((rc == 0)) || fail=$rc
done
echo "load: $(uptime)"
exit "$fail"
