"""Packed streams of the older methods, written from the format's definition.

Each builder makes seeded commands (a literal byte, or a copy of some length
from some distance back), works out the bytes they stand for, and packs them
the way the method's definition says. Nothing here shares code with the
archiver's decoders, so a reader that gives back the original bytes is checked
against the format.

    streams() -> [(method id, case name, original bytes, packed bytes)]

To add a method, add its builders to STREAM_BUILDERS.
"""
import random

from lha_bytes import Bits
import pmarc_streams

SPACE = 0x20


def expand(commands, before):
    """The bytes the commands stand for; `before` is what a distance past the
    start reads, its last byte 1 back from the first byte written."""
    out = bytearray(before)
    for command in commands:
        if isinstance(command, int):
            out.append(command)
            continue
        length, distance = command
        for _ in range(length):
            out.append(out[-distance])  # one at a time: a copy may overlap itself
    return bytes(out[len(before):])


def random_commands(seed, count, window, shortest, longest):
    """Literals from a small alphabet; copies of every length, some from near
    (overlapping), some from the far end of the window."""
    rng = random.Random(seed)
    commands = []
    for _ in range(count):
        kind = rng.randrange(6)
        if kind < 3:
            commands.append(rng.choice(b"abcdefgh \n\x00\xff"))
        elif kind == 3:
            commands.append((rng.randint(shortest, longest), rng.randint(1, 8)))
        elif kind == 4:
            commands.append((rng.randint(shortest, longest), window - rng.randrange(4)))
        else:
            commands.append((rng.randint(shortest, longest), rng.randint(1, window)))
    return commands


# --- -lh1-: an adaptive Huffman tree over 314 symbols, a fixed position code ---

LH1_WINDOW = 4096
LH1_SYMBOLS = 314
LH1_NODES = 2 * LH1_SYMBOLS - 1
LH1_ROOT = LH1_NODES - 1
# The high six bits of a position: (first high value, how many, code length, first code).
LH1_POSITION_ROWS = [(0, 1, 3, 0b000), (1, 3, 4, 0b0010), (4, 8, 5, 0b01010),
                     (12, 12, 6, 0b100100), (24, 24, 7, 0b1100000), (48, 16, 8, 0b11110000)]


class Lh1Tree:
    """The tree kept in frequency order, the root last; a node's second child
    sits just above its first. Leaves are ("leaf", symbol), nodes ("node", child)."""

    def __init__(self):
        self.freq = [1] * LH1_SYMBOLS
        self.content = [("leaf", s) for s in range(LH1_SYMBOLS)]
        for j in range(LH1_NODES - LH1_SYMBOLS):
            self.freq.append(self.freq[2 * j] + self.freq[2 * j + 1])
            self.content.append(("node", 2 * j))
        self.parent = [0] * LH1_NODES
        self.leaf_at = [0] * LH1_SYMBOLS
        for p in range(LH1_NODES):
            self.link(p)

    def link(self, p):
        kind, value = self.content[p]
        if kind == "leaf":
            self.leaf_at[value] = p
        else:
            self.parent[value] = self.parent[value + 1] = p

    def code(self, symbol):
        bits = []
        p = self.leaf_at[symbol]
        while p != LH1_ROOT:
            up = self.parent[p]
            bits.append("0" if self.content[up][1] == p else "1")
            p = up
        return "".join(reversed(bits))

    def update(self, symbol):
        if self.freq[LH1_ROOT] >= 0x8000:
            self.rebuild()
        freq = self.freq
        n = self.leaf_at[symbol]
        while n != LH1_ROOT:
            m = n
            while freq[m + 1] == freq[n]:
                m += 1
            if m != n:
                self.content[n], self.content[m] = self.content[m], self.content[n]
                self.link(n)
                self.link(m)
                n = m
            freq[n] += 1
            n = self.parent[n]
        freq[LH1_ROOT] += 1

    def rebuild(self):
        leaves = [(content, (f + 1) // 2) for content, f in zip(self.content, self.freq) if content[0] == "leaf"]
        self.content, self.freq = [], []
        c = 0
        while len(self.content) < LH1_NODES:
            while len(self.content) - c < 2:
                self.place(*leaves.pop(0))
            f = self.freq[c] + self.freq[c + 1]
            while leaves and leaves[0][1] <= f:  # a leaf that ties the new node goes below it
                self.place(*leaves.pop(0))
            self.place(("node", c), f)
            c += 2
        for p in range(LH1_NODES):
            self.link(p)

    def place(self, content, f):
        self.content.append(content)
        self.freq.append(f)


def lh1_position(distance):
    offset = distance - 1
    high = offset >> 6
    for first, count, length, code in LH1_POSITION_ROWS:
        if high < first + count:
            return format(code + high - first, f"0{length}b") + format(offset & 63, "06b")
    raise ValueError(distance)


def lh1(commands):
    tree = Lh1Tree()
    bits = Bits()
    for command in commands:
        symbol = command if isinstance(command, int) else command[0] + 253
        bits.code(tree.code(symbol))
        tree.update(symbol)
        if not isinstance(command, int):
            bits.code(lh1_position(command[1]))
    return bits.bytes()


def lh1_before():
    return bytes([SPACE]) * LH1_WINDOW


# --- -lzs- and -lz5-: copies name an absolute index of a preset ring ---

LZS_RING, LZS_FIRST = 2048, 2031
LZ5_RING, LZ5_FIRST = 4096, 4078


def ring_index(first, ring, written, distance):
    return (first + written - distance) % ring


def lzs(commands):
    bits = Bits()
    written = 0
    for command in commands:
        if isinstance(command, int):
            bits.put(1, 1).put(command, 8)
            written += 1
            continue
        length, distance = command
        bits.put(0, 1).put(ring_index(LZS_FIRST, LZS_RING, written, distance), 11).put(length - 2, 4)
        written += length
    return bits.bytes()


def lz5_ring():
    """The -lz5- ring before the first byte, by index."""
    ring = bytearray()
    for v in range(256):
        ring += bytes([v]) * 13
    ring += bytes(range(256)) + bytes(range(255, -1, -1)) + bytes(128) + bytes([SPACE]) * 110 + bytes(18)
    return bytes(ring)


def lz5(commands):
    out = bytearray()
    written = 0
    for k, command in enumerate(commands):
        if k % 8 == 0:
            flag_at = len(out)
            out.append(0)
        if isinstance(command, int):
            out[flag_at] |= 1 << (k % 8)  # least significant bit first
            out.append(command)
            written += 1
            continue
        length, distance = command
        index = ring_index(LZ5_FIRST, LZ5_RING, written, distance)
        out += bytes([index & 0xFF, (index >> 8) << 4 | (length - 3)])
        written += length
    return bytes(out)


def lz5_before():
    ring = lz5_ring()
    return bytes(ring[(LZ5_FIRST + j) % LZ5_RING] for j in range(LZ5_RING))


# --- the streams ---

def built(method, name, pack, before, commands):
    return (method, name, expand(commands, before()), pack(commands))


def lh1_copies():
    return built(b"-lh1-", "-lh1- literals and copies", lh1, lh1_before,
                 [ord("x"), (60, 4096)] + random_commands(1, 1500, LH1_WINDOW, 3, 60))


def lh1_rebuilds():
    # The tree is first rebuilt in the update of the 32,455th symbol.
    return built(b"-lh1-", "-lh1- past a rebuild of the tree", lh1, lh1_before,
                 random_commands(2, 33000, LH1_WINDOW, 3, 60))


def lzs_copies():
    return built(b"-lzs-", "-lzs- literals and copies", lzs, lambda: bytes([SPACE]) * LZS_RING,
                 random_commands(3, 1500, LZS_RING, 2, 17))


def lz5_copies():
    # The first copies read the preset ring: the 13s, both runs, zeros and spaces.
    first, written = [], 0
    for index in (13 * ord("A"), 0xD61, 0xE00, 0xF70):
        first.append((18, (LZ5_FIRST + written - index) % LZ5_RING or LZ5_RING))
        written += 18
    return built(b"-lz5-", "-lz5- literals and copies", lz5, lz5_before,
                 first + random_commands(4, 1500, LZ5_RING, 3, 18))


STREAM_BUILDERS = [lh1_copies, lh1_rebuilds, lzs_copies, lz5_copies] + pmarc_streams.BUILDERS


def streams():
    return [build() for build in STREAM_BUILDERS]
