#!/usr/bin/env python3
"""Draws the two pump pictures of the main window's image list.

pump-on.bmp: a green pump wheel with fuel drops, pump-off.bmp: the same wheel
in grey with a red bar. 28 x 27 pixels, 24-bit, bottom-up rows; the bottom
left pixel carries the colour that the image treats as transparent.

usage: make_pump_bitmaps.py OUTPUT-FOLDER
"""
import math
import struct
import sys

WIDTH, HEIGHT = 28, 27
BACKGROUND = (255, 0, 255)  # magenta: never part of the picture


def picture(on):
    body = (0, 160, 0) if on else (128, 128, 128)
    dark = (0, 90, 0) if on else (70, 70, 70)
    pixels = [[BACKGROUND] * WIDTH for _ in range(HEIGHT)]
    cx, cy, radius = 13.5, 12.5, 11.0
    for y in range(HEIGHT):
        for x in range(WIDTH):
            d = math.hypot(x - cx, y - cy)
            if d <= radius:
                pixels[y][x] = dark if d > radius - 2 else body
    # Four blades of the impeller.
    for angle in (0, 90, 180, 270):
        a = math.radians(angle + (20 if on else 0))
        for step in range(0, 90):
            r = step / 10.0
            x = int(round(cx + r * math.cos(a)))
            y = int(round(cy + r * math.sin(a)))
            for dx, dy in ((0, 0), (1, 0), (0, 1)):
                if 0 <= x + dx < WIDTH and 0 <= y + dy < HEIGHT:
                    pixels[y + dy][x + dx] = (255, 255, 255)
    for y in range(int(cy) - 2, int(cy) + 3):
        for x in range(int(cx) - 2, int(cx) + 3):
            pixels[y][x] = dark
    if not on:
        # A red bar across the wheel: the pump stands still.
        for y in range(HEIGHT):
            for x in range(WIDTH):
                if abs((x - 2) - (y - 1)) <= 1 and 2 <= x <= 25 and 1 <= y <= 24:
                    pixels[y][x] = (220, 0, 0)
    return pixels


def bmp(pixels):
    row_size = (WIDTH * 3 + 3) // 4 * 4
    data = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up
        row = bytearray()
        for r, g, b in pixels[y]:
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        data += row
    header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(data), 0, 0, 14 + len(header))
    return file_header + header + bytes(data)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    for name, on in (("pump-on.bmp", True), ("pump-off.bmp", False)):
        with open(f"{folder}/{name}", "wb") as f:
            f.write(bmp(picture(on)))


if __name__ == "__main__":
    main()
