#!/usr/bin/env python3
"""Regenerates the README's pictures of the assistant:

    docs/welcome.png   the welcome page
    docs/download.png  the download overlay, its bar part-filled
    docs/install.png   the install page
    docs/support.png   the customer-service overlay with the channel's QR code

by running the real, built assistant under Wine on a private Xvfb display
against the reference service in test mode (the package is served slowly, so
the bar can be caught on its way), clicking as a person would and cropping each
screenshot to the window. Uses the end-to-end harness (tests/e2e/harness.py).

    python3 tools/screens.py [--build DIR] [--out DIR]

--build is a configured and built build folder (default: build); --out the
folder the pictures go to (default: docs). The X server here composites
nothing, so the window's translucent shadow would come out black: each
picture is the 800 x 600 window content with a drawn soft shadow on a
transparent background instead.
"""

import argparse
import os
import subprocess
import sys
import urllib.parse

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
import harness  # noqa: E402

SHADOW = 16  # pixels of drawn shadow on each side


def programs(build):
    """The environment the harness takes its programs from."""
    paths = {
        "ASSISTANT_EXE": os.path.join(build, "app", "assistant.exe"),
        "BRAND_EXE": os.path.join(build, "tools", "brand.exe"),
        "THEME_ZIP": os.path.join(build, "resources", "theme.zip"),
        "WINE_RUN": os.path.join(REPO, "scripts", "wine-run"),
    }
    missing = [path for path in paths.values() if not os.path.exists(path)]
    if missing:
        sys.exit("screens: build the assistant first (missing %s)" % ", ".join(missing))
    return paths


def save(shot, path):
    """Writes the window content of shot to path with a drawn shadow."""
    left, top = shot.origin
    subprocess.run(
        ["convert", shot.path, "-crop", "%dx%d+%d+%d" % (harness.WIDTH, harness.HEIGHT, left, top),
         "+repage", "(", "+clone", "-background", "black", "-shadow", "35x%d+0+4" % (SHADOW // 2),
         ")", "+swap", "-background", "none", "-layers", "merge", "+repage", "-strip",
         "-define", "png:compression-level=9", path],
        check=True, timeout=120)
    print("screens: wrote %s" % os.path.relpath(path))


def part_filled(assistant):
    """A check: the download overlay is up and its bar between a quarter and
    three quarters full."""
    width = harness.CONTROLS["install_progress"][2]

    def check(shot):
        fill = assistant.progress_fill(shot) if assistant.overlay_shown(shot) else None
        return fill is not None and width // 4 <= fill <= width * 3 // 4
    return check


def qr_drawn(assistant):
    """A check: the support overlay is up with a QR symbol (roughly half of
    the modules dark) in its place."""
    left, top, width, height = harness.CONTROLS["support_qr"]

    def check(shot):
        if not assistant.overlay_shown(shot):
            return False
        dark = [sum(shot.pixel(left + x, top + y)) < 200
                for x in range(4, width, 8) for y in range(4, height, 8)]
        return 0.25 < sum(dark) / len(dark) < 0.75
    return check


def run(out, work):
    display = harness.Display()
    wine = service = assistant = None
    try:
        wine = harness.Wine(os.path.join(work, "wine"), display)
        service = harness.Service(os.path.join(work, "service")).start()
        exe = wine.brand_for(service, folder=os.path.join(work, "branded"))
        wine.clean_user_data()
        # A package of 256 KiB served in 1 KiB pieces 30 ms apart: the bar
        # takes about eight seconds to fill.
        download = urllib.parse.urlparse(service.installation()["download_url"]).path
        service.add_package(os.path.basename(download), 256 * 1024)
        service.queue_fault(download, slow=30)

        assistant = harness.Assistant(wine, exe, os.path.join(work, "raw"))
        assistant.wait_window()
        assistant.park_mouse()
        save(assistant.wait_screen("welcome", assistant.opaque), os.path.join(out, "welcome.png"))

        harness.wait_for(lambda: service.requests("/api/channel"), 30)
        assistant.click_control("ok1")
        assistant.park_mouse()
        save(assistant.wait_screen("download", part_filled(assistant), 60),
             os.path.join(out, "download.png"))

        if not harness.wait_for(wine.recorded_package, 120):
            raise AssertionError("the package did not arrive")
        save(assistant.wait_screen("install", lambda shot: assistant.is_install_page(
            shot) and not assistant.overlay_shown(shot)), os.path.join(out, "install.png"))

        assistant.click_control("p3_support")
        assistant.park_mouse()
        save(assistant.wait_screen("support", qr_drawn(assistant)),
             os.path.join(out, "support.png"))

        assistant.click_control("support_ok")
        assistant.click_control("btn_close")
        if assistant.wait_exit(60) != 0:
            raise AssertionError("the assistant did not end with exit code 0")
    finally:
        if assistant is not None:
            assistant.kill()
        if service is not None:
            service.stop()
        if wine is not None:
            wine.close()
        display.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build"))
    parser.add_argument("--out", default=os.path.join(REPO, "docs"))
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    os.environ.update(programs(build))
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    # Kept between runs: the Wine prefix takes a while to make.
    run(out, os.path.join(build, "screens"))


if __name__ == "__main__":
    main()
