#!/usr/bin/env bash
# Runs a Windows program under Wine, headless and bounded: a private prefix
# (WINEPREFIX, default build-wine/prefix beside this script's project), the
# null display driver, no debugger on a crash, and a time limit
# (WINE_RUN_TIMEOUT seconds, default 120). The first call makes the prefix.
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
#   scripts/wine-run.sh --check-prefix
# A new prefix, and any with --check-prefix, must list this namespace's IPv4
# addresses to 32- and 64-bit programs; one that does not is made again once,
# and what was seen is printed. --check-prefix exits 1 when it still does not.
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

make_prefix() {
  timeout 300 wineboot --init >/dev/null 2>&1
  timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  timeout 60 wineserver --wait
}

# Programs of each bitness the prefix runs: Wine's own ipconfig in each.
ipconfigs() {
  echo 'C:\windows\system32\ipconfig.exe'
  [[ -d "$WINEPREFIX/drive_c/windows/syswow64" ]] && echo 'C:\windows\syswow64\ipconfig.exe'
  return 0
}

# Wine lists every IPv4 address of this namespace: a prefix whose network
# drivers did not come up gives programs no interfaces at all, while its
# sockets still work.
network_seen() {
  local ipconfig listing address
  for ipconfig in $(ipconfigs); do
    listing=$(timeout 60 wine "$ipconfig" 2>/dev/null | tr -d '\r') || return 1
    for address in $(ip -o -4 addr show | awk '{ sub("/.*", "", $4); print $4 }'); do
      grep -q "IPv4 address[ .]*: $address\$" <<<"$listing" || return 1
    done
  done
}

describe_network() {
  echo "--- this namespace:"
  ip -o -4 addr show
  local ipconfig pid me
  for ipconfig in $(ipconfigs); do
    echo "--- $ipconfig (exit code and Wine's errors included):"
    WINEDEBUG=err+all timeout 60 wine "$ipconfig" 2>&1 | tr -d '\r' || echo "exit code $?"
  done
  echo "--- Wine processes in this namespace:"
  me=$(readlink /proc/self/ns/net)
  for pid in $(pgrep -f '^([A-Za-z]:\\|\S*wineserver)' || true); do
    [[ $(readlink "/proc/$pid/ns/net" 2>/dev/null) == "$me" ]] && ps -o pid=,args= -p "$pid"
  done
  echo "--- the network driver in $WINEPREFIX:"
  ls -l "$WINEPREFIX"/drive_c/windows/system32/drivers/nsiproxy.sys 2>&1
  grep -A12 -F '[System\\CurrentControlSet\\Services\\nsiproxy]' "$WINEPREFIX/system.reg" 2>&1 || true
}

remake_prefix() {
  timeout 60 wineserver -k >/dev/null 2>&1 || true
  timeout 60 wineserver --wait >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  make_prefix
}

# Makes the prefix when missing and checks it; one that does not list the
# network is made again, once.
checked_prefix() {
  [[ -f "$WINEPREFIX/system.reg" ]] || make_prefix
  network_seen && return 0
  echo "wine-run.sh: Wine in $WINEPREFIX does not list this namespace's network; making the prefix again"
  describe_network
  remake_prefix
  network_seen && return 0
  echo "wine-run.sh: the new prefix does not list it either"
  describe_network
  return 1
}
# Unless another caller made it meanwhile.
new_prefix() { [[ -f "$WINEPREFIX/system.reg" ]] || checked_prefix; }

# Two callers may race to make the prefix: one makes it, the other waits.
with_prefix_lock() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  local rc=0
  "$@" || rc=$?
  flock -u 9
  exec 9>&-
  return "$rc"
}

if [[ "${1:-}" == --check-prefix ]]; then
  with_prefix_lock checked_prefix
  exit
fi

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  with_prefix_lock new_prefix >&2 || true  # the program's own failure will say more
fi
exec timeout --kill-after=5 "$timeout_s" wine "$@"
