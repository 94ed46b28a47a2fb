#!/usr/bin/env python3
"""Draws the program icon, a taped parcel, and writes it as a Windows .ico file
with two 16-colour images (32 x 32 and 16 x 16). Output is byte-for-byte the same
on every run: the picture is computed from the geometry below, nothing else.

Usage: make-icon.py OUTPUT.ico
"""
import struct
import sys

# The standard 16-colour Windows palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, DARK_RED, DARK_YELLOW, GREY, RED, YELLOW, WHITE, BLUE = 0, 1, 3, 8, 9, 11, 15, 12

# The parcel on a 32-unit canvas: front face, top face and right face as polygons.
FRONT = [(2.0, 13.0), (22.0, 13.0), (22.0, 31.0), (2.0, 31.0)]
TOP = [(2.0, 13.0), (9.0, 6.0), (29.0, 6.0), (22.0, 13.0)]
SIDE = [(22.0, 13.0), (29.0, 6.0), (29.0, 24.0), (22.0, 31.0)]
# The tape runs front to back over the middle of the top, then down the front.
TAPE_FROM, TAPE_TO = 0.40, 0.60
# A down arrow over the parcel: the folder goes in.
ARROW_SHAFT = (13.0, 0.0, 19.0, 3.0)        # x0, y0, x1, y1
ARROW_HEAD = [(9.5, 3.0), (22.5, 3.0), (16.0, 9.5)]


def inside(poly, x, y):
    """Even-odd test of the point against the polygon."""
    result = False
    n = len(poly)
    for i in range(n):
        x1, y1 = poly[i]
        x2, y2 = poly[(i + 1) % n]
        if (y1 > y) != (y2 > y):
            cross = x1 + (y - y1) * (x2 - x1) / (y2 - y1)
            if x < cross:
                result = not result
    return result


def region(x, y):
    """Which part of the picture the canvas point (x, y) falls on, or None."""
    ax0, ay0, ax1, ay1 = ARROW_SHAFT
    if (ax0 <= x < ax1 and ay0 <= y < ay1) or inside(ARROW_HEAD, x, y):
        return "arrow"
    if inside(FRONT, x, y):
        u = (x - 2.0) / 20.0
        return "tape_front" if TAPE_FROM <= u < TAPE_TO else "front"
    if inside(TOP, x, y):
        depth = (13.0 - y) / 7.0            # 0 at the front edge, 1 at the back
        u = (x - 2.0 - 7.0 * depth) / 20.0
        return "tape_top" if TAPE_FROM <= u < TAPE_TO else "top"
    if inside(SIDE, x, y):
        return "side"
    return None


FILL = {
    "front": DARK_YELLOW, "top": YELLOW, "side": GREY,
    "tape_front": DARK_RED, "tape_top": RED, "arrow": BLUE,
}
# Parts that get no outline between them: the tape is laid on its face.
SAME_SURFACE = {frozenset(("front", "tape_front")), frozenset(("top", "tape_top"))}


def draw(size):
    """The picture at size x size pixels: rows of palette indexes, None for transparent."""
    scale = 32.0 / size
    # At 16 pixels the edges between the faces would leave no face to see:
    # there only the silhouette and the arrow get an outline.
    inner_edges = size >= 32
    parts = [[region((c + 0.5) * scale, (r + 0.5) * scale) for c in range(size)] for r in range(size)]
    pixels = []
    for r in range(size):
        row = []
        for c in range(size):
            part = parts[r][c]
            if part is None:
                row.append(None)
                continue
            colour = FILL[part]
            for dr, dc in ((-1, 0), (1, 0), (0, -1), (0, 1)):
                rr, cc = r + dr, c + dc
                other = parts[rr][cc] if 0 <= rr < size and 0 <= cc < size else None
                if other == part or frozenset((part, other)) in SAME_SURFACE:
                    continue
                if other is None or inner_edges or part == "arrow":
                    colour = BLACK
                    break
            row.append(colour)
        pixels.append(row)
    return pixels


def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def encode_image(pixels):
    """One icon image: BITMAPINFOHEADER, palette, XOR bitmap (4 bpp), AND mask (1 bpp)."""
    size = len(pixels)
    xor_stride = row_bytes(size * 4)
    and_stride = row_bytes(size)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pixels):  # bottom-up, as bitmaps are stored
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for c, colour in enumerate(row):
            index = 0 if colour is None else colour
            line[c // 2] |= index << (4 if c % 2 == 0 else 0)
            if colour is None:
                bits[c // 8] |= 0x80 >> (c % 8)
        xor += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 0, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def encode_icon(sizes):
    images = [encode_image(draw(size)) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make-icon.py OUTPUT.ico\n")
        return 2
    with open(sys.argv[1], "wb") as f:
        f.write(encode_icon([32, 16]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
