#!/usr/bin/env python3
"""Draws the program's toolbar and window icons (plain shapes, standard
library only) and writes them into the resource folders. Run once after
changing a drawing; the results are committed."""
import math
import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SS = 4  # supersamples per axis


class Canvas:
    def __init__(self, size):
        self.w = self.h = size
        self.px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def fill(self, inside, color):
        """inside(x, y) in unit coordinates 0..1; blends color with coverage."""
        r, g, b, a = color
        for j in range(self.h):
            for i in range(self.w):
                hits = 0
                for sj in range(SS):
                    for si in range(SS):
                        x = (i + (si + 0.5) / SS) / self.w
                        y = (j + (sj + 0.5) / SS) / self.h
                        if inside(x, y):
                            hits += 1
                if not hits:
                    continue
                cov = hits / (SS * SS) * a / 255.0
                pr, pg, pb, pa = self.px[j][i]
                pa /= 255.0
                oa = cov + pa * (1 - cov)
                if oa <= 0:
                    continue
                mix = lambda c, pc: (c * cov + pc * pa * (1 - cov)) / oa
                self.px[j][i] = (round(mix(r, pr)), round(mix(g, pg)), round(mix(b, pb)), round(oa * 255))

    def png(self):
        raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in self.px)
        chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))

    def ico(self):
        """A classic 32-bit DIB icon with its AND mask."""
        n = self.w
        xor = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(self.px) for p in row)
        mask_row = ((n + 31) // 32) * 4
        mask = b"\0" * (mask_row * n)
        dib = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0) + xor + mask
        return (struct.pack("<HHH", 0, 1, 1)
                + struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(dib), 22) + dib)


def rrect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def ring(cx, cy, r0, r1):
    return lambda x, y: r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 * r1


def segment(ax, ay, bx, by, width):
    def inside(x, y):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) <= width / 2
    return inside


def polygon(points):
    def inside(x, y):
        c = False
        n = len(points)
        for k in range(n):
            (xa, ya), (xb, yb) = points[k], points[(k + 1) % n]
            if (ya > y) != (yb > y) and x < (xb - xa) * (y - ya) / (yb - ya) + xa:
                c = not c
        return c
    return inside


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


BLUE = (82, 115, 184, 255)
LIGHT = (101, 151, 223, 255)
GREY = (110, 110, 110, 255)
PALE = (200, 200, 200, 255)
WHITE = (255, 255, 255, 255)


def folder_add(c):
    c.fill(polygon([(0.08, 0.25), (0.38, 0.25), (0.45, 0.33), (0.92, 0.33), (0.92, 0.85), (0.08, 0.85)]), LIGHT)
    c.fill(segment(0.5, 0.45, 0.5, 0.75, 0.08), WHITE)
    c.fill(segment(0.35, 0.6, 0.65, 0.6, 0.08), WHITE)


def export(c):
    c.fill(minus(rrect(0.12, 0.2, 0.72, 0.88, 0.06), rrect(0.2, 0.28, 0.64, 0.8, 0.02)), GREY)
    c.fill(segment(0.45, 0.54, 0.86, 0.54, 0.08), BLUE)
    c.fill(polygon([(0.92, 0.54), (0.76, 0.4), (0.76, 0.68)]), BLUE)


def convert(c):
    c.fill(segment(0.15, 0.35, 0.75, 0.35, 0.08), BLUE)
    c.fill(polygon([(0.88, 0.35), (0.7, 0.2), (0.7, 0.5)]), BLUE)
    c.fill(segment(0.25, 0.67, 0.85, 0.67, 0.08), GREY)
    c.fill(polygon([(0.12, 0.67), (0.3, 0.52), (0.3, 0.82)]), GREY)


def printer(c):
    c.fill(rrect(0.28, 0.12, 0.72, 0.4, 0.03), PALE)
    c.fill(rrect(0.1, 0.35, 0.9, 0.72, 0.08), GREY)
    c.fill(rrect(0.28, 0.58, 0.72, 0.9, 0.03), WHITE)
    c.fill(minus(rrect(0.28, 0.58, 0.72, 0.9, 0.03), rrect(0.32, 0.62, 0.68, 0.86, 0.02)), GREY)


def pane(c, pane_index, pointing_left):
    c.fill(minus(rrect(0.1, 0.2, 0.9, 0.8, 0.06), rrect(0.16, 0.26, 0.84, 0.74, 0.03)), GREY)
    x0 = 0.16 if pane_index == 1 else 0.38
    c.fill(rrect(x0, 0.26, x0 + 0.22, 0.74, 0.0), PALE)
    tip, base = (0.58, 0.78) if pointing_left else (0.78, 0.58)
    c.fill(polygon([(tip, 0.5), (base, 0.38), (base, 0.62)]), BLUE)


def document(c):
    page = polygon([(0.22, 0.1), (0.62, 0.1), (0.8, 0.28), (0.8, 0.9), (0.22, 0.9)])
    inner = polygon([(0.26, 0.14), (0.6, 0.14), (0.76, 0.3), (0.76, 0.86), (0.26, 0.86)])
    c.fill(minus(page, inner), PALE)
    c.fill(polygon([(0.6, 0.1), (0.8, 0.3), (0.6, 0.3)]), PALE)
    for y in (0.45, 0.57, 0.69):
        c.fill(segment(0.34, y, 0.68, y, 0.035), PALE)


def search(c):
    c.fill(ring(0.42, 0.42, 0.2, 0.28), GREY)
    c.fill(segment(0.62, 0.62, 0.85, 0.85, 0.1), GREY)


def app_icon(c):
    c.fill(rrect(0.06, 0.06, 0.94, 0.94, 0.18), BLUE)
    c.fill(rrect(0.2, 0.3, 0.8, 0.74, 0.05), WHITE)
    c.fill(polygon([(0.2, 0.33), (0.5, 0.55), (0.8, 0.33), (0.8, 0.4), (0.5, 0.62), (0.2, 0.4)]), LIGHT)


DARK = (60, 60, 60, 255)


def glyph_close(c):
    c.fill(segment(0.25, 0.25, 0.75, 0.75, 0.07), DARK)
    c.fill(segment(0.25, 0.75, 0.75, 0.25, 0.07), DARK)


def glyph_menu(c):
    for y in (0.3, 0.5, 0.7):
        c.fill(segment(0.22, y, 0.78, y, 0.07), DARK)


def glyph_minimise(c):
    c.fill(segment(0.25, 0.55, 0.75, 0.55, 0.07), DARK)


def glyph_maximise(c):
    c.fill(minus(rrect(0.25, 0.25, 0.75, 0.75, 0.02), rrect(0.31, 0.31, 0.69, 0.69, 0.0)), DARK)


def glyph_restore(c):
    back = minus(rrect(0.35, 0.2, 0.8, 0.65, 0.02), rrect(0.41, 0.26, 0.74, 0.59, 0.0))
    c.fill(minus(back, rrect(0.2, 0.35, 0.65, 0.8, 0.0)), DARK)
    c.fill(minus(rrect(0.2, 0.35, 0.65, 0.8, 0.02), rrect(0.26, 0.41, 0.59, 0.74, 0.0)), DARK)


def module_badge(color, mark):
    """A coloured sheet with a white mark: the home page's module cards."""
    def draw(c):
        c.fill(polygon([(0.18, 0.06), (0.66, 0.06), (0.84, 0.24), (0.84, 0.94), (0.18, 0.94)]), color)
        c.fill(polygon([(0.66, 0.06), (0.84, 0.24), (0.66, 0.24)]), (255, 255, 255, 120))
        mark(c)
    return draw


def mark_lines(c):
    for y in (0.45, 0.6, 0.75):
        c.fill(segment(0.3, y, 0.72, y, 0.06), WHITE)


def mark_envelope(c):
    c.fill(minus(rrect(0.28, 0.42, 0.74, 0.78, 0.03), rrect(0.32, 0.46, 0.70, 0.74, 0.0)), WHITE)
    c.fill(segment(0.3, 0.45, 0.51, 0.62, 0.05), WHITE)
    c.fill(segment(0.72, 0.45, 0.51, 0.62, 0.05), WHITE)


def mark_diagram(c):
    c.fill(rrect(0.3, 0.38, 0.46, 0.52, 0.02), WHITE)
    c.fill(rrect(0.56, 0.66, 0.72, 0.8, 0.02), WHITE)
    c.fill(segment(0.38, 0.52, 0.38, 0.73, 0.05), WHITE)
    c.fill(segment(0.38, 0.73, 0.56, 0.73, 0.05), WHITE)


def wait(c):
    """Twelve dots round a circle, fading: the busy spinner (it is rotated)."""
    for k in range(12):
        a = 2 * math.pi * k / 12
        cx, cy = 0.5 + 0.36 * math.sin(a), 0.5 - 0.36 * math.cos(a)
        c.fill(lambda x, y, cx=cx, cy=cy: (x - cx) ** 2 + (y - cy) ** 2 <= 0.075 ** 2,
               (82, 115, 184, 255 - 18 * k))


def write(path, data):
    full = os.path.join(ROOT, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)
    print(path)


def render(size, draw):
    c = Canvas(size)
    draw(c)
    return c


def main():
    shell = "sorrel/shell/resources/img/"
    for name, draw, size in [
        ("Itemopen@3x.png", folder_add, 72), ("exit@3x.png", export, 72),
        ("convert@3x.png", convert, 72), ("print@3x.png", printer, 72),
        ("hide1.png", lambda c: pane(c, 1, True), 32), ("show1.png", lambda c: pane(c, 1, False), 32),
        ("hide2.png", lambda c: pane(c, 2, True), 32), ("show2.png", lambda c: pane(c, 2, False), 32),
        ("icons8-document-100.png", document, 100), ("search.png", search, 32),
        ("wait.png", wait, 80),
    ]:
        write(shell + name, render(size, draw).png())
    host = "host/window/resources/img/"
    write(host + "search.png", render(32, search).png())
    write(host + "icons/pst_icon.ico", render(48, app_icon).ico())
    for name, draw in [("close", glyph_close), ("menu", glyph_menu), ("mini", glyph_minimise),
                       ("max", glyph_maximise), ("restore", glyph_restore)]:
        for size in (16, 32):
            write(host + "%s-%d.png" % (name, size), render(size, draw).png())
    for module, color, mark in [
        ("pdf", (220, 60, 60, 255), mark_lines), ("pst", BLUE, mark_envelope),
        ("winmail", (46, 150, 120, 255), mark_envelope), ("wpd", (60, 110, 200, 255), mark_lines),
        ("djvu", (150, 90, 180, 255), mark_lines), ("xps", (40, 140, 200, 255), mark_lines),
        ("visio", (70, 90, 170, 255), mark_diagram),
    ]:
        write(host + "%s_btn_icon.png" % module, render(96, module_badge(color, mark)).png())
    # The desktop's icon theme: one drawing per size, named by the desktop id.
    for size in (16, 24, 32, 48, 64, 128, 256):
        write("packaging/linux/icons/%dx%d/com.tarnwick.Marrowin.png" % (size, size), render(size, app_icon).png())


if __name__ == "__main__":
    sys.exit(main())
