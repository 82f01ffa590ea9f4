#!/usr/bin/env python3
"""Draws the program's own pictures: the main icon and the wizard's finish flag.

Run from the repository root; it rewrites resources/mainicon.png,
resources/flag.png and the installed icons in resources/icons/hicolor (one
PNG per size and an SVG). Only the standard library is used, so the pictures can be
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


# The main icon is designed on a 48-unit grid: a yellow folder with a bar
# chart of sizes in front of it. Each size is laid out on whole pixels from
# that grid (so every edge stays sharp), and the SVG draws the same grid.
ICON_ID = "com.zelviksoftware.Vorntools"
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)
TAB = (214, 160, 40, 255)
BODY = (246, 200, 72, 255)
EDGE = (150, 100, 20, 255)
BARS = ((28, (40, 90, 200, 255)), (18, (40, 160, 70, 255)), (23, (200, 50, 40, 255)))


def icon_rects(size):
    """The icon as (x0, y0, x1, y1, colour) rectangles in pixels, painted in order."""
    u = size / 48.0

    def at(v):
        return int(math.floor(v * u + 0.5))

    line = max(1, at(1))
    left, right = at(3), size - at(3)
    tab_right, top, bottom = at(20), at(12), at(42)
    tab_top = min(at(8), top - 2 * line)  # the tab shows some yellow at any size
    rects = [
        (left, tab_top, tab_right, at(13), TAB),
        (left, top, right, bottom, BODY),
        (left, top, right, top + line, EDGE),
        (left, bottom - line, right, bottom, EDGE),
        (left, tab_top, left + line, bottom, EDGE),
        (right - line, top, right, bottom, EDGE),
        (left, tab_top, tab_right, tab_top + line, EDGE),
    ]
    # The bars keep their width, a gap of at least one pixel between them and
    # room above the folder's lower edge, whatever the size; below 24 pixels
    # an outline would leave no colour, so they go without.
    width, gap = at(8), max(1, at(2))
    base = min(at(38), bottom - 2 * line - (1 if size < 32 else 0))
    # Heights shrink with the room left under the folder's top edge.
    rise = min(u, (base - top - 2 * line) / 20.0)
    x = at(9)
    for top_unit, colour in BARS:
        bar_top = base - max(2, int(math.floor((38 - top_unit) * rise + 0.5)))
        if size >= 24:
            rects.append((x, bar_top, x + width, base, BLACK))
            rects.append((x + line, bar_top + line, x + width - line, base, colour))
        else:
            rects.append((x, bar_top, x + width, base, colour))
        x += width + gap
    rects.append((at(7), base, at(41), base + line, BLACK))
    return rects


def draw_icon(path, size=48):
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    for x0, y0, x1, y1, colour in icon_rects(size):
        fill_rect(px, x0, y0, x1, y1, colour)
    write_png(path, size, size, px)


def write_icon_svg(path):
    def hexcolour(c):
        return "#%02x%02x%02x" % c[:3]

    shapes = "".join(
        '  <rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>\n'
        % (x0, y0, x1 - x0, y1 - y0, hexcolour(colour))
        for x0, y0, x1, y1, colour in icon_rects(48)
    )
    with open(path, "w", encoding="utf-8") as out:
        out.write(
            '<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" '
            'viewBox="0 0 48 48" shape-rendering="crispEdges">\n'
            "  <title>Usage Vorntool</title>\n" + shapes + "</svg>\n"
        )


def draw_theme_icons(root):
    """The icon theme's folders under `root`, as they are installed."""
    import os

    for size in ICON_SIZES:
        folder = os.path.join(root, "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        draw_icon(os.path.join(folder, ICON_ID + ".png"), size)
    folder = os.path.join(root, "scalable", "apps")
    os.makedirs(folder, exist_ok=True)
    write_icon_svg(os.path.join(folder, ICON_ID + ".svg"))


if __name__ == "__main__":
    draw_flag("resources/flag.png")
    draw_icon("resources/mainicon.png")
    draw_theme_icons("resources/icons/hicolor")
