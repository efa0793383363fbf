#!/usr/bin/env bash
# A host owner's installation, in a fresh prefix, one way per run:
#   machine  the installer, silent, for every user, with the 64-bit DLL
#   user     the installer, silent, for the current user alone
#   zip      the zip's DLL registered with regsvr32 /n /i:user
# Then: the class, ProgID, type library and interface are registered in that
# scope only and in the registry view of each DLL's bitness, beside an
# uninstall entry; a script host creates the class, calls Enable, and its
# ArtPollReply reaches a Linux listener; the uninstall leaves no file, no key
# and no entry of ours, and keeps the user's settings.
# usage: install_test.sh PROJECT_DIR BUILD_DIR LOADER DIST_DIR ARTNET_PEER machine|user|zip
set -euo pipefail
export WINEPREFIX=$2/install-tests/template
source "$(dirname "$0")/../com/wine_env.sh" "$1" "$2" "$3"
dist=$4 peer=$5 way=$6
version=$(<"$build/artnet-version.txt")
setup=$dist/ArtNet-$version-setup.exe zip=$dist/ArtNet-$version-windows.zip
if [[ ! -f "$setup" || ! -f "$zip" ]]; then
  echo "skipped: no packages of version $version in $dist (scripts/package.sh makes them)"
  exit 77
fi
source "$(dirname "$0")/../com/wire_lib.sh"
source "$(dirname "$0")/install_lib.sh"
host_vbs=$(windows_path "$project/tests/windows/com/host.vbs")

# way: root of the class keys, the other root, install options, 64-bit DLL too
case $way in
  machine) root=HKLM other=HKCU options=(/S /AllUsers /x64) ;;
  user) root=HKCU other=HKLM options=(/S /CurrentUser) ;;
  zip) root=HKCU other=HKLM ;;
  *) echo "unknown way $way" >&2; exit 2 ;;
esac
fresh_prefix "$work/prefix"

start=$(date +%s%N)
if [[ $way == zip ]]; then
  mkdir "$work/unzipped"
  (cd "$work/unzipped" && cmake -E tar xf "$zip")
  folder=$(windows_path "$work/unzipped/ArtNet-$version")
  check "the zip has the 32-bit DLL, the 64-bit one and the text" \
    test -f "$work/unzipped/ArtNet-$version/ArtNet.dll" -a -f "$work/unzipped/ArtNet-$version/x64/ArtNet.dll" \
    -a -f "$work/unzipped/ArtNet-$version/README.txt"
  check "regsvr32 /n /i:user registers it" win regsvr32 /s /n /i:user "$folder\\ArtNet.dll"
else
  check "silent install ${options[*]}" win "$(windows_path "$setup")" "${options[@]}"
fi
echo "installed in $((($(date +%s%N) - start) / 1000000)) ms"

registry "$root" 32 >"$work/keys32"
registry "$root" 64 >"$work/keys64"
cat "$work/keys32"
if [[ $way != zip ]]; then
  folder=$(value "\\ArtNet" InstallLocation <"$work/keys32")
  check "uninstall entry: version $version" test "$(value "\\ArtNet" DisplayVersion <"$work/keys32")" = "$version"
  check "uninstall entry: publisher" test -n "$(value "\\ArtNet" Publisher <"$work/keys32")"
  check "uninstall entry: size" test "$(($(value "\\ArtNet" EstimatedSize <"$work/keys32")))" -gt 300
  check "the installed DLL is version $version" grep -q "^${version//./\\.}" <<<"$(file_version "$folder\\ArtNet.dll")"
fi
check "class, 32-bit view: the 32-bit DLL" test "$(value "$clsid\\InprocServer32" "" <"$work/keys32")" = "$folder\\ArtNet.dll"
check "ProgID to class" test "$(value "$progid\\Clsid" "" <"$work/keys32")" = "$clsid"
check "type library, win32" test "$(value "$libid\\1.0\\0\\win32" "" <"$work/keys32")" = "$folder\\ArtNet.dll"
check "interface" test "$(value "$iid" "" <"$work/keys32")" = _clsOutputDriver
if [[ $way == machine ]]; then
  check "class, 64-bit view: the 64-bit DLL" \
    test "$(value "$clsid\\InprocServer32" "" <"$work/keys64")" = "$folder\\x64\\ArtNet.dll"
  check "type library, win64" test "$(value "$libid\\1.0\\0\\win64" "" <"$work/keys64")" = "$folder\\x64\\ArtNet.dll"
fi
check "nothing in $other" test -z "$(registry "$other" 32; registry "$other" 64)"

# The host's settings, broadcast to the listener's network; Term writes them back.
seed_settings InstallTest 0 0 1
if [[ $root == HKCU ]] && ! classes_merged; then
  echo "not checked: a script host creating the class; this Wine does not read HKCU\\Software\\Classes"
else
  start_listener "$work/peer.out" --only pollreply --count 1 --timeout-ms 60000
  out=$(win cscript //nologo "$host_vbs" lifecycle InstallTest 2>&1 | tr -d '\r') || true
  echo "$out"
  check "the script host created the class and called Enable" grep -qx 'ok: Enable is True (0 )' <<<"$out"
  check "the script host reached its end" test "$(tail -n1 <<<"$out")" = "host.vbs: finished"
  wait "$listener" || true
  listener=
  cat "$work/peer.out"
  check "its ArtPollReply reached the listener" grep -q '^ArtPollReply from 10.78.0.1' "$work/peer.out"
  if [[ $way == machine ]]; then
    out=$(WIN_TIMEOUT=60 /usr/lib/wine/wine64 cscript //nologo "$host_vbs" basic InstallTest 2>&1 | tr -d '\r') || true
    check "a 64-bit script host creates the class from the 64-bit DLL" grep -qx 'ok: PluginName is ArtNet Plugin' <<<"$out"
  fi
fi

start=$(date +%s%N)
if [[ $way == zip ]]; then
  check "regsvr32 /u /n /i:user removes it" win regsvr32 /s /u /n /i:user "$folder\\ArtNet.dll"
else
  quiet=$(value "\\ArtNet" QuietUninstallString <"$work/keys32")
  check "uninstall entry: a silent uninstall, ${quiet##*Uninstall.exe\" }" grep -q '/S$' <<<"$quiet"
  # "C:\...\Uninstall.exe" /SCOPE /S
  uninstaller=${quiet#\"} uninstaller=${uninstaller%%\"*}
  read -ra arguments <<<"${quiet##*\" }"
  check "silent uninstall" win "$uninstaller" "${arguments[@]}"
  wait_prefix
fi
echo "removed in $((($(date +%s%N) - start) / 1000000)) ms"
left=$(registry "$root" 32; registry "$root" 64)
check "no key of ours left" test -z "$left"
echo "$left"
if [[ $way != zip ]]; then
  path=$(win winepath -u "$folder" 2>/dev/null | tr -d '\r')
  check "no file left in $path" test -n "$path" -a ! -e "$path"
  find "$path" 2>/dev/null || true
fi
check "the settings are kept" test "$(reg query "$settings\\InstallTest\\Plugins\\ArtNet.dll" /v ArtNet_BroadcastAdress |
  tr -d '\r' | sed -n 's/.*REG_SZ *//p')" = 10.78.0.255
exit $fail
