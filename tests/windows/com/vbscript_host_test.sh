#!/usr/bin/env bash
# The VBScript host (host.vbs) run by cscript as the real host would call
# the driver. cscript ends quietly with 0 on a script error, so the run
# passes only with the closing line and an exit code of 0. With "settings",
# the settings are seeded in the registry where the host's settings
# functions keep them, and what Term writes back is read with reg query.
# usage: vbscript_host_test.sh PROJECT_DIR BUILD_DIR LOADER DLL basic|settings
set -euo pipefail
source "$(dirname "$0")/wine_env.sh" "$1" "$2" "$3"
dll=$(windows_path "$4") part=$5
script=$(windows_path "$(cd "$(dirname "$0")" && pwd)/host.vbs")
settings='HKCU\Software\VB and VBA Program Settings'

# run MODE APP_TITLE: runs host.vbs; returns its exit code, 1 without the closing line.
run() {
  local out code=0
  out=$(win cscript //nologo "$script" "$1" "$2" 2>&1 | tr -d '\r') || code=$?
  echo "$out"
  if [[ "$(tail -n1 <<<"$out")" != "host.vbs: finished" ]]; then
    echo "FAIL: host.vbs $1 did not reach its end (exit $code)"
    return 1
  fi
  return "$code"
}
setting() {  # setting APP_TITLE KEY: the stored text
  reg query "$settings\\$1\\Plugins\\ArtNet.dll" /v "$2" 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ    //p'
}

win regsvr32 /s "$dll" || { echo "FAIL: regsvr32 returned $?"; exit 1; }

if [[ $part == basic ]]; then
  code=0
  run basic ComVbsBasic || code=$?
  exit $code
fi

reg delete "$settings\\ComVbsHost" /f >/dev/null 2>&1 || true
reg delete "$settings\\ComVbsBadSettings" /f >/dev/null 2>&1 || true
section="$settings\\ComVbsHost\\Plugins\\ArtNet.dll"
reg add "$section" /v ArtNet_BroadcastAdress /d 10.99.0.255 /f >/dev/null
reg add "$section" /v ArtNet_SubNet /d 0 /f >/dev/null
reg add "$section" /v ArtNet_InputUniverse1 /d 007 /f >/dev/null
reg add "$settings\\ComVbsBadSettings\\Plugins\\ArtNet.dll" /v ArtNet_SubNet /d two /f >/dev/null

code=0
run lifecycle ComVbsHost || code=$?
[[ $code -eq 0 ]] || fail=1
# Read as 7 and written back as decimal text; the missing key's default is written too.
check "Term kept the broadcast address" test "$(setting ComVbsHost ArtNet_BroadcastAdress)" = 10.99.0.255
check "Term wrote the send universe as 7" test "$(setting ComVbsHost ArtNet_InputUniverse1)" = 7
check "Term wrote the receive universe's default 1" test "$(setting ComVbsHost ArtNet_OutputUniverse1)" = 1

code=0
run badsettings ComVbsBadSettings || code=$?
[[ $code -eq 0 ]] || fail=1
check "Term replaced the bad text with 0" test "$(setting ComVbsBadSettings ArtNet_SubNet)" = 0
exit $fail
