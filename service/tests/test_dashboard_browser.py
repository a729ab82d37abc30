"""The dashboard in a real browser: headless chromium through chromedriver
and selenium (Debian packages from scripts/bootstrap) against the service
over a database seeded with known events. The numbers the page shows must
be those of /api/stats; a screenshot of it goes to build/screenshots/
(or the temporary folder when there is no build folder)."""

import datetime
import json
import os
import shutil
import sys
import tempfile
import threading
import unittest
import urllib.request

from service.server import Server, ServiceState

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
FIRST_DAY = datetime.date(2024, 5, 1)
DAYS = 14
RANGE = f"from={FIRST_DAY}&to={FIRST_DAY + datetime.timedelta(DAYS - 1)}"


def import_selenium():
    try:
        import selenium  # noqa: F401
    except ImportError:
        # Debian's package installs for the system Python; a python3 found
        # earlier on PATH (a virtual environment, pyenv) does not see it.
        sys.path.append("/usr/lib/python3/dist-packages")
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select, WebDriverWait
    return webdriver, Service, By, Select, WebDriverWait


def seed(store):
    """Two weeks of channel 02 (zip) and 03 (installer) with failures."""
    epoch = datetime.date(1970, 1, 1)
    for i in range(DAYS):
        at = ((FIRST_DAY - epoch).days + i) * 86400 + 36000
        startups = 40 + (i * 7) % 23
        plan = [("startup", {}, startups),
                ("download_start", {"host": "cdn.example", "recorded": True}, startups - 6),
                ("download_done", {"bytes": 48_000_000 + i * 1_000_000, "seconds": 6.0 + i,
                                   "retries": i % 2, "resumed": False}, startups - 14),
                ("download_failed", {"status": 503, "error": 0, "retries": 3, "bytes": 0}, 3),
                ("download_failed", {"status": 0, "error": 12002, "retries": 3, "bytes": 0}, 2),
                ("unpack_done", {"entries": 12, "bytes": 90_000_000, "seconds": 3.5},
                 startups - 17 - i % 4),
                ("unpack_failed", {"status": "kCorrupt"}, i % 3),
                ("launch_failed", {"reason": "exit_code", "code": 1}, i % 2),
                ("error_shown", {"key": "download_failed"}, 5)]
        for name, data, times in plan:
            for _ in range(times):
                add(store, name, "02", data, at)
        for name, data, times in (("startup", {}, 12), ("download_start", {}, 11),
                                  ("download_done", {"bytes": 9_000_000, "seconds": 2.5}, 10),
                                  ("installer_launch", {}, 8)):
            for _ in range(times):
                add(store, name, "03", data, at)


def add(store, name, channel, data, at):
    payload = {"name": name, "website": "site", "hostname": "stats.example",
               "product": "fernwick", "channel": channel, "data": data}
    store.add_event(payload, json.dumps(payload), at)


@unittest.skipIf(CHROMIUM is None, "chromium is not installed (scripts/bootstrap installs it): "
                                   "the dashboard's browser test is skipped")
class DashboardBrowserTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        webdriver, Service, cls.By, cls.Select, cls.Wait = import_selenium()
        cls.data = tempfile.mkdtemp(prefix="service-dashboard-")
        cls.state = ServiceState(cls.data)
        seed(cls.state.store)
        cls.server = Server(("127.0.0.1", 0), cls.state)
        cls.base = f"http://127.0.0.1:{cls.server.server_address[1]}"
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                    "--window-size=1280,1000", "--hide-scrollbars", "--force-device-scale-factor=1",
                    "--user-data-dir=" + os.path.join(cls.data, "profile")):
            options.add_argument(arg)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        driver = shutil.which("chromedriver") or "/usr/bin/chromedriver"
        try:
            cls.driver = webdriver.Chrome(service=Service(executable_path=driver),
                                          options=options)
        except Exception:
            cls.tearDownServer()
            raise

    @classmethod
    def tearDownServer(cls):
        cls.server.shutdown()
        cls.server.server_close()
        cls.state.store.close()
        shutil.rmtree(cls.data, ignore_errors=True)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.tearDownServer()

    def setUp(self):
        self.server.access_address = None
        self.state.admin_token = None

    def stats(self, query, token=None):
        request = urllib.request.Request(self.base + "/api/stats?" + query)
        if token:
            request.add_header("Authorization", "Bearer " + token)
        with urllib.request.urlopen(request, timeout=10) as response:
            return json.loads(response.read())

    def open(self, query):
        self.driver.get(self.base + "/dashboard?" + query)
        self.wait_until_settled()

    def wait_until_settled(self):
        self.Wait(self.driver, 20).until(
            lambda d: d.find_element(self.By.TAG_NAME, "body").get_attribute("data-state"))

    def shown_funnel(self):
        rows = self.driver.find_elements(self.By.CSS_SELECTOR, "#funnel-table tbody tr")
        return [(r.get_attribute("data-step"), int(r.get_attribute("data-count")),
                 r.find_element(self.By.CSS_SELECTOR, "[data-field=count]").text) for r in rows]

    def expected_funnel(self, stats):
        return [(s["name"], s["count"], str(s["count"])) for s in stats["combined"]["funnel"]]

    def test_the_page_shows_the_numbers_of_the_report(self):
        query = "product=fernwick&channel=02&" + RANGE
        self.driver.get_log("browser")  # drops what earlier pages logged
        self.open(query)
        self.assertEqual(self.driver.find_element(self.By.TAG_NAME, "body")
                         .get_attribute("data-state"), "ready")
        stats = self.stats(query)
        self.assertEqual(self.shown_funnel(), self.expected_funnel(stats))
        self.assertEqual(stats["groups"][0]["install_event"], "unpack_done")
        # Both charts were drawn by the chart library the service serves.
        self.assertTrue(self.driver.execute_script(
            "return ['funnel-chart', 'days-chart'].every("
            "id => window.Chart && Chart.getChart(document.getElementById(id)))"))
        days = self.driver.find_elements(self.By.CSS_SELECTOR, "#days-table tbody tr")
        self.assertEqual([d.get_attribute("data-day") for d in days],
                         [d["day"] for d in stats["combined"]["days"]])
        self.assertEqual(len(days), DAYS)
        failures = self.driver.find_elements(self.By.CSS_SELECTOR, "#failures-table tbody tr")
        top = max((e["count"], name) for name, entries in stats["failures"].items()
                  for e in entries)
        self.assertEqual((int(failures[0].find_element(
            self.By.CSS_SELECTOR, "[data-field=count]").get_attribute("textContent")),
            failures[0].get_attribute("data-event")), top)
        median = self.driver.find_element(
            self.By.CSS_SELECTOR, "#downloads-table tr[data-figure=bytes_per_second] td+td")
        self.assertEqual(float(median.get_attribute("data-value")),
                         stats["downloads"]["bytes_per_second"]["median"])
        # Script errors and refused resources (the page's content policy);
        # an earlier page's icon request may still be on its way.
        errors = [e for e in self.driver.get_log("browser")
                  if e["level"] == "SEVERE" and "/favicon.ico" not in e["message"]]
        self.assertEqual(errors, [])
        self.save_screenshot()

        # Choosing the installer channel redraws the page for it.
        self.Select(self.driver.find_element(self.By.ID, "channel")).select_by_value("03")
        self.driver.execute_script("document.body.dataset.state = ''")
        self.driver.find_element(self.By.CSS_SELECTOR, "#filters button").click()
        self.wait_until_settled()
        query = "product=fernwick&channel=03&" + RANGE
        self.assertEqual(self.shown_funnel(), self.expected_funnel(self.stats(query)))
        self.assertIn("channel=03", self.driver.current_url)

    def test_the_page_passes_its_token_on(self):
        self.server.access_address = "192.0.2.7"
        self.state.admin_token = "op-token"
        query = "product=fernwick&" + RANGE
        self.open(query + "&token=op-token")
        self.assertEqual(self.shown_funnel(),
                         self.expected_funnel(self.stats(query, token="op-token")))
        self.driver.get(self.base + "/dashboard?" + query)
        self.assertIn("operator token required", self.driver.page_source)

    def save_screenshot(self):
        build = os.path.join(ROOT, "build")
        folder = os.path.join(build if os.path.isdir(build) else tempfile.gettempdir(),
                              "screenshots")
        os.makedirs(folder, exist_ok=True)
        # The whole page: the window grows by what its frame takes, then the
        # charts get two frames to draw at the new size.
        height, frame = self.driver.execute_script(
            "return [document.documentElement.scrollHeight, "
            "window.outerHeight - window.innerHeight]")
        self.driver.set_window_size(1280, min(height, 2000) + frame)
        self.driver.execute_async_script(
            "const done = arguments[0];"
            "requestAnimationFrame(() => requestAnimationFrame(() => done()))")
        self.driver.save_screenshot(os.path.join(folder, "dashboard.png"))


if __name__ == "__main__":
    unittest.main()
