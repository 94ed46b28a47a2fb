#!/usr/bin/env python3
"""Writes the hand-made packets of tests/fixtures/packets: each file is named after
what is wrong with it (or, for the last few, after what a particular reader cannot
hold). Run once from anywhere; the output is committed, so tests never run this."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "tests", "fixtures", "packets")


def header(index_offset, index_length, text=None):
    line = text if text is not None else b"Velkaron.Packet %d %d\r\n" % (index_offset, index_length)
    return line + b" " * (64 - len(line))


def packet(data, lines, index_offset=None, index_length=None):
    """A packet whose header tells the truth unless told otherwise."""
    index = b"".join(lines)
    n = 64 + len(data) if index_offset is None else index_offset
    i = len(index) if index_length is None else index_length
    return header(n, i) + data + index


def line(kind, offset, length, path):
    if isinstance(path, str):
        path = path.encode("gbk")
    return b"#%s,%d,%d," % (kind.encode(), offset, length) + path + b"\r\n"


F = lambda offset, length, path: line("F", offset, length, path)
D = lambda offset, path: line("D", offset, 0, path)

FIXTURES = {
    # The header
    "header-shorter-than-64-bytes.dat": b"Velkaron.Packet 64 0\r\n",
    "wrong-magic-word.dat": header(0, 0, b"Velkaron.Packed 64 0\r\n"),
    "header-without-crlf.dat": b"Velkaron.Packet 64 0" + b" " * 44,
    "header-number-with-leading-zero.dat": header(0, 0, b"Velkaron.Packet 064 0\r\n"),
    "header-padding-not-spaces.dat": b"Velkaron.Packet 64 0\r\n" + b"\0" * 42,
    "index-offset-inside-header.dat": header(0, 0, b"Velkaron.Packet 10 54\r\n"),
    "header-lies-about-index-length.dat": packet(b"abc", [F(64, 3, "a.txt")], index_length=10),
    "claims-2gib-in-100-bytes.dat": header(2147483647, 0) + b"#F,64,2147483583,big.bin\r\n".ljust(36, b" "),
    # Lines of the index
    "line-without-crlf.dat": packet(b"abc", [b"#F,64,3,a.txt\n", F(67, 0, "b.txt")]),
    "index-without-final-crlf.dat": packet(b"abc", [b"#F,64,3,a.txt"]),
    "line-not-a-folder-or-file.dat": packet(b"abc", [b"#X,64,3,a.txt\r\n"]),
    "line-with-too-few-fields.dat": packet(b"abc", [b"#F,64,a.txt\r\n"]),
    "negative-length.dat": packet(b"abc", [b"#F,64,-3,a.txt\r\n"]),
    "folder-line-with-length.dat": packet(b"", [b"#D,64,5,sub\r\n"]),
    # Paths
    "dotdot-path.dat": packet(b"abc", [D(64, "sub"), F(64, 3, "sub\\..\\..\\evil.txt")]),
    "absolute-path.dat": packet(b"abc", [F(64, 3, "\\tmp\\evil.txt")]),
    "drive-letter-path.dat": packet(b"abc", [F(64, 3, "C:\\evil.txt")]),
    "slash-separated-path.dat": packet(b"abc", [F(64, 3, "../../evil.txt")]),
    "empty-path-component.dat": packet(b"abc", [D(64, "sub"), F(64, 3, "sub\\\\a.txt")]),
    "duplicate-path.dat": packet(b"abcd", [F(64, 3, "a.txt"), F(67, 1, "a.txt")]),
    # Offsets and lengths
    "file-offset-past-end.dat": packet(b"abc", [F(9999, 3, "a.txt")]),
    "file-length-past-data-area.dat": packet(b"abc", [F(64, 1000, "a.txt")]),
    "gap-between-files.dat": packet(b"abc", [F(64, 1, "a.txt"), F(66, 1, "b.txt")]),
    "overlapping-files.dat": packet(b"abc", [F(64, 2, "a.txt"), F(65, 2, "b.txt")]),
    "folder-offset-not-next-file.dat": packet(b"abc", [D(70, "sub"), F(64, 3, "sub\\a.txt")]),
    "data-area-longer-than-its-files.dat": packet(b"abcdef", [F(64, 3, "a.txt")]),
    # Order
    "entry-before-its-folder.dat": packet(b"abc", [F(64, 3, "sub\\a.txt"), D(67, "sub")]),
    "folder-entries-split-up.dat": packet(
        b"xyz", [D(64, "a"), D(64, "b"), F(64, 1, "a\\x"), F(65, 1, "b\\y"), F(66, 1, "a\\z")]),
    # Valid packets that only some readers can hold
    "names-differing-only-in-case.dat": packet(b"12", [F(64, 1, "Readme.txt"), F(65, 1, "README.TXT")]),
    "windows-device-names.dat": packet(b"123", [F(64, 1, "CON"), F(65, 1, "aux.txt"), F(66, 1, "trailing.")]),
    # Valid: a GBK folder name whose last byte is 5C, the backslash, when read byte by byte
    "gbk-name-with-5c-trail-byte.dat": packet(b"abc", [D(64, "誠"), F(64, 3, "誠\\a.txt")]),
    # A GBK lead byte followed by a NUL: read byte by byte the name is "a"
    "lead-byte-before-nul.dat": packet(b"12", [F(64, 1, b"a\x81\x00b"), F(65, 1, "a")]),
    # Valid, but one name to Windows: fullwidth, Greek and Cyrillic letters that differ in case
    "fullwidth-file-names-differing-in-case.dat": packet(b"12", [F(64, 1, "Ａ.txt"), F(65, 1, "ａ.txt")]),
    "greek-folder-names-differing-in-case.dat": packet(b"", [D(64, "Α"), D(64, "α")]),
    "cyrillic-names-differing-in-case-in-a-folder.dat": packet(
        b"12", [D(64, "dir"), F(64, 1, "dir\\А"), F(65, 1, "dir\\а")]),
    # Valid: names that would drive a terminal (ESC sequences, BEL, the UTF-8 form of CSI)
    "names-with-terminal-escapes.dat": packet(
        b"12", [F(64, 1, b"title\x1b]0;owned\x07"), F(65, 1, b"csi\xc2\x9b2J")]),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in sorted(FIXTURES.items()):
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    print("wrote %d packets to %s" % (len(FIXTURES), os.path.normpath(OUT)))


if __name__ == "__main__":
    main()
