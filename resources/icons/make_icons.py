#!/usr/bin/env python3
"""Draws the resource module's icons and writes them as .ico files (16 and 32
pixels and their 125 % and 150 % sizes for screens above 96 DPI, 32-bit colour
with alpha and a matching AND mask).

    python3 make_icons.py [output-dir]

The shapes are described in a 0..1 unit square and sampled 4x4 per pixel, so
every size comes from one drawing and the edges are smoothed."""

import math
import os
import struct
import sys

SUPERSAMPLE = 4


def inside_polygon(x, y, points):
    crossings = False
    n = len(points)
    for i in range(n):
        x1, y1 = points[i]
        x2, y2 = points[(i + 1) % n]
        if (y1 > y) != (y2 > y):
            t = (y - y1) / (y2 - y1)
            if x < x1 + t * (x2 - x1):
                crossings = not crossings
    return crossings


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_outer, r_inner):
    return lambda x, y: r_inner * r_inner <= (x - cx) ** 2 + (y - cy) ** 2 <= r_outer * r_outer


def polygon(points):
    return lambda x, y: inside_polygon(x, y, points)


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def arc_band(cx, cy, r_outer, r_inner, half_angle_deg):
    """A band of a ring opening to the right (sound waves)."""
    limit = math.radians(half_angle_deg)

    def test(x, y):
        d2 = (x - cx) ** 2 + (y - cy) ** 2
        if not (r_inner * r_inner <= d2 <= r_outer * r_outer):
            return False
        return abs(math.atan2(y - cy, x - cx)) <= limit

    return test


# Each icon: a list of (shape, (r, g, b)) layers, later layers painted on top.
DARK = (64, 64, 64)
ICONS = {
    # Header marks: a plain triangle reads well at header size on any theme.
    "sort_ascending": [(polygon([(0.5, 0.28), (0.78, 0.68), (0.22, 0.68)]), DARK)],
    "sort_descending": [(polygon([(0.22, 0.32), (0.78, 0.32), (0.5, 0.72)]), DARK)],
    # Not shown by any page: a neutral pair of small marks (unsorted).
    "sort_none": [
        (polygon([(0.5, 0.12), (0.76, 0.42), (0.24, 0.42)]), (150, 150, 150)),
        (polygon([(0.24, 0.58), (0.76, 0.58), (0.5, 0.88)]), (150, 150, 150)),
    ],
    # Device with a running voice stream: a green speaker sending waves.
    "stream_running": [
        (circle(0.5, 0.5, 0.48), (30, 140, 60)),
        (ring(0.5, 0.5, 0.48, 0.43), (20, 95, 40)),
        (rect(0.17, 0.40, 0.30, 0.60), (255, 255, 255)),
        (polygon([(0.28, 0.40), (0.46, 0.24), (0.46, 0.76), (0.28, 0.60)]), (255, 255, 255)),
        (arc_band(0.46, 0.5, 0.22, 0.15, 50), (255, 255, 255)),
        (arc_band(0.46, 0.5, 0.36, 0.29, 50), (255, 255, 255)),
    ],
    # Idle device: the same speaker in grey, silent.
    "stream_idle": [
        (circle(0.5, 0.5, 0.48), (200, 200, 200)),
        (ring(0.5, 0.5, 0.48, 0.43), (130, 130, 130)),
        (rect(0.25, 0.40, 0.38, 0.60), (110, 110, 110)),
        (polygon([(0.36, 0.40), (0.56, 0.24), (0.56, 0.76), (0.36, 0.60)]), (110, 110, 110)),
        (rect(0.64, 0.47, 0.78, 0.53), (110, 110, 110)),
    ],
    # Device that does not answer: its last values are not current. An amber
    # sign with an exclamation mark, unlike both the green and the grey speaker.
    "stream_not_answering": [
        (circle(0.5, 0.5, 0.48), (230, 150, 20)),
        (ring(0.5, 0.5, 0.48, 0.43), (170, 100, 10)),
        (rect(0.43, 0.18, 0.57, 0.60), (255, 255, 255)),
        (circle(0.5, 0.76, 0.08), (255, 255, 255)),
    ],
}


def render(layers, size):
    """Rows top to bottom of (b, g, r, a) pixels."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    colour = None
                    for shape, rgb in layers:
                        if shape(x, y):
                            colour = rgb
                    if colour is not None:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1.0
            if a > 0:
                # Colour averaged over the covered samples; coverage becomes alpha.
                pixel = (round(b / a), round(g / a), round(r / a), round(255 * a / (n * n)))
            else:
                pixel = (0, 0, 0, 0)
            row.append(pixel)
        rows.append(row)
    return rows


def icon_image(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes(px) for row in reversed(rows) for px in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px[3] < 128:  # transparent where the AND mask is set
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + xor + bytes(mask)


# 16 and 32 pixels at 96 DPI, 120 DPI (125 %) and 144 DPI (150 %).
SIZES = (16, 20, 24, 32, 40, 48)


def write_ico(path, layers, sizes=SIZES):
    images = [(size, icon_image(render(layers, size))) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(path, "wb") as f:
        f.write(out)


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, layers in ICONS.items():
        write_ico(os.path.join(out_dir, name + ".ico"), layers)


if __name__ == "__main__":
    main()
