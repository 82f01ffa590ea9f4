#!/usr/bin/env python3
"""Draws the program's own pictures: the main icon and the wizard's finish flag.

Run from the repository root; it rewrites resources/mainicon.png and
resources/flag.png. Only the standard library is used, so the pictures can be
redrawn anywhere.
"""
import math
import struct
import zlib


def write_png(path, width, height, pixels):
    """pixels: list of rows, each a list of (r, g, b, a)."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", header))
        out.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        out.write(chunk(b"IEND", b""))


def fill_rect(pixels, x0, y0, x1, y1, colour):
    for y in range(max(0, y0), min(len(pixels), y1)):
        for x in range(max(0, x0), min(len(pixels[0]), x1)):
            pixels[y][x] = colour


MAGENTA = (255, 0, 255, 255)
BLACK = (0, 0, 0, 255)
WHITE = (255, 255, 255, 255)


def draw_flag(path):
    width, height = 200, 250
    px = [[MAGENTA] * width for _ in range(height)]
    # Pole with a golden knob, standing on a small grey base.
    fill_rect(px, 38, 24, 46, 232, (96, 64, 32, 255))
    fill_rect(px, 39, 24, 41, 232, (150, 110, 60, 255))
    for y in range(12, 28):
        for x in range(30, 54):
            if (x - 42) ** 2 + (y - 19) ** 2 <= 49:
                px[y][x] = (230, 180, 20, 255)
    fill_rect(px, 22, 232, 62, 240, (110, 110, 110, 255))
    fill_rect(px, 22, 232, 62, 233, (170, 170, 170, 255))
    # The chequered cloth, waving: each column is shifted by a sine.
    left, top, cols, rows, square = 46, 36, 8, 6, 17
    for x in range(left, left + cols * square):
        shift = int(round(6 * math.sin((x - left) / 22.0)))
        col = (x - left) // square
        for y in range(top, top + rows * square):
            row = (y - top) // square
            colour = BLACK if (row + col) % 2 == 0 else WHITE
            yy = y + shift
            px[yy][x] = colour
        # A dark edge above and below keeps the cloth readable on any background.
        px[top + shift - 1][x] = BLACK
        px[top + rows * square + shift][x] = BLACK
    for y in range(top - 8, top + rows * square + 8):
        shift_end = int(round(6 * math.sin((cols * square - 1) / 22.0)))
        if top + shift_end - 1 <= y <= top + rows * square + shift_end:
            px[y][left + cols * square - 1] = BLACK
    write_png(path, width, height, px)


def draw_icon(path):
    size = 48
    clear = (0, 0, 0, 0)
    px = [[clear] * size for _ in range(size)]
    # A yellow folder...
    tab = (214, 160, 40, 255)
    body = (246, 200, 72, 255)
    edge = (150, 100, 20, 255)
    fill_rect(px, 3, 8, 20, 13, tab)
    fill_rect(px, 3, 12, 45, 42, body)
    for x in range(3, 45):
        px[12][x] = edge
        px[41][x] = edge
    for y in range(8, 42):
        px[y][3] = edge
    for y in range(12, 42):
        px[y][44] = edge
    for x in range(3, 20):
        px[8][x] = edge
    # ...with a bar chart of sizes in front of it.
    bars = [(9, 28, (40, 90, 200, 255)), (19, 18, (40, 160, 70, 255)), (29, 23, (200, 50, 40, 255))]
    for x0, top, colour in bars:
        fill_rect(px, x0, top, x0 + 8, 38, colour)
        for y in range(top, 38):
            px[y][x0] = BLACK
            px[y][x0 + 7] = BLACK
        for x in range(x0, x0 + 8):
            px[top][x] = BLACK
    for x in range(7, 41):
        px[38][x] = BLACK
    write_png(path, size, size, px)


if __name__ == "__main__":
    draw_flag("resources/flag.png")
    draw_icon("resources/mainicon.png")
