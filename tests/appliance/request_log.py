"""Records every request the appliance received, one JSON object a line.

Fields of a record:
  seq        1, 2, 3 ... in arrival order
  time       seconds since the epoch
  conn       connection number (requests on one kept-alive connection share it)
  method, target, path, query, version
  headers    [[name, value], ...] in the order received
  head       request line and header lines as received (latin-1 text, CRLFs kept)
  body       the body bytes as latin-1 text (each byte one character)
  body_hex   the body bytes in lower-case hexadecimal
  fault      the fault applied to the reply, or null
  client_cert  the connection's client certificate, {"subject": "/O=.../CN=...",
             "sha1": lower-case hex}, or null
"""

import json
import threading
import time
from typing import List, Optional


class RequestLog:
    def __init__(self, path: Optional[str] = None):
        self._lock = threading.Lock()
        self._records: List[dict] = []
        self._path = path
        self._file = open(path, "w", encoding="ascii") if path else None

    def record(self, conn: int, req, fault: Optional[dict]) -> dict:
        with self._lock:
            rec = {
                "seq": len(self._records) + 1,
                "time": time.time(),
                "conn": conn,
                "method": req.method,
                "target": req.target,
                "path": req.path,
                "query": req.query,
                "version": req.version,
                "headers": [list(h) for h in req.headers],
                "head": req.head.decode("latin-1"),
                "body": req.body.decode("latin-1"),
                "body_hex": req.body.hex(),
                "fault": fault,
                "client_cert": req.client_cert,
            }
            self._records.append(rec)
            if self._file:
                self._file.write(json.dumps(rec) + "\n")
                self._file.flush()
            return rec

    def records(self) -> List[dict]:
        with self._lock:
            return list(self._records)

    def clear(self) -> None:
        """Forgets the records; the file is emptied too, so both stay alike."""
        with self._lock:
            self._records.clear()
            if self._file:
                self._file.seek(0)
                self._file.truncate()
                self._file.flush()

    def close(self) -> None:
        with self._lock:
            if self._file:
                self._file.close()
                self._file = None
