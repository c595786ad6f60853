#!/usr/bin/env python3
"""usage: stub_pe.py STUB_EXE: the stub imports (statically or delay-loaded)
only libraries Windows always takes from the system folder; the others are
bound at run time, so a DLL planted beside a setup is never loaded. (The
packer checks the header layout of every stub it packs.)"""
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


names = set(imported_names(open(sys.argv[1], "rb").read()))
print("stub imports:", ", ".join(sorted(names)))
errors = ["%s may be taken from beside the setup" % n for n in sorted(names - ALLOWED)]
if "kernel32.dll" not in names:
    errors.append("import table not found")
for e in errors:
    print("stub imports: " + e)
sys.exit(1 if errors else 0)
