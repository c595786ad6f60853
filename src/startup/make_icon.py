#!/usr/bin/env python3
"""Writes the stub's program icon, MainIcon.ico: a blue box with a white
arrow into it, as 16-colour images of 16, 32 and 48 pixels (under 3 KB).
The drawing is computed, so the same script always gives the same bytes.
usage: make_icon.py [OUT.ico]   (default: MainIcon.ico beside this script)"""
import os
import struct
import sys

PALETTE = [(0, 0, 0), (255, 255, 255), (0, 78, 152), (0, 48, 96), (70, 130, 200),
           (150, 190, 230), (128, 128, 128), (192, 192, 192), (0, 0, 128), (32, 96, 176),
           (100, 160, 220), (210, 225, 245), (64, 64, 64), (0, 64, 128), (24, 24, 48),
           (240, 240, 240)]
SIZES = (16, 32, 48)
SAMPLES = 4  # per axis, for the edges


def colour_at(x, y):
    """Colour of the point (x, y) of the unit square, or None (transparent)."""
    # The arrow, in front of everything.
    if 0.42 <= x <= 0.58 and 0.04 <= y <= 0.36:
        return (255, 255, 255)
    if 0.30 <= y <= 0.60 and abs(x - 0.5) <= 0.24 * (0.60 - y) / 0.30:
        return (255, 255, 255)
    # The lid: a band slanting back from the box's top edge.
    if 0.26 <= y < 0.42:
        left = 0.10 + (0.42 - y) * 0.5
        right = 0.90 - (0.42 - y) * 0.5
        if left <= x <= right:
            return (70, 130, 200)
    # The box's front, with a darker rim.
    if 0.10 <= x <= 0.90 and 0.42 <= y <= 0.92:
        rim = min(x - 0.10, 0.90 - x, 0.92 - y) < 0.05
        return (0, 48, 96) if rim else (0, 78, 152)
    return None


def nearest(rgb):
    return min(range(len(PALETTE)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(PALETTE[i], rgb)))


def image(n):
    """A 4-bit device-independent bitmap with its AND mask, rows bottom up."""
    xor_rows, and_rows = [], []
    for row in range(n - 1, -1, -1):
        pixels, mask = [], []
        for col in range(n):
            hits = []
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((col + (sx + 0.5) / SAMPLES) / n,
                                  (row + (sy + 0.5) / SAMPLES) / n)
                    if c:
                        hits.append(c)
            if len(hits) * 2 < SAMPLES * SAMPLES:
                pixels.append(0)
                mask.append(1)
            else:
                avg = tuple(sum(c[k] for c in hits) // len(hits) for k in range(3))
                pixels.append(nearest(avg))
                mask.append(0)
        xor = bytes((pixels[i] << 4) | pixels[i + 1] for i in range(0, n, 2))
        xor_rows.append(xor + bytes(-len(xor) % 4))
        bits = bytearray((n + 7) // 8)
        for i, m in enumerate(mask):
            if m:
                bits[i // 8] |= 0x80 >> (i % 8)
        and_rows.append(bytes(bits) + bytes(-len(bits) % 4))
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    return header + palette + b"".join(xor_rows) + b"".join(and_rows)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "MainIcon.ico")
    images = [image(n) for n in SIZES]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, img in zip(SIZES, images):
        data += struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
