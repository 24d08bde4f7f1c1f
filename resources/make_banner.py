#!/usr/bin/python3
"""Makes the About window's banner, resources/banner.png: 470 x 60, 24 bits.

The program's icon and name on the left, what it does under the name, and the
maker's web address on the right (a click on the window opens it). Drawn 4x
large and reduced; needs resources/VaskorLinkPC-256.png from make_icon.py.

Usage: make_banner.py [--preview PNG]
"""
import argparse
import os
import sys

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
W, H, S = 470, 60, 4
ADDRESS = "www.vaskor.example"


def font(size, bold):
    name = "DejaVuSans-Bold.ttf" if bold else "DejaVuSans.ttf"
    try:
        return ImageFont.truetype("/usr/share/fonts/truetype/dejavu/" + name, size)
    except OSError:
        sys.exit("DejaVu fonts are needed (Debian: fonts-dejavu-core)")


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--preview")
    args = ap.parse_args()

    img = Image.new("RGB", (W * S, H * S))
    d = ImageDraw.Draw(img)
    for x in range(W * S):
        d.line([(x, 0), (x, H * S)], fill=mix((44, 56, 76), (20, 24, 33), x / (W * S)))
    # A thin light line along the top and a dark one along the bottom.
    d.rectangle([0, 0, W * S, S - 1], fill=(104, 124, 152))
    d.rectangle([0, (H - 1) * S, W * S, H * S], fill=(8, 10, 14))

    icon = Image.open(os.path.join(HERE, "VaskorLinkPC-256.png")).resize((44 * S, 44 * S), Image.LANCZOS)
    img.paste(icon, (9 * S, 8 * S), icon)

    name, sub = font(24 * S, True), font(10 * S, False)
    d.text((66 * S + S, 7 * S + S), "VaskorLinkPC", font=name, fill=(6, 8, 12))
    d.text((66 * S, 7 * S), "VaskorLinkPC", font=name, fill=(240, 244, 250))
    d.text((67 * S, 38 * S), "Virtual serial port to TCP link", font=sub, fill=(150, 196, 238))

    addr = font(10 * S, False)
    right = (W - 12) * S
    box = d.textbbox((right, 38 * S), ADDRESS, font=addr, anchor="ra")
    d.text((right, 38 * S), ADDRESS, font=addr, fill=(196, 214, 236), anchor="ra")
    d.line([(box[0], box[3] + S), (box[2], box[3] + S)], fill=(120, 150, 190), width=S)

    out = img.resize((W, H), Image.LANCZOS)
    out.save(os.path.join(HERE, "banner.png"))
    if args.preview:
        out.resize((W * 3, H * 3), Image.NEAREST).save(args.preview)


if __name__ == "__main__":
    main()
