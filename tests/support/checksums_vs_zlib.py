#!/usr/bin/env python3
"""The Windows programs' own CRC-32 and Adler-32 (which replace zlib's in
their link) against zlib's, on random buffers of random lengths, whole and
fed in pieces, under Wine.

usage: checksums_vs_zlib.py <wine-run.sh> <support_probe.exe>"""
import os
import random
import subprocess
import sys
import tempfile
import zlib


def main():
    wine, probe = sys.argv[1:3]
    rng = random.Random(20261207)
    # Lengths around the Adler-32 reduction step (5552) and the CRC table's
    # byte steps, plus long and empty buffers; bytes of every value, and
    # runs of 0xFF that drive the Adler sums to their maximum.
    lengths = [0, 1, 3, 4, 5551, 5552, 5553, 11104, 65536, 3 * 1024 * 1024 + 7]
    lengths += [rng.randrange(1, 300000) for _ in range(30)]
    with tempfile.TemporaryDirectory(prefix="korvix_sums_") as work:
        files, expected = [], []
        for i, n in enumerate(lengths):
            data = b"\xff" * n if i % 5 == 4 else rng.randbytes(n)
            path = os.path.join(work, "b%02d.bin" % i)
            with open(path, "wb") as f:
                f.write(data)
            files.append(path)
            expected.append("%08x %08x" % (zlib.crc32(data), zlib.adler32(data)))
        out = subprocess.run([wine, probe, "sums"] + files, capture_output=True, text=True,
                             timeout=300).stdout.replace("\r", "").splitlines()
    if len(out) != len(lengths):
        print("checksums: %d results for %d buffers" % (len(out), len(lengths)))
        return 1
    bad = 0
    for n, want, got in zip(lengths, expected, out):
        whole, pieces = got[:17], got[18:]
        if whole != want or pieces != want:
            print("checksums: %d bytes: zlib %s, program %s" % (n, want, got))
            bad += 1
    print("checksums: %d buffers, %d differ" % (len(lengths), bad))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
