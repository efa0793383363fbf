#!/usr/bin/env bash
# Installs the Debian 12 packages to build and test everything, the Windows
# toolchain too (scripts/setup-windows.sh); with --show, only those the demo's
# show needs: Qt to build lumenhost and libArtNet.so, olad as the stage and
# tshark to watch the wire. Does nothing when they are all installed already.
#   scripts/setup.sh [--show]
set -euo pipefail

show=
case ${1:-} in
  --show) show=1 ;;
  "") ;;
  *) echo "usage: $0 [--show]" >&2; exit 2 ;;
esac

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins libgl-dev libegl-dev libvulkan-dev
  iproute2 util-linux procps
  fonts-dejavu-core
  tshark
  ola curl
)
[[ -n $show ]] || packages+=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format
  libclang-rt-14-dev  # libFuzzer and the sanitizer runtimes for clang (fuzz preset)
)
# The show needs neither mingw-w64 nor Wine nor NSIS (some 2.3 GB).
windows() { [[ -n $show ]] || "$(dirname "$0")/setup-windows.sh"; }

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -eq 0 ]]; then
  windows
  exit 0
fi

as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo)
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# ola's init script starts olad at install (and boot) unless DAEMON_ARGS is
# empty; a daemon here would broadcast Art-Net on this machine's network. The
# tests run their own olad inside private namespaces.
if [[ " ${missing[*]} " == *" ola "* && ! -e /etc/default/ola ]]; then
  echo 'DAEMON_ARGS=""' | "${as_root[@]}" tee /etc/default/ola >/dev/null
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold "${missing[@]}" >/dev/null
windows
