#!/usr/bin/env python3
"""Checks the release as a Windows user gets it: the portable zip holds exactly
the release files; each program is a stripped, statically linked PE32 for i386
with no link time in it, still carrying its resources, its version block and its
manifest (no elevation, DPI aware, long paths, Windows 10 named, depending on the
Windows assemblies it is meant to and no other); the texts are UTF-8 with a byte order mark and CR LF, as Notepad on a
Chinese Windows reads them; the installer is a PE32 for i386 too. Each PROGRAM
named after them (the one a test suite runs, say) is the zip's entry of its name,
byte for byte.

    check-zip.py ZIP SETUP VERSION [PROGRAM...]       (VERSION as a.b.c.d)
Prints each failed check and exits 1 when there is one.
"""
import os
import struct
import sys
import xml.etree.ElementTree as ElementTree
import zipfile

EXPECTED_FILES = ["Velkaron.exe", "VelkaronView.exe", "velkaron-pack.exe", "velkaron.txt", "使用说明.txt"]
RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 6, 14, 16, 24
# The resource types of each program, with the ids that must be among them.
EXPECTED_RESOURCES = {
    "Velkaron.exe": {RT_DIALOG: {100, 102}, RT_STRING: set(), RT_ICON: set(), RT_GROUP_ICON: {128},
                     RT_VERSION: {1}, RT_MANIFEST: {1}},
    "VelkaronView.exe": {RT_ICON: set(), RT_GROUP_ICON: set(), RT_VERSION: {1}, RT_MANIFEST: {1}},
    "velkaron-pack.exe": {RT_VERSION: {1}, RT_MANIFEST: {1}},
}
# The assemblies each program's manifest depends on, all of them Windows' own: the
# browser's tree and list need common controls 6; the packer's dialogs keep the
# classic controls.
EXPECTED_DEPENDENCIES = {"VelkaronView.exe": {"Microsoft.Windows.Common-Controls"}}
# System DPI awareness, or per monitor as well.
DPI_AWARE = {"true", "true/pm"}
WINDOWS_10 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


class Pe:
    """The few parts of a PE image the checks read."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        (self.machine, sections, self.timestamp, _, self.symbols, optional_size,
         _) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.pe32 = data[:2] == b"MZ" and data[pe:pe + 4] == b"PE\0\0" and data[optional:optional + 2] == b"\x0b\x01"
        directories = optional + (96 if self.pe32 else 112)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<8s4xIII", data, table + 40 * i) for i in range(sections)]

    def at(self, rva):
        for _, start, size, raw_at in self.sections:
            if start <= rva < start + size:
                return raw_at + rva - start
        raise ValueError("address %#x outside every section" % rva)

    def imports(self):
        names, entry = [], self.at(self.directories[1][0])
        while struct.unpack_from("<I", self.data, entry + 12)[0]:
            name_at = self.at(struct.unpack_from("<I", self.data, entry + 12)[0])
            names.append(self.data[name_at:self.data.index(b"\0", name_at)].decode())
            entry += 20
        return names

    def resources(self):
        """{type: {id: data}}, the first language of each."""
        if self.directories[2][0] == 0:
            return {}
        base = self.at(self.directories[2][0])

        def entries(offset):
            named, ids = struct.unpack_from("<HH", self.data, base + offset + 12)
            for i in range(named + ids):
                yield struct.unpack_from("<II", self.data, base + offset + 16 + 8 * i)

        found = {}
        for kind, names in entries(0):
            for name, languages in entries(names & 0x7FFFFFFF):
                leaf = next(entries(languages & 0x7FFFFFFF))[1]
                rva, size = struct.unpack_from("<II", self.data, base + leaf)
                found.setdefault(kind, {})[name] = self.data[self.at(rva):self.at(rva) + size]
        return found


def check_program(name, pe, version):
    if not (pe.pe32 and pe.machine == 0x14C):
        return check(False, "%s: not a PE32 for i386 (machine %#x)" % (name, pe.machine))
    check(pe.timestamp == 0, "%s: the header holds a link time, so builds differ" % name)
    check(pe.symbols == 0 and not any(s[0].startswith(b".debug") for s in pe.sections), "%s: not stripped" % name)
    runtime = [dll for dll in pe.imports() if dll.lower().startswith("lib")]
    check(not runtime, "%s: needs DLLs beside it: %s" % (name, runtime))
    resources = pe.resources()
    for kind, ids in EXPECTED_RESOURCES[name].items():
        check(kind in resources and ids <= set(resources[kind]), "%s: no resources of type %d %s" % (name, kind, sorted(ids)))
    block = resources.get(RT_VERSION, {}).get(1, b"")
    fixed = block.find(struct.pack("<I", 0xFEEF04BD))
    high, low = struct.unpack_from("<II", block, fixed + 8) if fixed >= 0 else (0, 0)
    shown = "%d.%d.%d.%d" % (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)
    check(shown == version, "%s: file version %s, not %s" % (name, shown, version))
    if 1 in resources.get(RT_MANIFEST, {}):
        check_manifest(name, resources[RT_MANIFEST][1])


def check_manifest(name, text):
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        return check(False, "%s: the manifest is not well-formed: %s" % (name, error))

    def tag(element):
        return element.tag.split("}")[-1]

    elements = {tag(e): e for e in root.iter()}
    level = elements.get("requestedExecutionLevel")
    check(level is not None and level.get("level") == "asInvoker", "%s: the manifest asks for elevation" % name)
    check("dpiAware" in elements and elements["dpiAware"].text in DPI_AWARE, "%s: the manifest lacks dpiAware" % name)
    check("longPathAware" in elements and elements["longPathAware"].text == "true",
          "%s: the manifest lacks longPathAware" % name)
    check(WINDOWS_10 in text.decode(), "%s: the manifest does not name Windows 10 and 11" % name)
    depends = {identity.get("name") for dependent in root.iter() if tag(dependent) == "dependentAssembly"
               for identity in dependent if tag(identity) == "assemblyIdentity"}
    expected = EXPECTED_DEPENDENCIES.get(name, set())
    check(depends == expected, "%s: the manifest depends on %s, not %s" % (name, sorted(depends), sorted(expected)))


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    zip_path, setup_path, version = argv[1:4]
    with zipfile.ZipFile(zip_path) as archive:
        names = archive.namelist()
        check(names == EXPECTED_FILES, "the zip holds %s, not %s" % (names, EXPECTED_FILES))
        for program in argv[4:]:
            name = os.path.basename(program)
            with open(program, "rb") as tested:
                check(name in names and archive.read(name) == tested.read(),
                      "%s: not the zip's %s, byte for byte" % (program, name))
        for name in names:
            data = archive.read(name)
            if name in EXPECTED_RESOURCES:
                check_program(name, Pe(data), version)
            else:
                check(data.startswith(b"\xef\xbb\xbf") and data.count(b"\n") == data.count(b"\r\n"),
                      "%s: not UTF-8 with a byte order mark and CR LF" % name)
    with open(setup_path, "rb") as setup:
        installer = Pe(setup.read())
    check(installer.pe32 and installer.machine == 0x14C, "%s: not a PE32 for i386" % setup_path)
    for failure in failures:
        print("check-zip: " + failure, file=sys.stderr)
    print("check-zip: %s: %s" % (zip_path, "FAILED" if failures else "ok"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
