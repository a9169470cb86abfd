#!/usr/bin/env python3
"""Draws the installer's icon: a box with an arrow pointing into it, as one
.ico file holding a 32x32 and a 16x16 image of 16 colours each.

usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

# The standard 16-colour palette, as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_YELLOW, GREY, YELLOW, WHITE, DARK_BLUE, BLUE = 0, 3, 8, 11, 15, 4, 12
TRANSPARENT = None


def draw(size):
    """Rows from the top, each a list of palette indices or TRANSPARENT."""
    s = size / 32.0
    px = [[TRANSPARENT] * size for _ in range(size)]

    def box(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                px[y][x] = colour

    # The box: a dark outline, a light front and a darker lid.
    box(3, 14, 29, 30, BLACK)
    box(4, 15, 28, 29, DARK_YELLOW)
    box(4, 15, 28, 19, YELLOW)
    box(14, 15, 18, 29, GREY)
    # The arrow coming down into the box.
    box(12, 1, 20, 10, BLACK)
    box(13, 1, 19, 10, BLUE)
    for row in range(8):
        half = 8 - row
        box(16 - half, 9 + row, 16 + half, 10 + row, BLACK)
        if half > 1:
            box(17 - half, 9 + row, 15 + half, 10 + row, BLUE)
    return px


def image(size):
    """One icon image: BITMAPINFOHEADER, palette, colour bits, mask bits."""
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    colour_row = ((size * 4 + 31) // 32) * 4
    mask_row = ((size + 31) // 32) * 4
    colour = b''
    mask = b''
    for row in reversed(px):  # bitmaps are stored bottom-up
        nibbles = [0 if c is TRANSPARENT else c for c in row]
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        colour += line.ljust(colour_row, b'\0')
        bits = 0
        for c in row:
            bits = (bits << 1) | (1 if c is TRANSPARENT else 0)
        mask += bits.to_bytes(size // 8, 'big').ljust(mask_row, b'\0')
    return header + palette + colour + mask


def main():
    images = [image(32), image(16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
