#!/usr/bin/env python3
"""Draws the toolbar's 16 x 16 icons and the product icon as PNG files.

  make_icons.py OUTPUT_FOLDER
"""
import struct
import sys
import zlib

TRANSPARENT = (0, 0, 0, 0)


def png(pixels):
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in pixels)
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    header = struct.pack(">IIBBBBB", 16, 16, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def canvas():
    return [[TRANSPARENT] * 16 for _ in range(16)]


def disc(p, cx, cy, r, color, inner=None):
    for y in range(16):
        for x in range(16):
            d = (x - cx) ** 2 + (y - cy) ** 2
            if d <= r * r:
                p[y][x] = color if inner is None or d >= (r - 2) ** 2 else inner


def line(p, points, color):
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        steps = max(abs(x1 - x0), abs(y1 - y0)) or 1
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            for dx in (0, 1):
                if 0 <= x + dx < 16 and 0 <= y < 16:
                    p[y][x + dx] = color


def rect(p, x0, y0, x1, y1, color, fill=None):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            edge = x in (x0, x1) or y in (y0, y1)
            if edge or fill:
                p[y][x] = color if edge else fill


def envelope(p, color, fill):
    rect(p, 1, 3, 14, 12, color, fill)
    line(p, [(1, 3), (7, 8), (13, 3)], color)


RED, GREEN, DARK, WHITE = (200, 30, 30, 255), (30, 150, 60, 255), (40, 40, 40, 255), (250, 250, 250, 255)
BLUE, GOLD, PAPER = (40, 90, 190, 255), (210, 160, 20, 255), (240, 236, 220, 255)


def mark_spam():
    p = canvas(); envelope(p, DARK, PAPER); line(p, [(4, 5), (11, 12)], RED); line(p, [(11, 5), (4, 12)], RED); return p


def not_spam():
    p = canvas(); envelope(p, DARK, PAPER); line(p, [(3, 9), (6, 12), (12, 4)], GREEN); return p


def blacklist():
    p = canvas(); disc(p, 7.5, 7.5, 7, DARK); line(p, [(3, 7), (11, 7)], WHITE); return p


def whitelist():
    p = canvas(); disc(p, 7.5, 7.5, 7, DARK, WHITE); line(p, [(4, 8), (6, 10), (11, 5)], GREEN); return p


def train_filter():
    p = canvas(); rect(p, 2, 2, 13, 13, BLUE, WHITE)
    for y in (5, 8, 11):
        line(p, [(4, y), (10, y)], BLUE)
    return p


def mail_headers():
    p = canvas(); rect(p, 2, 1, 13, 14, DARK, PAPER)
    for y in (4, 6, 8):
        line(p, [(4, y), (11, y)], DARK)
    return p


def settings():
    p = canvas(); disc(p, 7.5, 7.5, 7, DARK); disc(p, 7.5, 7.5, 3, GOLD); return p


def product():
    p = canvas()
    for y in range(1, 15):
        half = 6 if y < 9 else max(0, 6 - (y - 8))
        for x in range(8 - half - 1, 8 + half + 1):
            p[y][x] = BLUE
    line(p, [(4, 8), (7, 11), (12, 4)], WHITE)
    return p


ICONS = {
    "mark-spam": mark_spam, "not-spam": not_spam, "blacklist": blacklist, "whitelist": whitelist,
    "train-filter": train_filter, "mail-headers": mail_headers, "settings": settings,
    "tarvex": product,
}

if __name__ == "__main__":
    for name, draw in ICONS.items():
        with open(f"{sys.argv[1]}/{name}.png", "wb") as f:
            f.write(png(draw()))
