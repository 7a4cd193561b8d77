#!/usr/bin/env python3
"""Self-extracting programs made from archives our archiver writes.

Programs of both kinds, made by the archiver's s command and by a, m with
-gw<n> (the command lines callers write), are run under Wine
with /s /e<folder> and must give back the source tree byte for byte and name
for name; a damaged program extracts the rest and says so in its exit code;
DLLs planted beside a program are never loaded, while a program that does not
restrict its DLL search loads them there; lhasa and bsdtar, and our own l, t
and x, read the programs as archives; the stub's size, the archive's offset
and the stub's bytes are checked.

    sfx_programs.py <build dir>

Prints one line per failed check and exits 1 when any failed.
"""
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "archiver"))
from independent_readers import tree  # noqa: E402 (one reader of extracted trees)

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.abspath(sys.argv[1])
BIN = os.path.join(BUILD, "bin")
STUB = os.path.join(BIN, "sfx", "sfx.exe")
CODE_PAGE = os.environ.get("VESKER_CODEPAGE", "932")
ANSI = "cp932" if CODE_PAGE == "932" else "cp1252"
# The archive must start where readers that search only the first 64 KiB look.
OLD_READERS_LAST_START = 65543
STUB_SIZE_LIMIT = 62 * 1024
METHOD_MARK = re.compile(rb"-(lh.|lz.|pm.)-", re.S)
SETTINGS_MARK = b"VkSfxSet"
SELF_EXTRACTING = 0x802E
BAD_COMMAND_LINE = 0x801C
CRC_ERROR = 0x800C
ALREADY_EXISTS = 0x8010
CONSOLE, WINDOW = 0, 1
# bsdtar assumes no charset for LHA names unless told.
BSDTAR = ["bsdtar", "--options", "hdrcharset=" + ANSI.upper()]
SUBSYSTEM = {CONSOLE: 3, WINDOW: 2}
PLANTED = ["dwmapi", "uxtheme", "version"]
# Wine's user32 imports version.dll (Windows' user32 does not), and Wine
# resolves that import from the program's folder while it loads the program's
# own imports, before any of its code runs. Under Wine the self-extractor is
# checked with the planted version.dll present but Wine's own taken for that
# name; the probe still shows the planted one loads where nothing prevents it.
WINE_USER32_IMPORTS = ["version"]
failures = []
checks_made = 0


def check(name, holds, detail=""):
    global checks_made
    checks_made += 1
    if not holds:
        failures.append(f"FAILED {name}{': ' + str(detail) if detail else ''}")
    return holds


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def text_bytes(seed, size):
    rng = random.Random(seed)
    words = [b"archive", b"member", b"header", b"folder", b"\x82\xa0", b"window", b"0123456789"]
    out = bytearray()
    while len(out) < size:
        out += b" ".join(rng.choice(words) for _ in range(rng.randint(3, 12))) + b"\n"
    return bytes(out[:size])


def source_files():
    """(relative path, content); under 932 double-byte names whose trail byte is 0x5C."""
    rows = [
        ("empty.txt", b""),
        ("text.txt", text_bytes(1, 60_000)),
        ("random.bin", random.Random(2).randbytes(40_000)),
        ("big.txt", text_bytes(3, 300_000)),
        ("folder/inner.txt", text_bytes(4, 5_000)),
        ("folder/deeper/last.txt", b"last\n"),
    ]
    if ANSI == "cp932":
        rows += [("\u8868\u793a.txt", text_bytes(5, 3_000)), ("\u30bd\u30d5\u30c8/\u80fd\u529b.txt", b"ok\n")]
    else:
        rows += [("caf\u00e9.txt", text_bytes(5, 3_000)), ("na\u00efve/r\u00e9sum\u00e9.txt", b"ok\n")]
    return rows


def wine_env(extra=None):
    env = dict(os.environ)
    env.update(extra or {})
    return env


def wine_exec(args, env=None):
    return subprocess.run([os.path.join(ROOT, "scripts", "wine-exec"), BUILD] + args, capture_output=True,
                          env=wine_env(env), timeout=300)


def run_batch(work, lines, env=None):
    """Runs command lines in a cmd batch; each line's exit code (the whole
    32-bit value, which a Unix exit status would cut to 8 bits)."""
    script = os.path.join(work, "run.cmd")
    with open(script, "w", encoding=ANSI, newline="\r\n") as f:
        for line in lines:
            f.write(f"@{line}\n@echo exit=%errorlevel%\n")
    result = wine_exec(["cmd", "/c", windows_path(script)], env)
    return [int(code) & 0xFFFFFFFF for code in re.findall(rb"exit=(-?\d+)", result.stdout)]


def archiver(work, lines):
    """Runs archiver command lines through archiver-batch.exe; (code, text) each."""
    commands, results = os.path.join(work, "commands.txt"), os.path.join(work, "results.txt")
    with open(commands, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    wine_exec([os.path.join(BIN, "archiver", "archiver-batch.exe"), windows_path(commands), windows_path(results)])
    data = open(results, "rb").read()
    out = []
    while data:
        head, data = data.split(b"\n", 1)
        code, count = map(int, head.split())
        out.append((code, data[:count].decode("utf-8", "replace")))
        data = data[count + 1:]
    return out


def expected_tree(rows, keep_folders):
    return {(path if keep_folders else path.split("/")[-1]): data for path, data in rows}


def make_archive(work, rows):
    source = os.path.join(work, "source")
    for path, data in rows:
        os.makedirs(os.path.dirname(os.path.join(source, path)), exist_ok=True)
        open(os.path.join(source, path), "wb").write(data)
    archive = os.path.join(work, "source.lzh")
    names = " ".join(path.replace("/", "\\") for path, _ in rows)
    (code, text), = archiver(work, [f"a -x1 {windows_path(archive)} {windows_path(source)}\\ {names}"])
    check("archive written", code == 0, f"code {code:#x}: {text}")
    return archive


def make_program(work, archive, name, switches):
    """s <switches> <archive> <work>\\ -gr<name>: the program, or None."""
    (code, text), = archiver(work, [f's {switches} "{windows_path(archive)}" "{windows_path(work)}\\" -gr{name}'])
    program = os.path.join(work, name)
    return program if check(f"{name} written", code == 0 and os.path.exists(program), f"{code:#x}: {text}") else None


def settings_of(data):
    """(kind, ask, keep folders) of a program's settings block."""
    at = data.find(SETTINGS_MARK) + len(SETTINGS_MARK)
    return tuple(data[at:at + 3])


def image_end(data):
    """The end of the last section's data of a PE program."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    end = 0
    for i in range(sections):
        size, pointer = struct.unpack_from("<II", data, pe + 24 + optional + i * 40 + 16)
        end = max(end, pointer + size)
    return end, struct.unpack_from("<H", data, pe + 24 + 68)[0]


def check_stub_and_layout(archive, programs):
    stub = open(STUB, "rb").read()
    check("stub size", len(stub) <= STUB_SIZE_LIMIT, f"{len(stub)} bytes")
    check("stub holds no method mark", not METHOD_MARK.search(stub), METHOD_MARK.findall(stub))
    check("stub holds one settings block", stub.count(SETTINGS_MARK) == 1)
    # After these texts readers pass over the next candidate: the archive itself.
    check("stub holds no skip mark", b"LHA-SFX" not in stub and b"LhASFX V1.2," not in stub)
    check("stub is its image", image_end(stub)[0] == len(stub), image_end(stub))
    packed = open(archive, "rb").read()
    for name, (program, settings) in programs.items():
        data = open(program, "rb").read()
        end, subsystem = image_end(data)
        check(f"{name}: settings", settings_of(data) == settings, settings_of(data))
        check(f"{name}: archive right after the image", end == len(stub) and data[end:] == packed, end)
        check(f"{name}: archive where old readers look", end <= OLD_READERS_LAST_START, end)
        check(f"{name}: first method mark is the archive's", METHOD_MARK.search(data).start() == end + 2)
        check(f"{name}: subsystem of its kind", subsystem == SUBSYSTEM[settings[0]], subsystem)


def check_extraction(work, rows, programs):
    lines, outs = [], {}
    for name, (program, _) in programs.items():
        outs[name] = os.path.join(work, "out-" + name)
        lines.append(f'{windows_path(program)} /s "/e{windows_path(outs[name])}\\"')
    codes = run_batch(work, lines)
    for (name, (program, settings)), code in zip(programs.items(), codes + [None] * len(programs)):
        keep = settings[2] == 1
        check(f"{name}: exit code", code == 0, code)
        got, want = tree(outs[name]), expected_tree(rows, keep)
        check(f"{name}: names", sorted(got) == sorted(want), sorted(set(got) ^ set(want)))
        check(f"{name}: contents", all(got.get(path) == data for path, data in want.items()))


def check_commands(work, rows, archive):
    """The command lines callers write: where the program goes, what stays as it was."""
    source, before = os.path.join(work, "source"), open(archive, "rb").read()
    moved = os.path.join(work, "moved")
    shutil.copytree(source, moved)
    names = " ".join(path.replace("/", "\\") for path, _ in rows)
    arc, folder = windows_path(archive), windows_path(os.path.join(work, "programs"))
    os.makedirs(os.path.join(work, "programs"))
    added, moving = windows_path(os.path.join(work, "added.lzh")), windows_path(os.path.join(work, "moving.lzh"))
    # A read-only .lzh is only read by a -gw: its copy must not stay behind.
    readonly = shutil.copy(archive, os.path.join(work, "readonly.lzh"))
    os.chmod(readonly, 0o444)
    # (case, command line, code, program written (None: none), settings)
    cases = [
        ("s beside the archive", f's -gw3 -x1 "{arc}"', 0, "source.exe", (WINDOW, 1, 1)),
        ("s into the base folder", f's -gw2 "{arc}" "{folder}\\"', 0, "programs/source.exe", (WINDOW, 1, 0)),
        ("s with -gr, -r2 and -gx", f's -gw "{arc}" "{folder}\\" -gr"named.exe" -x1 -r2 -gx1', 0,
         "programs/named.exe", (WINDOW, 1, 1)),
        ("a -gw writes the program, not the archive", f'a -x1 -gw4 "{added}" "{windows_path(source)}\\" {names}', 0,
         "added.exe", (WINDOW, 0, 1)),
        ("m -gw0 writes the program, then removes the sources",
         f'm -x1 -gw0 "{moving}" "{windows_path(moved)}\\" {names}', 0, "moving.exe", (CONSOLE, 0, 1)),
        ("a -gw on a read-only archive", f'a -x1 -gw0 "{windows_path(readonly)}" "{windows_path(source)}\\" empty.txt',
         0, "readonly.exe", (CONSOLE, 0, 1)),
        ("a on a program is refused", f'a -x1 "{windows_path(os.path.join(work, "source.exe"))}" '
         f'"{windows_path(source)}\\" empty.txt', SELF_EXTRACTING, None, None),
        ("s with no archive", f's -gw0 "{windows_path(os.path.join(work, "none.lzh"))}"', 0x8018, None, None),
    ]
    results = archiver(work, [line for _, line, _, _, _ in cases])
    for (case, _, want, program, settings), (code, text) in zip(cases, results):
        check(f"{case}: code", code == want, f"{code:#x}: {text}")
        if program:
            data = open(os.path.join(work, program), "rb").read() if os.path.exists(os.path.join(work, program)) else b""
            check(f"{case}: program", data[:2] == b"MZ" and METHOD_MARK.match(data, image_end(data)[0] + 2), program)
            check(f"{case}: settings", settings_of(data) == settings, settings_of(data))
    check("s leaves the archive as it was", open(archive, "rb").read() == before)
    check("a -gw writes no archive", not os.path.exists(os.path.join(work, "added.lzh")))
    check("m -gw removes the sources", tree(moved) == {}, sorted(tree(moved)))
    check("no temporary file left", not [n for n in os.listdir(work) if n.endswith(".tmp")], os.listdir(work))
    out = os.path.join(work, "out-added")
    codes = run_batch(work, [f'{windows_path(os.path.join(work, "added.exe"))} /s "/e{windows_path(out)}\\"'])
    check("the program a -gw wrote extracts the tree", codes == [0] and tree(out) == expected_tree(rows, True), codes)


def check_switches(work, rows, program):
    """Runs again into the first run's folder, and without /e: (case, line, exit code, folder, tree)."""
    out, beside = os.path.join(work, "out-console"), os.path.splitext(program)[0]
    quoted = f'"/e{windows_path(out)}\\"'
    cases = [
        ("files in the way are skipped", f"{windows_path(program)} /s {quoted}", ALREADY_EXISTS, out, True),
        ("/o replaces files in the way", f"{windows_path(program)} /s /o {quoted}", 0, out, True),
        ("an unknown switch is refused", f"{windows_path(program)} /s /x {quoted}", BAD_COMMAND_LINE, None, None),
        ("without /e, a folder named after the program", f"{windows_path(program)} /s", 0, beside, True),
    ]
    codes = run_batch(work, [line for _, line, _, _, _ in cases])
    for (case, _, want, folder, keep), code in zip(cases, codes + [None] * len(cases)):
        check(f"{case}: exit code", code == want, code if code is None else hex(code))
        if folder:
            check(f"{case}: tree", tree(folder) == expected_tree(rows, keep))


def check_damaged(work, rows, program):
    """A flipped byte inside big.txt's packed data: the rest extracts, big.txt
    is not left behind in part, and the exit code says CRC error."""
    data = bytearray(open(program, "rb").read())
    at = data.find(b"big.txt")
    check("damaged: member found", at > 0)
    data[at + 1000] ^= 0x55  # inside its data: the header is shorter, the data 4 KiB at least
    damaged = os.path.join(work, "damaged.exe")
    open(damaged, "wb").write(data)
    out = os.path.join(work, "out-damaged")
    codes = run_batch(work, [f'{windows_path(damaged)} /s "/e{windows_path(out)}\\"'])
    check("damaged: exit code", codes == [CRC_ERROR], [hex(c) for c in codes])
    got, want = tree(out), expected_tree(rows, True)
    del want["big.txt"]
    check("damaged: the rest extracted", got == want, sorted(set(got) ^ set(want)))


def run_planted(folder, program_args, marks, preferred):
    """Runs a program in `folder` under Wine with the planted DLLs preferred
    (as Windows prefers a DLL in the program's folder); the DLLs it loaded.
    wine-exec fixes WINEDLLOVERRIDES, so Wine is called with its settings."""
    for mark in os.listdir(marks):
        os.remove(os.path.join(marks, mark))
    env = wine_env({
        "WINEPREFIX": os.path.join(BUILD, f"wine-{CODE_PAGE}"), "WINEARCH": "win32", "WINEDEBUG": "-all",
        "LC_ALL": "ja_JP.UTF-8" if CODE_PAGE == "932" else os.environ.get("LC_ALL", "C.UTF-8"),
        # Wine, unlike Windows, takes its own built-in DLL before a file of
        # that name in the program's folder; native first restores the order.
        "WINEDLLOVERRIDES": ",".join(preferred) + "=n,b;mscoree,mshtml=",
        "VESKER_PLANT_MARKS": windows_path(marks)})
    subprocess.run(["wine"] + program_args, cwd=folder, env=env, capture_output=True, timeout=300)
    return sorted(name.split(".")[0] for name in os.listdir(marks))


def check_planted(work, programs):
    folder, marks = os.path.join(work, "downloads"), os.path.join(work, "marks")
    os.makedirs(folder)
    os.makedirs(marks)
    for name in PLANTED:
        shutil.copy(os.path.join(BIN, "sfx", "planted", name + ".dll"), folder)
    probe = shutil.copy(os.path.join(BIN, "sfx", "unrestricted-probe.exe"), folder)
    loaded = run_planted(folder, [windows_path(probe)] + [name + ".dll" for name in PLANTED], marks, PLANTED)
    check("planted: a program that does not restrict its search loads them", loaded == PLANTED, loaded)
    for name, (program, _) in programs.items():
        copy = shutil.copy(program, folder)
        out = os.path.join(work, "out-planted-" + name)
        preferred = [name for name in PLANTED if name not in WINE_USER32_IMPORTS]
        loaded = run_planted(folder, [windows_path(copy), "/s", f"/e{windows_path(out)}\\"], marks, preferred)
        check(f"planted: {name} loads none", loaded == [], loaded)
        check(f"planted: {name} extracted", len(tree(out)) > 0)


def check_readers(work, rows, programs):
    program = programs["console"][0]
    want = expected_tree(rows, True)
    for reader, lister, extractor in [("lhasa", ["lhasa", "l"], ["lhasa", "xq"]),
                                      ("bsdtar", BSDTAR + ["-tf"], BSDTAR + ["-xf"])]:
        listing = subprocess.run(lister + [program], capture_output=True)
        check(f"{reader} lists the program", listing.returncode == 0 and b"big.txt" in listing.stdout,
              listing.stderr)
        out = os.path.join(work, "out-" + reader)
        os.makedirs(out)
        result = subprocess.run(extractor + [program], cwd=out, capture_output=True)
        got = tree(out)
        check(f"{reader} extracts the program", result.returncode == 0 and got == want,
              sorted(set(got) ^ set(want)))
    out = os.path.join(work, "out-ours")
    results = archiver(work, [f"l {windows_path(program)}", f"t {windows_path(program)}",
                              f"x {windows_path(program)} {windows_path(out)}\\"])
    check("our l, t and x read the program", [code for code, _ in results] == [0, 0, 0],
          [(hex(code), text) for code, text in results])
    check("our x gives the tree", tree(out) == want)


def main():
    work = tempfile.mkdtemp(prefix="sfx-", dir=BUILD)
    try:
        rows = source_files()
        archive = make_archive(work, rows)
        # (name, switches of s, settings block: kind, ask for the folder, keep folders)
        programs = {name: (make_program(work, archive, name + ".exe", switches), settings)
                    for name, switches, settings in [("console", "-gw0 -x1", (CONSOLE, 0, 1)),
                                                     ("window", "-gw3 -x1", (WINDOW, 1, 1)),
                                                     ("console-flat", "-gw0", (CONSOLE, 0, 0)),
                                                     ("window-flat", "-gw4", (WINDOW, 0, 0))]}
        if None in [program for program, _ in programs.values()]:
            return report()
        check_stub_and_layout(archive, programs)
        check_commands(work, rows, archive)
        check_extraction(work, rows, programs)
        check_switches(work, rows, programs["console"][0])
        check_damaged(work, rows, programs["console"][0])
        check_planted(work, programs)
        check_readers(work, rows, programs)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return report()


def report():
    for failure in failures:
        print(failure)
    print(f"{len(failures)} of {checks_made} checks failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
