#!/usr/bin/env bash
# regsvr32 writes the class, its ProgID, the type library and the interface
# under HKEY_CLASSES_ROOT in the registry view of the DLL's bitness;
# regsvr32 /u removes every key, after which creation by ProgID fails.
# usage: registration_test.sh PROJECT_DIR BUILD_DIR LOADER DLL PLATFORM_KEY
set -euo pipefail
source "$(dirname "$0")/wine_env.sh" "$1" "$2" "$3"
dll=$(windows_path "$4") platform_key=$5
folder=${dll%\\*}

clsid='{066E50C0-E469-4227-A951-B91286146B07}'
libid='{2F1074C8-0FA8-4966-886F-EE57DE1B3609}'
iid='{F04B3017-5EA2-4A94-BB21-B192CD854C9B}'
marshaler='{00020424-0000-0000-C000-000000000046}'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# value KEY NAME EXPECTED: the key's value (NAME "" = default) is EXPECTED.
value() {
  local args=(/ve)
  [[ -n "$2" ]] && args=(/v "$2")
  local line
  line=$(reg query "HKCR\\$1" "${args[@]}" 2>/dev/null | tr -d '\r' | grep -E 'REG_SZ' | head -1) || true
  local actual=${line#*REG_SZ    }
  [[ "$actual" == "$3" ]] || { echo "  HKCR\\$1 [${2:-default}] is '$actual', expected '$3'"; return 1; }
}
gone() { ! reg query "HKCR\\$1" >/dev/null 2>&1; }

cat >"$work/create.vbs" <<'VBS'
On Error Resume Next
Set driver = CreateObject("ArtNet.clsOutputDriver")
WScript.Echo "created " & (Err.Number = 0) & " " & Err.Number
WScript.Quit 0
VBS
created() { win cscript //nologo "$(windows_path "$work/create.vbs")" | tr -d '\r'; }

# A clean start: the type library's entry is shared between the bitnesses,
# and unregistering keeps the other one's.
for key in "TypeLib\\$libid" "Interface\\$iid"; do reg delete "HKCR\\$key" /f >/dev/null 2>&1 || true; done

win regsvr32 /s "$dll" || { echo "FAIL: regsvr32 returned $?"; exit 1; }
check "class" value "CLSID\\$clsid" "" "ArtNet.clsOutputDriver"
check "in-process server path" value "CLSID\\$clsid\\InprocServer32" "" "$dll"
check "apartment threading" value "CLSID\\$clsid\\InprocServer32" ThreadingModel Apartment
check "class ProgID" value "CLSID\\$clsid\\ProgID" "" "ArtNet.clsOutputDriver"
check "class version" value "CLSID\\$clsid\\VERSION" "" "1.0"
check "class type library" value "CLSID\\$clsid\\TypeLib" "" "$libid"
check "ProgID" value "ArtNet.clsOutputDriver" "" "ArtNet.clsOutputDriver"
check "ProgID to class" value "ArtNet.clsOutputDriver\\Clsid" "" "$clsid"
check "type library name" value "TypeLib\\$libid\\1.0" "" "ArtNet"
check "type library, locale 409" value "TypeLib\\$libid\\1.0\\409\\$platform_key" "" "$dll"
check "type library, locale 0" value "TypeLib\\$libid\\1.0\\0\\$platform_key" "" "$dll"
check "type library flags" value "TypeLib\\$libid\\1.0\\FLAGS" "" "0"
check "type library help folder" value "TypeLib\\$libid\\1.0\\HELPDIR" "" "$folder"
check "interface" value "Interface\\$iid" "" "_clsOutputDriver"
check "interface marshaler" value "Interface\\$iid\\ProxyStubClsid32" "" "$marshaler"
check "interface type library" value "Interface\\$iid\\TypeLib" "" "$libid"
check "interface type library version" value "Interface\\$iid\\TypeLib" Version "1.0"
check "created by ProgID" test "$(created)" = "created True 0"

win regsvr32 /s /u "$dll" || { echo "FAIL: regsvr32 /u returned $?"; exit 1; }
for key in "CLSID\\$clsid" "ArtNet.clsOutputDriver" "TypeLib\\$libid" "Interface\\$iid"; do
  check "removed $key" gone "$key"
done
check "creation fails once removed" test "$(created)" = "created False 429"

# Leave it registered for the tests that follow.
win regsvr32 /s "$dll"
exit $fail
