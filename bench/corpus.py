"""The benches' corpus (deterministic, many files, at least 16 MB) and their
yardsticks of size.

This tree's sources, the built binaries and 1 MB of seeded pseudo-random
bytes, repeated with variation (a few bytes changed per 4 KB each round, the
random block only once) until the total reaches CORPUS_BYTES. bench/archiver-bench
and bench/codec-bench both build it, so their figures are of the same files.
"""
import os
import random
import struct
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE_FOLDERS = ["archiver", "bench", "client", "cmake", "component", "packaging", "registration",
                  "resources", "scripts", "server", "stand-in", "tests"]
CORPUS_BYTES = 16 * 1024 * 1024
RANDOM_BYTES = 1024 * 1024
GZIP_OVERHEAD = 18  # gzip -n's header and trailer around the deflate data
SEED = 20240601


def built_binaries(folder):
    """(name, path) of the product's binaries in a build's bin folder: the test
    programs are left out, being mostly one static runtime."""
    if not os.path.isdir(folder):
        return []
    return [("bin-" + name, os.path.join(folder, name)) for name in sorted(os.listdir(folder))
            if name.lower().endswith((".exe", ".dll", ".tlb")) and not name.endswith("_tests.exe")]


def originals(binaries):
    """(name, bytes) of the sources, the `binaries` ((name, path) each) and the
    random block, in a fixed order."""
    files = []
    for folder in SOURCE_FOLDERS:
        for parent, dirs, names in sorted(os.walk(os.path.join(ROOT, folder))):
            dirs.sort()
            dirs[:] = [d for d in dirs if d != "__pycache__"]
            for name in sorted(names):
                path = os.path.join(parent, name)
                with open(path, "rb") as f:
                    files.append((os.path.relpath(path, ROOT).replace("/", "-"), f.read()))
    for name, path in binaries:
        with open(path, "rb") as f:
            files.append((name, f.read()))
    files.append(("random.bin", random.Random(SEED).randbytes(RANDOM_BYTES)))
    return files


def varied(data, round_number, rng):
    """A copy with a few bytes changed per 4 KB, so no round repeats another exactly."""
    if round_number == 0 or not data:
        return data
    copy = bytearray(data)
    for _ in range(max(1, len(copy) // 4096)):
        copy[rng.randrange(len(copy))] = rng.randrange(256)
    return bytes(copy)


def build_corpus(folder, binaries):
    """Writes the corpus into `folder` (round0/, round1/, ...); returns its bytes."""
    files = originals(binaries)
    rng = random.Random(SEED)
    total, round_number = 0, 0
    while total < CORPUS_BYTES:
        round_folder = os.path.join(folder, f"round{round_number}")
        os.makedirs(round_folder)
        for name, data in files:
            if round_number > 0 and name == "random.bin":
                continue  # one megabyte of noise, not sixteen
            with open(os.path.join(round_folder, name), "wb") as f:
                f.write(varied(data, round_number, rng))
            total += len(data)
        round_number += 1
    return total


def corpus_files(folder):
    paths = []
    for parent, dirs, names in os.walk(folder):
        dirs.sort()
        paths += [os.path.join(parent, n) for n in sorted(names)]
    return paths


def gzip9_bytes(files):
    """The sum of `gzip -9 -n` of each file alone, less gzip's header and trailer."""
    total = 0
    for path in files:
        packed = subprocess.run(["gzip", "-9", "-n", "-c", path], check=True, stdout=subprocess.PIPE).stdout
        total += len(packed) - GZIP_OVERHEAD
    return total


def packed_bytes(archive):
    """Sum of the members' packed sizes, from the level 0/1/2 headers."""
    data = open(archive, "rb").read()
    at, total = 0, 0
    while at < len(data) and data[at] != 0:
        level = data[at + 20]
        size = struct.unpack_from("<I", data, at + 7)[0]
        if level == 2:
            header = struct.unpack_from("<H", data, at)[0]
        else:
            header = data[at] + 2
            if level == 1:  # the skip size counts the extended headers too
                next_size = struct.unpack_from("<H", data, at + header - 2)[0]
                while next_size:
                    header += next_size
                    size -= next_size
                    next_size = struct.unpack_from("<H", data, at + header - 2)[0]
        if data[at + 2:at + 7] != b"-lhd-":
            total += size
        at += header + size
    return total
