#!/usr/bin/env python3
"""Draws the module's bitmaps at their sizes and pixel formats and writes them, with their resource
script, to module/resources/. Run it after changing the artwork; the files are committed.

  0x1000 132x132 8-bit RLE, one colour   drawing-surface placeholder (IVSI, Logic)
  0x1100 158x158 8-bit                   IVSI bezel
  0x1200 158x158 8-bit                   IVSI lit overlay
  0x1300 158x158 8-bit RLE, one colour   blank face: IVSI root, bezel and overlay of the "b" variants
  0x2000 228x89  8-bit                   Transponder background
  0x2100 228x89  8-bit                   Transponder backlight overlay
  0x2200 50x17   4-bit                   Transponder code window
  0x2300..0x2304 27x27 8-bit             knob positions 0..4
  0x2400..0x2402 11x21 8-bit             switch positions 0..2
  0x2500 8x8     8-bit                   reply light

Pure black (0, 0, 0) is transparent on the panel, so it is the background of every overlay.
"""
import math
import os
import struct
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "module", "resources")


class Canvas:
    """A palette picture: pixels are palette indices, row 0 at the top."""

    def __init__(self, width, height, palette, fill=0):
        self.width, self.height, self.palette = width, height, palette
        self.pixels = [[fill] * width for _ in range(height)]

    def put(self, x, y, index):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = index

    def rect(self, x0, y0, x1, y1, index):
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                self.pixels[y][x] = index

    def disk(self, cx, cy, r, index):
        for y in range(self.height):
            for x in range(self.width):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.pixels[y][x] = index

    def ring(self, cx, cy, r0, r1, index):
        for y in range(self.height):
            for x in range(self.width):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                if r0 <= d <= r1:
                    self.pixels[y][x] = index

    def line(self, x0, y0, x1, y1, index, width=1.0):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
        for i in range(steps + 1):
            t = i / steps
            x, y = x0 + (x1 - x0) * t, y0 + (y1 - y0) * t
            h = width / 2
            for yy in range(int(math.floor(y - h)), int(math.ceil(y + h)) + 1):
                for xx in range(int(math.floor(x - h)), int(math.ceil(x + h)) + 1):
                    if (xx + 0.5 - x) ** 2 + (yy + 0.5 - y) ** 2 <= h * h + 0.25:
                        self.put(xx, yy, index)


def rle8(rows):
    """BI_RLE8 runs, bottom row first, as a BMP stores them."""
    out = bytearray()
    for row in reversed(rows):
        x = 0
        while x < len(row):
            run = 1
            while x + run < len(row) and row[x + run] == row[x] and run < 255:
                run += 1
            out += bytes([run, row[x]])
            x += run
        out += b"\x00\x00"  # end of line
    out[-2:] = b"\x00\x01"  # end of bitmap replaces the last end of line
    return bytes(out)


def write_bmp(path, canvas, bits, compressed=False):
    colours = 1 << bits
    palette = list(canvas.palette) + [(0, 0, 0)] * (colours - len(canvas.palette))
    if compressed:
        data = rle8(canvas.pixels)
    else:
        stride = ((canvas.width * bits + 31) // 32) * 4
        data = bytearray()
        for row in reversed(canvas.pixels):
            line = bytearray(stride)
            for x, index in enumerate(row):
                if bits == 8:
                    line[x] = index
                else:  # 4 bits: high nibble first
                    line[x // 2] |= (index & 0xF) << (4 if x % 2 == 0 else 0)
            data += line
        data = bytes(data)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, bits, 1 if compressed else 0,
                       len(data), 2835, 2835, colours, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + len(info) + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + pal + data)


BLACK = (0, 0, 0)
GREYS = [(28, 28, 30), (48, 48, 52), (72, 72, 78), (104, 104, 110), (150, 150, 156), (210, 210, 214)]
AMBER = (255, 176, 64)
WHITE = (240, 240, 240)
CODE_BACKGROUND = (0x18, 0x08, 0x28)


# ---- Shaded artwork -----------------------------------------------------------------------------------
# The IVSI bezel is drawn as true colour, four by four samples a pixel, then put on a palette. A sample is
# an (r, g, b) colour, HOLE (the face window: the gauge's picture shows there) or OUTSIDE (the panel shows).
HOLE = "hole"
OUTSIDE = "outside"
FACE_BEHIND = (0, 0, 16)  # what the gauge paints under the bezel's inner edge, for blending it


def shaded(width, height, sample, subsamples=4):
    """Averages `sample` over each pixel. A pixel at least half hole or outside becomes transparent; in a
    pixel that is partly hole the hole counts as the dark face, so the inner edge blends into it."""
    rows = []
    step = 1.0 / subsamples
    for y in range(height):
        row = []
        for x in range(width):
            r = g = b = 0.0
            hits = clear = 0
            for j in range(subsamples):
                for i in range(subsamples):
                    c = sample(x + (i + 0.5) * step, y + (j + 0.5) * step)
                    if c == OUTSIDE:
                        clear += 1
                        continue
                    if c == HOLE:
                        clear += 1
                        c = FACE_BEHIND
                    r, g, b, hits = r + c[0], g + c[1], b + c[2], hits + 1
            if clear * 2 >= subsamples * subsamples or hits == 0:
                row.append(None)
            else:
                row.append((r / hits, g / hits, b / hits))
        rows.append(row)
    return rows


def on_palette(rows):
    """A Canvas of `rows` (colours or None for transparent) with a palette of at most 255 colours besides
    black at index 0. Colours are rounded more coarsely until they fit; none rounds to pure black."""
    for quantum in (2, 3, 4, 5, 6, 8, 10, 12, 16):
        def q(c):
            v = tuple(min(255, int(round(ch / quantum) * quantum)) for ch in c)
            return v if v != (0, 0, 0) else (quantum, quantum, quantum)
        colours = sorted({q(c) for row in rows for c in row if c is not None})
        if len(colours) <= 255:
            break
    index = {c: i + 1 for i, c in enumerate(colours)}
    canvas = Canvas(len(rows[0]), len(rows), [BLACK] + colours)
    for y, row in enumerate(rows):
        for x, c in enumerate(row):
            canvas.pixels[y][x] = 0 if c is None else index[q(c)]
    return canvas


def mix(a, b, t):
    return tuple(a[k] + (b[k] - a[k]) * t for k in range(3))


def scale(c, f):
    return tuple(max(0.0, min(255.0, ch * f)) for ch in c)


# Light falls from the upper left, a little in front of the panel.
LIGHT = (-0.45, -0.55, 0.70)


def lit(normal):
    n = math.sqrt(sum(k * k for k in normal))
    return max(0.0, sum(normal[k] * LIGHT[k] for k in range(3)) / n)


# Tiny engraved letters, rows of bits, for the four corner labels.
GLYPHS = {
    "A": ["010", "101", "111", "101", "101"],
    "B": ["110", "101", "110", "101", "110"],
    "D": ["110", "101", "101", "101", "110"],
    "E": ["111", "100", "110", "100", "111"],
    "G": ["0111", "1000", "1011", "1001", "0111"],
    "L": ["100", "100", "100", "100", "111"],
    "M": ["10001", "11011", "10101", "10001", "10001"],
    "N": ["1001", "1101", "1011", "1001", "1001"],
    "O": ["010", "101", "101", "101", "010"],
    "R": ["110", "101", "110", "101", "101"],
    "S": ["011", "100", "010", "001", "110"],
    "/": ["001", "001", "010", "100", "100"],
}


def text_pixels(text, x0, y0):
    """The pixels (x, y) of `text` with its top-left corner at (x0, y0)."""
    pixels = set()
    x = x0
    for ch in text:
        for dy, bits in enumerate(GLYPHS[ch]):
            for dx, bit in enumerate(bits):
                if bit == "1":
                    pixels.add((x + dx, y0 + dy))
        x += len(GLYPHS[ch][0]) + 1
    return pixels


# The IVSI: a 158-pixel square case with chamfered corners and a round bezel ring. The face (the gauge's
# 132-pixel drawing surface) sits at (14, 14) and uses its whole square, corners included (mode, range and
# altitude texts), so the window over it is that square and the ring is centred on the face, (80, 80): the
# ring shows in the frame on the four sides and passes under the window towards the corners.
IVSI_SIZE = 158
IVSI_CHAMFER = 11
FACE_WINDOW = (14.0, 14.0, 146.0, 146.0)  # left, top, right, bottom: always transparent
FACE_CENTRE = (80.0, 80.0)
LIP_RADIUS = 69.0          # inner edge of the bezel ring
RING_OUTER_RADIUS = 77.0   # outer edge of the bezel ring
SCREWS = ((8.0, 8.0), (150.0, 8.0), (8.0, 150.0), (150.0, 150.0))
SCREW_SLOTS = (35, 110, 160, 70)  # degrees: screws are never all turned alike
CORNER_LABELS = (("MODE", 18, 4), ("RNG", 125, 4), ("A/B", 20, 149), ("REL", 126, 149))  # by the corner areas


def in_face_window(x, y):
    left, top, right, bottom = FACE_WINDOW
    return left <= x < right and top <= y < bottom


def ivsi_case_sample(x, y):
    s = IVSI_SIZE
    if x + y < IVSI_CHAMFER or (s - x) + y < IVSI_CHAMFER or x + (s - y) < IVSI_CHAMFER or (s - x) + (s - y) < IVSI_CHAMFER:
        return OUTSIDE
    if in_face_window(x, y):
        return HOLE
    dx, dy = x - FACE_CENTRE[0], y - FACE_CENTRE[1]
    r = math.hypot(dx, dy)
    ux, uy = dx / r, dy / r
    # The window's own edge: a thin dark lip where the frame steps down to the glass.
    left, top, right, bottom = FACE_WINDOW
    lip = min(abs(x - left) if top <= y < bottom else 9, abs(x - right) if top <= y < bottom else 9,
              abs(y - top) if left <= x < right else 9, abs(y - bottom) if left <= x < right else 9)
    if lip < 1.2 and r < RING_OUTER_RADIUS + 0.9:
        return (18, 18, 21)
    if r < LIP_RADIUS:  # the frame inside the ring, next to the window: in the ring's shadow
        return scale((36, 37, 40), 0.85 + 0.3 * lit((-ux, -uy, 0.8)))
    if r < RING_OUTER_RADIUS:
        # A rounded ring: its slope faces the window on the inside and the case on the outside.
        t = (r - LIP_RADIUS) / (RING_OUTER_RADIUS - LIP_RADIUS)
        slope = (t - 0.5) * 1.6
        normal = (ux * slope, uy * slope, math.sqrt(max(0.05, 1 - slope * slope)))
        return scale((96, 98, 104), 0.35 + 0.8 * lit(normal))
    if r < RING_OUTER_RADIUS + 0.9:
        return (24, 25, 28)  # the seam between ring and case
    # The case: matt dark grey, lighter towards the top, with a soft shadow around the ring.
    base = mix((58, 60, 64), (40, 41, 45), y / s)
    shadow = max(0.0, 1.0 - (r - RING_OUTER_RADIUS) / 4.0)
    base = scale(base, 1.0 - 0.35 * shadow * (0.6 + 0.4 * lit((ux, uy, 0.3))))
    # A bevel along the outer edge: lit on top and left, dark on bottom and right.
    edges = ((x, (-1, 0)), (y, (0, -1)), (s - x, (1, 0)), (s - y, (0, 1)),
             ((x + y - IVSI_CHAMFER) / 1.414, (-0.7, -0.7)), (((s - x) + y - IVSI_CHAMFER) / 1.414, (0.7, -0.7)),
             ((x + (s - y) - IVSI_CHAMFER) / 1.414, (-0.7, 0.7)),
             (((s - x) + (s - y) - IVSI_CHAMFER) / 1.414, (0.7, 0.7)))
    distance, facing = min(edges, key=lambda e: e[0])
    if distance < 1.6:
        base = scale(base, 0.75 + 0.9 * lit((facing[0], facing[1], 0.5)))
    for (sx, sy), slot in zip(SCREWS, SCREW_SLOTS):
        d = math.hypot(x - sx, y - sy)
        if d < 4.6:
            if d >= 3.8:
                return (22, 23, 25)  # the counterbore around the head
            # A domed head with a slot across it.
            a = math.radians(slot)
            across = abs(-(x - sx) * math.sin(a) + (y - sy) * math.cos(a))
            if across < 0.6 and d < 3.2:
                return (26, 26, 28)
            h = d / 3.8
            normal = ((x - sx) / 3.8, (y - sy) / 3.8, math.sqrt(max(0.05, 1 - h * h)))
            return scale((120, 121, 126), 0.3 + 0.85 * lit(normal))
    return base


def ivsi_bezel():
    rows = shaded(IVSI_SIZE, IVSI_SIZE, ivsi_case_sample)
    # Engraved labels: light paint in the case's grey.
    for text, x0, y0 in CORNER_LABELS:
        for (x, y) in text_pixels(text, x0, y0):
            if rows[y][x] is not None:
                rows[y][x] = (150, 150, 154)
    return on_palette(rows)


def ivsi_lit_overlay():
    """What the panel lighting adds to the bezel: the labels glow warm and a faint warm light runs along
    the ring's crest. Everything else is transparent, so the bezel shows as it is."""
    amber = (255, 172, 70)
    def sample(x, y):
        # A faint warm band on the ring's crest, strongest at the top where the lamp would sit.
        r = math.hypot(x - FACE_CENTRE[0], y - FACE_CENTRE[1])
        if in_face_window(x, y) or abs(r - (LIP_RADIUS + RING_OUTER_RADIUS) / 2) > 1.2:
            return OUTSIDE
        up = 0.5 - 0.5 * (y - FACE_CENTRE[1]) / r
        return mix((60, 44, 30), (150, 100, 48), up)
    rows = shaded(IVSI_SIZE, IVSI_SIZE, sample)
    for text, x0, y0 in CORNER_LABELS:
        for (x, y) in text_pixels(text, x0, y0):
            rows[y][x] = amber
            # A faint halo around each lit letter, where the bezel has nothing else.
            for nx, ny in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)):
                if 0 <= nx < IVSI_SIZE and 0 <= ny < IVSI_SIZE and rows[ny][nx] is None:
                    rows[ny][nx] = (92, 64, 34)
    for text, x0, y0 in CORNER_LABELS:  # letters over halos
        for (x, y) in text_pixels(text, x0, y0):
            rows[y][x] = amber
    return on_palette(rows)


# A 3 x 5 pixel font for the head's engraved labels: each glyph is five rows of three bits.
GLYPHS = {
    "A": ("010", "101", "111", "101", "101"), "B": ("110", "101", "110", "101", "110"),
    "C": ("011", "100", "100", "100", "011"), "D": ("110", "101", "101", "101", "110"),
    "E": ("111", "100", "110", "100", "111"), "G": ("011", "100", "101", "101", "011"),
    "I": ("111", "010", "010", "010", "111"), "L": ("100", "100", "100", "100", "111"),
    "M": ("101", "111", "111", "101", "101"), "N": ("101", "111", "111", "111", "101"),
    "O": ("010", "101", "101", "101", "010"), "P": ("110", "101", "110", "100", "100"),
    "R": ("110", "101", "110", "101", "101"), "S": ("011", "100", "010", "001", "110"),
    "T": ("111", "010", "010", "010", "010"), "V": ("101", "101", "101", "101", "010"),
    "W": ("101", "101", "111", "111", "101"), "X": ("101", "101", "010", "101", "101"),
    "Y": ("101", "101", "010", "010", "010"), "/": ("001", "001", "010", "100", "100"),
    "-": ("000", "000", "111", "000", "000"), " ": ("000", "000", "000", "000", "000"),
}


def label(c, x, y, text, index):
    """Writes `text` with its top-left corner at (x, y), one pixel between letters."""
    for i, ch in enumerate(text):
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    c.put(x + i * 4 + col, y + row, index)


def label_width(text):
    return len(text) * 4 - 1


def centred_label(c, cx, y, text, index):
    label(c, int(round(cx - label_width(text) / 2)), y, text, index)


# Where the head's controls sit (pixels of the 228 x 89 design; they match the element tree).
KNOBS = {"MODE": (55.5, 63.5), "RANGE": (172.5, 63.5)}
SWITCHES = {"ABV/BLW": 30, "ABS/REL": 60, "ALT": 161, "TCAS": 191}
DIGIT_ROCKERS = (92, 104, 116, 128)


def knob_ticks(c, cx, cy, index):
    for position in range(5):
        a = math.radians(-150 + position * 60)
        c.line(cx + 15 * math.sin(a), cy - 15 * math.cos(a), cx + 18 * math.sin(a), cy - 18 * math.cos(a), index)


def transponder_background():
    # Palette: 0 black (transparent), 1..6 greys dark to light, 7 white.
    c = Canvas(228, 89, [BLACK] + GREYS + [WHITE])
    c.rect(0, 0, 228, 89, 3)       # raised edge
    c.rect(1, 1, 227, 88, 2)       # face plate
    c.rect(1, 87, 227, 88, 1)      # shadow along the bottom
    c.rect(226, 1, 227, 88, 1)     # and the right
    for sx, sy in ((5, 5), (222, 5), (5, 83), (222, 83)):
        c.disk(sx + 0.5, sy + 0.5, 2.6, 5)
        c.line(sx - 1, sy, sx + 2, sy, 1)
    # Code window recess with its bevel.
    c.rect(88, 10, 144, 33, 4)
    c.rect(89, 11, 143, 32, 1)
    centred_label(c, 116, 4, "ATC", 6)
    # Digit rockers under the window: a groove each with a ridge down its middle.
    for x0 in DIGIT_ROCKERS:
        c.rect(x0 + 2, 35, x0 + 10, 62, 1)
        c.rect(x0 + 3, 36, x0 + 9, 61, 3)
        c.rect(x0 + 5, 37, x0 + 7, 60, 5)
    # Knob wells with their five detents, and their names below.
    for name, (cx, cy) in KNOBS.items():
        c.disk(cx, cy, 15.5, 1)
        knob_ticks(c, cx, cy, 7)
        centred_label(c, cx, 41, name, 6)
    # Toggle-switch slots and their names.
    for name, x in SWITCHES.items():
        c.rect(x - 1, 7, x + 12, 30, 1)
        centred_label(c, x + 5.5, 33, name, 6)
    # IDENT button: a raised square with its name; the reply light shows through below the name.
    c.rect(133, 64, 153, 84, 5)
    c.rect(134, 65, 153, 84, 1)
    c.rect(134, 65, 152, 83, 4)
    centred_label(c, 143, 77, "IDT", 1)
    return c


def transponder_backlight():
    # The engraved names glow amber when the panel lights are on; everything else stays transparent.
    c = Canvas(228, 89, [BLACK, AMBER])
    centred_label(c, 116, 4, "ATC", 1)
    for name, (cx, cy) in KNOBS.items():
        centred_label(c, cx, 41, name, 1)
        knob_ticks(c, cx, cy, 1)
    for name, x in SWITCHES.items():
        centred_label(c, x + 5.5, 33, name, 1)
    return c


def code_window():
    c = Canvas(50, 17, [CODE_BACKGROUND])
    return c


def knob(position):
    c = Canvas(27, 27, [BLACK] + GREYS)
    c.disk(13.5, 13.5, 13, 3)
    c.disk(13.5, 13.5, 10, 4)
    a = math.radians(-150 + position * 60)  # five detents from lower left to lower right
    c.line(13.5, 13.5, 13.5 + 11 * math.sin(a), 13.5 - 11 * math.cos(a), 6, 2.0)
    return c


def switch(position):
    c = Canvas(11, 21, [BLACK] + GREYS)
    c.disk(5.5, 10.5, 5, 2)
    tip = {0: 2.5, 1: 10.5, 2: 18.5}[position]
    c.line(5.5, 10.5, 5.5, tip, 5, 3.0)
    c.disk(5.5, tip, 2.5, 6)
    return c


def reply_light():
    c = Canvas(8, 8, [BLACK, AMBER, (255, 230, 160)])
    c.disk(4, 4, 3.6, 1)
    c.disk(3.5, 3.5, 1.5, 2)
    return c


def main():
    out = os.path.join(ROOT, "bitmaps")
    os.makedirs(out, exist_ok=True)
    images = [
        (0x1000, Canvas(132, 132, [BLACK]), 8, True),
        (0x1100, ivsi_bezel(), 8, False),
        (0x1200, ivsi_lit_overlay(), 8, False),
        (0x1300, Canvas(158, 158, [BLACK]), 8, True),
        (0x2000, transponder_background(), 8, False),
        (0x2100, transponder_backlight(), 8, False),
        (0x2200, code_window(), 4, False),
    ] + [(0x2300 + i, knob(i), 8, False) for i in range(5)] \
      + [(0x2400 + i, switch(i), 8, False) for i in range(3)] \
      + [(0x2500, reply_light(), 8, False)]
    lines = ["// Bitmaps of the gauges, drawn by tools/make_bitmaps.py."]
    for ident, canvas, bits, compressed in images:
        name = "%04X.bmp" % ident
        write_bmp(os.path.join(out, name), canvas, bits, compressed)
        lines.append('0x%04X BITMAP "bitmaps/%s"' % (ident, name))
    with open(os.path.join(ROOT, "bitmaps.rc"), "w") as f:
        f.write("\n".join(lines) + "\n")
    print("wrote %d bitmaps to %s" % (len(images), out))


if __name__ == "__main__":
    sys.exit(main())
