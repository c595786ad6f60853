"""Containers built byte by byte for the end-to-end tests and the fuzz seeds:
what korvix-pack refuses to build (hostile names and lengths, damaged
records, volumes small enough to carry a checksum)."""
import struct
import zlib

MAGIC, TRAILER = 0x4A3B2C1D, 74
HEADERS = (b"\x02\x01English\x01\x02", b"||||||")  # language block, update settings


def file_record(name, data, compress=True):
    """32-bit length (positive: zlib stream, negative: stored), "|name|date|" NUL data."""
    content = b"|" + name.encode("latin-1") + b"|0|\x00" + data
    content = zlib.compress(content, 9) if compress else content
    return struct.pack("<i", len(content) if compress else -len(content)) + content


def header_records(headers):
    """The header records, stored plain with a positive length."""
    return b"".join(struct.pack("<i", len(h)) + h for h in headers)


def trailer(record_area, header_count, file_count, options=0, flags=b""):
    """The trailer; `flags`: bytes 66 on (internet, ask, make agent copy, agent)."""
    t = bytearray(TRAILER)
    t[1] = header_count
    struct.pack_into("<IIIi", t, 4, record_area, file_count, MAGIC, 1234)
    t[65] = options
    t[66:66 + len(flags)] = flags
    struct.pack_into("<I", t, 70, TRAILER)
    return t


def build_exe(stub, records, options=0, headers=HEADERS, flags=b""):
    """The stub, header and file records, the trailer; the payload-end pointer at 248."""
    image = bytearray(stub) + header_records(headers) + b"".join(records)
    image += trailer(len(stub), len(headers), len(records), options, flags)
    struct.pack_into("<II", image, 248, len(image) >> 32, len(image) & 0xFFFFFFFF)
    return bytes(image)


def volume_checksum(data):
    """The checksum of a volume file without a program part, as the stub
    computes it: words before the trailer's last ones, 1234 per block; 1234
    alone (none) above 51,200 bytes."""
    if len(data) > 51200:
        return 1234
    r, total = len(data) - TRAILER, 0
    for pos in range(0, len(data) + 1, 4096):  # the last block is short, maybe empty
        block = data[pos:pos + 4096]
        for (word,) in struct.iter_unpack("<I", block[:len(block) // 4 * 4]):
            r -= 4
            total += word if r > 4 else 0
        total += 1234 if r > 4 else 0
    return struct.unpack("<i", struct.pack("<I", total & 0xFFFFFFFF))[0]


def build_span_chain(stub, volumes):
    """A span-relaunch setup (settings only) and its volumes ".001" on, each with its checksum."""
    exe = build_exe(stub, [], options=0x02 | 0x04)
    vols = []
    for i, recs in enumerate(volumes):
        more = 0x02 if i + 1 < len(volumes) else 0
        image = bytearray((header_records(HEADERS) if i == 0 else b"") + b"".join(recs)
                          + trailer(0, len(HEADERS), len(recs), more))
        struct.pack_into("<i", image, len(image) - TRAILER + 16, volume_checksum(bytes(image)))
        vols.append(bytes(image))
    return exe, vols

