#!/usr/bin/env python3
"""Post-link step for the stub: move the NT headers and the section table from
where GNU ld puts them (0x80) to offset 0x100, so that "PE\\0\\0" stands at 256
and the eight bytes at 248..255 stay free for the payload-end pointer that the
authoring tool writes.  Fails when the padded header area has no room."""
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


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = bytearray(f.read())
    data = relocate(data)
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
