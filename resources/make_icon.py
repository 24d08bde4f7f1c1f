#!/usr/bin/python3
"""Makes the program icon: a blue rounded tile with two white chain links.

Writes
  resources/VaskorLinkPC.ico       16x16 at 24 bits, 32x32 and 48x48 at 32 bits
  resources/VaskorLinkPC-<n>.png   n = 16, 32, 48, 256 (for desktop integration)
  resources/VaskorLinkPC.svg       the same drawing as a vector

Each size is drawn on its own 16x supersampled canvas, with stroke widths
chosen per size so that the links stay two pixels thick at 16 x 16; a dark rim
keeps the tile apart from light panels and a light inner edge from dark ones.

Usage: make_icon.py [--preview PNG]
"""
import argparse
import math
import os
import struct

from PIL import Image, ImageChops, ImageDraw, ImageFilter

HERE = os.path.dirname(os.path.abspath(__file__))
SS = 16

TOP, BOTTOM = (74, 156, 240), (20, 74, 168)
RIM = (6, 26, 66)
EDGE = (150, 204, 255)
LINK = (255, 255, 255)
LINK_SHADOW = (10, 40, 96)

# Per size: tile radius, rim width, link stroke (pixels of that size), then the
# links' length, thickness and offset from the centre (fractions of the size).
# The smallest size gets fatter, shorter links so that their holes stay open.
STYLE = {
    16: (3.5, 1.0, 1.5, 0.60, 0.44, 0.15),
    32: (7, 1.4, 2.6, 0.60, 0.36, 0.13),
    48: (10, 1.8, 3.6, 0.60, 0.36, 0.13),
    256: (52, 6, 17, 0.60, 0.36, 0.13),
}


def stadium(cx, cy, length, height, angle, steps=48):
    """Outline of a rounded bar centred on (cx, cy), turned by angle."""
    r = height / 2
    half = length / 2 - r
    pts = []
    for k in range(steps + 1):
        a = -math.pi / 2 + math.pi * k / steps
        pts.append((half + r * math.cos(a), r * math.sin(a)))
    for k in range(steps + 1):
        a = math.pi / 2 + math.pi * k / steps
        pts.append((-half + r * math.cos(a), r * math.sin(a)))
    c, s = math.cos(angle), math.sin(angle)
    return [(cx + x * c - y * s, cy + x * s + y * c) for x, y in pts]


def ring_mask(size, cx, cy, length, height, stroke, angle):
    m = Image.new("L", (size, size), 0)
    d = ImageDraw.Draw(m)
    d.polygon(stadium(cx, cy, length, height, angle), fill=255)
    d.polygon(stadium(cx, cy, length - 2 * stroke, height - 2 * stroke, angle), fill=0)
    return m


def grow(mask, r):
    """The mask widened by about r pixels (a blur and a low threshold; a max
    filter of that size would be slow)."""
    return mask.filter(ImageFilter.GaussianBlur(r / 2)).point(lambda v: 255 if v > 8 else 0)


def draw(n):
    radius, rim, stroke, length, height, off = STYLE[n]
    ss = SS if n < 256 else 4
    size = n * ss
    u = size / n  # one pixel of the final size
    img = Image.new("RGBA", (size, size), (0, 0, 0, 0))

    tile = Image.new("L", (size, size), 0)
    ImageDraw.Draw(tile).rounded_rectangle([0, 0, size - 1, size - 1], radius=radius * u, fill=255)
    grad = Image.new("RGBA", (size, size))
    gd = ImageDraw.Draw(grad)
    for y in range(size):
        t = y / (size - 1)
        gd.line([(0, y), (size, y)], fill=tuple(round(a + (b - a) * t) for a, b in zip(TOP, BOTTOM)) + (255,))
    rim_layer = Image.new("RGBA", (size, size), RIM + (255,))
    img.paste(rim_layer, (0, 0), tile)
    inner = Image.new("L", (size, size), 0)
    ImageDraw.Draw(inner).rounded_rectangle([rim * u, rim * u, size - 1 - rim * u, size - 1 - rim * u],
                                            radius=max(radius - rim, 0.5) * u, fill=255)
    edge = Image.new("L", (size, size), 0)
    e = rim + max(1.0, rim * 0.6)
    ImageDraw.Draw(edge).rounded_rectangle([e * u, e * u, size - 1 - e * u, size - 1 - e * u],
                                           radius=max(radius - e, 0.5) * u, fill=255)
    img.paste(Image.new("RGBA", (size, size), EDGE + (255,)), (0, 0), inner)
    img.paste(grad, (0, 0), edge)

    # Two links on the diagonal; the upper one passes over the lower.
    angle = -math.pi / 4
    length, height, off = length * size, height * size, off * size
    c = size / 2
    a = ring_mask(size, c - off, c + off, length, height, stroke * u, angle)
    b = ring_mask(size, c + off, c - off, length, height, stroke * u, angle)
    # The links interlock: b lies over a where they cross below their common
    # axis, a over b where they cross above it.
    shadow_w = max(1, round(0.6 * u)) if n >= 32 else 0
    upper_left = Image.new("L", (size, size), 0)
    ImageDraw.Draw(upper_left).polygon([(0, 0), (size, 0), (0, size)], fill=255)
    crossing = ImageChops.multiply(ImageChops.multiply(a, b), upper_left)
    crossing = grow(crossing, stroke * u)

    def put(m, clip=None):
        sh = grow(m, shadow_w) if shadow_w else None
        if clip is not None:
            m = ImageChops.multiply(m, clip)
            sh = ImageChops.multiply(sh, clip) if sh else None
        if sh:
            img.paste(Image.new("RGBA", (size, size), LINK_SHADOW + (255,)), (0, 0), sh)
        img.paste(Image.new("RGBA", (size, size), LINK + (255,)), (0, 0), m)

    put(a)
    put(b)
    put(a, crossing)
    return img.resize((n, n), Image.LANCZOS)


def dib(img, bits):
    """An icon entry as BITMAPINFOHEADER, XOR bitmap (bottom-up) and AND mask."""
    n = img.width
    px = img.load()
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, bits, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for y in reversed(range(n)):
        row = bytearray()
        for x in range(n):
            r, g, b, a = px[x, y]
            if bits == 24:
                # No alpha channel at 24 bits: blend the soft edge onto mid grey,
                # the AND mask hides what lies outside.
                if a < 128:
                    r = g = b = 0
                else:
                    t = a / 255
                    r, g, b = (round(v * t + 128 * (1 - t)) for v in (r, g, b))
                row += bytes((b, g, r))
            else:
                row += bytes((b, g, r, a))
        row += b"\0" * (-len(row) % 4)
        xor += row
    mask = bytearray()
    for y in reversed(range(n)):
        bitsrow = 0
        row = bytearray()
        for x in range(n):
            bitsrow = (bitsrow << 1) | (1 if px[x, y][3] < 128 else 0)
            if x % 8 == 7:
                row.append(bitsrow)
                bitsrow = 0
        row += b"\0" * (-len(row) % 4)
        mask += row
    return header + bytes(xor) + bytes(mask)


def write_ico(path, images):
    entries = [(img, bits, dib(img, bits)) for img, bits in images]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for img, bits, data in entries:
        out += struct.pack("<BBBBHHII", img.width % 256, img.height % 256, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in entries:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def write_svg(path):
    s = 256
    radius, rim, stroke, length, height, off = STYLE[256]
    c, off, length, height = s / 2, off * s, length * s, height * s

    def link(cx, cy):
        w, h = length - stroke, height - stroke
        return (f'<rect x="{cx - w / 2:.1f}" y="{cy - h / 2:.1f}" width="{w:.1f}" height="{h:.1f}" '
                f'rx="{h / 2:.1f}" transform="rotate(-45 {cx:.1f} {cy:.1f})" fill="none" '
                f'stroke-width="{stroke}"/>')

    def hexc(rgb):
        return "#%02x%02x%02x" % rgb

    # Where the links cross above their axis: a is drawn again over b there.
    a = ring_mask(s, c - off, c + off, length, height, stroke, -math.pi / 4)
    b = ring_mask(s, c + off, c - off, length, height, stroke, -math.pi / 4)
    both = ImageChops.multiply(a, b)
    pts = [(x, y) for y in range(s) for x in range(s) if x + y < s and both.getpixel((x, y)) > 128]
    cx = sum(p[0] for p in pts) / len(pts)
    cy = sum(p[1] for p in pts) / len(pts)
    shadow = f'stroke="{hexc(LINK_SHADOW)}" stroke-width="{stroke + 8}"'
    white = f'stroke="{hexc(LINK)}" stroke-width="{stroke}"'
    link_a, link_b = link(c - off, c + off), link(c + off, c - off)

    def styled(rect, style):
        return rect.replace(f'stroke-width="{stroke}"', style)

    svg = f"""<svg xmlns="http://www.w3.org/2000/svg" width="{s}" height="{s}" viewBox="0 0 {s} {s}">
  <defs>
    <linearGradient id="face" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="{hexc(TOP)}"/>
      <stop offset="1" stop-color="{hexc(BOTTOM)}"/>
    </linearGradient>
    <clipPath id="crossing"><circle cx="{cx:.1f}" cy="{cy:.1f}" r="{stroke * 1.6:.1f}"/></clipPath>
  </defs>
  <rect x="0" y="0" width="{s}" height="{s}" rx="{radius}" fill="{hexc(RIM)}"/>
  <rect x="{rim}" y="{rim}" width="{s - 2 * rim}" height="{s - 2 * rim}" rx="{radius - rim}" fill="{hexc(EDGE)}"/>
  <rect x="{rim + 4}" y="{rim + 4}" width="{s - 2 * rim - 8}" height="{s - 2 * rim - 8}" rx="{radius - rim - 4}" fill="url(#face)"/>
  {styled(link_a, shadow)}
  {styled(link_a, white)}
  {styled(link_b, shadow)}
  {styled(link_b, white)}
  <g clip-path="url(#crossing)">
    {styled(link_a, shadow)}
    {styled(link_a, white)}
  </g>
</svg>
"""
    with open(path, "w", encoding="ascii") as f:
        f.write(svg)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--preview")
    args = ap.parse_args()
    images = {n: draw(n) for n in STYLE}
    for n, img in images.items():
        img.save(os.path.join(HERE, f"VaskorLinkPC-{n}.png"))
    write_ico(os.path.join(HERE, "VaskorLinkPC.ico"), [(images[16], 24), (images[32], 32), (images[48], 32)])
    write_svg(os.path.join(HERE, "VaskorLinkPC.svg"))
    if args.preview:
        # Each small size enlarged 8x, on a dark and on a light panel.
        sheet = Image.new("RGB", (2 * (16 + 32 + 48) * 8 + 7 * 16, 48 * 8 + 32), (0, 0, 0))
        x = 16
        for panel in ((38, 40, 46), (236, 236, 236)):
            for n in (16, 32, 48):
                tile = Image.new("RGB", (n, n), panel)
                tile.paste(images[n], (0, 0), images[n])
                sheet.paste(Image.new("RGB", (n * 8 + 16, 48 * 8 + 16), panel), (x - 8, 8))
                sheet.paste(tile.resize((n * 8, n * 8), Image.NEAREST), (x, 16))
                x += n * 8 + 16
        sheet.save(args.preview)
        images[256].save(args.preview.replace(".png", "-256.png"))


if __name__ == "__main__":
    main()
