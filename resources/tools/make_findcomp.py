#!/usr/bin/env python3
"""Draws the search animation: a magnifying glass circling over a computer on
black, 8 frames of 38x22 pixels, 200 ms each, looping. Writes an animated GIF
with its own small LZW encoder, so no imaging library is needed.

Usage: make_findcomp.py OUTPUT.gif
"""

import math
import struct
import sys

WIDTH, HEIGHT = 38, 22
FRAMES = 8
FRAME_DELAY_CS = 20  # hundredths of a second: 200 ms

PALETTE = [
    (0, 0, 0),        # 0 background
    (64, 64, 64),     # 1 dark grey: shadows
    (128, 128, 128),  # 2 grey: case
    (192, 192, 192),  # 3 light grey: case face
    (255, 255, 255),  # 4 white: highlights, lens rim
    (0, 0, 160),      # 5 screen
    (64, 160, 255),   # 6 screen seen through the lens
    (150, 90, 30),    # 7 handle
    (90, 50, 10),     # 8 handle shadow
    (0, 128, 128),    # 9 desktop on the screen
]
PALETTE += [(0, 0, 0)] * (16 - len(PALETTE))

CENTRE_X, CENTRE_Y = 18.5, 9.0  # where the glass circles
ORBIT_X, ORBIT_Y = 7.0, 4.0
LENS_RADIUS = 4.2


def computer():
    img = [[0] * WIDTH for _ in range(HEIGHT)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                img[y][x] = colour

    rect(10, 1, 27, 14, 3)   # monitor case
    rect(10, 14, 27, 14, 1)  # bottom edge shadow
    rect(27, 1, 27, 14, 1)   # right edge shadow
    rect(10, 1, 26, 1, 4)    # top highlight
    rect(10, 1, 10, 13, 4)   # left highlight
    rect(12, 3, 25, 12, 5)   # screen
    rect(12, 11, 25, 12, 9)  # desktop strip
    rect(16, 15, 21, 16, 2)  # stand
    rect(11, 17, 26, 20, 3)  # base unit
    rect(11, 20, 26, 20, 1)
    rect(26, 17, 26, 20, 1)
    rect(11, 17, 25, 17, 4)
    rect(13, 18, 18, 18, 1)  # drive slot
    rect(23, 18, 24, 18, 5)  # power light
    return img


def draw_glass(img, cx, cy):
    # Lens: tint the screen under it, then the rim; handle towards lower right.
    for y in range(HEIGHT):
        for x in range(WIDTH):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if d <= LENS_RADIUS - 1.0 and img[y][x] == 5:
                img[y][x] = 6
            elif LENS_RADIUS - 1.0 < d <= LENS_RADIUS + 0.3:
                img[y][x] = 4
    hx0 = cx + (LENS_RADIUS + 0.3) * math.cos(math.pi / 4)
    hy0 = cy + (LENS_RADIUS + 0.3) * math.sin(math.pi / 4)
    for step in range(0, 40):
        t = step / 10.0
        x = hx0 + t * math.cos(math.pi / 4)
        y = hy0 + t * math.sin(math.pi / 4)
        for dx, dy, colour in ((0, 0, 7), (1, 0, 7), (0, 1, 8)):
            px, py = int(x) + dx, int(y) + dy
            if 0 <= px < WIDTH and 0 <= py < HEIGHT:
                img[py][px] = colour


def frame(index):
    img = computer()
    angle = 2 * math.pi * index / FRAMES - math.pi / 2
    draw_glass(img, CENTRE_X + ORBIT_X * math.cos(angle), CENTRE_Y + ORBIT_Y * math.sin(angle))
    return [c for row in img for c in row]


def lzw(indices, min_code_size):
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bit_buffer = 0
    bit_count = 0

    def emit(code, size):
        nonlocal bit_buffer, bit_count
        bit_buffer |= code << bit_count
        bit_count += size
        while bit_count >= 8:
            out.append(bit_buffer & 0xFF)
            bit_buffer >>= 8
            bit_count -= 8

    def fresh():
        return {(i,): i for i in range(clear)}

    table = fresh()
    next_code = end + 1
    size = min_code_size + 1
    emit(clear, size)
    prefix = (indices[0],)
    for k in indices[1:]:
        candidate = prefix + (k,)
        if candidate in table:
            prefix = candidate
            continue
        emit(table[prefix], size)
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            # The decoder adds its entry one code later, so it widens codes
            # when the entry just added is the last that fits.
            if next_code > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear, size)
            table = fresh()
            next_code = end + 1
            size = min_code_size + 1
        prefix = (k,)
    emit(table[prefix], size)
    emit(end, size)
    if bit_count:
        out.append(bit_buffer & 0xFF)
    return bytes(out)


def sub_blocks(data):
    blocks = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        blocks += bytes([len(chunk)]) + chunk
    return bytes(blocks) + b"\0"


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    min_code_size = 4  # 16-colour palette
    gif = bytearray(b"GIF89a")
    gif += struct.pack("<HHBBB", WIDTH, HEIGHT, 0xF3, 0, 0)  # global table of 16
    for rgb in PALETTE:
        gif += bytes(rgb)
    gif += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01" + struct.pack("<H", 0) + b"\0"  # loop forever
    for index in range(FRAMES):
        gif += b"\x21\xF9\x04" + struct.pack("<BHB", 0x04, FRAME_DELAY_CS, 0) + b"\0"
        gif += b"\x2C" + struct.pack("<HHHHB", 0, 0, WIDTH, HEIGHT, 0)
        gif += bytes([min_code_size]) + sub_blocks(lzw(frame(index), min_code_size))
    gif += b"\x3B"
    with open(sys.argv[1], "wb") as out:
        out.write(gif)


if __name__ == "__main__":
    main()
