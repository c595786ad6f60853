#!/usr/bin/env python3
"""Checks the header layout of the built stub: "MZ" at 0, e_lfanew = 256,
"PE\\0\\0" at 256 and the payload-end pointer words at 248..255 zero."""
import struct, sys

data = open(sys.argv[1], "rb").read()
errors = []
if data[:2] != b"MZ":
    errors.append("no MZ at offset 0")
if struct.unpack_from("<I", data, 0x3C)[0] != 256:
    errors.append("e_lfanew is not 256")
if data[256:260] != b"PE\0\0":
    errors.append("no PE signature at offset 256")
if any(data[248:256]):
    errors.append("bytes 248..255 are not zero")
nsec, optsize = struct.unpack_from("<H12xH", data, 262)
size_of_headers = struct.unpack_from("<I", data, 256 + 24 + 60)[0]
if 256 + 24 + optsize + 40 * nsec > size_of_headers:
    errors.append("section table runs past the headers")
for e in errors:
    print("stub layout:", e)
sys.exit(1 if errors else 0)
