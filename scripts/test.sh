#!/usr/bin/env bash
# Sets up the machine, checks the code's format, builds with warnings as
# errors and runs every test, the networked ones inside a private network
# namespace; then the Windows DLLs and their tests under Wine; then
# everything again under AddressSanitizer and UBSan, the whole tree once more
# with clang, and a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
./scripts/check-format.sh

cmake --preset ci >/dev/null
cmake --build --preset ci
./scripts/in-test-netns.sh ctest --preset ci

# What a host owner downloads (release DLLs, the installer and the zip, in
# dist/), which the win32 tests below install, use, upgrade and remove.
./scripts/package.sh

# ArtNet.dll for the host's platform, 32-bit (the product) and 64-bit, and its
# tests under Wine, inside the namespace; the Linux peer above answers them.
for preset in win32 win64; do
  windows_start=$(date +%s)
  cmake --preset "$preset" -DARTNET_LINUX_PEER="$PWD/build-ci/artnet-peer" >/dev/null
  cmake --build --preset "$preset"
  ./scripts/in-test-netns.sh ctest --preset "$preset"
  echo "test.sh: $preset took $(($(date +%s) - windows_start)) s"
done
# The engine once more with x87 floating point, as older 32-bit code runs it.
cmake --preset win32-x87 >/dev/null
cmake --build --preset win32-x87
./scripts/in-test-netns.sh ctest --preset win32-x87

# The whole tree again under AddressSanitizer, UBSan and LeakSanitizer, plug-in
# and hosts alike (a sanitized plug-in needs a sanitized host), and every test
# once more, the networked ones inside their namespace. Options and the
# suppressions file come with the test preset.
sanitize_start=$(date +%s)
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
./scripts/in-test-netns.sh ctest --preset sanitize
echo "test.sh: sanitizer suite took $(($(date +%s) - sanitize_start)) s"

cmake --preset clang >/dev/null
cmake --build --preset clang

# Each fuzz target for a short while from its seeds (clang, libFuzzer, ASan+UBSan).
./scripts/fuzz.sh --time 20
echo "test.sh: all passed"
