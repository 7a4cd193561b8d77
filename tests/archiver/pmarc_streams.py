"""PMarc's -pm0-, -pm1- and -pm2- streams, written from the format's definition.

Seeded commands (a literal byte, or a copy of some count from some distance
back) are packed as the method says, with the recency list, class codes and
canonical codes worked out here; nothing is shared with the archiver's
decoders. method_streams.py lists BUILDERS among its streams.
"""
import random

from lha_bytes import Bits

SPACE = 0x20


class Recency:
    """Every byte value, the byte output last first."""

    def __init__(self):
        self.order = (list(range(0x20, 0x80)) + list(range(0x00, 0x20)) + list(range(0xA0, 0xE0))
                      + list(range(0x80, 0xA0)) + list(range(0xE0, 0x100)))

    def front(self, byte):
        self.order.remove(byte)
        self.order.insert(0, byte)


class Output:
    """The bytes so far and the recency list they leave."""

    def __init__(self, fill):
        self.out = bytearray()
        self.fill = fill
        self.recency = Recency()

    def literal(self, index):
        byte = self.recency.order[index]
        self.put(byte)

    def copy(self, distance, count):
        for _ in range(count):
            self.put(self.out[-distance] if distance <= len(self.out) else self.fill)

    def put(self, byte):
        self.out.append(byte)
        self.recency.front(byte)


def canonical(lengths):
    """Codes by length, then by symbol, as strings of 0 and 1."""
    codes, code = [""] * len(lengths), 0
    for n in range(1, max(lengths) + 1):
        for s, length in enumerate(lengths):
            if length == n:
                codes[s] = format(code, f"0{n}b")
                code += 1
        code <<= 1
    return codes


def class_of(bases, index):
    return max(c for c, base in enumerate(bases) if index >= base)


# --- -pm2- ---

PM2_LITERAL = [(0, 3), (8, 3), (16, 4), (32, 5), (64, 5), (96, 5), (128, 6), (192, 6)]
PM2_COUNT = [(c + 2, 0) for c in range(15)] + [(17, 3), (25, 3), (33, 5), (65, 6), (129, 7), (256, 0)]
PM2_CODE = [5] * 26 + [4] * 3                       # 29 symbols: a complete code
PM2_OFFSETS = {5: [2, 2, 2, 3, 3], 6: [3, 3, 2, 2, 3, 3], 7: [3, 3, 3, 3, 2, 3, 3], 8: [2, 2, 3, 3, 4, 4, 4, 4]}


def pm2(seed, size):
    """Random literals of every class and copies of every count class until
    `size` bytes: offset trees again at 1024 and 2048, new code and offset
    trees at 4096 and every 4096 from 12288, both kept at 8192."""
    rng = random.Random(seed)
    bits, output = Bits(), Output(SPACE)
    codes, offsets = canonical(PM2_CODE), canonical(PM2_OFFSETS[5])

    def code_tree(turn):
        lengths = PM2_CODE[turn:] + PM2_CODE[:turn]  # another code each time
        bits.put(29, 5).put(4, 3).put(2, 3)
        for length in lengths:
            bits.put(length - 4 + 1, 2)
        return canonical(lengths)

    def offset_tree(entries):
        for length in PM2_OFFSETS[entries]:
            bits.put(length, 3)
        return canonical(PM2_OFFSETS[entries])

    bits.put(0, 1)
    code_tree(0)
    offset_tree(5)
    point = 1024
    while len(output.out) < size:
        if rng.randrange(2):
            index = rng.randrange(16) if rng.randrange(3) else rng.randrange(256)
            s = class_of([base for base, _ in PM2_LITERAL], index)
            bits.code(codes[s]).put(index - PM2_LITERAL[s][0], PM2_LITERAL[s][1])
            output.literal(index)
        else:
            c = rng.randrange(21)
            base, extra = PM2_COUNT[c]
            count = base + rng.randrange(1 << extra)
            bits.code(codes[8 + c]).put(count - base, extra)
            offset = 0
            if c == 0:
                offset = rng.randrange(64)
                bits.put(offset, 6)
            elif c != 20:
                u = rng.randrange(len(offsets))
                offset = rng.randrange(64) if u == 0 else (1 << (u + 5)) + rng.randrange(1 << (u + 5))
                bits.code(offsets[u]).put(offset if u == 0 else offset - (1 << (u + 5)), 6 if u == 0 else u + 5)
            output.copy(offset + 1, count)
        if point <= len(output.out) < size:
            fresh = point >= 4096 and point != 8192
            if point >= 4096:
                bits.put(fresh, 1)
            if fresh:
                codes = code_tree(point // 4096)
            if point < 4096 or fresh:
                offsets = offset_tree({1024: 6, 2048: 7}.get(point, 8))
            point = point * 2 if point < 4096 else point + 4096
    return bytes(output.out[:size]), bits.bytes()


def pm2_run(size):
    """N = 29, M = 0: every command copies 256 bytes from 1 back."""
    bits = Bits().put(0, 1).put(29, 5).put(0, 3)
    if size > 4096:
        bits.put(0, 1)  # keep the tree at 4096
    return bytes([SPACE]) * size, bits.bytes()


# --- -pm1- ---

PM1_LITERAL = [(0, 4), (16, 4), (32, 5), (64, 6), (128, 6), (192, 6)]
# Class codes a..f of the start values used here; None: not codable.
PM1_CLASS_CODES = {
    0: ["0000", "0001", "001", "01", "10", "11"],
    17: [None, None, "01", ("000", "10"), ("001", "11"), None],
    29: ["0", "10", "11", None, None, None],
}
PM1_OFFSET = [(0, 6, []), (64, 8, []), (0, 6, []), (64, 8, [320]), (576, 8, [832, 1088, 1600]),
              (2624, 8, [2880, 3136, 3648, 4672, 6720])]
# The copy type's bits: a, then b (sent from `b_from` output bytes on), then c.
PM1_TYPE_BITS = {0: ("0", "0", "0"), 1: ("0", "0", "1"), 2: ("1", "1", "1"),
                 3: ("1", "0", None), 4: ("0", "1", None), 5: ("1", "1", "0")}


def pm1_block_length(bits, n):
    if n <= 3:
        bits.put(n - 1, 2)
    elif n <= 10:
        bits.put(3, 2).put(n - 4, 3)
    elif n <= 24:
        bits.put(0x1F, 5).put(n - 11, 4)
    elif n <= 88:
        bits.put(0x1FE, 9).put(n - 25, 6)
    else:
        bits.put(0x1FF, 9).put(n - 89, 7)


def pm1_count(bits, count):
    for top, prefix, width, base in ((5, (0, 0), 2, 3), (10, (3, 2), 3, 6), (14, (0x1D, 5), 2, 11),
                                     (22, (0x1E, 5), 3, 15), (84, (0x1F, 5), 6, 23),
                                     (116, (0x7FE, 11), 5, 85), (244, (0x7FF, 11), 7, 117)):
        if count <= top:
            if top > 5:
                bits.put(*prefix)
            bits.put(count - base, width)
            return


def pm1_copy(bits, output, type_, count, offset):
    t = len(output.out)
    a, b, c = PM1_TYPE_BITS[type_]
    bits.code(a)
    if t >= (576 if a == "0" else 64):
        bits.code(b)
    if c is not None and t >= (64 if a == "0" else 2624):
        bits.code(c)
    if type_ >= 2:
        pm1_count(bits, count)
    base, width, grow = PM1_OFFSET[type_]
    bits.put(offset - base, width + sum(t >= at for at in grow))
    output.copy(offset + 1, count)


def pm1(start, seed, size, trailing_copy):
    """Literal blocks of random lengths (some of 216, followed by a block) and
    copies of every type the output allows. The last block's copy is written
    when `trailing_copy`, else left to the zero fill past the end."""
    rng = random.Random(seed)
    bits, output = Bits().put(start, 5), Output(0)
    codable = [c for c, code in enumerate(PM1_CLASS_CODES[start]) if code is not None]
    while len(output.out) < size:
        n = min(216 if rng.randrange(5) == 0 else rng.randint(1, 30), size - len(output.out))
        bits.put(1, 1)
        pm1_block_length(bits, n)
        for _ in range(n):
            c = rng.choice(codable)
            base, width = PM1_LITERAL[c]
            index = base + rng.randrange(1 << width) if rng.randrange(3) == 0 else base + rng.randrange(4)
            code = PM1_CLASS_CODES[start][c]
            bits.code(rng.choice(code) if isinstance(code, tuple) else code).put(index - base, width)
            output.literal(index)
        if n == 216:
            continue
        copies = 1 + rng.randrange(3)
        if len(output.out) >= size:
            if not trailing_copy:
                break
            copies = 1
        for k in range(copies):
            t = len(output.out)
            types = [0, 2] + ([1, 3] if t > 64 else []) + ([4] if t > 576 else []) + ([5] if t > 2624 else [])
            type_ = rng.choice(types)
            base, width, grow = PM1_OFFSET[type_]
            span = min(t - base, 1 << (width + sum(t >= at for at in grow)))
            if k > 0:
                bits.put(0, 1)
            pm1_copy(bits, output, type_, 2 if type_ < 2 else rng.randint(3, 244), base + rng.randrange(span))
    return bytes(output.out[:size]), bits.bytes()


# --- the streams ---

def pm0_stored():
    data = bytes(random.Random(5).randrange(256) for _ in range(3000)) + b"\x1a" * 40
    return (b"-pm0-", "-pm0- stored, with CP/M padding", data, data)


def pm1_table_0():
    return (b"-pm1-", "-pm1- start value 0, last copy written") + pm1(0, 6, 9000, True)


def pm1_table_17():
    return (b"-pm1-", "-pm1- start value 17 (both codes of d and e), last copy past the end") + pm1(17, 7, 7000, False)


def pm1_table_29():
    return (b"-pm1-", "-pm1- start value 29, three classes") + pm1(29, 8, 3000, False)


def pm2_refreshes():
    return (b"-pm2-", "-pm2- literal classes and copies past the refresh points") + pm2(9, 14000)


def pm2_run_tree():
    return (b"-pm2-", "-pm2- one-symbol tree: copies of 256 from 1 back") + pm2_run(5000)


BUILDERS = [pm0_stored, pm1_table_0, pm1_table_17, pm1_table_29, pm2_refreshes, pm2_run_tree]
