#!/usr/bin/env bash
# Runs the container fuzz target: `fuzz/run.sh SECONDS` for a given time, or
# `fuzz/run.sh --runs N` for a number of inputs (the test). Inputs up to 32 KiB
# (inflating to about 32 MiB: far more than the extraction's buffers hold).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KORVIX_BUILD:-$root/build}
bin=${KORVIX_FUZZ_BIN:-$build/host/bin/container_fuzz}
seeds=${KORVIX_FUZZ_SEEDS:-$build/host/fuzz/seeds}
[ -x "$bin" ] || { echo "fuzz target $bin not built (clang missing?)" >&2; exit 1; }
limit=(-max_total_time="${1:-60}")
[ "${1:-}" != --runs ] || limit=(-runs="${2:?number of runs}" -seed=1)
work=$(mktemp -d /tmp/korvix_fuzz_corpus.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64}
"$bin" "${limit[@]}" -rss_limit_mb=512 -malloc_limit_mb=128 -max_len=32768 -timeout=10 \
  -print_final_stats=1 "$work" "$seeds"
