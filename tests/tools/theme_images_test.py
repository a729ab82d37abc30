"""The default theme's images at every display scale (tools/make_images.py).

On a 150 % or 200 % display the assistant loads `name@1.5x.png` or
`name@2x.png` beside each `name.png` and multiplies the lengths the skin gives
for the image (nine-grid corners, source rectangles) by the factor; a missing
variant falls back to a blurry resampled copy, and one of another size puts
those lengths in the wrong place.
"""

import os
import shutil
import subprocess
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
THEME = os.path.join(ROOT, "resources", "themes", "default")
FACTORS = {"@1.5x": 1.5, "@2x": 2}


def png_header(path):
    """(width, height, bit depth, colour type) of a PNG file."""
    with open(path, "rb") as f:
        head = f.read(26)
    if len(head) < 26 or head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        raise AssertionError(f"{path} is not a PNG")
    return (int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big"), head[24],
            head[25])


def theme_pngs():
    """Every PNG of the theme by its path relative to the theme folder."""
    found = []
    for dirpath, _, filenames in os.walk(THEME):
        for name in filenames:
            if name.lower().endswith(".png"):
                rel = os.path.relpath(os.path.join(dirpath, name), THEME)
                found.append(rel.replace(os.sep, "/"))
    return sorted(found)


def split_variant(rel):
    """("images/logo", "@2x") for images/logo@2x.png, ("images/logo", "") for the 100 % file."""
    stem = rel[:-len(".png")]
    for suffix in FACTORS:
        if stem.endswith(suffix):
            return stem[:-len(suffix)], suffix
    return stem, ""


def scaled(n, factor):
    return int(n * factor + 0.5)  # halves round up, as the script draws them


class ThemeImagesTest(unittest.TestCase):
    def setUp(self):
        self.pngs = theme_pngs()
        self.bases = [rel for rel in self.pngs if split_variant(rel)[1] == ""]

    def test_every_image_has_both_variants_at_exactly_the_scaled_size(self):
        self.assertGreaterEqual(len(self.bases), 15)
        for rel in self.bases:
            w, h, depth, colour = png_header(os.path.join(THEME, rel))
            for suffix, factor in FACTORS.items():
                variant = rel[:-len(".png")] + suffix + ".png"
                with self.subTest(variant=variant):
                    self.assertTrue(variant in self.pngs, "missing")
                    vw, vh, vdepth, vcolour = png_header(os.path.join(THEME, variant))
                    self.assertEqual((vw, vh), (scaled(w, factor), scaled(h, factor)))
                    # The program blends an image or not by its decoded pixel
                    # format, so a variant must not change it.
                    self.assertEqual((vdepth, vcolour), (depth, colour))

    def test_no_variant_without_its_100_percent_image(self):
        for rel in self.pngs:
            stem, suffix = split_variant(rel)
            if suffix:
                with self.subTest(variant=rel):
                    self.assertTrue(stem + ".png" in self.bases, "no 100 % image")

    @unittest.skipUnless(shutil.which("convert") and shutil.which("compare"), "needs ImageMagick")
    def test_variants_show_the_same_picture(self):
        # Reduced to 100 %, a variant differs from the 100 % image only by
        # anti-aliasing (RMSE up to about 0.03 for the header's text); a shape
        # left at 100 % coordinates or shifted by a pixel comes out above 0.05.
        for rel in self.bases:
            base = os.path.join(THEME, rel)
            w, h = png_header(base)[:2]
            for suffix in FACTORS:
                variant = base[:-len(".png")] + suffix + ".png"
                if not os.path.exists(variant):
                    continue  # reported by the test above
                with self.subTest(variant=rel[:-len(".png")] + suffix):
                    reduced = subprocess.run(
                        ["convert", variant, "-resize", f"{w}x{h}!", "PNG32:-"], check=True,
                        capture_output=True).stdout
                    compared = subprocess.run(
                        ["compare", "-metric", "RMSE", f"PNG32:{base}", "PNG32:-", "null:"],
                        input=reduced, capture_output=True)
                    # "1234.5 (0.0188)": the normalised value is in brackets.
                    report = compared.stderr.decode()
                    self.assertIn("(", report, report)
                    rmse = float(report.split("(", 1)[1].split(")", 1)[0])
                    self.assertLess(rmse, 0.045)


if __name__ == "__main__":
    unittest.main()
