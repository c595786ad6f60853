#!/usr/bin/env bash
# Times korvix-pack on the benchmark corpus: build time, setup size and ratio,
# and the time of `korvix-pack list` (which inflates every record).
# usage: bench/pack_bench.sh [--small] [--level N] [--volume-size SIZE] [--threads N]
# Uses $KORVIX_BUILD (default build/) for the tool, the stub and the corpus.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KORVIX_BUILD:-$root/build}
pack=$build/host/bin/korvix-pack
corpus_py=${KORVIX_CORPUS_PY:-$root/../shared/bench/corpus.py}
preset=full
extra=()
while [ $# -gt 0 ]; do
  case $1 in
    --small) preset=small ;;
    --level) extra+=(--level "$2"); shift ;;
    --volume-size) extra+=(--volume-size "$2"); shift ;;
    --threads) extra+=(--threads "$2"); shift ;;
    -h|--help) sed -n 2,5p "$0"; exit 0 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done
[ -x "$pack" ] || { echo "no $pack: run scripts/build.sh first" >&2; exit 1; }

corpus=$build/bench/corpus-$preset
if [ ! -f "$corpus/.done" ]; then
  flag=(); [ $preset = small ] && flag=(--small)
  python3 "$corpus_py" "$corpus" --force "${flag[@]}"
  touch "$corpus/.done"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

stub=$build/win/bin/stub.exe
if [ ! -f "$stub" ]; then  # a stand-in with the stub's header layout
  stub=$work/stub.exe
  python3 -c "
d = bytearray(65536); d[0:2] = b'MZ'; d[256:260] = b'PE\0\0'
open('$stub', 'wb').write(bytes(d))"
fi

args=(build --stub "$stub" -o "$work/Setup.exe" -q --seed 1 "${extra[@]}")
first=1
for f in "$corpus"/*; do
  name=$(basename "$f")
  if [ $first = 1 ]; then args+=(--engine "$name=$f"); first=0; else args+=(--file "$name=$f"); fi
done

now() { date +%s.%N; }
t0=$(now)
"$pack" "${args[@]}"
t1=$(now)
"$pack" list "$work/Setup.exe" > "$work/list.txt"
t2=$(now)

files=$(ls "$corpus" | wc -l)
in_bytes=$(cat "$corpus"/* | wc -c)
stub_bytes=$(stat -c %s "$stub")
out_bytes=$(cat "$work"/Setup.exe* | wc -c)
volumes=$(ls "$work"/Setup.exe* | wc -l)
stored=$(grep -cE " stored +(ok|no entry|DAMAGED)" "$work/list.txt" || true)
zlib=$(grep -cE " zlib +(ok|no entry|DAMAGED)" "$work/list.txt" || true)
python3 - "$preset" "$files" "$in_bytes" "$stub_bytes" "$out_bytes" "$volumes" \
  "$t0" "$t1" "$t2" "$zlib" "$stored" <<'EOF'
import sys
preset, files, inb, stub, outb, vols, t0, t1, t2, z, s = sys.argv[1:]
inb, stub, outb = int(inb), int(stub), int(outb)
build, lst = float(t1) - float(t0), float(t2) - float(t1)
payload = outb - stub
print(f"korvix-pack benchmark, corpus {preset}: {files} files, {inb:,d} bytes")
print(f"  build time     {build:8.2f} s   ({inb / 1e6 / build:6.1f} MB/s of input)")
print(f"  setup size     {outb:,d} bytes in {vols} file(s) (stub {stub:,d} bytes)")
print(f"  payload ratio  {payload / inb:8.3f}   (payload / input), {z} zlib + {s} stored records")
print(f"  list (inflate) {lst:8.2f} s")
EOF
