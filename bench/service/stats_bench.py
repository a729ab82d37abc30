#!/usr/bin/env python3
"""The reference service's statistics report over a million events.

    bench/service/stats_bench.py [--events N] [--rounds N] [--work DIR] [--keep]

Seeds an events database of the service's own schema (service/store.py)
with N events (default 1,000,000): 3 products, 4 channels each, 90 days,
sessions that go start-up -> download -> unpack or installer launch with
realistic losses, failures of every kind and download facts in "data".
Then it times, on a fresh connection each round as the service reads:

  baseline   SELECT COUNT(*) FROM events (one pass over the smallest index)
  dashboard  the /api/stats report for one product and channel, last 30 days
  all        the /api/stats report with no filter (every product, channel, day)

and the same two reports after dropping the report's indexes, in the same
run. Each figure is the median of --rounds rounds; ratios are against the
baseline of this run. The database goes to --work (default a temporary
folder), removed at the end unless --keep.
"""

import argparse
import datetime
import json
import os
import random
import shutil
import sqlite3
import statistics
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, ROOT)

from service import stats, store  # noqa: E402

DAYS = 90
FIRST_DAY = datetime.date(2024, 3, 1)
PRODUCTS = ("fernwick", "aldermoor", "brightwater")
CHANNELS = ("01", "02", "03", "web")


def sessions(rng):
    """Endless (product, channel, day, [(name, data)]) of one user each."""
    while True:
        product = rng.choice(PRODUCTS)
        channel = rng.choice(CHANNELS)
        zip_package = channel != "03"
        day = rng.randrange(DAYS)
        events = [("startup", {})]
        if rng.random() < 0.88:
            events.append(("download_start", {"host": "cdn.example", "recorded": True}))
            if rng.random() < 0.85:
                size = rng.randrange(20_000_000, 120_000_000)
                seconds = round(rng.lognormvariate(2.3, 0.6), 3)
                events.append(("download_done", {"bytes": size, "seconds": seconds,
                                                 "retries": rng.choice((0, 0, 0, 1, 2)),
                                                 "resumed": rng.random() < 0.1}))
                if zip_package:
                    if rng.random() < 0.95:
                        events.append(("unpack_done", {"entries": 120, "bytes": size * 2,
                                                       "seconds": round(seconds / 4, 3)}))
                        if rng.random() < 0.9:
                            events.append(("installer_launch", {}))
                        else:
                            events.append(("launch_failed", {"reason": "exit_code", "code": 1}))
                    else:
                        events.append(("unpack_failed", {"status": rng.choice(
                            ("kCorrupt", "kUnreadable", "kDiskFull"))}))
                elif rng.random() < 0.93:
                    events.append(("installer_launch", {}))
                else:
                    events.append(("launch_failed", {"reason": rng.choice(
                        ("shell_error", "missing_file", "extension")), "code": 5}))
            else:
                events.append(("download_failed", rng.choice((
                    {"status": 503, "error": 0, "retries": 3, "bytes": 0},
                    {"status": 404, "error": 0, "retries": 0, "bytes": 0},
                    {"status": 0, "error": 12002, "retries": 3, "bytes": 1_000_000},
                    {"status": 0, "error": 12029, "retries": 3, "bytes": 0}))))
                events.append(("error_shown", {"key": "download_failed"}))
        elif rng.random() < 0.3:
            events.append(("error_shown", {"key": "no_service"}))
        if rng.random() < 0.6:
            events.append(("closed", {"page": "install", "seconds": round(rng.uniform(5, 600), 1)}))
        yield product, channel, day, events


def drop_indexes(db):
    for (name,) in db.execute("SELECT name FROM sqlite_master WHERE type = 'index' "
                              "AND tbl_name = 'events' AND sql IS NOT NULL").fetchall():
        db.execute(f"DROP INDEX {name}")


def seed(path, count):
    """count events into a new database at path, indexed as the service does."""
    store.Store(path).close()
    db = sqlite3.connect(path, isolation_level=None)
    db.execute("PRAGMA journal_mode=WAL")
    drop_indexes(db)
    epoch = (FIRST_DAY - datetime.date(1970, 1, 1)).days * 86400
    rng = random.Random(7)
    rows = []
    source = sessions(rng)
    while len(rows) < count:
        product, channel, day, events = next(source)
        at = epoch + day * 86400 + rng.randrange(86400)
        for name, data in events[:count - len(rows)]:
            payload = {"data": data, "hostname": "stats.example", "name": name,
                       "product": product, "channel": channel, "website": "site"}
            rows.append((at, "site", "stats.example", name, json.dumps(payload), product,
                         channel, json.dumps(data)))
            at += rng.randrange(1, 120)
    db.execute("BEGIN")
    db.executemany("INSERT INTO events (received_at, website, hostname, name, payload, product, "
                   "channel, data) VALUES (?, ?, ?, ?, ?, ?, ?, ?)", rows)
    db.execute("COMMIT")
    db.executescript(store.INDEXES)
    db.close()


def timed(path, work, rounds):
    """Median seconds of work(connection) over rounds fresh connections."""
    times = []
    result = None
    for _ in range(rounds):
        db = sqlite3.connect(path, isolation_level=None)
        try:
            start = time.perf_counter()
            db.execute("BEGIN")
            result = work(db)
            times.append(time.perf_counter() - start)
        finally:
            db.close()
    return statistics.median(times), result


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--events", type=int, default=1_000_000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--work", help="folder of the database (default: a temporary one)")
    parser.add_argument("--keep", action="store_true", help="keep the database")
    args = parser.parse_args()

    work = args.work or tempfile.mkdtemp(prefix="stats-bench-")
    os.makedirs(work, exist_ok=True)
    path = os.path.join(work, "events.sqlite")
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)
    try:
        start = time.perf_counter()
        seed(path, args.events)
        print(f"seeded {args.events:,} events in {time.perf_counter() - start:.1f} s "
              f"({os.path.getsize(path) / 1e6:.0f} MB)")

        last = FIRST_DAY + datetime.timedelta(DAYS - 1)
        dashboard = stats.StatsQuery(product="fernwick", channel="02",
                                     date_from=last - datetime.timedelta(29), date_to=last)
        everything = stats.StatsQuery()
        figures = {}
        figures["baseline"], total = timed(
            path, lambda db: db.execute("SELECT COUNT(*) FROM events").fetchone()[0], args.rounds)
        assert total == args.events, total
        figures["dashboard"], shown = timed(path, lambda db: stats.report(db, dashboard),
                                            args.rounds)
        figures["all"], _ = timed(path, lambda db: stats.report(db, everything), args.rounds)
        db = sqlite3.connect(path, isolation_level=None)
        drop_indexes(db)
        db.close()
        figures["dashboard, no indexes"], again = timed(
            path, lambda db: stats.report(db, dashboard), args.rounds)
        figures["all, no indexes"], _ = timed(path, lambda db: stats.report(db, everything),
                                              args.rounds)
        assert again["combined"] == shown["combined"]

        funnel = [s["count"] for s in shown["combined"]["funnel"]]
        print(f"dashboard query: fernwick/02, {dashboard.date_from} to {dashboard.date_to}: "
              f"funnel {funnel}, {shown['downloads']['count']} downloads")
        print(f"{'figure':<24}{'median ms':>12}{'x baseline':>12}")
        for name, seconds in figures.items():
            print(f"{name:<24}{seconds * 1000:>12.1f}{seconds / figures['baseline']:>12.2f}")
        print(f"indexes speed the dashboard query up "
              f"{figures['dashboard, no indexes'] / figures['dashboard']:.1f}x and the "
              f"unfiltered one {figures['all, no indexes'] / figures['all']:.1f}x")
    finally:
        if not args.keep and not args.work:
            shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
