"""LHA archives written byte by byte from the format's definition.

This writer shares nothing with the archiver's encoder: it only stores
(-lh0-) or emits -lh5- blocks whose codes are spelled out by hand, so a reader
that accepts these archives is checked against the format, not against our
own writer.
"""
import struct

DOS_TIME_2001_FIELDS = (2001, 2, 3, 4, 5, 6)  # local time
DOS_TIME_2001 = ((2001 - 1980) << 25) | (2 << 21) | (3 << 16) | (4 << 11) | (5 << 5) | (6 // 2)
UNIX_TIME_2001 = 981_173_106  # 2001-02-03 04:05:06 UTC


def crc16(data, crc=0):
    """CRC-16 of LHA: reflected polynomial 0x8005 (0xA001), initial value 0."""
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


class Bits:
    """Bits written most significant first, as the -lh5- reader takes them."""

    def __init__(self):
        self.bits = []

    def put(self, value, count):
        for shift in range(count - 1, -1, -1):
            self.bits.append((value >> shift) & 1)
        return self

    def code(self, text):
        """A Huffman code written as a string of 0 and 1."""
        for c in text:
            self.bits.append(int(c))
        return self

    def bytes(self):
        padded = self.bits + [0] * (-len(self.bits) % 8)
        return bytes(int("".join(map(str, padded[i:i + 8])), 2) for i in range(0, len(padded), 8))


def lh5_single_symbol_block(byte, count):
    """One block whose literal tree has a single symbol of code length 0:
    `count` copies of `byte` without one bit of codes."""
    return (Bits().put(count, 16)
            .put(0, 5).put(0, 5)        # pre-tree: no lengths, the one symbol 0
            .put(0, 9).put(byte, 9)     # literal/length tree: only `byte`
            .put(0, 4).put(0, 4)        # position tree: only position code 0
            .bytes())


def lh5_match_block():
    """One block, "ababaa": literals 'a' (code 0) and 'b' (10), then a match of
    length 3 (symbol 256, code 11) at distance 2 (position code 1, the only
    one, no extra bits), then 'a'. Returns (packed bytes, original bytes)."""
    b = Bits().put(4, 16)               # four codes in the block
    # Pre-tree lengths for symbols 0..4: 0 0 1 (then two bits: no more zeros) 2 2.
    # Canonical codes: symbol 2 -> 0, 3 -> 10, 4 -> 11.
    b.put(5, 5).put(0, 3).put(0, 3).put(1, 3).put(0, 2).put(2, 3).put(2, 3)
    # Literal/length code lengths for symbols 0..256 through the pre-tree:
    # symbol 2 + 9 bits is a run of 20 + n zeros; symbol 3 is length 1, 4 is length 2.
    b.put(257, 9)
    b.code("0").put(97 - 20, 9)         # 0..96 unused
    b.code("10")                        # 'a': length 1
    b.code("11")                        # 'b': length 2
    b.code("0").put(157 - 20, 9)        # 99..255 unused
    b.code("11")                        # 256 (match of length 3): length 2
    b.put(0, 4).put(1, 4)               # position tree: only code 1 (distance 2)
    b.code("0").code("10").code("11").code("0")
    return b.bytes(), b"ababaa"


def level0(name, method, packed, original, crc):
    body = (method + struct.pack("<IIIBB", len(packed), len(original), DOS_TIME_2001, 0x20, 0)
            + bytes([len(name)]) + name + struct.pack("<H", crc))
    return bytes([len(body), sum(body) & 0xFF]) + body + packed


def extended(kind, data):
    """One extended header of level 1 or 2: its size counts the type, data and
    the next header's size that follows."""
    return bytes([kind]) + data


def chain(parts):
    """Extended headers joined, each followed by the size of the next one."""
    out = b""
    for i, part in enumerate(parts):
        out += part
        following = parts[i + 1] if i + 1 < len(parts) else None
        out += struct.pack("<H", len(following) + 2 if following else 0)
    return out


def level1(name, method, packed, original, crc):
    ext = [extended(0x54, struct.pack("<I", UNIX_TIME_2001))]  # Unix time stamp
    tail = chain(ext)
    body = (method + struct.pack("<IIIBB", len(packed) + len(tail), len(original), DOS_TIME_2001, 0x20, 1)
            + bytes([len(name)]) + name + struct.pack("<H", crc) + b"U"
            + struct.pack("<H", len(ext[0]) + 2))
    return bytes([len(body), sum(body) & 0xFF]) + body + tail + packed


def level2(name, method, packed, original, crc, folder=None):
    """`folder` is the stored folder path with 0xFF between its parts."""
    ext = [extended(0x00, b"\0\0"), extended(0x01, name)]
    if folder:
        ext.append(extended(0x02, folder + b"\xff"))
    tail = chain(ext)
    fixed_size = 26
    total = fixed_size + len(tail)
    header = bytearray(struct.pack("<H", total) + method
                       + struct.pack("<IIIBBH", len(packed), len(original), UNIX_TIME_2001, 0x20, 2, crc)
                       + b"U" + struct.pack("<H", len(ext[0]) + 2) + tail)
    # The header's own CRC, computed with its field zero, goes into the 0x00 header.
    header_crc = crc16(bytes(header))
    header[fixed_size + 1:fixed_size + 3] = struct.pack("<H", header_crc)
    return bytes(header) + packed


def member(level, name, data, packed=None, method=b"-lh0-", folder=None):
    """A member holding `data`: stored, or `packed` under `method`."""
    if packed is None:
        packed = data
    if level == 2:
        return level2(name, method, packed, data, crc16(data), folder)
    return (level0 if level == 0 else level1)(name, method, packed, data, crc16(data))


def archive(members):
    return b"".join(members) + b"\0"
