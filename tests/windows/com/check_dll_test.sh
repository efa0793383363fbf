#!/usr/bin/env bash
# ArtNet.dll imports only the system's DLLs (the C++ runtime is linked in),
# and from them only functions Windows 7 has (windows7_imports.txt beside
# this script), and exports the four functions of a self-registering
# automation server, and DllInstall for a registration per user; its headers
# mark it for Windows 7 and the GUI subsystem.
# usage: check_dll_test.sh OBJDUMP DLL
set -euo pipefail
objdump=$1 dll=$2
dump=$("$objdump" -p "$dll")
fail=0

imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
echo "imports:" $imports
allowed=" advapi32.dll comctl32.dll gdi32.dll iphlpapi.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll"
allowed+=" shell32.dll user32.dll uxtheme.dll ws2_32.dll "
for name in $imports; do
  [[ "$allowed" == *" $name "* ]] && continue
  echo "FAIL: imports $name"; fail=1
done

# "DLL function" for each imported function, as the list beside this script has them.
functions=$(awk '/DLL Name:/ { dll = tolower($3) } /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll, $3 }' <<<"$dump")
echo "$(wc -l <<<"$functions") functions imported"
unknown=$(comm -23 <(sort -u <<<"$functions") <(grep -v '^#' "$(dirname "$0")/windows7_imports.txt" | sort -u))
[[ -z "$unknown" ]] || { echo "FAIL: imports not known to be in Windows 7: ${unknown//$'\n'/, }"; fail=1; }

# The headers name Windows 7 (6.1) as the oldest Windows, and the GUI subsystem.
for field in MajorOSystemVersion:6 MinorOSystemVersion:1 MajorSubsystemVersion:6 MinorSubsystemVersion:1 \
  Subsystem:00000002; do
  actual=$(awk -v name="${field%%:*}" '$1 == name { print $2; exit }' <<<"$dump")
  [[ "$actual" == "${field#*:}" ]] || { echo "FAIL: ${field%%:*} is $actual, not ${field#*:}"; fail=1; }
done

exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort)
echo "exports:" $exports
expected=$'DllCanUnloadNow\nDllGetClassObject\nDllInstall\nDllRegisterServer\nDllUnregisterServer'
[[ "$exports" == "$expected" ]] || { echo "FAIL: exports differ from the five Dll* functions"; fail=1; }
exit $fail
