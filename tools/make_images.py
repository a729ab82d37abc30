#!/usr/bin/env python3
"""Draws every image of the default theme with ImageMagick.

    python3 tools/make_images.py [--theme resources/themes/default] [--scales 1,1.5,2]
                                 [--mock PREFIX]

The shapes (the fern frond of the logo and header, the squircle, the icons)
are computed here and handed to ImageMagick's `convert` as vector drawing
commands, drawn at four times the final size and scaled down, so every edge is
cleanly anti-aliased.

Each image is drawn once per display scale: `name.png` at 100 %, and
`name@1.5x.png` and `name@2x.png` beside it, which the assistant loads on
150 % and 200 % displays. A variant is drawn from the vectors at its own size
(coordinates, stroke widths, blur radii and font sizes all scale), never
enlarged from the 100 % bitmap, and measures exactly round(factor x size) in
both dimensions: the skin's lengths for an image (nine-grid corners, source
rectangles) are in 100 % units and the program multiplies them by the factor.

Every file written is recompressed losslessly with zopflipng or optipng,
keeping its colour type. The output carries no time stamps, so running the
script again with the same ImageMagick and optimisers gives the same files.
`--mock` also composes pictures of the window from the 100 % images, to check
that the design holds together (the fonts only approximate the program's).
"""

import argparse
import math
import os
import shutil
import subprocess
import sys
import tempfile

# Brand palette (kept in step with the colours of global.xml).
FERN_LIGHT = "#3ccf95"
FERN = "#14a37a"
FERN_DEEP = "#0b6b62"
TEAL_DEEP = "#0a4f5c"
INK = "#1f2329"
GRAY = "#86909c"
BROWN = "#8a5a1c"
QQ_BLUE = "#1eb4f0"

SS = 4  # supersampling factor
SCALES = (1, 1.5, 2)  # the display scales the assistant has art for


def run(*args):
    subprocess.run(["convert", *[str(a) for a in args]], check=True)


def scaled_size(n, factor):
    """A length of `n` pixels at 100 % in pixels at `factor`, halves rounded
    up (Python's round() would send 40.5 down and 41.5 up)."""
    return int(math.floor(n * factor + 0.5))


def variant_name(rel, factor):
    """images/logo.png -> images/logo@2x.png; the 100 % name is unchanged."""
    if factor == 1:
        return rel
    stem, ext = os.path.splitext(rel)
    return f"{stem}@{num(factor)}x{ext}"


def num(v):
    """A number for a command line: 38 rather than 38.0, at most 3 decimals."""
    if float(v).is_integer():
        return str(int(v))
    return f"{v:.3f}".rstrip("0")


def font_file(pattern, fallback):
    try:
        out = subprocess.run(["fc-match", "-f", "%{file}", pattern], check=True,
                             capture_output=True, text=True).stdout.strip()
        if out and os.path.exists(out):
            return out
    except (OSError, subprocess.CalledProcessError):
        pass
    return fallback


# --- geometry -----------------------------------------------------------------

def fmt(points):
    return " ".join(f"{x:.2f},{y:.2f}" for x, y in points)


def bezier(p0, p1, p2, t):
    u = 1 - t
    return (u * u * p0[0] + 2 * u * t * p1[0] + t * t * p2[0],
            u * u * p0[1] + 2 * u * t * p1[1] + t * t * p2[1])


def bezier_tangent(p0, p1, p2, t):
    dx = 2 * (1 - t) * (p1[0] - p0[0]) + 2 * t * (p2[0] - p1[0])
    dy = 2 * (1 - t) * (p1[1] - p0[1]) + 2 * t * (p2[1] - p1[1])
    n = math.hypot(dx, dy) or 1.0
    return dx / n, dy / n


def rotate(v, degrees):
    a = math.radians(degrees)
    return (v[0] * math.cos(a) - v[1] * math.sin(a), v[0] * math.sin(a) + v[1] * math.cos(a))


def leaf(base, direction, length, width, bend=0.0):
    """A pointed leaf (two quadratic arcs) from `base` along `direction`."""
    tip = (base[0] + direction[0] * length, base[1] + direction[1] * length)
    perp = rotate(direction, 90)
    mid = (base[0] + direction[0] * length * 0.45, base[1] + direction[1] * length * 0.45)
    c1 = (mid[0] + perp[0] * width * (1 + bend), mid[1] + perp[1] * width * (1 + bend))
    c2 = (mid[0] - perp[0] * width * (1 - bend), mid[1] - perp[1] * width * (1 - bend))
    return (f"M {base[0]:.2f},{base[1]:.2f} Q {c1[0]:.2f},{c1[1]:.2f} {tip[0]:.2f},{tip[1]:.2f} "
            f"Q {c2[0]:.2f},{c2[1]:.2f} {base[0]:.2f},{base[1]:.2f} Z")


def frond(p0, p1, p2, pairs, leaf_len, stem_width, spread=58.0, start=0.10, fullness=0.26):
    """MVG paths of a fern frond: a tapering stem from p0 to p2 (control point
    p1) with `pairs` alternating pairs of leaflets that shrink toward the tip."""
    paths = []
    # Stem: a polygon following the curve, tapering to a point.
    left, right = [], []
    steps = 40
    for i in range(steps + 1):
        t = i / steps
        x, y = bezier(p0, p1, p2, t)
        tx, ty = bezier_tangent(p0, p1, p2, t)
        w = stem_width * (1 - 0.85 * t) / 2
        left.append((x - ty * w, y + tx * w))
        right.append((x + ty * w, y - tx * w))
    paths.append("M " + fmt(left) + " L " + fmt(list(reversed(right))) + " Z")
    # Leaflets.
    for k in range(pairs):
        t = start + (0.93 - start) * k / pairs
        size = (1 - t) ** 0.85 * min(1.0, 0.55 + t * 3.0)
        length = leaf_len * size
        tangent = bezier_tangent(p0, p1, p2, t)
        for side in (-1, 1):
            shift = 0.018 if side > 0 else 0.0  # alternate the two sides slightly
            b = bezier(p0, p1, p2, min(t + shift, 0.99))
            direction = rotate(tangent, side * spread)
            paths.append(leaf(b, direction, length, length * fullness, bend=0.15 * side))
    # Terminal leaflet along the tip.
    tip_t = 0.93
    b = bezier(p0, p1, p2, tip_t)
    paths.append(leaf(b, bezier_tangent(p0, p1, p2, tip_t), leaf_len * 0.30, leaf_len * 0.07))
    return paths


def squircle(cx, cy, radius, n=4.6, steps=180):
    pts = []
    for i in range(steps):
        a = 2 * math.pi * i / steps
        c, s = math.cos(a), math.sin(a)
        x = radius * math.copysign(abs(c) ** (2 / n), c)
        y = radius * math.copysign(abs(s) ** (2 / n), s)
        pts.append((cx + x, cy + y))
    return pts


def scaled(points, k):
    return [(x * k, y * k) for x, y in points]


def rgba(color, opacity=1.0):
    """An MVG colour with its opacity built in (fill-opacity accumulates
    across the commands of one drawing, so it is not used)."""
    named = {"white": "#ffffff", "black": "#000000"}
    c = named.get(color, color).lstrip("#")
    r, g, b = int(c[0:2], 16), int(c[2:4], 16), int(c[4:6], 16)
    return f"rgba({r},{g},{b},{opacity:.4f})"


def mvg_paths(paths, fill, opacity=1.0):
    body = [f"fill {rgba(fill, opacity)}", "stroke none"]
    body += [f"path '{p}'" for p in paths]
    return "\n".join(body) + "\n"


class Painter:
    """Draws one display scale of the theme. Every length handed to it is in
    100 % pixels; `k` turns one of them into units of the supersampled
    drawing canvas, `px()` into whole pixels of the output."""

    def __init__(self, work, theme, factor, optimiser):
        self.work = work
        self.theme = theme
        self.factor = factor
        self.k = SS * factor
        self.optimiser = optimiser
        self.count = 0

    def px(self, n):
        return scaled_size(n, self.factor)

    def size(self, w, h):
        return f"{self.px(w)}x{self.px(h)}"

    def tmp(self, name="t"):
        self.count += 1
        return os.path.join(self.work, f"{self.count:03d}_{name}.png")

    def layer(self, w, h, mvg_text, blur=0.0, opacity=1.0):
        """Transparent w x h canvas (100 % pixels) with the drawing in units of
        `k`, optionally blurred by `blur` 100 % pixels."""
        out = self.tmp("layer")
        final = self.size(w, h)
        args = ["-size", f"{self.px(w) * SS}x{self.px(h) * SS}", "xc:none", "-draw", mvg_text,
                "-resize", f"{final}!"]
        sigma = blur * self.factor
        # The choice of method follows the 100 % radius, so that every scale
        # of an image is blurred the same way.
        if blur > 12:
            # A wide blur is as good (and far cheaper) on a reduced copy.
            k = sigma / 6.0
            args += ["-resize", f"{100 / k:.3f}%", "-channel", "RGBA", "-blur", "0x6",
                     "+channel", "-resize", f"{final}!"]
        elif blur:
            args += ["-channel", "RGBA", "-blur", f"0x{num(sigma)}", "+channel"]
        if opacity != 1.0:
            args += ["-channel", "A", "-evaluate", "multiply", opacity, "+channel"]
        run(*args, out)
        return out

    def canvas(self, w, h):
        out = self.tmp("canvas")
        run("-size", self.size(w, h), "xc:none", out)
        return out

    def gradient(self, w, h, angle, colours):
        out = self.tmp("grad")
        run("-size", self.size(w, h), "-define", f"gradient:angle={angle}",
            f"gradient:{colours}", out)
        return out

    def shift_down(self, dy):
        """convert arguments moving the image down by `dy` 100 % pixels within
        its canvas; a fractional offset is resampled."""
        d = dy * self.factor
        if float(d).is_integer():
            return ["-page", f"+0+{int(d)}", "-background", "none", "-flatten"]
        return ["-virtual-pixel", "transparent", "-distort", "SRT", f"0,0 1 0 0,{num(d)}"]

    def save(self, src, rel, opaque=False):
        """Writes `src` as the theme's `rel` (its 100 % name) for this scale."""
        dst = os.path.join(self.theme, *variant_name(rel, self.factor).split("/"))
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        kind = "PNG24" if opaque else "PNG32"
        plain = self.tmp("plain")
        run(src, "-strip", "-depth", "8", "-define", "png:exclude-chunks=date,time",
            "-define", "png:compression-level=9", f"{kind}:{plain}")
        self.optimiser.optimise(plain, dst, self.tmp("opt"))


def png_format(path):
    """(bit depth, colour type) from a PNG's header."""
    with open(path, "rb") as f:
        head = f.read(26)
    if len(head) < 26 or head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        raise ValueError(f"{path}: not a PNG")
    return head[24], head[25]


class Optimiser:
    """Recompresses the PNGs the script writes, losslessly and keeping their
    colour type: zopflipng would turn an all-white RGBA icon into grey with
    alpha, and the program decides from the decoded pixel format whether an
    image needs blending, so such a result is not taken. Of the original,
    zopflipng's and optipng's files the smallest that kept the format wins."""

    def __init__(self):
        self.zopflipng = shutil.which("zopflipng")
        self.optipng = shutil.which("optipng")
        if not self.zopflipng or not self.optipng:
            sys.exit("make_images: zopflipng and optipng are needed (Debian packages zopfli and "
                     "optipng; scripts/bootstrap installs them)")

    def optimise(self, src, dst, scratch):
        fmt_in = png_format(src)
        zopfli_out, opti_out = scratch + ".z.png", scratch + ".o.png"
        # zopflipng keeps an existing output file that is smaller than its own
        # result, so it always writes to a fresh name.
        subprocess.run([self.zopflipng, "-y", "-m", src, zopfli_out], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run([self.optipng, "-quiet", "-o7", "-nx", "-strip", "all", "-out", opti_out,
                        src], check=True)
        candidates = [p for p in (src, zopfli_out, opti_out) if png_format(p) == fmt_in]
        best = min(candidates, key=os.path.getsize)  # ties keep the earlier one
        differing = subprocess.run(["compare", "-metric", "AE", src, best, "null:"],
                                   capture_output=True, text=True)
        if best != src and differing.stderr.strip() != "0":
            sys.exit(f"make_images: the optimised {dst} differs from what was drawn "
                     f"({differing.stderr.strip()} pixels)")
        shutil.copyfile(best, dst)


def composite(base, *layers, out):
    args = [base]
    for layer in layers:
        args += [layer, "-composite"]
    run(*args, out)
    return out


# --- the images -----------------------------------------------------------------
# All positions and sizes below are 100 % pixels; `pt.k` scales them into the
# drawing and `pt.px()` into the output.

def logo_mark_paths(k, size, ox=0.0, oy=0.0):
    """The Fernwick mark: a frond rising from the lower left and bending to the
    right, inside a box of `size` pixels at (ox, oy), in drawing units `k`."""
    m = size / 100.0
    p = lambda x, y: ((ox + x * m) * k, (oy + y * m) * k)
    return frond(p(30, 96), p(34, 34), p(78, 8), pairs=8, leaf_len=36 * m * k,
                 stem_width=6.5 * m * k, spread=64, start=0.12, fullness=0.30)


def make_logo(pt, size=160):
    # Squircle tile with a vertical-diagonal gradient, a soft drop shadow and a
    # faint inner highlight; the white mark on top.
    tile = squircle(size / 2, size / 2 - 3, 66)
    mask = pt.layer(size, size, mvg_paths(["M " + fmt(scaled(tile, pt.k)) + " Z"], "white"))
    grad = pt.gradient(size, size, 150, f"{FERN_LIGHT}-{FERN_DEEP}")
    body = pt.tmp("body")
    run(grad, mask, "-compose", "CopyOpacity", "-composite", body)
    shine = pt.layer(size, size, mvg_paths(
        ["M " + fmt(scaled(squircle(size / 2 - 14, size / 2 - 40, 62, n=2), pt.k)) + " Z"],
        "white", 0.12), blur=8)
    shine_in = pt.tmp("shine")
    run(shine, mask, "-compose", "DstIn", "-composite", shine_in)
    shadow = pt.tmp("shadow")
    run(mask, "-fill", "#0a5a4c", "-colorize", "100", "-channel", "A", "-evaluate", "multiply",
        "0.35", "+channel", "-blur", f"0x{num(5 * pt.factor)}", *pt.shift_down(5), shadow)
    mark = pt.layer(size, size, mvg_paths(logo_mark_paths(pt.k, 104, 28, 24), "white"))
    out = composite(pt.canvas(size, size), shadow, body, shine_in, mark, out=pt.tmp("logo"))
    pt.save(out, "images/logo.png")
    return out


def make_header(pt, w=800, h=208):
    k = pt.k
    base = pt.gradient(w, h, 105, f"{TEAL_DEEP}-{FERN}")
    glow = pt.layer(w, h, mvg_paths(["M " + fmt(scaled(squircle(690, 30, 190, n=2), k)) + " Z"],
                                    FERN_LIGHT, 0.55), blur=60)
    circles = pt.layer(w, h, "".join([
        mvg_paths(["M " + fmt(scaled(squircle(735, -25, 150, n=2), k)) + " Z"], "white", 0.07),
        mvg_paths(["M " + fmt(scaled(squircle(600, 205, 78, n=2), k)) + " Z"], "white", 0.06),
        mvg_paths(["M " + fmt(scaled(squircle(40, 215, 110, n=2), k)) + " Z"], "white", 0.05),
        mvg_paths(["M " + fmt(scaled(squircle(330, -60, 95, n=2), k)) + " Z"], "white", 0.04),
    ]), blur=1.5)
    s = lambda x, y: (x * k, y * k)
    fronds = pt.layer(w, h, mvg_paths(
        frond(s(650, 260), s(660, 110), s(780, 18), pairs=9, leaf_len=78 * k,
              stem_width=7 * k, spread=62) +
        frond(s(548, 250), s(548, 150), s(612, 84), pairs=7, leaf_len=44 * k,
              stem_width=4.5 * k, spread=60), "white"), opacity=0.15)
    # Wordmark: the white mark, the name and a short line under it.
    mark = pt.layer(w, h, mvg_paths(logo_mark_paths(k, 70, 44, 58), "white"))
    latin = font_file("DejaVu Sans:bold", "DejaVu-Sans-Bold")
    cjk = font_file("WenQuanYi Micro Hei", "WenQuanYi-Micro-Hei")
    f = pt.factor
    text = pt.tmp("text")
    run("-size", pt.size(w, h), "xc:none", "-fill", "white", "-font", latin,
        "-pointsize", num(38 * f), "-annotate", f"+{num(124 * f)}+{num(108 * f)}", "Fernwick",
        "-fill", "#ffffffd0", "-font", cjk, "-pointsize", num(16 * f),
        "-annotate", f"+{num(126 * f)}+{num(138 * f)}", "轻快记录 · 井井有条 · 安心下载", text)
    out = composite(base, glow, circles, fronds, mark, text, out=pt.tmp("header"))
    pt.save(out, "images/header.png", opaque=True)
    return out


def cross(k, cx, cy, half, width):
    """MVG of an X made of two rounded strokes."""
    return (f"stroke-linecap round\nstroke-width {width * k}\nfill none\n"
            f"line {(cx - half) * k},{(cy - half) * k} {(cx + half) * k},{(cy + half) * k}\n"
            f"line {(cx - half) * k},{(cy + half) * k} {(cx + half) * k},{(cy - half) * k}\n")


def circle(k, cx, cy, r, fill, opacity):
    return (f"stroke none\nfill {rgba(fill, opacity)}\n"
            f"circle {cx * k},{cy * k} {cx * k},{(cy - r) * k}\n")


def make_close_buttons(pt):
    k = pt.k
    # Header close button: a white X; hovering adds a soft white disc.
    normal = pt.layer(24, 24, circle(k, 12, 12, 12, "white", 0.12) +
                      f"stroke {rgba('white', 0.95)}\n" + cross(k, 12, 12, 4.5, 1.8))
    hover = pt.layer(24, 24, circle(k, 12, 12, 12, "white", 0.28) +
                     "stroke white\n" + cross(k, 12, 12, 4.5, 1.8))
    pt.save(normal, "images/close_normal.png")
    pt.save(hover, "images/close_hover.png")
    # Popup close button on the light yellow title bar: a brown X; the hover
    # image adds a tinted disc under a darker X.
    popup = pt.layer(24, 24, f"stroke {rgba(BROWN, 0.75)}\n" + cross(k, 12, 12, 4.5, 1.7))
    popup_hover = pt.layer(24, 24, circle(k, 12, 12, 12, BROWN, 0.14) +
                           f"stroke '{BROWN}'\n" + cross(k, 12, 12, 4.5, 1.7))
    pt.save(popup, "images/popup_close.png")
    pt.save(popup_hover, "images/popup_close_hover.png")
    return normal, hover, popup, popup_hover


def make_tutorial_icon(pt, size=28):
    tile = squircle(size / 2, size / 2, size / 2 - 0.5)
    s = lambda x, y: (x * pt.k, y * pt.k)
    # An open book: two pages meeting at the spine, with a few text lines.
    book = [
        "M " + fmt([s(6.5, 9), s(13.4, 10.2), s(13.4, 20.5), s(6.5, 19.3)]) + " Z",
        "M " + fmt([s(21.5, 9), s(14.6, 10.2), s(14.6, 20.5), s(21.5, 19.3)]) + " Z",
    ]
    lines = ("stroke-linecap round\nfill none\nstroke '" + FERN + f"'\nstroke-width {0.9 * pt.k}\n" +
             "".join(f"line {s(8.3, y)[0]},{s(8.3, y + 0.25)[1]} {s(11.8, y)[0]},{s(11.8, y + 0.85)[1]}\n"
                     for y in (12.3, 14.6, 16.9)) +
             "".join(f"line {s(16.2, y + 0.6)[0]},{s(16.2, y + 0.85)[1]} {s(19.7, y)[0]},{s(19.7, y + 0.25)[1]}\n"
                     for y in (12.3, 14.6, 16.9)))
    grad = pt.gradient(size, size, 150, f"{FERN_LIGHT}-{FERN_DEEP}")
    mask = pt.layer(size, size, mvg_paths(["M " + fmt(scaled(tile, pt.k)) + " Z"], "white"))
    body = pt.tmp("tbody")
    run(grad, mask, "-compose", "CopyOpacity", "-composite", body)
    glyph = pt.layer(size, size, mvg_paths(book, "white") + lines)
    out = composite(body, glyph, out=pt.tmp("tutorial"))
    pt.save(out, "images/tutorial.png")
    return out


def make_qq_icon(pt, size=16):
    k = pt.k
    s = lambda x, y: (x * k, y * k)
    # A small round penguin: dark body, white belly and face, orange beak and
    # feet, on a light blue disc.
    body = (circle(k, 8, 8, 8, QQ_BLUE, 1.0) +
            f"fill '{INK}'\nellipse {s(8, 8.6)[0]},{s(8, 8.6)[1]} {4.3 * k},{5.6 * k} 0,360\n"
            f"fill white\nellipse {s(8, 10)[0]},{s(8, 10)[1]} {3.0 * k},{3.8 * k} 0,360\n"
            f"ellipse {s(6.6, 6.3)[0]},{s(6.6, 6.3)[1]} {1.15 * k},{1.35 * k} 0,360\n"
            f"ellipse {s(9.4, 6.3)[0]},{s(9.4, 6.3)[1]} {1.15 * k},{1.35 * k} 0,360\n"
            f"fill '{INK}'\nellipse {s(6.8, 6.5)[0]},{s(6.8, 6.5)[1]} {0.5 * k},{0.6 * k} 0,360\n"
            f"ellipse {s(9.2, 6.5)[0]},{s(9.2, 6.5)[1]} {0.5 * k},{0.6 * k} 0,360\n"
            f"fill '#ffb020'\nellipse {s(8, 8.1)[0]},{s(8, 8.1)[1]} {1.2 * k},{0.65 * k} 0,360\n"
            f"ellipse {s(6.2, 14.1)[0]},{s(6.2, 14.1)[1]} {1.5 * k},{0.7 * k} 0,360\n"
            f"ellipse {s(9.8, 14.1)[0]},{s(9.8, 14.1)[1]} {1.5 * k},{0.7 * k} 0,360\n")
    out = pt.layer(size, size, body)
    pt.save(out, "images/qq.png")
    return out


def make_scrollbars(pt):
    # Vertical: a 14-wide strip with a 6-wide rounded thumb; the nine-grid
    # corners (0,7,0,7) keep the rounded ends when the thumb is stretched.
    k = pt.k

    def pill(x0, y0, x1, y1, fill, opacity):
        r = min(x1 - x0, y1 - y0) / 2
        return (f"stroke none\nfill {rgba(fill, opacity)}\n"
                f"roundrectangle {x0 * k},{y0 * k} {x1 * k},{y1 * k} {r * k},{r * k}\n")

    for name, fill, opacity in (("thumb_normal", "#9aa3ad", 0.55), ("thumb_hover", "#7d8792", 0.85),
                                ("rail", "#e6e9ed", 0.7)):
        pt.save(pt.layer(14, 32, pill(4, 1, 10, 31, fill, opacity)),
                f"images/scrollbar/v_{name}.png")
        pt.save(pt.layer(32, 14, pill(1, 4, 31, 10, fill, opacity)),
                f"images/scrollbar/h_{name}.png")


def make_shadow(pt, inset=14, corner=30):
    # Nine-grid shadow around the window: the window's rectangle starts `inset`
    # pixels in from every edge; the shadow falls mostly downward.
    k = pt.k
    size = corner * 2 + 4
    rect = (f"stroke none\nfill '#08231d'\n"
            f"roundrectangle {inset * k},{(inset + 2) * k} {(size - inset) * k},"
            f"{(size - inset + 2) * k} {6 * k},{6 * k}\n")
    soft = pt.layer(size, size, rect, blur=5.0, opacity=0.30)
    tight = pt.layer(size, size, rect, blur=1.2, opacity=0.12)
    out = composite(pt.canvas(size, size), soft, tight, out=pt.tmp("shadow"))
    pt.save(out, "public/bk/bk_shadow.png")
    return out


# --- mocks of the window ------------------------------------------------------------
# Positions follow basic/basic.xml's layout (page area from y=208; welcome
# page: a 220-wide logo column, then a column with padding 16,16,24,16).

def text_width(text, size):
    return sum(size if ord(ch) > 0x2e7f else size * 0.56 for ch in text)


def wrap(text, size, width):
    lines, line = [], ""
    for ch in text:
        if text_width(line + ch, size) > width:
            lines.append(line)
            line = ""
        line += ch
    return lines + [line] if line else lines


class Mock:
    def __init__(self, theme, work):
        self.theme = theme
        self.work = work
        self.args = ["-size", "800x600", "xc:white"]
        self.cjk = font_file("WenQuanYi Micro Hei", "WenQuanYi-Micro-Hei")

    def image(self, rel, x, y, w=None, h=None, fade=1.0):
        src = os.path.join(self.theme, rel)
        self.args += ["(", src]
        if w:
            self.args += ["-resize", f"{w}x{h}!"]
        if fade != 1.0:
            self.args += ["-channel", "A", "-evaluate", "multiply", str(fade), "+channel"]
        self.args += [")", "-geometry", f"+{x}+{y}", "-composite"]

    def rect(self, x0, y0, x1, y1, fill, radius=0, stroke=None):
        draw = f"fill {fill} stroke {stroke or 'none'} "
        draw += (f"roundrectangle {x0},{y0} {x1 - 1},{y1 - 1} {radius},{radius}" if radius
                 else f"rectangle {x0},{y0} {x1 - 1},{y1 - 1}")
        self.args += ["-draw", draw]

    def text(self, x, y, text, size, color, bold=False, box_w=None, align="left", line_h=None):
        lines = wrap(text, size, box_w) if box_w and line_h else [text]
        for i, line in enumerate(lines):
            lx = x
            if align == "center":
                lx = x + (box_w - text_width(line, size)) / 2
            elif align == "right":
                lx = x + box_w - text_width(line, size)
            self.args += ["-font", self.cjk, "-pointsize", str(size), "-fill", color,
                          "-stroke", color if bold else "none", "-strokewidth", "0.6" if bold else "0",
                          "-gravity", "NorthWest",
                          "-annotate", f"+{lx:.0f}+{y + i * (line_h or 0):.0f}", line]
        self.args += ["-stroke", "none"]

    def header(self):
        self.image("images/header.png", 0, 0)
        self.image("images/close_normal.png", 764, 12)

    def save(self, out):
        flat = os.path.join(self.work, "page.png")
        run(*self.args, flat)
        with_shadow(self.theme, flat, out, self.work)


def nine_grid(src, w, h, corner, out, work):
    """Stretches `src` to w x h keeping `corner` pixels at every edge."""
    c = corner
    sw, sh = [int(v) for v in subprocess.run(["identify", "-format", "%w %h", src], check=True,
                                             capture_output=True, text=True).stdout.split()]
    mw, mh = sw - 2 * c, sh - 2 * c
    parts = []
    for (sx, sy, cw, ch, dx, dy, dw, dh) in (
            (0, 0, c, c, 0, 0, c, c), (c, 0, mw, c, c, 0, w - 2 * c, c),
            (sw - c, 0, c, c, w - c, 0, c, c), (0, c, c, mh, 0, c, c, h - 2 * c),
            (c, c, mw, mh, c, c, w - 2 * c, h - 2 * c), (sw - c, c, c, mh, w - c, c, c, h - 2 * c),
            (0, sh - c, c, c, 0, h - c, c, c), (c, sh - c, mw, c, c, h - c, w - 2 * c, c),
            (sw - c, sh - c, c, c, w - c, h - c, c, c)):
        parts += ["(", src, "-crop", f"{cw}x{ch}+{sx}+{sy}", "+repage", "-resize", f"{dw}x{dh}!",
                  ")", "-geometry", f"+{dx}+{dy}", "-composite"]
    run("-size", f"{w}x{h}", "xc:none", *parts, out)


def with_shadow(theme, page, out, work, inset=14):
    shadow = os.path.join(work, "shadow.png")
    nine_grid(os.path.join(theme, "public", "bk", "bk_shadow.png"), 800 + 2 * inset,
              600 + 2 * inset, 30, shadow, work)
    # The window on a neutral desktop colour, with its 3-pixel rounded corners.
    rounded = os.path.join(work, "rounded.png")
    run(page, "(", "-size", "800x600", "xc:none", "-fill", "white", "-draw",
        "roundrectangle 0,0 799,599 3,3", ")", "-alpha", "off", "-compose", "CopyOpacity",
        "-composite", rounded)
    run("-size", f"{800 + 2 * inset + 40}x{600 + 2 * inset + 40}", "xc:#c9d1d6",
        shadow, "-geometry", "+20+20", "-composite",
        rounded, "-geometry", f"+{20 + inset}+{20 + inset}", "-composite", out)


def fake_qr(work, n=25):
    """A QR-like 25x25 module picture (finder patterns and pseudo-random
    modules) for the mock; the program draws the real symbol."""
    import random
    rnd = random.Random(1124)
    grid = [[rnd.random() < 0.45 for _ in range(n)] for _ in range(n)]
    for ox, oy in ((0, 0), (n - 7, 0), (0, n - 7)):
        for y in range(-1, 8):
            for x in range(-1, 8):
                if 0 <= ox + x < n and 0 <= oy + y < n:
                    ring = max(abs(x - 3), abs(y - 3))
                    grid[oy + y][ox + x] = ring in (0, 1, 3)
    path = os.path.join(work, "qr.pbm")
    with open(path, "w") as f:
        f.write(f"P1\n{n} {n}\n")
        for row in grid:
            f.write(" ".join("1" if v else "0" for v in row) + "\n")
    return path


def compose_mocks(theme, prefix):
    with open(os.path.join(theme, "..", "..", "config.json"), encoding="utf-8") as f:
        import json
        config = json.load(f)
    name, intro = config.get("name", ""), config.get("intro", "")
    strings = {}
    with open(os.path.join(theme, "..", "..", "lang", "zh_CN", "gdstrings.ini"),
              encoding="utf-8") as f:
        for line in f:
            if "=" in line and not line.lstrip().startswith(";"):
                k, v = line.split("=", 1)
                strings[k.strip()] = v.strip().replace("\\n", "\n")
    ink, ink2, gray, brown = "#1f2329", "#4e5969", GRAY, BROWN
    with tempfile.TemporaryDirectory() as work:
        # Welcome page.
        m = Mock(theme, work)
        m.header()
        m.image("images/logo.png", 30, 228)
        m.text(0, 392, name + " 官方正版", 18, ink, bold=True, box_w=220, align="center")
        x = 236
        m.text(x, 224, strings["STRID_WELCOME_INTRO_TITLE"], 14, ink, bold=True)
        m.text(x, 249, intro, 14, ink2, box_w=540, line_h=20)
        m.text(x, 329, strings["STRID_WELCOME_EDITION_TITLE"], 14, ink, bold=True)
        m.rect(x, 354, x + 400, 384, "white", 6, "#e3e7ec")
        m.text(x + 6, 360, name + " 官方中文版", 12, ink2)
        m.text(x, 394, strings["STRID_WELCOME_LOCATION_TITLE"], 14, ink, bold=True)
        m.rect(x, 419, x + 400, 449, "white", 6, "#e3e7ec")
        m.text(x + 6, 426, "C:\\\\Users\\\\demo\\\\AppData\\\\Local\\\\fernwick", 12, ink2)
        m.rect(572, 423, 632, 445, "#eef1f4", 4)
        m.text(572, 426, "选择", 12, ink2, box_w=60, align="center")
        m.rect(x, 479, x + 300, 527, "#14a37a", 24)
        m.text(x, 492, "下一步", 16, "white", bold=True, box_w=300, align="center")
        m.save(prefix + "-welcome.png")

        # Install page.
        m = Mock(theme, work)
        m.header()
        m.text(0, 258, strings["STRID_INSTALL_HEADLINE"], 14, ink, box_w=800, align="center")
        m.rect(191, 287, 511, 314, "#fff6e0", 6)
        m.text(191, 293, strings["STRID_INSTALL_NOTE"], 12, brown, box_w=320, align="center")
        m.rect(519, 287, 609, 314, "#f2f4f7", 6)
        m.text(519, 293, "联系客服", 12, ink, box_w=90, align="center")
        cx = (800 - 656) // 2
        m.rect(cx, 368, cx + 280, 446, "#f2f4f7", 20)
        m.image("images/tutorial.png", cx + 20, 393)
        m.text(cx + 62, 382, "安装教程", 18, ink, bold=True)
        m.text(cx + 62, 410, f"查看 {name} 安装教程", 14, gray)
        m.text(cx + 6, 462, strings["STRID_INSTALL_TIPS_TITLE"], 14, ink, bold=True)
        for i, line in enumerate(strings["STRID_INSTALL_TIPS"].split("\n")):
            m.text(cx + 6, 487 + i * 18, line, 12, gray)
        lx = cx + 296
        m.rect(lx, 368, lx + 360, 538, "#14a37a", 20)
        m.image("images/logo.png", lx + 240, 418, 104, 104, fade=0.25)
        m.text(lx + 24, 390, "立即安装", 22, "white", bold=True)
        m.text(lx + 24, 432, f"点击启动 {name} 安装程序，将 {name} 安装到您的电脑。", 14, "#e3e7ec",
               box_w=196, line_h=21)
        m.text(0, 560, "在文件夹中显示", 14, gray, box_w=800, align="center")
        m.args += ["-draw", "fill #86909c line 351,577 449,577"]
        m.save(prefix + "-install.png")

        # Support overlay over the install page.
        m = Mock(theme, work)
        m.args = [prefix + "-install.png", "-crop", "800x600+34+34", "+repage"]
        m.rect(0, 0, 800, 600, "rgba(16,20,24,0.5)")
        px, py = 220, 96
        m.rect(px, py, px + 360, py + 408, "white", 20)
        m.args += ["-draw", f"fill #fff6e0 roundrectangle {px},{py} {px + 359},{py + 60} 20,20",
                   "-draw", f"fill white rectangle {px},{py + 48} {px + 359},{py + 70}"]
        m.text(px + 20, py + 14, strings["STRID_SUPPORT_TITLE"], 16, brown, bold=True)
        m.image("images/popup_close.png", px + 324, py + 12)
        m.text(px, py + 68, strings["STRID_SUPPORT_SUBTITLE"], 14, gray, box_w=360, align="center")
        qr = os.path.join(work, "qr.png")
        run(fake_qr(work), "-scale", "168x168", "-fill", "#1f2329", "-opaque", "black", qr)
        m.args += [qr, "-geometry", f"+{px + 100}+{py + 107}", "-composite"]
        m.image("images/qq.png", px + 84, py + 312)
        m.text(px + 100, py + 311, "QQ 扫码或添加", 12, gray, box_w=94, align="right")
        m.text(px + 200, py + 310, "800012345", 14, gray)
        m.rect(px + 60, py + 349, px + 300, py + 409 - 10, "#14a37a", 25)
        m.text(px + 60, py + 361, "好的", 16, "white", bold=True, box_w=240, align="center")
        m.save(prefix + "-support.png")


def parse_scales(text):
    """"1,1.5,2" -> [1, 1.5, 2]; each factor must be positive and name a file
    of its own."""
    factors = []
    for part in text.split(","):
        try:
            factor = float(part)
        except ValueError:
            raise argparse.ArgumentTypeError(f"not a number: {part!r}")
        if not math.isfinite(factor) or not 0 < factor <= 8:
            raise argparse.ArgumentTypeError(f"scale out of range (0, 8]: {part!r}")
        factor = int(factor) if factor.is_integer() else factor
        if variant_name("x.png", factor) in (variant_name("x.png", f) for f in factors):
            raise argparse.ArgumentTypeError(f"scale given twice: {part!r}")
        factors.append(factor)
    return factors


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--theme", default=os.path.join(here, "..", "resources", "themes",
                                                       "default"))
    parser.add_argument("--scales", type=parse_scales, default=list(SCALES),
                        help="comma-separated display scales to draw (default: 1,1.5,2); "
                             "1 writes name.png, 1.5 name@1.5x.png, 2 name@2x.png")
    parser.add_argument("--mock", metavar="PREFIX",
                        help="also write PREFIX-welcome.png, PREFIX-install.png and "
                             "PREFIX-support.png: mocks of the window built from the images")
    args = parser.parse_args()
    if not shutil.which("convert"):
        sys.exit("make_images: ImageMagick's convert is needed (scripts/bootstrap installs it)")
    optimiser = Optimiser()
    theme = os.path.abspath(args.theme)
    for factor in args.scales:
        with tempfile.TemporaryDirectory() as work:
            pt = Painter(work, theme, factor, optimiser)
            make_header(pt)
            make_logo(pt)
            make_close_buttons(pt)
            make_tutorial_icon(pt)
            make_qq_icon(pt)
            make_scrollbars(pt)
            make_shadow(pt)
    if args.mock:
        compose_mocks(theme, args.mock)


if __name__ == "__main__":
    main()
