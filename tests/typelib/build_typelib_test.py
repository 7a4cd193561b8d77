#!/usr/bin/env python3
"""Checks that the type library build is reproducible and that the stamp pinning
refuses damaged input instead of reading or writing outside the file.

Usage: build_typelib_test.py --built TLB -- <type library build command...>
The command is the one the build runs; each case adds its own --work-dir and --tlb.
"""

import os
import struct
import subprocess
import sys
import tempfile
import time
import unittest

RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources")
sys.path.insert(0, RESOURCES)
import build_typelib  # noqa: E402

BUILT_TLB = None
BUILD_COMMAND = None


def build_into(folder, epoch=None):
    """Runs the build command into folder; returns (exit code, stderr, bytes)."""
    env = dict(os.environ)
    env.pop("SOURCE_DATE_EPOCH", None)
    if epoch is not None:
        env["SOURCE_DATE_EPOCH"] = epoch
    tlb = os.path.join(folder, "vesker.tlb")
    result = subprocess.run(BUILD_COMMAND + ["--work-dir", folder, "--tlb", tlb],
                            env=env, capture_output=True, text=True)
    data = b""
    if result.returncode == 0:
        with open(tlb, "rb") as f:
            data = f.read()
    return result.returncode, result.stderr, data


def stamp_values(data):
    """The pinned time value and the stamp text, read from the library's custom data."""
    found = {}
    for guid, at in build_typelib.library_custom_data(bytearray(data)):
        (vt,) = struct.unpack_from("<H", data, at)
        if vt == build_typelib.VT_UI4:
            found[guid] = struct.unpack_from("<I", data, at + 2)[0]
        elif vt == build_typelib.VT_BSTR:
            (length,) = struct.unpack_from("<i", data, at + 2)
            found[guid] = data[at + 6:at + 6 + length]
    return found


def wait_for_next_second():
    # The unpinned stamp has one-second resolution: let the clock move on.
    time.sleep(1.05 - time.time() % 1)


class ReproducibleBuild(unittest.TestCase):
    def test_two_builds_and_the_built_library_are_identical(self):
        with tempfile.TemporaryDirectory() as first, tempfile.TemporaryDirectory() as second:
            code, error, first_bytes = build_into(first)
            self.assertEqual(code, 0, error)
            wait_for_next_second()
            code, error, second_bytes = build_into(second)
            self.assertEqual(code, 0, error)
        self.assertEqual(first_bytes, second_bytes, "two builds differ")
        with open(BUILT_TLB, "rb") as f:
            self.assertEqual(f.read(), first_bytes, "the built vesker.tlb differs from a rebuild")

    def test_stamp_is_pinned_to_source_date_epoch(self):
        cases = [
            ("unset: the epoch", None, 0, b" at Thu Jan  1 00:00:00 1970"),
            ("one day", "86400", 86400, b" at Fri Jan  2 00:00:00 1970"),
            ("a later date", "1700000000", 1700000000, b" at Tue Nov 14 22:13:20 2023"),
        ]
        for name, epoch, value, text in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as folder:
                code, error, data = build_into(folder, epoch)
                self.assertEqual(code, 0, error)
                stamps = stamp_values(data)
                self.assertEqual(stamps.get(build_typelib.STAMP_TIME_GUID), value)
                stamp_text = stamps.get(build_typelib.STAMP_TEXT_GUID, b"")
                self.assertTrue(stamp_text.rstrip(b"\n").endswith(text), stamp_text)

    def test_bad_source_date_epoch_fails_the_build(self):
        cases = [
            ("not a number", "yesterday", "whole number"),
            ("negative", "-1", "whole number"),
            ("a five-digit year", "253402300800", "four-digit year"),
        ]
        for name, epoch, message in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as folder:
                code, error, _ = build_into(folder, epoch)
                self.assertEqual(code, 1)
                self.assertIn(message, error)


class DamagedInput(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(BUILT_TLB, "rb") as f:
            cls.built = f.read()

    def chain_start(self):
        return build_typelib.HEADER_CUSTOM_DATA * 4

    def first_link(self, data):
        links, _ = build_typelib.segment(data, build_typelib.SEGMENT_CUSTOM_DATA_GUIDS)
        (start,) = struct.unpack_from("<i", data, self.chain_start())
        return links + start

    def test_damaged_files_are_refused(self):
        def no_magic(data):
            data[0:4] = b"MSFX"

        def truncated(data):
            del data[0x40:]

        def chain_outside(data):
            struct.pack_into("<i", data, self.chain_start(), 0x7FFF0000)

        def chain_loop(data):
            link = self.first_link(data)
            struct.pack_into("<i", data, link + 8, struct.unpack_from("<i", data, self.chain_start())[0])

        def value_outside(data):
            struct.pack_into("<i", data, self.first_link(data) + 4, 0x7FFF0000)

        def guid_outside(data):
            struct.pack_into("<i", data, self.first_link(data), -24)

        def segment_outside(data):
            directory = build_typelib.HEADER.size + 4 * 2
            at = directory + build_typelib.SEGMENT.size * build_typelib.SEGMENT_CUSTOM_DATA
            struct.pack_into("<i", data, at, len(data))

        cases = [
            ("not a type library", no_magic, "MSFT"),
            ("file cut inside the segment directory", truncated, "past the end"),
            ("custom data chain points outside its segment", chain_outside, "chain"),
            ("custom data chain runs in a loop", chain_loop, "chain"),
            ("custom data value outside its segment", value_outside, "value"),
            ("custom data GUID before its segment", guid_outside, "GUID"),
            ("custom data segment outside the file", segment_outside, "segment"),
        ]
        for name, damage, message in cases:
            with self.subTest(name):
                data = bytearray(self.built)
                damage(data)
                before = bytes(data)
                with self.assertRaises(build_typelib.TypeLibError) as raised:
                    build_typelib.pin_creation_stamp(data, 0)
                self.assertIn(message, str(raised.exception))
                self.assertEqual(bytes(data), before, "a refused file was changed")

    def test_library_without_stamp_is_left_alone(self):
        data = bytearray(self.built)
        struct.pack_into("<i", data, self.chain_start(), -1)
        before = bytes(data)
        self.assertEqual(build_typelib.pin_creation_stamp(data, 12345), 0)
        self.assertEqual(bytes(data), before)


def main():
    global BUILT_TLB, BUILD_COMMAND
    args = sys.argv[1:]
    if len(args) < 4 or args[0] != "--built" or args[2] != "--":
        print(__doc__, file=sys.stderr)
        return 2
    BUILT_TLB, BUILD_COMMAND = args[1], args[3:]
    program = unittest.main(argv=[sys.argv[0], "-v"], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
