#!/usr/bin/env python3
"""Draws Quillmark's art and writes it in the formats the resource compiler reads.

    resources/art/quillmark.ico  program icon: 16 to 64 pixels and 256 (PNG), 32-bit with alpha
    resources/art/banner.bmp     companion-product banner: 612x107, 24-bit
    resources/art/hand.cur       link cursor: 32x32 monochrome hand, hot spot at the fingertip

Only the standard library is used, so anyone can redraw the art; the outputs are kept in
the repository so that building needs no art tools. Run: python3 scripts/make-art.py
"""

import math
import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ART = os.path.join(ROOT, "resources", "art")


# ---------------------------------------------------------------------------
# Small raster helpers

def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c0, c1, t):
    return tuple(lerp(a, b, t) for a, b in zip(c0, c1))


def hex_rgb(text):
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


def smoothstep(e0, e1, x):
    t = clamp01((x - e0) / (e1 - e0))
    return t * t * (3 - 2 * t)


class Canvas:
    """An RGB image of floats, y downwards, with coverage-based painting."""

    def __init__(self, width, height, colour=(0, 0, 0)):
        self.width = width
        self.height = height
        self.px = [[tuple(map(float, colour)) for _ in range(width)] for _ in range(height)]

    def blend(self, x, y, colour, alpha):
        if alpha <= 0.0 or not (0 <= x < self.width and 0 <= y < self.height):
            return
        self.px[y][x] = mix(self.px[y][x], colour, min(alpha, 1.0))

    def paint_mask(self, mask, colour, opacity=1.0, dx=0, dy=0):
        for (x, y), cover in mask.items():
            self.blend(x + dx, y + dy, colour, cover * opacity)

    def rgb_rows(self):
        return [[tuple(int(round(max(0.0, min(255.0, c)))) for c in p) for p in row]
                for row in self.px]


def segment_distance(px, py, ax, ay, bx, by):
    vx, vy = bx - ax, by - ay
    length2 = vx * vx + vy * vy
    t = 0.0 if length2 == 0 else clamp01(((px - ax) * vx + (py - ay) * vy) / length2)
    dx, dy = px - (ax + t * vx), py - (ay + t * vy)
    return math.hypot(dx, dy)


def stroke_mask(polylines, half_width, mask=None):
    """Coverage of round-capped strokes along polylines (pixel coordinates, y down)."""
    mask = {} if mask is None else mask
    for line in polylines:
        for (ax, ay), (bx, by) in zip(line, line[1:] if len(line) > 1 else line):
            x0 = int(math.floor(min(ax, bx) - half_width - 1))
            x1 = int(math.ceil(max(ax, bx) + half_width + 1))
            y0 = int(math.floor(min(ay, by) - half_width - 1))
            y1 = int(math.ceil(max(ay, by) + half_width + 1))
            for y in range(y0, y1 + 1):
                for x in range(x0, x1 + 1):
                    d = segment_distance(x + 0.5, y + 0.5, ax, ay, bx, by)
                    cover = clamp01(half_width - d + 0.5)
                    if cover > mask.get((x, y), 0.0):
                        mask[(x, y)] = cover
    return mask


# ---------------------------------------------------------------------------
# A stroke font of our own, with the letters the banner uses: each glyph is a list of
# polylines in font units, baseline at y = 0, y upwards, x-height 1.0, capitals 1.4 high.

def arc(cx, cy, rx, ry, start, end, steps=28):
    """Points along an ellipse from angle start to end (degrees, anticlockwise, y up)."""
    n = max(2, int(steps * abs(end - start) / 360.0) + 1)
    pts = []
    for i in range(n + 1):
        a = math.radians(start + (end - start) * i / n)
        pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return pts


BOWL = (0.46, 0.5, 0.46, 0.5)  # centre and radii of round lowercase bowls

GLYPHS = {
    # advance width, polylines
    " ": (0.55, []),
    "T": (1.1, [[(0.0, 1.4), (1.1, 1.4)], [(0.55, 1.4), (0.55, 0.0)]]),
    "Q": (1.3, [arc(0.65, 0.7, 0.65, 0.7, 0, 360, 48), [(0.78, 0.3), (1.32, -0.14)]]),
    "a": (0.92, [arc(*BOWL, 0, 360), [(0.92, 1.0), (0.92, 0.0)]]),
    "c": (0.86, [arc(*BOWL, 42, 318)]),
    "e": (0.92, [[(0.0, 0.5), (0.92, 0.5)] + arc(*BOWL, 0, 312)[1:]]),
    "h": (0.82, [[(0.0, 1.45), (0.0, 0.0)],
                 [(0.0, 0.55)] + arc(0.41, 0.59, 0.41, 0.41, 180, 0)[1:] + [(0.82, 0.0)]]),
    "i": (0.0, [[(0.0, 1.0), (0.0, 0.0)], [(0.0, 1.36)]]),
    "k": (0.78, [[(0.0, 1.45), (0.0, 0.0)], [(0.76, 1.0), (0.0, 0.34)],
                 [(0.26, 0.56), (0.8, 0.0)]]),
    "l": (0.0, [[(0.0, 1.45), (0.0, 0.0)]]),
    "m": (1.4, [[(0.0, 1.0), (0.0, 0.0)],
                [(0.0, 0.62)] + arc(0.35, 0.64, 0.35, 0.36, 180, 0)[1:] + [(0.7, 0.0)],
                [(0.7, 0.62)] + arc(1.05, 0.64, 0.35, 0.36, 180, 0)[1:] + [(1.4, 0.0)]]),
    "n": (0.82, [[(0.0, 1.0), (0.0, 0.0)],
                 [(0.0, 0.55)] + arc(0.41, 0.59, 0.41, 0.41, 180, 0)[1:] + [(0.82, 0.0)]]),
    "o": (0.92, [arc(*BOWL, 0, 360)]),
    "p": (0.92, [[(0.0, 1.0), (0.0, -0.45)], arc(*BOWL, 0, 360)]),
    "r": (0.56, [[(0.0, 1.0), (0.0, 0.0)],
                 [(0.0, 0.5)] + arc(0.5, 0.5, 0.5, 0.5, 180, 80, 40)[1:]]),
    "t": (0.62, [[(0.22, 1.32), (0.22, 0.26)] + arc(0.5, 0.26, 0.28, 0.26, 180, 270)[1:]
                 + [(0.62, 0.0)],
                 [(0.0, 1.0), (0.6, 1.0)]]),
    "u": (0.82, [[(0.0, 1.0), (0.0, 0.45)] + arc(0.41, 0.41, 0.41, 0.41, 180, 360)[1:],
                 [(0.82, 1.0), (0.82, 0.0)]]),
    "w": (1.24, [[(0.0, 1.0), (0.3, 0.0), (0.62, 0.82), (0.94, 0.0), (1.24, 1.0)]]),
}


# Pairs that would look loose at the plain advance.
KERNING = {("T", "a"): -0.36, ("T", "o"): -0.36, ("T", "e"): -0.36}


def text_polylines(text, x, baseline, size, tracking=0.38):
    """Pixel polylines for text; size is the pixel height of one font unit (x-height)."""
    lines = []
    pen = x
    for i, ch in enumerate(text):
        if i > 0:
            pen += KERNING.get((text[i - 1], ch), 0.0) * size
        advance, glyph = GLYPHS[ch]
        for poly in glyph:
            lines.append([(pen + gx * size, baseline - gy * size) for gx, gy in poly])
        pen += (advance + tracking) * size
    return lines, pen


# ---------------------------------------------------------------------------
# File writers (little-endian Windows formats)

def bmp_24(rows):
    """A bottom-up 24-bit BMP file from rows of (r, g, b), top row first."""
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        pixels += line + b"\0" * (stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def pack_bits(rows, bits):
    """Bottom-up rows of palette indices packed at 1 or 4 bits, each row 4-byte aligned."""
    out = bytearray()
    per_byte = 8 // bits
    for row in reversed(rows):
        line = bytearray()
        for i in range(0, len(row), per_byte):
            value = 0
            for j in range(per_byte):
                index = row[i + j] if i + j < len(row) else 0
                value = (value << bits) | index
            line.append(value)
        out += line + b"\0" * ((-len(line)) % 4)
    return out


def icon_image(indices, transparent, palette, bits):
    """One image of an .ico/.cur: header, palette, colour (XOR) bits, then AND mask."""
    height, width = len(indices), len(indices[0])
    colour = pack_bits(indices, bits)
    mask = pack_bits([[1 if t else 0 for t in row] for row in transparent], 1)
    info = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0,
                       len(colour) + len(mask), 0, 0, 0, 0)
    quads = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return info + quads + colour + mask


def icon_file(kind, images):
    """An .ico (kind 1) or .cur (kind 2) file; images are (width, height, colours,
    field4, field6, data), field4/field6 being planes/bit count for an icon and the hot
    spot's x/y for a cursor."""
    out = bytearray(struct.pack("<HHH", 0, kind, len(images)))
    offset = 6 + 16 * len(images)
    for width, height, colours, f4, f6, data in images:
        out += struct.pack("<BBBBHHII", width % 256, height % 256, colours % 256, 0,
                           f4, f6, len(data), offset)
        offset += len(data)
    for image in images:
        out += image[5]
    return bytes(out)


# ---------------------------------------------------------------------------
# The program icon: a white quill on a blue tile, one image for each size the shell
# asks for at today's display scales.

ICON_SIZES = (256, 64, 48, 40, 32, 24, 20, 16)


def in_round_rect(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def quill_colour(u, v):
    """Colour of the icon at (u, v) in 0..1 units, y down, or None outside the tile."""
    if not in_round_rect(u, v, 0.03, 0.03, 0.97, 0.97, 0.2):
        return None
    # A navy face inside a bright blue rim.
    inner = in_round_rect(u, v, 0.1, 0.1, 0.9, 0.9, 0.13)
    colour = hex_rgb("000080") if inner else hex_rgb("0000FF")
    # The feather: a lens along the diagonal from the nib (lower left) to the tip.
    ax, ay, bx, by = 0.2, 0.84, 0.86, 0.14
    dx, dy = bx - ax, by - ay
    length = math.hypot(dx, dy)
    t = ((u - ax) * dx + (v - ay) * dy) / (length * length)
    side = ((u - ax) * dy - (v - ay) * dx) / length  # > 0: right of the shaft
    if 0.28 <= t <= 1.0:
        s = (t - 0.28) / 0.72
        half = 0.17 * math.sin(math.pi * s) ** 0.8
        half *= 1.0 if side < 0 else 0.62  # a narrower trailing vane, as on a real quill
        if abs(side) <= half:
            colour = hex_rgb("FFFFFF") if side < 0 else hex_rgb("C0C0C0")
    if 0.0 <= t <= 1.0 and abs(side) <= 0.022:
        colour = hex_rgb("808080")  # the shaft
    if -0.06 <= t <= 0.1 and abs(side) <= 0.03 * (1 - (0.1 - t) / 0.16):
        colour = hex_rgb("FFFF00")  # a gold nib
    return colour


def draw_icon(size):
    """Rows of (r, g, b, a), top row first: the design sampled over each pixel, its
    coverage the alpha and its colour the average of what the pixel covers."""
    samples = 8 if size <= 64 else 4  # small images need finer sampling to stay crisp
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            total, inside = [0.0, 0.0, 0.0], 0
            for sy in range(samples):
                for sx in range(samples):
                    c = quill_colour((x + (sx + 0.5) / samples) / size,
                                     (y + (sy + 0.5) / samples) / size)
                    if c is not None:
                        inside += 1
                        total = [a + b for a, b in zip(total, c)]
            if inside == 0:
                row.append((0, 0, 0, 0))
            else:
                rgb = tuple(int(round(c / inside)) for c in total)
                row.append(rgb + (int(round(255 * inside / samples ** 2)),))
        rows.append(row)
    return rows


def icon_dib(rows):
    """One 32-bit image of an .ico: header, BGRA rows bottom-up, then the AND mask that
    systems without alpha fall back on (set where the pixel is wholly transparent)."""
    size = len(rows)
    colour = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask = pack_bits([[1 if p[3] == 0 else 0 for p in row] for row in rows], 1)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                       len(colour) + len(mask), 0, 0, 0, 0)
    return info + colour + mask


def png_rgba(rows):
    """A PNG file of 8-bit RGBA rows. Each row takes the filter that leaves the smallest
    sum of bytes, which is what lets the flat fills compress."""
    height, width = len(rows), len(rows[0])
    raw = bytearray()
    previous = bytes(width * 4)
    for row in rows:
        line = bytes(c for p in row for c in p)
        candidates = []
        for kind in range(5):
            out = bytearray([kind])
            for i, value in enumerate(line):
                left = line[i - 4] if i >= 4 else 0
                up = previous[i]
                corner = previous[i - 4] if i >= 4 else 0
                if kind == 0:
                    base = 0
                elif kind == 1:
                    base = left
                elif kind == 2:
                    base = up
                elif kind == 3:
                    base = (left + up) // 2
                else:
                    p = left + up - corner
                    pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                    base = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                out.append((value - base) & 0xFF)
            candidates.append(out)
        raw += min(candidates, key=lambda o: sum(b if b < 128 else 256 - b for b in o[1:]))
        previous = line

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def make_icon():
    """The .ico: every size drawn afresh from the design (never shrunk from a larger
    image), the 256-pixel one stored as PNG, as the shell reads it since Vista."""
    images = []
    for size in ICON_SIZES:
        rows = draw_icon(size)
        data = png_rgba(rows) if size == 256 else icon_dib(rows)
        images.append((size, size, 0, 1, 32, data))
    return icon_file(1, images)


# ---------------------------------------------------------------------------
# The link cursor: a pointing hand; X black, . white, blank transparent.

HAND = [
    "    XXX                         ",
    "   X...X                        ",
    "   X...X                        ",
    "   X...X                        ",
    "   X...X                        ",
    "   X...XXXX                     ",
    "   X...X...XXXX                 ",
    "   X...X...X...X                ",
    "   X...X...X...XXX              ",
    "   X...X...X...X..X             ",
    " XXX...X...X...X..X             ",
    "X..X...X...X...X..X             ",
    "X..X..............X             ",
    " X................X             ",
    "  X...............X             ",
    "  X..............X              ",
    "   X.............X              ",
    "   X.............X              ",
    "    X...........X               ",
    "    X...........X               ",
    "    X...........X               ",
    "    XXXXXXXXXXXXX               ",
] + [" " * 32] * 10
HAND_HOT_SPOT = (5, 0)


def make_cursor():
    assert len(HAND) == 32 and all(len(r) == 32 for r in HAND)
    # Monochrome: AND 0 / XOR 0 is black, AND 0 / XOR 1 white, AND 1 / XOR 0 the screen.
    indices = [[1 if c == "." else 0 for c in row] for row in HAND]
    transparent = [[c == " " for c in row] for row in HAND]
    data = icon_image(indices, transparent, [(0, 0, 0), (255, 255, 255)], 1)
    return icon_file(2, [(32, 32, 0, HAND_HOT_SPOT[0], HAND_HOT_SPOT[1], data)])


# ---------------------------------------------------------------------------
# The banner: the companion product's name over a mountain lake at dusk.

BANNER_W, BANNER_H = 612, 107
HORIZON = 78  # the lake's shore line


def ridge(x, points):
    """Height of a ridge (y down) at x, linear between (x, y) points."""
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        if x0 <= x <= x1:
            return lerp(y0, y1, (x - x0) / (x1 - x0))
    return points[-1][1] if x > points[-1][0] else points[0][1]


FAR_RIDGE = [(240, 78), (282, 64), (306, 57), (322, 60), (344, 46), (360, 51), (381, 38),
             (398, 45), (410, 42), (431, 54), (447, 49), (470, 58), (497, 41), (512, 47),
             (532, 29), (548, 39), (561, 35), (584, 50), (600, 44), (612, 47)]
NEAR_RIDGE = [(290, 78), (330, 70), (356, 62), (372, 66), (394, 56), (418, 68), (441, 63),
              (462, 70), (489, 59), (508, 64), (522, 61), (551, 71), (578, 63), (596, 67),
              (612, 64)]
SUN = (470, 52, 9.0)  # centre and radius, set in the saddle of the far range


def ridge_top(x, points):
    """The ridge's height over one pixel column, averaged over four samples."""
    return sum(ridge(x + (s + 0.5) / 4, points) for s in range(4)) / 4


def draw_banner():
    cv = Canvas(BANNER_W, BANNER_H)
    sky_top, sky_low = hex_rgb("0B2341"), hex_rgb("2E6B8F")
    dusk, sun_colour = hex_rgb("E7A868"), hex_rgb("FFE9BF")
    sun_x, sun_y, sun_r = SUN
    for y in range(BANNER_H):
        for x in range(BANNER_W):
            t = clamp01(y / HORIZON)
            colour = mix(sky_top, sky_low, t * t * 0.85 + 0.15 * x / BANNER_W)
            # Evening light low on the right, brightest around the sun.
            band = smoothstep(260, 612, x) * smoothstep(20, HORIZON, y)
            colour = mix(colour, dusk, 0.45 * band)
            d = math.hypot(x + 0.5 - sun_x, (y + 0.5 - sun_y) * 1.3)
            colour = mix(colour, dusk, 0.6 * math.exp(-d / 26.0))
            cv.px[y][x] = colour
    sun = {}
    for y in range(int(sun_y - sun_r) - 1, int(sun_y + sun_r) + 2):
        for x in range(int(sun_x - sun_r) - 1, int(sun_x + sun_r) + 2):
            sun[(x, y)] = clamp01(sun_r - math.hypot(x + 0.5 - sun_x, y + 0.5 - sun_y) + 0.5)
    cv.paint_mask(sun, sun_colour)

    # Two ranges, fading in from the left so the name stays on a calm ground; each is
    # lighter at its peaks and hazy at its foot.
    ranges = ((FAR_RIDGE, hex_rgb("5E8CAB"), hex_rgb("3B6A89")),
              (NEAR_RIDGE, hex_rgb("24496A"), hex_rgb("15324D")))
    for points, peak, foot in ranges:
        for x in range(BANNER_W):
            fade = smoothstep(points[0][0], points[0][0] + 110, x)
            top = ridge_top(x, points)
            first = int(math.floor(top))
            for y in range(first, HORIZON):
                cover = (first + 1 - top) if y == first else 1.0
                colour = mix(peak, foot, clamp01((y - top) / max(1.0, HORIZON - top)))
                cv.blend(x, y, colour, cover * fade)

    # The lake mirrors what stands above the shore, darker and quieter, and carries a
    # few bright ripples under the sun.
    water_low = hex_rgb("0A1E36")
    for y in range(HORIZON, BANNER_H):
        depth = (y - HORIZON) / (BANNER_H - HORIZON)
        mirror = max(0, 2 * HORIZON - 1 - y)
        for x in range(BANNER_W):
            colour = mix(cv.px[mirror][x], water_low, 0.45 + 0.45 * depth)
            cv.px[y][x] = colour
    ripples = [(300, 82, 40), (352, 85, 64), (440, 81, 60), (452, 86, 38), (505, 84, 36),
               (388, 91, 44), (462, 92, 26), (530, 90, 52), (420, 97, 70), (330, 100, 28),
               (560, 99, 40), (470, 103, 30)]
    for x0, y, w in ripples:
        warmth = math.exp(-abs(x0 + w / 2 - sun_x) / 60.0)
        cv.paint_mask(stroke_mask([[(x0, y), (x0 + w, y)]], 0.45),
                      mix(hex_rgb("9FC0D6"), sun_colour, warmth), 0.35 + 0.35 * warmth)

    # The name with a soft shadow, a short gold rule, and a line beneath it.
    title, pen = text_polylines("Tarnwick", 30, 60, 30, tracking=0.36)
    cv.paint_mask(stroke_mask(title, 3.6), hex_rgb("050F1C"), 0.4, dx=2, dy=2)
    cv.paint_mask(stroke_mask(title, 2.8), hex_rgb("FFFFFF"))
    cv.paint_mask(stroke_mask([[(32, 73), (pen - 12, 73)]], 1.0), hex_rgb("F0B429"))
    tagline, _ = text_polylines("the companion to Quillmark", 33, 93, 8.0, tracking=0.5)
    cv.paint_mask(stroke_mask(tagline, 0.85), hex_rgb("D5E4EF"))
    return bmp_24(cv.rgb_rows())


def main():
    os.makedirs(ART, exist_ok=True)
    outputs = {
        "quillmark.ico": make_icon(),
        "hand.cur": make_cursor(),
        "banner.bmp": draw_banner(),
    }
    for name, data in outputs.items():
        with open(os.path.join(ART, name), "wb") as f:
            f.write(data)
        print(f"wrote resources/art/{name} ({len(data)} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
