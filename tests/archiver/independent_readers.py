#!/usr/bin/env python3
"""Our archiver against tools no one here wrote, on the build machine.

Archives our UNLHA32.dll creates must be listed, tested and extracted
byte-identically by Debian's lhasa and bsdtar; archives written from the
format's definition (lha_bytes.py) must be listed, tested and extracted by our
library. The library runs under Wine through archiver-batch.exe, in the system
code page of VESKER_CODEPAGE (932 or 1252).

    independent_readers.py <build dir>

Prints one line per failed check and exits 1 when any failed.
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lha_bytes  # noqa: E402
import method_streams  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CODE_PAGE = os.environ.get("VESKER_CODEPAGE", "932")
ANSI = "cp932" if CODE_PAGE == "932" else "cp1252"
SUCCESS = 0
failures = []
checks_made = 0


def check(name, holds, detail=""):
    global checks_made
    checks_made += 1
    if not holds:
        failures.append(f"FAILED {name}{': ' + detail if detail else ''}")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def seeded_bytes(seed, size):
    return random.Random(seed).randbytes(size)


def text_bytes(seed, size):
    """Compressible text with variation, so matches of many lengths occur."""
    rng = random.Random(seed)
    words = [b"archive", b"member", b"header", b"folder", b"\x82\xa0", b"lh5", b"window", b"0123456789"]
    out = bytearray()
    while len(out) < size:
        out += b" ".join(rng.choice(words) for _ in range(rng.randint(3, 12))) + b"\n"
    return bytes(out[:size])


def source_files():
    """(case name, relative path, content): names fit the system code page.
    Under 932 the double-byte names have a trail byte 0x5C (a backslash)."""
    rows = [
        ("empty file", "empty.txt", b""),
        ("one byte", "one.txt", b"x"),
        ("compressible text", "text.txt", text_bytes(1, 60_000)),
        ("incompressible bytes", "random.bin", seeded_bytes(2, 40_000)),
        ("text past the 8 KB window", "big.txt", text_bytes(3, 300_000)),
        ("member in a folder", "folder/inner.txt", text_bytes(4, 5_000)),
    ]
    if ANSI == "cp932":
        rows += [
            ("double-byte name", "\u8868\u793a.txt", text_bytes(5, 3_000)),         # 表示: 0x95 0x5C
            ("double-byte folder", "\u30bd\u30d5\u30c8/\u80fd\u529b.txt", b"ok\n"),  # ソフト/能力
        ]
    else:
        rows += [
            ("accented name", "caf\u00e9.txt", text_bytes(5, 3_000)),
            ("accented folder", "na\u00efve/r\u00e9sum\u00e9.txt", b"ok\n"),
        ]
    return rows


def run_library(scratch, commands):
    """Runs the command lines through our library; [(code, text)] in order."""
    commands_file = os.path.join(scratch, "commands.txt")
    results_file = os.path.join(scratch, "results.txt")
    log_file = os.path.join(scratch, "wine.log")
    with open(commands_file, "w", encoding="utf-8") as f:
        f.write("\n".join(commands) + "\n")
    build = sys.argv[1]
    program = os.path.join(build, "bin", "archiver", "archiver-batch.exe")
    # Wine output goes to a file: a server left running would hold a pipe open.
    with open(log_file, "wb") as log:
        status = subprocess.call([os.path.join(ROOT, "scripts", "wine-exec"), build, program,
                                  windows_path(commands_file), windows_path(results_file)],
                                 stdin=subprocess.DEVNULL, stdout=log, stderr=log, cwd=scratch)
    if status != 0:
        with open(log_file, "rb") as log:
            sys.exit(f"archiver-batch failed ({status}): {log.read().decode(errors='replace')}")
    results = []
    with open(results_file, "rb") as f:
        data = f.read()
    at = 0
    while at < len(data):
        end = data.index(b"\n", at)
        code, size = map(int, data[at:end].split())
        results.append((code, data[end + 1:end + 1 + size].decode("utf-8")))
        at = end + 1 + size + 1
    check("every command answered", len(results) == len(commands), f"{len(results)} of {len(commands)}")
    return results


# bsdtar assumes no charset for LHA names and, unless told, fails on bytes
# beyond ASCII with "(null)"; the archive's names are in the ANSI code page.
BSDTAR = ["bsdtar", "--options", "hdrcharset=" + ANSI.upper()]
# lhasa by its own name: `lha` may be another archiver (jlha-utils makes it
# the Java one), which neither lists nor tests as lhasa does.
LHASA = "lhasa"


def run_tool(args, cwd):
    env = dict(os.environ, LC_ALL="C.UTF-8")
    result = subprocess.run(args, cwd=cwd, env=env, stdin=subprocess.DEVNULL, capture_output=True)
    return result.returncode, result.stdout + result.stderr


def decoded(raw):
    """A name as a host tool shows it: converted to UTF-8, or the stored bytes."""
    for encoding in ("utf-8", ANSI):
        try:
            return raw.decode(encoding)
        except UnicodeDecodeError:
            pass
    return raw.decode("latin-1")


def tree(folder):
    """{relative path with '/': content} of every file below `folder`."""
    files = {}
    raw_folder = os.fsencode(folder)
    for parent, _, names in os.walk(raw_folder):
        for name in names:
            path = os.path.join(parent, name)
            with open(path, "rb") as f:
                files[decoded(os.path.relpath(path, raw_folder))] = f.read()
    return files


def expect_tree(name, expected, folder):
    got = tree(folder)
    check(f"{name}: names", sorted(got) == sorted(expected), f"got {sorted(got)}, expected {sorted(expected)}")
    for path, content in expected.items():
        if path in got:
            check(f"{name}: {path} byte-identical", got[path] == content, f"{len(got[path])} bytes, expected {len(content)}")


def lhasa_shown(path):
    """A name as lhasa lists it: every byte beyond ASCII shown as '?'."""
    return "".join("?" if b >= 0x80 else chr(b) for b in path.encode(ANSI))


def lhasa_methods(listing):
    """{name: method} from `lhasa v`: the method, CRC, date (three fields), name."""
    methods = {}
    for line in listing.splitlines():
        fields = line.split()
        at = next((i for i, f in enumerate(fields) if f.startswith(b"-l") and f.endswith(b"-") and len(f) == 5), None)
        if at is not None and len(fields) > at + 5:
            methods[b" ".join(fields[at + 5:]).decode("latin-1")] = fields[at].decode()
    return methods


def write_sources(source, rows):
    """Writes the (case, path, content) rows under `source`; {path: content}."""
    expected = {}
    for _, path, content in rows:
        full = os.path.join(source, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(content)
        expected[path] = content
    return expected


def our_archive_through_other_readers(scratch):
    rows = source_files()
    source = os.path.join(scratch, "source")
    expected = write_sources(source, rows)
    os.makedirs(os.path.join(source, "empty folder"))
    archive = os.path.join(scratch, "ours.lzh")
    # -d1: every folder met is a folder member, so the empty one survives.
    [(code, text)] = run_library(scratch, [f"a -r2 -x1 -d1 {windows_path(archive)} {windows_path(source)}\\ *"])
    check("our a creates the archive", code == SUCCESS and os.path.exists(archive), f"code {code}: {text}")
    if not os.path.exists(archive):
        return

    status, listing = run_tool([LHASA, "v", archive], scratch)
    check("lhasa lists our archive", status == 0, listing.decode(errors="replace"))
    methods = lhasa_methods(listing)
    for case, path, content in rows:
        check(f"lhasa lists {case}", lhasa_shown(path) in methods, f"{lhasa_shown(path)} not in {sorted(methods)}")
    check("incompressible bytes stored -lh0-", methods.get("random.bin") == "-lh0-", str(methods.get("random.bin")))
    for packed in ("text.txt", "big.txt"):
        check(f"{packed} packed -lh5-", methods.get(packed) == "-lh5-", str(methods.get(packed)))

    status, output = run_tool([LHASA, "t", archive], scratch)
    check("lhasa tests our archive", status == 0 and b"rror" not in output, output.decode(errors="replace"))

    for reader, command in (("lhasa", [LHASA, "x", archive]), ("bsdtar", BSDTAR + ["-xf", archive])):
        destination = os.path.join(scratch, reader)
        os.makedirs(destination)
        status, output = run_tool(command, destination)
        check(f"{reader} extracts our archive", status == 0, output.decode(errors="replace"))
        expect_tree(f"{reader} extraction", expected, destination)
        check(f"{reader} makes the empty folder", os.path.isdir(os.path.join(destination, "empty folder")))
        stamp = os.stat(os.path.join(destination, "text.txt")).st_mtime
        check(f"{reader} keeps the time stamp", abs(stamp - os.stat(os.path.join(source, "text.txt")).st_mtime) <= 2)

    status, listing = run_tool(BSDTAR + ["-tf", archive], scratch)
    names = {decoded(line) for line in listing.splitlines()}
    folders = {name[:-1] for name in names if name.endswith("/")}
    check("bsdtar lists our archive", status == 0 and names - {f + "/" for f in folders} == set(expected), f"{sorted(names)}")
    check("bsdtar lists the empty folder", "empty folder" in folders, f"{sorted(folders)}")


def generated_archives():
    """(case name, archive bytes, {path: (content, method)}) written from the format's definition."""
    match_packed, match_data = lha_bytes.lh5_match_block()
    single_data = b"A" * 1000
    single_packed = lha_bytes.lh5_single_symbol_block(ord("A"), len(single_data))
    local = ("\u8868\u793a.txt" if ANSI == "cp932" else "caf\u00e9.txt")
    cases = []
    for level in (0, 1, 2):
        members = [
            (b"stored.txt", b"stored bytes\n", None, b"-lh0-", None),
            (b"match.txt", match_data, match_packed, b"-lh5-", None),
            (b"single.txt", single_data, single_packed, b"-lh5-", None),
            (local.encode(ANSI), b"local name\n", None, b"-lh0-", None),
        ]
        if level == 2:
            members.append((b"inner.txt", b"in a folder\n", None, b"-lh0-", b"dir\xffsub"))
        data = lha_bytes.archive([lha_bytes.member(level, n, d, p, m, f) for n, d, p, m, f in members])
        expected = {}
        for n, d, _, m, f in members:
            expected[(f.replace(b"\xff", b"/").decode(ANSI) + "/" if f else "") + n.decode(ANSI)] = (d, m.decode())
        cases.append((f"level {level}", data, expected))
    return cases


def generated_archives_through_our_reader(scratch):
    cases = generated_archives()
    commands = []
    for name, data, _ in cases:
        archive = os.path.join(scratch, name.replace(" ", "") + ".lzh")
        with open(archive, "wb") as f:
            f.write(data)
        # The writer itself is checked by an independent reader first.
        status, output = run_tool([LHASA, "t", archive], scratch)
        check(f"{name}: lhasa accepts the generated archive", status == 0, output.decode(errors="replace"))
        destination = os.path.join(scratch, "ours-" + name.replace(" ", ""))
        os.makedirs(destination)
        commands += [f"l {windows_path(archive)}", f"t {windows_path(archive)}",
                     f"x {windows_path(archive)} {windows_path(destination)}\\"]
    results = run_library(scratch, commands)
    for index, (name, _, expected) in enumerate(cases):
        (listed, listing), (tested, test_text), (extracted, extract_text) = results[3 * index:3 * index + 3]
        check(f"{name}: our l", listed == SUCCESS, listing)
        for path, (content, method) in expected.items():
            # One line per member: its size and method, and the name with backslashes.
            line = next((l for l in listing.split("\n") if l.endswith(path.replace("/", "\\"))), "")
            check(f"{name}: our l lists {path}", str(len(content)) in line.split() and method in line, listing)
        check(f"{name}: our t", tested == SUCCESS, test_text)
        check(f"{name}: our x", extracted == SUCCESS, extract_text)
        destination = os.path.join(scratch, "ours-" + name.replace(" ", ""))
        expect_tree(f"{name}: our extraction", {p: c for p, (c, _) in expected.items()}, destination)
        # Level 2 stores Unix time; levels 0 and 1 a local DOS time (Wine's zone is the host's).
        stamp = os.stat(os.path.join(destination, "stored.txt")).st_mtime
        wanted = lha_bytes.UNIX_TIME_2001 if name == "level 2" else time.mktime(lha_bytes.DOS_TIME_2001_FIELDS + (0, 0, -1))
        check(f"{name}: our x sets the time stamp", stamp == wanted, f"{stamp}, expected {wanted}")


def method_streams_through_both_readers(scratch):
    """Streams of the older methods (method_streams.py), one member each, level 0
    (and level 1 for the first): lhasa and our x must both give the original bytes."""
    cases = []
    commands = []
    for index, (method, name, original, packed) in enumerate(method_streams.streams()):
        for level in ((0, 1) if index == 0 else (0,)):
            case = f"{name}, level {level}"
            archive = os.path.join(scratch, f"method{index}-{level}.lzh")
            with open(archive, "wb") as f:
                f.write(lha_bytes.archive([lha_bytes.member(level, b"data.bin", original, packed, method)]))
            theirs = os.path.join(scratch, f"lhasa-method{index}-{level}")
            ours = os.path.join(scratch, f"ours-method{index}-{level}")
            os.makedirs(theirs)
            os.makedirs(ours)
            status, output = run_tool([LHASA, "x", archive], theirs)
            check(f"{case}: lhasa extracts it", status == 0, output.decode(errors="replace"))
            expect_tree(f"{case}: lhasa's extraction", {"data.bin": original}, theirs)
            commands.append(f"x {windows_path(archive)} {windows_path(ours)}\\")
            cases.append((case, original, ours))
    results = run_library(scratch, commands)
    for (case, original, ours), (code, text) in zip(cases, results):
        check(f"{case}: our x", code == SUCCESS, text)
        expect_tree(f"{case}: our extraction", {"data.bin": original}, ours)


# The method switches and the method the members they pack are listed with.
METHOD_SWITCHES = [("-z", "-lh0-"), ("-jm2", "-lh5-"), ("-jm3", "-lh6-"), ("-jm4", "-lh7-")]


def each_method_through_other_readers(scratch):
    """Archives of every method we write, over the same files (double-byte names
    under 932, copies from farther back than 8 and 32 KB): lhasa and bsdtar must
    list the method asked for and extract every file byte-identically."""
    far = seeded_bytes(7, 40_000)
    rows = source_files() + [("copies 40 KB back", "far.bin", far + text_bytes(8, 1000) + far)]
    source = os.path.join(scratch, "methods-source")
    expected = write_sources(source, rows)
    archives = {switch: os.path.join(scratch, f"method{switch}.lzh") for switch, _ in METHOD_SWITCHES}
    results = run_library(scratch, [f"a -r2 -x1 {switch} {windows_path(archives[switch])} {windows_path(source)}\\ *"
                                    for switch, _ in METHOD_SWITCHES])
    for (switch, method), (code, text) in zip(METHOD_SWITCHES, results):
        archive = archives[switch]
        check(f"a {switch}: creates the archive", code == SUCCESS and os.path.exists(archive), f"code {code}: {text}")
        if not os.path.exists(archive):
            continue
        status, listing = run_tool([LHASA, "v", archive], scratch)
        methods = lhasa_methods(listing)
        check(f"a {switch}: lhasa lists it", status == 0, listing.decode(errors="replace"))
        for packed in ("text.txt", "big.txt", "far.bin"):
            check(f"a {switch}: {packed} listed {method}", methods.get(packed) == method, str(methods.get(packed)))
        check(f"a {switch}: incompressible bytes stored", methods.get("random.bin") == "-lh0-", str(methods.get("random.bin")))
        for reader, command in (("lhasa", [LHASA, "x", archive]), ("bsdtar", BSDTAR + ["-xf", archive])):
            destination = os.path.join(scratch, f"{reader}{switch}")
            os.makedirs(destination)
            status, output = run_tool(command, destination)
            check(f"a {switch}: {reader} extracts it", status == 0, output.decode(errors="replace"))
            expect_tree(f"a {switch}: {reader} extraction", expected, destination)


# Header levels and -lh1- as the command language asks for them: the switches,
# the method and header level lhasa must list each member with, and the readers
# that must extract every file byte for byte. bsdtar reads no -lh1- (it calls
# the method unsupported), so it judges levels 0 and 1 on -lh5- members.
LEVEL_SWITCHES = [
    ("-h0", "-lh5-", 0, ("lhasa", "bsdtar")),
    ("-h1", "-lh5-", 1, ("lhasa", "bsdtar")),
    ("-jm1", "-lh1-", 2, ("lhasa",)),
    ("-o", "-lh1-", 1, ("lhasa",)),
    ("-h0 -jm1", "-lh1-", 0, ("lhasa",)),
]
# With "\\one.txt" a stored name of 234 bytes, one more than a level 0 name field
# holds. -jb gives it to a file of a short path: a path that long on disk is
# past what the ANSI file functions take.
LONG_FOLDER = "long-" + "n" * 221


def lhasa_levels(listing):
    """{name: header level} from `lhasa lv`: each member's name on a line of its
    own, then a line of its details that ends with the level, as [0]."""
    levels = {}
    lines = listing.splitlines()
    for name, details in zip(lines, lines[1:]):
        fields = details.split()
        if details.startswith(b"[") and fields and fields[-1][:1] == b"[" and fields[-1][1:-1].isdigit():
            levels[name.decode("latin-1")] = int(fields[-1][1:-1])
    return levels


def splits_at_trail_byte(path):
    """lhasa takes every byte 0x5C of a level 0 name field for a separator, the
    second byte of a double-byte character too (a limitation the format's
    readers share); such names extract elsewhere under it."""
    return b"\\" in path.encode(ANSI)


def header_levels_through_other_readers(scratch):
    """Archives at header levels 0 and 1 and with -lh1- members, over the files of
    the other checks (double-byte names under 932, copies past the 4 KB window of
    -lh1-): lhasa must list each member's method and level, lhasa and bsdtar
    extract every file byte for byte, and our t and x read them back."""
    far = seeded_bytes(9, 6_000)
    rows = source_files() + [("copies past 4 KB", "far.bin", far + text_bytes(10, 500) + far)]
    source = os.path.join(scratch, "levels-source")
    expected = write_sources(source, rows)
    archives = [os.path.join(scratch, f"levels{index}.lzh") for index in range(len(LEVEL_SWITCHES))]
    ours = [os.path.join(scratch, f"ours-levels{index}") for index in range(len(LEVEL_SWITCHES))]
    commands = []
    for (switches, _, _, _), archive, destination in zip(LEVEL_SWITCHES, archives, ours):
        commands += [f"a -r2 -x1 {switches} {windows_path(archive)} {windows_path(source)}\\ *",
                     f"t {windows_path(archive)}", f"x {windows_path(archive)} {windows_path(destination)}\\"]
    results = run_library(scratch, commands)
    for index, (switches, method, level, readers) in enumerate(LEVEL_SWITCHES):
        archive = archives[index]
        (added, add_text), (tested, test_text), (extracted, extract_text) = results[3 * index:3 * index + 3]
        check(f"a {switches}: creates the archive", added == SUCCESS and os.path.exists(archive), f"code {added}: {add_text}")
        if not os.path.exists(archive):
            continue
        check(f"a {switches}: our t", tested == SUCCESS, test_text)
        check(f"a {switches}: our x", extracted == SUCCESS, extract_text)
        expect_tree(f"a {switches}: our extraction", expected, ours[index])
        status, listing = run_tool([LHASA, "v", archive], scratch)
        check(f"a {switches}: lhasa lists it", status == 0, listing.decode(errors="replace"))
        methods = lhasa_methods(listing)
        status, verbose = run_tool([LHASA, "lv", archive], scratch)
        levels = lhasa_levels(verbose)
        for packed in ("text.txt", "big.txt", "far.bin"):
            check(f"a {switches}: {packed} listed {method}", methods.get(packed) == method, str(methods.get(packed)))
        for _, path, _ in rows:
            shown = lhasa_shown(path)
            if level == 0 and splits_at_trail_byte(path):
                shown = shown.replace("\\", "/")
            check(f"a {switches}: {path} at level {level}", levels.get(shown) == level, str(levels.get(shown)))
        for reader in readers:
            command = [LHASA, "x", archive] if reader == "lhasa" else BSDTAR + ["-xf", archive]
            destination = os.path.join(scratch, f"{reader}-levels{index}")
            os.makedirs(destination)
            status, output = run_tool(command, destination)
            check(f"a {switches}: {reader} extracts it", status == 0, output.decode(errors="replace"))
            readable = {path: content for path, content in expected.items()
                        if not (reader == "lhasa" and level == 0 and splits_at_trail_byte(path))}
            got = tree(destination)
            for path, content in readable.items():
                check(f"a {switches}: {reader} extracts {path} byte for byte", got.get(path) == content,
                      "missing" if path not in got else f"{len(got[path])} bytes, expected {len(content)}")
            stamp = os.stat(os.path.join(destination, "text.txt")).st_mtime
            check(f"a {switches}: {reader} keeps the time stamp (2 s steps at levels 0 and 1)",
                  abs(stamp - os.stat(os.path.join(source, "text.txt")).st_mtime) <= 2)

    # A member level 0 cannot hold goes out at level 2, beside one at level 0.
    archive = os.path.join(scratch, "fallback.lzh")
    long_name = LONG_FOLDER + "/one.txt"
    results = run_library(scratch, [f"a -h0 -jb{LONG_FOLDER} {windows_path(archive)} {windows_path(source)}\\ one.txt",
                                    f"a -h0 {windows_path(archive)} {windows_path(source)}\\ one.txt",
                                    f"t {windows_path(archive)}"])
    for (code, text), what in zip(results, ("a -h0 -jb<226 bytes>", "a -h0", "t")):
        check(f"level 0 fallback: our {what}", code == SUCCESS, text)
    status, verbose = run_tool([LHASA, "lv", archive], scratch)
    levels = lhasa_levels(verbose)
    check("level 0 fallback: the 234-byte name at level 2", levels.get(long_name) == 2, str(levels))
    check("level 0 fallback: the short name at level 0", levels.get("one.txt") == 0, str(levels))
    for reader, command in (("lhasa", [LHASA, "x", archive]), ("bsdtar", BSDTAR + ["-xf", archive])):
        destination = os.path.join(scratch, f"{reader}-fallback")
        os.makedirs(destination)
        status, output = run_tool(command, destination)
        check(f"level 0 fallback: {reader} extracts it", status == 0, output.decode(errors="replace"))
        expect_tree(f"level 0 fallback: {reader} extraction", {long_name: b"x", "one.txt": b"x"}, destination)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: independent_readers.py <build dir>")
    for tool in (LHASA, BSDTAR[0]):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing from PATH (packages lhasa, libarchive-tools): run scripts/install-deps")
    scratch = tempfile.mkdtemp(prefix="vesker-readers-")
    try:
        our_archive_through_other_readers(scratch)
        generated_archives_through_our_reader(scratch)
        method_streams_through_both_readers(scratch)
        each_method_through_other_readers(scratch)
        header_levels_through_other_readers(scratch)
    finally:
        if not os.environ.get("VESKER_KEEP_SCRATCH"):
            shutil.rmtree(scratch, ignore_errors=True)
    for failure in failures:
        print(failure)
    print(f"independent readers: {checks_made} checks, {len(failures)} failed (code page {CODE_PAGE})")
    # A run that checked nothing proves nothing.
    return 1 if failures or checks_made == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
