#!/usr/bin/env bash
# Builds everything, then runs the main job: the stub under Wine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
source "$root/scripts/xvfb.sh"
echo "== running build/win/bin/stub.exe under Wine"
rc=0
"$root/scripts/wine-run.sh" "$root/build/win/bin/stub.exe" || rc=$?
echo "stub.exe started and ended with exit code $rc"
