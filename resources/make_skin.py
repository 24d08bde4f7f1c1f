#!/usr/bin/python3
"""Makes the main window's skin and its outline from one description of the body.

Writes
  resources/skin.bmp             131 x 231, 8-bit palette, background (201,202,204)
  shell/SkinOutlinePoints.inc    the 617 outline point texts that ApplySkinShape uses

The outline is traced clockwise (y down) from the left side of the lower lobe,
one pixel per step. Its straight runs (flat top, shoulders, the widest rows of
each lobe, the waist, the bottom curve) are fixed; the curves between them are
Bezier arcs, and each arc is turned into pixel steps by a small dynamic program
that keeps the exact number of entries between the fixed runs and stays as
close to the arc as those counts allow.

The body of the picture is the region that the outline cuts (rasterised with
the same rule Qt's QRegion uses), except at its two ends: the picture's dome
starts one row above the outline and is wider on the next two rows, and its
bottom is rounder than the outline's flat bottom.

Usage: make_skin.py [--preview PNG]   (the preview is a 4x enlargement with the
status text and lamps drawn in, for looking at; it is not committed)
"""
import argparse
import math
import os
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SKIN_PATH = os.path.join(HERE, "skin.bmp")
TABLE_PATH = os.path.join(ROOT, "shell", "SkinOutlinePoints.inc")

WIDTH, HEIGHT = 131, 231
BACKGROUND = (201, 202, 204)
ENTRIES = 617
# Entries that repeat the one before; ShapeWindow skips them.
REPEATS = {195, 208, 482, 490, 497, 503, 507, 511, 516, 521}

UP, DOWN, RIGHT = (0, -1), (0, 1), (1, 0)


def unit(v):
    n = math.hypot(*v)
    return (v[0] / n, v[1] / n)


# --- the outline -----------------------------------------------------------

# Straight runs: first entry index and the points, in trace order.
def fixed_runs():
    def with_repeats(first, points):
        out, idx = [], first
        for p in points:
            while idx in REPEATS and out:
                out.append(out[-1])
                idx += 1
            out.append(p)
            idx += 1
        return out

    return [
        (45, [(18, 85 - k) for k in range(25)]),           # left of the waist
        (100, [(13, 35 - k) for k in range(11)]),          # left, widest of upper lobe
        (132, [(25 + k, 6) for k in range(10)] + [(35 + k, 5) for k in range(12)]),
        (154, [(47 + k, 4) for k in range(40)]),           # flat top
        (194, with_repeats(194, [(87 + k, 5) for k in range(12)] + [(99 + k, 6) for k in range(6)])),
        (230, [(113, 23 + k) for k in range(14)]),         # right, widest of upper lobe
        (268, [(109, 61 + k) for k in range(23)]),         # right of the waist
        (338, [(121, 131 + k) for k in range(20)]),        # right, widest of lower lobe
        (441, [(90 - k, 222) for k in range(6)] + [(84 - k, 223) for k in range(6)]),
        (453, [(78 - k, 224) for k in range(28)]),         # flat bottom
        (481, with_repeats(481, [(50 - k, 223) for k in range(7)] + [(43 - k, 222) for k in range(6)])),
        (596, [(8, 151 - k) for k in range(21)]),          # left, widest of lower lobe
    ]


# Curves between the runs: first and last entry, the end points, the pixel
# steps the trace may take there, and the Bezier arc (end tangents, handle
# lengths) that the steps follow.
CURVES = [
    (0, 45, (9, 130), (18, 85), [(0, -1), (1, -1)], UP, UP, 22, 22),
    (69, 100, (18, 61), (13, 35), [(0, -1), (-1, 0)], UP, UP, 13, 13),
    (110, 132, (13, 25), (25, 6), [(0, -1), (1, -1), (1, 0)], UP, RIGHT, 11, 7),
    (213, 230, (104, 6), (113, 23), [(1, 1), (0, 1)], RIGHT, DOWN, 6, 10),
    (243, 268, (113, 36), (109, 61), [(0, 1), (-1, 1)], DOWN, DOWN, 12, 12),
    (290, 338, (109, 83), (121, 131), [(0, 1), (1, 1)], DOWN, DOWN, 24, 24),
    (357, 441, (121, 150), (90, 222), [(0, 1), (-1, 1), (-1, 0)], DOWN, unit((-1, 0.17)), 45, 20),
    (495, 596, (38, 222), (8, 151), [(-1, 0), (-1, -1), (0, -1)], unit((-1, -0.17)), UP, 20, 45),
]


def bezier(p0, p1, t0, t1, k0, k1, samples=400):
    c0 = (p0[0] + t0[0] * k0, p0[1] + t0[1] * k0)
    c1 = (p1[0] - t1[0] * k1, p1[1] - t1[1] * k1)
    pts = []
    for i in range(samples + 1):
        t = i / samples
        u = 1 - t
        pts.append(tuple(u ** 3 * a + 3 * u * u * t * b + 3 * u * t * t * c + t ** 3 * d
                         for a, b, c, d in zip(p0, c0, c1, p1)))
    return pts


def fit_steps(first, last, p0, p1, steps, arc):
    """Cheapest path of exactly last-first steps from p0 to p1 near the arc."""
    count = last - first

    def cost(p):
        return min((p[0] - q[0]) ** 2 + (p[1] - q[1]) ** 2 for q in arc)

    layers = [{p0: (0.0, None)}]
    for k in range(1, count + 1):
        moves = [(0, 0)] if first + k in REPEATS else steps
        layer = {}
        for (x, y), (c, _) in layers[-1].items():
            for dx, dy in moves:
                q = (x + dx, y + dy)
                left = count - k
                if abs(p1[0] - q[0]) > left or abs(p1[1] - q[1]) > left:
                    continue
                cq = c + cost(q)
                if q not in layer or cq < layer[q][0]:
                    layer[q] = (cq, (x, y))
        layers.append(layer)
    if p1 not in layers[-1]:
        sys.exit(f"no trace from entry {first} to {last}")
    path = [p1]
    for k in range(count, 0, -1):
        path.append(layers[k][path[-1]][1])
    return path[::-1]


def trace_outline():
    points = {}
    for first, run in fixed_runs():
        for k, p in enumerate(run):
            points[first + k] = p
    for first, last, p0, p1, steps, t0, t1, k0, k1 in CURVES:
        for k, p in enumerate(fit_steps(first, last, p0, p1, steps, bezier(p0, p1, t0, t1, k0, k1))):
            assert points.get(first + k, p) == p, first + k
            points[first + k] = p
    assert sorted(points) == list(range(ENTRIES))
    return [points[i] for i in range(ENTRIES)]


def check_outline(pts):
    """The facts the outline must keep; the unit test checks them again."""
    assert len(pts) == ENTRIES
    assert pts[0] == (9, 130) and pts[-1] == (8, 131)
    for i in range(ENTRIES):
        a, b = pts[i - 1], pts[i]  # i == 0 checks the closing step
        assert abs(a[0] - b[0]) <= 1 and abs(a[1] - b[1]) <= 1, (i, a, b)
        assert (a == b) == (i in REPEATS), (i, a, b)
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    assert (min(xs), max(xs), min(ys), max(ys)) == (8, 121, 4, 224)
    area2 = sum(pts[i - 1][0] * pts[i][1] - pts[i][0] * pts[i - 1][1] for i in range(ENTRIES))
    assert area2 > 0, "not clockwise on screen"
    assert len(vertices(pts)) == 607


def vertices(pts):
    out = []
    for x, y in pts:
        v = (x + 1, y + 1)
        if not out or out[-1] != v:
            out.append(v)
    return out


def region_spans(pts):
    """Pixel spans per window row of the outline's polygon, as QRegion fills
    it: a scan line at integer y, edges half-open at their lower end, pixels
    from ceil(left) up to but excluding ceil(right)."""
    v = vertices(pts)
    spans = {}
    for y in range(min(p[1] for p in v), max(p[1] for p in v)):
        xs = []
        for i in range(len(v)):
            a, b = v[i], v[(i + 1) % len(v)]
            if a[1] == b[1]:
                continue
            lo, hi = (a, b) if a[1] < b[1] else (b, a)
            if lo[1] <= y < hi[1]:
                xs.append(lo[0] + (y - lo[1]) * (hi[0] - lo[0]) / (hi[1] - lo[1]))
        xs.sort()
        assert len(xs) == 2, f"row {y} is not one span: {xs}"
        spans[y] = (math.ceil(xs[0]), math.ceil(xs[1]) - 1)
    return spans


# --- the body ---------------------------------------------------------------

# The dome above the outline: row 4 lies outside it, rows 5 and 6 reach
# further out than the outline's first two rows.
DOME = {4: (53, 81), 5: (43, 91), 6: (32, 102)}
# The rounder bottom: half-widths of the picture about x = 65.
BOTTOM_HALF = {216: 38, 217: 36, 218: 33.5, 219: 30.5, 220: 27, 221: 22.5, 222: 17, 223: 10.5, 224: 4}


def body_spans(region):
    spans = dict(DOME)
    for y, (l, r) in region.items():
        if y in DOME:
            continue
        if y in BOTTOM_HALF:
            h = BOTTOM_HALF[y]
            l, r = max(l, round(65 - h)), min(r, round(65 + h))
        spans[y] = (l, r)
    return spans


def check_relation(region, body):
    assert min(body) == 4 and 4 not in region
    for y in (5, 6):
        dl, dr = region[y][0] - body[y][0], body[y][1] - region[y][1]
        assert 0 <= dl <= 5 and 0 <= dr <= 5, y
    for y in range(7, 216):
        assert abs(region[y][0] - body[y][0]) <= 3 and abs(region[y][1] - body[y][1]) <= 3, y
    worst = 0
    for y in range(216, 225):
        dl, dr = body[y][0] - region[y][0], region[y][1] - body[y][1]
        assert 0 <= dl <= 13 and 0 <= dr <= 13, y
        worst = max(worst, dl, dr)
    assert worst > 3
    assert max(body) == 224


# --- painting -----------------------------------------------------------------

S = 4  # supersampling for everything inside the silhouette


def font(size, bold=True):
    names = ["DejaVuSans-Bold.ttf" if bold else "DejaVuSans.ttf"]
    for base in ("/usr/share/fonts/truetype/dejavu/", ""):
        for n in names:
            try:
                return ImageFont.truetype(base + n, size)
            except OSError:
                pass
    sys.exit("DejaVu fonts are needed (Debian: fonts-dejavu-core)")


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def paint_face():
    """The inside of the body, drawn 4x large and reduced."""
    img = Image.new("RGB", (WIDTH * S, HEIGHT * S))
    d = ImageDraw.Draw(img)
    top, bottom = (62, 76, 98), (26, 31, 42)
    for y in range(HEIGHT * S):
        d.line([(0, y), (WIDTH * S, y)], fill=mix(top, bottom, min(1.0, y / (HEIGHT * S * 0.9))))

    # A soft sheen over the upper lobe.
    glow = Image.new("L", img.size, 0)
    ImageDraw.Draw(glow).ellipse([22 * S, 8 * S, 108 * S, 52 * S], fill=70)
    glow = glow.filter(ImageFilter.GaussianBlur(14 * S))
    img = Image.composite(Image.new("RGB", img.size, (120, 140, 170)), img, glow)
    d = ImageDraw.Draw(img)

    def shadowed_text(cx, cy, text, size, colour):
        f = font(size * S)
        d.text((cx * S + S, cy * S + S), text, font=f, fill=(8, 10, 14), anchor="mm")
        d.text((cx * S, cy * S), text, font=f, fill=colour, anchor="mm")

    shadowed_text(65.5, 27, "VaskorLink", 14, (236, 240, 246))
    shadowed_text(65.5, 43, "PC", 9, (150, 196, 238))

    # Two chain links across the waist.
    cy = 72
    for cx in (57, 74):
        d.rounded_rectangle([(cx - 11) * S, (cy - 5) * S, (cx + 11) * S, (cy + 5) * S],
                            radius=5 * S, outline=(150, 196, 238), width=int(2.2 * S))

    def panel(box, radius):
        x0, y0, x1, y1 = (v * S for v in box)
        d.rounded_rectangle([x0, y0 - S, x1, y1 - S], radius=radius * S, fill=(6, 8, 11))
        d.rounded_rectangle([x0, y0 + S, x1, y1 + S], radius=radius * S, fill=(96, 110, 132))
        d.rounded_rectangle([x0, y0, x1, y1], radius=radius * S, fill=(13, 17, 24))

    def socket(left, top):
        cx, cy = (left + 5) * S, (top + 5) * S
        r = 7 * S
        d.ellipse([cx - r, cy - r, cx + r, cy + r], fill=(4, 5, 7), outline=(70, 80, 96), width=S)

    panel((19, 108, 111, 137), 7)
    panel((15, 146, 115, 193), 10)
    for left, top in ((23, 117), (97, 117), (23, 173), (97, 173)):
        socket(left, top)

    # A grille of slots in the bottom.
    for k, half in enumerate((22, 17, 11)):
        y = (203 + 5 * k) * S
        d.rounded_rectangle([(65 - half) * S, y, (65 + half) * S, y + 2 * S], radius=S, fill=(10, 12, 16))
        d.line([(65 - half) * S + S, y + 2 * S + S // 2, (65 + half) * S - S, y + 2 * S + S // 2],
               fill=(70, 80, 96), width=S // 2)
    return img.resize((WIDTH, HEIGHT), Image.LANCZOS)


def paint(body):
    inside = [[False] * WIDTH for _ in range(HEIGHT)]
    for y, (l, r) in body.items():
        for x in range(l, r + 1):
            inside[y][x] = True

    # Distance (in 8-connected steps) from the background, for the rim.
    dist = [[0] * WIDTH for _ in range(HEIGHT)]
    frontier = []
    for y in range(HEIGHT):
        for x in range(WIDTH):
            if inside[y][x]:
                dist[y][x] = 99
    for ring in range(1, 8):
        for y in range(HEIGHT):
            for x in range(WIDTH):
                if dist[y][x] == 99 and any(
                        not (0 <= y + dy < HEIGHT and 0 <= x + dx < WIDTH) or dist[y + dy][x + dx] < ring
                        for dx in (-1, 0, 1) for dy in (-1, 0, 1)):
                    frontier.append((x, y))
        for x, y in frontier:
            dist[y][x] = ring
        frontier.clear()

    # Light from the upper left: the rim's shade follows the body's normal,
    # taken from a blurred silhouette.
    mask = Image.new("L", (WIDTH, HEIGHT), 0)
    mask.putdata([255 if inside[y][x] else 0 for y in range(HEIGHT) for x in range(WIDTH)])
    soft = mask.filter(ImageFilter.GaussianBlur(3)).load()

    face = paint_face().load()
    img = Image.new("RGB", (WIDTH, HEIGHT), BACKGROUND)
    px = img.load()
    light = unit((-0.6, -0.8))
    for y in range(HEIGHT):
        for x in range(WIDTH):
            d = dist[y][x]
            if d == 0:
                continue
            gx = soft[min(x + 1, WIDTH - 1), y] - soft[max(x - 1, 0), y]
            gy = soft[x, min(y + 1, HEIGHT - 1)] - soft[x, max(y - 1, 0)]
            n = math.hypot(gx, gy)
            # The outward normal points down the slope of the silhouette.
            lit = 0.0 if n == 0 else -(gx * light[0] + gy * light[1]) / n
            if d == 1:
                px[x, y] = (14, 16, 20)
            elif d <= 4:
                base = (112, 122, 138)
                px[x, y] = mix(base, (186, 198, 216), lit) if lit > 0 else mix(base, (44, 48, 58), -lit)
            elif d == 5:
                px[x, y] = (18, 22, 30)
            else:
                px[x, y] = face[x, y]
    return img


def to_palette(img):
    """8-bit image with 256 palette entries; entry 0 is the background and no
    body pixel may take the background's colour."""
    w, h = img.size
    rgb = list(img.getdata())
    body = [p for p in rgb if p != BACKGROUND]
    strip = Image.new("RGB", (len(body), 1))
    strip.putdata(body)
    q = strip.quantize(colors=255, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    pal = q.getpalette()[:255 * 3]
    colours = [tuple(pal[i:i + 3]) for i in range(0, len(pal), 3)]
    colours += [(0, 0, 0)] * (255 - len(colours))
    colours = [(c[0], c[1], c[2] + 1) if c == BACKGROUND else c for c in colours]
    indices = iter(q.getdata())
    data = [0 if p == BACKGROUND else next(indices) + 1 for p in rgb]
    out = Image.new("P", (w, h))
    out.putpalette([v for c in [BACKGROUND] + colours for v in c])
    out.putdata(data)
    return out


# --- output ---------------------------------------------------------------------

def write_table(pts):
    texts = [f'"{x},{y}"' for x, y in pts]
    lines = ["// Generated by resources/make_skin.py; do not edit.",
             "// The skin's outline: 617 point texts, clockwise from the left side of the",
             "// lower lobe; each lies one pixel up and left of its window pixel."]
    for i in range(0, len(texts), 10):
        lines.append(", ".join(texts[i:i + 10]) + ",")
    with open(TABLE_PATH, "w", encoding="ascii") as f:
        f.write("\n".join(lines) + "\n")


def preview(skin, pts, path):
    big = skin.convert("RGB").resize((WIDTH * 4, HEIGHT * 4), Image.NEAREST)
    d = ImageDraw.Draw(big)
    for left, top, colour in ((23, 117, (0, 128, 0)), (97, 117, (128, 0, 0)),
                              (23, 173, (0, 255, 0)), (97, 173, (255, 0, 0))):
        d.ellipse([left * 4, top * 4, (left + 10) * 4 - 1, (top + 10) * 4 - 1], fill=colour,
                  outline=(128, 128, 128), width=4)
    f10, f8 = font(13 * 4, False), font(11 * 4, False)
    for text, box, f in (("COM4", (35, 110, 92, 134), f10), ("192.168.1.23", (15, 150, 115, 174), f8),
                         ("Port 5555", (15, 165, 115, 189), f8)):
        for off, colour in ((0, (0, 0, 0)), (1, (255, 255, 255))):
            cx = (box[0] + box[2]) / 2 + off
            cy = (box[1] + box[3]) / 2 + off
            d.text((cx * 4, cy * 4), text, font=f, fill=colour, anchor="mm")
    v = vertices(pts)
    d.line([(x * 4, y * 4) for x, y in v + v[:1]], fill=(255, 0, 255), width=1)
    big.save(path)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--preview")
    args = ap.parse_args()
    pts = trace_outline()
    check_outline(pts)
    region = region_spans(pts)
    body = body_spans(region)
    check_relation(region, body)
    skin = to_palette(paint(body))
    got = skin.convert("RGB").load()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            inside = y in body and body[y][0] <= x <= body[y][1]
            assert (got[x, y] != BACKGROUND) == inside, (x, y)
    skin.save(SKIN_PATH)
    write_table(pts)
    if args.preview:
        preview(skin, pts, args.preview)


if __name__ == "__main__":
    main()
