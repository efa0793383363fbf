#!/usr/bin/env bash
# Installs what the Windows build needs on Debian 12: mingw-w64 (posix thread
# model) to cross-build ArtNet.dll, widl for its type library, Wine (32- and
# 64-bit) to run its tests, NSIS for the installer scripts/package.sh
# makes, and osslsigncode to sign it. About 2.3 GB; does nothing when present.
set -euo pipefail

packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools libwine-dev wine wine64 wine32:i386
  nsis osslsigncode)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo)
echo "setup-windows: installing ${missing[*]}"
# wine32 is an i386 package.
dpkg --print-foreign-architectures | grep -qx i386 || "${as_root[@]}" dpkg --add-architecture i386
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold "${missing[@]}" >/dev/null
