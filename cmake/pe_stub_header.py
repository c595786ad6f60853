#!/usr/bin/env python3
"""Post-link step for the stub: move the NT headers and the section table from
where GNU ld puts them (0x80) to offset 0x100, so that "PE\\0\\0" stands at 256
and the eight bytes at 248..255 stay free for the payload-end pointer that the
authoring tool writes.  Fails when the padded header area has no room.

Then the resource section becomes the image's last section (ld puts the base
relocations after it), so that korvix-pack can rebuild a setup's icon and
version in place instead of appending a second resource section; and the
image checksum is computed anew."""
import struct, sys

NEW_LFANEW = 0x100
POINTER_AT = 248


def relocate(data: bytearray) -> bytearray:
    if data[:2] != b"MZ":
        raise SystemExit("not an executable: no MZ signature")
    old = struct.unpack_from("<I", data, 0x3C)[0]
    if data[old:old + 4] != b"PE\0\0":
        raise SystemExit("no PE signature at e_lfanew")
    nsections, opt_size = struct.unpack_from("<H12xH", data, old + 6)
    length = 4 + 20 + opt_size + 40 * nsections
    magic = struct.unpack_from("<H", data, old + 24)[0]
    hdr_size_at = old + 24 + (60 if magic in (0x10B, 0x20B) else 0)
    size_of_headers = struct.unpack_from("<I", data, hdr_size_at)[0]
    if old == NEW_LFANEW:
        return data
    if NEW_LFANEW + length > size_of_headers:
        raise SystemExit(f"no room: headers need {NEW_LFANEW + length} bytes, "
                         f"SizeOfHeaders is {size_of_headers}")
    block = bytes(data[old:old + length])
    if any(data[max(old + length, NEW_LFANEW):NEW_LFANEW + length]):
        raise SystemExit("bytes after the section table are not padding")
    data[old:size_of_headers] = bytes(size_of_headers - old)
    data[NEW_LFANEW:NEW_LFANEW + length] = block
    struct.pack_into("<I", data, 0x3C, NEW_LFANEW)
    data[POINTER_AT:POINTER_AT + 8] = bytes(8)
    return data


RESOURCES, RELOCATIONS = 2, 5


def layout(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, opt_size = struct.unpack_from("<H12xH", data, pe + 6)
    opt = pe + 24
    dirs = opt + (112 if struct.unpack_from("<H", data, opt)[0] == 0x20B else 96)
    table = opt + opt_size
    return opt, dirs, [table + 40 * i for i in range(count)]


def resources_last(data):
    """Swaps a resource section that the relocation section follows."""
    opt, dirs, headers = layout(data)
    align = struct.unpack_from("<I", data, opt + 32)[0]
    rsrc_rva = struct.unpack_from("<I", data, dirs + 8 * RESOURCES)[0]
    reloc_rva = struct.unpack_from("<I", data, dirs + 8 * RELOCATIONS)[0]
    if not rsrc_rva or len(headers) < 2:
        return data
    a, b = headers[-2], headers[-1]
    va_a, raw_size_a, raw_a = struct.unpack_from("<III", data, a + 12)
    va_b, raw_size_b, raw_b = struct.unpack_from("<III", data, b + 12)
    vsize_a, vsize_b = (struct.unpack_from("<I", data, h + 8)[0] for h in (a, b))
    if va_a != rsrc_rva or va_b != reloc_rva or raw_b != raw_a + raw_size_a \
            or raw_b + raw_size_b != len(data):
        return data
    new_b = va_a
    new_a = new_b + (max(vsize_b, raw_size_b) + align - 1) // align * align
    tree = bytearray(data[raw_a:raw_a + raw_size_a])

    def rebase(at, level):  # data entries hold virtual addresses
        named, ids = struct.unpack_from("<HH", tree, at + 12)
        for k in range(named + ids):
            target = struct.unpack_from("<I", tree, at + 20 + 8 * k)[0]
            if level < 2:
                rebase(target & 0x7FFFFFFF, level + 1)
            else:
                rva = struct.unpack_from("<I", tree, target)[0]
                struct.pack_into("<I", tree, target, rva - va_a + new_a)
    rebase(0, 0)
    block = bytes(data[raw_b:raw_b + raw_size_b])
    data[raw_a:] = block + tree
    header_a, header_b = bytes(data[a:a + 40]), bytes(data[b:b + 40])
    data[a:a + 40], data[b:b + 40] = header_b, header_a
    struct.pack_into("<II", data, a + 12, new_b, raw_size_b)
    struct.pack_into("<I", data, a + 20, raw_a)
    struct.pack_into("<II", data, b + 12, new_a, raw_size_a)
    struct.pack_into("<I", data, b + 20, raw_a + raw_size_b)
    struct.pack_into("<I", data, dirs + 8 * RESOURCES, new_a)
    struct.pack_into("<I", data, dirs + 8 * RELOCATIONS, new_b)
    struct.pack_into("<I", data, opt + 56, (new_a + vsize_a + align - 1) // align * align)
    return data


def checksum(data):
    opt, _, _ = layout(data)
    at = opt + 64
    padded = bytes(data) + b"\0" * (len(data) & 1)
    total = 0
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
    total -= sum(struct.unpack_from("<HH", data, at))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    struct.pack_into("<I", data, at, total + len(data))
    return data


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = bytearray(f.read())
    data = checksum(resources_last(relocate(data)))
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
