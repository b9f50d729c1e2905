#!/usr/bin/env python3
"""Draws the skin's pictures.

Every picture is described as vector shapes in its own pixel grid, so each of the
four sizes is drawn for its grid (axis-aligned strokes sit on whole pixels) rather
than scaled from another size. Shapes are rasterised with 8x8 supersampling and
written as RGBA PNG files. Standard library only.

Usage: res/images/generate.py   (writes next to this script)
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SUPERSAMPLE = 8

# Colours of the skin (red, green, blue).
GLYPH = (200, 200, 200)          # caption text colour: caption button glyphs
ACCENT = (7, 165, 216)           # text button and progress bar blue
WHITE = (255, 255, 255)
BOX_BACK = (47, 48, 52)          # edit box background
BOX_EDGE = (120, 122, 128)
ARROW = (185, 186, 187)          # label text colour


# ---- shapes: each is a function (x, y) -> inside, plus a bounding box ----

def segment(x0, y0, x1, y1, width):
    half = width / 2.0
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy or 1e-9

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx - x, y0 + t * dy - y
        return px * px + py * py <= half * half
    box = (min(x0, x1) - half, min(y0, y1) - half, max(x0, x1) + half, max(y0, y1) + half)
    return inside, box


def polyline(points, width):
    parts = [segment(*points[i], *points[i + 1], width) for i in range(len(points) - 1)]
    return union(parts)


def union(parts):
    tests = [p[0] for p in parts]
    box = (min(p[1][0] for p in parts), min(p[1][1] for p in parts),
           max(p[1][2] for p in parts), max(p[1][3] for p in parts))
    return (lambda x, y: any(t(x, y) for t in tests)), box


def rect(left, top, right, bottom):
    return (lambda x, y: left <= x < right and top <= y < bottom), (left, top, right, bottom)


def round_rect(left, top, right, bottom, radius):
    def inside(x, y):
        if not (left <= x < right and top <= y < bottom):
            return False
        cx = min(max(x, left + radius), right - radius)
        cy = min(max(y, top + radius), bottom - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius
    return inside, (left, top, right, bottom)


def frame(left, top, right, bottom, width):
    """Outline of a rectangle, the stroke lying inside its edges."""
    return union([rect(left, top, right, top + width), rect(left, bottom - width, right, bottom),
                  rect(left, top, left + width, bottom), rect(right - width, top, right, bottom)])


def round_frame(left, top, right, bottom, radius, width):
    outer = round_rect(left, top, right, bottom, radius)[0]
    inner = round_rect(left + width, top + width, right - width, bottom - width,
                       max(0.0, radius - width))[0]
    return (lambda x, y: outer(x, y) and not inner(x, y)), (left, top, right, bottom)


# ---- canvas ----

class Canvas:
    def __init__(self, width, height):
        self.width, self.height = width, height
        # Premultiplied floats 0..1: r, g, b, a per pixel.
        self.pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def fill(self, shape, colour, opacity=1.0):
        inside, (l, t, r, b) = shape
        n = SUPERSAMPLE
        offsets = [(i + 0.5) / n for i in range(n)]
        for py in range(max(0, int(math.floor(t))), min(self.height, int(math.ceil(b)) + 1)):
            for px in range(max(0, int(math.floor(l))), min(self.width, int(math.ceil(r)) + 1)):
                hits = sum(1 for oy in offsets for ox in offsets if inside(px + ox, py + oy))
                if not hits:
                    continue
                a = opacity * hits / (n * n)
                p = self.pixels[py * self.width + px]
                for c in range(3):
                    p[c] = colour[c] / 255.0 * a + p[c] * (1 - a)
                p[3] = a + p[3] * (1 - a)

    def rgba_rows(self):
        rows = []
        for y in range(self.height):
            row = bytearray()
            for x in range(self.width):
                r, g, b, a = self.pixels[y * self.width + x]
                if a <= 0:
                    row += b"\0\0\0\0"
                    continue
                row += bytes(min(255, int(round(v / a * 255))) for v in (r, g, b))
                row.append(min(255, int(round(a * 255))))
            rows.append(bytes(row))
        return rows


def png_bytes(canvas):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + row for row in canvas.rgba_rows())
    header = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write_png(name, canvas):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(png_bytes(canvas))


# ---- the pictures ----

CAPTION_SIZES = (16, 20, 24, 32)
# Glyph box and stroke per caption size: whole pixels, so the edges stay sharp.
GLYPH_BOX = {16: 10, 20: 12, 24: 14, 32: 20}
AXIS_STROKE = {16: 1, 20: 1, 24: 1, 32: 2}
DIAGONAL_STROKE = {16: 1.2, 20: 1.4, 24: 1.6, 32: 2.2}


def glyph_origin(size):
    box = GLYPH_BOX[size]
    return (size - box) // 2, box


def close_glyph(size):
    c = Canvas(size, size)
    o, g = glyph_origin(size)
    w = DIAGONAL_STROKE[size]
    c.fill(union([segment(o + 0.5, o + 0.5, o + g - 0.5, o + g - 0.5, w),
                  segment(o + g - 0.5, o + 0.5, o + 0.5, o + g - 0.5, w)]), GLYPH)
    return c


def minimize_glyph(size):
    c = Canvas(size, size)
    o, g = glyph_origin(size)
    s = AXIS_STROKE[size]
    y = size // 2
    c.fill(rect(o, y, o + g, y + s), GLYPH)
    return c


def maximize_glyph(size):
    c = Canvas(size, size)
    o, g = glyph_origin(size)
    c.fill(frame(o, o, o + g, o + g, AXIS_STROKE[size]), GLYPH)
    return c


def restore_glyph(size):
    c = Canvas(size, size)
    o, g = glyph_origin(size)
    s = AXIS_STROKE[size]
    shift = max(2, round(g / 5))
    front = (o, o + shift, o + g - shift, o + g)
    c.fill(frame(*front, s), GLYPH)
    # The window behind shows only its top and right edges.
    c.fill(union([rect(o + shift, o, o + g, o + s), rect(o + g - s, o, o + g, o + g - shift),
                  rect(o + shift, o, o + shift + s, o + shift),
                  rect(o + g - shift, o + g - shift - s, o + g, o + g - shift)]), GLYPH)
    return c


def check_box(size, ticked):
    c = Canvas(size, size)
    margin = {16: 1, 20: 2, 24: 2, 32: 3}[size]
    scale = size / 16.0
    box = (margin, margin, size - margin, size - margin)
    radius = 2.0 * scale
    if ticked:
        c.fill(round_rect(*box, radius), ACCENT)
        pts = [(0.27, 0.52), (0.43, 0.68), (0.74, 0.35)]
        c.fill(polyline([(x * size, y * size) for x, y in pts], 1.6 * scale), WHITE)
    else:
        c.fill(round_rect(*box, radius), BOX_BACK)
        c.fill(round_frame(*box, radius, AXIS_STROKE[size]), BOX_EDGE)
    return c


ARROW_SIZES = ((14, 8), (17, 11), (21, 12), (28, 16))


def arrow(size, pointing_down):
    w, h = size
    c = Canvas(w, h)
    scale = w / 14.0
    stroke = 1.5 * scale
    span = min(w - 2 * stroke, 2 * (h - 2 * stroke))   # a right angle that fits
    half = span / 2
    cx, cy = w / 2.0, h / 2.0
    rise = half / 2
    if pointing_down:
        pts = [(cx - half, cy - rise), (cx, cy + rise), (cx + half, cy - rise)]
    else:
        pts = [(cx - half, cy + rise), (cx, cy - rise), (cx + half, cy + rise)]
    c.fill(polyline(pts, stroke), ARROW)
    return c


# Stroke letters in a unit box (x right, y down).
LETTERS = {
    "Z": [[(0, 0), (1, 0), (0, 1), (1, 1)]],
    "U": [[(0, 0), (0, 0.72), (0.28, 1), (0.72, 1), (1, 0.72), (1, 0)]],
    "N": [[(0, 1), (0, 0), (1, 1), (1, 0)]],
    "D": [[(0, 0), (0, 1), (0.6, 1), (1, 0.66), (1, 0.34), (0.6, 0), (0, 0)]],
    "E": [[(1, 0), (0, 0), (0, 1), (1, 1)], [(0, 0.5), (0.8, 0.5)]],
    "R": [[(0, 1), (0, 0), (0.74, 0), (1, 0.24), (0.74, 0.5), (0, 0.5)], [(0.5, 0.5), (1, 1)]],
}
LOGO_SIZES = ((161, 26), (202, 33), (242, 39), (321, 52))


def logo(size):
    w, h = size
    c = Canvas(w, h)
    scale = h / 26.0
    # The mark: a blue rounded square with a white Z.
    c.fill(round_rect(0, 0, h, h, 5 * scale), ACCENT)
    inset = 7 * scale
    stroke = 2.6 * scale
    z = [(inset, inset), (h - inset, inset), (inset, h - inset), (h - inset, h - inset)]
    c.fill(polyline(z, stroke), WHITE)
    # The word, in white stroke letters centred on the mark's height.
    cap = 12 * scale
    letter_w = 10.5 * scale
    gap = 6.2 * scale
    x = h + 10 * scale
    top = (h - cap) / 2
    strokes = []
    for ch in "ZUNDER":
        for line in LETTERS[ch]:
            strokes.append(polyline([(x + px * letter_w, top + py * cap) for px, py in line],
                                    2.0 * scale))
        x += letter_w + gap
    c.fill(union(strokes), WHITE)
    return c


def main():
    for size in CAPTION_SIZES:
        write_png(f"close_{size}.png", close_glyph(size))
        write_png(f"minimize_{size}.png", minimize_glyph(size))
        write_png(f"maximize_{size}.png", maximize_glyph(size))
        write_png(f"restore_{size}.png", restore_glyph(size))
        write_png(f"check_on_{size}.png", check_box(size, True))
        write_png(f"check_off_{size}.png", check_box(size, False))
    for size in ARROW_SIZES:
        write_png(f"arrow_down_{size[0]}x{size[1]}.png", arrow(size, True))
        write_png(f"arrow_up_{size[0]}x{size[1]}.png", arrow(size, False))
    for size in LOGO_SIZES:
        write_png(f"logo_{size[0]}x{size[1]}.png", logo(size))


if __name__ == "__main__":
    main()
