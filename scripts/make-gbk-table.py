#!/usr/bin/env python3
"""Writes reader/GbkTable.cpp, the reader's own table of code page 936 (GBK as Windows
maps it), from Wine's data for that code page (c_936.nls, of Debian's libwine): the
character of every double-byte code, the user-defined areas' private-use ones among
them, and of the single byte 80 (FF, which the data maps to U+F8F5, Windows refuses
when asked to refuse what is ill-formed, and so does the reader). It refuses data that
is not the one-to-one map the reader relies on. Run once; the output is committed.
  make-gbk-table.py [C_936.NLS]     default /usr/share/wine/nls/c_936.nls"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "reader", "GbkTable.cpp")
LEADS = range(0x81, 0xFF)
TRAILS = [t for t in range(0x40, 0xFF) if t != 0x7F]
PER_LINE = 12


def fail(message):
    sys.exit("make-gbk-table: " + message)


def read_nls(path):
    """The byte-to-character map (single bytes and lead/trail pairs) and the
    character-to-code map of a Windows code page file."""
    data = open(path, "rb").read()
    word = lambda offset: struct.unpack_from("<H", data, offset)[0]
    header_words, codepage, char_size = struct.unpack_from("<3H", data, 0)
    if (header_words, codepage, char_size) != (13, 936, 2):
        fail(f"{path} is not a double-byte table of code page 936")
    lead_ranges = struct.unpack_from("<12B", data, 14)
    if lead_ranges[:3] != (0x81, 0xFE, 0):
        fail(f"lead bytes {lead_ranges} are not 81-FE")
    to_wide_words = word(26)  # from this word to the table of characters
    singles = [word(28 + 2 * b) for b in range(256)]
    at = 28 + 512
    glyphs = word(at)
    at += 2 + (512 if glyphs else 0)
    if word(at) == 0:
        fail("no double-byte ranges")
    offsets_at = at + 2
    rows = {}
    for lead in LEADS:
        row_at = offsets_at + 2 * word(offsets_at + 2 * lead)
        rows[lead] = [word(row_at + 2 * t) for t in range(256)]
    wide_at = 26 + 2 * to_wide_words + 2
    to_code = lambda character: word(wide_at + 2 * character)
    return singles, rows, to_code


def check(singles, rows, to_code):
    """The map must be one to one: ASCII as itself, every double-byte code a character of
    its own that maps back to it."""
    for b in range(0x80):
        if singles[b] != b:
            fail(f"byte {b:02X} is not itself")
    if singles[0x80] in (0, 0x3F) or to_code(singles[0x80]) != 0x80:
        fail("byte 80 has no character of its own")
    seen = {}
    for lead in LEADS:
        for trail in TRAILS:
            character = rows[lead][trail]
            code = lead << 8 | trail
            if character in (0, 0x3F) or character in seen or to_code(character) != code:
                fail(f"code {code:04X} (U+{character:04X}) is not mapped one to one")
            seen[character] = code


def table(values):
    lines = []
    for start in range(0, len(values), PER_LINE):
        lines.append("    " + " ".join("0x%04X," % v for v in values[start:start + PER_LINE]))
    return "\n".join(lines)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/wine/nls/c_936.nls"
    singles, rows, to_code = read_nls(path)
    check(singles, rows, to_code)
    characters = [rows[lead][trail] for lead in LEADS for trail in TRAILS]
    with open(OUT, "w", newline="\n") as out:
        out.write(f"""// Code page 936 as Windows maps it: the character of every double-byte code and of
// the single byte 80. Written by scripts/make-gbk-table.py from Wine's data
// for the code page; not to be edited by hand.
#include "reader/GbkText.h"

namespace velkaron_reader {{

const std::uint16_t kGbkByte80 = 0x{singles[0x80]:04X};

// Row by row (lead bytes 81 to FE), each row's trail bytes 40-7E then 80-FE.
const std::uint16_t kGbkCharacters[kGbkCodes] = {{
{table(characters)}
}};

}}  // namespace velkaron_reader
""")
    print(f"make-gbk-table: {os.path.relpath(OUT)}: {len(characters)} double-byte codes")


if __name__ == "__main__":
    main()
