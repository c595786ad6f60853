#!/usr/bin/env bash
# Configures and builds both trees: build/host (native) and build/win (Windows).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KORVIX_BUILD:-$root/build}
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$root" -B "$build/host" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/host" -j "$jobs"
cmake -S "$root" -B "$build/win" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build/win" -j "$jobs"
