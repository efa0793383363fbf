#!/usr/bin/env bash
# Sets up the machine, checks the code's format, builds with warnings as
# errors and runs every test, the networked ones inside a private network
# namespace; then the unit tests again under AddressSanitizer and UBSan, and
# the whole tree once more with clang.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
./scripts/check-format.sh

cmake --preset ci >/dev/null
cmake --build --preset ci
./scripts/in-test-netns.sh ctest --preset ci

# Unit tests run on fakes only (no network), so they need no namespace.
cmake --preset asan >/dev/null
cmake --build --preset asan
build-asan/tests/unit/unit_tests --gtest_brief=1

cmake --preset clang >/dev/null
cmake --build --preset clang
echo "test.sh: all passed"
