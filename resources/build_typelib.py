#!/usr/bin/env python3
"""Builds the type library VESKERLib, its C header and its interface-id source.

Three things stand between the IDL and a type library that reads back right:

* The help strings are stored in code page 932. The IDL is kept in UTF-8 and is
  re-encoded before widl reads it, since widl copies string bytes as they are.
* The library imports the platform's OLE library under its documented name
  "StdOle2.tlb". widl finds an imported library by file name on a case-sensitive
  file system, so the system's stdole2.tlb is staged under that name.
* widl stamps the library with the time of the build, as custom data: a time_t
  value and a "Created by WIDL ... at <ctime>" text. Both are pinned to
  SOURCE_DATE_EPOCH (0 when unset), so two builds of one tree are identical.

Usage: build_typelib.py --idl SRC --widl WIDL --include DIR --stdole FILE
                        --work-dir DIR --tlb OUT [--header OUT --iid-source OUT]
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import uuid

IDL_CODE_PAGE = "cp932"
IMPORTED_STDOLE_NAME = "StdOle2.tlb"

# The type library file format ("MSFT"): a fixed header, one offset per type,
# then a directory of segments, each (offset, length, -1, 0x0F).
MSFT_MAGIC = b"MSFT"
HEADER = struct.Struct("<21i")
HEADER_VARFLAGS = 5
HEADER_TYPE_COUNT = 8
HEADER_CUSTOM_DATA = 16
VARFLAG_HELP_DLL = 0x100
SEGMENT = struct.Struct("<4i")
SEGMENT_GUIDS = 5
SEGMENT_CUSTOM_DATA = 11
SEGMENT_CUSTOM_DATA_GUIDS = 12
# One custom data link: (GUID offset, data offset, offset of the next link).
CUSTOM_DATA_LINK = struct.Struct("<3i")
GUID_SIZE = 16
# A custom data value: its variant type, then a 32-bit number, or a 32-bit
# length and that many bytes of text.
VALUE_TYPE = struct.Struct("<H")
VALUE_NUMBER = struct.Struct("<I")
VALUE_TEXT_LENGTH = struct.Struct("<i")
VT_UI4 = 19
VT_BSTR = 8

# Custom data ids under which the compiler records the build time and its banner.
STAMP_TIME_GUID = uuid.UUID("DE77BA63-517C-11D1-A2DA-0000F8773CE9")
STAMP_TEXT_GUID = uuid.UUID("DE77BA65-517C-11D1-A2DA-0000F8773CE9")
CTIME_SUFFIX = re.compile(rb" at [A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4}\n?$")
CTIME_LENGTH = 24


class TypeLibError(Exception):
    pass


def read(fmt, data, offset):
    if offset < 0 or offset + fmt.size > len(data):
        raise TypeLibError("record at 0x%x runs past the end of the file" % offset)
    return fmt.unpack_from(data, offset)


def segment(data, index):
    header = read(HEADER, data, 0)
    directory = HEADER.size + 4 * header[HEADER_TYPE_COUNT]
    if header[HEADER_VARFLAGS] & VARFLAG_HELP_DLL:
        directory += 4
    offset, length, _, _ = read(SEGMENT, data, directory + SEGMENT.size * index)
    if length and (offset < 0 or offset + length > len(data)):
        raise TypeLibError("segment %d lies outside the file" % index)
    return offset, length


def library_custom_data(data):
    """Yields (GUID, absolute offset of the value) for the library's custom data."""
    if data[:4] != MSFT_MAGIC:
        raise TypeLibError("not a type library file (no MSFT magic)")
    guids, _ = segment(data, SEGMENT_GUIDS)
    values, values_length = segment(data, SEGMENT_CUSTOM_DATA)
    links, links_length = segment(data, SEGMENT_CUSTOM_DATA_GUIDS)
    link = read(HEADER, data, 0)[HEADER_CUSTOM_DATA]
    seen = set()
    while link != -1:
        if link in seen or link < 0 or link + CUSTOM_DATA_LINK.size > links_length:
            raise TypeLibError("broken custom data chain at 0x%x" % link)
        seen.add(link)
        guid_offset, value_offset, link = read(CUSTOM_DATA_LINK, data, links + link)
        if value_offset < 0 or value_offset + 2 > values_length:
            raise TypeLibError("custom data value at 0x%x lies outside its segment" % value_offset)
        guid_bytes = data[guids + guid_offset:guids + guid_offset + GUID_SIZE]
        if guid_offset < 0 or len(guid_bytes) != GUID_SIZE:
            raise TypeLibError("custom data GUID at 0x%x lies outside the file" % guid_offset)
        yield uuid.UUID(bytes_le=bytes(guid_bytes)), values + value_offset


def pin_creation_stamp(data, epoch):
    """Overwrites the build time in the library's custom data; returns the count.

    Every entry is checked before the first byte is written, so a damaged file
    is refused unchanged."""
    patches = [patch for guid, at in library_custom_data(data) for patch in stamp_patch(data, guid, at, epoch)]
    for at, replacement in patches:
        data[at:at + len(replacement)] = replacement
    return len(patches)


def stamp_patch(data, guid, at, epoch):
    """Yields (offset, bytes) that pin one custom data entry, if it is a stamp."""
    (vt,) = read(VALUE_TYPE, data, at)
    if guid == STAMP_TIME_GUID and vt == VT_UI4:
        read(VALUE_NUMBER, data, at + VALUE_TYPE.size)
        yield at + VALUE_TYPE.size, VALUE_NUMBER.pack(epoch & 0xFFFFFFFF)
    elif guid == STAMP_TEXT_GUID and vt == VT_BSTR:
        (length,) = read(VALUE_TEXT_LENGTH, data, at + VALUE_TYPE.size)
        start = at + VALUE_TYPE.size + VALUE_TEXT_LENGTH.size
        if length < 0 or start + length > len(data):
            raise TypeLibError("stamp text runs past the end of the file")
        match = CTIME_SUFFIX.search(bytes(data[start:start + length]))
        if match:
            yield start + match.start() + len(b" at "), ctime_text(epoch)


def ctime_text(epoch):
    # Written over the compiler's text in place, so it must keep its length.
    text = time.asctime(time.gmtime(epoch)).encode("ascii")
    if len(text) != CTIME_LENGTH:
        raise TypeLibError("SOURCE_DATE_EPOCH %d gives no four-digit year" % epoch)
    return text


def source_date_epoch():
    value = os.environ.get("SOURCE_DATE_EPOCH", "0")
    if not value.isdigit():
        raise TypeLibError("SOURCE_DATE_EPOCH must be a whole number of seconds")
    return int(value)


def encode_idl(source, target):
    with open(source, encoding="utf-8") as f:
        text = f.read()
    with open(target, "wb") as f:
        f.write(text.encode(IDL_CODE_PAGE))


def stage_stdole(stdole, folder):
    os.makedirs(folder, exist_ok=True)
    shutil.copyfile(stdole, os.path.join(folder, IMPORTED_STDOLE_NAME))


def run_widl(args, idl, import_folder):
    command = [args.widl, "-m32", "--win32", "-I", args.include, "-L", import_folder,
               "-t", "-T", args.tlb]
    if args.header:
        command += ["-h", "-H", args.header]
    if args.iid_source:
        command += ["-u", "-U", args.iid_source]
    subprocess.run(command + [idl], check=True, cwd=args.work_dir)


def build(args):
    os.makedirs(args.work_dir, exist_ok=True)
    idl = os.path.join(args.work_dir, os.path.basename(args.idl))
    import_folder = os.path.join(args.work_dir, "imports")
    encode_idl(args.idl, idl)
    stage_stdole(args.stdole, import_folder)
    run_widl(args, idl, import_folder)
    with open(args.tlb, "rb") as f:
        data = bytearray(f.read())
    pin_creation_stamp(data, source_date_epoch())
    with open(args.tlb, "wb") as f:
        f.write(data)


def parse_arguments(argv):
    parser = argparse.ArgumentParser(description="Builds the VESKERLib type library.")
    parser.add_argument("--idl", required=True)
    parser.add_argument("--widl", required=True)
    parser.add_argument("--include", required=True)
    parser.add_argument("--stdole", required=True)
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("--tlb", required=True)
    parser.add_argument("--header")
    parser.add_argument("--iid-source")
    return parser.parse_args(argv)


def main(argv):
    try:
        build(parse_arguments(argv))
    except (TypeLibError, OSError, subprocess.CalledProcessError) as error:
        print("build_typelib: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
