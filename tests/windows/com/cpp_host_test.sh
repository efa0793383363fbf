#!/usr/bin/env bash
# Runs the C++ test host (com_host_tests.exe) under Wine, inside the test namespace only.
# usage: cpp_host_test.sh PROJECT_DIR BUILD_DIR LOADER TEST_EXE [GTEST_ARGS...]
set -euo pipefail
source "$(dirname "$0")/wine_env.sh" "$1" "$2" "$3"
WIN_TIMEOUT=120 win "$4" "${@:5}"
