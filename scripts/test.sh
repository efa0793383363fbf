#!/usr/bin/env bash
# Sets up the machine, builds with warnings as errors and runs every test,
# the networked ones inside a private network namespace.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake --preset ci >/dev/null
cmake --build --preset ci
./scripts/in-test-netns.sh ctest --preset ci
