#!/usr/bin/env bash
# Extraction speed of our setup against a zlib installer of the NSIS peer (a
# yardstick only), in one run, from the same corpus:
#   - our setup: korvix-pack with the stub; the peer: makensis, target
#     amd64-unicode, "SetCompressor /FINAL zlib", silent, "File /r";
#   - each is checked once to write the corpus byte for byte;
#   - then both run alternately under the same Wine prefix and display,
#     RUNS times each (default 5), together with a one-file setup of the
#     same kind. The extraction cost of each is the median run time for the
#     corpus minus the median run time for the one-file setup, so the fixed
#     pauses and the process starts cancel out.
# Prints both MB/s figures (MB = 10^6 plain bytes), their ratio, the stub's
# peak working set during the corpus runs and during the one-file runs (what
# the Wine process takes before any extraction), and the machine's load.
#   bench/peer_bench.sh [--small] [--runs N]
# Needs makensis (Debian package nsis). Nothing is asserted.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KORVIX_BUILD:-$root/build}
corpus_py=$root/../shared/bench/corpus.py
preset=full
runs=5
while [ $# -gt 0 ]; do
  case "$1" in
    --small) preset=small ;;
    --runs) runs=$2; shift ;;
    *) echo "usage: $0 [--small] [--runs N]" >&2; exit 2 ;;
  esac
  shift
done
command -v makensis >/dev/null || { echo "makensis missing (apt-get install nsis)" >&2; exit 1; }
bin=$build/win/bin
stub=${KORVIX_BENCH_STUB:-$bin/stub.exe}  # another stub (an older build) to compare
pack=$build/host/bin/korvix-pack
[ -x "$pack" ] || cmake --build "$build/host" --target korvix-pack >/dev/null
corpus=$build/bench/corpus-$preset
if [ ! -d "$corpus" ] || [ -z "$(ls -A "$corpus")" ]; then
  flag=(); [ $preset = small ] && flag=(--small)
  python3 "$corpus_py" "${flag[@]}" --force "$corpus" >/dev/null
fi
work=$build/bench/peer-$preset
rm -rf "$work"
mkdir -p "$work/one" "$work/check"
printf 'x' > "$work/one/one.txt"
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
plain=$(cat "$corpus"/* | wc -c)

# Our setups: the timed ones carry no engine entry (the stub extracts,
# pauses and removes its folder) and run hidden, as the peer runs silent;
# the checked one runs the stand-in engine, which copies what it finds.
build_ours() {  # output, files...
  local out=$1; shift
  local args=()
  for f in "$@"; do args+=(--file "$f"); done
  "$pack" build --stub "$stub" -o "$out" "${args[@]}" -q 2>/dev/null
}
build_ours "$work/ours.exe" "$corpus"/*
build_ours "$work/ours_one.exe" "$work/one/one.txt"
printf 'copyto=%s\r\nreport=%s\r\n' "$(winpath "$work/check/ours")" \
  "$(winpath "$work/check/report.txt")" > "$work/engine.cfg"
args=()
for f in "$corpus"/*; do args+=(--file "$f"); done
"$pack" build --stub "$stub" -o "$work/ours_check.exe" \
  --engine "Engine.exe=$bin/standin_engine.exe" --file "engine.cfg=$work/engine.cfg" \
  "${args[@]}" -q

# The peer's setups.
build_peer() {  # output, source folder
  cat > "$work/peer.nsi" <<EOF
Unicode true
Target amd64-unicode
SetCompressor /FINAL zlib
Name "Peer"
OutFile "$1"
RequestExecutionLevel user
SilentInstall silent
InstallDir "\$TEMP\\peer_out"
Section
  SetOutPath "\$INSTDIR"
  File /r "$2/*"
SectionEnd
EOF
  makensis -V1 "$work/peer.nsi" >/dev/null
}
build_peer "$work/peer.exe" "$corpus"
build_peer "$work/peer_one.exe" "$work/one"
echo "== corpus $preset: $plain plain bytes in $(ls "$corpus" | wc -l) files;" \
  "ours $(stat -c %s "$work/ours.exe") bytes, peer $(stat -c %s "$work/peer.exe") bytes"

source "$root/scripts/xvfb.sh"
run=$build/win/wine-run.sh
temp_win=$("$run" cmd /c echo %TEMP% | tr -d '\r')
temp_unix=$("$run" winepath -u "$temp_win" 2>/dev/null | tr -d '\r')
peer_out=$temp_unix/peer_out

# Correctness: each writes the corpus byte for byte.
same_as_corpus() {  # folder
  local f
  for f in "$corpus"/*; do cmp -s "$f" "$1/$(basename "$f")" || return 1; done
}
mkdir -p "$work/check/ours"
"$run" "$work/ours_check.exe" || true
same_as_corpus "$work/check/ours" || { echo "!! our setup did not write the corpus byte for byte"; exit 1; }
rm -rf "$peer_out"
"$run" "$work/peer.exe" /S || true
same_as_corpus "$peer_out" || { echo "!! the peer did not write the corpus byte for byte"; exit 1; }
rm -rf "$peer_out" "$work/check/ours"
echo "== both write the corpus byte for byte"

# The stub's debug lines (its peak working set) go to the viewer.
"$run" "$bin/kdebugview.exe" --out "$(winpath "$work/debug.txt")" \
  --ready "$(winpath "$work/viewer.ready")" --exit-after-ms 3600000 >/dev/null 2>&1 &
for _ in $(seq 100); do [ -e "$work/viewer.ready" ] && break; sleep 0.1; done

timed() {  # name, program, switch: appends the wall time in s to $work/<name>.times
  local t0 t1
  t0=$(date +%s.%N)
  "$run" "$2" "$3" >/dev/null 2>&1 || true
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc >> "$work/$1.times"
}
one_round() {  # "" (corpus) or "_one": one run of each, ours first; ours' peak to .peaks
  local size0
  size0=$(stat -c %s "$work/debug.txt" 2>/dev/null || echo 0)
  timed "ours$1" "$work/ours$1.exe" /hide
  sleep 0.3
  tail -c +$((size0 + 1)) "$work/debug.txt" 2>/dev/null | tr -d '\r' |
    sed -n 's/.*PeakWorkingSetSize=\([0-9]*\).*/\1/p' >> "$work/ours$1.peaks"
  timed "peer$1" "$work/peer$1.exe" /S
  rm -rf "$peer_out"
}
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for i in $(seq "$runs"); do
  one_round ""
  one_round _one
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
"$run" "$bin/kdebugview.exe" --stop >/dev/null 2>&1 || true

median() { sort -n "$work/$1.times" | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
report() {  # name: prints "cost MB/s"
  local c o
  c=$(median "$1"); o=$(median "$1_one")
  awk -v c="$c" -v o="$o" -v b="$plain" 'BEGIN {d = c - o; printf "%.3f %.1f\n", d, (d > 0 ? b / d / 1e6 : 0)}'
}
read -r ours_cost ours_mbs <<< "$(report ours)"
read -r peer_cost peer_mbs <<< "$(report peer)"
echo "== $runs runs each, alternating; median wall times in s (corpus / one file):"
echo "   ours $(median ours) / $(median ours_one), peer $(median peer) / $(median peer_one)"
echo "== extraction: ours $ours_cost s -> $ours_mbs MB/s; peer $peer_cost s -> $peer_mbs MB/s"
echo "== ratio ours/peer: $(awk -v a="$ours_mbs" -v b="$peer_mbs" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}') (goal 1.5)"
peak=$(sort -n "$work/ours.peaks" | tail -1)
peak_one=$(sort -n "$work/ours_one.peaks" | tail -1)
mib() { awk -v p="$1" 'BEGIN {printf "%.1f", p / 1048576}'; }
echo "== peak working set of the stub in the corpus runs: $peak bytes ($(mib "$peak") MiB;" \
  "goal 16 MiB); in the one-file runs (Wine's own share): $peak_one bytes ($(mib "$peak_one") MiB)"
echo "== load average before: $load_before, after: $load_after ($(nproc) processors)"
