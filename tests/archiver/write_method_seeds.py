#!/usr/bin/env python3
"""Seed archives of every method we read, for the damaged-archive run.

    write_method_seeds.py <folder>

Writes one archive per method into the folder, each member packed from the
format's definition (method_streams.py, pmarc_streams.py, lha_bytes.py and an
-lk7- block below), at levels 0, 1 and 2 in turn. Nothing here shares code
with the archiver. The run mutates these archives and checks that every
answer is a clean one.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lha_bytes  # noqa: E402
import method_streams  # noqa: E402

def field(value, width):
    return format(value, f"0{width}b")


def lk7_stream():
    """LHARK's variant: six 'a', then one copy of symbol 271 (31 + 2 bits:
    34 bytes) at position 7 (12 + 2 bits: offset 14), the spaces before the
    start included. Returns (original, packed)."""
    bits = (field(7, 16) + "00100" "000" "000" "001" "00" "001"   # pre-tree: "0" long zero run, "1" length 1
            + field(272, 9) + "0" + field(77, 9) + "1" + "0" + field(271 - 118, 9) + "1"
            + "000000" + field(7, 6)                              # position tree: the single symbol 7
            + "000000" + "1" + "11" + "10")
    out = bytearray(b"a" * 6)
    for _ in range(34):
        out.append(out[len(out) - 15] if len(out) >= 15 else 0x20)
    packed = lha_bytes.Bits().code(bits).bytes()
    return bytes(out), packed


def lk7_member(name, original, packed):
    """Level 1 with the OS id of LHARK (a space): its -lh7- is -lk7-."""
    crc = lha_bytes.crc16(original)
    ext = [lha_bytes.extended(0x54, struct.pack("<I", lha_bytes.UNIX_TIME_2001))]
    tail = lha_bytes.chain(ext)
    body = (b"-lh7-" + struct.pack("<IIIBB", len(packed) + len(tail), len(original), lha_bytes.DOS_TIME_2001, 0x20, 1)
            + bytes([len(name)]) + name + struct.pack("<H", crc) + b" " + struct.pack("<H", len(ext[0]) + 2))
    return bytes([len(body), sum(body) & 0xFF]) + body + tail + packed


def lh67_match_block():
    """lha_bytes.lh5_match_block as -lh6- and -lh7- write it: their position
    trees have up to 17 codes, so the tree's count and its one code take 5
    bits, not 4. Returns (packed bytes, original bytes)."""
    b = lha_bytes.Bits().put(4, 16)
    b.put(5, 5).put(0, 3).put(0, 3).put(1, 3).put(0, 2).put(2, 3).put(2, 3)
    b.put(257, 9)
    b.code("0").put(97 - 20, 9)
    b.code("10").code("11")
    b.code("0").put(157 - 20, 9)
    b.code("11")
    b.put(0, 5).put(1, 5)               # position tree: only code 1 (distance 2)
    b.code("0").code("10").code("11").code("0")
    return b.bytes(), b"ababaa"


def small_streams():
    """(method, original, packed): a few thousand bytes each, enough to reach
    every kind of code (the -pm2- one passes its refresh at 8192), small
    enough that the run unpacks each mutation quickly."""
    m, pm = method_streams, method_streams.pmarc_streams
    rows = [
        m.built(b"-lh1-", "", m.lh1, m.lh1_before, [ord("x"), (60, 4096)] + m.random_commands(11, 300, m.LH1_WINDOW, 3, 60)),
        m.built(b"-lzs-", "", m.lzs, lambda: bytes([m.SPACE]) * m.LZS_RING,
                m.random_commands(12, 300, m.LZS_RING, 2, 17)),
        m.built(b"-lz5-", "", m.lz5, m.lz5_before, m.random_commands(13, 300, m.LZ5_RING, 3, 18)),
        (b"-pm1-", "") + pm.pm1(17, 14, 2000, False),
        (b"-pm1-", "") + pm.pm1(0, 15, 700, True),
        (b"-pm2-", "") + pm.pm2(16, 9000),
        (b"-pm2-", "") + pm.pm2_run(600),
    ]
    return [(method, original, packed) for method, _case, original, packed in rows]


def seeds():
    """{file name: archive bytes}, one archive per method."""
    members = {}
    for index, (method, original, packed) in enumerate(small_streams()):
        name = f"m{index}.bin".encode()
        members.setdefault(method, []).append(lha_bytes.member(index % 3, name, original, packed, method))
    data = bytes(range(256)) * 4
    members[b"-pm0-"] = [lha_bytes.member(0, b"pm0.bin", data, data, b"-pm0-")]
    members[b"-lz4-"] = [lha_bytes.member(0, b"lz4.bin", data, data, b"-lz4-")]
    packed, original = lha_bytes.lh5_match_block()
    members[b"-lh4-"] = [lha_bytes.member(1, b"lh4.txt", original, packed, b"-lh4-")]
    packed, original = lh67_match_block()
    members[b"-lh6-"] = [lha_bytes.member(2, b"lh6.txt", original, packed, b"-lh6-")]
    members[b"-lh7-"] = [lha_bytes.member(0, b"lh7.txt", original, packed, b"-lh7-")]
    original, packed = lk7_stream()
    members[b"-lk7-"] = [lk7_member(b"lk7.txt", original, packed)]
    return {method.decode().strip("-") + ".lzh": lha_bytes.archive(parts) for method, parts in members.items()}


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, data in sorted(seeds().items()):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    print(f"write_method_seeds: {len(seeds())} archives in {folder}")


if __name__ == "__main__":
    main()
