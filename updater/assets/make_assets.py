#!/usr/bin/env python3
"""Draws Updater's original artwork into a folder: the window's background picture, the
progress-bar picture and the program's icon. Standard library only; the output is the same
on every run.

    make_assets.py <output folder>

background.bmp  639 x 480, 24-bit, uncompressed: a decorated frame, the VANDREL logo in
                block letters, the Play ("JUGAR") and Exit ("SALIR") buttons exactly under the
                window's click areas, a dark panel behind the console and a dark trough
                behind the progress bar and its label.
progress_bar.bmp 538 x 37, 24-bit, uncompressed: a horizontal green gradient.
updater.ico     one 32 x 32 image, 32 bits per pixel with alpha: 4,286 bytes.
"""

import math
import os
import struct
import sys

# Window layout in pixels (left, top, width, height); must match updater/window/layout.h.
IMG_JUGAR = (48, 352, 113, 25)
IMG_SALIR = (480, 352, 105, 25)
CONSOLE = (152, 272, 321, 73)
LABEL = (48, 400, 537, 25)
BAR = (49, 389, 538, 37)

BACKGROUND_SIZE = (639, 480)
BAR_SIZE = (538, 37)
ICON_SIZE = 32

# 5 x 7 block letters, drawn cell by cell.
GLYPHS = {
    "V": ["X...X", "X...X", "X...X", "X...X", "X...X", ".X.X.", "..X.."],
    "A": [".XXX.", "X...X", "X...X", "XXXXX", "X...X", "X...X", "X...X"],
    "N": ["X...X", "XX..X", "X.X.X", "X..XX", "X...X", "X...X", "X...X"],
    "D": ["XXXX.", "X...X", "X...X", "X...X", "X...X", "X...X", "XXXX."],
    "R": ["XXXX.", "X...X", "X...X", "XXXX.", "X.X..", "X..X.", "X...X"],
    "E": ["XXXXX", "X....", "X....", "XXXX.", "X....", "X....", "XXXXX"],
    "L": ["X....", "X....", "X....", "X....", "X....", "X....", "XXXXX"],
    "J": ["..XXX", "...X.", "...X.", "...X.", "...X.", "X..X.", ".XX.."],
    "U": ["X...X", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."],
    "G": [".XXX.", "X...X", "X....", "X.XXX", "X...X", "X...X", ".XXX."],
    "S": [".XXXX", "X....", "X....", ".XXX.", "....X", "....X", "XXXX."],
    "I": [".XXX.", "..X..", "..X..", "..X..", "..X..", "..X..", ".XXX."],
}
GLYPH_W, GLYPH_H = 5, 7

GOLD_LIGHT = (255, 226, 140)
GOLD = (214, 168, 64)
GOLD_DARK = (120, 82, 24)
OUTLINE = (18, 12, 6)


def clamp(v):
    return max(0, min(255, int(round(v))))


def mix(a, b, t):
    return tuple(clamp(a[i] + (b[i] - a[i]) * t) for i in range(3))


def noise(x, y, seed=0):
    """Deterministic value in [0, 1) for a pixel."""
    n = (x * 374761393 + y * 668265263 + seed * 982451653) & 0xFFFFFFFF
    n = ((n ^ (n >> 13)) * 1274126177) & 0xFFFFFFFF
    return ((n ^ (n >> 16)) & 0xFFFF) / 65536.0


class Canvas:
    def __init__(self, width, height, colour=(0, 0, 0)):
        self.width, self.height = width, height
        self.pixels = [list(colour) for _ in range(width * height)]

    def get(self, x, y):
        return tuple(self.pixels[y * self.width + x])

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y * self.width + x] = [clamp(c) for c in colour[:3]]

    def blend(self, x, y, colour, alpha):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.put(x, y, mix(self.get(x, y), colour, alpha))

    def fill(self, left, top, width, height, colour):
        for y in range(top, top + height):
            for x in range(left, left + width):
                self.put(x, y, colour)

    def darken(self, left, top, width, height, factor):
        for y in range(top, top + height):
            for x in range(left, left + width):
                if 0 <= x < self.width and 0 <= y < self.height:
                    self.put(x, y, tuple(c * factor for c in self.get(x, y)))

    def ring(self, left, top, width, height, colour):
        for x in range(left, left + width):
            self.put(x, top, colour)
            self.put(x, top + height - 1, colour)
        for y in range(top, top + height):
            self.put(left, y, colour)
            self.put(left + width - 1, y, colour)

    def bmp24(self):
        row = (self.width * 3 + 3) & ~3
        data = bytearray()
        for y in range(self.height - 1, -1, -1):
            line = bytearray()
            for x in range(self.width):
                r, g, b = self.pixels[y * self.width + x]
                line += bytes((b, g, r))
            line += b"\0" * (row - len(line))
            data += line
        header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0, len(data), 3780, 3780, 0, 0)
        return header + info + bytes(data)


def text_width(text, scale, gap):
    return len(text) * GLYPH_W * scale + (len(text) - 1) * gap


def draw_text(canvas, text, left, top, scale, gap, colour, shadow=None):
    for i, ch in enumerate(text):
        gx = left + i * (GLYPH_W * scale + gap)
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit != "X":
                    continue
                x0, y0 = gx + col * scale, top + row * scale
                if shadow:
                    canvas.fill(x0 + 1, y0 + 1, scale, scale, shadow)
                canvas.fill(x0, y0, scale, scale, colour)


def draw_logo(canvas, text, top, cell):
    """Block letters: each cell a bevelled gold block over a soft drop shadow."""
    gap = cell
    left = (canvas.width - text_width(text, cell, gap)) // 2
    cells = []
    for i, ch in enumerate(text):
        gx = left + i * (GLYPH_W * cell + gap)
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit == "X":
                    cells.append((gx + col * cell, top + row * cell, row))
    for x0, y0, _ in cells:
        for dy in range(cell):
            for dx in range(cell):
                canvas.blend(x0 + dx + 5, y0 + dy + 5, (0, 0, 0), 0.7)
    for x0, y0, row in cells:
        shade = mix(GOLD_LIGHT, GOLD, row / (GLYPH_H - 1))
        for dy in range(cell):
            for dx in range(cell):
                if dx == 0 or dy == 0:
                    colour = mix(shade, (255, 255, 255), 0.45)
                elif dx == cell - 1 or dy == cell - 1:
                    colour = GOLD_DARK
                else:
                    colour = mix(shade, GOLD, dy / cell * 0.5)
                canvas.put(x0 + dx, y0 + dy, colour)


def draw_diamond(canvas, cx, cy, radius, colour, edge):
    for y in range(cy - radius, cy + radius + 1):
        for x in range(cx - radius, cx + radius + 1):
            d = abs(x - cx) + abs(y - cy)
            if d < radius:
                canvas.put(x, y, colour)
            elif d == radius:
                canvas.put(x, y, edge)


def draw_frame(canvas):
    w, h = canvas.width, canvas.height
    for inset, colour in ((4, OUTLINE), (5, GOLD_DARK), (6, GOLD), (7, GOLD_LIGHT), (8, GOLD), (9, GOLD_DARK),
                          (10, OUTLINE)):
        canvas.ring(inset, inset, w - 2 * inset, h - 2 * inset, colour)
    canvas.ring(15, 15, w - 30, h - 30, GOLD_DARK)
    # Studs along the frame and diamonds at the corners.
    for x in range(47, w - 40, 40):
        draw_diamond(canvas, x, 7, 3, GOLD_LIGHT, GOLD_DARK)
        draw_diamond(canvas, x, h - 8, 3, GOLD_LIGHT, GOLD_DARK)
    for y in range(47, h - 40, 40):
        draw_diamond(canvas, 7, y, 3, GOLD_LIGHT, GOLD_DARK)
        draw_diamond(canvas, w - 8, y, 3, GOLD_LIGHT, GOLD_DARK)
    for cx, cy in ((14, 14), (w - 15, 14), (14, h - 15), (w - 15, h - 15)):
        draw_diamond(canvas, cx, cy, 9, GOLD, OUTLINE)
        draw_diamond(canvas, cx, cy, 4, (150, 30, 30), GOLD_LIGHT)


def draw_sky_and_land(canvas):
    w, h = canvas.width, canvas.height
    top, bottom = (34, 26, 64), (6, 6, 14)
    for y in range(h):
        base = mix(top, bottom, y / (h - 1))
        for x in range(w):
            grain = (noise(x, y) - 0.5) * 10
            canvas.put(x, y, tuple(c + grain for c in base))
    # Stars in the upper sky.
    for i in range(160):
        x = int(noise(i, 1, 7) * (w - 40)) + 20
        y = int(noise(i, 2, 7) * 170) + 20
        canvas.blend(x, y, (255, 255, 230), 0.4 + 0.6 * noise(i, 3, 7))
    # Two ranges of mountains behind everything else.
    for layer, (colour, base, amp) in enumerate((((40, 34, 70), 250, 55), ((20, 18, 36), 275, 40))):
        for x in range(w):
            ridge = base - amp * (0.55 * math.sin(x / 47.0 + layer * 2.1) + 0.3 * math.sin(x / 19.0 + layer)
                                  + 0.15 * math.sin(x / 7.0))
            for y in range(int(ridge), h):
                shade = mix(colour, (4, 4, 10), min(1.0, (y - ridge) / 160.0))
                canvas.put(x, y, tuple(c + (noise(x, y, layer + 3) - 0.5) * 8 for c in shade))


def draw_panel(canvas, rect, margin):
    """A dark, still textured panel behind a control, with a thin gold edge."""
    left, top, width, height = rect
    canvas.darken(left - margin, top - margin, width + 2 * margin, height + 2 * margin, 0.45)
    canvas.ring(left - margin - 1, top - margin - 1, width + 2 * margin + 2, height + 2 * margin + 2, GOLD_DARK)


def draw_trough(canvas, bar, label):
    left = min(bar[0], label[0]) - 4
    top = min(bar[1], label[1]) - 4
    right = max(bar[0] + bar[2], label[0] + label[2]) + 4
    bottom = max(bar[1] + bar[3], label[1] + label[3]) + 4
    for y in range(top, bottom):
        for x in range(left, right):
            canvas.put(x, y, tuple(c + (noise(x, y, 11) - 0.5) * 6 for c in (14, 12, 18)))
    for x in range(left, right):
        canvas.put(x, top, (0, 0, 0))
        canvas.put(x, bottom - 1, (70, 60, 80))
    for y in range(top, bottom):
        canvas.put(left, y, (0, 0, 0))
        canvas.put(right - 1, y, (70, 60, 80))
    canvas.ring(left - 1, top - 1, right - left + 2, bottom - top + 2, GOLD_DARK)


def draw_button(canvas, rect, caption, face_top, face_bottom):
    """A bevelled button filling exactly rect: dark outline on its edge, light bevel inside."""
    left, top, width, height = rect
    for y in range(top, top + height):
        face = mix(face_top, face_bottom, (y - top) / (height - 1))
        for x in range(left, left + width):
            canvas.put(x, y, face)
    canvas.ring(left + 1, top + 1, width - 2, height - 2, mix(face_top, (255, 255, 255), 0.5))
    for x in range(left + 2, left + width - 1):
        canvas.put(x, top + height - 2, mix(face_bottom, (0, 0, 0), 0.5))
    for y in range(top + 2, top + height - 1):
        canvas.put(left + width - 2, y, mix(face_bottom, (0, 0, 0), 0.5))
    canvas.ring(left, top, width, height, OUTLINE)
    scale, gap = 2, 2
    tx = left + (width - text_width(caption, scale, gap)) // 2
    ty = top + (height - GLYPH_H * scale) // 2
    draw_text(canvas, caption, tx, ty, scale, gap, (255, 244, 210), shadow=(20, 12, 4))


def background():
    canvas = Canvas(*BACKGROUND_SIZE)
    draw_sky_and_land(canvas)
    draw_frame(canvas)
    draw_logo(canvas, "VANDREL", 64, 8)
    draw_panel(canvas, CONSOLE, 6)
    draw_trough(canvas, BAR, LABEL)
    draw_button(canvas, IMG_JUGAR, "JUGAR", (70, 150, 60), (24, 70, 20))
    draw_button(canvas, IMG_SALIR, "SALIR", (160, 52, 44), (72, 16, 12))
    return canvas


def progress_bar():
    width, height = BAR_SIZE
    canvas = Canvas(width, height)
    left, right = (0, 84, 18), (120, 236, 70)
    for x in range(width):
        base = mix(left, right, x / (width - 1))
        for y in range(height):
            t = y / (height - 1)
            # A gloss in the upper third, a shade towards the bottom edge.
            light = 0.35 * max(0.0, 1.0 - t * 3.0) - 0.35 * max(0.0, t - 0.6)
            colour = mix(base, (255, 255, 255), light) if light > 0 else mix(base, (0, 0, 0), -light)
            canvas.put(x, y, colour)
    for x in range(width):
        canvas.put(x, 0, mix(canvas.get(x, 0), (0, 0, 0), 0.5))
        canvas.put(x, height - 1, mix(canvas.get(x, height - 1), (0, 0, 0), 0.6))
    return canvas


def icon():
    """A gold ring around a dark medallion with a block V; alpha edges; 4,286 bytes."""
    size = ICON_SIZE
    c = (size - 1) / 2.0
    rgba = []
    for y in range(size):
        for x in range(size):
            d = math.hypot(x - c, y - c)
            alpha = clamp((15.5 - d) * 255) if d > 14.5 else 255
            if d > 15.5:
                rgba.append((0, 0, 0, 0))
                continue
            if d > 12.5:
                colour = mix(GOLD_LIGHT, GOLD_DARK, (x + y) / (2.0 * size))
            elif d > 11.5:
                colour = OUTLINE
            else:
                colour = mix((44, 34, 90), (10, 8, 24), y / size)
            rgba.append(colour + (alpha,))
    glyph = GLYPHS["V"]
    scale = 3
    ox = (size - GLYPH_W * scale) // 2
    oy = (size - GLYPH_H * scale) // 2 + 1
    for row, bits in enumerate(glyph):
        for col, bit in enumerate(bits):
            if bit != "X":
                continue
            for dy in range(scale):
                for dx in range(scale):
                    x, y = ox + col * scale + dx, oy + row * scale + dy
                    colour = GOLD_LIGHT if dy == 0 else GOLD
                    rgba[y * size + x] = colour + (255,)
    xor = bytearray()
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        bits = 0
        row_mask = bytearray()
        for x in range(size):
            r, g, b, a = rgba[y * size + x]
            xor += bytes((b, g, r, a))
            bits = (bits << 1) | (1 if a == 0 else 0)
            if x % 8 == 7:
                row_mask.append(bits)
                bits = 0
        mask += row_mask  # 32 pixels: 4 bytes, already a multiple of 4
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + bytes(xor) + bytes(mask)
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 6 + 16)
    data = header + entry + image
    assert len(data) == 4286, len(data)
    return data


def write(path, data):
    temporary = path + ".tmp"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_assets.py <output folder>")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write(os.path.join(out, "background.bmp"), background().bmp24())
    write(os.path.join(out, "progress_bar.bmp"), progress_bar().bmp24())
    write(os.path.join(out, "updater.ico"), icon())


if __name__ == "__main__":
    main()
