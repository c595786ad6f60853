#!/usr/bin/env bash
# The stub's manifest under Windows 10: a program carrying it is told 10.0
# (without it, 6.2). Runs the resource tests in a Wine prefix of their own
# that is set to Windows 10.
# usage: stub_version_test.sh WIN_BUILD_DIR WIN_STUB_RESOURCES_TESTS_EXE
set -euo pipefail
build=$1 tests=$2
export KORVIX_WINEPREFIX=$build/wineprefix-win10
unset KORVIX_KEEP_SERVER
run=$build/wine-run.sh
trap 'WINEPREFIX=$KORVIX_WINEPREFIX wineserver -k 2>/dev/null || true' EXIT
"$run" winecfg /v win10 >/dev/null 2>&1
KORVIX_EXPECT_VERSION=10.0 "$run" "$tests" --gtest_brief=1
