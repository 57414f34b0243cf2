#!/usr/bin/env python3
"""Draws the application icon (a question sheet with a mark) at every size
the desktop's icon theme asks for, plus a scalable SVG, into res/icons/.

    python3 scripts/make_icons.py

The drawing is defined once, on a 32-unit square, and rasterised here with
8 x 8 samples per pixel, so that no outside tool is needed.
"""
import os
import struct
import zlib

APP_ID = "org.molvane.Molvane"
SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
BLUE = (0x1F, 0x4E, 0x9A)
WHITE = (0xFF, 0xFF, 0xFF)
ORANGE = (0xD8, 0x3B, 0x01)

# Shapes on the 32-unit square, painted in order: (kind, colour, geometry).
SHAPES = [
    ("rect", BLUE, (0, 0, 32, 32, 4.0)),            # x, y, width, height, corner radius
    ("rect", WHITE, (4.5, 4.5, 23, 23, 2.5)),
    ("rect", BLUE, (8, 9, 16, 3, 0.0)),
    ("rect", BLUE, (8, 15, 16, 3, 0.0)),
    ("rect", BLUE, (8, 21, 10, 3, 0.0)),
    ("circle", ORANGE, (22.5, 22.5, 3.6)),          # centre x, y, radius
]


def inside(kind, geometry, x, y):
    if kind == "circle":
        cx, cy, r = geometry
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    left, top, width, height, radius = geometry
    right, bottom = left + width, top + height
    if not (left <= x <= right and top <= y <= bottom):
        return False
    # The corners are quarter circles.
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def render(size, samples=8):
    scale = 32.0 / size
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    colour = None
                    for kind, fill, geometry in SHAPES:
                        if inside(kind, geometry, x, y):
                            colour = fill
                    if colour is not None:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = samples * samples
            alpha = acc[3] / n
            if acc[3]:
                row += bytes(round(acc[i] / acc[3]) for i in range(3))
            else:
                row += b"\0\0\0"
            row.append(round(alpha * 255))
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + r for r in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def svg():
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">']
    for kind, fill, geometry in SHAPES:
        colour = "#%02X%02X%02X" % fill
        if kind == "circle":
            cx, cy, r = geometry
            parts.append(f'  <circle cx="{cx}" cy="{cy}" r="{r}" fill="{colour}"/>')
        else:
            x, y, w, h, r = geometry
            parts.append(f'  <rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" fill="{colour}"/>')
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res", "icons", "hicolor")
    for size in SIZES:
        folder = os.path.join(root, f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, APP_ID + ".png"), "wb") as f:
            f.write(png(size, render(size, 8 if size <= 64 else 4)))
    folder = os.path.join(root, "scalable", "apps")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, APP_ID + ".svg"), "w", encoding="utf-8") as f:
        f.write(svg())


if __name__ == "__main__":
    main()
