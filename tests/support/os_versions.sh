#!/usr/bin/env bash
# Windows version names under differently configured systems: a Wine prefix
# of its own inside the build folder is switched with "winecfg /v" to each
# version, the support tests' version check runs with the name it must give,
# and the prefix is set back to Windows 10 at the end.
# usage: os_versions.sh WIN_BUILD_DIR WIN_SUPPORT_TESTS_EXE
set -euo pipefail
build=$1 tests=$2
export KORVIX_WINEPREFIX=$build/wineprefix-osver
unset KORVIX_KEEP_SERVER
run=$build/wine-run.sh
restore() {
  "$run" winecfg /v win10 >/dev/null 2>&1 || true
  WINEPREFIX=$KORVIX_WINEPREFIX wineserver -k 2>/dev/null || true
}
trap restore EXIT

rc=0
for row in "win7|6.1 7.64" "winxp64|5.2 XP.64" "win10|10.0 10.64"; do
  version=${row%%|*} want=${row#*|}
  "$run" winecfg /v "$version" >/dev/null 2>&1
  if KORVIX_EXPECT_OS="$want" "$run" "$tests" --gtest_brief=1 --gtest_filter='OsVersion.*'; then
    echo "$version: $want"
  else
    echo "$version: expected $want"; rc=1
  fi
done
exit $rc
