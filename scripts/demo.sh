#!/usr/bin/env bash
# Builds everything, then runs the main job: the stub under Wine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KORVIX_BUILD:-$root/build}
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
source "$root/scripts/xvfb.sh"
echo "== running build/win/bin/stub.exe under Wine"
rc=0
"$build/win/wine-run.sh" "$build/win/bin/stub.exe" || rc=$?
echo "stub.exe started and ended with exit code $rc"
