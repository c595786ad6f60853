#!/usr/bin/env bash
# korvix-pack.exe under Wine with the real stub: a build replaces the one
# before it; a setup with its own icon and version, signed after the build,
# still verifies, lists its checksums, and runs.
# usage: pack_win_test.sh WINE-RUN KORVIX-PACK.EXE STUB.EXE ENGINE.EXE ICON.ico
set -euo pipefail
run=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$2" korvix-pack.exe
cp "$3" stub.exe
cp "$4" Engine.exe
cp "$5" setup.ico
seq 1 50000 > numbers.txt
printf 's0=Demo\n' > en.txt
printf 'exit=7\nreport=Z:%s\n' "$(echo "$work/report.txt" | tr / '\\')" > engine.cfg
fails=0
fail() { echo "FAIL: $*"; cat out.txt; fails=$((fails + 1)); }
for round in 1 2; do
  "$run" korvix-pack.exe build --stub stub.exe -o Setup.exe --engine Engine.exe --file numbers.txt \
    --file engine.cfg --language English=en.txt --set update.token=T$round --icon setup.ico \
    --file-version 4.3.2.1 --product-name "Demo Product" > out.txt 2>&1 || fail "build $round"
done
! ls Setup.exe.*tmp >/dev/null 2>&1 || fail "temporary files left"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Korvix test" \
  -keyout key.pem -out cert.pem >/dev/null 2>&1
osslsigncode sign -certs cert.pem -key key.pem -n Demo -in Setup.exe -out Signed.exe > out.txt 2>&1 ||
  fail "sign"
osslsigncode verify -CAfile cert.pem -in Signed.exe > out.txt 2>&1 || fail "verify"
grep -q "invalid PE checksum" out.txt && fail "PE checksum"
"$run" korvix-pack.exe list --tokens Signed.exe > out.txt 2>&1 || fail "list"
# The icon and version as Windows reads them: StubResources_win_test.cpp.
for want in "T2" "bytes follow the payload" "every checksum matches"; do
  grep -q -- "$want" out.txt || fail "listing lacks '$want'"
done
rc=0
"$run" Signed.exe /hide > out.txt 2>&1 || rc=$?
[ "$rc" -eq 7 ] && [ -f report.txt ] || fail "the signed setup ran with exit code $rc"
[ "$fails" -eq 0 ] && echo "korvix-pack.exe tests passed"
[ "$fails" -eq 0 ]
