#!/usr/bin/env python3
"""Writes Instalador's icon: a package with an arrow going into it, drawn in code, in three
images (32 x 32 in 2 colours, 32 x 32 in 16 colours, 16 x 16 in 16 colours).

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

# The standard 16-colour Windows palette, as (red, green, blue).
PALETTE_16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
PALETTE_2 = [(0, 0, 0), (255, 255, 255)]

# Colour of each part, per palette: outline, package, package lid, arrow.
COLOURS_16 = {"outline": 0, "box": 12, "lid": 4, "arrow": 11}
COLOURS_2 = {"outline": 0, "box": 1, "lid": 0, "arrow": 1}


def in_box(u, v):
    return 0.10 <= u <= 0.90 and 0.46 <= v <= 0.92


def in_lid(u, v):
    return 0.10 <= u <= 0.90 and 0.46 <= v <= 0.58


def in_arrow(u, v):
    if 0.38 <= u <= 0.62 and 0.04 <= v <= 0.42:
        return True
    # The head: a triangle from v = 0.36 (full width) to its point at v = 0.72.
    if 0.36 <= v <= 0.72:
        half = 0.30 * (0.72 - v) / 0.36
        return abs(u - 0.5) <= half
    return False


def draw(size, colours):
    """Rows top-down of palette indices, None for transparent pixels."""

    def layer(inside):
        return [[inside((x + 0.5) / size, (y + 0.5) / size) for x in range(size)] for y in range(size)]

    def edge(mask, x, y):
        for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
            nx, ny = x + dx, y + dy
            if not (0 <= nx < size and 0 <= ny < size) or not mask[ny][nx]:
                return True
        return False

    box, lid, arrow = layer(in_box), layer(in_lid), layer(in_arrow)
    pixels = [[None] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            if box[y][x]:
                pixels[y][x] = colours["outline"] if edge(box, x, y) else colours["lid" if lid[y][x] else "box"]
            if arrow[y][x]:
                pixels[y][x] = colours["outline"] if edge(arrow, x, y) else colours["arrow"]
    return pixels


def row_bytes(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def image(size, bpp, palette, colours):
    """One icon image: header, palette, colour bitmap and transparency mask, rows bottom-up."""
    pixels = draw(size, colours)
    xor, mask = bytearray(), bytearray()
    for row in reversed(pixels):
        line = bytearray(row_bytes(size * bpp))
        mline = bytearray(row_bytes(size))
        for x, p in enumerate(row):
            index = 0 if p is None else p
            bit = x * bpp
            line[bit // 8] |= index << (8 - bpp - bit % 8)
            if p is None:
                mline[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += mline
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, len(xor) + len(mask), 0, 0,
                         len(palette), 0)
    colours_table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours_table + bytes(xor) + bytes(mask)


def icon():
    images = [
        (32, 1, image(32, 1, PALETTE_2, COLOURS_2), 2),
        (32, 4, image(32, 4, PALETTE_16, COLOURS_16), 16),
        (16, 4, image(16, 4, PALETTE_16, COLOURS_16), 16),
    ]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bpp, data, count in images:
        out += struct.pack("<BBBBHHII", size, size, count, 0, 1, bpp, len(data), offset)
        offset += len(data)
    for _, _, data, _ in images:
        out += data
    return bytes(out)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as f:
        f.write(icon())


if __name__ == "__main__":
    main()
