#!/usr/bin/env bash
# Sets up the machine, builds with warnings as errors and runs every test,
# the networked ones inside a private network namespace, then the unit tests
# again under AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake --preset ci >/dev/null
cmake --build --preset ci
./scripts/in-test-netns.sh ctest --preset ci

# Unit tests run on fakes only (no network), so they need no namespace.
cmake --preset asan >/dev/null
cmake --build --preset asan
build-asan/tests/unit/unit_tests --gtest_brief=1
