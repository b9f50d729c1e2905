#!/usr/bin/env python3
"""Draws the program icon (resource 101): a flat dark tile with a blue disc and a
white play mark, in every size Windows and the wizard's pages pick from, all in
one .ico file.

Each size is drawn for its own pixel grid with the skin pictures' rasteriser
(res/images/generate.py): the tile's edges and the mark's upright side sit on
whole pixels, so no size is another one scaled. The pages draw the icon at
64 x DPI/96 pixels (64, 80, 96 and 128); the shell takes 16 to 48 and 256.
Sizes from 48 up are stored as PNG (a 48-pixel bitmap alone would be 9 KiB of
the download), the smaller ones as 32-bit bitmaps for the oldest readers.
Standard library only.

Usage: res/icon/make-icon.py   (writes res/icon/installer.ico)
"""

import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "images"))
from generate import Canvas, png_bytes, round_rect  # noqa: E402

SIZES = (256, 128, 96, 80, 64, 48, 32, 24, 16)
TILE = (0x18, 0x19, 0x1E)
DISC = (0x07, 0xA5, 0xD8)
WHITE = (255, 255, 255)


def disc(cx, cy, radius):
    return (lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius), \
        (cx - radius, cy - radius, cx + radius, cy + radius)


def play_mark(left, top, bottom, tip_x):
    """A triangle with an upright left side from (left, top) to (left, bottom),
    pointing right to (tip_x, middle)."""
    middle = (top + bottom) / 2.0
    half = (bottom - top) / 2.0
    length = tip_x - left

    def inside(x, y):
        if x < left or x > tip_x:
            return False
        return abs(y - middle) <= half * (1.0 - (x - left) / length)
    return inside, (left, top, tip_x, bottom)


def icon(size):
    """The 256-pixel design (tile 8..248, corner 44, disc radius 88, mark
    106..178 by 86..170) fitted to `size`."""
    k = size / 256.0
    c = Canvas(size, size)
    margin = max(1, round(8 * k)) if size > 16 else 1
    c.fill(round_rect(margin, margin, size - margin, size - margin, max(1.5, 44 * k)), TILE)
    c.fill(disc(size / 2.0, size / 2.0, 88 * k), DISC)
    left = round(106 * k)
    top, bottom = 86 * k, 170 * k
    c.fill(play_mark(left, top, bottom, left + 72 * k), WHITE)
    return c


def bitmap_entry(canvas):
    """A 32-bit icon image: BITMAPINFOHEADER (double height), BGRA rows bottom
    up, then the AND mask (unused with alpha, all zero) padded to 32 bits."""
    w, h = canvas.width, canvas.height
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = canvas.rgba_rows()
    pixels = bytearray()
    for row in reversed(rows):
        for x in range(w):
            r, g, b, a = row[4 * x:4 * x + 4]
            pixels += bytes((b, g, r, a))
    mask_stride = ((w + 31) // 32) * 4
    return header + bytes(pixels) + bytes(mask_stride * h)


def write_ico(path, canvases):
    images = [png_bytes(c) if c.width >= 48 else bitmap_entry(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        side = 0 if c.width >= 256 else c.width
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def main():
    path = os.path.join(HERE, "installer.ico")
    write_ico(path, [icon(size) for size in SIZES])
    print(f"{path}: {', '.join(str(s) for s in SIZES)} px, {os.path.getsize(path)} bytes")


if __name__ == "__main__":
    main()
