#!/usr/bin/env python3
"""The Windows programs' own CRC-32 and Adler-32 (which replace zlib's in
their link) against zlib's, whole and fed in pieces, under Wine.

usage: checksums_vs_zlib.py <wine-run.sh> <support_probe.exe>"""
import os
import random
import subprocess
import sys
import tempfile
import zlib

wine, probe = sys.argv[1:3]
rng = random.Random(20261207)
# Lengths around the Adler-32 reduction step (5552), long and empty buffers
# and random ones; every fifth buffer is 0xFF bytes, which drive the Adler
# sums to their maximum.
lengths = [0, 1, 3, 4, 5551, 5552, 5553, 11104, 65536, 3 * 1024 * 1024 + 7]
lengths += [rng.randrange(1, 300000) for _ in range(30)]
with tempfile.TemporaryDirectory(prefix="korvix_sums_") as work:
    files, expected = [], []
    for i, n in enumerate(lengths):
        data = b"\xff" * n if i % 5 == 4 else rng.randbytes(n)
        files.append(os.path.join(work, "b%02d.bin" % i))
        with open(files[-1], "wb") as f:
            f.write(data)
        sums = "%08x %08x" % (zlib.crc32(data), zlib.adler32(data))
        expected.append(sums + " " + sums)  # whole, then in pieces
    out = subprocess.run([wine, probe, "sums"] + files, capture_output=True, text=True,
                         timeout=300).stdout.replace("\r", "").splitlines()
bad = [(n, want, got) for n, want, got in zip(lengths, expected, out) if want != got]
for n, want, got in bad:
    print("checksums: %d bytes: zlib %s, program %s" % (n, want, got))
print("checksums: %d buffers, %d results, %d differ" % (len(lengths), len(out), len(bad)))
sys.exit(1 if bad or len(out) != len(lengths) else 0)
