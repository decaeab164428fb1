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


def ivsi_bezel():
    c = Canvas(158, 158, [BLACK] + GREYS)
    c.rect(0, 0, 158, 158, 2)
    c.ring(79, 79, 0, 0, 0)
    # Chamfered corners.
    for y in range(158):
        for x in range(158):
            if x + y < 14 or (157 - x) + y < 14 or x + (157 - y) < 14 or (157 - x) + (157 - y) < 14:
                c.pixels[y][x] = 0
    c.disk(79, 79, 67, 0)  # the face shows through
    c.ring(79, 79, 67, 70, 4)  # inner lip
    c.ring(79, 79, 70, 72, 1)
    for sx, sy in ((9, 9), (148, 9), (9, 148), (148, 148)):
        c.disk(sx + 0.5, sy + 0.5, 4, 5)
        c.line(sx - 2, sy - 2, sx + 3, sy + 3, 1)
    return c


def ivsi_lit_overlay():
    c = Canvas(158, 158, [BLACK, AMBER, (160, 100, 30)])
    c.ring(79, 79, 70.5, 71.5, 2)
    for angle in range(0, 360, 30):
        a = math.radians(angle)
        c.line(79 + 68 * math.cos(a), 79 + 68 * math.sin(a), 79 + 72 * math.cos(a), 79 + 72 * math.sin(a), 1)
    return c


def transponder_background():
    c = Canvas(228, 89, [BLACK] + GREYS + [WHITE])
    c.rect(0, 0, 228, 89, 2)
    c.rect(1, 1, 227, 88, 1)
    c.rect(89, 11, 143, 32, 0 + 1)  # code window well
    for x0 in (92, 104, 116, 128):
        c.rect(x0 + 3, 35, x0 + 9, 61, 3)  # digit rockers
    for cx, cy in ((172.5, 63.5), (55.5, 63.5)):
        c.disk(cx, cy, 15, 3)
    c.rect(133, 64, 153, 84, 4)  # IDENT
    c.rect(135, 66, 151, 82, 3)
    return c


def transponder_backlight():
    c = Canvas(228, 89, [BLACK, AMBER])
    for x0, y0, x1 in ((26, 34, 44), (62, 34, 82), (157, 34, 190), (40, 80, 72), (160, 80, 186), (134, 58, 152)):
        c.rect(x0, y0, x1, y0 + 2, 1)  # label strokes
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
