#!/usr/bin/env bash
# Windows version names in a Wine prefix of its own switched with "winecfg /v":
# the support tests' check (no compatibility manifest, so Windows 10 says 6.2)
# and the probe (with one) must give the expected names; back to win10 at the end.
# usage: os_versions.sh WIN_BUILD_DIR WIN_SUPPORT_TESTS_EXE SUPPORT_PROBE_EXE
set -euo pipefail
build=$1 tests=$2 probe=$3
export KORVIX_WINEPREFIX=$build/wineprefix-osver
unset KORVIX_KEEP_SERVER
run=$build/wine-run.sh
restore() {
  "$run" winecfg /v win10 >/dev/null 2>&1 || true
  WINEPREFIX=$KORVIX_WINEPREFIX wineserver -k 2>/dev/null || true
}
trap restore EXIT

rc=0
# version | without manifest | with manifest
for row in "win7|6.1 7.64|6.1 7.64" "winxp64|5.2 XP.64|5.2 XP.64" "win10|6.2 8.64|10.0 10.64"; do
  IFS='|' read -r version plain manifest <<<"$row"
  "$run" winecfg /v "$version" >/dev/null 2>&1
  KORVIX_EXPECT_OS="$plain" "$run" "$tests" --gtest_brief=1 --gtest_filter='OsVersion.*' >/dev/null ||
    { echo "$version without manifest: expected $plain"; rc=1; }
  got=$("$run" "$probe" osname | tr -d '\r')
  want="version=${manifest% *} name=${manifest#* } "
  case "$got" in "$want"*) echo "$version: $got";; *) echo "$version: got '$got', expected '$want'"; rc=1;; esac
done
exit $rc
