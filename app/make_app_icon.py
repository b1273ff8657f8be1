#!/usr/bin/env python3
"""Draws the program's own icon (Delvora.ico: 16 and 32 pixels and their sizes at
120 and 144 DPI, 32-bit colour with alpha and an AND mask): a blue disc with a
white wave line. The drawing and the .ico writing are the resource module's icon
maker's.

    python3 make_app_icon.py [output-file]"""

import math
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "icons"))
from make_icons import circle, write_ico  # noqa: E402

DISC = circle(0.5, 0.5, 0.47)


def wave(x, y):
    """A white sine line across the middle of the disc."""
    if not (0.12 < x < 0.88) or not DISC(x, y):
        return False
    swing = 0.18 * math.sin((x - 0.15) * 2.5 * math.pi) if 0.15 < x < 0.85 else 0.0
    return abs(y - (0.5 + swing)) < 0.07


LAYERS = [(DISC, (40, 90, 170)), (wave, (255, 255, 255))]


def main():
    write_ico(sys.argv[1] if len(sys.argv) > 1 else "Delvora.ico", LAYERS)


if __name__ == "__main__":
    main()
