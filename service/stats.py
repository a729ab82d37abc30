"""The statistics report of /api/stats: counts, the installation funnel per
product, channel and day, failure reasons and download times.

Pure reads over the events table of store.py, each covered by one of its
indexes: the funnel by (product, channel, name, day) when a product is
chosen and by (name, day, product, channel) otherwise, failures and
download times by partial indexes over the facts computed from "data". Days
are UTC days of the time an event was received.

A report is built on one connection by one thread; it holds no state.
"""

import datetime
import math

from .store import (DOWNLOADS_CONDITION, FAILURE_EVENTS, FAILURES_CONDITION, FUNNEL,
                    looks_like_attribution_id)


# The funnel of the report: the last step is the package's own end, an
# unpacked zip package or a launched installer (a group whose events include
# unpacking is a zip group).
STEPS = ("startup", "download_start", "download_done", "install")
INSTALL_EVENTS = ("unpack_done", "installer_launch")
FUNNEL_EVENTS = ("startup", "download_start", "download_done", "installer_launch",
                 "unpack_done", "unpack_failed")

MAX_CHOICES = 500        # product and channel pairs offered to the dashboard
MAX_REASONS = 50         # failure reasons listed per event
MAX_FILLED_DAYS = 1000   # a longer chosen range lists only the days with events
HIDDEN = "(hidden)"      # stands for a label shaped like an attribution id


class QueryError(ValueError):
    """A query parameter the report cannot use; its text says which."""


class StatsQuery:
    """The filters of one report; None means any."""

    def __init__(self, product=None, channel=None, website=None, date_from=None, date_to=None):
        self.product, self.channel, self.website = product, channel, website
        self.date_from, self.date_to = date_from, date_to

    @classmethod
    def from_params(cls, param):
        """From query parameters product, channel, website, from, to
        (YYYY-MM-DD, inclusive); param(name) answers a value or None."""
        dates = []
        for name in ("from", "to"):
            value = param(name) or None
            if value is not None:
                try:
                    if len(value) != 10:
                        raise ValueError
                    value = datetime.date.fromisoformat(value)
                except ValueError:
                    raise QueryError(f"\"{name}\" is not a date (YYYY-MM-DD)") from None
            dates.append(value)
        if dates[0] and dates[1] and dates[0] > dates[1]:
            raise QueryError("\"from\" is after \"to\"")
        return cls(param("product") or None, param("channel") or None, param("website") or None,
                   dates[0], dates[1])

    def describe(self):
        return {"product": self.product, "channel": self.channel, "website": self.website,
                "from": self.date_from.isoformat() if self.date_from else None,
                "to": self.date_to.isoformat() if self.date_to else None}

    def where(self, names=None, condition=None):
        """SQL conditions and their parameters for these filters and names,
        or a fixed condition on the name (a partial index's)."""
        terms, params = [condition] if condition else [], []
        for column, value in (("product", self.product), ("channel", self.channel),
                              ("website", self.website)):
            if value is not None:
                terms.append(f"{column} = ?")
                params.append(value)
        if names:
            terms.append("name IN (%s)" % ", ".join("?" * len(names)))
            params.extend(names)
        if self.date_from:
            terms.append("day >= ?")
            params.append(_day_number(self.date_from))
        if self.date_to:
            terms.append("day <= ?")
            params.append(_day_number(self.date_to))
        return (" WHERE " + " AND ".join(terms)) if terms else "", params


def report(db, query):
    """The whole /api/stats answer for query over the connection db."""
    result = _counts(db, query)
    result["query"] = query.describe()
    result["steps"] = list(STEPS)
    result.update(_funnels(db, query))
    result["failures"] = _failures(db, query)
    result["downloads"] = _downloads(db, query)
    result["choices"] = _choices(db)
    return result


def _counts(db, query):
    """What /api/stats always answered: counts per event and the
    startup -> installer_launch funnel."""
    where, params = query.where()
    counts = {}
    for name, count in db.execute(f"SELECT name, COUNT(*) FROM events{where} GROUP BY name",
                                  params):
        key = HIDDEN if looks_like_attribution_id(name) else name
        counts[key] = counts.get(key, 0) + count
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


def _funnels(db, query):
    """Per product and channel: the funnel over the range and per day; and
    the same summed over the groups ("combined")."""
    where, params = query.where(FUNNEL_EVENTS)
    per_group = {}  # (product, channel) -> {day: {event: count}}
    for product, channel, name, day, count in db.execute(
            f"SELECT product, channel, name, day, COUNT(*) FROM events{where} "
            "GROUP BY name, day, product, channel", params):
        per_group.setdefault((product, channel), {}).setdefault(day, {})[name] = count
    all_days = [day for days in per_group.values() for day in days]
    day_list = _day_range(query, min(all_days), max(all_days)) if all_days else []

    groups = []
    combined_days = {day: [0] * len(STEPS) for day in day_list}
    for (product, channel), days in sorted(per_group.items()):
        zip_group = any(("unpack_done" in c or "unpack_failed" in c) for c in days.values())
        install_event = "unpack_done" if zip_group else "installer_launch"
        rows = {day: [c.get("startup", 0), c.get("download_start", 0),
                      c.get("download_done", 0), c.get(install_event, 0)]
                for day, c in days.items()}
        total = [sum(row[i] for row in rows.values()) for i in range(len(STEPS))]
        group_days = []
        for day in day_list:
            row = rows.get(day, [0] * len(STEPS))
            combined_days[day] = [a + b for a, b in zip(combined_days[day], row)]
            group_days.append(_day_entry(day, row))
        groups.append({"product": _shown(product), "channel": _shown(channel),
                       "install_event": install_event, "funnel": _funnel(total),
                       "days": group_days})
    combined_total = [sum(g["funnel"][i]["count"] for g in groups) for i in range(len(STEPS))]
    return {"groups": groups,
            "combined": {"funnel": _funnel(combined_total),
                         "days": [_day_entry(day, combined_days[day]) for day in day_list]}}


def _funnel(counts):
    steps = []
    for i, (name, count) in enumerate(zip(STEPS, counts)):
        steps.append({"name": name, "count": count,
                      "share": _share(count, counts[i - 1] if i else count),
                      "of_first": _share(count, counts[0])})
    return steps


def _day_entry(day, counts):
    return {"day": _date(day).isoformat(), "counts": counts,
            "shares": [_share(c, counts[i - 1] if i else c) for i, c in enumerate(counts)]}


def _share(count, of):
    """The share kept (count of of), None when there was nothing to keep."""
    return round(count / of, 4) if of else None


def _day_range(query, first, last):
    """Every day of the chosen range, or of the days with events where the
    range is open or too long to list."""
    lo = _day_number(query.date_from) if query.date_from else first
    hi = _day_number(query.date_to) if query.date_to else last
    if hi - lo >= MAX_FILLED_DAYS:
        lo, hi = first, last
    if hi - lo >= MAX_FILLED_DAYS:
        hi = lo + MAX_FILLED_DAYS - 1
    return list(range(lo, hi + 1))


def _failures(db, query):
    """Counts per failure reason: download_failed by HTTP status and WinHTTP
    error, unpack_failed by zip status, launch_failed by reason and
    error_shown by key. Facts of the wrong type count under None."""
    where, params = query.where(condition=FAILURES_CONDITION)
    fields = {"download_failed": ("status", "error"), "unpack_failed": ("status",),
              "launch_failed": ("reason",), "error_shown": ("key",)}
    kinds = {("download_failed", "status"): int, ("download_failed", "error"): int}
    tallies = {name: {} for name in FAILURE_EVENTS}
    rows = db.execute("SELECT name, fact_status, fact_error, fact_reason, fact_key, COUNT(*) "
                      f"FROM events{where} GROUP BY 1, 2, 3, 4, 5", params)
    for name, status, error, reason, key, count in rows:
        values = {"status": status, "error": error, "reason": reason, "key": key}
        label = tuple(_fact(values[f], kinds.get((name, f), str)) for f in fields[name])
        tallies[name][label] = tallies[name].get(label, 0) + count
    result = {}
    for name, tally in tallies.items():
        ordered = sorted(tally.items(), key=lambda item: (
            -item[1], [(v is None, str(v)) for v in item[0]]))
        result[name] = [dict(zip(fields[name], label), count=count)
                        for label, count in ordered[:MAX_REASONS]]
    return result


def _fact(value, kind):
    if kind is int:
        return value if isinstance(value, int) else None
    if not isinstance(value, str):
        return None
    return _shown(value[:64])


def _downloads(db, query):
    """Median and 90th percentile of the download time (s) and speed
    (bytes/s) of download_done events."""
    where, params = query.where(condition=DOWNLOADS_CONDITION)
    # The facts are numbers or NULL (store.py), and finite: the service
    # takes no JSON it could not write back.
    rows = db.execute(f"SELECT fact_seconds, fact_bytes FROM events{where} "
                      "AND fact_seconds >= 0", params).fetchall()
    seconds = sorted(float(secs) for secs, _ in rows)
    speeds = sorted(size / secs for secs, size in rows
                    if secs > 0 and size is not None and size >= 0)
    return {"count": len(seconds),
            "seconds": {"median": _percentile(seconds, 0.5), "p90": _percentile(seconds, 0.9)},
            "bytes_per_second": {"median": _percentile(speeds, 0.5),
                                 "p90": _percentile(speeds, 0.9)}}


def _percentile(ordered, q):
    """Linear interpolation between the two nearest ranks; None when empty."""
    if not ordered:
        return None
    position = (len(ordered) - 1) * q
    low = math.floor(position)
    high = min(low + 1, len(ordered) - 1)
    value = ordered[low] + (ordered[high] - ordered[low]) * (position - low)
    return round(value, 4)


def _choices(db):
    """The product and channel pairs that have events, for the dashboard's
    controls: one index seek per pair instead of a scan of every event."""
    pairs = []
    row = db.execute("SELECT product, channel FROM events "
                     "ORDER BY product, channel LIMIT 1").fetchone()
    while row is not None and len(pairs) < MAX_CHOICES:
        pairs.append(row)
        product, channel = row
        row = db.execute("SELECT product, channel FROM events WHERE product = ? AND channel > ? "
                         "ORDER BY channel LIMIT 1", (product, channel)).fetchone()
        if row is None:
            row = db.execute("SELECT product, channel FROM events WHERE product > ? "
                             "ORDER BY product, channel LIMIT 1", (product,)).fetchone()
    products = {}
    for product, channel in pairs:
        products.setdefault(_shown(product), []).append(_shown(channel))
    return [{"product": p, "channels": c} for p, c in products.items()]


def _shown(label):
    return HIDDEN if looks_like_attribution_id(label) else label


def _day_number(date):
    return date.toordinal() - datetime.date(1970, 1, 1).toordinal()


def _date(day):
    return datetime.date(1970, 1, 1) + datetime.timedelta(days=day)
