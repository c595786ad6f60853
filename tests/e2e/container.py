"""Raw container bytes for the end-to-end tests.

Builds setups byte by byte (what the authoring tool refuses to build: hostile
entry names, records that reach past the end) and reads the layout of built
setups so that a test can damage one record or one checksum on purpose.
"""
import struct
import zlib

MAGIC = 0x4A3B2C1D
TRAILER = 74


def record(content, compress=True):
    """One record: 32-bit length (positive: zlib stream) and the data."""
    if compress:
        data = zlib.compress(content, 9)
        return struct.pack("<i", len(data)) + data
    return struct.pack("<i", -len(content)) + content


def file_content(name, data, dos_date=0):
    return b"|" + name.encode("latin-1") + b"|" + str(dos_date).encode() + b"|\x00" + data


def language_block():
    return b"\x02\x01English\x01\x02"


def trailer(record_area, file_count, options=0, checksum=1234, header_count=2,
            space=0, agent=False, make_agent=False):
    t = bytearray(TRAILER)
    t[1] = header_count
    struct.pack_into("<IIIi", t, 4, record_area, file_count, MAGIC, checksum)
    for k in range(9):
        struct.pack_into("<I", t, 28 + 4 * k, space)
    t[65] = options
    t[68] = 1 if make_agent else 0
    t[69] = 1 if agent else 0
    struct.pack_into("<I", t, 70, TRAILER)
    return bytes(t)


def build_exe(stub, records, file_count, options=0, update_settings=b"||||||"):
    """A setup: the stub, two header records, the given raw records, the
    trailer, and the payload-end pointer at 248/252."""
    image = bytearray(stub)
    area = len(image)
    body = b""
    # Header records are stored plain with a positive length.
    for h in (language_block(), update_settings):
        body += struct.pack("<i", len(h)) + h
    body += b"".join(records)
    image += body
    image += trailer(area, file_count, options)
    end = len(image)
    struct.pack_into("<II", image, 248, end >> 32, end & 0xFFFFFFFF)
    return bytes(image)


def payload_end(image):
    if image[:2] == b"MZ" and image[256:258] == b"PE":
        hi, lo = struct.unpack_from("<II", image, 248)
        end = (hi << 32) | lo
        if end:
            return end
    return len(image)


def read_trailer(image):
    end = payload_end(image)
    length = struct.unpack_from("<I", image, end - 4)[0]
    start = end - length
    return start, image[start:end]


def walk_records(image):
    """(offset of length word, length) of every record of a container."""
    end = payload_end(image)
    tstart, t = read_trailer(image)
    pos = struct.unpack_from("<I", t, 4)[0]
    out = []
    while end - pos > TRAILER:
        n = struct.unpack_from("<i", image, pos)[0]
        out.append((pos, n))
        pos += abs(n) + 4
    return out


def header_count(image):
    _, t = read_trailer(image)
    return t[1] or 2


def volume_checksum(data, trailer_length=TRAILER):
    """The checksum a volume of at most 51,200 bytes carries (1234 for a
    larger one), as the stub computes it."""
    s = len(data)
    if s > 51200:
        return 1234
    start = 0
    pointer = 0
    if data[:2] == b"MZ" and data[256:258] == b"PE":
        pointer = struct.unpack_from("<I", data, 252)[0]
        if pointer > 0:
            s = pointer
    r = s - trailer_length
    if pointer > 0:
        r -= 512
        start = 512
    total = 0
    pos = start
    while True:
        block = data[pos:pos + 4096]
        pos += len(block)
        for k in range(len(block) // 4):
            r -= 4
            if r > 4:
                total = (total + struct.unpack_from("<I", block, 4 * k)[0]) & 0xFFFFFFFF
        if r > 4:
            total = (total + 1234) & 0xFFFFFFFF
        if len(block) < 4096:
            break
    return struct.unpack("<i", struct.pack("<I", total))[0]


def build_volume(records, file_count, more, headers=None):
    """A plain volume file (no stub): optional header records, the records,
    the trailer with its checksum."""
    body = b""
    hc = 2
    for h in headers or ():
        body += struct.pack("<i", len(h)) + h
    image = body + b"".join(records)
    image += trailer(0, file_count, 0x02 if more else 0, header_count=hc)
    data = bytearray(image)
    struct.pack_into("<i", data, len(data) - TRAILER + 16, volume_checksum(bytes(data)))
    return bytes(data)


def build_span_chain(stub, volumes_records, file_counts):
    """A span-relaunch setup: the program with the settings only, then
    ".001" (with the header records) onward."""
    exe = build_exe(stub, [], 0, options=0x02 | 0x04)
    vols = []
    for i, recs in enumerate(volumes_records):
        headers = (language_block(), b"||||||") if i == 0 else None
        vols.append(build_volume(recs, file_counts[i], i + 1 < len(volumes_records), headers))
    return exe, vols
