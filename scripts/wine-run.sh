#!/usr/bin/env bash
# Runs a Windows program under Wine, headless and bounded: a private prefix
# (WINEPREFIX, default build-wine/prefix beside this script's project), the
# null display driver, no debugger on a crash, and a time limit
# (WINE_RUN_TIMEOUT seconds, default 120). The first call makes the prefix.
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
# Only inside scripts/in-test-netns.sh (exit 77, a skipped test, elsewhere):
# the wineserver owns the sockets, so it must start in the namespace the
# test runs in.
set -euo pipefail

# The plug-in broadcasts to 255.255.255.255 by default: never on this
# machine's own network.
if [[ "${ARTNET_TEST_NETNS:-}" != 1 ]]; then
  echo "wine-run.sh: runs only inside a private network namespace: scripts/in-test-netns.sh $0 $*" >&2
  exit 77
fi

project=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$project/build-wine/prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winedbg.exe=d;mscoree=d;mshtml=d}
export WINEARCH=${WINEARCH:-win64}
export DISPLAY=
unset WAYLAND_DISPLAY
timeout_s=${WINE_RUN_TIMEOUT:-120}

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Two callers may race to make it: one makes it, the other waits.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    timeout 300 wineboot --init >/dev/null 2>&1
    timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    timeout 60 wineserver --wait
  fi
  flock -u 9
fi

exec timeout --kill-after=5 "$timeout_s" wine "$@"
