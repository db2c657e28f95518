#!/usr/bin/env python3
"""Draws Tarnwell's own art: the application icon and the hand cursor.

    python3 tools/make_art.py            # writes into the source tree
    python3 tools/make_art.py --check    # fails when the committed files differ

Outputs
  src/look/icons/tarnwell-<N>.png   N = 16, 24, 32, 48, 64, 128, 256
  src/look/icons/tarnwell.ico       the same pictures, for the Windows program file and installer
  bundle/HAND-M.CUR                 32x32, 32-bit, hotspot at the fingertip

Standard library only. The icon is drawn from a few shapes in unit coordinates and
rendered with 4x4 supersampling, so every size is drawn for itself rather than scaled
from a big picture. The cursor is pixel art built from capsules on a 32x32 grid:
a fill mask, a one-pixel outline, knuckle lines and a soft shadow.
"""

import math
import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)

# Tarn palette: deep water, teal, pale page.
INK = (0x1B, 0x4F, 0x63, 255)
PAGE = (0xF6, 0xFA, 0xFB, 255)
FOLD = (0xC9, 0xDD, 0xE3, 255)
LINE = (0x93, 0xAE, 0xBA, 255)
NEW_LINE = (0x17, 0x9C, 0x97, 255)
BADGE = (0x0C, 0x6E, 0x7E, 255)
WHITE = (255, 255, 255, 255)


# ----------------------------------------------------------------------------- PNG

def png_bytes(width, height, rgba_rows):
    """rgba_rows: list of rows, each a list of (r, g, b, a)."""
    raw = bytearray()
    for row in rgba_rows:
        raw.append(0)  # filter: none
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# ----------------------------------------------------------------------------- icon

def inside_rounded_rect(x, y, left, top, right, bottom, radius):
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_polygon(x, y, points):
    result = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            result = not result
        j = i
    return result


def icon_layers(size):
    """Shapes of the icon, back to front, as (colour, test(x, y)) in unit coordinates.

    A page with a folded corner holds a few grey lines of text; at its foot a teal line
    is being added, and a round badge with a "+" says "append"."""
    small = size <= 24
    stroke = max(1.0 / size, 0.045)  # at least one pixel wide
    left, top, right, bottom = 0.14, 0.05, 0.80, 0.93
    fold = 0.20
    outer = [(left, top), (right - fold, top), (right, top + fold), (right, bottom), (left, bottom)]
    inner = [(left + stroke, top + stroke), (right - fold - stroke * 0.4, top + stroke),
             (right - stroke, top + fold + stroke * 0.4), (right - stroke, bottom - stroke),
             (left + stroke, bottom - stroke)]
    flap = [(right - fold, top), (right - fold, top + fold), (right, top + fold)]

    layers = [
        (INK, lambda x, y: inside_polygon(x, y, outer)),
        (PAGE, lambda x, y: inside_polygon(x, y, inner)),
        (FOLD, lambda x, y: inside_polygon(x, y, flap)),
        (INK, lambda x, y: abs((x - (right - fold)) - (y - top)) * 0.7071 <= stroke / 2
         and right - fold <= x <= right and top <= y <= top + fold),
    ]

    line_height = 0.075 if not small else 0.11
    gap = 0.14 if not small else 0.20
    lengths = (0.46, 0.38, 0.44, 0.30) if not small else (0.44, 0.34)
    y = top + fold + (0.04 if not small else 0.02)
    for length in lengths:
        y0 = y
        layers.append((LINE, lambda x, yy, y0=y0, length=length: inside_rounded_rect(
            x, yy, left + 0.09, y0, left + 0.09 + length, y0 + line_height, line_height / 2)))
        y += gap
    # The line being appended, in teal, at the page's foot.
    foot = bottom - 0.09 - line_height * 1.2
    layers.append((NEW_LINE, lambda x, yy: inside_rounded_rect(
        x, yy, left + 0.09, foot, left + 0.44, foot + line_height * 1.3, line_height * 0.65)))

    # Badge with a plus, overlapping the page's lower right edge.
    cx, cy, r = 0.74, 0.76, 0.225 if not small else 0.25
    ring = max(1.2 / size, 0.035)
    arm, half = r * 0.58, r * 0.17
    layers.append((WHITE, lambda x, yy: (x - cx) ** 2 + (yy - cy) ** 2 <= (r + ring) ** 2))
    layers.append((BADGE, lambda x, yy: (x - cx) ** 2 + (yy - cy) ** 2 <= r ** 2))
    layers.append((WHITE, lambda x, yy: (abs(x - cx) <= arm and abs(yy - cy) <= half)
                   or (abs(yy - cy) <= arm and abs(x - cx) <= half)))
    return layers


def render_icon(size, samples=4):
    layers = icon_layers(size)
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    y = (py + (sy + 0.5) / samples) / size
                    colour = None
                    for fill, test in reversed(layers):
                        if test(x, y):
                            colour = fill
                            break
                    if colour is not None:
                        a = colour[3] / 255.0
                        acc[0] += colour[0] * a
                        acc[1] += colour[1] * a
                        acc[2] += colour[2] * a
                        acc[3] += a
            n = samples * samples
            alpha = acc[3] / n
            if alpha <= 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(c / acc[3])) for c in acc[:3]) + (int(round(alpha * 255)),))
        rows.append(row)
    return rows


# ----------------------------------------------------------------------------- cursor

CURSOR_SIZE = 32


def capsule(ax, ay, bx, by, radius):
    def test(x, y):
        dx, dy = bx - ax, by - ay
        t = 0.0 if dx == dy == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= radius
    return test


def hand_cursor():
    """A hand pointing up with the index finger; returns (rows of RGBA, hotspot)."""
    n = CURSOR_SIZE
    shapes = [
        capsule(7, 2.0, 7, 15, 2.25),       # index finger
        capsule(11, 8.0, 11, 15, 2.25),     # middle finger
        capsule(15, 9.0, 15, 15, 2.25),     # ring finger
        capsule(18.5, 11.0, 18.5, 15, 1.9), # little finger
        capsule(2.4, 14.0, 5.5, 19.5, 1.9), # thumb
        lambda x, y: 5 <= x <= 20.5 and 12 <= y <= 22 and not (x < 6 and y > 21),
        lambda x, y: 6.5 <= x <= 19.5 and 21 <= y <= 25.4,  # wrist
        lambda x, y: 6 <= x <= 20 and 25.4 <= y <= 29.4,    # cuff
    ]
    mask = [[any(s(x, y) for s in shapes) for x in range(n)] for y in range(n)]

    def filled(x, y):
        return 0 <= x < n and 0 <= y < n and mask[y][x]

    black = (0, 0, 0, 255)
    white = (255, 255, 255, 255)
    cuff = (0xD4, 0xE3, 0xE8, 255)
    rows = [[(0, 0, 0, 0)] * n for _ in range(n)]
    for y in range(n):
        for x in range(n):
            if not mask[y][x]:
                continue
            edge = not all(filled(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            rows[y][x] = black if edge else (cuff if y >= 26 else white)
    # Knuckle lines between the fingers, and the seam of the cuff.
    for x, y0, y1 in ((9, 6, 13), (13, 8, 14), (17, 10, 14)):
        for y in range(y0, y1 + 1):
            rows[y][x] = black
    for x in range(n):
        if mask[25][x]:
            rows[25][x] = black
    # A soft shadow down and to the right, under the drawing only.
    shaded = [row[:] for row in rows]
    for y in range(n):
        for x in range(n):
            if rows[y][x][3] == 0 and filled(x - 1, y - 1):
                shaded[y][x] = (0, 0, 0, 0x48)
    # Hotspot: the top of the index finger.
    top = min(y for y in range(n) if any(mask[y]))
    xs = [x for x in range(n) if mask[top][x]]
    return shaded, (xs[len(xs) // 2], top)


def dib_bytes(rows):
    """One 32-bit picture as icon and cursor files hold it: a bitmap header of twice the
    height, the colours bottom-up, then the AND mask (set where the picture is transparent)."""
    n = len(rows)
    xor = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((n + 31) // 32) * 4
    and_mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        and_mask += line
    info = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return info + xor + and_mask


def cur_bytes(rows, hotspot):
    """One 32-bit image in the Windows CUR container (ICONDIR type 2)."""
    n = len(rows)
    image = dib_bytes(rows)
    header = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, hotspot[0], hotspot[1], len(image), 6 + 16)
    return header + entry + image


def ico_bytes(pictures):
    """The Windows ICO container (ICONDIR type 1) of (size, rows, png) pictures, smallest first:
    32-bit bitmaps below 256 pixels, the 256-pixel picture as its PNG, as Windows' own icons are."""
    images = [png if size >= 256 else dib_bytes(rows) for size, rows, png in pictures]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, _, _), image in zip(pictures, images):
        data += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return data + b"".join(images)


# ----------------------------------------------------------------------------- main

def outputs():
    files = {}
    pictures = []
    for size in ICON_SIZES:
        rows = render_icon(size)
        png = png_bytes(size, size, rows)
        files[os.path.join("src", "look", "icons", "tarnwell-%d.png" % size)] = png
        pictures.append((size, rows, png))
    # The same pictures in one file, for the Windows program file and its installer.
    files[os.path.join("src", "look", "icons", "tarnwell.ico")] = ico_bytes(pictures)
    rows, hotspot = hand_cursor()
    files[os.path.join("bundle", "HAND-M.CUR")] = cur_bytes(rows, hotspot)
    return files


def main(argv):
    check = "--check" in argv
    stale = []
    for relative, data in outputs().items():
        path = os.path.join(ROOT, relative)
        if check:
            with open(path, "rb") as existing:
                if existing.read() != data:
                    stale.append(relative)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)
        print("wrote", relative)
    if stale:
        print("out of date:", ", ".join(stale))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
