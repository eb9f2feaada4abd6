"""Minimal HTTP/1.1 server side: reads requests byte-exact, writes replies.

The appliance's tests compare what the client sent byte for byte, so the
request head is kept as received, and replies are written by hand so that
faults (cut bodies, dropped connections, odd encodings) can be injected.
"""

import gzip
import socket
import struct
import time
from dataclasses import dataclass, field
from typing import List, Optional, Tuple
from urllib.parse import unquote_to_bytes

MAX_HEAD = 64 * 1024
MAX_BODY = 16 * 1024 * 1024


class BadRequest(Exception):
    """The peer sent something that is not an HTTP request we accept."""


@dataclass
class Request:
    method: str
    target: str
    version: str
    headers: List[Tuple[str, str]]
    head: bytes                      # request line and header lines, as received
    body: bytes
    # The client certificate of the connection ({"subject", "sha1"}), or None.
    client_cert: Optional[dict] = None

    @property
    def origin_target(self) -> str:
        """The target in origin form: a client behind a proxy may send the
        absolute form ("https://host:port/path?query"), which a server must
        accept as well."""
        t = self.target
        if t.startswith(("http://", "https://")):
            rest = t.split("://", 1)[1]
            cut = min((i for i in (rest.find("/"), rest.find("?")) if i >= 0), default=-1)
            if cut < 0:
                return "/"
            return rest[cut:] if rest[cut] == "/" else "/" + rest[cut:]
        return t

    @property
    def path(self) -> str:
        return self.origin_target.split("?", 1)[0]

    @property
    def query(self) -> str:
        t = self.origin_target
        return t.split("?", 1)[1] if "?" in t else ""

    def header(self, name: str) -> Optional[str]:
        lname = name.lower()
        for k, v in self.headers:
            if k.lower() == lname:
                return v
        return None

    def cookie(self, name: str) -> Optional[str]:
        """The value of cookie `name` from the Cookie header, exact name match."""
        for header, raw in self.headers:
            if header.lower() != "cookie":
                continue
            for piece in raw.split(";"):
                k, sep, v = piece.strip().partition("=")
                if sep and k == name:
                    return v
        return None

    def form(self) -> "Form":
        return Form(self.body)

    def query_form(self) -> "Form":
        return Form(self.query.encode("latin-1"))

    def keep_alive(self) -> bool:
        conn = (self.header("Connection") or "").lower()
        if self.version == "HTTP/1.0":
            return conn == "keep-alive"
        return conn != "close"


class Form:
    """An application/x-www-form-urlencoded text, pairs kept in order.

    The client percent-encodes every byte but letters and digits and never
    writes a blank as "+", so "+" is taken literally.
    """

    def __init__(self, raw: bytes):
        self.pairs: List[Tuple[str, str]] = []
        if raw:
            for item in raw.split(b"&"):
                k, _, v = item.partition(b"=")
                self.pairs.append((_decode(k), _decode(v)))

    def get(self, name: str, default: Optional[str] = None) -> Optional[str]:
        for k, v in self.pairs:
            if k == name:
                return v
        return default

    def has(self, name: str) -> bool:
        return any(k == name for k, _ in self.pairs)

    def names(self) -> List[str]:
        return [k for k, _ in self.pairs]


def _decode(raw: bytes) -> str:
    return unquote_to_bytes(raw).decode("utf-8", errors="replace")


def read_request(rfile) -> Optional[Request]:
    """Reads one request; None on a clean end of stream before any byte."""
    head = b""
    while True:
        line = rfile.readline(MAX_HEAD + 1)
        if not line:
            if head:
                raise BadRequest("connection closed inside the request head")
            return None
        if not head and line in (b"\r\n", b"\n"):
            continue                 # tolerate blank lines between requests
        head += line
        if len(head) > MAX_HEAD:
            raise BadRequest("request head too long")
        if line in (b"\r\n", b"\n"):
            break
    lines = head.split(b"\r\n") if b"\r\n" in head else head.split(b"\n")
    parts = lines[0].decode("latin-1").split(" ")
    if len(parts) != 3 or not parts[2].startswith("HTTP/"):
        raise BadRequest("bad request line %r" % lines[0][:200])
    method, target, version = parts
    headers = []
    for raw in lines[1:]:
        if not raw:
            continue
        name, sep, value = raw.decode("latin-1").partition(":")
        if not sep or not name or name != name.strip():
            raise BadRequest("bad header line %r" % raw[:200])
        headers.append((name, value.strip(" \t")))
    req = Request(method, target, version, headers, head, b"")
    te = (req.header("Transfer-Encoding") or "").lower()
    if te == "chunked":
        req.body = _read_chunked(rfile)
    else:
        length_text = req.header("Content-Length")
        if length_text is not None:
            if not _is_decimal(length_text):
                raise BadRequest("bad Content-Length %r" % length_text)
            length = int(length_text)
            if length > MAX_BODY:
                raise BadRequest("request body too long")
            req.body = _read_exact(rfile, length)
    return req


def _is_decimal(text: str) -> bool:
    """ASCII digits only (str.isdigit() also passes "²", which int() refuses)."""
    return bool(text) and text.isascii() and text.isdigit()


_HEX = frozenset(b"0123456789abcdefABCDEF")


def _chunk_size(line: bytes) -> int:
    """The size of a chunk-size line: hex digits only (int() would also take a
    sign, "0x" or "_", and a negative size would read to the end of the stream)."""
    digits = line.split(b";")[0].strip()
    if not digits or len(digits) > 8 or any(c not in _HEX for c in digits):
        raise BadRequest("bad chunk size %r" % line[:100])
    return int(digits, 16)


def _read_exact(rfile, length: int) -> bytes:
    data = rfile.read(length)
    if len(data) != length:
        raise BadRequest("connection closed inside the request body")
    return data


def _read_chunked(rfile) -> bytes:
    body = b""
    while True:
        size = _chunk_size(rfile.readline(1024))
        if size == 0:
            while rfile.readline(1024) not in (b"\r\n", b"\n", b""):
                pass
            return body
        if len(body) + size > MAX_BODY:
            raise BadRequest("request body too long")
        body += _read_exact(rfile, size)
        rfile.readline(16)


REASONS = {200: "OK", 302: "Found", 400: "Bad Request", 403: "Forbidden",
           404: "Not Found", 407: "Proxy Authentication Required",
           500: "Internal Server Error", 503: "Service Unavailable"}


@dataclass
class Reply:
    status: int = 200
    headers: List[Tuple[str, str]] = field(default_factory=list)
    body: bytes = b""
    content_type: str = "text/html; charset=utf-8"

    def add(self, name: str, value: str) -> "Reply":
        self.headers.append((name, value))
        return self

    def text(self, body: str) -> "Reply":
        self.body = body.encode("utf-8")
        return self


KEEP, CLOSE, RESET = "keep", "close", "reset"


def write_reply(sock, reply: Reply, fault: Optional[dict], keep_alive: bool) -> str:
    """Writes `reply` with `fault` applied; returns how the connection goes on:
    KEEP (next request), CLOSE (orderly end) or RESET (abort, no TLS close)."""
    fault = fault or {}
    if fault.get("delay"):
        time.sleep(float(fault["delay"]))
    if fault.get("drop"):
        return RESET if fault["drop"] == "reset" else CLOSE
    status = int(fault.get("status", reply.status))
    body = reply.body
    if "body" in fault:
        body = str(fault["body"]).encode("utf-8")
    headers = [(k, v) for k, v in reply.headers
               if k.lower() not in {h.lower() for h in fault.get("omit_headers", [])}]
    headers += [tuple(h) for h in fault.get("headers", [])]
    if fault.get("gzip"):
        body = gzip.compress(body)
        headers.append(("Content-Encoding", "gzip"))
    pad = int(fault.get("oversize", 0))
    chunked = bool(fault.get("chunked"))
    total = len(body) + pad
    head = "HTTP/1.1 %d %s\r\n" % (status, REASONS.get(status, "Status"))
    for k, v in headers:
        head += "%s: %s\r\n" % (k, v)
    head += "Content-Type: %s\r\n" % reply.content_type
    if chunked:
        head += "Transfer-Encoding: chunked\r\n"
    else:
        head += "Content-Length: %d\r\n" % total
    if not keep_alive:
        head += "Connection: close\r\n"
    head += "\r\n"
    sock.sendall(head.encode("latin-1"))
    if "truncate" in fault:
        sock.sendall(body[:int(fault["truncate"])])
        return CLOSE
    if chunked:
        for i in range(0, len(body), 1024):
            piece = body[i:i + 1024]
            sock.sendall(b"%x\r\n" % len(piece) + piece + b"\r\n")
        sock.sendall(b"0\r\n\r\n")
    else:
        sock.sendall(body)
        _send_padding(sock, pad)
    if fault.get("close_after") or not keep_alive:
        return CLOSE
    return KEEP


def _send_padding(sock, count: int) -> None:
    block = b"x" * 65536
    while count > 0:
        n = min(count, len(block))
        sock.sendall(block[:n])
        count -= n


def end_connection(sock, rfile, how: str) -> None:
    """Ends the connection at once. RESET sends a TCP reset and no TLS
    close_notify; CLOSE shuts both directions down first."""
    try:
        if how == RESET:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        else:
            sock.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass
    rfile.close()
    sock.close()
