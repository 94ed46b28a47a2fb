#!/usr/bin/env python3
"""Checks the release as a Windows user gets it: the portable zip holds exactly
the release files, each program is a stripped, statically linked PE32 for i386
that still carries its resources, version block and manifest, the texts are
what Notepad on a Chinese Windows shows right; the installer is a PE32 too.

    check-zip.py ZIP SETUP VERSION        (VERSION as a.b.c.d)
Prints each failed check and exits 1 when there is one.
"""
import struct
import sys
import xml.etree.ElementTree as ElementTree
import zipfile

EXPECTED_FILES = ["Velkaron.exe", "velkaron-pack.exe", "velkaron.txt", "使用说明.txt"]
RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 6, 14, 16, 24
# Resource types (and the ids that must be there) of each program.
EXPECTED_RESOURCES = {
    "Velkaron.exe": {RT_DIALOG: {100, 102}, RT_STRING: None, RT_ICON: None, RT_GROUP_ICON: {128},
                     RT_VERSION: {1}, RT_MANIFEST: {1}},
    "velkaron-pack.exe": {RT_VERSION: {1}, RT_MANIFEST: {1}},
}
WINDOWS_10 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


class Pe:
    """The few parts of a PE image the checks read."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        (self.machine, sections, self.timestamp, self.symbols_at, self.symbols, optional_size,
         _) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (96 if self.magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            name, _, rva, raw_size, raw_at = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode(), rva, raw_size, raw_at))

    def at(self, rva):
        for _, start, size, raw_at in self.sections:
            if start <= rva < start + size:
                return raw_at + rva - start
        raise ValueError("address %#x outside every section" % rva)

    def imports(self):
        rva, _ = self.directories[1]
        names, entry = [], self.at(rva)
        while struct.unpack_from("<I", self.data, entry + 12)[0]:
            name_at = self.at(struct.unpack_from("<I", self.data, entry + 12)[0])
            names.append(self.data[name_at:self.data.index(b"\0", name_at)].decode())
            entry += 20
        return names

    def resources(self):
        """{type: {id: data}}, the first language of each."""
        base = self.at(self.directories[2][0])

        def entries(offset):
            named, ids = struct.unpack_from("<HH", self.data, base + offset + 12)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", self.data, base + offset + 16 + 8 * i)
                yield key, target

        found = {}
        for kind, names in entries(0):
            for name, languages in entries(names & 0x7FFFFFFF):
                _, leaf = next(entries(languages & 0x7FFFFFFF))
                rva, size = struct.unpack_from("<II", self.data, base + leaf)
                found.setdefault(kind, {})[name] = self.data[self.at(rva):self.at(rva) + size]
        return found


def version_nodes(block, pos=0):
    """The VS_VERSIONINFO node at `pos` as (key, value bytes, children, length)."""
    length, value_length, text = struct.unpack_from("<HHH", block, pos)
    key_end = pos + 6
    while block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = block[pos + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value = block[value_at:value_at + (value_length * 2 if text else value_length)]
    children, child = [], (value_at + len(value) + 3) & ~3
    while child < pos + length:
        node = version_nodes(block, child)
        children.append(node)
        child = (child + node[3] + 3) & ~3
    return key, value, children, length


def version_strings(block):
    strings = {}
    for key, _, tables, _ in version_nodes(block)[2]:
        if key == "StringFileInfo":
            for _, _, entries, _ in tables:
                for name, value, _, _ in entries:
                    strings[name] = value.decode("utf-16-le").rstrip("\0")
    return strings


def check_program(name, data, version):
    try:
        pe = Pe(data)
    except ValueError as error:
        return check(False, "%s: %s" % (name, error))
    check(pe.machine == 0x14C and pe.magic == 0x10B, "%s: not a PE32 for i386 (machine %#x)" % (name, pe.machine))
    check(pe.timestamp == 0, "%s: the header holds a link time, so builds differ" % name)
    check(pe.symbols_at == 0 and pe.symbols == 0 and not any(s[0].startswith(".debug") for s in pe.sections),
          "%s: not stripped" % name)
    runtime = [dll for dll in pe.imports() if dll.lower().startswith("lib")]
    check(not runtime, "%s: needs DLLs beside it: %s" % (name, runtime))

    resources = pe.resources()
    for kind, ids in EXPECTED_RESOURCES[name].items():
        check(kind in resources and (ids is None or ids <= set(resources[kind])),
              "%s: resources of type %d %s missing" % (name, kind, sorted(ids or [])))
    if RT_VERSION in resources:
        block = resources[RT_VERSION][1]
        fixed = version_nodes(block)[1]
        numbers = struct.unpack_from("<IIII", fixed, 8)
        shown = "%d.%d.%d.%d" % (numbers[0] >> 16, numbers[0] & 0xFFFF, numbers[1] >> 16, numbers[1] & 0xFFFF)
        check(shown == version, "%s: file version %s, not %s" % (name, shown, version))
        strings = version_strings(block)
        check(strings.get("FileVersion") == version.replace(".", ", "), "%s: FileVersion %r" % (name, strings))
        check(strings.get("OriginalFilename", "").lower() == name.lower(), "%s: OriginalFilename %r" % (name, strings))
    if RT_MANIFEST in resources:
        check_manifest(name, resources[RT_MANIFEST][1])


def check_manifest(name, text):
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        return check(False, "%s: the manifest is not well-formed XML: %s" % (name, error))
    values = {element.tag.split("}")[1]: element for element in root.iter()}
    level = values.get("requestedExecutionLevel")
    check(level is not None and level.get("level") == "asInvoker", "%s: manifest asks for more than asInvoker" % name)
    for setting in ("dpiAware", "longPathAware"):
        check(setting in values and values[setting].text == "true", "%s: manifest lacks %s" % (name, setting))
    systems = [e.get("Id") for e in root.iter() if e.tag.endswith("}supportedOS")]
    check(WINDOWS_10 in systems, "%s: manifest does not name Windows 10 and 11" % name)
    check("dependency" not in values, "%s: manifest depends on another assembly (common controls?)" % name)


def check_text(name, data):
    check(data.startswith(b"\xef\xbb\xbf"), "%s: no UTF-8 byte order mark" % name)
    check(data.count(b"\n") == data.count(b"\r\n") > 0, "%s: lines do not end in CR LF" % name)
    try:
        data.decode("utf-8")
    except UnicodeDecodeError:
        check(False, "%s: not UTF-8" % name)


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    zip_path, setup_path, version = argv[1:]
    with zipfile.ZipFile(zip_path) as archive:
        names = archive.namelist()
        check(names == EXPECTED_FILES, "the zip holds %s, not %s" % (names, EXPECTED_FILES))
        for name in names:
            if name in EXPECTED_RESOURCES:
                check_program(name, archive.read(name), version)
            elif name.endswith(".txt"):
                check_text(name, archive.read(name))
    with open(setup_path, "rb") as setup:
        pe = Pe(setup.read())
    check(pe.machine == 0x14C and pe.magic == 0x10B, "%s: not a PE32 for i386" % setup_path)
    for failure in failures:
        print("check-zip: " + failure, file=sys.stderr)
    print("check-zip: %s: %s" % (zip_path, "FAILED" if failures else "ok"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
