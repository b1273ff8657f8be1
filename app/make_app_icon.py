#!/usr/bin/env python3
"""Draws the program's own icon (Delvora.ico: 16 and 32 pixels, 32-bit colour with
alpha and an AND mask): a blue disc with a white wave line.

    python3 make_app_icon.py [output-file]"""

import math
import struct
import sys

SS = 4


def coverage(size, x, y):
    disc = wave = 0
    for sy in range(SS):
        for sx in range(SS):
            u = (x + (sx + 0.5) / SS) / size
            v = (y + (sy + 0.5) / SS) / size
            if (u - 0.5) ** 2 + (v - 0.5) ** 2 <= 0.47 ** 2:
                disc += 1
                w = 0.5 + 0.18 * math.sin((u - 0.15) * 2.5 * math.pi) * (1 if 0.15 < u < 0.85 else 0)
                if abs(v - w) < 0.07 and 0.12 < u < 0.88:
                    wave += 1
    return disc / SS ** 2, wave / SS ** 2


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        row = b""
        for x in range(size):
            d, w = coverage(size, x, y)
            r = int(40 + (255 - 40) * w / max(d, 1e-9)) if d else 0
            g = int(90 + (255 - 90) * w / max(d, 1e-9)) if d else 0
            b = int(170 + (255 - 170) * w / max(d, 1e-9)) if d else 0
            row += struct.pack("BBBB", min(b, 255), min(g, 255), min(r, 255), int(255 * d))
        rows.append(row)
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    mask = b""
    for y in range(size - 1, -1, -1):
        bits = 0
        line = bytearray(mask_row)
        for x in range(size):
            d, _ = coverage(size, x, y)
            if d == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "Delvora.ico"
    images = [image(s) for s in (16, 32)]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip((16, 32), images):
        data += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(out, "wb") as f:
        f.write(data + b"".join(images))


if __name__ == "__main__":
    main()
