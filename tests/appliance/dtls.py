"""The appliance's DTLS service for the voice, with the native relay.

The relay (corvisk_dtls_relay, built in the native tree from dtls_relay.cpp
against the system's OpenSSL) terminates DTLS 1.0-1.2 on UDP port 4433 of
127.0.0.1 and ::1 with the appliance's certificate and hands every record of
every session over one loopback TCP connection, the bridge, to this module,
which routes them.

A session's first record is the 258-byte hello: byte 0 is 0, byte 1 is 1
for a listener and 0 for a speaker, then the client's session id and its
launch-parameter string, each zero-padded to 128 bytes. The session id must
be one with a control tunnel: its meeting is that tunnel's. A speaker's
sound records (type byte 2-122) go to every listener session of the same
meeting but its own; a listener's acknowledgements (0x7F) and either side's
good-bye (0x01) are counted. Anything else is dropped; a session whose hello
is wrong is ended.

Fault switches (control.py: POST /__control/dtls), applied by the relay to
the datagrams of every session:
  "drop_up"    share (0-1) of the clients' datagrams lost
  "drop_down"  share (0-1) of the relay's datagrams lost
  "delay_ms"   every datagram, either way, held back this long
  "reorder"    true: every second datagram to a client is held back until
               the next one to it has gone (or half a second has passed)
  "refuse"     true: new handshakes end with a fatal handshake_failure alert
  "silent"     true: nothing goes in or out (the service stops answering)
"""

import os
import socket
import struct
import subprocess
import sys
import threading
from typing import Dict, Optional

HELLO_SIZE = 258
FIELD = 128
ACK, BYE = 0x7F, 0x01
FAULT_KEYS = {"drop_up": float, "drop_down": float, "delay_ms": int,
              "reorder": bool, "refuse": bool, "silent": bool}


def default_relay() -> str:
    """The relay of the native tree beside this checkout, or $CORVISK_DTLS_RELAY."""
    here = os.path.dirname(os.path.abspath(__file__))
    build = os.environ.get("CORVISK_BUILD") or os.path.join(here, "..", "..", "build")
    return os.environ.get("CORVISK_DTLS_RELAY") or os.path.join(
        build, "native", "tests", "appliance", "corvisk_dtls_relay")


def validate_faults(faults) -> dict:
    if not isinstance(faults, dict):
        raise ValueError("DTLS faults are a JSON object")
    unknown = set(faults) - set(FAULT_KEYS)
    if unknown:
        raise ValueError("unknown DTLS fault keys %s" % sorted(unknown))
    out = {}
    for key, kind in FAULT_KEYS.items():
        value = faults.get(key, kind())
        if kind is bool:
            if not isinstance(value, bool):
                raise ValueError("%s is true or false" % key)
        elif isinstance(value, bool) or not isinstance(value, (int, float)):
            raise ValueError("%s is a number" % key)
        elif kind is float and not 0 <= value <= 1:
            raise ValueError("%s is a share from 0 to 1" % key)
        elif kind is int and not (float(value).is_integer() and 0 <= value <= 60000):
            raise ValueError("%s is a whole number of milliseconds up to 60000" % key)
        out[key] = kind(value)
    return out


def _cstr(raw: bytes) -> str:
    return raw.split(b"\0", 1)[0].decode("utf-8", "replace")


class _Session:
    def __init__(self, number: int, peer: str):
        self.number = number
        self.peer = peer
        self.session = ""
        self.meeting = ""
        self.listener = False
        self.hello = False
        self.records_in = 0
        self.records_out = 0
        self.acks = 0
        self.good_bye = False


class DtlsService:
    """Starts the relay and routes what it hands over; meeting_of maps a
    session id to the meeting of its control tunnel."""

    def __init__(self, meeting_of, cert: str, key: str, relay: str, port: int = 4433):
        self.meeting_of = meeting_of
        self.cert, self.key, self.relay, self.port = cert, key, relay, port
        self.lock = threading.Lock()
        self.sessions: Dict[int, _Session] = {}
        self.faults = validate_faults({})
        self.addresses = ""
        self.routed = 0
        self.proc: Optional[subprocess.Popen] = None
        self.link: Optional[socket.socket] = None
        self.send_lock = threading.Lock()
        self.stopping = False
        self.faults_applied = threading.Event()

    def start(self, timeout: float = 10.0) -> Optional[str]:
        """None once the relay listens, else why not."""
        if not os.access(self.relay, os.X_OK):
            return "no relay program at %s" % self.relay
        listener = socket.create_server(("127.0.0.1", 0))
        listener.settimeout(timeout)
        env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
        try:
            self.proc = subprocess.Popen(
                [self.relay, "--cert", self.cert, "--key", self.key,
                 "--bridge", str(listener.getsockname()[1]), "--port", str(self.port)],
                stdin=subprocess.DEVNULL, env=env)
            self.link, _ = listener.accept()
            self.link.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            self.link.settimeout(timeout)
            kind, _, data = self._read_frame()
        except (OSError, socket.timeout, EOFError) as e:
            self.stop()
            return "the relay did not start: %s" % e
        finally:
            listener.close()
        if kind != b"R":
            self.stop()
            return "the relay did not start (no ready frame)"
        self.addresses = data.decode("ascii", "replace")
        self.link.settimeout(None)
        threading.Thread(target=self._serve, daemon=True).start()
        return None

    def stop(self) -> None:
        self.stopping = True
        if self.link is not None:
            # A shutdown reaches the relay even while the reading thread
            # still holds the socket.
            try:
                self.link.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            self.link.close()
        if self.proc is not None:
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def set_faults(self, faults) -> None:
        """Returns once the relay applies them to the next datagram."""
        checked = validate_faults(faults)
        with self.lock:
            self.faults = checked
        text = " ".join("%s=%s" % (k, int(v) if isinstance(v, bool) else v) for k, v in checked.items())
        self.faults_applied.clear()
        self._send(b"F", 0, text.encode("ascii"))
        if not self.faults_applied.wait(5):
            raise OSError("the relay did not take the faults")

    def snapshot(self) -> dict:
        with self.lock:
            return {"running": self.proc is not None and self.proc.poll() is None,
                    "port": self.port, "addresses": self.addresses,
                    "faults": dict(self.faults), "routed": self.routed,
                    "sessions": [{"number": s.number, "peer": s.peer, "session": s.session,
                                  "meeting": s.meeting, "listener": s.listener,
                                  "records_in": s.records_in, "records_out": s.records_out,
                                  "acks": s.acks, "good_bye": s.good_bye}
                                 for s in self.sessions.values()]}

    # ------------------------------------------------------------ the bridge

    def _read_exact(self, n: int) -> bytes:
        buf = b""
        while len(buf) < n:
            chunk = self.link.recv(n - len(buf))
            if not chunk:
                raise EOFError("the relay closed the bridge")
            buf += chunk
        return buf

    def _read_frame(self):
        kind, number, length = struct.unpack(">cII", self._read_exact(9))
        return kind, number, self._read_exact(length)

    def _send(self, kind: bytes, number: int, data: bytes) -> None:
        if self.link is None:
            return
        with self.send_lock:
            try:
                self.link.sendall(struct.pack(">cII", kind, number, len(data)) + data)
            except OSError:
                pass

    def _serve(self) -> None:
        try:
            while True:
                kind, number, data = self._read_frame()
                if kind == b"O":
                    with self.lock:
                        self.sessions[number] = _Session(number, data.decode("ascii", "replace"))
                elif kind == b"D":
                    self._record(number, data)
                elif kind == b"E":
                    with self.lock:
                        self.sessions.pop(number, None)
                elif kind == b"F":
                    self.faults_applied.set()
        except (OSError, EOFError) as e:
            if not self.stopping:
                print("dtls: the relay is gone: %s" % e, file=sys.stderr)

    def _record(self, number: int, data: bytes) -> None:
        refused = False
        targets = []
        with self.lock:
            s = self.sessions.get(number)
            if s is None:
                return
            s.records_in += 1
            if not s.hello:
                refused = not self._hello(s, data)
            elif data and data[0] == ACK:
                s.acks += 1
            elif data and data[0] == BYE:
                s.good_bye = True
            elif data and not s.listener and 2 <= data[0] <= 122:
                targets = [t for t in self.sessions.values()
                           if t.hello and t.listener and t.meeting == s.meeting and t.session != s.session]
                for t in targets:
                    t.records_out += 1
                self.routed += len(targets)
        if refused:
            self._send(b"E", number, b"")
        for t in targets:
            self._send(b"D", t.number, data)

    def _hello(self, s: _Session, data: bytes) -> bool:
        """Under self.lock: false (and the session forgotten) when the
        first record is no hello of a meeting's session."""
        session = _cstr(data[2:2 + FIELD]) if len(data) == HELLO_SIZE else ""
        meeting = self.meeting_of(session) if session else None
        if len(data) != HELLO_SIZE or data[0] != 0 or data[1] not in (0, 1) or not meeting:
            print("dtls: session %d from %s ended: no hello of a meeting's session" % (s.number, s.peer),
                  file=sys.stderr)
            del self.sessions[s.number]
            return False
        s.hello = True
        s.listener = data[1] == 1
        s.session = session
        s.meeting = meeting
        return True
