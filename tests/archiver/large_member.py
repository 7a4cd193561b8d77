#!/usr/bin/env python3
"""A member of 4 GiB and more: our a -z stores it with 64-bit sizes.

A sparse file of 4 GiB + 4097 bytes (a marker at its end) and a small file
after it go into one archive through our library (archiver-batch.exe under
Wine). Our l must list the true sizes, our t and p must reach the small member
that lies past 4 GiB, the header must carry the 64-bit sizes (extended header
0x42, the base fields holding the low 32 bits), and bsdtar must list the true
size too. A ctest entry of its own: writing the 4 GiB archive takes about a
minute under Wine, too long for the command tests.

    large_member.py <build dir>
"""
import os
import shutil
import struct
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import independent_readers as readers  # noqa: E402

BIG_SIZE = (1 << 32) + 4097
MARKER = b"the end of a large file\n"
SMALL = b"a small member past 4 GiB\n"
EXT_LARGE_SIZES = 0x42
# The sparse source takes no room; the archive takes all of it, and a margin.
NEEDED_BYTES = BIG_SIZE + (1 << 30)
SKIPPED = 77  # ctest's SKIP_RETURN_CODE for this entry


def level2_extensions(data, at):
    """{type: data} of the level 2 header at `at`."""
    total = struct.unpack_from("<H", data, at)[0]
    found, size, where = {}, struct.unpack_from("<H", data, at + 24)[0], at + 26
    while size and where + size - 2 <= at + total:
        found[data[where]] = data[where + 1:where + size - 2]
        where += size
        size = struct.unpack_from("<H", data, where - 2)[0]
    return found


def check_header(archive):
    with open(archive, "rb") as f:
        head = f.read(512)
    readers.check("header level 2", head[20] == 2, f"level {head[20]}")
    packed, original = struct.unpack_from("<II", head, 7)
    readers.check("base fields hold the low 32 bits", packed == original == BIG_SIZE & 0xFFFFFFFF, f"{packed} {original}")
    ext = level2_extensions(head, 0)
    sizes = ext.get(EXT_LARGE_SIZES, b"")
    readers.check("extended header 0x42 present", len(sizes) == 16, f"types {sorted(ext)}")
    if len(sizes) == 16:
        readers.check("0x42 holds the 64-bit sizes", struct.unpack("<QQ", sizes) == (BIG_SIZE, BIG_SIZE), sizes.hex())


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: large_member.py <build dir>")
    # Sizes do not depend on the code page: writing 4 GiB once is enough.
    if readers.CODE_PAGE != "932":
        print("large member: runs under code page 932 only")
        return SKIPPED
    scratch = tempfile.mkdtemp(prefix="vesker-large-")
    try:
        if shutil.disk_usage(scratch).free < NEEDED_BYTES:
            print(f"large member: skipped, {NEEDED_BYTES} bytes of free disk needed")
            return 0
        big = os.path.join(scratch, "big.bin")
        with open(big, "wb") as f:
            f.truncate(BIG_SIZE)
            f.seek(BIG_SIZE - len(MARKER))
            f.write(MARKER)
        with open(os.path.join(scratch, "after.txt"), "wb") as f:
            f.write(SMALL)
        archive = readers.windows_path(os.path.join(scratch, "big.lzh"))
        folder = readers.windows_path(scratch) + "\\"
        results = readers.run_library(scratch, [f"a -z {archive} {folder} big.bin after.txt", f"l {archive}",
                                                f"t {archive} after.txt", f"p {archive} after.txt"])
        (added, add_text), (listed, listing), (tested, test_text), (printed, text) = results
        readers.check("a -z adds the large file", added == readers.SUCCESS, add_text)
        big_line = next((l for l in listing.split("\n") if l.endswith(" big.bin")), "")
        readers.check("l lists the true sizes", big_line.split()[:2] == [str(BIG_SIZE)] * 2, listing)
        readers.check("l lists the member past 4 GiB", any(l.endswith(" after.txt") for l in listing.split("\n")), listing)
        readers.check("t reaches the member past 4 GiB", tested == readers.SUCCESS, test_text)
        readers.check("p prints the member past 4 GiB", printed == readers.SUCCESS and text == SMALL.decode(), text)
        check_header(os.path.join(scratch, "big.lzh"))
        status, output = readers.run_tool(readers.BSDTAR + ["-tvf", os.path.join(scratch, "big.lzh")], scratch)
        readers.check("bsdtar lists the true size", status == 0 and str(BIG_SIZE).encode() in output,
                      output.decode(errors="replace"))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    for failure in readers.failures:
        print(failure)
    print(f"large member: {readers.checks_made} checks, {len(readers.failures)} failed")
    return 1 if readers.failures or readers.checks_made == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
