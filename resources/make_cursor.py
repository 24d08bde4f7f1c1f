#!/usr/bin/python3
"""Makes the About window's pointer, resources/hand.png: a 32 x 32 pointing
hand, white with a one-pixel black edge, whose fingertip is the hot spot (12, 1).

The hand is drawn 8x large, reduced to a hard-edged 1x silhouette (a pointer
must be crisp), then outlined.

Usage: make_cursor.py [--preview PNG]
"""
import argparse
import os

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
N, S = 32, 8
HOT_SPOT = (12, 1)


def capsule(d, p0, p1, width):
    (x0, y0), (x1, y1) = p0, p1
    d.line([(x0 * S, y0 * S), (x1 * S, y1 * S)], fill=255, width=round(width * S))
    r = width * S / 2
    for x, y in (p0, p1):
        d.ellipse([x * S - r, y * S - r, x * S + r, y * S + r], fill=255)


def silhouette():
    big = Image.new("L", (N * S, N * S), 0)
    d = ImageDraw.Draw(big)
    # Pixel (x, y) covers [x, x+1) here, so a span of pixels a..b is a..b+1.
    d.rounded_rectangle([10 * S, 1 * S, 15 * S, 18 * S], radius=2.5 * S, fill=255)   # index finger
    d.rounded_rectangle([15 * S, 8 * S, 19 * S, 20 * S], radius=2 * S, fill=255)     # middle
    d.rounded_rectangle([19 * S, 9 * S, 23 * S, 20 * S], radius=2 * S, fill=255)     # ring
    d.rounded_rectangle([23 * S, 11 * S, 27 * S, 21 * S], radius=2 * S, fill=255)    # little finger
    d.rounded_rectangle([10 * S, 15 * S, 27 * S, 27 * S], radius=3 * S, fill=255)    # palm
    d.rectangle([12 * S, 25 * S, 26 * S, 31 * S], fill=255)                          # wrist
    capsule(d, (5.5, 16.5), (11.5, 22.5), 4.2)                                         # thumb
    small = big.resize((N, N), Image.BOX)
    return [[small.getpixel((x, y)) >= 128 for x in range(N)] for y in range(N)]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--preview")
    args = ap.parse_args()
    fill = silhouette()

    def inside(x, y):
        return 0 <= x < N and 0 <= y < N and fill[y][x]

    img = Image.new("RGBA", (N, N), (0, 0, 0, 0))
    px = img.load()
    for y in range(N):
        for x in range(N):
            if fill[y][x]:
                px[x, y] = (255, 255, 255, 255)
            elif any(inside(x + dx, y + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)):
                px[x, y] = (0, 0, 0, 255)
    # Creases between the folded fingers, and the cuff's edge.
    for x, top, bottom in ((15, 10, 16), (19, 11, 16), (23, 13, 17)):
        for y in range(top, bottom + 1):
            px[x, y] = (0, 0, 0, 255)
    for x in range(12, 27):
        if fill[27][x]:
            px[x, 27] = (0, 0, 0, 255)
    for y in range(28, 31):
        for x in range(12, 27):
            if fill[y][x]:
                px[x, y] = (200, 206, 214, 255)

    hx, hy = HOT_SPOT
    assert px[hx, hy] == (255, 255, 255, 255) and px[hx, hy - 1][3] == 255, "fingertip is not at the hot spot"
    assert all(px[x, y][3] == 0 for y in range(hy) for x in range(N) if abs(x - hx) > 2)
    img.save(os.path.join(HERE, "hand.png"))
    if args.preview:
        sheet = Image.new("RGB", (N * 24 + 24, N * 12 + 16), (0, 0, 0))
        for k, panel in enumerate(((40, 44, 52), (236, 236, 236))):
            tile = Image.new("RGB", (N, N), panel)
            tile.paste(img, (0, 0), img)
            sheet.paste(tile.resize((N * 12, N * 12), Image.NEAREST), (8 + k * (N * 12 + 8), 8))
        sheet.save(args.preview)


if __name__ == "__main__":
    main()
