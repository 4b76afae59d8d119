#!/usr/bin/env python3
"""Draws Marlowick's application icon (marlowick.ico) and its banner (banner.bmp).

Run from this folder: python3 make_art.py. Needs nothing beyond the standard library.
The icon is a clock face on a blue disc; the banner is a blue gradient with a row of hour marks and the
program's name in a blocky type.
"""
import math
import struct

BLUE_DARK = (20, 60, 130)
BLUE_LIGHT = (70, 140, 220)
WHITE = (250, 250, 250)
ORANGE = (245, 150, 40)


def clamp(v):
    return max(0, min(255, int(round(v))))


def icon_pixel(x, y):
    """Colour of the icon at a point of the unit square (0..1), or None outside the disc."""
    cx, cy = x - 0.5, y - 0.5
    r = math.hypot(cx, cy)
    if r > 0.47:
        return None
    if r > 0.43:
        return WHITE
    # Hour marks.
    angle = math.atan2(cy, cx)
    if r > 0.34:
        for h in range(12):
            a = h * math.pi / 6
            if abs(math.remainder(angle - a, 2 * math.pi)) < 0.06:
                return WHITE

    # Hands: hour hand to 10 o'clock, minute hand to 2 o'clock, both from the centre.
    def on_hand(length, direction, width):
        dx, dy = math.sin(direction), -math.cos(direction)
        t = cx * dx + cy * dy
        if t < -0.03 or t > length:
            return False
        return abs(cx * dy - cy * dx) < width

    if on_hand(0.22, math.radians(300), 0.035) or on_hand(0.32, math.radians(60), 0.025):
        return WHITE
    if r < 0.05:
        return ORANGE
    shade = 1 - r / 0.43
    return tuple(BLUE_DARK[i] + (BLUE_LIGHT[i] - BLUE_DARK[i]) * shade for i in range(3))


def render_icon(size, samples=4):
    """Rows top to bottom of (r, g, b, a) for one icon size, antialiased by supersampling."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    c = icon_pixel((px + (sx + 0.5) / samples) / size, (py + (sy + 0.5) / samples) / size)
                    if c is not None:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(clamp(acc[i] / hits) for i in range(3)) + (clamp(255 * hits / samples**2),))
        rows.append(row)
    return rows


def palette_256():
    """A 6x6x6 colour cube, a blue ramp for the disc and a grey ramp."""
    colours = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    for i in range(20):
        t = i / 19
        colours.append(tuple(clamp(BLUE_DARK[k] + (BLUE_LIGHT[k] - BLUE_DARK[k]) * t) for k in range(3)))
    while len(colours) < 256:
        g = clamp((len(colours) - 236) * 255 / 19)
        colours.append((g, g, g))
    return colours


def nearest(colours, c):
    return min(range(len(colours)), key=lambda i: sum((colours[i][k] - c[k]) ** 2 for k in range(3)))


def and_mask(rows, size):
    stride = ((size + 31) // 32) * 4
    data = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        data += bytes(bits)
    return data


def icon_image(size, bpp):
    rows = render_icon(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0, 256 if bpp == 8 else 0, 0)
    if bpp == 32:
        pixels = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
        return header + pixels + and_mask(rows, size)
    colours = palette_256()
    pal = b"".join(bytes((c[2], c[1], c[0], 0)) for c in colours)
    stride = (size + 3) // 4 * 4
    cache = {}
    pixels = b""
    for row in reversed(rows):
        line = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] >= 128:
                key = p[:3]
                if key not in cache:
                    cache[key] = nearest(colours, key)
                line[x] = cache[key]
        pixels += bytes(line)
    return header + pal + pixels + and_mask(rows, size)


def write_icon(path):
    images = [(s, 8) for s in (48, 32, 24, 16)] + [(s, 32) for s in (128, 96, 80, 72, 64, 48, 32, 16)]
    blobs = [icon_image(s, bpp) for s, bpp in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bpp), blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


# A blocky 5x7 type for the banner's letters.
GLYPHS = {
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "W": ["10001", "10001", "10001", "10101", "10101", "11011", "10001"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
}


def write_banner(path, width=910, height=50):
    pixels = [[None] * width for _ in range(height)]
    for y in range(height):
        for x in range(width):
            t = x / (width - 1)
            pixels[y][x] = tuple(BLUE_DARK[k] + (BLUE_LIGHT[k] - BLUE_DARK[k]) * t for k in range(3))
    # Hour marks along the bottom: a day of 24 hours, 02:00 and 05:30 in orange.
    for h in range(25):
        x = 300 + h * 24
        tall = 10 if h % 6 == 0 else 5
        colour = ORANGE if h in (2, 5) else WHITE
        for y in range(height - 6 - tall, height - 6):
            for dx in range(2):
                if x + dx < width:
                    pixels[y][x + dx] = colour
    # The name.
    scale = 5
    x0, y0 = 20, (height - 7 * scale) // 2
    for ch in "MARLOWICK":
        for gy, line in enumerate(GLYPHS[ch]):
            for gx, bit in enumerate(line):
                if bit == "1":
                    for sy in range(scale):
                        for sx in range(scale - 1):
                            pixels[y0 + gy * scale + sy][x0 + gx * scale + sx] = WHITE
        x0 += 6 * scale
    stride = (width * 3 + 3) // 4 * 4
    data = b""
    for row in reversed(pixels):
        line = b"".join(bytes((clamp(c[2]), clamp(c[1]), clamp(c[0]))) for c in row)
        data += line + b"\0" * (stride - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    with open(path, "wb") as f:
        f.write(file_header + header + data)


if __name__ == "__main__":
    write_icon("marlowick.ico")
    write_banner("banner.bmp")
