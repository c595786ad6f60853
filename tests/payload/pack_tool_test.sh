#!/usr/bin/env bash
# End-to-end tests of korvix-pack: a project file build, the listing, damaged
# setups, bad input. A signed setup is built and run by pack_win_test.sh.
# usage: pack_tool_test.sh KORVIX-PACK SOURCE-DIR
set -euo pipefail
pack=$1
root=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
run() { rc=0; "$@" >out.txt 2>err.txt || rc=$?; }
expect_rc() {  # expect_rc RC DESCRIPTION COMMAND...
  local want=$1 what=$2; shift 2; run "$@"
  [ "$rc" -eq "$want" ] || { fail "$what: exit $rc, wanted $want"; cat out.txt err.txt; }
}
expect_out() {  # expect_out TEXT...: every text is in out.txt
  for want in "$@"; do grep -q -- "$want" out.txt || { fail "output lacks '$want'"; cat out.txt; }; done
}
expect_error() {  # expect_error FRAGMENT COMMAND...: non-zero exit, message, no setup
  local fragment=$1; shift; run "$@"
  [ "$rc" -ne 0 ] && grep -q -- "$fragment" err.txt || { fail "'$fragment': exit $rc"; cat err.txt; }
  ! ls bad.exe* >/dev/null 2>&1 || fail "$fragment: a setup or temporary file was left"
}

python3 -c 'd = bytearray(8192); d[0:2] = b"MZ"; d[256:260] = b"PE\0\0"; open("fake.exe", "wb").write(d)'
mkdir -p files lang
printf 'engine' > files/Engine.exe
head -c 300000 /dev/urandom > files/data.bin
seq 1 20000 > files/numbers.txt
printf 's0=Demo Product\ns1=Extracting...\n' > lang/en.txt
printf 's0=Demo-Produkt\n' > lang/de.txt
cat > demo.ini <<'EOF'
[setup]
stub = fake.exe
output = out/Demo.exe
[options]   ; option bits
activity_bar = 1   ; bit 3
[update]
token = UPDATE-TOKEN
[languages]
English = lang/en.txt
Deutsch = lang/de.txt
[files]
Engine.exe* /silent = files/Engine.exe
files/data.bin
files/numbers.txt
EOF

expect_rc 2 "no arguments" "$pack"
expect_rc 0 "build demo.ini" "$pack" build demo.ini
expect_rc 0 "list Demo.exe" "$pack" list --tokens out/Demo.exe
expect_out "Engine.exe\* /silent" "UPDATE-TOKEN" "\[Deutsch\] 1 keys" "activity_bar (bit 3)  *1" \
  "s1=Extracting" "numbers.txt.* zlib " "data.bin.* stored " "every checksum matches"

# A damaged record; an update-agent copy as the stub writes it (stub and
# header records, pointer cleared, trailer byte 69 set) once listed as damage;
# a missing volume.
python3 - <<'EOF'
import struct
d = open("out/Demo.exe", "rb").read()
ends = [struct.unpack_from("<I", d, len(d) - 74 + 4)[0]]
for _ in range(4):
    ends.append(ends[-1] + 4 + abs(struct.unpack_from("<i", d, ends[-1])[0]))
open("agent.exe", "wb").write(d[:252] + bytes(4) + d[256:ends[2]] + d[-74:-5] + b"\1" + d[-4:])
n = struct.unpack_from("<i", d, ends[4])[0]  # numbers.txt, the compressed record
open("dmg.exe", "wb").write(d[:ends[4] + 4 + n // 2] + b"\xAA" * 8 + d[ends[4] + 12 + n // 2:])
EOF
expect_rc 1 "damaged record" "$pack" list dmg.exe
expect_out "DAMAGED: "
expect_rc 0 "list agent copy" "$pack" list agent.exe
expect_out "update-agent copy: settings only"
expect_rc 0 "build Multi" "$pack" build demo.ini -o out/Multi.exe --volume-size 120K
mv out/Multi.exe.002 out/gone
expect_rc 1 "missing volume" "$pack" list out/Multi.exe
expect_out "MISSING: out/Multi.exe.002"

# Bad input: clear message, non-zero exit, nothing under the output name.
base=(build --stub fake.exe -o bad.exe)
expect_error "file not found" "$pack" "${base[@]}" --file nothere.txt
expect_error "two entries are marked" "$pack" "${base[@]}" --engine files/Engine.exe --engine "S2.exe=files/data.bin"
expect_error "not a Windows program image" "$pack" "${base[@]}" --icon "$root/src/startup/MainIcon.ico"
expect_error "not a setup stub" "$pack" build --stub files/data.bin -o bad.exe
expect_error "already carries a payload" "$pack" build --stub out/Demo.exe -o bad.exe
expect_error "not a Korvix setup" "$pack" list files/data.bin

[ "$fails" -eq 0 ] && echo "pack tool tests passed"
[ "$fails" -eq 0 ]
