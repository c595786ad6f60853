#!/usr/bin/env bash
# The stub's size and its biggest contributors, from the link map the stub's
# link leaves in the Windows tree (build/win/stub.map). Builds nothing.
#   bench/stub_size.sh [count]     (count: contributors to list, default 25)
# Sizes are bytes of the input sections each object gives the program (code,
# data, unwind records), before the file alignment of the sections.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KORVIX_BUILD:-$root/build}
stub=$build/win/bin/stub.exe
map=$build/win/stub.map
[ -f "$stub" ] && [ -f "$map" ] || { echo "no stub or link map in $build/win: build first" >&2; exit 1; }
echo "stub.exe: $(stat -c %s "$stub") bytes"
python3 - "$map" "${1:-25}" <<'EOF'
import collections, re, sys
lines = open(sys.argv[1], errors="replace").read().split("\n")
start = next(k for k, l in enumerate(lines) if l.startswith("Linker script and memory map"))
sizes = collections.Counter()
pending = None
for l in lines[start:]:
    m = re.match(r"^ (\.\S+)\s*$", l)
    if m:
        pending = m.group(1)
        continue
    m = re.match(r"^ (\S+)?\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$", l)
    if m and (m.group(1) or pending) and not (m.group(1) or pending).startswith(".debug"):
        name = re.sub(r"^.*/", "", m.group(3))
        # The link-time optimised part of the program (its own modules).
        name = re.sub(r"^\w+\.ltrans(\d+)\.ltrans\.o$", r"program code (LTO unit \1)", name)
        sizes[name] += int(m.group(2), 16)
    pending = None
print("sections: %d bytes" % sum(sizes.values()))
for name, size in sizes.most_common(int(sys.argv[2])):
    print("%8d  %s" % (size, name))
EOF
