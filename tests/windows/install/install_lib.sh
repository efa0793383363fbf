# shellcheck shell=bash
# Sourced by the installation tests after wine_env.sh and wire_lib.sh: a
# fresh prefix for each run (a copy of a pristine one made once per build, so
# nothing another test registered is there), and the registry read back as
# text.
clsid='{066E50C0-E469-4227-A951-B91286146B07}'
libid='{2F1074C8-0FA8-4966-886F-EE57DE1B3609}'
iid='{F04B3017-5EA2-4A94-BB21-B192CD854C9B}'
progid=ArtNet.clsOutputDriver
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\ArtNet'
settings='HKCU\Software\VB and VBA Program Settings'

# fresh_prefix DIR: a new prefix at DIR, exported as WINEPREFIX: a copy of
# the pristine one wine_env.sh made (the test sets WINEPREFIX to
# $build/install-tests/template before sourcing it).
fresh_prefix() {
  local template=$WINEPREFIX
  # Its server may hold registry changes not yet written out.
  timeout 60 wineserver --wait
  # Wine's own binaries (over 1 GB) are only read: linked, not copied. The
  # registry and everything else a program may change is copied.
  cp -al "$template" "$1"
  (cd "$template" && find . -type f ! -path './drive_c/windows/system32/*' ! -path './drive_c/windows/syswow64/*' \
    ! -path './drive_c/windows/winsxs/*' -print0) |
    while IFS= read -r -d '' file; do cp --remove-destination -p "$template/$file" "$1/$file"; done
  export WINEPREFIX=$1
}

# registry ROOT VIEW: every key of ours under ROOT (HKLM or HKCU) in the
# registry view VIEW (32 or 64), as `reg query /s` prints them.
registry() {
  local key out
  for key in "Software\\Classes\\CLSID\\$clsid" "Software\\Classes\\$progid" "Software\\Classes\\TypeLib\\$libid" \
    "Software\\Classes\\Interface\\$iid" "$uninstall_key"; do
    # Wine's reg prints its errors on standard output.
    if out=$(reg query "$1\\$key" /s "/reg:$2" 2>/dev/null); then tr -d '\r' <<<"$out"; fi
  done
}

# value KEY NAME <DUMP: the text of value NAME ("" = default) of the key
# whose path ends in KEY, from registry's output.
value() {
  # Through the environment: awk -v would read the backslashes as escapes.
  key=$1 name=${2:-(Default)} awk '
    BEGIN { key = ENVIRON["key"]; name = ENVIRON["name"] }
    /^HKEY_/ { here = length($0) >= length(key) && substr($0, length($0) - length(key) + 1) == key; next }
    here && $1 == name { sub(/^ *[^ ]+ +REG_[A-Z_]+ +/, ""); print; exit }'
}

# wait_prefix: until every program of the prefix has ended (an NSIS
# uninstaller goes on in a copy of itself after the one started returns).
wait_prefix() { timeout 120 wineserver --wait; }

# file_version PATH: the version resource of a Windows file, as Explorer shows it.
file_version() {
  printf '%s\r\n' 'WScript.Echo CreateObject("Scripting.FileSystemObject").GetFileVersion(WScript.Arguments(0))' \
    >"$work/version.vbs"
  win cscript //nologo "$(windows_path "$work/version.vbs")" "$1" | tr -d '\r'
}

# classes_merged: this Wine finds classes registered per user (Windows does;
# Wine 8 reads HKEY_CLASSES_ROOT from the machine's classes alone).
classes_merged() { reg query "HKCR\\$progid" >/dev/null 2>&1; }
