#!/usr/bin/env bash
# Process control under older Windows versions, in a Wine prefix of its own:
# set to Windows 7 with "winecfg /v" (the window search through PSAPI), then
# the test program alone told it runs on Windows XP (the process list from
# PSAPI; a 64-bit prefix accepts "winxp" only per program).
# usage: os_versions.sh WIN_BUILD_DIR WIN_AGENT_TESTS_EXE
set -euo pipefail
build=$1 tests=$2
export KORVIX_WINEPREFIX=$build/wineprefix-agentver
unset KORVIX_KEEP_SERVER
run=$build/wine-run.sh
appkey="HKCU\\Software\\Wine\\AppDefaults\\$(basename "$tests")"
cleanup() {
  "$run" reg delete "$appkey" /f >/dev/null 2>&1 || true
  WINEPREFIX=$KORVIX_WINEPREFIX wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

# A settings step now and then fails while the wineserver of the program
# before it winds down: it is tried again, and a last failure is said.
setting() {  # what, command...
  local what=$1; shift
  for _ in 1 2 3; do "$run" "$@" >/dev/null 2>&1 && return 0; sleep 1; done
  echo "could not set $what"
  exit 1
}

rc=0
setting "Windows 7 for the prefix" winecfg /v win7
"$run" "$tests" --gtest_brief=1 --gtest_filter='ProcessControl.*' || { echo "failed under win7"; rc=1; }
setting "Windows XP for the test program" reg add "$appkey" /v Version /d winxp /f
KORVIX_EXPECT_XP=1 "$run" "$tests" --gtest_brief=1 --gtest_filter='ProcessControl.*' ||
  { echo "failed under winxp"; rc=1; }
exit $rc
