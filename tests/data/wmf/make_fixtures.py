#!/usr/bin/env python3
"""Writes the vector metafiles in this folder, record by record, the way drawing programs and
clip-art collections lay them out: placeable headers in twips or 1/576 inch, window origins away
from zero, y axes pointing up, windows set twice, hatched and solid brushes, wide and dashed pens,
polygons with holes, polylines, ellipses and text. They are not written by our codec, so they test
its reading against an independent renderer (see wmf_test.cpp). Run: python3 make_fixtures.py"""
import math
import os
import struct


def word(v):
    return struct.pack('<H', v & 0xFFFF)


class Metafile:
    def __init__(self):
        self.records = []
        self.largest = 3
        self.objects = 0

    def record(self, function, words=(), tail=b''):
        body = b''.join(word(w) for w in words) + tail
        if len(body) % 2:
            body += b'\0'
        size = 3 + len(body) // 2
        self.largest = max(self.largest, size)
        self.records.append(struct.pack('<IH', size, function) + body)

    def build(self, frame=None):
        """frame: (left, top, right, bottom, units per inch) for a placeable header."""
        body = b''.join(self.records) + struct.pack('<IH', 3, 0)
        out = b''
        if frame:
            head = struct.pack('<IH', 0x9AC6CDD7, 0) + b''.join(word(v) for v in frame) + struct.pack('<I', 0)
            checksum = 0
            for i in range(0, 20, 2):
                checksum ^= struct.unpack('<H', head[i:i + 2])[0]
            out = head + word(checksum)
        header = word(1) + word(9) + word(0x0300) + struct.pack('<I', 9 + len(body) // 2) + word(self.objects)
        return out + header + struct.pack('<I', self.largest) + word(0) + body


def rgb(r, g, b):
    return [g << 8 | r, b]


# Records, parameters in file order (the reverse of the drawing call's arguments).
def map_mode(m, mode): m.record(0x0103, [mode])
def window_org(m, x, y): m.record(0x020B, [y, x])
def window_ext(m, x, y): m.record(0x020C, [y, x])
def viewport_ext(m, x, y): m.record(0x020E, [y, x])
def bk_mode(m, mode): m.record(0x0102, [mode])
def fill_mode(m, mode): m.record(0x0106, [mode])
def text_colour(m, r, g, b): m.record(0x0209, rgb(r, g, b))
def text_align(m, align): m.record(0x012E, [align])
def brush(m, r, g, b, style=0, hatch=0): m.record(0x02FC, [style] + rgb(r, g, b) + [hatch])
def pen(m, style, width, r, g, b): m.record(0x02FA, [style, width, 0] + rgb(r, g, b))
def select(m, i): m.record(0x012D, [i])
def delete(m, i): m.record(0x01F0, [i])
def polygon(m, pts): m.record(0x0324, [len(pts)] + [c for p in pts for c in p])
def polyline(m, pts): m.record(0x0325, [len(pts)] + [c for p in pts for c in p])
def rectangle(m, l, t, r, b): m.record(0x041B, [b, r, t, l])
def ellipse(m, l, t, r, b): m.record(0x0418, [b, r, t, l])


def polypolygon(m, polys):
    m.record(0x0538, [len(polys)] + [len(p) for p in polys] + [c for p in polys for q in p for c in q])


def font(m, height, weight, face):
    name = face.encode() + b'\0'
    # height, width, escapement, orientation, weight, italic/underline, strike-out/charset,
    # precisions, quality/pitch, then the face name
    m.record(0x02FB, [height, 0, 0, 0, weight, 0, 0, 0, 0], name)


def text_out(m, x, y, text):
    t = text.encode()
    m.record(0x0521, [len(t)], t + (b'\0' if len(t) % 2 else b'') + word(y) + word(x))


def house():
    """Twips, window origin (1200, 800), the window set twice (a placeholder first), no mapping
    mode (the placeable header's units), a polygon with a hole, a wide polyline and bold text."""
    m = Metafile()
    m.objects = 4
    window_org(m, 0, 0)
    window_ext(m, 1, 1)
    window_org(m, 1200, 800)
    window_ext(m, 3600, 2700)
    bk_mode(m, 1)
    fill_mode(m, 1)
    pen(m, 5, 0, 0, 0, 0)  # null pen for the sky
    select(m, 0)
    brush(m, 170, 210, 250)
    select(m, 1)
    polygon(m, [(1200, 800), (4800, 800), (4800, 3500), (1200, 3500)])
    delete(m, 1)
    brush(m, 200, 40, 40)
    select(m, 1)
    delete(m, 0)
    pen(m, 0, 30, 0, 0, 0)
    select(m, 0)
    polygon(m, [(1500, 2000), (3000, 1000), (4500, 2000)])
    delete(m, 1)
    brush(m, 240, 220, 120)
    select(m, 1)
    polypolygon(m, [[(1700, 2000), (4300, 2000), (4300, 3300), (1700, 3300)],
                    [(2000, 2300), (2600, 2300), (2600, 2900), (2000, 2900)]])
    delete(m, 0)
    pen(m, 0, 60, 20, 120, 20)
    select(m, 0)
    polyline(m, [(1300, 3400), (2000, 3200), (2700, 3400), (3400, 3200), (4700, 3400)])
    font(m, -300, 700, 'Helvetica')
    select(m, 2)
    text_colour(m, 0, 0, 160)
    text_align(m, 24)  # baseline
    text_out(m, 3000, 2700, 'Home')
    return m.build((1200, 800, 4800, 3500, 1440))


def star():
    """1/576 inch, anisotropic, window origin (-1000, 1000) with the y axis pointing up, a star,
    an ellipse, a dashed polyline and a hatched rectangle."""
    m = Metafile()
    m.objects = 2
    map_mode(m, 8)
    window_org(m, -1000, 1000)
    window_ext(m, 2000, -2000)
    pen(m, 5, 0, 0, 0, 0)
    select(m, 0)
    brush(m, 255, 250, 220)
    select(m, 1)
    rectangle(m, -1000, 1000, 1000, -1000)
    delete(m, 1)
    brush(m, 30, 60, 200)
    select(m, 1)
    delete(m, 0)
    pen(m, 0, 20, 0, 0, 0)
    select(m, 0)
    pts = []
    for i in range(10):
        radius = 900 if i % 2 == 0 else 380
        a = math.pi / 2 + i * math.pi / 5
        pts.append((round(radius * math.cos(a)), round(radius * math.sin(a))))
    polygon(m, pts)
    delete(m, 1)
    brush(m, 250, 200, 0)
    select(m, 1)
    ellipse(m, -150, 150, 150, -150)
    delete(m, 1)
    brush(m, 0, 120, 0, 2, 3)  # hatched, cross
    select(m, 1)
    rectangle(m, 650, -700, 950, -950)
    delete(m, 0)
    pen(m, 1, 0, 200, 0, 0)  # dashed
    select(m, 0)
    polyline(m, [(-950, -950), (400, -950), (400, 950)])
    return m.build((-1000, -1000, 1000, 1000, 576))


def chart():
    """No placeable header: anisotropic, window origin (-500, -300), a viewport extent, bars with
    solid and hatched brushes, a polyline and text."""
    m = Metafile()
    m.objects = 3
    map_mode(m, 8)
    window_org(m, -500, -300)
    window_ext(m, 1000, 600)
    viewport_ext(m, 500, 300)
    pen(m, 0, 4, 0, 0, 0)
    select(m, 0)
    brush(m, 235, 235, 235)
    select(m, 1)
    rectangle(m, -500, -300, 500, 300)
    for i, (h, colour) in enumerate([(200, (200, 60, 60)), (420, (60, 160, 60)), (320, (60, 60, 200))]):
        delete(m, 1)
        brush(m, *colour)
        select(m, 1)
        rectangle(m, -400 + i * 280, 250 - h, -200 + i * 280, 250)
    delete(m, 1)
    brush(m, 0, 0, 0, 2, 2)  # hatched, forward diagonal
    select(m, 1)
    rectangle(m, 300, -250, 460, 0)
    delete(m, 0)
    pen(m, 0, 12, 250, 120, 0)
    select(m, 0)
    polyline(m, [(-450, 100), (-200, -100), (100, 0), (450, -250)])
    font(m, -60, 400, 'Times New Roman')
    select(m, 2)
    text_out(m, -450, -290, 'Sales')
    return m.build(None)


def survey():
    """Twips, no mapping mode, the window's y extent negative (y pointing up, as survey and CAD
    writers do), origin at the top left corner in those coordinates: filled plots and a road."""
    m = Metafile()
    m.objects = 2
    window_org(m, 0, 3000)
    window_ext(m, 4000, -3000)
    pen(m, 0, 15, 0, 0, 0)
    select(m, 0)
    brush(m, 225, 240, 200)
    select(m, 1)
    polygon(m, [(0, 0), (4000, 0), (4000, 3000), (0, 3000)])
    delete(m, 1)
    brush(m, 200, 40, 40)
    select(m, 1)
    polygon(m, [(500, 2500), (3500, 2500), (2000, 500)])
    delete(m, 1)
    brush(m, 90, 90, 90)
    select(m, 1)
    polygon(m, [(200, 200), (1200, 200), (1200, 900), (200, 900)])
    delete(m, 0)
    pen(m, 0, 90, 120, 80, 20)
    select(m, 0)
    polyline(m, [(0, 1500), (1300, 1700), (2600, 1400), (4000, 1600)])
    return m.build((0, 0, 4000, 3000, 1440))


if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    for name, make in [('house', house), ('star', star), ('chart', chart), ('survey', survey)]:
        with open(os.path.join(here, name + '.wmf'), 'wb') as f:
            f.write(make())
