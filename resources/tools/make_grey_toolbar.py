#!/usr/bin/env python3
"""Derives the grey tool bar images from the coloured ones: every #rrggbb
colour becomes the grey of the same brightness, lifted a little so the
resting buttons look quieter than the hot ones.

Usage: make_grey_toolbar.py HOT_DIR GREY_DIR
"""

import pathlib
import re
import sys

LIFT = 0.25  # blend towards light grey


def grey(match):
    value = match.group(1)
    r, g, b = (int(value[i:i + 2], 16) for i in (0, 2, 4))
    luma = 0.299 * r + 0.587 * g + 0.114 * b
    level = round(luma + (200 - luma) * LIFT)
    return "#{0:02x}{0:02x}{0:02x}".format(max(0, min(255, level)))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    hot, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    out.mkdir(parents=True, exist_ok=True)
    for svg in sorted(hot.glob("*.svg")):
        (out / svg.name).write_text(re.sub(r"#([0-9a-fA-F]{6})\b", grey, svg.read_text()))


if __name__ == "__main__":
    main()
