#!/usr/bin/env python3
"""Draws the program's artwork: the application icon, the logo of the main
window and the popup background. Standard library only; every file is written
byte by byte so the build needs no image tools.

    draw_art.py OUTPUT_DIR [--preview]

Writes into OUTPUT_DIR:
  app.ico                 the application icon, 16 to 64 pixels, 32-bit
  logo.bmp                96 x 96, 32-bit, alpha premultiplied (the program
                          scales and composites it itself at the window's DPI)
  popup_background.bmp    320 x 176, 8-bit palette (256 colours)
With --preview, also PPM files of each picture over a grey backdrop, for eyes.

The mark: a rounded square in a blue gradient holding a white application
window (title bar and frame) with a launch arrow inside. Shapes are described
by signed distance functions and rendered with 4 x 4 supersampling, so the
edges are smooth at every size.
"""

import math
import os
import struct
import sys

SUPERSAMPLE = 4

# Brand colours (red, green, blue).
BLUE_TOP = (0x4A, 0x8E, 0xF0)
BLUE_BOTTOM = (0x1C, 0x4F, 0xC4)
WHITE = (0xFF, 0xFF, 0xFF)


def clamp(value, low, high):
    return max(low, min(high, value))


def rounded_box(px, py, cx, cy, half_w, half_h, radius):
    """Signed distance from (px, py) to a rounded rectangle: negative inside."""
    qx = abs(px - cx) - (half_w - radius)
    qy = abs(py - cy) - (half_h - radius)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    inside = min(max(qx, qy), 0.0)
    return outside + inside - radius


def triangle_right(px, py, cx, cy, size):
    """Signed distance (approximate, fine for filling) to a right-pointing
    triangle centred at (cx, cy) whose height is `size`."""
    half = size / 2.0
    # Edges: the vertical back edge and the two slanted edges.
    back = (cx - half * 0.8) - px
    slope = half / (size * 0.9)
    norm = math.hypot(1.0, slope)
    top = ((py - cy) * -1.0 - half + (px - (cx - half * 0.8)) * slope) / norm
    bottom = ((py - cy) - half + (px - (cx - half * 0.8)) * slope) / norm
    return max(back, top, bottom)


def mark_pixel(u, v, size):
    """Colour and coverage of the mark at unit coordinates (u, v) in [0, 1],
    for an image `size` pixels wide. Returns (r, g, b, a) with a in [0, 1],
    not premultiplied."""
    # Small sizes get thicker strokes and fewer details so they stay legible.
    small = size <= 20
    margin = 0.03 if size >= 32 else 0.0
    half = 0.5 - margin
    tile = rounded_box(u, v, 0.5, 0.5, half, half, 0.2 * half * 2)
    if tile > 0:
        return (0, 0, 0, 0.0)

    t = clamp((v - margin) / (1 - 2 * margin), 0.0, 1.0)
    base = tuple(BLUE_TOP[i] + (BLUE_BOTTOM[i] - BLUE_TOP[i]) * t for i in range(3))
    colour = base

    # The application window: an outlined frame with a solid title bar.
    win_cx, win_cy = 0.5, 0.52
    win_hw, win_hh = (0.31, 0.26) if not small else (0.33, 0.28)
    stroke = 0.045 if size >= 32 else 0.085
    frame_outer = rounded_box(u, v, win_cx, win_cy, win_hw, win_hh, 0.05)
    frame_inner = rounded_box(u, v, win_cx, win_cy, win_hw - stroke, win_hh - stroke, 0.02)
    title_h = 0.11 if not small else 0.14
    top = win_cy - win_hh
    in_title = frame_outer <= 0 and v <= top + title_h
    in_frame = frame_outer <= 0 and frame_inner > 0
    glyph = in_title or in_frame

    # The launch arrow in the window's body.
    body_cy = (top + title_h + (win_cy + win_hh)) / 2.0
    arrow = triangle_right(u, v, win_cx + 0.02, body_cy, 0.22 if not small else 0.26)
    if arrow <= 0:
        glyph = True

    if glyph:
        colour = WHITE
    return (colour[0], colour[1], colour[2], 1.0)


def render(size, shader):
    """Renders `shader` into size x size pixels with supersampling. Returns
    rows top to bottom of (r, g, b, a) with channels 0 to 255, straight
    alpha."""
    rows = []
    n = SUPERSAMPLE
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    u = (x + (sx + 0.5) / n) / size
                    v = (y + (sy + 0.5) / n) / size
                    r, g, b, a = shader(u, v, size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            samples = n * n
            alpha = acc[3] / samples
            if alpha > 0:
                r, g, b = (acc[i] / acc[3] for i in range(3))
            else:
                r = g = b = 0.0
            row.append((round(r), round(g), round(b), round(alpha * 255)))
        rows.append(row)
    return rows


def bgra_bottom_up(rows, premultiply):
    data = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            if premultiply:
                r, g, b = (round(c * a / 255) for c in (r, g, b))
            data += bytes((b, g, r, a))
    return bytes(data)


def bitmap_info_header(width, height, bits, colours_used=0, image_size=0):
    # BITMAPINFOHEADER: 40 bytes, BI_RGB, 96 dots per inch (3780 per metre).
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0, image_size, 3780, 3780,
                       colours_used, 0)


def write_bmp(path, header_and_palette, pixels):
    offset = 14 + len(header_and_palette)
    file_header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    with open(path, 'wb') as out:
        out.write(file_header + header_and_palette + pixels)


def icon_image(size):
    """One icon directory entry's image: a BITMAPINFOHEADER with the doubled
    height that icons use, 32-bit colour with alpha, then the 1-bit AND mask
    (rows padded to 32 bits) for systems that ignore alpha."""
    rows = render(size, mark_pixel)
    colour = bgra_bottom_up(rows, premultiply=False)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = bitmap_info_header(size, size * 2, 32, image_size=len(colour) + len(mask))
    return header + colour + bytes(mask), rows


def write_ico(path, sizes):
    images = [icon_image(s) for s in sizes]
    directory = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    blobs = b''
    for size, (blob, _) in zip(sizes, images):
        # Width and height 0 stand for 256 in an icon directory.
        directory += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs += blob
    with open(path, 'wb') as out:
        out.write(directory + blobs)
    return {size: rows for size, (_, rows) in zip(sizes, images)}


def write_logo(path, size):
    rows = render(size, mark_pixel)
    pixels = bgra_bottom_up(rows, premultiply=True)
    write_bmp(path, bitmap_info_header(size, size, 32, image_size=len(pixels)), pixels)
    return rows


POPUP_WIDTH, POPUP_HEIGHT = 320, 176


def popup_rows():
    """The popup background: a quiet vertical gradient, white to pale blue,
    a brand-blue accent strip at the top and a thin frame. Text sits on it
    in the window-text colour, so it stays light everywhere."""
    frame = (0x9D, 0xB7, 0xDE)
    accent_top, accent_bottom = BLUE_TOP, BLUE_BOTTOM
    light_top, light_bottom = (0xFF, 0xFF, 0xFF), (0xDC, 0xE7, 0xF7)
    rows = []
    for y in range(POPUP_HEIGHT):
        t = y / (POPUP_HEIGHT - 1)
        fill = tuple(round(light_top[i] + (light_bottom[i] - light_top[i]) * t) for i in range(3))
        row = []
        for x in range(POPUP_WIDTH):
            if y < 4:
                s = x / (POPUP_WIDTH - 1)
                c = tuple(round(accent_top[i] + (accent_bottom[i] - accent_top[i]) * s) for i in range(3))
            elif x == 0 or y == POPUP_HEIGHT - 1 or x == POPUP_WIDTH - 1:
                c = frame
            else:
                c = fill
            row.append(c)
        rows.append(row)
    return rows


def quantise_accent(rows):
    """The accent strip's horizontal gradient has one colour per column; keep
    the palette under 256 entries by stepping it in blocks of 8 columns."""
    out = []
    for y, row in enumerate(rows):
        if y < 4:
            row = [row[(x // 8) * 8] for x in range(len(row))]
        out.append(row)
    return out


def write_popup(path):
    rows = quantise_accent(popup_rows())
    palette = []
    index = {}
    for row in rows:
        for c in row:
            if c not in index:
                index[c] = len(palette)
                palette.append(c)
    if len(palette) > 256:
        raise SystemExit('popup background needs %d colours, more than 256' % len(palette))
    while len(palette) < 256:
        palette.append((0, 0, 0))
    stride = (POPUP_WIDTH + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(index[c] for c in row)
        line += bytes(stride - len(line))
        pixels += line
    pal = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    header = bitmap_info_header(POPUP_WIDTH, POPUP_HEIGHT, 8, colours_used=256, image_size=len(pixels))
    write_bmp(path, header + pal, bytes(pixels))
    return [[(r, g, b, 255) for r, g, b in row] for row in rows]


def write_preview(path, rows, backdrop=(0xF0, 0xF0, 0xF0), scale=1):
    """A binary PPM of straight-alpha rows over a backdrop colour."""
    height, width = len(rows), len(rows[0])
    data = bytearray()
    for row in rows:
        line = bytearray()
        for r, g, b, a in row:
            px = tuple(round((c * a + backdrop[i] * (255 - a)) / 255) for i, c in enumerate((r, g, b)))
            line += bytes(px) * scale
        data += bytes(line) * scale
    with open(path, 'wb') as out:
        out.write(b'P6\n%d %d\n255\n' % (width * scale, height * scale) + bytes(data))


ICON_SIZES = (16, 20, 24, 32, 40, 48, 64)
LOGO_SIZE = 96


def main(argv):
    if len(argv) < 2:
        raise SystemExit(__doc__)
    out_dir = argv[1]
    os.makedirs(out_dir, exist_ok=True)
    icons = write_ico(os.path.join(out_dir, 'app.ico'), ICON_SIZES)
    logo = write_logo(os.path.join(out_dir, 'logo.bmp'), LOGO_SIZE)
    popup = write_popup(os.path.join(out_dir, 'popup_background.bmp'))
    if '--preview' in argv[2:]:
        for size, rows in icons.items():
            write_preview(os.path.join(out_dir, 'preview-icon-%d.ppm' % size), rows, scale=4)
        write_preview(os.path.join(out_dir, 'preview-logo.ppm'), logo)
        write_preview(os.path.join(out_dir, 'preview-popup.ppm'), popup)


if __name__ == '__main__':
    main(sys.argv)
