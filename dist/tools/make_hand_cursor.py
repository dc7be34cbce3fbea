#!/usr/bin/env python3
"""Draws Velmora's hand cursor and writes it as a Windows .cur file.

    python3 dist/tools/make_hand_cursor.py [--show] [OUTPUT]   (default: dist/HAND-M.CUR)

The hand is a union of simple shapes (capsules and rounded boxes) sampled at
pixel centres on a 32x32 grid: an index finger pointing straight up, three
folded fingers, a thumb on the left and a cuff at the wrist. Pixels on the edge
of the union are black, the rest of the hand is white, and a few black strokes
mark the gaps between the folded fingers. Everything outside is transparent
through the AND mask.

The file is the classic monochrome cursor layout every Windows version reads:
one 1 bpp image with a black/white palette, XOR bitmap and AND mask stored
bottom-up, and the hotspot (the middle of the fingertip's top row) in the
directory entry where an icon would keep planes and bit count. Running the
script again must give the committed file byte for byte; a test checks that.
"""

import argparse
import math
import struct
import sys
from pathlib import Path

SIZE = 32

# Shapes in pixel units; (0, 0) is the top-left corner of the top-left pixel.
INDEX_FINGER = ("capsule", (11.5, 3.9), (11.5, 18.0), 2.9)
FOLDED_FINGERS = [
    ("capsule", (16.5, 12.6), (16.5, 19.0), 2.5),
    ("capsule", (20.5, 13.6), (20.5, 19.0), 2.5),
    ("capsule", (24.3, 15.0), (24.3, 19.0), 2.3),
]
THUMB = ("capsule", (4.6, 16.2), (10.0, 22.0), 2.4)
PALM = ("box", (8.6, 17.0), (26.6, 26.5), 3.0)
CUFF = ("box", (11.0, 25.0), (24.0, 31.0), 0.0)
SHAPES = [INDEX_FINGER, *FOLDED_FINGERS, THUMB, PALM, CUFF]

# Black strokes inside the hand: the gaps between fingers, where the thumb
# meets the palm, and the seam of the cuff.
STROKES = [
    ((13.5, 10.5), (13.5, 18.5)),
    ((18.5, 12.0), (18.5, 18.5)),
    ((22.5, 13.0), (22.5, 19.0)),
    ((8.0, 20.0), (9.5, 21.5)),
    ((11.0, 25.5), (24.0, 25.5)),
]


def segment_distance(p, a, b):
    ax, ay = a
    bx, by = b
    px, py = p
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def inside(shape, p):
    kind = shape[0]
    if kind == "capsule":
        _, a, b, r = shape
        return segment_distance(p, a, b) <= r
    _, (x0, y0), (x1, y1), r = shape
    # Rounded box: distance to the box shrunk by r must not exceed r.
    qx = max(x0 + r - p[0], 0.0, p[0] - (x1 - r))
    qy = max(y0 + r - p[1], 0.0, p[1] - (y1 - r))
    return math.hypot(qx, qy) <= r


def draw():
    """Returns rows of '.', 'X' (black) and 'o' (white), and the hotspot."""
    filled = [[any(inside(s, (x + 0.5, y + 0.5)) for s in SHAPES) for x in range(SIZE)]
              for y in range(SIZE)]

    def is_filled(x, y):
        return 0 <= x < SIZE and 0 <= y < SIZE and filled[y][x]

    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            if not filled[y][x]:
                row.append(".")
            elif all(is_filled(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                row.append("o")
            else:
                row.append("X")
        rows.append(row)

    for a, b in STROKES:
        for y in range(SIZE):
            for x in range(SIZE):
                if filled[y][x] and segment_distance((x + 0.5, y + 0.5), a, b) < 0.5:
                    rows[y][x] = "X"

    top = next(y for y in range(SIZE) if any(filled[y]))
    xs = [x for x in range(SIZE) if filled[top][x]]
    hotspot = (xs[len(xs) // 2], top)
    return ["".join(r) for r in rows], hotspot


def cur_bytes(rows, hotspot):
    stride = SIZE // 8  # 32 one-bit pixels make whole 32-bit rows, no padding needed
    xor_bits = bytearray()
    and_bits = bytearray()
    for row in reversed(rows):  # DIB rows run bottom-up
        xor_row = bytearray(stride)
        and_row = bytearray(stride)
        for x, c in enumerate(row):
            bit = 0x80 >> (x % 8)
            if c == "o":
                xor_row[x // 8] |= bit  # palette entry 1: white
            elif c == ".":
                and_row[x // 8] |= bit  # keep the screen: transparent
        xor_bits += xor_row
        and_bits += and_row

    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    # Height counts the XOR bitmap and the AND mask together.
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 1, 0,
                       len(xor_bits) + len(and_bits), 0, 0, 2, 2)
    image = info + palette + bytes(xor_bits) + bytes(and_bits)
    header = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, hotspot[0], hotspot[1], len(image),
                        6 + 16)
    return header + entry + image


def main():
    parser = argparse.ArgumentParser(description="Write the hand cursor as a .cur file.")
    parser.add_argument("output", nargs="?", type=Path,
                        default=Path(__file__).resolve().parent.parent / "HAND-M.CUR")
    parser.add_argument("--show", action="store_true", help="also print the drawing as text")
    args = parser.parse_args()
    rows, hotspot = draw()
    args.output.write_bytes(cur_bytes(rows, hotspot))
    if args.show:
        print("\n".join(rows))
        print("hotspot x=%d y=%d" % hotspot)


if __name__ == "__main__":
    main()
