#!/usr/bin/env bash
# ArtNetCheck.exe under Wine, one case a row: the class registered in each
# scope and registry view as the row says, settings pointing at a peer
# namespace, then the report must hold the row's lines. Registered paths are
# files this script makes or leaves out.
# usage: check_wine_test.sh PROJECT_DIR BUILD_DIR LOADER CHECK_EXE LINUX_PEER
set -euo pipefail
source "$(dirname "$0")/../com/wine_env.sh" "$1" "$2" "$3"
exe=$4 peer=$5
source "$(dirname "$0")/../com/wire_lib.sh"

clsid='{066E50C0-E469-4227-A951-B91286146B07}'
mkdir -p "$work/user" "$work/machine" "$work/gone" "$work/x64"
for folder in user machine x64; do cp "$exe" "$work/$folder/ArtNet.dll"; done  # any PE file stands in
seed_settings Lumenstage 0 0 1

# register SCOPE VIEW FOLDER: the class's server in HKCU or HKLM, 32- or 64-bit view
register() {
  reg add "$1\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve /d "$(windows_path "$work/$3/ArtNet.dll")" \
    "/reg:$2" /f >/dev/null
}
unregister_all() {
  local scope view
  for scope in HKCU HKLM; do
    for view in 32 64; do reg delete "$scope\\Software\\Classes\\CLSID\\$clsid" "/reg:$view" /f >/dev/null 2>&1 || true; done
  done
}
node() {
  ip netns exec "$ns" "$peer" node --short Dimmers --port-types 0x80 --swout 0 --timeout-ms 30000 >/dev/null 2>&1 &
  background+=($!)
  for _ in $(seq 50); do ip netns exec "$ns" ss -Hlun 'sport = :6454' | grep -q . && return 0; sleep 0.1; done
}
holder() {
  "$peer" listen --timeout-ms 30000 >/dev/null 2>&1 &
  background+=($!)
  for _ in $(seq 50); do ss -Hlun 'sport = :6454' | grep -q . && return 0; sleep 0.1; done
}

user=$(windows_path "$work/user/ArtNet.dll")
# name | setup | exit code (a,b: either) | lines the report holds (;-separated)
cases=(
  "per machine, node answering|register HKLM 32 machine; node|0|Lumenstage (32-bit host) loads;A node takes universe 0:0:0;nothing wrong found"
  "per user over per machine|register HKLM 32 machine; register HKCU 32 user|1|installed twice for 32-bit hosts;loads the one just for you ($user)"
  "missing file|register HKLM 32 gone|1|MISSING;a file that is missing"
  "the other bitness only|register HKLM 64 x64|1|ArtNet is not registered for 32-bit hosts;x64"
  "port held|register HKLM 32 machine; holder|1|UDP port 6454 is held by;receives nothing"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name setup rc expected <<<"$row"
  unregister_all
  eval "$setup"
  actual_rc=0
  WIN_TIMEOUT=30 win "$exe" </dev/null >"$work/report.raw" 2>&1 || actual_rc=$?
  tr -d '\r' <"$work/report.raw" >"$work/report.txt"
  for pid in "${background[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  background=()
  echo "=== $name (exit $actual_rc)"; cat "$work/report.txt"
  [[ ",$rc," == *",$actual_rc,"* ]] || { echo "FAIL [$name]: exit $actual_rc, expected $rc"; fail=1; }
  IFS=';' read -ra wanted <<<"$expected"
  for line in "${wanted[@]}"; do
    grep -qF -- "$line" "$work/report.txt" || { echo "FAIL [$name]: report lacks: $line"; fail=1; }
  done
done
unregister_all
exit $fail
