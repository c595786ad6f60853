#!/usr/bin/env python3
"""Fails when the built stub imports a library that Windows may take from
beside the setup: every static and delay-load import must be one of the
libraries Windows always takes from the system folder. Anything else
(comctl32, version, riched32, wininet, ...) is bound at run time from the
system folder."""
import struct
import sys

ALLOWED = {
    "kernel32.dll", "ntdll.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
    "shell32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "comdlg32.dll",
    "shlwapi.dll", "imm32.dll", "rpcrt4.dll", "ws2_32.dll",
}


def imported_names(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    nsec, optsize = struct.unpack_from("<H12xH", data, pe + 6)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (112 if magic == 0x20B else 96)
    sections = [struct.unpack_from("<IIII", data, opt + optsize + 40 * i + 8)
                for i in range(nsec)]

    def offset(rva):
        for vsize, va, rsize, raw in sections:
            if va <= rva < va + max(vsize, rsize):
                return raw + rva - va
        raise ValueError("RVA 0x%x outside every section" % rva)

    def text(rva):
        p = offset(rva)
        return data[p:data.index(b"\0", p)].decode("ascii").lower()

    names = []
    # Import directory (1): 20-byte descriptors, name RVA at 12.
    # Delay-load directory (13): 32-byte descriptors, name RVA at 4.
    for index, size, at in ((1, 20, 12), (13, 32, 4)):
        rva, _ = struct.unpack_from("<II", data, dirs + 8 * index)
        if rva == 0:
            continue
        p = offset(rva)
        while any(data[p:p + size]):
            names.append(text(struct.unpack_from("<I", data, p + at)[0]))
            p += size
    return names


def main():
    names = imported_names(open(sys.argv[1], "rb").read())
    bad = sorted(set(names) - ALLOWED)
    print("stub imports:", ", ".join(sorted(set(names))))
    if not names or "kernel32.dll" not in names:
        print("stub imports: import table not found")
        return 1
    for name in bad:
        print("stub imports: %s may be taken from beside the setup" % name)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
