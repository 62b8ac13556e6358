#!/usr/bin/env python3
"""Draws Harrowlight's icon and cursor and writes them as Windows .ico and .cur files.

The icon is a small time-frequency image: a dark blue ground, a rising tone drawn as a line
of warm colours (yellow core fading through orange to red) and its fainter second harmonic.
It comes at 32x32 and 16x16 pixels with a 16-entry colour table. The cursor is a 32x32
monochrome cross-hair with its hotspot at the centre.

Run from anywhere; the files go to resources/ beside this script's folder. Standard library
only. The generated files are committed, so building the program does not need Python.
"""

import math
import os
import struct
import sys

# The 16-entry colour table of the icon (red, green, blue).
PALETTE = [
    (0, 0, 0),        # 0 unused
    (6, 10, 34),      # 1 ground, darkest (high bins)
    (10, 20, 60),     # 2 ground
    (16, 32, 90),     # 3 ground, lightest (low bins)
    (30, 60, 140),    # 4 ground speckle
    (120, 16, 24),    # 5 dark red: outer glow
    (200, 36, 20),    # 6 red
    (245, 110, 20),   # 7 orange
    (255, 185, 40),   # 8 amber
    (255, 240, 120),  # 9 yellow: core of the line
    (40, 50, 80),     # 10 frame
] + [(0, 0, 0)] * 5

# Colour by distance from the line, in pixels of a 32-pixel image: nearest first.
GLOW = [(0.55, 9), (1.1, 8), (1.7, 7), (2.4, 6), (3.1, 5)]
HARMONIC_GLOW = [(0.6, 6), (1.3, 5)]


def tone(t):
    """Height (0 = bottom, 1 = top) of the rising tone at time t in 0..1: a chirp that rises
    slowly and then faster, as a glide upward in pitch looks on the image."""
    return 0.08 + 0.78 * (t ** 1.6)


def curve_points(fn, size):
    """Points of a curve in pixel coordinates (x right, y down) of a size x size image,
    sampled finely enough for a distance test."""
    points = []
    steps = size * 16
    for i in range(steps + 1):
        t = i / steps
        height = fn(t)
        if height > 1.0:  # the curve has left the top of the image
            break
        x = 1.5 + t * (size - 3.0)
        y = (size - 1.5) - height * (size - 3.0)
        points.append((x, y))
    return points


def distance(px, py, points):
    return min(math.hypot(px - x, py - y) for x, y in points)


def speckle(x, y):
    """A fixed pseudo-random value 0..255 per pixel, so the ground has a little texture
    the way a noisy recording's image has, yet every run draws the same icon."""
    h = (x * 73856093) ^ (y * 19349663) ^ 0x5BD1E995
    h = (h ^ (h >> 13)) * 0x27D4EB2D
    return (h >> 7) & 0xFF


def draw_icon(size):
    """Returns the icon as rows of palette indices, top row first."""
    scale = size / 32.0
    line = curve_points(tone, size)
    # The harmonic would be a smudge at 16 pixels, so only the large icon has it.
    harmonic = curve_points(lambda t: 2.0 * tone(t), size) if size >= 32 else []
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            if x == 0 or y == 0 or x == size - 1 or y == size - 1:
                row.append(10)
                continue
            # Ground: lighter toward the low bins at the bottom, with sparse speckle.
            band = 1 + (3 * y) // size
            index = band
            if size >= 32 and speckle(x, y) < 12:
                index = 4
            px, py = x + 0.5, y + 0.5
            if harmonic:
                dh = distance(px, py, harmonic) / scale
                for limit, colour in HARMONIC_GLOW:
                    if dh < limit:
                        index = colour
                        break
            d = distance(px, py, line) / scale
            for limit, colour in GLOW:
                if d < limit:
                    index = colour
                    break
            row.append(index)
        rows.append(row)
    return rows


def pack_4bit(rows):
    """The colour bits of a 4-bit DIB: bottom row first, two pixels a byte (high nibble
    first), each row padded to a multiple of 4 bytes."""
    out = bytearray()
    for row in reversed(rows):
        data = bytearray()
        for i in range(0, len(row), 2):
            data.append((row[i] << 4) | row[i + 1])
        while len(data) % 4:
            data.append(0)
        out += data
    return bytes(out)


def pack_1bit(rows):
    """1-bit DIB rows (bottom row first, leftmost pixel in the high bit), padded to 4 bytes."""
    out = bytearray()
    for row in reversed(rows):
        data = bytearray()
        for i in range(0, len(row), 8):
            byte = 0
            for bit, value in enumerate(row[i:i + 8]):
                if value:
                    byte |= 0x80 >> bit
            data.append(byte)
        while len(data) % 4:
            data.append(0)
        out += data
    return bytes(out)


def dib(width, height, bit_count, colours, colour_bits, mask_bits):
    """An icon or cursor image: BITMAPINFOHEADER (height doubled for the colour bits and the
    AND mask), colour table (blue, green, red, 0), colour bits, AND mask."""
    header = struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, bit_count, 0,
                         len(colour_bits) + len(mask_bits), 0, 0, 0, 0)
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in colours)
    return header + table + colour_bits + mask_bits


def directory(kind, entries):
    """ICONDIR with its entries; each entry is (width, height, colour count, field4, field6,
    image bytes). For icons field4/field6 are planes and bit count, for cursors the hotspot."""
    head = struct.pack('<HHH', 0, kind, len(entries))
    offset = len(head) + 16 * len(entries)
    table = b''
    images = b''
    for width, height, colour_count, field4, field6, image in entries:
        table += struct.pack('<BBBBHHII', width % 256, height % 256, colour_count, 0,
                             field4, field6, len(image), offset)
        offset += len(image)
        images += image
    return head + table + images


def make_icon():
    entries = []
    for size in (32, 16):
        rows = draw_icon(size)
        opaque = [[0] * size for _ in range(size)]
        image = dib(size, size, 4, PALETTE, pack_4bit(rows), pack_1bit(opaque))
        entries.append((size, size, 16, 1, 4, image))
    return directory(1, entries)


def make_cursor():
    """A 32x32 cross-hair: black lines edged in white so it shows on light and dark parts
    of the image, with a gap around the hotspot and a dot on it."""
    size = 32
    centre = 16
    reach = 13   # arm length from the centre
    gap = 3      # clear pixels between the dot and each arm
    # 0 transparent, 1 black, 2 white
    pixels = [[0] * size for _ in range(size)]

    def arm_pixel(u, v):
        # u along the arm's axis offset from the centre, v across it.
        return gap < abs(u) <= reach and abs(v) <= 1

    for y in range(size):
        for x in range(size):
            dx, dy = x - centre, y - centre
            if (arm_pixel(dx, dy) and dy == 0) or (arm_pixel(dy, dx) and dx == 0):
                pixels[y][x] = 1
            elif arm_pixel(dx, dy) or arm_pixel(dy, dx):
                pixels[y][x] = 2
            elif abs(dx) + abs(dy) == 0:
                pixels[y][x] = 1
            elif abs(dx) <= 1 and abs(dy) <= 1:
                pixels[y][x] = 2
    # Arm ends get a white cap so the black line does not bleed into a black image.
    for d in (reach + 1, -reach - 1):
        pixels[centre][centre + d] = 2
        pixels[centre + d][centre] = 2
    # Monochrome cursor bits: AND 1 / XOR 0 keeps the screen, AND 0 / XOR 0 is black,
    # AND 0 / XOR 1 is white.
    xor_rows = [[1 if p == 2 else 0 for p in row] for row in pixels]
    and_rows = [[1 if p == 0 else 0 for p in row] for row in pixels]
    image = dib(size, size, 1, [(0, 0, 0), (255, 255, 255)],
                pack_1bit(xor_rows), pack_1bit(and_rows))
    return directory(2, [(size, size, 2, centre, centre, image)])


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = os.path.join(root, 'resources')
    for name, data in (('harrowlight.ico', make_icon()), ('harrowlight.cur', make_cursor())):
        path = os.path.join(out, name)
        with open(path, 'wb') as f:
            f.write(data)
        print('wrote %s (%d bytes)' % (path, len(data)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
