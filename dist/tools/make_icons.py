#!/usr/bin/env python3
"""Draws Velmora's application icon as SVG, as a 48 px PNG and as a Windows icon.

    python3 dist/tools/make_icons.py [OUTPUT_DIR]    (default: dist/icons)

writes OUTPUT_DIR/example.quenmark.Velmora.svg,
OUTPUT_DIR/48x48/example.quenmark.Velmora.png and
OUTPUT_DIR/example.quenmark.Velmora.ico (16, 24, 32, 48 and 256 px, the sizes
Windows asks a program file for).

The icon is a white spreadsheet with a green header row, a light green grid and
a bold green tick. Both files come from the one list of shapes below, so they
cannot drift apart: the SVG spells the shapes out, the PNG samples the same
shapes 4x4 times per pixel. Standard library only, so the output is the same on
every machine; a test checks that running the script again gives the committed
files byte for byte.
"""

import argparse
import math
import struct
import zlib
from pathlib import Path

NAME = "example.quenmark.Velmora"
SIZE = 48
SAMPLES = 4  # per pixel side
ICO_SIZES = [16, 24, 32, 48, 256]

WHITE = "#ffffff"
HEADER = "#2e9d52"
BORDER = "#1d7a3a"
GRID = "#9ad0ab"
TICK = "#146c2e"

SHEET = (5.0, 7.0, 38.0, 34.0, 4.0)  # x, y, width, height, corner radius
TICK_POINTS = [(14.0, 29.0), (21.0, 36.0), (36.0, 19.0)]

# Painted in order. "clip" keeps a shape inside the sheet's outline.
SHAPES = [
    {"kind": "rrect", "box": SHEET, "fill": WHITE},
    {"kind": "rect", "box": (5.0, 7.0, 38.0, 8.0), "fill": HEADER, "clip": True},
    {"kind": "lines", "points": [(17.0, 15.0), (17.0, 41.0)], "stroke": GRID, "width": 1.5},
    {"kind": "lines", "points": [(30.0, 15.0), (30.0, 41.0)], "stroke": GRID, "width": 1.5},
    {"kind": "lines", "points": [(5.0, 23.0), (43.0, 23.0)], "stroke": GRID, "width": 1.5},
    {"kind": "lines", "points": [(5.0, 32.0), (43.0, 32.0)], "stroke": GRID, "width": 1.5},
    {"kind": "rrect", "box": SHEET, "stroke": BORDER, "width": 2.0},
    # A white rim lifts the tick off the grid lines.
    {"kind": "lines", "points": TICK_POINTS, "stroke": WHITE, "width": 8.0},
    {"kind": "lines", "points": TICK_POINTS, "stroke": TICK, "width": 5.0},
]


def fmt(v):
    return ("%.2f" % v).rstrip("0").rstrip(".")


def svg_text():
    x, y, w, h, r = SHEET
    out = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">'
        % (SIZE, SIZE, SIZE, SIZE),
        "  <defs>",
        '    <clipPath id="sheet">',
        '      <rect x="%s" y="%s" width="%s" height="%s" rx="%s"/>' % tuple(map(fmt, SHEET)),
        "    </clipPath>",
        "  </defs>",
    ]
    for s in SHAPES:
        paint = (
            'fill="%s"' % s["fill"]
            if "fill" in s
            else 'fill="none" stroke="%s" stroke-width="%s"' % (s["stroke"], fmt(s["width"]))
        )
        if s["kind"] == "rrect":
            out.append('  <rect x="%s" y="%s" width="%s" height="%s" rx="%s" %s/>'
                       % (*map(fmt, s["box"]), paint))
        elif s["kind"] == "rect":
            clip = ' clip-path="url(#sheet)"' if s.get("clip") else ""
            out.append('  <rect x="%s" y="%s" width="%s" height="%s" %s%s/>'
                       % (*map(fmt, s["box"]), paint, clip))
        else:
            pts = " ".join("%s,%s" % (fmt(px), fmt(py)) for px, py in s["points"])
            out.append('  <polyline points="%s" %s stroke-linecap="round" stroke-linejoin="round"/>'
                       % (pts, paint))
    out.append("</svg>")
    return "\n".join(out) + "\n"


def rrect_distance(p, box):
    """Signed distance from p to a rounded box's outline, negative inside."""
    x, y, w, h, r = box
    cx, cy = x + w / 2, y + h / 2
    qx = abs(p[0] - cx) - (w / 2 - r)
    qy = abs(p[1] - cy) - (h / 2 - r)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - r


def polyline_distance(p, points):
    best = math.inf
    for (ax, ay), (bx, by) in zip(points, points[1:]):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((p[0] - ax) * dx + (p[1] - ay) * dy) / (dx * dx + dy * dy)))
        best = min(best, math.hypot(p[0] - (ax + t * dx), p[1] - (ay + t * dy)))
    return best


def covers(shape, p):
    kind = shape["kind"]
    if kind == "rrect":
        d = rrect_distance(p, shape["box"])
        return d <= 0 if "fill" in shape else abs(d) <= shape["width"] / 2
    if kind == "rect":
        x, y, w, h = shape["box"]
        if shape.get("clip") and rrect_distance(p, SHEET) > 0:
            return False
        return x <= p[0] <= x + w and y <= p[1] <= y + h
    return polyline_distance(p, shape["points"]) <= shape["width"] / 2


def settled(shape, centre, reach):
    """Whether every point within `reach` of `centre` is covered (True) or none is
    (False); None when that takes a look at each. Each measure below changes no faster
    than the point moves, so its value at the centre settles a whole pixel far from 0."""
    if shape["kind"] == "rect":
        x, y, w, h = shape["box"]
        d = max(x - centre[0], centre[0] - x - w, y - centre[1], centre[1] - y - h)
        if shape.get("clip"):
            d = max(d, rrect_distance(centre, SHEET))
    elif shape["kind"] == "lines":
        d = polyline_distance(centre, shape["points"]) - shape["width"] / 2
    else:
        d = rrect_distance(centre, shape["box"])
        if "fill" not in shape:
            d = abs(d) - shape["width"] / 2
    return True if d < -reach else False if d > reach else None


def rgb(color):
    return tuple(int(color[i:i + 2], 16) / 255 for i in (1, 3, 5))


def bounds(shape):
    """The box, in design units, outside which the shape covers nothing."""
    if shape["kind"] == "lines":
        xs, ys = zip(*shape["points"])
        pad = shape["width"] / 2
        return min(xs) - pad, min(ys) - pad, max(xs) + pad, max(ys) + pad
    x, y, w, h = shape["box"][:4]
    pad = shape.get("width", 0.0) / 2
    return x - pad, y - pad, x + w + pad, y + h + pad


def render(size=SIZE):
    """Returns size rows of straight-alpha RGBA bytes, the design scaled to size."""
    rows = []
    unit = SIZE / size
    offsets = [(i + 0.5) / SAMPLES * unit for i in range(SAMPLES)]
    reach = unit * 0.71  # a little more than from a pixel's centre to its corners
    boxes = [bounds(s) for s in SHAPES]
    for py in range(size):
        row = bytearray()
        for px in range(size):
            # Premultiplied colour and alpha, painted shape by shape ("over").
            r = g = b = a = 0.0
            x0, y0 = px * unit, py * unit
            for s, (left, top, right, bottom) in zip(SHAPES, boxes):
                # Only a pixel that overlaps the shape's box is sampled: the 256 px image
                # would otherwise take a minute.
                if x0 > right or y0 > bottom or x0 + unit < left or y0 + unit < top:
                    continue
                whole = settled(s, (x0 + unit / 2, y0 + unit / 2), reach)
                if whole is None:
                    hits = sum(covers(s, (x0 + ox, y0 + oy)) for ox in offsets for oy in offsets)
                else:
                    hits = SAMPLES * SAMPLES if whole else 0
                if not hits:
                    continue
                cov = hits / (SAMPLES * SAMPLES)
                sr, sg, sb = rgb(s.get("fill") or s["stroke"])
                r, g, b = (sr * cov + r * (1 - cov), sg * cov + g * (1 - cov),
                           sb * cov + b * (1 - cov))
                a = cov + a * (1 - cov)
            if a > 0:
                row += bytes(round(c / a * 255) for c in (r, g, b)) + bytes([round(a * 255)])
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def png_bytes(rows):
    size = len(rows)

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))

    raw = b"".join(b"\0" + row for row in rows)  # filter type 0 on every row
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def dib_bytes(rows):
    """An icon image as Windows' own bitmap: BGRA rows bottom up, then the 1-bit mask
    that older readers use (set where the image is fully transparent)."""
    size = len(rows)
    mask_stride = (size + 31) // 32 * 4
    colour, mask = bytearray(), bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x in range(size):
            red, green, blue, alpha = row[4 * x:4 * x + 4]
            colour += bytes((blue, green, red, alpha))
            if alpha == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    # The header's height counts the colour rows and the mask rows.
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(colour) + len(mask),
                         0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def ico_bytes():
    """The .ico file: bitmaps up to 48 px, and the 256 px image as PNG, as Windows
    Vista and later read it (the bitmap would be a quarter megabyte)."""
    images = [dib_bytes(render(size)) for size in ICO_SIZES[:-1]]
    images.append(png_bytes(render(ICO_SIZES[-1])))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = len(out) + 16 * len(images)
    for size, data in zip(ICO_SIZES, images):
        # A width or height of 256 is written as 0.
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    parser = argparse.ArgumentParser(description="Write the application icon as SVG, PNG and ICO.")
    parser.add_argument("output_dir", nargs="?", type=Path,
                        default=Path(__file__).resolve().parent.parent / "icons")
    args = parser.parse_args()
    (args.output_dir / "48x48").mkdir(parents=True, exist_ok=True)
    (args.output_dir / (NAME + ".svg")).write_text(svg_text(), encoding="utf-8")
    (args.output_dir / "48x48" / (NAME + ".png")).write_bytes(png_bytes(render()))
    (args.output_dir / (NAME + ".ico")).write_bytes(ico_bytes())


if __name__ == "__main__":
    main()
