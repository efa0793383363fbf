#!/usr/bin/env bash
# An upgrade in a fresh prefix: an installer of version 0.0.1 (the same code
# and script, built with a lower version) for every user, the host's settings
# stored; then the current installer, silent and with no scope given: it takes
# the earlier installation's scope and folder, replaces the DLL and registers
# it, keeps the settings, and leaves one uninstall entry, of the new version.
# "in_use": a script host holds the old DLL meanwhile, so the installer has
# it replaced at the next restart (exit code 3010) and the restart does.
# usage: upgrade_test.sh PROJECT_DIR BUILD_DIR LOADER DIST_DIR ARTNET_PEER NSI OLD_DLL free|in_use
set -euo pipefail
export WINEPREFIX=$2/install-tests/template
source "$(dirname "$0")/../com/wine_env.sh" "$1" "$2" "$3"
dist=$4 peer=$5 nsi=$6 old_dll=$7 way=$8
version=$(<"$build/artnet-version.txt")
setup=$dist/ArtNet-$version-setup.exe
if [[ ! -f "$setup" ]]; then
  echo "skipped: no installer of version $version in $dist (scripts/package.sh makes it)"
  exit 77
fi
source "$(dirname "$0")/../com/wire_lib.sh"
source "$(dirname "$0")/install_lib.sh"

makensis -V2 -DVERSION=0.0.1 -DDLL32="$old_dll" -DOUTFILE="$work/old-setup.exe" "$nsi"
fresh_prefix "$work/prefix"
check "version 0.0.1 installed for every user" win "$(windows_path "$work/old-setup.exe")" /S /AllUsers
registry HKLM 32 >"$work/old"
folder=$(value "\\ArtNet" InstallLocation <"$work/old")
check "its DLL is version 0.0.1" test "$(file_version "$folder\\ArtNet.dll")" = 0.0.1.0
seed_settings UpgradeTest 3 4 5

if [[ $way == in_use ]]; then
  win cscript //nologo "$(windows_path "$(dirname "$0")/hold.vbs")" "$(windows_path "$work/held")" \
    "$(windows_path "$work/release")" &
  background+=($!)
  wait_until 30 test -f "$work/held" || echo "FAIL: the script host did not load the DLL"
fi
start=$(date +%s%N)
code=0
win "$(windows_path "$setup")" /S || code=$?
echo "upgraded in $((($(date +%s%N) - start) / 1000000)) ms"
if [[ $way == in_use ]]; then
  # 3010 (ERROR_SUCCESS_REBOOT_REQUIRED), of which a Linux exit status keeps the low byte.
  check "version $version installed over it, the DLL replaced at the restart" test $code -eq $((3010 & 255))
  check "the old DLL stays until then" test "$(file_version "$folder\\ArtNet.dll")" = 0.0.1.0
  touch "$work/release"
  wait_prefix
  timeout 120 wineboot --restart
  wait_prefix
else
  check "version $version installed over it" test $code -eq 0
fi
registry HKLM 32 >"$work/new"
cat "$work/new"
check "in the same folder" test "$(value "\\ArtNet" InstallLocation <"$work/new")" = "$folder"
check "the uninstall entry says $version" test "$(value "\\ArtNet" DisplayVersion <"$work/new")" = "$version"
check "no entry for the current user" test -z "$(registry HKCU 32)"
check "the DLL is version $version" grep -q "^${version//./\\.}" <<<"$(file_version "$folder\\ArtNet.dll")"
check "the class names it" test "$(value "$clsid\\InprocServer32" "" <"$work/new")" = "$folder\\ArtNet.dll"
out=$(win cscript //nologo "$(windows_path "$project/tests/windows/com/host.vbs")" basic UpgradeTest 2>&1 | tr -d '\r') ||
  true
check "a script host creates the class" grep -qx 'ok: PluginName is ArtNet Plugin' <<<"$out"
section="$settings\\UpgradeTest\\Plugins\\ArtNet.dll"
check "the settings are kept" test "$(reg query "$section" /v ArtNet_SubNet | tr -d '\r' | sed -n 's/.*REG_SZ *//p')" = 3
exit $fail
