#!/usr/bin/env python3
"""Writes the seed corpus of the container fuzz target: containers (plain,
signed, hostile lengths, records inflating to more than the extraction's
buffers hold), bare zlib streams and a scrambled inform text, each within
the input limit of fuzz/run.sh."""
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from container import TRAILER, build_exe, file_record  # noqa: E402

STUB = b"MZ" + b"\x90" * 254 + b"PE\0\0" + b"\x90" * 40
LANG = b"\x02\x01LangID=1033\x01s1=Extracting\x01\x02"
UPD = b"|http://u/|Product.info|Agent.exe|cbbdbdbefdfcsvce|0|"
DL = b"|http://d/|Real.exe|1|cbbdbdbefdfcsvce|999|"
FILES = [file_record("Engine.exe*", b"MZ" * 20), file_record("a.txt", b"hello", compress=False)]
HOSTILE = [struct.pack("<i", n) + b"x" * 16 for n in (-2**31, 2**31 - 1)]


def container(records=FILES, headers=(LANG, UPD), options=0, flags=b""):
    """A container with the space needed on each drive set in its trailer."""
    image = bytearray(build_exe(STUB, records, options, headers, flags))
    struct.pack_into("<9I", image, len(image) - TRAILER + 28, *range(1000, 10000, 1000))
    return image


def main(out):
    os.makedirs(out, exist_ok=True)
    plain = container(headers=(LANG, UPD, DL), options=0x1F, flags=b"\x01")
    plain[248:256] = bytes(8)  # no payload-end pointer: the container ends the file
    hostile_header = container(headers=(LANG, b"x" * 16))
    struct.pack_into("<i", hostile_header, len(STUB) + 4 + len(LANG), -2**31)
    inform = b"h|cbbdbdbefdfcsvce|a|b|body"
    seeds = {
        "plain": plain,
        "signed": container() + b"SIG" * 40,
        # Lengths far beyond the file: the readers stop without allocating.
        "hostile": container(FILES[:1] + HOSTILE),
        "hostile_header": hostile_header,
        "stream": zlib.compress(b"plain text " * 100, 6),
        "big_zeros": container([file_record("zeros.bin", bytes(3 << 20))]),
        "big_text": container([file_record("Engine.exe*", b"MZ" * 8),
                               file_record("log" + "7" * 200 + ".txt", b"line of a log file\r\n" * 80000)]),
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
