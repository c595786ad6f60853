#!/usr/bin/env python3
"""Fails when the built stub imports (statically or delay-loaded) a library
that Windows may take from beside the setup: only libraries it always takes
from the system folder are allowed; the others are bound at run time."""
import struct
import sys

ALLOWED = {
    "kernel32.dll", "ntdll.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
    "shell32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "comdlg32.dll",
    "shlwapi.dll", "imm32.dll", "rpcrt4.dll", "ws2_32.dll",
}


def imported_names(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    nsec, optsize = struct.unpack_from("<H12xH", data, pe + 6)
    opt = pe + 24
    dirs = opt + (112 if struct.unpack_from("<H", data, opt)[0] == 0x20B else 96)
    sections = [struct.unpack_from("<IIII", data, opt + optsize + 40 * i + 8)
                for i in range(nsec)]

    def offset(rva):
        for vsize, va, rsize, raw in sections:
            if va <= rva < va + max(vsize, rsize):
                return raw + rva - va
        raise ValueError("RVA 0x%x outside every section" % rva)

    names = []
    # Import directory (1): 20-byte descriptors, name RVA at 12.
    # Delay-load directory (13): 32-byte descriptors, name RVA at 4.
    for index, size, at in ((1, 20, 12), (13, 32, 4)):
        rva = struct.unpack_from("<I", data, dirs + 8 * index)[0]
        p = offset(rva) if rva else len(data)
        while any(data[p:p + size]):
            name = offset(struct.unpack_from("<I", data, p + at)[0])
            names.append(data[name:data.index(b"\0", name)].decode("ascii").lower())
            p += size
    return names


names = imported_names(open(sys.argv[1], "rb").read())
print("stub imports:", ", ".join(sorted(set(names))))
if "kernel32.dll" not in names:
    sys.exit("stub imports: import table not found")
for name in sorted(set(names) - ALLOWED):
    print("stub imports: %s may be taken from beside the setup" % name)
sys.exit(1 if set(names) - ALLOWED else 0)
