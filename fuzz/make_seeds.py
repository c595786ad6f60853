#!/usr/bin/env python3
"""Writes the seed corpus of the container fuzz target: small containers
(stub-like image, header records, file records, 74-byte trailer), a signed
one, records with hostile lengths, records that inflate to several MiB (more
than the extraction's reused buffers hold), a bare zlib stream and a
scrambled inform text. Every seed stays below the run's input limit
(fuzz/run.sh)."""
import os
import struct
import sys
import zlib

LANG = b"\x02\x01LangID=1033\x01s1=Extracting\x01\x02"
UPD = b"|http://u/|Product.info|Agent.exe|cbbdbdbefdfcsvce|0|"
DL = b"|http://d/|Real.exe|1|cbbdbdbefdfcsvce|999|"
FILES = [(b"|Engine.exe*|1|", b"MZ" * 20, True), (b"|a.txt|0|", b"hello", False)]


def record(r):
    """A header text, a file (entry header, bytes, compressed) or a bare length word."""
    if isinstance(r, int):
        return struct.pack("<i", r) + b"x" * 16
    if isinstance(r, bytes):
        return struct.pack("<i", len(r)) + r
    content = r[0] + b"\x00" + r[1]
    z = zlib.compress(content, 9) if r[2] else content
    return struct.pack("<i", len(z) if r[2] else -len(z)) + z


def container(headers, files=FILES, pointer=False, tail=b"", options=0):
    body = bytearray(b"\x90" * 300)
    body[0:2], body[256:260], body[248:256] = b"MZ", b"PE\0\0", bytes(8)
    area = len(body)
    body += b"".join(record(r) for r in headers + files)
    trailer = bytearray(74)
    trailer[1] = len(headers)
    struct.pack_into("<IIIi", trailer, 4, area, len(files), 0x4A3B2C1D, 1234)
    struct.pack_into("<9I", trailer, 28, *(1000 * (k + 1) for k in range(9)))
    trailer[65], trailer[66] = options, options & 1
    struct.pack_into("<I", trailer, 70, 74)
    body += trailer
    if pointer:
        struct.pack_into("<II", body, 248, 0, len(body))
    return bytes(body) + tail


def main(out):
    os.makedirs(out, exist_ok=True)
    inform = b"h|cbbdbdbefdfcsvce|a|b|body"
    seeds = {
        "plain": container([LANG, UPD, DL], options=0x1F),
        "signed": container([LANG, UPD], pointer=True, tail=b"SIG" * 40),
        # Lengths far beyond the file: the readers stop without allocating.
        "hostile": container([LANG, UPD], FILES[:1] + [-2**31, 2**31 - 1]),
        "hostile_header": container([LANG, -2**31]),
        "stream": zlib.compress(b"plain text " * 100, 6),
        # Big outputs from small inputs: 3 MiB of zeros; 1.5 MiB of text
        # behind a long entry header.
        "big_zeros": container([LANG, UPD], [(b"|zeros.bin|0|", bytes(3 << 20), True)]),
        "big_text": container([LANG, UPD], [(b"|Engine.exe*|1|", b"MZ" * 8, True),
                                            (b"|log.txt|" + b"7" * 200 + b"|",
                                             b"line of a log file\r\n" * 80000, True)]),
        "big_stream": zlib.compress(bytes(2 << 20), 9),
        "scrambled": b"Scrambled=01!" + bytes(c ^ ((i + 1 + (33 if i % 2 == 0 else -33)) & 0xFF)
                                              for i, c in enumerate(inform)),
    }
    for name, data in seeds.items():
        assert len(data) <= 32768, name
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
