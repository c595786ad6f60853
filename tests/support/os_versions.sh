#!/usr/bin/env bash
# Windows version names under differently configured systems: a Wine prefix
# of its own inside the build folder is switched with "winecfg /v" to each
# version; the support tests' version check (a program without a
# compatibility manifest) and the probe (with one) run with the names they
# must give, and the prefix is set back to Windows 10 at the end.
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
# version | without manifest | with manifest. Windows 10 tells a program
# without a manifest 6.2 ("8"); 8.1 reports 6.3, which is re-read from
# kernel32.dll's product version.
for row in "win7|6.1 7.64|6.1 7.64" "winxp64|5.2 XP.64|5.2 XP.64" \
           "win10|6.2 8.64|10.0 10.64" "win81|6.2 8.64|KERNEL"; do
  IFS='|' read -r version plain manifest <<<"$row"
  "$run" winecfg /v "$version" >/dev/null 2>&1
  if KORVIX_EXPECT_OS="$plain" "$run" "$tests" --gtest_brief=1 --gtest_filter='OsVersion.*' >/dev/null; then
    echo "$version without manifest: $plain"
  else
    echo "$version without manifest: expected $plain"; rc=1
  fi
  got=$("$run" "$probe" osname | tr -d '\r')
  if [ "$manifest" = KERNEL ]; then
    # The name comes from kernel32's product version, never "8.1.64".
    case "$got" in *"name=8.1.64"*|"") echo "$version with manifest: $got"; rc=1;; *) echo "$version with manifest: $got";; esac
  else
    want="version=${manifest% *} name=${manifest#* } "
    case "$got" in "$want"*) echo "$version with manifest: $got";; *) echo "$version with manifest: got '$got', expected '$want'"; rc=1;; esac
  fi
done
exit $rc
