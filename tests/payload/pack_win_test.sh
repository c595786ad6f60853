#!/usr/bin/env bash
# korvix-pack.exe under Wine: builds a setup from the real stub (twice, so the
# second build replaces the first) and lists it.
# usage: pack_win_test.sh WINE-RUN KORVIX-PACK.EXE STUB.EXE
set -euo pipefail
run=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$2" korvix-pack.exe
cp "$3" stub.exe
printf 'engine' > Engine.exe
seq 1 50000 > numbers.txt
head -c 70000 /dev/urandom > data.bin
printf 's0=Demo\n' > en.txt
fails=0
fail() { echo "FAIL: $*"; cat out.txt; fails=$((fails + 1)); }
for round in 1 2; do
  "$run" korvix-pack.exe build --stub stub.exe -o Setup.exe --engine Engine.exe --file numbers.txt \
    --file data.bin --language English=en.txt --set update.token=T$round > out.txt 2>&1 || fail "build $round"
done
"$run" korvix-pack.exe list --tokens Setup.exe > out.txt 2>&1 || fail "list"
for want in "Engine.exe\*" "numbers.txt" "data.bin" "T2" "every checksum matches"; do
  grep -q -- "$want" out.txt || fail "listing lacks '$want'"
done
! ls Setup.exe.*tmp >/dev/null 2>&1 || fail "temporary files left"
[ "$fails" -eq 0 ] && echo "korvix-pack.exe tests passed"
[ "$fails" -eq 0 ]
