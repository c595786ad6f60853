#!/usr/bin/env python3
"""Writes zlib streams made by python3's zlib module, for the inflate tests.

For every case NAME it writes NAME.plain (the plain bytes) and NAME.z (the
stream). Cases whose name starts with "bad_" are streams the reader must
refuse; their .plain file is empty.
"""
import os
import random
import sys
import zlib


def plains():
    rnd = random.Random(1234)
    text = b"".join(b"line %d: the quick brown fox jumps over the lazy dog\r\n" % i
                    for i in range(4000))
    noise = bytes(rnd.getrandbits(8) for _ in range(150000))
    mixed = b"".join(text[i:i + 700] + noise[i:i + 300] for i in range(0, 100000, 1000))
    return {
        "empty": b"",
        "one": b"x",
        "text": text,
        "noise": noise,
        "mixed": mixed,
        "zeros": bytes(1024 * 1024),
        "entry": b"|Engine.exe*|1234567|\x00MZ\x90\x00\x03" + bytes(range(256)) * 20,
    }


def main(out):
    os.makedirs(out, exist_ok=True)

    def put(name, plain, stream):
        with open(os.path.join(out, name + ".plain"), "wb") as f:
            f.write(plain)
        with open(os.path.join(out, name + ".z"), "wb") as f:
            f.write(stream)

    for name, plain in plains().items():
        for level in (0, 1, 6, 9):
            put("%s_l%d" % (name, level), plain, zlib.compress(plain, level))
        c = zlib.compressobj(6, zlib.DEFLATED, 15, 9, zlib.Z_HUFFMAN_ONLY)
        put(name + "_huffman", plain, c.compress(plain) + c.flush())
        c = zlib.compressobj(9, zlib.DEFLATED, 9, 1, zlib.Z_FILTERED)
        put(name + "_smallwindow", plain, c.compress(plain) + c.flush())
        # Flush points inside the stream: several deflate blocks.
        c = zlib.compressobj(6)
        parts = [c.compress(plain[i:i + 5000]) + c.flush(zlib.Z_FULL_FLUSH)
                 for i in range(0, len(plain), 5000)]
        put(name + "_flushed", plain, b"".join(parts) + c.flush())

    text = plains()["text"]
    c = zlib.compressobj(6, zlib.DEFLATED, 15, 8, zlib.Z_DEFAULT_STRATEGY, zdict=text[:2000])
    put("bad_dictionary", b"", c.compress(text[:20000]) + c.flush())
    good = zlib.compress(text[:20000], 6)
    put("bad_truncated", b"", good[:len(good) // 2])
    put("bad_no_checksum", b"", good[:-4])
    damaged = bytearray(good)
    damaged[-1] ^= 0x55
    put("bad_checksum", b"", bytes(damaged))
    put("bad_header", b"", b"\x78\x9d" + good[2:])
    put("bad_raw", b"", zlib.compress(text[:1000], 6)[2:])


if __name__ == "__main__":
    main(sys.argv[1])
