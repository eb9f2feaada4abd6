"""Fault switches: how the appliance misbehaves for a matching request.

A fault is a JSON object. Matching keys (all optional; all given must match):
  "path"     exact request path, e.g. "/cgi-bin/userLogin"
  "method"   "GET" or "POST"
  "match"    substring of the query or the body (e.g. "submitter=joinmeeting")
  "count"    applies this many times (1 or more), then is removed (default:
             until cleared)
Effect keys (applied to the normal reply; the CGI handler still runs, so the
request counts as having reached the appliance, unless "skip_handler" is true):
  "status"        HTTP status code of the reply (e.g. 500, 404, 407)
  "body"          text that replaces the reply body (error replies, wrong markers)
  "omit_headers"  header names left out (missing markers: "Set-Cookie", "serverversion")
  "headers"       [[name, value], ...] added to the reply
  "truncate"      send only this many body bytes of the announced length, then close
  "oversize"      append this many padding bytes ("x") to the body
  "gzip"          compress the body and say "Content-Encoding: gzip"
  "chunked"       send the body with "Transfer-Encoding: chunked"
  "delay"         seconds to wait before the reply (slow appliance)
  "drop"          "close" or "reset": end the connection with no reply
  "close_after"   close the connection after a complete reply
  "skip_handler"  true: the CGI handler is not run (no state change)
  "expire_session" true: the request's session is expired before it is handled
"""

import threading
from typing import List, Optional

MATCH_KEYS = {"path", "method", "match", "count"}
EFFECT_KEYS = {"status", "body", "omit_headers", "headers", "truncate", "oversize",
               "gzip", "chunked", "delay", "drop", "close_after", "skip_handler",
               "expire_session"}


class FaultError(ValueError):
    pass


def validate(fault) -> dict:
    if not isinstance(fault, dict):
        raise FaultError("a fault is a JSON object")
    unknown = set(fault) - MATCH_KEYS - EFFECT_KEYS
    if unknown:
        raise FaultError("unknown fault keys %s" % sorted(unknown))
    if "drop" in fault and fault["drop"] not in ("close", "reset"):
        raise FaultError('"drop" is "close" or "reset"')
    for key in ("status", "truncate", "oversize"):
        if key in fault and (not _is_int(fault[key]) or fault[key] < 0):
            raise FaultError("%s must be a non-negative integer" % key)
    if "count" in fault and (not _is_int(fault["count"]) or fault["count"] < 1):
        raise FaultError("count must be a positive integer")
    if "delay" in fault and (not isinstance(fault["delay"], (int, float))
                             or isinstance(fault["delay"], bool) or not 0 <= fault["delay"] <= 600):
        raise FaultError("delay must be a number of seconds from 0 to 600")
    if "body" in fault and not isinstance(fault["body"], str):
        raise FaultError("body must be a text")
    if "omit_headers" in fault and not _strings(fault["omit_headers"]):
        raise FaultError("omit_headers must be a list of header names")
    if "headers" in fault and not (isinstance(fault["headers"], list) and all(
            isinstance(h, list) and len(h) == 2 and _strings(h) for h in fault["headers"])):
        raise FaultError("headers must be a list of [name, value] pairs")
    return dict(fault)


def _is_int(value) -> bool:
    return isinstance(value, int) and not isinstance(value, bool)


def _strings(value) -> bool:
    return isinstance(value, list) and all(isinstance(v, str) for v in value)


class FaultSet:
    def __init__(self, faults: Optional[List[dict]] = None):
        self._lock = threading.Lock()
        self._faults: List[dict] = []
        for f in faults or []:
            self.add(f)

    def add(self, fault) -> None:
        f = validate(fault)
        with self._lock:
            self._faults.append(f)

    def clear(self) -> None:
        with self._lock:
            self._faults.clear()

    def list(self) -> List[dict]:
        with self._lock:
            return [dict(f) for f in self._faults]

    def take(self, method: str, path: str, query: str, body: bytes) -> Optional[dict]:
        """The first fault that matches this request; counts it down."""
        haystack = query.encode("latin-1", errors="replace") + b"\n" + body
        with self._lock:
            for f in self._faults:
                if "path" in f and f["path"] != path:
                    continue
                if "method" in f and f["method"] != method:
                    continue
                if "match" in f and str(f["match"]).encode("utf-8") not in haystack:
                    continue
                if "count" in f:
                    f["count"] -= 1
                    if f["count"] <= 0:
                        self._faults.remove(f)
                return {k: v for k, v in f.items() if k in EFFECT_KEYS}
        return None
