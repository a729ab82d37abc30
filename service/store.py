"""SQLite storage of the service: usage events and issued attribution ids.

One connection shared by the server's threads behind a lock; every write is
committed at once so a stopped service loses nothing it acknowledged.
"""

import json
import os
import sqlite3
import threading
import time

SCHEMA = """
CREATE TABLE IF NOT EXISTS events (
  id INTEGER PRIMARY KEY,
  received_at REAL NOT NULL,
  website TEXT,
  hostname TEXT,
  name TEXT NOT NULL,
  payload TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS events_name ON events (name);
CREATE TABLE IF NOT EXISTS bdvids (
  bdvid TEXT PRIMARY KEY,
  issued_at REAL NOT NULL,
  client TEXT
);
"""

# The installation funnel, in the order a user goes through it.
FUNNEL = ("startup", "installer_launch")


class Store:
    def __init__(self, path):
        if path != ":memory:":
            os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        self._db = sqlite3.connect(path, check_same_thread=False, isolation_level=None)
        self._db.execute("PRAGMA journal_mode=WAL")
        self._db.executescript(SCHEMA)
        self._lock = threading.Lock()

    def close(self):
        with self._lock:
            self._db.close()

    def add_event(self, payload, raw_payload, received_at=None):
        """Stores one event; payload is the decoded "payload" object."""
        with self._lock:
            cursor = self._db.execute(
                "INSERT INTO events (received_at, website, hostname, name, payload) "
                "VALUES (?, ?, ?, ?, ?)",
                (received_at if received_at is not None else time.time(),
                 _text(payload.get("website")), _text(payload.get("hostname")),
                 payload["name"], raw_payload))
            return cursor.lastrowid

    def events(self, name=None):
        with self._lock:
            sql = "SELECT received_at, website, hostname, name, payload FROM events"
            rows = (self._db.execute(sql + " WHERE name = ? ORDER BY id", (name,)) if name
                    else self._db.execute(sql + " ORDER BY id"))
            return [dict(zip(("received_at", "website", "hostname", "name", "payload"), r))
                    for r in rows.fetchall()]

    def stats(self, website=None):
        """Counts per event name and the funnel (each step against the one before)."""
        with self._lock:
            if website:
                rows = self._db.execute(
                    "SELECT name, COUNT(*) FROM events WHERE website = ? GROUP BY name",
                    (website,)).fetchall()
            else:
                rows = self._db.execute(
                    "SELECT name, COUNT(*) FROM events GROUP BY name").fetchall()
        counts = {name: count for name, count in rows}
        funnel = []
        previous = None
        for step in FUNNEL:
            count = counts.get(step, 0)
            entry = {"name": step, "count": count}
            if previous is not None:
                entry["of_previous"] = round(count / previous, 4) if previous else None
            funnel.append(entry)
            previous = count
        return {"total": sum(counts.values()), "events": counts, "funnel": funnel}

    def issue_bdvid(self, bdvid, client):
        with self._lock:
            self._db.execute("INSERT INTO bdvids (bdvid, issued_at, client) VALUES (?, ?, ?)",
                             (bdvid, time.time(), client))


def _text(value):
    if value is None:
        return None
    return value if isinstance(value, str) else json.dumps(value)
