"""The statistics report, the operator token rules and the event store's
migration, over seeded databases with known events."""

import datetime
import json
import os
import shutil
import sqlite3
import tempfile
import unittest

from service import access, stats
from service.store import Store
from service.tests.test_server import ServiceCase

DAY = 86400
DAY1 = datetime.date(2024, 5, 1)
T1 = (DAY1 - datetime.date(1970, 1, 1)).days * DAY + 3600  # 01:00 UTC on DAY1


def event(name, product="fernwick", channel="02", **data):
    return {"name": name, "website": "site", "hostname": "stats.example",
            "product": product, "channel": channel, "data": data}


def seed(store, events, at=T1):
    for e in events:
        store.add_event(e, json.dumps(e), at)


def zip_day():
    """Channel 02 (a zip package) on one day: 10 start-ups, 8 downloads
    started, 5 finished, 4 unpacked, 1 unpacking failed, 2 launched."""
    done = [(1000, 1.0), (2000, 1.0), (3000, 2.0), (4000, 4.0), (0, 0.0)]
    return ([event("startup")] * 10 + [event("download_start", host="h", recorded=True)] * 8 +
            [event("download_done", bytes=b, seconds=s, retries=0, resumed=False)
             for b, s in done] +
            [event("unpack_done", entries=3, bytes=10, seconds=0.5)] * 4 +
            [event("unpack_failed", status="kCorrupt")] +
            [event("installer_launch")] * 2)


class ReportTest(unittest.TestCase):
    def setUp(self):
        self.store = Store(":memory:")
        self.addCleanup(self.store.close)

    def report(self, **filters):
        with self.store.reader() as db:
            return stats.report(db, stats.StatsQuery(**filters))

    def test_funnel_per_group_and_day_with_shares(self):
        seed(self.store, zip_day())
        seed(self.store, [event("startup")] * 2 + [event("download_start")], T1 + 2 * DAY)
        # An installer channel: its last step is the launch.
        seed(self.store, [event("startup", channel="03")] * 4 +
             [event("download_start", channel="03")] * 4 +
             [event("download_done", channel="03", bytes=1, seconds=1)] * 2 +
             [event("installer_launch", channel="03")])
        r = self.report(product="fernwick", date_from=DAY1, date_to=DAY1 + datetime.timedelta(3))
        zip_group, exe_group = r["groups"]
        self.assertEqual((zip_group["channel"], zip_group["install_event"]), ("02", "unpack_done"))
        self.assertEqual((exe_group["channel"], exe_group["install_event"]),
                         ("03", "installer_launch"))
        self.assertEqual([s["count"] for s in zip_group["funnel"]], [12, 9, 5, 4])
        self.assertEqual([s["share"] for s in zip_group["funnel"]], [1.0, 0.75, 0.5556, 0.8])
        self.assertEqual([s["of_first"] for s in zip_group["funnel"]],
                         [1.0, 0.75, 0.4167, 0.3333])
        self.assertEqual([s["count"] for s in exe_group["funnel"]], [4, 4, 2, 1])
        # Every day of the chosen range is listed, empty ones too.
        self.assertEqual([d["day"] for d in zip_group["days"]],
                         ["2024-05-01", "2024-05-02", "2024-05-03", "2024-05-04"])
        self.assertEqual([d["counts"] for d in zip_group["days"]],
                         [[10, 8, 5, 4], [0, 0, 0, 0], [2, 1, 0, 0], [0, 0, 0, 0]])
        self.assertEqual(zip_group["days"][2]["shares"], [1.0, 0.5, 0.0, None])
        self.assertEqual([s["count"] for s in r["combined"]["funnel"]], [16, 13, 7, 5])
        self.assertEqual(r["combined"]["days"][0]["counts"], [14, 12, 7, 5])
        # What /api/stats always answered stays, over the same filters.
        self.assertEqual(r["funnel"], [{"name": "startup", "count": 16},
                                       {"name": "installer_launch", "count": 3,
                                        "of_previous": 0.1875}])
        self.assertEqual(r["events"]["unpack_failed"], 1)
        self.assertEqual(r["total"], sum(r["events"].values()))

    def test_filters_and_day_boundaries(self):
        seed(self.store, [event("startup")], T1 - 3601)            # last second of the day before
        seed(self.store, [event("startup")], T1 - 3600)            # midnight UTC
        seed(self.store, [event("startup")], T1 + DAY - 3601)      # last second of DAY1
        seed(self.store, [event("startup")], T1 + DAY - 3600)      # the next midnight
        seed(self.store, [event("startup", channel="web")], T1)
        seed(self.store, [event("startup", product="other")], T1)
        one_day = self.report(date_from=DAY1, date_to=DAY1, product="fernwick", channel="02")
        self.assertEqual(one_day["total"], 2)
        self.assertEqual([d["day"] for d in one_day["combined"]["days"]], ["2024-05-01"])
        everything = self.report()
        self.assertEqual(everything["total"], 6)
        self.assertEqual([(g["product"], g["channel"]) for g in everything["groups"]],
                         [("fernwick", "02"), ("fernwick", "web"), ("other", "02")])
        self.assertEqual([d["day"] for d in everything["combined"]["days"]],
                         ["2024-04-30", "2024-05-01", "2024-05-02"])
        self.assertEqual(everything["choices"],
                         [{"product": "fernwick", "channels": ["02", "web"]},
                          {"product": "other", "channels": ["02"]}])
        self.assertEqual(self.report(website="elsewhere")["total"], 0)
        empty = self.report(product="nothing")
        self.assertEqual(empty["groups"], [])
        self.assertEqual([s["share"] for s in empty["combined"]["funnel"]], [None] * 4)
        self.assertEqual(empty["downloads"]["seconds"], {"median": None, "p90": None})

    def test_failure_reasons_are_counted_by_their_facts(self):
        seed(self.store, [event("download_failed", status=503, error=0, retries=3, bytes=0)] * 3 +
             [event("download_failed", status=0, error=12002, retries=3, bytes=10)] * 2 +
             [event("download_failed", status="503", error=None)] +
             [event("unpack_failed", status="kCorrupt")] * 2 + [event("unpack_failed")] +
             [event("launch_failed", reason="exit_code", code=5)] * 4 +
             [event("launch_failed", reason="missing_file", code=0)] +
             [event("error_shown", key="disk_full")] + [event("error_shown", key=["x"])] +
             [event("launch_failed", product="other", reason="extension", code=0)])
        f = self.report(product="fernwick")["failures"]
        self.assertEqual(f["download_failed"], [
            {"status": 503, "error": 0, "count": 3}, {"status": 0, "error": 12002, "count": 2},
            {"status": None, "error": None, "count": 1}])
        self.assertEqual(f["unpack_failed"], [{"status": "kCorrupt", "count": 2},
                                              {"status": None, "count": 1}])
        self.assertEqual(f["launch_failed"], [{"reason": "exit_code", "count": 4},
                                              {"reason": "missing_file", "count": 1}])
        self.assertEqual(f["error_shown"], [{"key": "disk_full", "count": 1},
                                            {"key": None, "count": 1}])

    def test_download_percentiles(self):
        # Times 1..10 s, each download 1 MB: speeds 1e6/1 .. 1e6/10.
        seed(self.store, [event("download_done", bytes=1000000, seconds=s, retries=0,
                                resumed=False) for s in range(1, 11)] +
             [event("download_done", bytes=5, seconds="slow"),      # not a number: left out
              event("download_done", bytes=5, seconds=-1),
              event("download_done", bytes=None, seconds=0)])        # a time, but no speed
        d = self.report()["downloads"]
        self.assertEqual(d["count"], 11)
        self.assertEqual(d["seconds"], {"median": 5.0, "p90": 9.0})
        self.assertEqual(d["bytes_per_second"], {"median": 183333.3333, "p90": 550000.0})

    def test_query_parameters(self):
        params = {"product": "fernwick", "channel": "", "from": "2024-05-01", "to": "2024-05-31"}
        q = stats.StatsQuery.from_params(params.get)
        self.assertEqual(q.describe(), {"product": "fernwick", "channel": None, "website": None,
                                        "from": "2024-05-01", "to": "2024-05-31"})
        for bad in ({"from": "2024-5-1"}, {"to": "yesterday"}, {"from": "20240501"},
                    {"from": "2024-06-01", "to": "2024-05-01"}, {"to": "2024-02-30"}):
            with self.assertRaises(stats.QueryError, msg=bad):
                stats.StatsQuery.from_params(bad.get)


class MigrationTest(unittest.TestCase):
    def test_an_older_database_gains_the_new_columns(self):
        folder = tempfile.mkdtemp(prefix="service-migrate-")
        self.addCleanup(shutil.rmtree, folder, True)
        path = os.path.join(folder, "events.sqlite")
        old = sqlite3.connect(path)
        old.executescript("""
            CREATE TABLE events (id INTEGER PRIMARY KEY, received_at REAL NOT NULL,
              website TEXT, hostname TEXT, name TEXT NOT NULL, payload TEXT NOT NULL);
            CREATE INDEX events_name ON events (name);""")
        rows = [('{"name": "startup", "data": {}}', "startup"),
                ('{"name": "download_done", "data": {"bytes": 8, "seconds": 2}}',
                 "download_done"),
                ('{"name": "error_shown", "data": "text"}', "error_shown"),
                ('{"name": "x"}', "x"), ('{"name": NaN}', "broken")]
        old.executemany("INSERT INTO events (received_at, name, payload) VALUES (?, ?, ?)",
                        [(T1, name, payload) for payload, name in rows])
        old.commit()
        old.close()
        for _ in range(2):  # a second opening finds nothing left to migrate
            store = Store(path)
            events = store.events()
            with store.reader() as db:
                data = [r[0] for r in db.execute("SELECT data FROM events ORDER BY id")]
                indexes = {r[0] for r in db.execute(
                    "SELECT name FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL")}
                report = stats.report(db, stats.StatsQuery())
            store.close()
            self.assertEqual(len(events), 5)
            self.assertEqual(data, ["{}", '{"bytes":8,"seconds":2}', '"text"', None, None])
            self.assertEqual(indexes, {"events_group", "events_name_day", "events_failures",
                                       "events_downloads"})
            self.assertEqual(report["downloads"]["bytes_per_second"]["median"], 4.0)
            self.assertEqual(report["groups"][0]["product"], "")


class AccessRulesTest(unittest.TestCase):
    def test_loopback_is_open_and_other_addresses_need_the_token(self):
        cases = [
            # bind host, configured token, Authorization, ?token=, expected status
            ("127.0.0.1", None, None, None, None),
            ("127.0.0.2", "secret", None, None, None),
            ("::1", None, None, None, None),
            ("localhost", None, None, None, None),
            ("0.0.0.0", None, None, None, 403),
            ("", None, None, None, 403),
            ("192.0.2.7", None, "Bearer anything", None, 403),
            ("192.0.2.7", "secret", None, None, 401),
            ("192.0.2.7", "secret", "Bearer wrong", None, 401),
            ("192.0.2.7", "secret", "Bearer secret", None, None),
            ("192.0.2.7", "secret", "bearer  secret ", None, None),
            ("192.0.2.7", "secret", "Basic c2VjcmV0", None, 401),
            ("192.0.2.7", "secret", "Basic c2VjcmV0", "secret", None),
            ("192.0.2.7", "secret", None, "secret", None),
            ("192.0.2.7", "secret", "Bearer wrong", "secret", 401),
            ("192.0.2.7", "secret", None, "secret\u00e9", 401),
            ("example.com", "secret", None, "", 401),
        ]
        for host, token, header, param, expected in cases:
            refused = access.check(host, token, header, param)
            self.assertEqual(refused[0] if refused else None, expected,
                             (host, token, header, param))

    def test_protected_routes(self):
        self.assertTrue(all(map(access.is_protected,
                                ("/dashboard", "/api/stats", "/admin/faults", "/admin/x"))))
        self.assertFalse(any(map(access.is_protected, (
            "/api/send", "/api/channel", "/static/chart.js", "/dashboard/x", "/administer"))))


class ReachableServiceTest(ServiceCase):
    """The handler's rules with a public address injected while the test
    listens on loopback."""

    def setUp(self):
        self.server.access_address = "192.0.2.7"
        self.state.admin_token = "op-token"
        self.addCleanup(setattr, self.server, "access_address", None)
        self.addCleanup(setattr, self.state, "admin_token", None)

    def status(self, path, headers=None):
        return self.request("GET", path, headers=headers)[0].status

    def test_operator_pages_need_the_token(self):
        for path in ("/dashboard", "/api/stats", "/admin/faults"):
            self.assertEqual(self.status(path), 401, path)
            self.assertEqual(self.status(path, {"Authorization": "Bearer nope"}), 401, path)
            self.assertEqual(self.status(path, {"Authorization": "Bearer op-token"}), 200, path)
            self.assertEqual(self.status(path + "?token=op-token"), 200, path)
        # Fault switches do not get round the token.
        self.assertEqual(self.status("/api/stats?fault_status=200"), 401)
        # What the assistant and the page's own scripts need stays open.
        self.assertEqual(self.status("/api/get-bdvid"), 200)
        self.assertEqual(self.status("/static/dashboard.js"), 200)

    def test_no_configured_token_refuses_everyone(self):
        self.state.admin_token = None
        for path in ("/dashboard", "/api/stats?token=", "/admin/faults"):
            self.assertEqual(self.status(path, {"Authorization": "Bearer "}), 403, path)
        self.server.access_address = None  # loopback again
        self.assertEqual(self.status("/api/stats"), 200)


class StatsEndpointTest(ServiceCase):
    def send(self, payload):
        body = json.dumps({"type": "event", "payload": payload}, allow_nan=True)
        return self.request("POST", "/api/send", body.encode(),
                            {"Content-Type": "application/json"})[0].status

    def test_bad_queries_and_non_json_numbers_are_refused(self):
        self.assertEqual(self.get_json("/api/stats?from=2024-13-01")[0], 400)
        self.assertEqual(self.get_json("/api/stats?from=2024-05-02&to=2024-05-01")[0], 400)
        self.assertEqual(self.send({"name": "download_done", "data": {"seconds": float("nan")}}),
                         400)
        body = b'{"type": "event", "payload": {"name": "download_done", "data": {"bytes": 1e999}}}'
        self.assertEqual(self.request("POST", "/api/send", body)[0].status, 400)
        self.assertEqual(self.get_json("/api/stats")[0], 200)

    def test_no_attribution_id_reaches_a_report_or_the_page(self):
        ids = [self.get_json("/api/get-bdvid")[1]["bdvid"] for _ in range(3)]
        sent = [
            dict(event("startup", channel="bdv"), bdvid=ids[0]),
            dict(event("download_start", channel="bdv", host="h", bdvid=ids[0])),
            event("error_shown", channel="bdv", key=ids[1]),
            event("unpack_failed", channel="bdv", status=ids[1].upper()),
            event("startup", product="fernwick", channel=ids[2]),
            event("startup", product=ids[2], channel="02"),
            dict(event(ids[2]), website=ids[2], hostname=ids[2]),
        ]
        for payload in sent:
            self.assertEqual(self.send(payload), 200)
        status, report = self.get_json("/api/stats")
        self.assertEqual(status, 200)
        self.assertEqual(report["failures"]["error_shown"], [{"key": "(hidden)", "count": 1}])
        outputs = [json.dumps(report)]
        for path in ("/api/stats?channel=bdv", "/api/stats?product=fernwick", "/dashboard",
                     "/static/dashboard.js"):
            response, body = self.request("GET", path)
            self.assertEqual(response.status, 200, path)
            outputs.append(body.decode("utf-8"))
        for text in outputs:
            for bdvid in ids:
                self.assertNotIn(bdvid.lower(), text.lower())


if __name__ == "__main__":
    unittest.main()
