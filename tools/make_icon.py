#!/usr/bin/env python3
"""Draws the program icon, a floppy disk cut in two by a gold line, and writes it
as a Windows icon group with two 32x32 images: 16 colours and 256 colours.

The artwork is a list of filled shapes so the file is reproducible byte for byte.
Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

SIZE = 32

# Palette entries as (r, g, b). Index 0 is transparent in the AND mask as well.
TRANSPARENT, BODY, BODY_DARK, SHUTTER, SHUTTER_SLOT, LABEL, LINE, OUTLINE = range(8)
COLOURS = {
    TRANSPARENT: (0, 0, 0),
    BODY: (0, 0, 170),
    BODY_DARK: (0, 0, 96),
    SHUTTER: (192, 192, 192),
    SHUTTER_SLOT: (64, 64, 64),
    LABEL: (255, 255, 255),
    LINE: (255, 200, 0),
    OUTLINE: (0, 0, 0),
}

# (colour, left, top, right, bottom), right and bottom exclusive, painted in order.
SHAPES = [
    (OUTLINE, 2, 2, 30, 30),
    (BODY, 3, 3, 29, 29),
    (BODY_DARK, 3, 27, 29, 29),
    (SHUTTER, 9, 3, 23, 13),
    (SHUTTER_SLOT, 18, 5, 21, 11),
    (LABEL, 7, 16, 25, 29),
    (LINE, 3, 21, 29, 23),
]
# The cut-off corner of a real disk (top right), left transparent.
CORNER = [(x, y) for y in range(2, 6) for x in range(26, 30) if x - 26 > y - 2]


def draw():
    pixels = [[TRANSPARENT] * SIZE for _ in range(SIZE)]
    for colour, left, top, right, bottom in SHAPES:
        for y in range(top, bottom):
            for x in range(left, right):
                pixels[y][x] = colour
    for x, y in CORNER:
        pixels[y][x] = TRANSPARENT
    return pixels


def row_bytes(bits_per_pixel):
    return ((SIZE * bits_per_pixel + 31) // 32) * 4


def image(pixels, bits_per_pixel):
    colours = 1 << bits_per_pixel
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, bits_per_pixel,
                         0, 0, 0, 0, 0, 0)
    palette = b''
    for index in range(colours):
        r, g, b = COLOURS.get(index, (0, 0, 0))
        palette += bytes((b, g, r, 0))
    xor = b''
    mask = b''
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        row = pixels[y]
        if bits_per_pixel == 4:
            packed = bytes((row[x] << 4) | row[x + 1] for x in range(0, SIZE, 2))
        else:
            packed = bytes(row)
        xor += packed.ljust(row_bytes(bits_per_pixel), b'\0')
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if row[x] == TRANSPARENT else 0)
        mask += bits.to_bytes(SIZE // 8, 'big').ljust(row_bytes(1), b'\0')
    return header + palette + xor + mask, colours


def icon_file(pixels):
    images = [image(pixels, 4), image(pixels, 8)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for data, colours in images:
        count_byte = colours if colours < 256 else 0
        bpp = 4 if colours == 16 else 8
        out += struct.pack('<BBBBHHII', SIZE, SIZE, count_byte, 0, 1, bpp,
                           len(data), offset)
        offset += len(data)
    for data, _ in images:
        out += data
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: make_icon.py OUTPUT.ico')
    with open(sys.argv[1], 'wb') as f:
        f.write(icon_file(draw()))


if __name__ == '__main__':
    main()
