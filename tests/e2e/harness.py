"""Runs the real assistant as a person meets it: the branded executable under
Wine on a private Xvfb display, against the reference service (service/) on
loopback, driven only from outside with xdotool and watched through
screenshots (ImageMagick's import), files on disk and the service's answers.

Pieces:
  Display     a private Xvfb server, xdotool and screenshots on it
  Screenshot  one screenshot, with pixels in window content coordinates
  Service     the reference service in test mode on a fixed loopback port,
              restartable with a fresh data folder (database included)
  Wine        one Wine prefix with its user folders, the branding tool and
              the window probe (tests/e2e/window_probe.cpp)
  Assistant   one start of an assistant executable: its window, clicks at
              the skin's control places, its exit code
  Session     what a class of tests shares: display, prefix, service and
              a copy of the assistant branded for the service
  AssistantTestCase  a unittest base class that wires these together: one
              display, prefix and branded copy per class, fresh user data and
              a fresh service per test

Programs come from the environment, as ctest passes them: ASSISTANT_EXE,
BRAND_EXE, THEME_ZIP, WINE_RUN, E2E_DIR (scratch folder: prefix, service data,
screens), and WINDOW_PROBE (optional: message box texts, the window list).
Every wait polls for what should appear, with a bounded timeout.
"""

import hashlib
import json
import os
import re
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request
import zipfile

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCREEN = (1280, 1024)
SHADOW = 14  # the skin's shadow around the window content
WIDTH, HEIGHT = 800, 600
WINDOW_NAME = "Basic"
ERROR_CAPTION = "错误"
SHORTCUT = "Fernwick 安装助手.lnk"
PRODUCT = "fernwick"
CHANNEL = "02"
# Stands for any value of a fact in AssistantTestCase.assert_events.
ANY = object()

# Places of the skin's controls (resources/themes/default/basic/basic.xml) in
# window content coordinates: left, top, width, height. Labels are 17 pixels
# high in the skin's 12 to 14 pixel fonts.
CONTROLS = {
    "btn_close": (764, 12, 24, 24),
    "header": (0, 0, 800, 208),
    # Welcome page.
    "logo": (30, 228, 160, 160),
    "p1_lb_name": (0, 388, 220, 30),
    "p1_lb_intro": (236, 247, 540, 80),
    "p1_lb_fullname_box": (236, 350, 400, 30),
    "p1_et_location_box": (236, 413, 400, 30),
    "p1_et_location": (242, 419, 322, 18),
    "ok1": (236, 473, 300, 48),
    # Install page.
    "p3_support": (519, 285, 90, 27),
    "p3_install_tutorial": (72, 368, 280, 78),
    "p3_install_launch": (368, 368, 360, 170),
    "p3_dir": (340, 558, 120, 20),
    # Download overlay: the panel, its close button and the bar.
    "install_panel": (150, 200, 500, 200),
    "install_close": (614, 212, 24, 24),
    "install_progress": (200, 335, 400, 20),
    # Support overlay.
    "support_panel": (220, 96, 360, 408),
    "support_close": (544, 108, 24, 24),
    "support_qr": (320, 201, 168, 168),
    "support_qq_link": (430, 385, 80, 18),
    "support_ok": (280, 423, 240, 60),
}

# Skin colours (resources/themes/default/global.xml).
WHITE = (255, 255, 255)
PRIMARY = (0x14, 0xA3, 0x7A)  # "btn_primary" face
PROGRESS = (0x1F, 0xB5, 0x7F)  # "green": the bar's fill
PROGRESS_BACK = (0xE3, 0xE7, 0xEC)  # "light_gray": the bar's track


# A line of the assistant's support log: time, thread, event, fields.
LOG_LINE = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z tid=\d+ (\w+)(?: [^\r\n]*)?$")


def centre(name):
    left, top, width, height = CONTROLS[name]
    return left + width // 2, top + height // 2


def wait_for(predicate, timeout, step=0.2):
    """The first truthy value of predicate() within timeout seconds, else
    the last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


def near(colour, expected, tolerance=12):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


def stop_process(process, timeout=20):
    """Terminates a child process, killing it when it does not end in time."""
    process.terminate()
    try:
        process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(timeout)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def sha256_of(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def read_image(path):
    """(width, height, RGB bytes) of an image flattened on white."""
    ppm = subprocess.run(["convert", path, "-background", "white", "-flatten", "-depth", "8",
                          "ppm:-"], capture_output=True, check=True, timeout=60).stdout
    magic, width, height, depth, rgb = re.match(rb"(P6)\s+(\d+)\s+(\d+)\s+(\d+)\s(.*)", ppm,
                                                re.S).groups()
    return int(width), int(height), rgb


def make_package(path, size):
    """A zip package of about size bytes that does not compress, so that its
    download takes as many pieces as its size says."""
    data = b"".join(hashlib.sha256(b"%d" % i).digest() for i in range(size // 32 + 1))[:size]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        z.writestr("Fernwick/data.bin", data)
        z.writestr("Fernwick/fernwick.cmd", "@echo Fernwick is installed.\r\n")
    return path


class Display:
    """A private Xvfb server, with xdotool and screenshots on it."""

    def __init__(self, screen=SCREEN):
        self.screen = screen
        read, write = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "%dx%dx24" % screen,
             "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        if not number.strip():
            self.process.kill()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.name)

    def close(self):
        stop_process(self.process, 10)

    def xdotool(self, *args):
        result = subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env,
                                capture_output=True, text=True, timeout=30)
        return result.stdout

    def find_window(self, name, timeout=60):
        """The id of a visible X window whose name is name, or None."""
        def visible():
            ids = self.xdotool("search", "--onlyvisible", "--name", "^%s$" % re.escape(name))
            ids = ids.split()
            return ids[0] if ids else None
        return wait_for(visible, timeout)

    def press_in(self, window, key):
        """Presses key in window (a message box, say). There is no window
        manager to activate it: the pointer goes inside it and it gets the
        keyboard focus directly."""
        self.xdotool("mousemove", "--window", window, 20, 20)
        self.xdotool("windowfocus", "--sync", window)
        self.xdotool("key", key)

    def geometry(self, window):
        values = {}
        for line in self.xdotool("getwindowgeometry", "--shell", window).splitlines():
            key, _, value = line.partition("=")
            values[key] = int(value) if value.lstrip("-").isdigit() else value
        try:
            return values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]
        except KeyError:
            return None

    def screenshot(self, path, origin=(0, 0)):
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True,
                       timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return Screenshot(path, origin, self.screen[0])

    def clipboard(self):
        """The X clipboard's text (Wine hands its clipboard to X), or None."""
        try:
            result = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env,
                                    capture_output=True, timeout=10)
        except subprocess.TimeoutExpired:
            return None
        return result.stdout.decode("utf-8", "replace") if result.returncode == 0 else None


class Screenshot:
    """A screenshot of the whole screen; coordinates are relative to origin
    (the top left of the window content)."""

    def __init__(self, path, origin=(0, 0), screen_width=SCREEN[0]):
        self.path = path
        self.origin = origin
        self.screen_width = screen_width
        self._rgb = None

    def _pixels(self):
        if self._rgb is None:
            self._rgb = subprocess.run(["convert", self.path, "-depth", "8", "rgb:-"],
                                       capture_output=True, check=True, timeout=60).stdout
        return self._rgb

    def pixel(self, x, y):
        x += self.origin[0]
        y += self.origin[1]
        at = (y * self.screen_width + x) * 3
        return tuple(self._pixels()[at:at + 3])

    def pixels(self, rect, step=1):
        """(x, y, colour) over a rectangle (left, top, width, height)."""
        left, top, width, height = rect
        for y in range(top, top + height, step):
            for x in range(left, left + width, step):
                yield x, y, self.pixel(x, y)

    def ink(self, rect, background, tolerance=60, step=1):
        """The bounding box (left, top, right, bottom) of the pixels that
        differ from background by more than tolerance in sum, or None."""
        found = [(x, y) for x, y, c in self.pixels(rect, step)
                 if sum(abs(a - b) for a, b in zip(c, background)) > tolerance]
        if not found:
            return None
        xs = [x for x, _ in found]
        ys = [y for _, y in found]
        return min(xs), min(ys), max(xs), max(ys)

    def ink_rows(self, rect, background, tolerance=60):
        """The bands of consecutive rows that hold ink: [(top, bottom), ...]."""
        left, top, width, height = rect
        bands = []
        for y in range(top, top + height):
            inked = any(sum(abs(a - b) for a, b in zip(self.pixel(x, y), background)) > tolerance
                        for x in range(left, left + width))
            if inked and bands and bands[-1][1] == y - 1:
                bands[-1][1] = y
            elif inked:
                bands.append([y, y])
        return [tuple(b) for b in bands]

    def matches_image(self, left, top, image, tolerance=8):
        """The share of the pixels of image (a PNG, flattened on white) that
        the screenshot shows at (left, top) within tolerance per channel."""
        width, height, rgb = read_image(image)
        same = 0
        for y in range(height):
            for x in range(width):
                at = (y * width + x) * 3
                if near(self.pixel(left + x, top + y), rgb[at:at + 3], tolerance):
                    same += 1
        return same / float(width * height)

    def count(self, rect, colour, tolerance=12, step=1):
        return sum(1 for _, _, c in self.pixels(rect, step) if near(c, colour, tolerance))

    def crop(self, rect, path, border=0, scale=1):
        """Writes rect (window coordinates) to path, with a white border of
        border pixels around it and scaled by an integer factor."""
        left, top, width, height = rect
        args = ["convert", self.path, "-crop", "%dx%d+%d+%d" % (
            width, height, left + self.origin[0], top + self.origin[1]), "+repage"]
        if border:
            args += ["-bordercolor", "white", "-border", str(border)]
        if scale != 1:
            args += ["-filter", "point", "-resize", "%d%%" % (scale * 100)]
        subprocess.run(args + [path], check=True, timeout=60)
        return path


class Service:
    """The reference service in test mode on one loopback port, which stays
    the same across restarts so one branded copy of the assistant serves
    every test. Each start gets a fresh data folder: catalogue, packages and
    event database."""

    def __init__(self, folder, port=None):
        self.folder = folder
        self.port = port or free_port()
        self.address = "http://127.0.0.1:%d" % self.port
        self.data = os.path.join(folder, "data")
        self.log_path = os.path.join(folder, "service.log")
        self.process = None
        self._log = None

    def start(self, fresh=True, timeout=30, args=()):
        """Starts the service (with extra command-line args, such as
        --packages DIR); fresh: on a new data folder."""
        if fresh:
            shutil.rmtree(self.data, ignore_errors=True)
        os.makedirs(self.folder, exist_ok=True)
        port_file = os.path.join(self.folder, "service.port")
        if os.path.exists(port_file):
            os.remove(port_file)
        self._log = open(self.log_path, "ab")
        self.process = subprocess.Popen(
            [sys.executable, "-B", "-m", "service", "--test-mode", "--host", "127.0.0.1",
             "--port", str(self.port), "--port-file", port_file, "--data", self.data,
             "--verbose"] + list(args),
            cwd=REPO, stdout=subprocess.DEVNULL, stderr=self._log)
        if not wait_for(lambda: os.path.exists(port_file) or self.process.poll() is not None,
                        timeout) or self.process.poll() is not None:
            raise RuntimeError("the reference service did not start on port %d" % self.port)
        return self

    def stop(self):
        if self.process is not None:
            stop_process(self.process)
            self.process = None
        if self._log is not None:
            self._log.close()
            self._log = None

    @property
    def running(self):
        return self.process is not None and self.process.poll() is None

    def request(self, path, method="GET", body=None):
        """(status, decoded JSON or raw bytes)."""
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.address + path, method=method, data=data,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=20) as reply:
                status, raw = reply.status, reply.read()
        except urllib.error.HTTPError as e:
            status, raw = e.code, e.read()
        try:
            return status, json.loads(raw.decode("utf-8"))
        except ValueError:
            return status, raw

    def queue_fault(self, path, times=1, **faults):
        """Faults (delay=MS, slow=MS, drop=N, status=N, ...) for the next
        times requests to path (None: all of them)."""
        status, _ = self.request("/admin/faults", "POST",
                                 {"path": path, "faults": faults, "times": times})
        assert status == 200, status

    def channel(self):
        return self.request("/api/channel?channel=02&product=%s" % PRODUCT)[1]

    def installation(self):
        return self.request("/api/installation?channel=02&product=%s" % PRODUCT)[1]

    def events(self):
        """Event name to count, from /api/stats."""
        return self.request("/api/stats")[1]["events"]

    def event_count(self, name):
        return self.events().get(name, 0)

    def stored_events(self):
        """(name, data, product, channel) of each event the service stored,
        in the order they came (its database)."""
        path = os.path.join(self.data, "events.sqlite")
        if not os.path.exists(path):
            return []
        db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
        try:
            rows = db.execute("SELECT name, data, product, channel FROM events ORDER BY id")
            return [(name, json.loads(data) if data else None, product, channel)
                    for name, data, product, channel in rows.fetchall()]
        finally:
            db.close()

    def issued_bdvids(self):
        """The attribution ids the service handed out (its database)."""
        path = os.path.join(self.data, "events.sqlite")
        if not os.path.exists(path):
            return []
        db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
        try:
            return [row[0] for row in db.execute("SELECT bdvid FROM bdvids ORDER BY issued_at")]
        finally:
            db.close()

    def requests(self, path=None):
        """(method, path, status) of the requests served since the log began,
        optionally only those whose path (without query) is path."""
        try:
            with open(self.log_path, encoding="utf-8", errors="replace") as f:
                text = f.read()
        except OSError:
            return []
        found = []
        for method, target, status in re.findall(r'"([A-Z]+) (\S+) HTTP/[\d.]+" (\d{3})', text):
            if path is None or target.split("?", 1)[0] == path:
                found.append((method, target, int(status)))
        return found

    def clear_log(self):
        os.makedirs(self.folder, exist_ok=True)
        open(self.log_path, "w").close()

    # -- catalogue and packages ---------------------------------------------
    def package_path(self, name):
        return os.path.join(self.data, "packages", name)

    def add_package(self, name, size):
        os.makedirs(os.path.dirname(self.package_path(name)), exist_ok=True)
        return make_package(self.package_path(name), size)

    def edit_catalogue(self, change):
        """change(product entry) edits the Fernwick entry in place; the
        service re-reads the catalogue when the file changes."""
        path = os.path.join(self.data, "catalogue.json")
        with open(path, encoding="utf-8") as f:
            catalogue = json.load(f)
        change(catalogue["products"][PRODUCT])
        before = os.stat(path).st_mtime_ns
        tmp = path + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            json.dump(catalogue, f, ensure_ascii=False)
        os.replace(tmp, path)
        if os.stat(path).st_mtime_ns == before:  # a coarse clock: make the change visible
            os.utime(path, ns=(before + 1_000_000, before + 1_000_000))


class Wine:
    """One Wine prefix for a run of tests: its user folders, branding copies
    of the assistant, and the window probe."""

    def __init__(self, folder, display):
        self.folder = folder
        self.display = display
        self.env = display.env
        self.wine_run = os.environ["WINE_RUN"]
        self.prefix = os.path.join(folder, "wineprefix")
        os.makedirs(folder, exist_ok=True)
        # Make the prefix (once; later runs find it ready).
        subprocess.run([self.wine_run, "--prefix", self.prefix, "cmd.exe", "/c", "exit"],
                       env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=300)
        users = os.path.join(self.prefix, "drive_c", "users")
        user = os.path.join(users, os.environ.get("USER", "root"))
        if not os.path.isdir(user):
            user = next(os.path.join(users, name) for name in sorted(os.listdir(users))
                        if name != "Public")
        self.user = user
        # A desktop folder of its own (Wine links it to the Unix home).
        self.desktop = os.path.join(user, "Desktop")
        if os.path.islink(self.desktop):
            os.unlink(self.desktop)
        os.makedirs(self.desktop, exist_ok=True)
        self.local_appdata = os.path.join(user, "AppData", "Local")
        self.downloader = os.path.join(self.local_appdata, PRODUCT + "_downloader")
        self.product_dir = os.path.join(self.local_appdata, PRODUCT)
        self.installer_folder = os.path.join(self.downloader, "installer")
        self.config_path = os.path.join(self.downloader, "config.json")

    def reg(self, *args, attempts=1):
        """Runs Wine's reg.exe in the prefix with args, at most attempts times
        until it succeeds, a second apart; the last completed process, output
        captured."""
        for attempt in range(attempts):
            if attempt > 0:
                time.sleep(1)
            done = subprocess.run([self.wine_run, "--prefix", self.prefix, "reg"] + list(args),
                                  env=self.env, capture_output=True, timeout=120)
            if done.returncode == 0:
                break
        return done

    def reg_add(self, key, name, kind, data):
        """Sets one registry value, or raises with what reg.exe printed. A CI
        run once saw reg.exe end with exit code 1 while setting up a test;
        a set value is set again, so a failure is tried twice more."""
        done = self.reg("add", key, "/v", name, "/t", kind, "/d", data, "/f", attempts=3)
        if done.returncode != 0:
            raise RuntimeError("reg add %s /v %s failed (exit code %d): %s %s" % (
                key, name, done.returncode, done.stdout.decode("utf-8", "replace").strip(),
                done.stderr.decode("utf-8", "replace").strip()))

    def close(self):
        subprocess.run(["wineserver", "-k"], env=dict(self.env, WINEPREFIX=self.prefix),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def windows_path(self, path):
        """How a program in the prefix names a Unix path."""
        return "Z:" + os.path.abspath(path).replace("/", "\\")

    def clean_user_data(self):
        """What the assistant leaves for a user: shortcuts, its work folder
        and the unpacked product."""
        for name in os.listdir(self.desktop):
            path = os.path.join(self.desktop, name)
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            else:
                os.remove(path)
        shutil.rmtree(self.downloader, ignore_errors=True)
        shutil.rmtree(self.product_dir, ignore_errors=True)

    def installer_config(self):
        """The assistant's config.json as a dict, or None."""
        try:
            with open(self.config_path, encoding="utf-8") as f:
                value = json.load(f)
        except (OSError, ValueError):
            return None
        return value if isinstance(value, dict) else None

    def write_installer_config(self, values):
        os.makedirs(self.downloader, exist_ok=True)
        with open(self.config_path, "w", encoding="utf-8") as f:
            json.dump(values, f, ensure_ascii=False)

    def recorded_package(self):
        """The Unix path of the package config.json records, once it exists."""
        config = self.installer_config() or {}
        installer = config.get("installer")
        if not isinstance(installer, str) or not installer:
            return None
        path = os.path.join(self.downloader, installer.replace("\\", os.sep))
        return path if os.path.isfile(path) else None

    def brand(self, name, change_config, folder=None, leave_out=()):
        """A copy of the built assistant named name whose archive carries the
        configuration change_config makes of the built one (a dict, or bytes
        for a configuration that is not JSON), without the archive's files
        named in leave_out."""
        work = folder or tempfile.mkdtemp(prefix="brand-", dir=self.folder)
        os.makedirs(work, exist_ok=True)
        archive = os.path.join(work, "theme.zip")
        with zipfile.ZipFile(os.environ["THEME_ZIP"]) as source, \
                zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as target:
            for item in source.infolist():
                if item.filename in leave_out:
                    continue
                data = source.read(item)
                if item.filename == "resources/config.json":
                    changed = change_config(json.loads(data.decode("utf-8")))
                    data = changed if isinstance(changed, bytes) else json.dumps(
                        changed, ensure_ascii=False).encode("utf-8")
                target.writestr(item.filename, data)
        branded = os.path.join(work, name)
        subprocess.run([self.wine_run, "--prefix", self.prefix, os.environ["BRAND_EXE"],
                        os.environ["ASSISTANT_EXE"], archive, branded],
                       env=self.env, check=True, stdout=subprocess.DEVNULL, timeout=120)
        return branded

    def brand_for(self, service, name="assistant.exe", folder=None):
        """A copy that talks to service (service and statistics host)."""
        return self.brand(name, lambda config: dict(
            config, service_url=service.address, stats_url=service.address), folder)

    def probe(self, *args):
        """(exit code, output lines) of the window probe, or None without one."""
        probe = os.environ.get("WINDOW_PROBE")
        if not probe:
            return None
        result = subprocess.run([self.wine_run, "--prefix", self.prefix, probe] + list(args),
                                env=self.env, capture_output=True, timeout=60)
        return result.returncode, result.stdout.decode("utf-8", "replace").splitlines()

    def windows(self):
        """(class, title, (left, top, right, bottom)) of each visible
        top-level Windows window."""
        code, lines = self.probe("windows")
        found = []
        for line in lines:
            parts = line.split("\t")
            if len(parts) == 3:
                found.append((parts[0], parts[1], tuple(int(v) for v in parts[2].split(","))))
        return found

    def foreground_title(self):
        """The title of the Windows foreground window, or None."""
        code, lines = self.probe("foreground")
        parts = lines[0].split("\t") if code == 0 and lines else []
        return parts[1] if len(parts) == 2 else None

    def window_texts(self, title):
        """The texts inside the visible window titled title (a message box:
        its message and button), or None when there is none."""
        code, lines = self.probe("texts", title)
        return lines if code == 0 else None


class Assistant:
    """One start of an assistant executable under Wine."""

    def __init__(self, wine, exe, screens, cwd=None, env=None):
        self.wine = wine
        self.display = wine.display
        self.exe = exe
        self.screens = screens
        self.origin = None
        self.window = None
        os.makedirs(screens, exist_ok=True)
        # The pointer starts off the window: left where an earlier window had
        # its close button, it would make the new one's hot.
        self.display.xdotool("mousemove", 0, 0)
        self.process = subprocess.Popen(
            [wine.wine_run, "--prefix", wine.prefix, exe], env=env or wine.env,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=cwd or wine.folder,
            start_new_session=True)
        self.started = time.monotonic()

    def kill(self):
        """Ends the whole session: wine-run and the Windows program."""
        if self.process.poll() is None:
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self.process.wait(30)

    def wait_exit(self, timeout=60):
        """The exit code, or None while it still runs after timeout."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def state(self):
        """Whether the program still runs, for a failure's message: a window
        that never came is told apart from a program that ended early (a
        crash ends it with the low byte of the exception's code)."""
        code = self.process.poll()
        if code is None:
            return "still running after %.0f s" % (time.monotonic() - self.started)
        return "exited with %d" % code

    def wait_window(self, timeout=90):
        """Waits for the visible "Basic" window and answers the screen
        position of its content (inside the shadow)."""
        self.window = self.display.find_window(WINDOW_NAME, timeout)
        if self.window is None:
            raise AssertionError("no visible window named %s; the assistant %s" %
                                 (WINDOW_NAME, self.state()))
        geometry = wait_for(lambda: self.display.geometry(self.window), 10)
        x, y, width, height = geometry
        self.size = (width - 2 * SHADOW, height - 2 * SHADOW)
        self.screen_rect = (x, y, width, height)
        self.origin = (x + SHADOW, y + SHADOW)
        return self.origin

    def window_gone(self, timeout):
        return wait_for(lambda: self.display.find_window(WINDOW_NAME, 0) is None, timeout)

    # -- input ----------------------------------------------------------------
    def move(self, x, y):
        self.display.xdotool("mousemove", self.origin[0] + x, self.origin[1] + y)

    def click(self, x, y):
        self.display.xdotool("mousemove", self.origin[0] + x, self.origin[1] + y, "click", "1")

    def click_control(self, name):
        self.click(*centre(name))

    def park_mouse(self):
        """Moves the pointer to a plain part of the page, so no hover colour
        is in the next screenshot."""
        self.move(790, 590)

    # -- looking --------------------------------------------------------------
    def screenshot(self, name):
        """A screenshot saved in the screens folder, numbered in the order of
        the folder (several starts in one test share it)."""
        taken = len([f for f in os.listdir(self.screens) if f[:2].isdigit()])
        path = os.path.join(self.screens, "%02d_%s.png" % (taken + 1, name))
        return self.display.screenshot(path, self.origin or (0, 0))

    def wait_screen(self, name, check, timeout=30):
        """Takes screenshots until check(shot) holds; answers that shot.
        Fails with the last shot's path when it never holds."""
        deadline = time.monotonic() + timeout
        while True:
            shot = self.screenshot(name)
            if check(shot):
                return shot
            if time.monotonic() >= deadline:
                raise AssertionError("%s: not seen within %d s (last: %s)" % (
                    name, timeout, shot.path))
            os.remove(shot.path)
            time.sleep(0.2)

    def opaque(self, shot):
        """The window has faded in fully: its white page is pure white and the
        header's left end shows the full teal."""
        r, g, b = shot.pixel(10, 100)
        return (shot.pixel(790, 590) == WHITE and shot.pixel(400, 580) == WHITE
                and g > r + 30 and b > r)

    @staticmethod
    def is_welcome_page(shot):
        # "ok1" is a green pill on the welcome page; the install page is white
        # there.
        r, g, b = shot.pixel(250, 497)
        return g > r + 40 and g > b

    @staticmethod
    def is_install_page(shot):
        # The launch card ("btn_primary") on the right, the welcome page's
        # white below the location box on the left.
        r, g, b = shot.pixel(600, 420)
        return g > r + 40 and shot.pixel(250, 497) == WHITE

    @staticmethod
    def overlay_shown(shot):
        # The "mask" layer darkens the page around the panels.
        return sum(shot.pixel(60, 300)) < 3 * 200

    def progress_fill(self, shot):
        """Pixels of the download bar's fill along its middle row, or None
        when the bar's track is not there."""
        left, top, width, height = CONTROLS["install_progress"]
        row = top + height // 2
        colours = [shot.pixel(x, row) for x in range(left, left + width)]
        track = sum(1 for c in colours if near(c, PROGRESS_BACK, 16))
        fill = sum(1 for c in colours if near(c, PROGRESS, 24))
        if track + fill < width * 0.8:
            return None
        return fill


class Session:
    """What a class of tests shares: a display, a Wine prefix in wine_folder,
    a service (not started) with its files under root, and a copy of the
    assistant branded for that service."""

    def __init__(self, root, wine_folder, screen=SCREEN):
        self.display = Display(screen)
        try:
            self.wine = Wine(wine_folder, self.display)
            self.service = Service(os.path.join(root, "service"))
            self.exe = self.wine.brand_for(self.service, folder=os.path.join(root, "branded"))
        except BaseException:
            self.display.close()
            raise

    def close(self):
        self.service.stop()
        self.wine.close()
        self.display.close()


class AssistantTestCase(unittest.TestCase):
    """Base of the end-to-end test classes: one display, Wine prefix and branded copy
    per class; per test fresh user data, a fresh service (not started when
    the class sets start_service = False) and a screens folder named after
    the test. self.start() starts the branded copy."""

    start_service = True
    folder_name = "e2e"

    # A class that changes its prefix's settings names a prefix of its own,
    # and may ask for a larger screen.
    wine_folder_name = "wine"
    screen = SCREEN

    @classmethod
    def setUpClass(cls):
        root = os.environ["E2E_DIR"]
        cls.root = os.path.join(root, cls.folder_name)
        os.makedirs(cls.root, exist_ok=True)
        cls.session = Session(cls.root, os.path.join(root, cls.wine_folder_name), cls.screen)
        cls.display, cls.wine = cls.session.display, cls.session.wine
        cls.service, cls.exe = cls.session.service, cls.session.exe

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def setUp(self):
        self.wine.clean_user_data()
        self.service.stop()
        self.service.clear_log()
        if self.start_service:
            self.service.start()
        self.screens = os.path.join(os.environ["E2E_DIR"], "screens", self.id().split(".")[-1])
        shutil.rmtree(self.screens, ignore_errors=True)
        self.assistants = []

    def tearDown(self):
        for assistant in self.assistants:
            assistant.kill()
        self.service.stop()

    def start(self, exe=None, cwd=None, env=None):
        """Starts exe (the branded copy by default) in cwd with the
        environment env (the prefix's by default)."""
        assistant = Assistant(self.wine, exe or self.exe, self.screens, cwd, env)
        self.assistants.append(assistant)
        return assistant

    def start_and_show(self, exe=None, timeout=90, cwd=None, env=None):
        """Starts the assistant and waits until its window shows its content
        fully faded in; answers (assistant, that screenshot)."""
        assistant = self.start(exe, cwd, env)
        assistant.wait_window(timeout)
        shot = assistant.wait_screen("shown", assistant.opaque, 30)
        return assistant, shot

    def assert_events(self, expected, timeout=20):
        """The service stored exactly the events expected, a list of (name,
        data), in that order, each filed under the branded product and
        channel. A "seconds" fact is checked to be a number of at least 0 and
        left out of the comparison, as is any fact whose expected value is
        ANY."""
        events = wait_for(lambda: self._events_once(len(expected)), timeout) or \
            self.service.stored_events()
        self.assertEqual([name for name, _ in expected], [e[0] for e in events], events)
        for (name, want), (_, data, product, channel) in zip(expected, events):
            self.assertEqual((product, channel), (PRODUCT, CHANNEL), name)
            data = dict(data)
            if "seconds" in data:
                seconds = data.pop("seconds")
                self.assertIsInstance(seconds, (int, float), name)
                self.assertGreaterEqual(seconds, 0, name)
            for key, value in want.items():
                if value is ANY:
                    self.assertIn(key, data, name)
                    data[key] = ANY
            self.assertEqual(want, data, name)
        return events

    def _events_once(self, count):
        events = self.service.stored_events()
        return events if len(events) >= count else None

    def support_log(self):
        """The support log in the downloader folder as (event, line) pairs,
        after checking that every line is whole: UTC time to the millisecond,
        the thread id, the event."""
        path = os.path.join(self.wine.downloader, "logs", "assistant.log")
        with open(path, encoding="utf-8", newline="") as f:
            text = f.read()
        self.assertTrue(text.endswith("\r\n"), text[-200:])
        entries = []
        for line in text[:-2].split("\r\n"):
            match = LOG_LINE.match(line)
            self.assertIsNotNone(match, line)
            entries.append((match.group(1), line))
        # The user's name stays out of it: the profile folder is written as
        # %USERPROFILE%.
        self.assertNotIn("\\" + os.path.basename(self.wine.user) + "\\", text)
        return entries

    def assert_log_in_order(self, expected):
        """The support log has lines for expected, a list of (event, [texts
        the line contains]), in that order (other lines may come between).
        Answers the matching lines."""
        entries = self.support_log()
        found = []
        position = 0
        for event, texts in expected:
            while position < len(entries) and not (
                    entries[position][0] == event and
                    all(text in entries[position][1] for text in texts)):
                position += 1
            self.assertLess(position, len(entries), "no %s line with %r after %r in:\n%s" % (
                event, texts, found[-1:], "\n".join(line for _, line in entries)))
            found.append(entries[position][1])
            position += 1
        return found

    def close_with_button(self, assistant):
        assistant.click_control("btn_close")
        return assistant.wait_exit(60)
