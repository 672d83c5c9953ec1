#!/usr/bin/env python3
"""Draws the picture buttons' artwork for dense screens: name@2x.xpm and name@3x.xpm beside
each 16 x 16 name.xpm (and the 32 x 32 window icon), in the same four colours.

Edges that run along the pixel grid (bars, frames, the button's own bevel) are the 1x art's
pixels, each k x k. Slanted edges (the triangles of play, eject and the steps) are drawn again
as polygons at the device's resolution, so that they are smooth steps of one device pixel
rather than blocks of k: a black outline one 1x pixel thick, grey inside, and a white band
inside the edges that face up or left, as the 1x art lights them.

Run it after changing the 1x art: python3 resources/icons/draw_icons.py
"""
import math
import os
import re

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))

# Triangles in 1x pixel-edge coordinates (pixel (c, r) covers [c, c+1] x [r, r+1]), clockwise
# on the screen, and the 1x area they replace.
TRIANGLES = {
    "play": ([[(3, 1), (10, 7.5), (3, 14)]], (3, 1, 10, 14)),
    "eject": ([[(6.5, 0.6), (12, 7), (1, 7)]], (1, 0, 12, 7)),
    "stepback": ([[(1, 7.5), (6, 3), (6, 12)], [(6, 7.5), (11, 3), (11, 12)]], (1, 3, 11, 12)),
    "stepfwd": ([[(2, 3), (7, 7.5), (2, 12)], [(7, 3), (12, 7.5), (7, 12)]], (2, 3, 12, 12)),
}


def read_xpm(path):
    text = open(path).read()
    rows = re.findall(r'"([^"]*)"', text)
    w, h, ncolors, cpp = (int(v) for v in rows[0].split()[:4])
    colors = rows[1:1 + ncolors]
    return w, h, colors, rows[1 + ncolors:1 + ncolors + h]


def write_xpm(path, name, colors, pixels):
    h, w = len(pixels), len(pixels[0])
    body = ",\n".join(f'"{line}"' for line in [f"{w} {h} {len(colors)} 1"] + colors + pixels)
    with open(path, "w") as f:
        f.write(f"/* XPM */\nstatic const char *{name}[] = {{\n{body}\n}};\n")


def inset(poly, d):
    """The convex polygon poly moved inwards by d on every side."""
    n = len(poly)
    lines = []
    for i in range(n):
        (x1, y1), (x2, y2) = poly[i], poly[(i + 1) % n]
        ex, ey = x2 - x1, y2 - y1
        length = math.hypot(ex, ey)
        nx, ny = -ey / length, ex / length  # inward for a clockwise polygon on the screen
        lines.append(((x1 + nx * d, y1 + ny * d), (ex, ey)))
    out = []
    for i in range(n):
        (p, r), (q, s) = lines[i - 1], lines[i]
        cross = r[0] * s[1] - r[1] * s[0]
        t = ((q[0] - p[0]) * s[1] - (q[1] - p[1]) * s[0]) / cross
        out.append((p[0] + t * r[0], p[1] + t * r[1]))
    return out


def lit_band(poly, d):
    """The band of width d inside the edges of poly that face up or left."""
    inner = inset(poly, d)
    bands = []
    n = len(poly)
    for i in range(n):
        (x1, y1), (x2, y2) = poly[i], poly[(i + 1) % n]
        outward = (y2 - y1, -(x2 - x1))
        if outward[0] + outward[1] < 0:
            bands.append([poly[i], poly[(i + 1) % n], inner[(i + 1) % n], inner[i]])
    return bands


def draw(name, k):
    w, h, colors, rows = read_xpm(os.path.join(HERE, name + ".xpm"))
    up = [("".join(c * k for c in row)) for row in rows for _ in range(k)]
    if name in TRIANGLES:
        triangles, (c0, r0, c1, r1) = TRIANGLES[name]
        codes = {line.split()[0]: line for line in colors}
        img = Image.new("P", (w * k, h * k), 0)
        mask = Image.new("1", (w * k, h * k), 0)
        pen, under = ImageDraw.Draw(img), ImageDraw.Draw(mask)
        scale = lambda poly: [(x * k, y * k) for x, y in poly]
        for tri in triangles:
            pen.polygon(scale(tri), fill=1)              # black outline
            under.polygon(scale(tri), fill=1)
            pen.polygon(scale(inset(tri, 1)), fill=2)    # grey inside
            for band in lit_band(inset(tri, 1), 1):
                pen.polygon(scale(band), fill=3)          # white light
        palette = {0: ".", 1: "k", 2: "d", 3: "w"}
        assert all(c in codes for c in "kdw.")
        rowsk = [list(r) for r in up]
        for y in range(r0 * k, r1 * k):
            for x in range(c0 * k, c1 * k):
                rowsk[y][x] = palette[img.getpixel((x, y))] if mask.getpixel((x, y)) else "."
        up = ["".join(r) for r in rowsk]
    write_xpm(os.path.join(HERE, f"{name}@{k}x.xpm"), f"{name}_{k}x", colors, up)


if __name__ == "__main__":
    for f in sorted(os.listdir(HERE)):
        if f.endswith(".xpm") and "@" not in f:
            for k in (2, 3):
                draw(f[:-4], k)
