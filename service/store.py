"""SQLite storage of the service: usage events and issued attribution ids.

One connection shared by the server's threads behind a lock; every write is
committed at once so a stopped service loses nothing it acknowledged.
Reports read on connections of their own (reader()).
"""

import contextlib
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
  payload TEXT NOT NULL,
  product TEXT NOT NULL DEFAULT '',
  channel TEXT NOT NULL DEFAULT '',
  data TEXT
);
CREATE TABLE IF NOT EXISTS bdvids (
  bdvid TEXT PRIMARY KEY,
  issued_at REAL NOT NULL,
  client TEXT
);
"""


def _fact(member, types):
    """A member of data when it has one of the JSON types, else NULL."""
    kinds = ", ".join(f"'{t}'" for t in types)
    return (f"CASE WHEN json_valid(data) AND json_type(data, '$.{member}') IN ({kinds}) "
            f"THEN json_extract(data, '$.{member}') END")


# Columns the statistics read (stats.py), computed from received_at and
# "data" when an event is stored (the trigger below) so that the indexes hold
# them and a report reads indexes alone, parsing no JSON.
FACTS = (
    ("day", "CAST(received_at / 86400 AS INTEGER)"),  # UTC day number
    ("fact_status", _fact("status", ("text", "integer"))),
    ("fact_error", _fact("error", ("text", "integer"))),
    ("fact_reason", _fact("reason", ("text", "integer"))),
    ("fact_key", _fact("key", ("text", "integer"))),
    ("fact_seconds", _fact("seconds", ("integer", "real"))),
    ("fact_bytes", _fact("bytes", ("integer", "real"))),
)
SET_FACTS = "UPDATE events SET " + ", ".join(f"{c} = {sql}" for c, sql in FACTS)

FAILURE_EVENTS = ("download_failed", "unpack_failed", "launch_failed", "error_shown")
# The partial indexes' conditions; a query uses such an index only when its
# own WHERE repeats the condition word for word.
FAILURES_CONDITION = "name IN (%s)" % ", ".join(f"'{n}'" for n in FAILURE_EVENTS)
DOWNLOADS_CONDITION = "name = 'download_done'"

# The trigger fills the facts. Every report's read is covered by one of the
# indexes: the funnel's by the first two (a chosen product and channel, or
# across them), failures' and download times' by the partial ones.
INDEXES = f"""
CREATE TRIGGER IF NOT EXISTS events_facts AFTER INSERT ON events BEGIN
  {SET_FACTS} WHERE id = NEW.id;
END;
DROP INDEX IF EXISTS events_name;
CREATE INDEX IF NOT EXISTS events_group ON events (product, channel, name, day);
CREATE INDEX IF NOT EXISTS events_name_day ON events (name, day, product, channel);
CREATE INDEX IF NOT EXISTS events_failures ON events
  (name, day, product, channel, fact_status, fact_error, fact_reason, fact_key)
  WHERE {FAILURES_CONDITION};
CREATE INDEX IF NOT EXISTS events_downloads ON events
  (name, day, product, channel, fact_seconds, fact_bytes) WHERE {DOWNLOADS_CONDITION};
"""

# Columns later versions added to a database file made by an earlier one.
# The product and channel columns start empty: earlier events carried none.
# The data column is taken from the stored payload, the facts from the data.
MIGRATIONS = (
    ("product", "ALTER TABLE events ADD COLUMN product TEXT NOT NULL DEFAULT ''"),
    ("channel", "ALTER TABLE events ADD COLUMN channel TEXT NOT NULL DEFAULT ''"),
    ("data", "ALTER TABLE events ADD COLUMN data TEXT",
     "UPDATE events SET data = json_quote(json_extract(payload, '$.data')) "
     "WHERE json_valid(payload) AND json_type(payload, '$.data') IS NOT NULL"),
    # Typeless: a fact keeps the JSON type it came with.
    ("day",) + tuple(f"ALTER TABLE events ADD COLUMN {c}" for c, _ in FACTS) + (SET_FACTS,),
)

# The installation funnel, in the order a user goes through it.
FUNNEL = ("startup", "installer_launch")

# Longest product or channel name kept in its own column.
MAX_LABEL = 64


class Store:
    def __init__(self, path):
        if path != ":memory:":
            os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        self._db = sqlite3.connect(path, check_same_thread=False, isolation_level=None)
        self._use_wal()
        self._db.executescript(SCHEMA)
        self._migrate()
        self._db.executescript(INDEXES)
        self.path = path
        self._lock = threading.Lock()

    def _use_wal(self):
        # Switching the journal needs the file to itself and SQLite answers
        # "locked" at once, without waiting, while another service opening the
        # same file holds it: try again for a while.
        deadline = time.monotonic() + 10
        while True:
            try:
                self._db.execute("PRAGMA journal_mode=WAL")
                return
            except sqlite3.OperationalError as e:
                if "locked" not in str(e) or time.monotonic() > deadline:
                    raise
                time.sleep(0.02)

    def _migrate(self):
        # The columns are read inside the write transaction: another service
        # opening the same file may be migrating it at this moment.
        self._db.execute("BEGIN IMMEDIATE")
        try:
            columns = {row[1] for row in self._db.execute("PRAGMA table_xinfo(events)")}
            missing = [m for m in MIGRATIONS if m[0] not in columns]
            for _, *statements in missing:
                for sql in statements:
                    self._db.execute(sql)
            self._db.execute("COMMIT")
        except BaseException:
            self._db.execute("ROLLBACK")
            raise

    def close(self):
        with self._lock:
            self._db.close()

    def add_event(self, payload, raw_payload, received_at=None, product=None, channel=None):
        """Stores one event; payload is the decoded "payload" object.

        Its "data" is kept as JSON text as it came. product and channel (the
        request's query parameters), else "product" and "channel" beside
        "website", else inside "data", file the event under its product and
        channel for the statistics.
        """
        data = payload.get("data")
        facts = data if isinstance(data, dict) else {}
        if product is None:
            product = payload.get("product", facts.get("product"))
        if channel is None:
            channel = payload.get("channel", facts.get("channel"))
        row = (received_at if received_at is not None else time.time(),
               _text(payload.get("website")), _text(payload.get("hostname")),
               payload["name"], raw_payload, _label(product), _label(channel),
               None if "data" not in payload else json.dumps(data, ensure_ascii=False,
                                                            allow_nan=False))
        with self._lock:
            cursor = self._db.execute(
                "INSERT INTO events (received_at, website, hostname, name, payload, product, "
                "channel, data) VALUES (?, ?, ?, ?, ?, ?, ?, ?)", row)
            return cursor.lastrowid

    def events(self, name=None):
        with self._lock:
            sql = "SELECT received_at, website, hostname, name, payload FROM events"
            rows = (self._db.execute(sql + " WHERE name = ? ORDER BY id", (name,)) if name
                    else self._db.execute(sql + " ORDER BY id"))
            return [dict(zip(("received_at", "website", "hostname", "name", "payload"), r))
                    for r in rows.fetchall()]

    @contextlib.contextmanager
    def reader(self):
        """A connection for a report (stats.py), with one snapshot throughout.

        A file database is read on a connection of the report's own, so a
        long report never holds up the events being stored meanwhile.
        """
        if self.path == ":memory:":
            with self._lock:
                yield self._db
            return
        db = sqlite3.connect(self.path, isolation_level=None)
        try:
            db.execute("BEGIN")
            yield db
        finally:
            db.close()

    def issue_bdvid(self, bdvid, client):
        with self._lock:
            self._db.execute("INSERT INTO bdvids (bdvid, issued_at, client) VALUES (?, ?, ?)",
                             (bdvid, time.time(), client))


def looks_like_attribution_id(text):
    """The shape of the ids /api/get-bdvid hands out: never shown in reports."""
    return len(text) == 16 and all(c in "0123456789abcdefABCDEF" for c in text)


def _label(value):
    """A product or channel name fit for its column, or "" for none."""
    if not isinstance(value, str) or len(value) > MAX_LABEL or looks_like_attribution_id(value):
        return ""
    return value


def _text(value):
    if value is None:
        return None
    return value if isinstance(value, str) else json.dumps(value)
