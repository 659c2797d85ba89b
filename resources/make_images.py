#!/usr/bin/env python3
"""Draws Nachtriegel's icons and menu bitmaps and writes them as ICO and BMP files.

Standard library only and fully deterministic: every run writes the same bytes, so the generated files are
committed next to this script and only change when a drawing here changes.

Usage: python3 resources/make_images.py [output directory]   (default: the directory of this script)

Shapes are described as point-inside tests in pixel coordinates (x to the right, y downwards, the pixel (i, j)
covers [i, i+1) x [j, j+1)) and are antialiased by supersampling every pixel on a regular grid.
"""

import math
import os
import struct
import sys
import zlib

SUPERSAMPLE = 8  # samples per pixel along each axis


# ---------------------------------------------------------------------------------------------------------------
# Shapes: functions (x, y) -> bool, combined with the helpers below.


def circle(cx, cy, r):
    r2 = r * r
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r2


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def round_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        # Distance to the inner rectangle shrunk by the corner radius.
        dx = max(x0 + r - x, 0.0, x - (x1 - r))
        dy = max(y0 + r - y, 0.0, y - (y1 - r))
        return dx * dx + dy * dy <= r * r

    return inside


def polygon(points):
    """Even-odd point-in-polygon test."""
    pts = list(points)

    def inside(x, y):
        result = False
        n = len(pts)
        for i in range(n):
            xa, ya = pts[i]
            xb, yb = pts[(i + 1) % n]
            if (ya > y) != (yb > y):
                xc = xa + (y - ya) * (xb - xa) / (yb - ya)
                if x < xc:
                    result = not result
        return result

    return inside


def segment(xa, ya, xb, yb, width):
    """A thick line with round caps."""
    half2 = (width / 2.0) ** 2
    dx, dy = xb - xa, yb - ya
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = 0.0 if length2 == 0 else ((x - xa) * dx + (y - ya) * dy) / length2
        t = min(1.0, max(0.0, t))
        px, py = xa + t * dx - x, ya + t * dy - y
        return px * px + py * py <= half2

    return inside


def arc(cx, cy, r, width, start_deg, end_deg):
    """A ring segment from start to end angle (degrees, counter-clockwise on screen, 0 = right) with round caps."""
    inner2 = (r - width / 2.0) ** 2
    outer2 = (r + width / 2.0) ** 2
    start = start_deg % 360.0
    sweep = (end_deg - start_deg) % 360.0 or 360.0
    caps = [
        circle(cx + r * math.cos(math.radians(a)), cy - r * math.sin(math.radians(a)), width / 2.0)
        for a in (start_deg, end_deg)
    ]

    def inside(x, y):
        d2 = (x - cx) ** 2 + (y - cy) ** 2
        if inner2 <= d2 <= outer2:
            angle = math.degrees(math.atan2(cy - y, x - cx)) % 360.0
            if (angle - start) % 360.0 <= sweep:
                return True
        return caps[0](x, y) or caps[1](x, y)

    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def intersect(*shapes):
    return lambda x, y: all(s(x, y) for s in shapes)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


def scaled(shape, factor):
    """The shape drawn for a canvas `factor` times the size it was designed for."""
    return lambda x, y: shape(x / factor, y / factor)


# ---------------------------------------------------------------------------------------------------------------
# Paints: a constant (r, g, b, a) or a function (x, y) -> (r, g, b, a).


def vertical_gradient(y0, c0, y1, c1):
    def paint(x, y):
        t = min(1.0, max(0.0, (y - y0) / (y1 - y0)))
        return tuple(a + (b - a) * t for a, b in zip(c0, c1))

    return paint


def diagonal_gradient(x0, y0, c0, x1, y1, c1):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def paint(x, y):
        t = min(1.0, max(0.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        return tuple(a + (b - a) * t for a, b in zip(c0, c1))

    return paint


def radial_gradient(cx, cy, r, c0, c1):
    def paint(x, y):
        t = min(1.0, math.hypot(x - cx, y - cy) / r)
        return tuple(a + (b - a) * t for a, b in zip(c0, c1))

    return paint


def scaled_paint(paint, factor):
    if callable(paint):
        return lambda x, y: paint(x / factor, y / factor)
    return paint


# ---------------------------------------------------------------------------------------------------------------
# Canvas: straight (non-premultiplied) RGBA in floats 0..1, composited with "source over".


class Canvas:
    def __init__(self, width, height, background=(0.0, 0.0, 0.0, 0.0)):
        self.width = width
        self.height = height
        self.pixels = [list(background) for _ in range(width * height)]

    def fill(self, shape, paint):
        n = SUPERSAMPLE
        offsets = [(k + 0.5) / n for k in range(n)]
        for j in range(self.height):
            for i in range(self.width):
                acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied colour and coverage of the layer in this pixel
                for oy in offsets:
                    for ox in offsets:
                        x, y = i + ox, j + oy
                        if shape(x, y):
                            c = paint(x, y) if callable(paint) else paint
                            acc[0] += c[0] * c[3]
                            acc[1] += c[1] * c[3]
                            acc[2] += c[2] * c[3]
                            acc[3] += c[3]
                if acc[3] == 0.0:
                    continue
                samples = float(n * n)
                sa = acc[3] / samples
                src = [acc[0] / acc[3], acc[1] / acc[3], acc[2] / acc[3]]
                dst = self.pixels[j * self.width + i]
                da = dst[3]
                oa = sa + da * (1.0 - sa)
                for k in range(3):
                    dst[k] = (src[k] * sa + dst[k] * da * (1.0 - sa)) / oa
                dst[3] = oa

    def bytes_at(self, i, j):
        """(r, g, b, a) as 0..255 integers."""
        p = self.pixels[j * self.width + i]
        return tuple(int(round(min(1.0, max(0.0, v)) * 255.0)) for v in p)


def rgb(r, g, b, a=255):
    return (r / 255.0, g / 255.0, b / 255.0, a / 255.0)


def draw(size, layers, design_size, background=(0.0, 0.0, 0.0, 0.0)):
    """Paints the layers (shape, paint) designed on a design_size grid onto a size x size canvas."""
    canvas = Canvas(size, size, background)
    factor = size / float(design_size)
    for shape, paint in layers:
        canvas.fill(scaled(shape, factor), scaled_paint(paint, factor))
    return canvas


# ---------------------------------------------------------------------------------------------------------------
# File formats.


def png_bytes(c):
    """A 32-bit RGBA PNG of a canvas (deterministic: fixed compression level, no time or text chunks)."""
    raw = bytearray()
    for j in range(c.height):
        raw += b"\x00"  # no filter
        for i in range(c.width):
            r, g, b, a = c.bytes_at(i, j)
            raw += bytes((r, g, b, a) if a else (0, 0, 0, 0))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", c.width, c.height, 8, 6, 0, 0, 0)  # 8 bits per channel, RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")


def ico_bytes(canvases, png_sizes=()):
    """An icon file with one 32-bit image (colour with alpha plus the AND mask) per canvas; canvases whose
    width is in png_sizes are stored as PNG instead, which Windows reads since Vista. A size listed with a
    minus sign is stored as PNG only where that is smaller than the bitmap."""
    images = []
    for c in canvases:
        bitmap = dib_bytes(c)
        if c.width in png_sizes or (-c.width in png_sizes and len(png_bytes(c)) < len(bitmap)):
            images.append((c.width, c.height, png_bytes(c)))
        else:
            images.append((c.width, c.height, bitmap))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for w, h, data in images:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


def dib_bytes(c):
    """One icon image as a 32-bit bitmap: colour with alpha, then the AND mask."""
    xor = bytearray()
    for j in reversed(range(c.height)):  # DIB rows are stored bottom-up
        for i in range(c.width):
            r, g, b, a = c.bytes_at(i, j)
            if a == 0:
                r = g = b = 0
            xor += bytes((b, g, r, a))
    mask_stride = ((c.width + 31) // 32) * 4
    mask = bytearray()
    for j in reversed(range(c.height)):
        row = bytearray(mask_stride)
        for i in range(c.width):
            if c.bytes_at(i, j)[3] < 128:  # transparent where mostly transparent
                row[i // 8] |= 0x80 >> (i % 8)
        mask += row
    header = struct.pack("<IiiHHIIiiII", 40, c.width, c.height * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def bmp24_bytes(c, matte=(255, 255, 255)):
    """A 24-bit bitmap file; transparent parts are laid over the matte colour (menus combine with white)."""
    stride = (c.width * 3 + 3) & ~3
    pixels = bytearray()
    for j in reversed(range(c.height)):
        row = bytearray()
        for i in range(c.width):
            r, g, b, a = c.bytes_at(i, j)
            mix = lambda v, m: (v * a + m * (255 - a) + 127) // 255
            row += bytes((mix(b, matte[2]), mix(g, matte[1]), mix(r, matte[0])))
        row += bytes(stride - len(row))
        pixels += row
    info = struct.pack("<IiiHHIIiiII", 40, c.width, c.height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + bytes(pixels)


# ---------------------------------------------------------------------------------------------------------------
# The pictures. Each returns layers on its own design grid.

WHITE = rgb(255, 255, 255)
OUTLINE = rgb(40, 40, 48, 200)


def nachtriegel_layers(small):
    """Program icon: crescent moon and stars over a night sky, a barrel bolt shot across the bottom."""
    ink = rgb(16, 20, 34)
    star = rgb(255, 246, 200)
    steel = vertical_gradient(21, rgb(240, 244, 250), 27, rgb(120, 128, 144))
    dark_steel = vertical_gradient(19, rgb(170, 176, 188), 29, rgb(80, 86, 100))
    layers = [
        (round_rect(0.5, 0.5, 31.5, 31.5, 6.5), rgb(12, 18, 48)),
        (round_rect(1, 1, 31, 31, 6), vertical_gradient(1, rgb(22, 34, 92), 31, rgb(52, 82, 160))),
    ]
    if small:
        # Fewer, bolder parts: at 16 pixels every element covers whole pixels.
        layers += [
            (minus(circle(11, 11, 8.5), circle(16, 7, 7.5)), diagonal_gradient(4, 4, rgb(255, 236, 140), 12, 18, rgb(250, 190, 50))),
            (circle(24.5, 7.5, 2.2), star),
            (round_rect(22, 18, 30, 30, 2), ink),
            (round_rect(24, 20, 28, 28, 1), dark_steel),
            (round_rect(2, 20, 28, 28, 3), ink),
            (round_rect(4, 22, 26, 26, 1.5), steel),
            (round_rect(12, 14, 18, 24, 2.5), ink),
            (round_rect(14, 16, 16, 22, 1), rgb(236, 240, 248)),
        ]
        return layers
    layers.append((minus(circle(11, 10.5, 7.5), circle(15.5, 7, 7)), diagonal_gradient(5, 5, rgb(255, 236, 140), 12, 18, rgb(250, 190, 50))))
    for cx, cy, r in ((24, 6.5, 1.4), (27.5, 12.5, 1.0), (21, 11.5, 0.8)):
        layers.append((union(polygon([(cx - r * 2.2, cy), (cx, cy - r * 0.45), (cx + r * 2.2, cy), (cx, cy + r * 0.45)]),
                             polygon([(cx, cy - r * 2.2), (cx + r * 0.45, cy), (cx, cy + r * 2.2), (cx - r * 0.45, cy)])),
                       star))
    layers += [
        # Mounting plate of the bolt on the door, and the keeper on the frame.
        (round_rect(4, 20.5, 20, 29, 1.5), ink),
        (round_rect(5, 21.5, 19, 28, 1.0), dark_steel),
        (round_rect(22.5, 20.5, 29, 29, 1.5), ink),
        (round_rect(23.5, 21.5, 28, 28, 1.0), dark_steel),
        # The bolt itself, shot through into the keeper.
        (round_rect(2.5, 22.5, 27.5, 27, 2.2), ink),
        (round_rect(3.5, 23.5, 26.5, 26, 1.2), steel),
        # Its handle.
        (round_rect(15, 16, 19, 25, 2.0), ink),
        (round_rect(16, 17, 18, 24, 1.0), vertical_gradient(17, rgb(250, 250, 255), 24, rgb(150, 156, 170))),
    ]
    return layers


def info_layers():
    """Information sign: a blue disc with a white "i"."""
    return [
        (circle(16, 16, 15), rgb(20, 60, 140)),
        (circle(16, 16, 14), radial_gradient(12, 10, 20, rgb(96, 160, 240), rgb(24, 84, 190))),
        (circle(16, 9, 2.6), WHITE),
        (round_rect(13.5, 13, 18.5, 25.5, 1.5), WHITE),
    ]


def warning_layers():
    """Warning sign: a yellow triangle with rounded corners and a black exclamation mark."""
    outer = union(
        polygon([(16, 1.5), (30.5, 28), (1.5, 28)]),
        segment(16, 3.5, 29, 27, 4.5), segment(29, 27, 3, 27, 4.5), segment(3, 27, 16, 3.5, 4.5),
    )
    inner = union(
        polygon([(16, 4.5), (28, 26.5), (4, 26.5)]),
        segment(16, 5.5, 27, 25.5, 2.5), segment(27, 25.5, 5, 25.5, 2.5), segment(5, 25.5, 16, 5.5, 2.5),
    )
    return [
        (outer, rgb(110, 70, 0)),
        (inner, vertical_gradient(4, rgb(255, 226, 90), 27, rgb(244, 176, 20))),
        (union(segment(16, 11, 16, 19, 3.4)), rgb(20, 20, 20)),
        (circle(16, 23.2, 1.9), rgb(20, 20, 20)),
    ]


def power_layers():
    """Task: a red power button with the white power symbol."""
    return [
        (circle(16, 16, 15), rgb(110, 14, 14)),
        (circle(16, 16, 14), radial_gradient(12, 10, 20, rgb(250, 110, 90), rgb(180, 24, 20))),
        (arc(16, 17, 8, 3.2, 125, 55), WHITE),
        (segment(16, 6.5, 16, 15.5, 3.2), WHITE),
    ]


def gear_layers():
    """Settings: a grey gear wheel (13-pixel design grid)."""
    cx = cy = 6.5
    teeth = 6

    def gear(x, y):
        r = math.hypot(x - cx, y - cy)
        if r <= 4.4:
            return True
        if r > 6.4:
            return False
        # Teeth a little wider at the root than at the tip.
        angle = math.atan2(y - cy, x - cx) * teeth / (2 * math.pi) + 0.25
        half = 0.30 - 0.06 * (r - 4.4) / 2.0
        return abs(angle - math.floor(angle + 0.5)) <= half

    return [
        (minus(gear, circle(cx, cy, 1.9)), radial_gradient(4.5, 4.0, 9, rgb(140, 150, 166), rgb(60, 66, 82))),
    ]


def door_layers():
    """Quit: a doorway with its door swung open and an arrow leading out."""
    red = rgb(200, 30, 30)
    return [
        (rect(0.5, 1, 8, 12.5), rgb(60, 40, 24)),  # frame
        (rect(1.5, 2, 7, 12.5), rgb(250, 236, 200)),  # light behind the open doorway
        (polygon([(1.5, 2), (5, 3.2), (5, 12.5), (1.5, 12.5)]), vertical_gradient(2, rgb(176, 108, 52), 12, rgb(122, 70, 30))),
        (circle(4.0, 7.8, 0.7), rgb(255, 210, 60)),
        (segment(6, 7.5, 10, 7.5, 1.7), red),
        (polygon([(13, 7.5), (9.5, 4), (9.5, 11)]), red),
    ]


def eye_layers(slashed):
    """Show / hide: an open eye, struck through for hiding."""
    lens = intersect(circle(6.5, 11.5, 8.2), circle(6.5, 1.5, 8.2))
    lens_inner = intersect(circle(6.5, 11.6, 7.1), circle(6.5, 1.4, 7.1))
    layers = [
        (lens, rgb(30, 40, 60)),
        (lens_inner, WHITE),
        (intersect(circle(6.5, 6.5, 2.7), lens_inner), rgb(40, 110, 210)),
        (circle(6.5, 6.5, 1.2), rgb(10, 10, 20)),
    ]
    if slashed:
        layers.append((segment(2, 11, 11, 2, 2.8), WHITE))
        layers.append((segment(2, 11, 11, 2, 1.5), rgb(210, 30, 30)))
    return layers


def paragraph_layers():
    """Liability: a dark blue paragraph sign."""
    ink = rgb(20, 40, 110)
    w = 1.4
    return [
        (arc(6.5, 3.3, 2.5, w, 15, 230), ink),  # upper curl
        (arc(6.5, 9.7, 2.5, w, 195, 50), ink),  # lower curl
        (arc(6.5, 6.5, 1.9, w, 0, 360), ink),  # the middle loop
    ]


# ---------------------------------------------------------------------------------------------------------------

# Every icon file the program loads carries an image for each display scale from 100 % to 200 % (16 and 32
# pixels at 100 %, 20 and 40 at 125 %, 24 and 48 at 150 %, 32 and 64 at 200 %). Its own size comes first: a
# loader that asks for no size takes the first image.
ICON_SIZES = (16, 20, 24, 32, 40, 48, 64)


def scale_sizes(own):
    return [own] + [s for s in ICON_SIZES if s != own]


def program_icon(size):
    """The bolder small drawing up to 24 pixels, the detailed one from 32."""
    return draw(size, nachtriegel_layers(size < 32), 32)


ICONS = {
    "Symbole/Einleitung.ico": lambda: [draw(s, info_layers(), 32) for s in scale_sizes(32)],
    "Symbole/Vorgang.ico": lambda: [draw(s, power_layers(), 32) for s in scale_sizes(32)],
    "Symbole/Warnung.ico": lambda: [draw(s, warning_layers(), 32) for s in scale_sizes(32)],
    "Symbole/Nachtriegel-16.ico": lambda: [program_icon(s) for s in scale_sizes(16)],
    # Linked into the program, whose size is kept small: the sizes Windows asks for most (Explorer, the
    # title bar, the task bar and Alt+Tab at 100 % to 150 %); larger ones would cost about 19 KB, and Windows
    # scales 48 for the rest.
    "Nachtriegel.ico": lambda: [program_icon(s) for s in (32, 16, 20, 24, 48)],
}

MENU_BITMAP_SIZE = 13

BITMAPS = {
    "Bilder/Einstellungen.bmp": lambda: gear_layers(),
    "Bilder/Beenden.bmp": lambda: door_layers(),
    "Bilder/Informationen.bmp": lambda: [(scaled(s, 13 / 32.0), scaled_paint(p, 13 / 32.0)) for s, p in info_layers()],
    "Bilder/Anzeigen.bmp": lambda: eye_layers(False),
    "Bilder/Verstecken.bmp": lambda: eye_layers(True),
    "Bilder/Haftung.bmp": lambda: paragraph_layers(),
}


# The program's own icon is linked into the program: its 32-pixel image is stored as PNG (about a quarter of
# the uncompressed image), the 16-pixel one stays a bitmap, the others are PNG where that is smaller.
PNG_SIZES = {"Nachtriegel.ico": (32, -20, -24, -48)}


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    outputs = {}
    for name, make in ICONS.items():
        outputs[name] = ico_bytes(make(), PNG_SIZES.get(name, ()))
    for name, make in BITMAPS.items():
        outputs[name] = bmp24_bytes(draw(MENU_BITMAP_SIZE, make(), MENU_BITMAP_SIZE))
    for name, data in sorted(outputs.items()):
        path = os.path.join(out_dir, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        print("%-30s %6d bytes" % (name, len(data)))


if __name__ == "__main__":
    main()
