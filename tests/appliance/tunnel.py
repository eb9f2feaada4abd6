"""The meeting tunnel of the local appliance.

A client opens TLS to the appliance's HTTPS port and sends, inside TLS, one
service request:

  CONNECT localhost:-N HTTP/1.0
  X-SSLVPN-PROTOCOL: 2.0
  X-SSLVPN-SERVICE: PL_CONTROL | PL-HOST | PL-PARTICIPANT
  User-Agent: ...
  Proxy-Authorization: <the client's session id>

No reply follows: from then on both sides send tunnel frames (big-endian
16-bit tag, big-endian 16-bit length, data). Selectors: -3 (coordinator) and
-4 on PL_CONTROL, -1 on PL-HOST, -2 on PL-PARTICIPANT.

On the control tunnel the client's first frame is the 298-byte hello (tag
bytes 0xBB 0xAA, a PLP_HELLO packet naming the meeting, the display name and
the session id). Every later frame tagged 0xAABB carries a piece of the
client's meeting-packet stream. Packets are relayed (APPLIANCE.md):
  - two-name requests (11-13, 18-22) only to the session named second;
  - state changes (2-6, 9, 10, 23) change the meeting and go, as a bare
    header, to everyone including the sender (4 sets the named participant's
    caller role and permission bits; 10 ends the meeting, whose participant
    list then answers "invalid meeting"); the sharing states of 2, 3 and 5
    follow sharing.py;
  - a rename (24) is answered to its sender alone: 26 when done, 25 (and no
    rename) when another participant of the meeting has that name; the
    others get the bare header of a done rename;
  - polls (14-17) to everyone, the sender included;
  - chat 8 as the bare frame (the packet's payload) to every other
    participant when its recipient is "ALL", else to that session alone;
  - file share 29 by the recipients in its text: "9527" at offset 6 to
    every other participant, else to each session id listed from offset 15
    (one line of the sender's id length plus "\r\n" each), never back to
    the sender; a text whose list does not fit is dropped;
  - canvas 27, marks 28, voice 30 and anything else to every other
    participant.
Downstream each kind has its own tag (chat 0xAACC, canvas 0xBBCC, file share
0xAADD, voice 0xBBDD, the rest 0xAABB); a packet longer than one frame goes
in several.

A client seated by its hello alone (not in the list yet) joins as the
meeting's coordinator when its session is the owner's. A client whose control
tunnel ends leaves the participant list, and its sharing tunnel is closed.

Sharing tunnels (no hello; the meeting is the one the session joined on its
control tunnel): what PL-HOST sends goes to every PL-PARTICIPANT tunnel of
the meeting, and what a participant sends goes to the host's.

Fault switches: a JSON list in the file named by $CORVISK_TUNNEL_FAULTS, read
at every new tunnel. Each fault may name "service" and "session" to match
and has "count" (default: always) and any of:
  "split"        write downstream bytes in pieces of this size, each its own
                 TLS record (frames and records cut at any byte)
  "close_after"  close the connection after this many downstream bytes
                 (mid-frame when it falls inside one)
  "stall"        seconds to wait before reading the service request
  "stall_relay"  seconds to wait before each downstream write
  "stall_once_after"  [N, S]: after N downstream bytes (mid-frame when N
                 falls inside one) wait S seconds, once, then go on
  "stall_after_hello"  seconds to stop reading once the client is seated
                 (control tunnels) or at once (sharing tunnels); frames for
                 the client still go down meanwhile
  "drop_hello"   true: never register the client (its packets go nowhere)
  "withhold_rename_reply"  true: renames of this client are applied, but
                 neither it nor the others hear of them
  "send_frame"   {"tag": N, "data": "text"}: one frame sent to the client
                 right after its hello (e.g. tag 0xAAEE, which no channel takes)
  "send_frames"  [{"tag": N, "hex": "..."}, ...]: raw frames sent to the client
                 right after its hello, in order (crafted feature packets)
At any time later the control interface's "inject" request sends one raw
frame down a session's control tunnel (TunnelService.inject).
File-share switches, on the sending session's fault, counting its type-29
packets from 1:
  "fs_drop"      [n, ...]: these packets are lost (an acknowledgement or chunk)
  "fs_duplicate" [n, ...]: these packets are delivered twice
  "fs_delay"     seconds to wait before relaying each of them
  "fs_cut_after" n: after the n-th, the session's file-share traffic stops
                 both ways (its file-share channel is gone mid-transfer)
Renegotiation cannot be asked for: Python's ssl module has no call for it.
"""

import json
import os
import socket
import ssl
import struct
import sys
import threading
import time
from typing import Dict, List, Optional

import sharing

TAG_CONTROL = 0xAABB
TAG_CANVAS = 0xBBCC
TAG_AUDIO = 0xBBDD
TAG_CHAT = 0xAACC
CHAT = 8
TAG_FILE_SHARE = 0xAADD
TAG_SHARING = 0xAAFF
FILE_SHARE = 29
FILE_SHARE_TO_ALL = b"9527"

SELECTORS = {"PL_CONTROL": ("-3", "-4"), "PL-HOST": ("-1",), "PL-PARTICIPANT": ("-2",)}
TWO_NAME_TYPES = {11, 12, 13, 18, 19, 20, 21, 22}
STATE_TYPES = {2, 3, 4, 5, 6, 9, 10, 23}
RENAME, RENAME_TAKEN, RENAME_DONE = 24, 25, 26
POLL_TYPES = {14, 15, 16, 17}
DOWN_TAGS = {8: TAG_CHAT, 27: TAG_CANVAS, 29: TAG_FILE_SHARE, 30: TAG_AUDIO}
HELLO_SIZE = 298


def _cstr(raw: bytes) -> str:
    return raw.split(b"\0", 1)[0].decode("utf-8", "replace")


def _load_faults() -> List[dict]:
    path = os.environ.get("CORVISK_TUNNEL_FAULTS")
    if not path or not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        faults = json.load(f)
    return faults if isinstance(faults, list) else []


class _Conn:
    """One client tunnel; writes are whole calls under a lock."""

    def __init__(self, sock, rfile, service: str, session: str, fault: dict):
        self.sock = sock
        self.rfile = rfile
        self.service = service
        self.session = session
        self.fault = fault
        self.meeting: Optional[str] = None
        self.name = ""
        self.role = 0
        self.sent = 0
        self.lock = threading.Lock()
        self.alive = True
        self.stalled = False
        self.file_share_sent = 0
        self.file_share_cut = False

    def send_frames(self, tag: int, data: bytes) -> None:
        out = bytearray()
        for at in range(0, max(len(data), 1), 0xFFFF):
            piece = data[at:at + 0xFFFF]
            out += struct.pack(">HH", tag, len(piece)) + piece
        self.write(bytes(out))

    def write(self, data: bytes) -> None:
        with self.lock:
            if not self.alive:
                return
            try:
                if self.fault.get("stall_relay"):
                    time.sleep(float(self.fault["stall_relay"]))
                limit = self.fault.get("close_after")
                if limit is not None and self.sent + len(data) >= int(limit):
                    data = data[:max(0, int(limit) - self.sent)]
                    self._write_pieces(data)
                    self.alive = False
                    # The reader's file object keeps the socket open; shut it.
                    self.sock.shutdown(socket.SHUT_RDWR)
                    return
                once = self.fault.get("stall_once_after")
                if once and not self.stalled and self.sent + len(data) > int(once[0]):
                    head = max(0, int(once[0]) - self.sent)
                    self._write_pieces(data[:head])
                    self.stalled = True
                    time.sleep(float(once[1]))
                    self._write_pieces(data[head:])
                else:
                    self._write_pieces(data)
                self.sent += len(data)
            except (OSError, ssl.SSLError):
                self.alive = False

    def _write_pieces(self, data: bytes) -> None:
        step = int(self.fault.get("split") or 0) or len(data) or 1
        for at in range(0, len(data), step):
            self.sock.sendall(data[at:at + step])


class TunnelService:
    """The appliance's CONNECT handler: app.connect_handler = TunnelService(app)."""

    def __init__(self, app=None):
        self.app = app
        self.lock = threading.Lock()
        self.control: Dict[str, Dict[str, _Conn]] = {}   # meeting -> session -> conn
        self.sharing: Dict[str, Dict[str, _Conn]] = {}
        self.meeting_of: Dict[str, str] = {}             # session -> meeting

    # -------------------------------------------------------------- set-up

    def _fault_for(self, service: str, session: str) -> dict:
        try:
            faults = _load_faults()
        except (OSError, ValueError) as e:
            print("tunnel: bad fault file: %s" % e, file=sys.stderr)
            return {}
        for f in faults:
            if f.get("service", service) == service and f.get("session", session) == session:
                return f
        return {}

    def __call__(self, sock, rfile, req, conn_number=0) -> None:
        service = req.header("X-SSLVPN-SERVICE") or ""
        session = req.header("Proxy-Authorization") or ""
        host, _, selector = req.target.rpartition(":")
        ok = (req.method == "CONNECT" and host == "localhost" and req.version == "HTTP/1.0"
              and req.header("X-SSLVPN-PROTOCOL") == "2.0"
              and selector in SELECTORS.get(service, ()) and session)
        if not ok:
            print("tunnel: refused %r %r service %r" % (req.method, req.target, service),
                  file=sys.stderr)
            sock.close()
            return
        fault = self._fault_for(service, session)
        if fault.get("stall"):
            time.sleep(float(fault["stall"]))
        sock.settimeout(None)
        c = _Conn(sock, rfile, service, session, fault)
        try:
            if service == "PL_CONTROL":
                self._serve_control(c)
            else:
                self._serve_sharing(c)
        except (OSError, ssl.SSLError, ValueError) as e:
            print("tunnel: %s of %s ended: %s" % (service, session, e), file=sys.stderr)
        finally:
            self._forget(c)
            c.alive = False
            try:
                sock.close()
            except OSError:
                pass

    def _read_frame(self, c: _Conn):
        head = self._read_exact(c.rfile, 4)
        if head is None:
            return None
        tag, length = struct.unpack(">HH", head)
        data = self._read_exact(c.rfile, length)
        if data is None:
            raise ValueError("closed inside a frame")
        return tag, data

    @staticmethod
    def _read_exact(rfile, n: int) -> Optional[bytes]:
        buf = b""
        while len(buf) < n:
            chunk = rfile.read(n - len(buf))
            if not chunk:
                if buf:
                    raise ValueError("closed after %d of %d bytes" % (len(buf), n))
                return None
            buf += chunk
        return buf

    # ------------------------------------------------------------- control

    def _serve_control(self, c: _Conn) -> None:
        hello = self._read_exact(c.rfile, HELLO_SIZE)
        if hello is None or hello[:8] != b"\xbb\xaa\x01\x26\x01\x00\x01\x22":
            raise ValueError("no hello")
        c.role = hello[8] | hello[9] << 8
        c.meeting = _cstr(hello[10:42])
        c.name = _cstr(hello[42:170])
        if _cstr(hello[170:298]) != c.session:
            raise ValueError("hello names another session")
        if not c.fault.get("drop_hello"):
            self._join(c)
        extra = c.fault.get("send_frame")
        if isinstance(extra, dict):
            c.send_frames(int(extra.get("tag", 0)), str(extra.get("data", "")).encode("utf-8"))
        for frame in c.fault.get("send_frames") or []:
            c.send_frames(int(frame.get("tag", 0)), bytes.fromhex(str(frame.get("hex", ""))))
        if c.fault.get("stall_after_hello"):
            time.sleep(float(c.fault["stall_after_hello"]))
        stream = bytearray()
        while True:
            frame = self._read_frame(c)
            if frame is None:
                return
            tag, data = frame
            if tag != TAG_CONTROL:
                raise ValueError("frame tag 0x%04X on the control tunnel" % tag)
            stream += data
            while len(stream) >= 4:
                length = stream[2] << 8 | stream[3]
                if len(stream) < 4 + length:
                    break
                packet = bytes(stream[:4 + length])
                del stream[:4 + length]
                self._route(c, packet)

    def _join(self, c: _Conn) -> None:
        with self.lock:
            room = self.control.setdefault(c.meeting, {})
            old = room.get(c.session)
            room[c.session] = c
            self.meeting_of[c.session] = c.meeting
        if old is not None and old is not c:
            old.alive = False
        state = getattr(self.app, "state", None)
        if state is not None and c.meeting in getattr(state, "meetings", {}):
            try:
                with state.lock:
                    meeting = state.meetings[c.meeting]
                    changes = {"name": c.name, "role": c.role}
                    if meeting.participant(c.session) is None:
                        # Seated by its hello alone: the owner coordinates,
                        # as after the join request.
                        s = state.sessions.get(c.session)
                        owner = s is not None and not s.guest and s.user == meeting.owner
                        changes["caller_role"] = 1 if owner else 0
                    state.update_participant(c.meeting, c.session, changes)
                    sharing.on_join(meeting, c.session)
            except Exception as e:  # the CGI side's view is best effort here
                print("tunnel: participant not recorded: %s" % e, file=sys.stderr)

    def _forget(self, c: _Conn) -> None:
        left = False
        view = None
        with self.lock:
            for table in (self.control, self.sharing):
                room = table.get(c.meeting or "")
                if room is not None and room.get(c.session) is c:
                    del room[c.session]
                    left = table is self.control
            if left:
                view = self.sharing.get(c.meeting or "", {}).pop(c.session, None)
        if not left:
            return
        # A participant whose control tunnel ends leaves the meeting, and
        # its sharing tunnel goes with it.
        if view is not None:
            view.alive = False
            try:
                view.sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        state = getattr(self.app, "state", None)
        if state is not None and c.meeting in getattr(state, "meetings", {}):
            with state.lock:
                meeting = state.meetings.get(c.meeting)
                if meeting is not None:
                    sharing.on_leave(meeting, c.session)

    def inject(self, session: str, tag: int, data: bytes) -> bool:
        """One raw frame (tag and bytes as given) down the session's control
        tunnel, among whatever is relayed to it; False when it has none."""
        if not 0 <= tag <= 0xFFFF or len(data) > 0xFFFF:
            raise ValueError("a frame has a 16-bit tag and at most 65535 bytes")
        with self.lock:
            room = self.control.get(self.meeting_of.get(session, ""), {})
            c = room.get(session)
        if c is None or not c.alive:
            return False
        c.write(struct.pack(">HH", tag, len(data)) + data)
        return True

    def _members(self, meeting: str) -> List[_Conn]:
        with self.lock:
            return list(self.control.get(meeting, {}).values())

    def _route(self, sender: _Conn, packet: bytes) -> None:
        ptype = packet[0]
        members = self._members(sender.meeting)
        if ptype in TWO_NAME_TYPES:
            if len(packet) < 4 + 256:
                return
            target = _cstr(packet[4 + 128:4 + 256])
            for m in members:
                if m.session == target:
                    m.send_frames(TAG_CONTROL, packet)
        elif ptype == RENAME:
            if len(packet) < 4 + 256:
                return
            done = self._rename(sender, _cstr(packet[4:132]), _cstr(packet[132:260]))
            if sender.fault.get("withhold_rename_reply"):
                return
            sender.send_frames(TAG_CONTROL, bytes([RENAME_DONE if done else RENAME_TAKEN, 0, 0, 0]))
            if done:
                for m in members:
                    if m is not sender:
                        m.send_frames(TAG_CONTROL, bytes([RENAME, 0, 0, 0]))
        elif ptype in STATE_TYPES:
            self._apply_state(sender, packet)
            for m in members:
                m.send_frames(TAG_CONTROL, bytes([ptype, 0, 0, 0]))
        elif ptype in POLL_TYPES:
            for m in members:
                m.send_frames(TAG_CONTROL, packet)
        elif ptype == CHAT:
            # The chat channel carries the bare frame (the packet's payload),
            # to everyone else for "ALL", else to the recipient alone.
            frame = packet[4:]
            if len(frame) < 6:
                return
            from_len, to_len = frame[4], frame[5]
            recipient = frame[6 + from_len:6 + from_len + to_len].decode("latin-1")
            for m in members:
                if m is not sender and (recipient == "ALL" or m.session == recipient):
                    m.send_frames(TAG_CHAT, frame)
        elif ptype == FILE_SHARE:
            self._route_file_share(sender, members, packet)
        else:
            tag = DOWN_TAGS.get(ptype, TAG_CONTROL)
            for m in members:
                if m is not sender:
                    m.send_frames(tag, packet)

    @staticmethod
    def file_share_recipients(sender_session: str, payload: bytes) -> Optional[List[str]]:
        """Sessions a file-share text names; [] for everybody else; None when
        the list does not hold together."""
        width = len(sender_session)
        count = payload[6:10]
        if len(payload) < 15 or payload[10:12] != b"\r\n":
            return None
        if count == FILE_SHARE_TO_ALL:
            return []
        if not count.isdigit() or int(count) == 0:
            return None
        ids = []
        for i in range(int(count)):
            at = 15 + i * (width + 2)
            if at + width + 2 > len(payload) or payload[at + width:at + width + 2] != b"\r\n":
                return None
            ids.append(payload[at:at + width].decode("latin-1"))
        return ids

    def _route_file_share(self, sender: _Conn, members: List[_Conn], packet: bytes) -> None:
        recipients = self.file_share_recipients(sender.session, packet[4:])
        if recipients is None:
            print("tunnel: file-share packet of %s dropped: bad recipient list" % sender.session,
                  file=sys.stderr)
            return
        sender.file_share_sent += 1
        number = sender.file_share_sent
        fault = sender.fault
        cut = fault.get("fs_cut_after")
        if cut is not None and number > int(cut):
            sender.file_share_cut = True
        if sender.file_share_cut or number in (fault.get("fs_drop") or []):
            return
        if fault.get("fs_delay"):
            time.sleep(float(fault["fs_delay"]))
        times = 2 if number in (fault.get("fs_duplicate") or []) else 1
        for m in members:
            if m is sender or m.file_share_cut:
                continue
            if recipients and m.session not in recipients:
                continue
            for _ in range(times):
                m.send_frames(TAG_FILE_SHARE, packet)

    def _apply_state(self, sender: _Conn, packet: bytes) -> None:
        state = getattr(self.app, "state", None)
        if state is None or sender.meeting not in getattr(state, "meetings", {}):
            return
        ptype, payload = packet[0], packet[4:]
        name = _cstr(payload[:128]) if len(payload) >= 128 else ""
        u32 = lambda at: struct.unpack_from("<I", payload, at)[0] if len(payload) >= at + 4 else 0
        mid = sender.meeting
        try:
            if ptype == 2:
                with state.lock:
                    sharing.on_state(state.meetings[mid], name, u32(132))
            elif ptype == 3:
                with state.lock:
                    sharing.on_set_host(state.meetings[mid], name)
            elif ptype == 5:
                state.update_meeting(mid, {"sharing_state": u32(132)})
            elif ptype == 6:
                state.update_participant(mid, name, {"terminated": True})
            elif ptype == 9:
                state.update_meeting(mid, {"state": "started"})
            elif ptype == 23:
                state.update_participant(mid, name, {"viewonly": u32(128)})
            elif ptype == 4:
                state.update_participant(mid, name, {"caller_role": u32(132), "assist_permission": u32(136)})
            elif ptype == 10:
                state.update_meeting(mid, {"delete": True})
        except Exception as e:
            print("tunnel: state change %d not applied: %s" % (ptype, e), file=sys.stderr)

    def _rename(self, sender: _Conn, session: str, new_name: str) -> bool:
        """True when the name is free in the sender's meeting and was set."""
        state = getattr(self.app, "state", None)
        if state is None or sender.meeting not in getattr(state, "meetings", {}):
            return True
        with state.lock:
            meeting = state.meetings.get(sender.meeting)
            if meeting is None:
                return False
            if any(p.name == new_name and p.session != session for p in meeting.participants):
                return False
            target = meeting.participant(session)
            if target is None:
                return False
            target.name = new_name
        return True

    # ------------------------------------------------------------- sharing

    def _serve_sharing(self, c: _Conn) -> None:
        with self.lock:
            c.meeting = self.meeting_of.get(c.session)
            if c.meeting is None:
                raise ValueError("sharing tunnel of a session without a control tunnel")
            self.sharing.setdefault(c.meeting, {})[c.session] = c
        if c.fault.get("stall_after_hello"):
            time.sleep(float(c.fault["stall_after_hello"]))
        while True:
            frame = self._read_frame(c)
            if frame is None:
                return
            tag, data = frame
            if tag != TAG_SHARING:
                raise ValueError("frame tag 0x%04X on a sharing tunnel" % tag)
            with self.lock:
                peers = list(self.sharing.get(c.meeting, {}).values())
            want = "PL-PARTICIPANT" if c.service == "PL-HOST" else "PL-HOST"
            for p in peers:
                if p.service == want:
                    p.send_frames(TAG_SHARING, data)


def main(argv=None) -> int:
    """Stand-alone tunnel on its own port: tunnel.py CERT KEY [PORT]."""
    import httpwire
    args = sys.argv[1:] if argv is None else argv
    if len(args) < 2:
        print("usage: tunnel.py CERT KEY [PORT]", file=sys.stderr)
        return 2
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_2
    ctx.load_cert_chain(args[0], args[1])
    service = TunnelService()
    lsock = socket.create_server(("127.0.0.1", int(args[2]) if len(args) > 2 else 0))
    print("port=%d" % lsock.getsockname()[1], flush=True)

    def serve(raw):
        try:
            s = ctx.wrap_socket(raw, server_side=True)
            rfile = s.makefile("rb")
            req = httpwire.read_request(rfile)
            if req is not None:
                service(s, rfile, req)
        except (OSError, ssl.SSLError, httpwire.BadRequest) as e:
            print("tunnel: %s" % e, file=sys.stderr)
        finally:
            raw.close()

    while True:
        raw, _ = lsock.accept()
        threading.Thread(target=serve, args=(raw,), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
