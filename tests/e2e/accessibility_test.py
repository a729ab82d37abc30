"""The assistant for a person who cannot see the screen or use a mouse: what
a screen reader reads from it (through tests/e2e/accessibility_probe.cpp, a
program of its own beside the assistant, as a screen reader is), and a whole
installation with the keyboard alone. Each test starts from fresh user data
and a fresh service.
"""

import json
import os
import subprocess
import time
import unittest

import harness
from harness import CONTROLS, wait_for
from launch_test import sample_packages

PRODUCT_TITLE = "Fernwick"

with open(os.path.join(harness.REPO, "resources", "config.json"), encoding="utf-8") as f:
    CONFIG = json.load(f)


class Node:
    """One line of the probe's tree."""

    def __init__(self, line):
        depth, self.role, self.name, states, rect, self.value, self.description = \
            line.split("\t")
        self.depth = int(depth)
        self.states = set(filter(None, states.split(",")))
        self.rect = tuple(int(v) for v in rect.split(","))

    def __repr__(self):
        return "%d %s %r %s %s %r %r" % (self.depth, self.role, self.name, sorted(self.states),
                                         self.rect, self.value, self.description)


class AccessibilityTest(harness.AssistantTestCase):
    folder_name = "accessibility"
    start_service = False

    # -- helpers --------------------------------------------------------------
    def probe(self, *args):
        """(exit code, output lines) of the accessibility probe."""
        result = subprocess.run(
            [self.wine.wine_run, "--prefix", self.wine.prefix,
             os.environ["ACCESSIBILITY_PROBE"]] + [str(a) for a in args],
            env=self.wine.env, capture_output=True, timeout=60)
        return result.returncode, result.stdout.decode("utf-8").splitlines()

    def tree(self):
        code, lines = self.probe("tree")
        self.assertEqual(code, 0, lines)
        nodes = [Node(line) for line in lines]
        self.last_tree = nodes
        return nodes

    def find(self, nodes, name, role=None):
        for node in nodes:
            if node.name == name and (role is None or node.role == role):
                return node
        return None

    def wait_node(self, predicate, timeout=30):
        """The first node of a fresh tree that predicate accepts, once there
        is one."""
        def once():
            return next((node for node in self.tree() if predicate(node)), None)
        node = wait_for(once, timeout, step=0.3)
        self.assertIsNotNone(node, "not in the tree:\n%s" % "\n".join(
            map(repr, getattr(self, "last_tree", []))))
        return node

    def screen_rect(self, assistant, control):
        left, top, width, height = CONTROLS[control]
        return (assistant.origin[0] + left, assistant.origin[1] + top, width, height)

    def serve_slow_package(self):
        name = "fernwick-2.0.zip"
        # 128 pieces of 1 KiB, 50 ms apart: over six seconds of download.
        self.service.add_package(name, 128 * 1024)
        self.service.edit_catalogue(lambda product: product.update(package=name))
        self.service.queue_fault("/packages/" + name, times=10, slow=50)

    def press(self, assistant, key):
        """A key to the assistant's window; the keyboard focus goes there
        without any pointer event (there is no window manager)."""
        self.display.xdotool("windowfocus", "--sync", assistant.window)
        self.display.xdotool("key", key)

    def tab_to(self, assistant, name, limit=12):
        """Presses Tab until the object named name has the focus; answers
        how many presses it took."""
        for presses in range(1, limit + 1):
            self.press(assistant, "Tab")
            focused = wait_for(lambda: next(
                (node for node in self.tree() if "focused" in node.states), None), 5, step=0.2)
            if focused is not None and focused.name == name:
                return presses
        self.fail("Tab never reached %s:\n%s" % (name, "\n".join(map(repr, self.last_tree))))

    # -- a screen reader's view -----------------------------------------------
    def test_1_screen_reader_reads_the_pages_and_starts_the_download(self):
        self.service.start()
        self.serve_slow_package()
        channel = self.service.channel()
        assistant, _ = self.start_and_show()
        nodes = self.tree()
        print("\nwelcome page:\n" + "\n".join(map(repr, nodes)))
        client = nodes[0]
        self.assertEqual((client.depth, client.role), (0, "client"))
        # The client area holds the shadow around the content.
        shadow = harness.SHADOW
        self.assertEqual(client.rect, (assistant.origin[0] - shadow, assistant.origin[1] - shadow,
                                       harness.WIDTH + 2 * shadow, harness.HEIGHT + 2 * shadow))
        # The welcome page's texts, each by name.
        product = CONFIG["name"]
        for text in (product + " 官方正版", CONFIG["intro"], product + " 官方中文版"):
            node = self.find(nodes, text, "static text")
            self.assertIsNotNone(node, text)
            self.assertIn("readonly", node.states)
        location = next(n for n in nodes if n.role == "editable text")
        self.assertTrue(location.name.lower().endswith("\\" + CONFIG["product"].lower()),
                        location)
        self.assertEqual(location.value, location.name)
        self.assertIn("readonly", location.states)
        # "ok1", the close button and the logo: named, where they are drawn.
        ok1 = self.find(nodes, "下一步", "push button")
        self.assertIsNotNone(ok1)
        self.assertIn("focusable", ok1.states)
        self.assertNotIn("unavailable", ok1.states)
        self.assertEqual(ok1.rect, self.screen_rect(assistant, "ok1"))
        close = self.find(nodes, "关闭", "push button")
        self.assertIsNotNone(close)
        self.assertEqual(close.rect, self.screen_rect(assistant, "btn_close"))
        logo = self.find(nodes, "产品标志", "graphic")
        self.assertEqual(logo.rect, self.screen_rect(assistant, "logo"))
        # Nothing of the hidden install page or the closed overlays.
        self.assertIsNone(self.find(nodes, "立即安装"))
        self.assertFalse([n for n in nodes if n.role == "dialog"])
        self.assertFalse([n for n in nodes[1:] if n.depth != 1], nodes)
        # What lies under a point.
        x, y = harness.centre("ok1")
        code, lines = self.probe("hit", assistant.origin[0] + x, assistant.origin[1] + y)
        self.assertEqual((code, lines), (0, ["push button\t下一步"]))

        # The default action of "下一步" starts the download: its overlay
        # is a dialog whose progress bar's value rises.
        code, lines = self.probe("do", "下一步")
        self.assertEqual(code, 0, lines)
        values = []
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and len(set(values)) < 2:
            bar = next((n for n in self.tree() if n.role == "progress bar"), None)
            if bar is not None and bar.value.endswith("%") and bar.value != "50%":
                if not values or values[-1] != int(bar.value[:-1]):
                    values.append(int(bar.value[:-1]))
            time.sleep(0.3)
        self.assertGreaterEqual(len(values), 2, "%r in:\n%s" % (
            values, "\n".join(map(repr, self.last_tree))))
        self.assertLess(values[0], values[-1], values)
        dialog = self.find(self.last_tree, "正在准备安装", "dialog")
        self.assertIsNotNone(dialog, self.last_tree)
        bar = next(n for n in self.last_tree if n.role == "progress bar")
        self.assertEqual(bar.depth, 2)
        self.assertEqual(bar.name, "下载进度")

        # The install page: the launch card is a named button.
        launch = self.wait_node(lambda n: n.name == "立即安装" and n.depth == 1, 60)
        nodes = self.last_tree
        print("\ninstall page:\n" + "\n".join(map(repr, nodes)))
        self.assertEqual(launch.role, "push button")
        self.assertIn("focusable", launch.states)
        self.assertIn("点击启动 %s 安装程序" % product, launch.description)
        self.assertEqual(launch.rect, self.screen_rect(assistant, "p3_install_launch"))
        self.assertIsNotNone(self.find(nodes, "安装教程", "push button"))
        self.assertIsNone(self.find(nodes, "下一步"))

        # The customer-service overlay: its QR code carries its text.
        code, lines = self.probe("do", "联系客服")
        self.assertEqual(code, 0, lines)
        qr = self.wait_node(lambda n: n.role == "graphic" and n.name == "客服二维码", 10)
        self.assertEqual(qr.description, channel["custom_service"])
        self.assertEqual(qr.depth, 2)
        self.assertEqual(qr.rect, self.screen_rect(assistant, "support_qr"))
        print("\nsupport overlay:\n" + "\n".join(map(repr, self.last_tree)))
        # The overlay took the focus with it.
        focused = [n for n in self.last_tree if "focused" in n.states]
        self.assertEqual(len(focused), 1, self.last_tree)
        self.assertEqual(focused[0].depth, 2)
        self.assertEqual(self.probe("do", "好的")[0], 0)
        self.assertTrue(wait_for(lambda: not [n for n in self.tree() if n.role == "dialog"], 10),
                        self.last_tree)
        self.assertEqual(self.close_with_button(assistant), 0)

    # -- the keyboard alone ---------------------------------------------------
    def test_2_keyboard_alone_from_start_to_the_launched_product(self):
        # The sample zip package, whose product shows a window of its own.
        self.service.start(args=["--packages", sample_packages()])
        assistant, _ = self.start_and_show()
        self.tab_to(assistant, "下一步")
        # The focus ring: drawn around "ok1", outside its face.
        shot = assistant.wait_screen("focus_ring", lambda shot: ring_around(shot, "ok1"), 10)
        self.assertTrue(ring_around(shot, "ok1"), shot.path)
        self.press(assistant, "Return")
        self.assertTrue(wait_for(self.wine.recorded_package, 60), self.wine.installer_config())
        self.wait_node(lambda n: n.name == "立即安装", 60)
        assistant.wait_screen("install_page", lambda shot: assistant.is_install_page(shot)
                              and not assistant.overlay_shown(shot), 30)
        # The customer-service overlay opens with Return and closes with
        # Escape; while open, Tab stays inside it.
        self.tab_to(assistant, "联系客服")
        self.press(assistant, "Return")
        self.wait_node(lambda n: n.role == "dialog" and n.name == "联系客服", 10)
        names = set()
        for _ in range(6):
            self.press(assistant, "Tab")
            focused = self.wait_node(lambda n: "focused" in n.states, 5)
            self.assertEqual(focused.depth, 2, self.last_tree)
            names.add(focused.name)
        self.assertEqual(names, {"关闭", "复制 QQ 号码", "好的"})
        self.press(assistant, "Escape")
        self.assertTrue(wait_for(lambda: not [n for n in self.tree() if n.role == "dialog"], 10),
                        self.last_tree)
        self.tab_to(assistant, "立即安装")
        self.press(assistant, "Return")
        window = self.display.find_window(PRODUCT_TITLE, 60)
        self.assertIsNotNone(window, "no window named %s" % PRODUCT_TITLE)
        assistant.screenshot("launched")
        # Alt+F4 closes the product's window, then the assistant's.
        self.display.xdotool("windowfocus", "--sync", window)
        self.display.xdotool("key", "alt+F4")
        self.assertTrue(wait_for(lambda: self.display.find_window(PRODUCT_TITLE, 0) is None, 30),
                        "the Fernwick window did not close")
        self.assertIsNone(assistant.process.poll())
        self.press(assistant, "alt+F4")
        self.assertEqual(assistant.wait_exit(60), 0)


def ring_around(shot, control):
    """Whether the focus ring's blue runs along the top and the bottom just
    outside control."""
    left, top, width, height = CONTROLS[control]
    middle = left + width // 2
    def blue(x, y):
        r, g, b = shot.pixel(x, y)
        return b > 180 and r < 120 and b > g + 40
    above = any(blue(middle, y) for y in range(top - 5, top))
    below = any(blue(middle, y) for y in range(top + height, top + height + 5))
    return above and below


if __name__ == "__main__":
    unittest.main()
