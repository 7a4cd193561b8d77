#!/usr/bin/env python3
"""Builds the Windows Installer package of vesker with wixl.

  build_msi.py --build <build dir> (--output <file.msi> | --dist <folder>)
               [--entries <file>] [--lower-version]

--dist names the package <folder>/vesker-<version>.msi.

The package registers the component through its Registry table. Its entries
are not written by hand: they are what the built vesker.DLL's DllRegisterServer
writes. The script registers a copy of the DLL (beside our UNLHA32.dll, which
it binds) with regsvr32 in a scratch Wine prefix, exports HKLM\\Software\\Classes
with regedit before and after, and turns every new key and value into a WiX
RegistryValue, the copy's folder written as [INSTALLDIR]. --entries keeps the
captured entries in <file> and takes them from there when it exists, so that
several packages of one build register alike without a second capture.

The version is the PRODUCTVERSION of resources/VersionInfo.rc. --lower-version
builds the same package with a lower version, for tests of upgrades. Fails with
a message and a non-zero exit on anything it cannot read or express.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import uuid
from xml.sax.saxutils import escape, quoteattr

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WXS = os.path.join(ROOT, "packaging", "vesker.wxs")
VERSION_RESOURCE = os.path.join(ROOT, "resources", "VersionInfo.rc")
WINE_EXEC = os.path.join(ROOT, "scripts", "wine-exec")

CLASSES = "HKEY_LOCAL_MACHINE\\Software\\Classes"
# The copy that is registered: a folder name found nowhere else in the registry.
CAPTURE_FOLDER = "C:\\vesker-registration-capture\\"
INSTALL_FOLDER_PROPERTY = "[INSTALLDIR]"
# Windows Installer compares the first three fields of a product version.
COMPARED_FIELDS = 3
WIX_NAMESPACE = "http://schemas.microsoft.com/wix/2006/wi"


def fail(message):
    sys.exit("build_msi: " + message)


# --- The version -------------------------------------------------------------

def tree_version():
    """The PRODUCTVERSION of the version resource, as a.b.c.d."""
    with open(VERSION_RESOURCE, encoding="utf-8") as f:
        found = re.search(r"^\s*PRODUCTVERSION\s+(\d+)\s*,\s*(\d+)\s*,\s*(\d+)\s*,\s*(\d+)", f.read(), re.M)
    if not found:
        fail("no PRODUCTVERSION a,b,c,d in " + VERSION_RESOURCE)
    return [int(field) for field in found.groups()]


def lower_version(fields):
    """The version with its last non-zero compared field lowered by one."""
    for i in reversed(range(COMPARED_FIELDS)):
        if fields[i] > 0:
            return fields[:i] + [fields[i] - 1] + fields[i + 1:]
    fail("version %s has no lower version" % ".".join(map(str, fields)))


def upgrade_code():
    with open(WXS, encoding="utf-8") as f:
        found = re.search(r'UpgradeCode="\{([0-9A-Fa-f-]{36})\}"', f.read())
    if not found:
        fail("no UpgradeCode in " + WXS)
    return uuid.UUID(found.group(1))


def product_code(version):
    """One product code per version: installing the same version twice finds
    the product installed instead of adding a second one."""
    return "{" + str(uuid.uuid5(upgrade_code(), "vesker " + version)).upper() + "}"


# --- The registration as DllRegisterServer writes it -------------------------

def run_wine(build, prefix, *args):
    env = dict(os.environ, VESKER_WINEPREFIX=prefix)
    log = prefix + ".log"
    with open(log, "ab") as out:
        status = subprocess.call([WINE_EXEC, build] + list(args), env=env,
                                 stdin=subprocess.DEVNULL, stdout=out, stderr=out)
    if status != 0:
        fail("%s exited with %d (output in %s)" % (" ".join(args), status, log))


def stop_server(prefix):
    subprocess.call(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=prefix),
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def unescape_text(text):
    return re.sub(r"\\(.)", r"\1", text)


def parse_value(text):
    """(type, data) of the right-hand side of an exported value."""
    if text.startswith('"') and text.endswith('"'):
        return "string", unescape_text(text[1:-1])
    if text.startswith("dword:"):
        return "integer", str(int(text[6:], 16))
    if text.startswith("hex(2):"):
        data = bytes(int(b, 16) for b in text[7:].split(",") if b)
        return "expandable", data.decode("utf-16-le").rstrip("\0")
    # Kept as exported: compared, never written by the package.
    return "raw", text


def read_export(path):
    """Key path -> {value name -> (type, data)} of a regedit export."""
    with open(path, "rb") as f:
        raw = f.read()
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8")
    text = re.sub(r"\\\r?\n\s*", "", text)  # hex data continued on the next line
    keys, current = {}, None
    for line in text.splitlines():
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
        elif current is not None and (line.startswith('"') or line.startswith("@=")):
            if line.startswith("@="):
                name, rest = "", line[2:]
            else:
                found = re.match(r'"((?:[^"\\]|\\.)*)"=(.*)$', line)
                if not found:
                    fail("cannot read the exported line " + line[:60])
                name, rest = unescape_text(found.group(1)), found.group(2)
            current[name] = parse_value(rest)
    return keys


def capture(build):
    """The keys and values that registering a copy of vesker.DLL adds below
    HKLM\\Software\\Classes, as [key, name or None for an empty key, type, data]."""
    prefix = os.path.join(build, "wine-msi-capture")
    stop_server(prefix)
    shutil.rmtree(prefix, ignore_errors=True)
    for leftover in (prefix + ".lock", prefix + ".log"):
        if os.path.exists(leftover):
            os.remove(leftover)
    os.makedirs(prefix)
    try:
        subprocess.call(["wineserver", "-p"], env=dict(os.environ, WINEPREFIX=prefix, WINEARCH="win32"),
                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        run_wine(build, prefix, "regedit", "/E", "C:\\before.reg", CLASSES)
        folder = os.path.join(prefix, "drive_c", CAPTURE_FOLDER[3:-1])
        os.makedirs(folder)
        for name in ("vesker.DLL", "UNLHA32.dll"):
            shutil.copy(os.path.join(build, "bin", "archiver", name), folder)
        run_wine(build, prefix, "regsvr32", "/s", CAPTURE_FOLDER + "vesker.DLL")
        run_wine(build, prefix, "regedit", "/E", "C:\\after.reg", CLASSES)
        before = read_export(os.path.join(prefix, "drive_c", "before.reg"))
        after = read_export(os.path.join(prefix, "drive_c", "after.reg"))
    finally:
        stop_server(prefix)
    return registration_delta(before, after)


def registration_delta(before, after):
    lowered = {key.lower(): values for key, values in before.items()}
    entries = []
    for key, values in sorted(after.items()):
        old = lowered.get(key.lower())
        if old is None and not values and not any(k.lower().startswith(key.lower() + "\\") for k in after):
            entries.append([key, None, None, None])
        for name, value in sorted(values.items()):
            if old is not None and name in old:
                if old[name] != value:
                    fail("registration changes the existing value %s [%s]: a package cannot restore it" % (key, name))
                continue
            entries.append([key, name, value[0], value[1]])
    for key, values in before.items():
        if key.lower() not in {k.lower() for k in after} or any(n not in after.get(key, {}) for n in values):
            fail("registration removes %s or one of its values: a package cannot put it back" % key)
    if not entries:
        fail("registering vesker.DLL added nothing below " + CLASSES)
    return entries


# --- The WiX parts -----------------------------------------------------------

def formatted(text):
    """`text` as Windows Installer's Formatted type reads it back unchanged, the
    capture folder turned into the install folder."""
    text = re.sub(r"[\[\]]", lambda m: "[\\" + m.group(0) + "]", text)
    return re.sub(re.escape(CAPTURE_FOLDER), lambda m: INSTALL_FOLDER_PROPERTY, text, flags=re.I)


def registry_elements(entries):
    lines = []
    for key, name, kind, data in entries:
        if not key.lower().startswith(CLASSES.lower() + "\\"):
            fail("registration wrote outside %s: %s" % (CLASSES, key))
        if CAPTURE_FOLDER[3:-1].lower() in (key + (name or "")).lower():
            fail("the module path is part of a key or value name: " + key)
        # HKLM\Software\Classes, where a per-machine DllRegisterServer's
        # HKEY_CLASSES_ROOT entries land.
        attributes = [("Root", "HKLM"), ("Key", key[len("HKEY_LOCAL_MACHINE\\"):])]
        if name is None:
            # An empty key of its own: created on install, removed on removal.
            attributes += [("Name", "*"), ("Type", "string"), ("Value", "")]
        elif kind == "raw":
            fail("cannot express the value %s [%s]: %s" % (key, name, data[:40]))
        else:
            value = formatted(data)
            if CAPTURE_FOLDER[3:-1].lower() in value.lower():
                fail("a value names the module's folder in a form other than its path: %s [%s]" % (key, name))
            if name:
                attributes.append(("Name", name))
            attributes += [("Type", kind), ("Value", value)]
        lines.append("<RegistryValue " + " ".join("%s=%s" % (a, quoteattr(v)) for a, v in attributes) + "/>")
    return ('<?xml version="1.0" encoding="utf-8"?>\n'
            "<!-- Generated by packaging/build_msi.py from what DllRegisterServer writes. -->\n"
            '<Include xmlns="%s">\n  %s\n</Include>\n' % (WIX_NAMESPACE, "\n  ".join(lines)))


def load_entries(build, path):
    if path and os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    entries = capture(build)
    if path:
        with open(path, "w", encoding="utf-8") as f:
            json.dump(entries, f, indent=0)
    return entries


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True)
    target = parser.add_mutually_exclusive_group(required=True)
    target.add_argument("--output")
    target.add_argument("--dist")
    parser.add_argument("--entries")
    parser.add_argument("--lower-version", action="store_true")
    args = parser.parse_args()
    build = os.path.abspath(args.build)

    fields = tree_version()
    if args.lower_version:
        fields = lower_version(fields)
    version = ".".join(map(str, fields))
    work = os.path.join(build, "msi-work")
    os.makedirs(work, exist_ok=True)
    with open(os.path.join(work, "VeskerRegistration.wxi"), "w", encoding="utf-8") as f:
        f.write(registry_elements(load_entries(build, args.entries)))

    output = os.path.abspath(args.output or os.path.join(args.dist, "vesker-%s.msi" % version))
    # wixl takes file sources relative to the folder it runs in only.
    defines = {"Version": version, "ProductCode": product_code(version),
               "BinDir": os.path.relpath(os.path.join(build, "bin"), work),
               "IncludeDir": os.path.relpath(os.path.join(build, "include"), work),
               "SourceDir": os.path.relpath(ROOT, work)}
    command = ["wixl", "-a", "x86", "-I", work, "-o", output]
    for name, value in defines.items():
        command += ["-D", "%s=%s" % (name, value)]
    result = subprocess.run(command + [WXS], cwd=work, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    # wixl passes over attributes it does not know with a warning only.
    if result.returncode != 0 or "WARNING" in result.stdout:
        fail("wixl failed:\n" + result.stdout)
    print(output)


if __name__ == "__main__":
    main()
