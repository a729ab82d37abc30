"""Fault injection for tests, chosen per request.

Query switches (stripped before the request is routed), or rules set through
the admin endpoint for the next requests to a path:

  fault_status=N    answer with status N (and a short JSON error body)
  fault_delay=MS    wait MS milliseconds before sending the headers
  fault_chunked=1   no Content-Length: send the body chunked
  fault_slow=MS     send the body in 1 KiB pieces, MS milliseconds apart
  fault_drop=N      drop the connection after N body bytes
  fault_drop_at=N   drop a package answer when it reaches byte N of the file
                    (a ranged answer that starts at or after N is whole)
  fault_malformed=1 replace a JSON body by a malformed one
"""

import threading
import urllib.parse

SWITCHES = {
    "fault_status": int,
    "fault_delay": int,
    "fault_chunked": int,
    "fault_slow": int,
    "fault_drop": int,
    "fault_drop_at": int,
    "fault_malformed": int,
}


class Faults:
    def __init__(self, status=None, delay=0, chunked=False, slow=0, drop=None, malformed=False,
                 drop_at=None):
        self.status = status
        self.delay = delay
        self.chunked = chunked
        self.slow = slow
        self.drop = drop
        self.malformed = malformed
        self.drop_at = drop_at

    def __bool__(self):
        return bool(self.status or self.delay or self.chunked or self.slow or
                    self.drop is not None or self.malformed or self.drop_at is not None)

    @classmethod
    def from_values(cls, values):
        """values: switch name (with or without "fault_") to value. Raises ValueError."""
        f = cls()
        for key, raw in values.items():
            name = key if key.startswith("fault_") else "fault_" + key
            if name not in SWITCHES:
                raise ValueError(f"unknown fault {key!r}")
            value = SWITCHES[name](raw)
            if value < 0:
                raise ValueError(f"negative fault value {key!r}")
            attr = name[len("fault_"):]
            if attr in ("chunked", "malformed"):
                value = bool(value)
            if attr == "status" and not 100 <= value <= 599:
                raise ValueError("fault_status must be 100..599")
            setattr(f, attr, value)
        return f

    def merge(self, other):
        for attr in ("status", "delay", "chunked", "slow", "drop", "malformed", "drop_at"):
            value = getattr(other, attr)
            if value not in (None, 0, False):
                setattr(self, attr, value)
        return self

    def for_range(self, start, end):
        """The faults for an answer carrying bytes start..end of a file: a drop_at
        inside that span becomes a drop after the bytes before it."""
        if self.drop_at is None or not start < self.drop_at <= end:
            return self
        cut = self.drop_at - start
        faults = Faults(self.status, self.delay, self.chunked, self.slow, self.drop,
                        self.malformed)
        faults.drop = cut if faults.drop is None else min(faults.drop, cut)
        return faults


def split_query(query):
    """(query without fault switches, Faults from them). Raises ValueError."""
    pairs = urllib.parse.parse_qsl(query, keep_blank_values=True)
    plain = [(k, v) for k, v in pairs if k not in SWITCHES]
    switches = {k: v for k, v in pairs if k in SWITCHES}
    return urllib.parse.urlencode(plain), Faults.from_values(switches)


class FaultRules:
    """Faults queued by the admin endpoint for the next requests to a path."""

    def __init__(self):
        self._lock = threading.Lock()
        self._rules = []  # [path, Faults, remaining count or None for always]

    def add(self, path, faults, times):
        with self._lock:
            self._rules.append([path, faults, times])

    def clear(self):
        with self._lock:
            self._rules.clear()

    def describe(self):
        with self._lock:
            return [{"path": p, "faults": {k: v for k, v in vars(f).items()
                                           if v not in (None, 0, False)}, "times": t}
                    for p, f, t in self._rules]

    def take(self, path):
        """The faults that apply to one request to path (consuming counted rules)."""
        result = Faults()
        with self._lock:
            for rule in list(self._rules):
                if rule[0] != path:
                    continue
                result.merge(rule[1])
                if rule[2] is not None:
                    rule[2] -= 1
                    if rule[2] <= 0:
                        self._rules.remove(rule)
        return result
