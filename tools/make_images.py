#!/usr/bin/env python3
"""Draws every image of the default theme with ImageMagick.

    python3 tools/make_images.py [--theme resources/themes/default] [--mock out.png]

The shapes (the fern frond of the logo and header, the squircle, the icons)
are computed here and handed to ImageMagick's `convert` as vector drawing
commands, drawn at four times the final size and scaled down, so every edge is
cleanly anti-aliased. The output is stripped of time stamps, so running the
script again on the same ImageMagick gives the same files. `--mock` also
composes a picture of the whole 800x600 welcome page from the images, to check
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


def run(*args):
    subprocess.run(["convert", *[str(a) for a in args]], check=True)


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


def scaled(points, k=SS):
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
    def __init__(self, work):
        self.work = work
        self.count = 0

    def tmp(self, name="t"):
        self.count += 1
        return os.path.join(self.work, f"{self.count:03d}_{name}.png")

    def layer(self, w, h, mvg_text, blur=0.0, opacity=1.0):
        """Transparent w x h canvas (final pixels) with the drawing at SS scale,
        optionally blurred by `blur` final pixels."""
        out = self.tmp("layer")
        args = ["-size", f"{w * SS}x{h * SS}", "xc:none", "-draw", mvg_text,
                "-resize", f"{w}x{h}!"]
        if blur > 12:
            # A wide blur is as good (and far cheaper) on a reduced copy.
            k = blur / 6.0
            args += ["-resize", f"{100 / k:.3f}%", "-channel", "RGBA", "-blur", "0x6",
                     "+channel", "-resize", f"{w}x{h}!"]
        elif blur:
            args += ["-channel", "RGBA", "-blur", f"0x{blur}", "+channel"]
        if opacity != 1.0:
            args += ["-channel", "A", "-evaluate", "multiply", opacity, "+channel"]
        run(*args, out)
        return out


def save(src, dst, opaque=False):
    os.makedirs(os.path.dirname(dst), exist_ok=True)
    kind = "PNG24" if opaque else "PNG32"
    run(src, "-strip", "-depth", "8", "-define", "png:exclude-chunks=date,time",
        "-define", "png:compression-level=9", f"{kind}:{dst}")


def composite(base, *layers, out):
    args = [base]
    for layer in layers:
        args += [layer, "-composite"]
    run(*args, out)
    return out


# --- the images -----------------------------------------------------------------

def logo_mark_paths(size, ox=0.0, oy=0.0):
    """The Fernwick mark: a frond rising from the lower left and bending to the
    right, inside a box of `size` pixels at (ox, oy), at SS scale."""
    k = size / 100.0
    p = lambda x, y: ((ox + x * k) * SS, (oy + y * k) * SS)
    return frond(p(30, 96), p(34, 34), p(78, 8), pairs=8, leaf_len=36 * k * SS,
                 stem_width=6.5 * k * SS, spread=64, start=0.12, fullness=0.30)


def make_logo(pt, theme, size=160):
    # Squircle tile with a vertical-diagonal gradient, a soft drop shadow and a
    # faint inner highlight; the white mark on top.
    tile = squircle(size / 2, size / 2 - 3, 66)
    mask = pt.layer(size, size, mvg_paths(["M " + fmt(scaled(tile)) + " Z"], "white"))
    grad = pt.tmp("grad")
    run("-size", f"{size}x{size}", "-define", "gradient:angle=150",
        f"gradient:{FERN_LIGHT}-{FERN_DEEP}", grad)
    body = pt.tmp("body")
    run(grad, mask, "-compose", "CopyOpacity", "-composite", body)
    shine = pt.layer(size, size, mvg_paths(
        ["M " + fmt(scaled(squircle(size / 2 - 14, size / 2 - 40, 62, n=2))) + " Z"],
        "white", 0.12), blur=8)
    shine_in = pt.tmp("shine")
    run(shine, mask, "-compose", "DstIn", "-composite", shine_in)
    shadow = pt.tmp("shadow")
    run(mask, "-fill", "#0a5a4c", "-colorize", "100", "-channel", "A", "-evaluate", "multiply",
        "0.35", "+channel", "-blur", "0x5", "-page", "+0+5", "-background", "none", "-flatten",
        shadow)
    mark = pt.layer(size, size, mvg_paths(logo_mark_paths(104, 28, 24), "white"))
    canvas = pt.tmp("canvas")
    run("-size", f"{size}x{size}", "xc:none", canvas)
    out = composite(canvas, shadow, body, shine_in, mark, out=pt.tmp("logo"))
    save(out, os.path.join(theme, "images", "logo.png"))
    return out


def make_header(pt, theme, w=800, h=208):
    base = pt.tmp("hbase")
    run("-size", f"{w}x{h}", "-define", "gradient:angle=105",
        f"gradient:{TEAL_DEEP}-{FERN}", base)
    glow = pt.layer(w, h, mvg_paths(["M " + fmt(scaled(squircle(690, 30, 190, n=2))) + " Z"],
                                    FERN_LIGHT, 0.55), blur=60)
    circles = pt.layer(w, h, "".join([
        mvg_paths(["M " + fmt(scaled(squircle(735, -25, 150, n=2))) + " Z"], "white", 0.07),
        mvg_paths(["M " + fmt(scaled(squircle(600, 205, 78, n=2))) + " Z"], "white", 0.06),
        mvg_paths(["M " + fmt(scaled(squircle(40, 215, 110, n=2))) + " Z"], "white", 0.05),
        mvg_paths(["M " + fmt(scaled(squircle(330, -60, 95, n=2))) + " Z"], "white", 0.04),
    ]), blur=1.5)
    s = lambda x, y: (x * SS, y * SS)
    fronds = pt.layer(w, h, mvg_paths(
        frond(s(650, 260), s(660, 110), s(780, 18), pairs=9, leaf_len=78 * SS,
              stem_width=7 * SS, spread=62) +
        frond(s(548, 250), s(548, 150), s(612, 84), pairs=7, leaf_len=44 * SS,
              stem_width=4.5 * SS, spread=60), "white"), opacity=0.15)
    # Wordmark: the white mark, the name and a short line under it.
    mark = pt.layer(w, h, mvg_paths(logo_mark_paths(70, 44, 58), "white"))
    latin = font_file("DejaVu Sans:bold", "DejaVu-Sans-Bold")
    cjk = font_file("WenQuanYi Micro Hei", "WenQuanYi-Micro-Hei")
    text = pt.tmp("text")
    run("-size", f"{w}x{h}", "xc:none", "-fill", "white", "-font", latin, "-pointsize", "38",
        "-annotate", "+124+108", "Fernwick",
        "-fill", "#ffffffd0", "-font", cjk, "-pointsize", "16",
        "-annotate", "+126+138", "轻快记录 · 井井有条 · 安心下载", text)
    out = composite(base, glow, circles, fronds, mark, text, out=pt.tmp("header"))
    save(out, os.path.join(theme, "images", "header.png"), opaque=True)
    return out


def cross(cx, cy, half, width):
    """MVG of an X made of two rounded strokes."""
    return (f"stroke-linecap round\nstroke-width {width * SS}\nfill none\n"
            f"line {(cx - half) * SS},{(cy - half) * SS} {(cx + half) * SS},{(cy + half) * SS}\n"
            f"line {(cx - half) * SS},{(cy + half) * SS} {(cx + half) * SS},{(cy - half) * SS}\n")


def circle(cx, cy, r, fill, opacity):
    return (f"stroke none\nfill {rgba(fill, opacity)}\n"
            f"circle {cx * SS},{cy * SS} {cx * SS},{(cy - r) * SS}\n")


def make_close_buttons(pt, theme):
    # Header close button: a white X; hovering adds a soft white disc.
    normal = pt.layer(24, 24, circle(12, 12, 12, "white", 0.12) +
                      f"stroke {rgba('white', 0.95)}\n" + cross(12, 12, 4.5, 1.8))
    hover = pt.layer(24, 24, circle(12, 12, 12, "white", 0.28) +
                     "stroke white\n" + cross(12, 12, 4.5, 1.8))
    save(normal, os.path.join(theme, "images", "close_normal.png"))
    save(hover, os.path.join(theme, "images", "close_hover.png"))
    # Popup close button on the light yellow title bar: a brown X; the hover
    # image adds a tinted disc under a darker X.
    popup = pt.layer(24, 24, f"stroke {rgba(BROWN, 0.75)}\n" + cross(12, 12, 4.5, 1.7))
    popup_hover = pt.layer(24, 24, circle(12, 12, 12, BROWN, 0.14) +
                           f"stroke '{BROWN}'\n" + cross(12, 12, 4.5, 1.7))
    save(popup, os.path.join(theme, "images", "popup_close.png"))
    save(popup_hover, os.path.join(theme, "images", "popup_close_hover.png"))
    return normal, hover, popup, popup_hover


def make_tutorial_icon(pt, theme, size=28):
    tile = squircle(size / 2, size / 2, size / 2 - 0.5)
    s = lambda x, y: (x * SS, y * SS)
    # An open book: two pages meeting at the spine, with a few text lines.
    book = [
        "M " + fmt([s(6.5, 9), s(13.4, 10.2), s(13.4, 20.5), s(6.5, 19.3)]) + " Z",
        "M " + fmt([s(21.5, 9), s(14.6, 10.2), s(14.6, 20.5), s(21.5, 19.3)]) + " Z",
    ]
    lines = ("stroke-linecap round\nfill none\nstroke '" + FERN + f"'\nstroke-width {0.9 * SS}\n" +
             "".join(f"line {s(8.3, y)[0]},{s(8.3, y + 0.25)[1]} {s(11.8, y)[0]},{s(11.8, y + 0.85)[1]}\n"
                     for y in (12.3, 14.6, 16.9)) +
             "".join(f"line {s(16.2, y + 0.6)[0]},{s(16.2, y + 0.85)[1]} {s(19.7, y)[0]},{s(19.7, y + 0.25)[1]}\n"
                     for y in (12.3, 14.6, 16.9)))
    grad = pt.tmp("tgrad")
    run("-size", f"{size}x{size}", "-define", "gradient:angle=150",
        f"gradient:{FERN_LIGHT}-{FERN_DEEP}", grad)
    mask = pt.layer(size, size, mvg_paths(["M " + fmt(scaled(tile)) + " Z"], "white"))
    body = pt.tmp("tbody")
    run(grad, mask, "-compose", "CopyOpacity", "-composite", body)
    glyph = pt.layer(size, size, mvg_paths(book, "white") + lines)
    out = composite(body, glyph, out=pt.tmp("tutorial"))
    save(out, os.path.join(theme, "images", "tutorial.png"))
    return out


def make_qq_icon(pt, theme, size=16):
    s = lambda x, y: (x * SS, y * SS)
    # A small round penguin: dark body, white belly and face, orange beak and
    # feet, on a light blue disc.
    body = (circle(8, 8, 8, QQ_BLUE, 1.0) +
            f"fill '{INK}'\nellipse {s(8, 8.6)[0]},{s(8, 8.6)[1]} {4.3 * SS},{5.6 * SS} 0,360\n"
            f"fill white\nellipse {s(8, 10)[0]},{s(8, 10)[1]} {3.0 * SS},{3.8 * SS} 0,360\n"
            f"ellipse {s(6.6, 6.3)[0]},{s(6.6, 6.3)[1]} {1.15 * SS},{1.35 * SS} 0,360\n"
            f"ellipse {s(9.4, 6.3)[0]},{s(9.4, 6.3)[1]} {1.15 * SS},{1.35 * SS} 0,360\n"
            f"fill '{INK}'\nellipse {s(6.8, 6.5)[0]},{s(6.8, 6.5)[1]} {0.5 * SS},{0.6 * SS} 0,360\n"
            f"ellipse {s(9.2, 6.5)[0]},{s(9.2, 6.5)[1]} {0.5 * SS},{0.6 * SS} 0,360\n"
            f"fill '#ffb020'\nellipse {s(8, 8.1)[0]},{s(8, 8.1)[1]} {1.2 * SS},{0.65 * SS} 0,360\n"
            f"ellipse {s(6.2, 14.1)[0]},{s(6.2, 14.1)[1]} {1.5 * SS},{0.7 * SS} 0,360\n"
            f"ellipse {s(9.8, 14.1)[0]},{s(9.8, 14.1)[1]} {1.5 * SS},{0.7 * SS} 0,360\n")
    out = pt.layer(size, size, body)
    save(out, os.path.join(theme, "images", "qq.png"))
    return out


def make_scrollbars(pt, theme):
    # Vertical: a 14-wide strip with a 6-wide rounded thumb; the nine-grid
    # corners (0,7,0,7) keep the rounded ends when the thumb is stretched.
    def pill(w, h, x0, y0, x1, y1, fill, opacity):
        r = min(x1 - x0, y1 - y0) / 2
        return (f"stroke none\nfill {rgba(fill, opacity)}\n"
                f"roundrectangle {x0 * SS},{y0 * SS} {x1 * SS},{y1 * SS} {r * SS},{r * SS}\n")

    folder = os.path.join(theme, "images", "scrollbar")
    for name, fill, opacity in (("thumb_normal", "#9aa3ad", 0.55), ("thumb_hover", "#7d8792", 0.85)):
        save(pt.layer(14, 32, pill(14, 32, 4, 1, 10, 31, fill, opacity)),
             os.path.join(folder, f"v_{name}.png"))
        save(pt.layer(32, 14, pill(32, 14, 1, 4, 31, 10, fill, opacity)),
             os.path.join(folder, f"h_{name}.png"))
    save(pt.layer(14, 32, pill(14, 32, 4, 1, 10, 31, "#e6e9ed", 0.7)),
         os.path.join(folder, "v_rail.png"))
    save(pt.layer(32, 14, pill(32, 14, 1, 4, 31, 10, "#e6e9ed", 0.7)),
         os.path.join(folder, "h_rail.png"))


def make_shadow(pt, theme, inset=14, corner=30):
    # Nine-grid shadow around the window: the window's rectangle starts `inset`
    # pixels in from every edge; the shadow falls mostly downward.
    size = corner * 2 + 4
    rect = (f"stroke none\nfill '#08231d'\n"
            f"roundrectangle {inset * SS},{(inset + 2) * SS} {(size - inset) * SS},"
            f"{(size - inset + 2) * SS} {6 * SS},{6 * SS}\n")
    soft = pt.layer(size, size, rect, blur=5.0, opacity=0.30)
    tight = pt.layer(size, size, rect, blur=1.2, opacity=0.12)
    canvas = pt.tmp("sh")
    run("-size", f"{size}x{size}", "xc:none", canvas)
    out = composite(canvas, soft, tight, out=pt.tmp("shadow"))
    save(out, os.path.join(theme, "public", "bk", "bk_shadow.png"))
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


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--theme", default=os.path.join(here, "..", "resources", "themes",
                                                       "default"))
    parser.add_argument("--mock", metavar="PREFIX",
                        help="also write PREFIX-welcome.png, PREFIX-install.png and "
                             "PREFIX-support.png: mocks of the window built from the images")
    args = parser.parse_args()
    if not shutil.which("convert"):
        sys.exit("make_images: ImageMagick's convert is needed (scripts/bootstrap installs it)")
    theme = os.path.abspath(args.theme)
    with tempfile.TemporaryDirectory() as work:
        pt = Painter(work)
        make_header(pt, theme)
        make_logo(pt, theme)
        make_close_buttons(pt, theme)
        make_tutorial_icon(pt, theme)
        make_qq_icon(pt, theme)
        make_scrollbars(pt, theme)
        make_shadow(pt, theme)
    if args.mock:
        compose_mocks(theme, args.mock)


if __name__ == "__main__":
    main()
