"""The assistant on a desktop at 125, 150 and 200 % display scale.

The prefix's DPI is set the way a user sets it (HKCU\\Control Panel\\Desktop
LogPixels; the wineserver restarts to read it). At each scale the window must
come out at the scaled size, with its text and images drawn at that size
rather than a 100 % picture stretched, and "ok1" must start the download when
clicked where it now is. Under Wine a program that ignored the scale would
simply stay at 100 % (Wine does not stretch unaware windows), so the sizes
alone catch that; the sharpness check catches a window that draws at 100 %
and stretches the result.
"""

import os
import shutil
import subprocess
import unittest

import harness

DESKTOP = r"HKCU\Control Panel\Desktop"
SCALES = ((120, 125), (144, 150), (192, 200))
DOCS = os.path.join(harness.REPO, "docs")


def mul_div(value, numerator, denominator):
    """Windows' MulDiv for positive values: rounded to the nearest, halves up."""
    return (value * numerator * 2 + denominator) // (2 * denominator)


class DisplayScaleTest(harness.AssistantTestCase):
    folder_name = "display_scale"
    wine_folder_name = "wine_display_scale"  # its DPI setting stays here
    screen = (2048, 1536)  # a 200 % window with its shadow is 1656 x 1256

    def set_dpi(self, dpi):
        self.wine.reg_add(DESKTOP, "LogPixels", "REG_DWORD", str(dpi))
        self.wine.close()  # the next start reads the new DPI

    def show_at(self, dpi, percent):
        """Starts the assistant at dpi and answers (assistant, shot, outer
        window rectangle) once the window has faded in, with the assistant's
        origin at its content's top left."""
        self.set_dpi(dpi)
        assistant = self.start()
        window = self.display.find_window(harness.WINDOW_NAME, 90)
        self.assertIsNotNone(window, "no window at %d dpi" % dpi)
        x, y, width, height = harness.wait_for(lambda: self.display.geometry(window), 10)
        shadow = mul_div(harness.SHADOW, percent, 100)
        assistant.window = window
        assistant.origin = (x + shadow, y + shadow)
        s = lambda v: mul_div(v, percent, 100)

        def faded_in(shot):
            r, g, b = shot.pixel(s(10), s(100))
            return (shot.pixel(s(790), s(590)) == harness.WHITE and g > r + 30 and b > r)
        shot = assistant.wait_screen("shown_%d" % percent, faded_in, 30)
        return assistant, shot, (x, y, width, height)

    def fringe(self, shot_path, rect, origin, scale_to=None, background=None):
        """The share of the white drawing's pixels in rect (window
        coordinates) that are neither background nor white: its anti-aliased
        edge. Text or a shape drawn at a size has an edge about a pixel wide
        whatever the size; a stretched picture of a small one has a wide, soft
        edge. background(colour) tells the background (by default the
        button's green). With scale_to, the crop is first enlarged to that
        percent (a 100 % picture stretched, as a system does for programs that
        do not scale)."""
        background = background or (lambda c: harness.near(c, harness.PRIMARY, 24))
        left, top, width, height = rect
        args = ["convert", shot_path, "-crop", "%dx%d+%d+%d" % (
            width, height, left + origin[0], top + origin[1]), "+repage"]
        if scale_to:
            args += ["-resize", "%d%%" % scale_to]
        data = subprocess.run(args + ["-depth", "8", "rgb:-"], capture_output=True,
                              check=True, timeout=60).stdout
        ink = edge = 0
        for i in range(0, len(data), 3):
            c = tuple(data[i:i + 3])
            if background(c):
                continue
            if min(c) >= 235:
                ink += 1
            else:
                edge += 1
        self.assertGreater(ink, 0, "no text in %r" % (rect,))
        return edge / float(ink + edge)

    def test_window_text_images_and_clicks_follow_the_display_scale(self):
        # The 100 % picture the scaled ones are compared with.
        assistant, base, _ = self.show_at(96, 100)
        ok1 = harness.CONTROLS["ok1"]
        text_box = (ok1[0] + 90, ok1[1] + 8, ok1[2] - 180, ok1[3] - 16)  # "下一步"
        self.assertEqual(self.close_with_button(assistant), 0)

        for dpi, percent in SCALES:
            with self.subTest(dpi=dpi):
                s = lambda v: mul_div(v, percent, 100)
                assistant, shot, (x, y, width, height) = self.show_at(dpi, percent)
                shadow = s(harness.SHADOW)
                # The window: 800 x 600 and the shadow, both scaled.
                self.assertEqual((width, height),
                                 (s(harness.WIDTH) + 2 * shadow, s(harness.HEIGHT) + 2 * shadow))
                # The layout at its scaled places: the page below the header
                # and "ok1" where the scale puts them.
                self.assertNotEqual(shot.pixel(s(400), s(204)), harness.WHITE)
                self.assertEqual(shot.pixel(s(400), s(212)), harness.WHITE)
                r, g, b = shot.pixel(s(250), s(497))
                self.assertTrue(g > r + 40 and g > b, "ok1 is not at its scaled place")
                # Text drawn at the scaled size: its edge is a pixel wide, not
                # the 100 % text's edge stretched.
                box = tuple(s(v) for v in text_box)
                drawn = self.fringe(shot.path, box, assistant.origin)
                stretched = self.fringe(base.path, text_box, base.origin, percent)
                print("%d dpi: text edge share %.3f drawn, %.3f stretched" % (dpi, drawn, stretched))
                self.assertLess(drawn, stretched * 0.85)
                # The same for an image: the logo's white frond on its green
                # tile comes from the scaled art, not the 100 % art stretched.
                darker = lambda c: sum(c) < 480
                frond = (60, 250, 110, 120)
                drawn = self.fringe(shot.path, tuple(s(v) for v in frond), assistant.origin,
                                    background=darker)
                stretched = self.fringe(base.path, frond, base.origin, percent, darker)
                print("%d dpi: logo edge share %.3f drawn, %.3f stretched" % (dpi, drawn, stretched))
                self.assertLess(drawn, stretched * 0.85)
                # The "ok1" text is as much larger as the scale: its ink's
                # height follows the font size.
                base_ink = base.ink(text_box, harness.PRIMARY)
                ink = shot.ink(box, harness.PRIMARY)
                self.assertIsNotNone(ink)
                base_height = base_ink[3] - base_ink[1] + 1
                self.assertAlmostEqual(ink[3] - ink[1] + 1, base_height * percent / 100.0,
                                       delta=2)
                # For the README: the window with its shadow.
                picture = os.path.join(self.screens, "window_%d.png" % percent)
                subprocess.run(["convert", shot.path, "-crop", "%dx%d+%d+%d" % (
                    width, height, x, y), "+repage", picture], check=True, timeout=60)
                if os.environ.get("UPDATE_DOCS"):
                    shutil.copy(picture, os.path.join(DOCS, "scale_%d.png" % percent))
                # Clicked where it now is, "ok1" starts the download.
                assistant.click(s(ok1[0] + ok1[2] // 2), s(ok1[1] + ok1[3] // 2))
                self.assertTrue(harness.wait_for(
                    lambda: self.service.requests("/packages/fernwick-1.0.zip"), 60),
                    "no package request after ok1 at %d dpi" % dpi)
                assistant.kill()
                self.wine.clean_user_data()
                self.service.clear_log()
        self.set_dpi(96)


if __name__ == "__main__":
    unittest.main()
