#!/usr/bin/env python3
"""Writes zlib streams made by python3's zlib module for the inflate tests:
NAME.plain and NAME.z for every case. "bad_" streams must be refused."""
import os
import random
import sys
import zlib


def main(out):
    os.makedirs(out, exist_ok=True)

    def put(name, plain, stream):
        for ext, data in ((".plain", plain), (".z", stream)):
            with open(os.path.join(out, name + ext), "wb") as f:
                f.write(data)

    rnd = random.Random(1234)
    text = b"".join(b"line %d: the quick brown fox jumps over the lazy dog\r\n" % i for i in range(4000))
    noise = bytes(rnd.getrandbits(8) for _ in range(150000))
    plains = {"empty": b"", "one": b"x", "text": text, "noise": noise, "zeros": bytes(1024 * 1024),
              "mixed": b"".join(text[i:i + 700] + noise[i:i + 300] for i in range(0, 100000, 1000))}
    for name, plain in plains.items():
        for level in (0, 1, 6, 9):
            put("%s_l%d" % (name, level), plain, zlib.compress(plain, level))
        for v, c in (("huffman", zlib.compressobj(6, zlib.DEFLATED, 15, 9, zlib.Z_HUFFMAN_ONLY)),
                     ("smallwindow", zlib.compressobj(9, zlib.DEFLATED, 9, 1, zlib.Z_FILTERED))):
            put(name + "_" + v, plain, c.compress(plain) + c.flush())
        c = zlib.compressobj(6)  # full flush points: several deflate blocks
        parts = [c.compress(plain[i:i + 5000]) + c.flush(zlib.Z_FULL_FLUSH) for i in range(0, len(plain), 5000)]
        put(name + "_flushed", plain, b"".join(parts) + c.flush())

    c = zlib.compressobj(6, zlib.DEFLATED, 15, 8, zlib.Z_DEFAULT_STRATEGY, zdict=text[:2000])
    put("bad_dictionary", b"", c.compress(text[:20000]) + c.flush())
    good = zlib.compress(text[:20000], 6)
    put("bad_truncated", b"", good[:len(good) // 2])
    put("bad_no_checksum", b"", good[:-4])
    put("bad_checksum", b"", good[:-1] + bytes([good[-1] ^ 0x55]))
    put("bad_header", b"", b"\x78\x9d" + good[2:])
    put("bad_raw", b"", good[2:])


if __name__ == "__main__":
    main(sys.argv[1])
