#!/usr/bin/env bash
# The stub's figures: its size, and the extraction of the benchmark corpus
# (about 96 MB in 60 files, or 8 MB with --small) packed with korvix-pack and
# run under Wine: MB/s from the stub's "UnCompressTime: " line, the whole
# run's wall time minus the fixed pauses, the stub's peak working set (its
# " PeakWorkingSetSize=" line), and the native ceiling: the same records
# inflated with InflateText and written natively (extract_bench).
#   bench/extract_bench.sh [--small]
# MB = 10^6 plain bytes. Prints figures only; nothing is asserted.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KORVIX_BUILD:-$root/build}
preset=full
[ "${1:-}" = --small ] && preset=small
bin=$build/win/bin
[ -x "$build/host/bin/extract_bench" ] || cmake --build "$build/host" --target extract_bench >/dev/null
work=$build/bench/extract-$preset
corpus=$build/bench/corpus-$preset
if [ ! -d "$corpus" ] || [ -z "$(ls -A "$corpus")" ]; then
  flag=(); [ $preset = small ] && flag=(--small)
  python3 "$root/../shared/bench/corpus.py" "${flag[@]}" --force "$corpus" >/dev/null
fi
rm -rf "$work"
mkdir -p "$work/native"
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

stub_size=$(stat -c %s "$bin/stub.exe")
echo "== stub.exe: $stub_size bytes ($(( (stub_size + 1023) / 1024 )) KiB; goal 150 KB)"

printf 'report=%s\r\n' "$(winpath "$work/report.txt")" > "$work/engine.cfg"
args=()
for f in "$corpus"/*; do args+=(--file "$f"); done
t0=$(date +%s.%N)
"$build/host/bin/korvix-pack" build --stub "$bin/stub.exe" -o "$work/Setup.exe" \
  --engine "Engine.exe=$bin/standin_engine.exe" --file "engine.cfg=$work/engine.cfg" "${args[@]}" -q
t1=$(date +%s.%N)
plain=$(cat "$corpus"/* "$bin/standin_engine.exe" "$work/engine.cfg" | wc -c)
setup_size=$(stat -c %s "$work/Setup.exe")
echo "== corpus $preset and the engine: $plain plain bytes in $(( $(ls "$corpus" | wc -l) + 2 )) files;" \
     "setup $setup_size bytes, packed in $(echo "$t1 - $t0" | bc) s"

source "$root/scripts/xvfb.sh"
run=$build/win/wine-run.sh
"$run" "$bin/kdebugview.exe" --out "$(winpath "$work/debug.txt")" \
  --ready "$(winpath "$work/viewer.ready")" --exit-after-ms 600000 >/dev/null 2>&1 &
for _ in $(seq 100); do [ -e "$work/viewer.ready" ] && break; sleep 0.1; done
t0=$(date +%s.%N)
rc=0
"$run" "$work/Setup.exe" || rc=$?
t1=$(date +%s.%N)
"$run" "$bin/kdebugview.exe" --stop >/dev/null 2>&1 || true
[ -f "$work/report.txt" ] || echo "!! the engine did not run (exit code $rc)"

ms=$(tr -d '\r' < "$work/debug.txt" | sed -n 's/.*UnCompressTime: \([0-9]*\) MS.*/\1/p' | head -1)
peak=$(tr -d '\r' < "$work/debug.txt" | sed -n 's/.*PeakWorkingSetSize=\([0-9]*\).*/\1/p' | head -1)
wall=$(echo "$t1 - $t0" | bc)
stub_mbs=$(echo "scale=1; $plain / 1000 / $ms" | bc)
echo "== under Wine: UnCompressTime $ms ms -> $stub_mbs MB/s"
echo "   whole run $wall s wall, $(echo "$wall - 4.5" | bc) s without the 4.5 s of fixed pauses" \
     "(includes Wine start, engine start and folder removal)"
echo "   peak working set of the stub: $peak bytes ($(( ${peak:-0} / 1048576 )) MiB)"

native=$("$build/host/bin/extract_bench" "$work/Setup.exe" "$work/native")
echo "== $native"
native_mbs=$(echo "$native" | sed -n 's/.* \([0-9.]*\) MB\/s/\1/p')
echo "== ratio stub/native: $(echo "scale=2; $stub_mbs / $native_mbs" | bc)"
rm -rf "$work/native"
