#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the native tests (plain and
# under the sanitizers), then the Windows tests under Wine on a private Xvfb.
# Arguments go to both ctest runs (for example -R payload to pick tests).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KORVIX_BUILD:-$root/build}
"$root/scripts/deps.sh"
echo "== style"
(cd "$root" && find src tools tests fuzz -name '*.cpp' -o -name '*.h' -o -name '*.c' |
  xargs clang-format --dry-run -Werror)
"$root/scripts/build.sh"
echo "== native tests"
host_rc=0
ctest --test-dir "$build/host" --output-on-failure "$@" || host_rc=$?
echo "== Windows tests under Wine"
source "$root/scripts/xvfb.sh"
win_rc=0
ctest --test-dir "$build/win" --output-on-failure "$@" || win_rc=$?
[ $host_rc -eq 0 ] && [ $win_rc -eq 0 ]
