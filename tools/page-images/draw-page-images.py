#!/usr/bin/env python3
"""Draws the page's small images as PNG files into Resources/Images (and the sample editor's icon).

The artwork is plain geometry (anti-aliased by supersampling), so it is kept as this script and
its output; run it again after changing a shape:  python3 tools/page-images/draw-page-images.py
"""
import math
import os
import struct
import sys
import zlib

SUPERSAMPLING = 4


def write_png(path, width, height, pixels):
    """pixels: rows of (r, g, b, a) tuples with components 0-255."""
    raw = b"".join(b"\x00" + bytes(c for pixel in row for c in pixel) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as file:
        file.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def render(size, shade):
    """shade(x, y) -> (r, g, b, a) with x, y in 0..1 and components 0..1; returns pixel rows."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUPERSAMPLING):
                for sx in range(SUPERSAMPLING):
                    x = (px + (sx + 0.5) / SUPERSAMPLING) / size
                    y = (py + (sy + 0.5) / SUPERSAMPLING) / size
                    r, g, b, a = shade(x, y)
                    total = [total[0] + r * a, total[1] + g * a, total[2] + b * a, total[3] + a]
            samples = SUPERSAMPLING * SUPERSAMPLING
            alpha = total[3] / samples
            if alpha > 0:
                colour = [min(255, int(total[i] / total[3] * 255 + 0.5)) for i in range(3)]
            else:
                colour = [0, 0, 0]
            row.append((colour[0], colour[1], colour[2], int(alpha * 255 + 0.5)))
        rows.append(row)
    return rows


def inside_rounded_square(x, y, margin, radius):
    dx = max(abs(x - 0.5) - (0.5 - margin - radius), 0)
    dy = max(abs(y - 0.5) - (0.5 - margin - radius), 0)
    return dx * dx + dy * dy <= radius * radius


def caution(x, y):
    # An amber triangle with a dark exclamation mark.
    top, bottom, half = 0.06, 0.92, 0.46
    in_triangle = top <= y <= bottom and abs(x - 0.5) <= half * (y - top) / (bottom - top)
    if not in_triangle:
        return (0, 0, 0, 0)
    bar = abs(x - 0.5) <= 0.055 and 0.34 <= y <= 0.66
    dot = (x - 0.5) ** 2 + (y - 0.78) ** 2 <= 0.06 ** 2
    if bar or dot:
        return (0.2, 0.16, 0.05, 1)
    return (1.0, 0.76, 0.1, 1)


def preview_applications(x, y):
    # A blue tile with a four-pointed white sparkle.
    if not inside_rounded_square(x, y, 0.04, 0.2):
        return (0, 0, 0, 0)
    dx, dy = abs(x - 0.5), abs(y - 0.5)
    if math.sqrt(dx) + math.sqrt(dy) <= math.sqrt(0.3):
        return (1, 1, 1, 1)
    return (0.1, 0.45 + 0.25 * (1 - y), 0.95, 1)


def generic_application(x, y):
    # A grey tile with a window outline: the icon of an application that brings none.
    if not inside_rounded_square(x, y, 0.08, 0.18):
        return (0, 0, 0, 0)
    in_window = 0.24 <= x <= 0.76 and 0.28 <= y <= 0.72
    title_bar = in_window and y <= 0.36
    frame = in_window and (x <= 0.28 or x >= 0.72 or y >= 0.68)
    if title_bar or frame:
        return (0.98, 0.98, 0.98, 1)
    shade = 0.55 + 0.2 * (1 - y)
    return (shade, shade, shade + 0.04, 1)


def text_editor(x, y):
    # The sample editor's icon: a white sheet with grey lines on a blue tile.
    if not inside_rounded_square(x, y, 0.08, 0.18):
        return (0, 0, 0, 0)
    if 0.28 <= x <= 0.72 and 0.2 <= y <= 0.8:
        line = 0.3 <= y <= 0.72 and (y - 0.3) % 0.09 < 0.035 and x <= (0.62 if (y - 0.3) // 0.09 % 2 else 0.66)
        return (0.55, 0.58, 0.62, 1) if line else (1, 1, 1, 1)
    return (0.16, 0.42 + 0.2 * (1 - y), 0.86, 1)


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "Resources", "Images")
    os.makedirs(folder, exist_ok=True)
    for name, size, shade in (("Caution", 44, caution), ("PreviewApplicationsHTML", 44, preview_applications),
                              ("GenericApplicationIcon", 128, generic_application),
                              # The list's icon for an application without one of its own.
                              ("AppIconPlaceholder", 256, generic_application)):
        write_png(os.path.join(folder, name + ".png"), size, size, render(size, shade))
    # The icon of the sample editor, which the examples generator wraps into an icon file.
    examples = os.path.join(folder, "..", "..", "examples", "icons")
    os.makedirs(examples, exist_ok=True)
    write_png(os.path.join(examples, "TextEditor.png"), 128, 128, render(128, text_editor))
    return 0


if __name__ == "__main__":
    sys.exit(main())
