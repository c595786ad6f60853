#!/usr/bin/env python3
"""Writes the seed corpus of the container fuzz target: small containers
(stub-like image, header records, file records, 74-byte trailer), a signed
one, a volume file, and bare zlib streams."""
import os
import struct
import sys
import zlib

MAGIC = 0x4A3B2C1D


def record(data, compressed):
    if compressed:
        z = zlib.compress(data, 9)
        return struct.pack("<i", len(z)) + z
    return struct.pack("<i", -len(data)) + data


def container(headers, files, exe=True, pointer=False, tail=b"", options=0, internet=0):
    image = bytearray(b"\x90" * 300)
    if exe:
        image[0:2] = b"MZ"
        image[256:258] = b"PE"
    image[248:256] = bytes(8)
    body = bytes(image)
    area = len(body)
    for h in headers:
        body += struct.pack("<i", len(h)) + h
    for name, data, compressed in files:
        body += record(name + b"\x00" + data, compressed)
    trailer = bytearray(74)
    trailer[1] = len(headers)
    struct.pack_into("<IIIi", trailer, 4, area, len(files), MAGIC, 1234)
    for k in range(9):
        struct.pack_into("<I", trailer, 28 + 4 * k, 1000 * (k + 1))
    trailer[65] = options
    trailer[66] = internet
    struct.pack_into("<I", trailer, 70, 74)
    out = bytearray(body + bytes(trailer))
    if pointer:
        struct.pack_into("<II", out, 248, 0, len(out))
    return bytes(out) + tail


def main(out):
    os.makedirs(out, exist_ok=True)
    lang = b"\x02\x01LangID=1033\x01s1=Extracting\x01\x02"
    upd = b"|http://u/|Product.info|Agent.exe|cbbdbdbefdfcsvce|0|"
    dl = b"|http://d/|Real.exe|1|cbbdbdbefdfcsvce|999|"
    seeds = {
        "plain": container([lang, upd], [(b"|Engine.exe*|1|", b"MZ" * 20, True),
                                        (b"|a.txt|0|", b"hello", False)]),
        "three": container([lang, upd, dl], [(b"|x|2|", b"abc" * 50, True)], options=0x1F,
                           internet=1),
        "signed": container([lang, upd], [(b"|s*|3|", b"s" * 100, True)], pointer=True,
                            tail=b"SIG" * 40),
        "volume": container([lang, upd], [(b"|v|4|", bytes(range(256)), True)], exe=False),
        "empty": container([b"", b""], []),
        "stream": zlib.compress(b"plain text " * 100, 6),
        "scrambled": b"Scrambled=01!" + bytes((c ^ ((i + 1 + (33 if i % 2 == 0 else -33)) & 0xFF))
                                              for i, c in enumerate(b"h|cbbdbdbefdfcsvce|a|b|body")),
    }
    for name, data in seeds.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
