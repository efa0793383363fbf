#!/usr/bin/env bash
# Builds what a host owner downloads, into dist/: the installer
# ArtNet-VERSION-setup.exe (NSIS), the plain ArtNet-VERSION-windows.zip (both
# DLLs, ArtNetCheck.exe and a text with the regsvr32 commands), and ArtNet-VERSION-debug.zip
# (the debug information, to read a crash address from a released DLL).
# VERSION is the CMake project's. Prints the sizes and fails when the 32-bit
# DLL is over its 600 KB goal.
#
# Given a code-signing certificate, it signs the DLLs, the uninstaller and
# setup, and ArtNetCheck.exe, with Authenticode (scripts/sign.sh): ARTNET_SIGN_PFX names the
# PKCS#12 file, ARTNET_SIGN_PASSWORD holds its password, and
# ARTNET_SIGN_TIMESTAMP_URL, when set, a timestamp server. Without, they stay
# unsigned. ARTNET_DIST puts the packages elsewhere than dist/.
#   [ARTNET_SIGN_PFX=... ARTNET_SIGN_PASSWORD=...] scripts/package.sh
set -euo pipefail
# Paths given relative to where it was started.
[[ -n "${ARTNET_SIGN_PFX:-}" ]] && ARTNET_SIGN_PFX=$(realpath "$ARTNET_SIGN_PFX") && export ARTNET_SIGN_PFX
[[ -n "${ARTNET_DIST:-}" ]] && ARTNET_DIST=$(realpath -m "$ARTNET_DIST")
cd "$(dirname "$0")/.."
project=$PWD

./scripts/setup-windows.sh
for preset in win32-release win64-release; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
dll32=$project/build-win32-release/ArtNet.dll
dll64=$project/build-win64-release/ArtNet.dll
check_exe=$project/build-win32-release/ArtNetCheck.exe
version=$(<build-win32-release/artnet-version.txt)

dist=${ARTNET_DIST:-$project/dist}
mkdir -p "$dist"
rm -f "$dist/ArtNet-$version-"*
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# Windows line ends for Notepad.
folder=$stage/ArtNet-$version
mkdir -p "$folder/x64" "$stage/debug/x64"
cp "$dll32" "$folder/ArtNet.dll"
cp "$dll64" "$folder/x64/ArtNet.dll"
cp "$check_exe" "$folder/ArtNetCheck.exe"
sign=()
if [[ -n "${ARTNET_SIGN_PFX:-}" ]]; then
  ./scripts/sign.sh "$folder/ArtNet.dll"
  ./scripts/sign.sh "$folder/x64/ArtNet.dll"
  ./scripts/sign.sh "$folder/ArtNetCheck.exe"
  sign=(-DSIGN="$project/scripts/sign.sh")
fi
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' packaging/README.txt >"$folder/README.txt"

makensis -V2 -DVERSION="$version" -DDLL32="$folder/ArtNet.dll" -DDLL64="$folder/x64/ArtNet.dll" "${sign[@]}" \
  -DCHECK="$folder/ArtNetCheck.exe" -DREADME="$folder/README.txt" \
  -DOUTFILE="$dist/ArtNet-$version-setup.exe" packaging/artnet.nsi
cp "$dll32.debug" "$stage/debug/ArtNet.dll.debug"
cp "$dll64.debug" "$stage/debug/x64/ArtNet.dll.debug"
(cd "$stage" && cmake -E tar cf "$dist/ArtNet-$version-windows.zip" --format=zip "ArtNet-$version")
(cd "$stage/debug" && cmake -E tar cf "$dist/ArtNet-$version-debug.zip" --format=zip .)

kb() { echo $((($(stat -c %s "$1") + 1023) / 1024)); }
goal_kb=600
printf '%-34s %8s\n' file KB
for file in "$dll32" "$dll32.debug" "$dll64" "$check_exe" "$dll64.debug" "$dist/ArtNet-$version-"*; do
  printf '%-34s %8s\n' "${file#"$project"/}" "$(kb "$file")"
done
if (($(kb "$dll32") > goal_kb)); then
  echo "package.sh: the 32-bit ArtNet.dll is $(kb "$dll32") KB, over its goal of $goal_kb KB" >&2
  exit 1
fi
echo "package.sh: the 32-bit ArtNet.dll is $(kb "$dll32") KB (goal: at most $goal_kb KB); packages in dist/"
