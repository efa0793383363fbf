#!/usr/bin/env bash
# A host owner's installation under Wine, each way in a fresh prefix:
#   machine  the installer, silent, for every user, with the 64-bit DLL
#   user     the installer, silent, for the current user alone (both: the
#            Start menu's ArtNet Check run once, finding the installed DLL)
#   zip      the zip's DLL registered with regsvr32 /n /i:user
#   upgrade  version 0.0.1 (this build's DLL with a lower version) for every
#            user, then the current installer, silent, with no scope given
#   in_use   the same while a script host holds the old DLL: it is moved
#            aside, the new one is in place at once, and the installer ends
#            with 3010
#   bitnesses  the zip's two DLLs for every user, each by its own regsvr32,
#            then the 64-bit one unregistered: the 32-bit host still finds
#            the class
#   reinstall  the installer over a changed DLL of the same version (a
#            repair), then 0.0.1 over it (a downgrade): each puts in its own
#   switch_scope  0.0.1 for the current user, the current installer with no
#            scope (upgraded in place), then for every user, then for the
#            current user again, then in another folder: each time one
#            installation is left
#   remove_in_use  for every user, uninstalled by the entry's command while a
#            script host holds the DLL (3010), then set up again before the
#            restart: the restart leaves the new installation working
#   locked_down  as a standard user (a setup built to see one): /S /AllUsers
#            ends with 740 and installs nothing, and so does the entry's
#            command of a per-machine installation; /S installs for that user
#   missing_dll  for every user with x64\, which the owner deletes: a repair
#            without /x64 takes its registration away; the uninstall of an
#            installation without its DLLs leaves no key
#   signed   scripts/package.sh given a throwaway certificate: setup, the
#            DLLs and the uninstaller, in the zip and installed, are signed
#   pages    the pages of test setups that drive themselves: the scope page
#            for an administrator over a per-machine installation and for a
#            standard user; both finish pages offer the restart second
# Then: our keys in that scope only, in each DLL's registry view, and the
# uninstall entry; a script host creates the class and the ArtPollReply of
# its Enable reaches a Linux listener; the entry's command returns once no
# key of ours is left, then no file is left either, and the settings stay.
# usage: install_test.sh PROJECT_DIR BUILD_DIR LOADER DIST_DIR ARTNET_PEER NSI OLD_DLL WAY
set -euo pipefail
export WINEPREFIX=$2/install-tests/template # wine_env.sh makes it on first use
source "$(dirname "$0")/../com/wine_env.sh" "$1" "$2" "$3"
dist=$4 peer=$5 nsi=$6 old_dll=$7 way=$8
version=$(<"$build/artnet-version.txt")
setup=$dist/ArtNet-$version-setup.exe zip=$dist/ArtNet-$version-windows.zip
if [[ ! -f "$setup" || ! -f "$zip" ]]; then
  echo "skipped: no packages of version $version in $dist (scripts/package.sh makes them)"
  exit 77
fi
source "$(dirname "$0")/../com/wire_lib.sh"
clsid='{066E50C0-E469-4227-A951-B91286146B07}' libid='{2F1074C8-0FA8-4966-886F-EE57DE1B3609}'
iid='{F04B3017-5EA2-4A94-BB21-B192CD854C9B}' progid=ArtNet.clsOutputDriver
host_vbs=$(windows_path "$project/tests/windows/com/host.vbs")

# The fresh prefix: Wine's own binaries (over 1 GB, only read) linked, the
# registry and everything else copied.
timeout 60 wineserver --wait
cp -al "$WINEPREFIX" "$work/prefix"
(cd "$WINEPREFIX" && find . -type f ! -path './drive_c/windows/system32/*' ! -path './drive_c/windows/syswow64/*' \
  ! -path './drive_c/windows/winsxs/*' -print0) |
  while IFS= read -r -d '' file; do cp --remove-destination -p "$WINEPREFIX/$file" "$work/prefix/$file"; done
export WINEPREFIX=$work/prefix

# registry ROOT VIEW: our keys under ROOT in that view, as `reg query /s`
# prints them (Wine's reg prints its errors on standard output).
registry() {
  local key out
  for key in "Classes\\CLSID\\$clsid" "Classes\\$progid" "Classes\\TypeLib\\$libid" "Classes\\Interface\\$iid" \
    "Microsoft\\Windows\\CurrentVersion\\Uninstall\\ArtNet"; do
    if out=$(reg query "$1\\Software\\$key" /s "/reg:$2" 2>/dev/null); then tr -d '\r' <<<"$out"; fi
  done
}
# value KEY_END NAME <DUMP: a value ("" = default) of the key ending in KEY_END.
value() {
  key=$1 name=${2:-(Default)} awk 'BEGIN { key = ENVIRON["key"]; name = ENVIRON["name"] }
    /^HKEY_/ { here = substr($0, length($0) - length(key) + 1) == key; next }
    here && $1 == name { sub(/^ *[^ ]+ +REG_[A-Z_]+ +/, ""); print; exit }'
}
file_version() {
  printf 'WScript.Echo CreateObject("Scripting.FileSystemObject").GetFileVersion("%s")\r\n' "$1" >"$work/version.vbs"
  win cscript //nologo "$(windows_path "$work/version.vbs")" | tr -d '\r'
}
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }
win64() { timeout --kill-after=5 60 /usr/lib/wine/wine64 "$@"; }
unix_path() { win winepath -u "$1" | tr -d '\r'; }
# old_setup [OPTIONS]: installs version 0.0.1 silently.
old_setup() {
  makensis -V2 -DVERSION=0.0.1 -DDLL32="$old_dll" -DOUTFILE="$work/old-setup.exe" "$nsi"
  win "$(windows_path "$work/old-setup.exe")" /S "$@"
}
# hold_dll: a script host holds ArtNet.dll loaded, as a running host does,
# until $work/release exists.
hold_dll() {
  win cscript //nologo "$(windows_path "$(dirname "$0")/hold.vbs")" "$(windows_path "$work/held")" \
    "$(windows_path "$work/release")" &
  background+=($!)
  check "a script host holds the DLL" wait_until 30 test -f "$work/held"
}
# uninstall_entry ROOT [VALUE]: runs the QuietUninstallString (or VALUE) of
# ROOT's uninstall entry as a deployment tool does: its exit code is the
# command's.
uninstall_entry() {
  local quiet uninstaller arguments
  quiet=$(registry "$1" 32 | value '\ArtNet' "${2:-QuietUninstallString}") # "C:\...\Uninstall.exe" /SCOPE ...
  uninstaller=${quiet#\"} uninstaller=${uninstaller%%\"*}
  read -ra arguments <<<"${quiet##*\" }"
  win "$uninstaller" "${arguments[@]}"
}
# check_shortcut: the Start menu's "ArtNet Check" of the installation's scope.
check_shortcut() {
  local base=%ProgramData%
  [[ $root == HKCU ]] && base=%APPDATA%
  echo "$(unix_path "$(win cmd /c echo "$base" | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs")/ArtNet Check.lnk"
}
unzip_release() {
  (cd "$work" && cmake -E tar xf "$zip")
  check "the zip has both DLLs, the check and the text" test -f "$work/ArtNet-$version/x64/ArtNet.dll" \
    -a -f "$work/ArtNet-$version/README.txt" -a -f "$work/ArtNet-$version/ArtNetCheck.exe"
}

root=HKLM other=HKCU
[[ $way == user || $way == zip || $way == locked_down ]] && root=HKCU other=HKLM
x64=
[[ $way == machine || $way == missing_dll || $way == signed ]] && x64=1
# entry: an uninstall entry is expected; want_version: the version left installed.
entry=1 want_version=$version
[[ $way == zip || $way == bitnesses ]] && entry=
seed_settings InstallTest 3 0 1
code=0 start=$(date +%s%N)
case $way in
  machine | user)
    options=(/S /AllUsers /x64)
    [[ $way == user ]] && options=(/S /CurrentUser)
    win "$(windows_path "$setup")" "${options[@]}" || code=$? ;;
  zip)
    unzip_release
    folder=$(windows_path "$work/ArtNet-$version")
    win regsvr32 /s /n /i:user "$folder\\ArtNet.dll" || code=$? ;;
  bitnesses)
    unzip_release
    folder=$(windows_path "$work/ArtNet-$version")
    win regsvr32 /s "$folder\\ArtNet.dll" || code=$?
    win64 regsvr32 /s "$folder\\x64\\ArtNet.dll" || code=$?
    check "both registered" test -n "$(registry HKLM 64 | value "$clsid\\InprocServer32")"
    win64 regsvr32 /s /u "$folder\\x64\\ArtNet.dll" || code=$?
    check "the 64-bit class is unregistered" test -z "$(registry HKLM 64 | value "$clsid\\InprocServer32")" ;;
  reinstall)
    unzip_release
    win "$(windows_path "$setup")" /S /AllUsers /x64 || code=$?
    folder=$(registry HKLM 32 | value '\ArtNet' InstallLocation)
    path=$(unix_path "$folder")
    # Other bytes, the same version resource.
    for dll in ArtNet.dll x64/ArtNet.dll; do printf 'changed' >>"$path/$dll"; done
    win "$(windows_path "$setup")" /S || code=$?
    for dll in ArtNet.dll x64/ArtNet.dll; do
      check "a repair puts back the $dll it carries" cmp -s "$path/$dll" "$work/ArtNet-$version/$dll"
    done
    old_setup || code=$?
    want_version=0.0.1 ;;
  switch_scope)
    old_setup /CurrentUser
    old_folder=$(registry HKCU 32 | value '\ArtNet' InstallLocation)
    old_path=$(unix_path "$old_folder")
    check "version 0.0.1 installed for the current user" test -f "$old_path/ArtNet.dll"
    # With no scope given, the one installation there is upgraded in place.
    win "$(windows_path "$setup")" /S || code=$?
    check "with no scope: upgraded for the current user" \
      test "$(registry HKCU 32 | value '\ArtNet' DisplayVersion)" = "$version" -a -z "$(registry HKLM 32)"
    win "$(windows_path "$setup")" /S /AllUsers || code=$?
    check "for every user: the per-user folder is gone" test ! -e "$old_path"
    check "for every user: the per-user entry and classes are gone" test -z "$(registry HKCU 32; registry HKCU 64)"
    machine_path=$(unix_path "$(registry HKLM 32 | value '\ArtNet' InstallLocation)")
    check "for every user: installed" test -n "$machine_path" -a -f "$machine_path/ArtNet.dll"
    # And back: an administrator's per-user installation takes the machine's away.
    win "$(windows_path "$setup")" /S /CurrentUser || code=$?
    check "just for me: the per-machine folder is gone" test ! -e "$machine_path"
    # Another folder moves the installation as another scope does.
    user_path=$(unix_path "$(registry HKCU 32 | value '\ArtNet' InstallLocation)")
    win "$(windows_path "$setup")" /S '/D=C:\Lights\ArtNet' || code=$?
    check "another folder: the earlier one is gone" test -n "$user_path" -a ! -e "$user_path"
    root=HKCU other=HKLM ;;
  remove_in_use)
    win "$(windows_path "$setup")" /S /AllUsers || code=$?
    path=$(unix_path "$(registry HKLM 32 | value '\ArtNet' InstallLocation)")
    hold_dll
    rc=0
    uninstall_entry HKLM || rc=$?
    check "uninstalled in use: exit code 3010" test $rc -eq $((3010 & 255))
    check "done when the entry's command returns: no key of ours left" test -z "$(registry HKLM 32; registry HKLM 64)"
    touch "$work/release"
    wait "${background[@]}"
    # The host closed, setup again, then the restart: it must not take the new DLL.
    win "$(windows_path "$setup")" /S /AllUsers || code=$?
    timeout 120 wineboot --restart
    check "the DLL set up again is there after the restart" test -f "$path/ArtNet.dll" ;;
  locked_down)
    unzip_release
    makensis -V2 -DVERSION="$version" -DDLL32="$work/ArtNet-$version/ArtNet.dll" \
      -DDLL64="$work/ArtNet-$version/x64/ArtNet.dll" -DTEST_ACCOUNT_TYPE=User -DOUTFILE="$work/user-setup.exe" "$nsi"
    win "$(windows_path "$setup")" /S /AllUsers || code=$? # an administrator's, for every user
    machine_keys=$(registry HKLM 32)
    rc=0
    win "$(windows_path "$work/user-setup.exe")" /S /AllUsers || rc=$?
    check "for every user: refused with exit code 740" test $rc -eq $((740 & 255))
    check "nothing installed" test -z "$(registry HKCU 32)" -a "$(registry HKLM 32)" = "$machine_keys"
    win "$(windows_path "$work/user-setup.exe")" /S || code=$?
    # The per-machine entry's command run by a standard user: its uninstaller
    # swapped for one from a standard user's setup.
    machine_path=$(unix_path "$(value '\ArtNet' InstallLocation <<<"$machine_keys")")
    cp "$machine_path/Uninstall.exe" "$work/admin-uninstall.exe"
    cp "$(unix_path "$(registry HKCU 32 | value '\ArtNet' InstallLocation)")/Uninstall.exe" "$machine_path"
    rc=0
    uninstall_entry HKLM || rc=$?
    check "a standard user's uninstall for every user: exit code 740" test $rc -eq $((740 & 255))
    check "nothing removed" test "$(registry HKLM 32)" = "$machine_keys" -a -f "$machine_path/ArtNet.dll"
    cp "$work/admin-uninstall.exe" "$machine_path/Uninstall.exe"
    check "an administrator's uninstall for every user" uninstall_entry HKLM ;;
  missing_dll)
    win "$(windows_path "$setup")" /S /AllUsers /x64 || code=$?
    path=$(unix_path "$(registry HKLM 32 | value '\ArtNet' InstallLocation)")
    rm -r "$path/x64"
    win "$(windows_path "$setup")" /S || code=$?
    check "a repair without x64\\: no 64-bit class left" test -z "$(registry HKLM 64 | value "$clsid\\InprocServer32")"
    win "$(windows_path "$setup")" /S /x64 || code=$? ;;
  signed)
    openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=ArtNet test signer" -days 2 \
      -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
    openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:throwaway -out "$work/sign.pfx"
    ARTNET_SIGN_PFX=$work/sign.pfx ARTNET_SIGN_PASSWORD=throwaway ARTNET_DIST=$work/dist "$project/scripts/package.sh" >/dev/null
    setup=$work/dist/ArtNet-$version-setup.exe zip=$work/dist/ArtNet-$version-windows.zip
    unzip_release
    win "$(windows_path "$setup")" /S /AllUsers /x64 || code=$?
    path=$(unix_path "$(registry HKLM 32 | value '\ArtNet' InstallLocation)")
    verified() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >/dev/null 2>&1; }
    for file in "$setup" "$work/ArtNet-$version/ArtNet.dll" "$work/ArtNet-$version/x64/ArtNet.dll" "$path/Uninstall.exe" \
      "$path/ArtNet.dll" "$path/x64/ArtNet.dll" "$work/ArtNet-$version/ArtNetCheck.exe" "$path/ArtNetCheck.exe"; do
      check "signed: ${file##*/prefix/}" verified "$file"
    done ;;
  pages)
    old_setup /AllUsers
    for account in Admin User; do
      makensis -V2 -DVERSION="$version" -DDLL32="$old_dll" -DTEST_ACCOUNT_TYPE=$account \
        -DTEST_PAGES="$(windows_path "$work/pages-$account.txt")" -DOUTFILE="$work/pages-$account.exe" "$nsi"
      win "$(windows_path "$work/pages-$account.exe")" || true
    done
    uninstall_entry HKCU UninstallString || true
    # Wine's desktop may crash drawing these pages and then hang.
    timeout 120 wineserver --wait || timeout 30 wineserver -k || true
    for row in "Admin|scope: for anyone enabled 1 checked 1 reason 0, just for me checked 0 warning 0" \
      "Admin|scope: for anyone enabled 1 checked 0 reason 0, just for me checked 1 warning 1" \
      "User|scope: for anyone enabled 0 checked 0 reason 1, just for me checked 1 warning 0" \
      "Admin|finish: restart now 0, later 1" "User|finish: restart now 0, later 1" "User|un.finish: restart now 0, later 1"; do
      check "${row/|/ sees }" grep -qx "${row#*|}" <(tr -d '\r' <"$work/pages-${row%%|*}.txt")
    done
    exit $fail ;;
  upgrade | in_use)
    old_setup /AllUsers
    folder=$(registry HKLM 32 | value '\ArtNet' InstallLocation)
    check "version 0.0.1 installed" test "$(file_version "$folder\\ArtNet.dll")" = 0.0.1.0
    [[ $way == in_use ]] && hold_dll
    start=$(date +%s%N)
    win "$(windows_path "$setup")" /S || code=$?
    if [[ $way == in_use ]]; then
      # 3010, of which a Linux exit status keeps the low byte.
      check "exit code 3010: the old DLL is deleted at the restart" test $code -eq $((3010 & 255))
      check "the new DLL is in place at once" test "$(file_version "$folder\\ArtNet.dll")" = "$version.0"
      touch "$work/release"
      timeout 120 wineserver --wait && timeout 120 wineboot --restart && code=0
    fi ;;
  *) echo "unknown way $way" >&2; exit 2 ;;
esac
echo "installed in $(ms_since "$start") ms"
check "installed" test $code -eq 0

registry "$root" 32 >"$work/keys32"
registry "$root" 64 >"$work/keys64"
cat "$work/keys32"
[[ $way == upgrade || $way == in_use ]] &&
  check "upgraded in the same folder" test "$(value '\ArtNet' InstallLocation <"$work/keys32")" = "$folder"
[[ -n $entry ]] && folder=$(value '\ArtNet' InstallLocation <"$work/keys32")
expected=( # VIEW|KEY_END|NAME|VALUE
  "32|$clsid\\InprocServer32||$folder\\ArtNet.dll" "32|$progid\\Clsid||$clsid"
  "32|$libid\\1.0\\0\\win32||$folder\\ArtNet.dll" "32|$iid||_clsOutputDriver")
name="ArtNet output plug-in for Lumenstage"
[[ $root == HKCU ]] && name+=" (current user)"
[[ -n $entry ]] && expected+=("32|\\ArtNet|DisplayVersion|$want_version" "32|\\ArtNet|Publisher|The ArtNet plug-in developers"
  "32|\\ArtNet|DisplayName|$name" "32|\\ArtNet|HelpLink|$folder\\README.txt")
[[ -n $x64 ]] && expected+=("64|$clsid\\InprocServer32||$folder\\x64\\ArtNet.dll"
  "64|$libid\\1.0\\0\\win64||$folder\\x64\\ArtNet.dll")
for row in "${expected[@]}"; do
  IFS='|' read -r view key name want <<<"$row"
  check "$root ($view-bit view) $key ${name:-(default)} is $want" test "$(value "$key" "$name" <"$work/keys$view")" = "$want"
done
[[ -n $entry ]] && check "uninstall entry: a size" test -n "$(value '\ArtNet' EstimatedSize <"$work/keys32")"
check "nothing in $other" test -z "$(registry "$other" 32; registry "$other" 64)"
check "the DLL is version $want_version" grep -q "^${want_version//./\\.}\\." <<<"$(file_version "$folder\\ArtNet.dll")"

if [[ $root == HKCU ]] && ! reg query "HKCR\\$progid" >/dev/null 2>&1; then
  echo "not checked: a script host creating the class; this Wine does not read HKCU\\Software\\Classes"
else
  start_listener "$work/peer.out" --only pollreply --count 1 --timeout-ms 60000
  out=$(win cscript //nologo "$host_vbs" lifecycle InstallTest 2>&1 | tr -d '\r') || true
  echo "$out"
  check "a script host created the class, Enable is True" grep -qx 'ok: Enable is True (0 )' <<<"$out"
  wait "$listener" || true
  listener=
  check "its ArtPollReply reached the listener" grep -q '^ArtPollReply from 10.78.0.1' "$work/peer.out"
  if [[ $way == machine ]]; then
    out=$(/usr/lib/wine/wine64 cscript //nologo "$host_vbs" basic InstallTest 2>&1 | tr -d '\r') || true
    check "a 64-bit script host creates the class" grep -qx 'ok: PluginName is ArtNet Plugin' <<<"$out"
  fi
fi

if [[ $way == machine || $way == user ]]; then
  # The shortcut's target, run once as the Start menu runs it (the check's
  # own window: it waits for Enter, here the end of its input).
  shortcut=$(check_shortcut)
  target=$(grep -a -o '[A-Z]:\\[^[:cntrl:]]*ArtNetCheck\.exe' "$shortcut" | head -1) || true
  check "the Start menu's ArtNet Check starts $folder\\ArtNetCheck.exe" test "$target" = "$folder\\ArtNetCheck.exe"
  out=$(win "$target" </dev/null 2>&1 | tr -d '\r') || true
  echo "$out"
  check "ArtNet Check finds the installed DLL" grep -qF "Lumenstage (32-bit host) loads $folder\\ArtNet.dll" <<<"$out"
fi

start=$(date +%s%N)
if [[ $way == zip ]]; then
  check "regsvr32 /u /n /i:user" win regsvr32 /s /u /n /i:user "$folder\\ArtNet.dll"
elif [[ $way == bitnesses ]]; then
  check "regsvr32 /u of the last one" win regsvr32 /s /u "$folder\\ArtNet.dll"
else
  path=$(unix_path "$folder")
  # Registered, but no DLL left to unregister.
  [[ $way == missing_dll ]] && rm -r "$path/x64" "$path/ArtNet.dll"
  check "silent uninstall by the entry's command" uninstall_entry "$root"
  check "done when it returns: no key of ours left" test -z "$(registry "$root" 32; registry "$root" 64)"
  timeout 120 wineserver --wait # a copy of the uninstaller deletes it once it has ended
  check "no file left in $path" test -n "$path" -a ! -e "$path"
  [[ -n "${shortcut:-}" ]] && check "the Start menu's ArtNet Check is gone" test ! -e "$shortcut"
fi
echo "removed in $(ms_since "$start") ms"
left=$(registry "$root" 32; registry "$root" 64)
check "no key of ours left" test -z "$left"
echo "$left"
if [[ $way == machine ]]; then
  check "the version counts the commits" test "$version" = "1.0.$(git -C "$project" rev-list --count HEAD 2>/dev/null || echo 0)"
  log=$(unix_path "$(win cmd /c echo %TEMP% | tr -d '\r')\\ArtNet-setup.log")
  check "the log says how setup and uninstaller ended" grep -q "Uninstalled: exit code 0" "$log"
fi
check "the settings stay" test "$(reg query "HKCU\\Software\\VB and VBA Program Settings\\InstallTest\\Plugins\\ArtNet.dll" \
  /v ArtNet_SubNet | tr -d '\r' | sed -n 's/.*REG_SZ *//p')" = 3
exit $fail
