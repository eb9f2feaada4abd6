"""The voice's DTLS service (dtls.py and the native relay) against real DTLS
clients, `openssl s_client`: hellos, routing by meeting and role, and the
fault switches. The relay comes from $CORVISK_DTLS_RELAY (the native tree
registers this test with it)."""

import os
import socket
import subprocess
import tempfile
import threading
import time
import unittest

import dtls

HERE = os.path.dirname(os.path.abspath(__file__))
RELAY = os.environ.get("CORVISK_DTLS_RELAY", "")


def hello(listener: bool, session: str, launch: str = "100001") -> bytes:
    field = lambda text: text.encode("ascii").ljust(dtls.FIELD, b"\0")
    return bytes([0, 1 if listener else 0]) + field(session) + field(launch)


def free_udp_port() -> int:
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(check, seconds=10.0) -> bool:
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if check():
            return True
        time.sleep(0.05)
    return check()


class Client:
    """openssl s_client in DTLS mode: each write to its input goes out as
    one record; what it receives collects in `received`."""

    def __init__(self, port, version="-dtls1_2", host="127.0.0.1"):
        # Its input's end closes the session with a close_notify.
        args = ["openssl", "s_client", version, "-connect", "%s:%d" % (host, port), "-quiet", "-no_ign_eof"]
        if version == "-dtls1":
            args += ["-cipher", "ALL:@SECLEVEL=0"]
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)
        self.received = b""
        self.errors = b""
        threading.Thread(target=self._collect, args=(self.proc.stdout, "received"), daemon=True).start()
        threading.Thread(target=self._collect, args=(self.proc.stderr, "errors"), daemon=True).start()

    def _collect(self, pipe, name):
        for chunk in iter(lambda: os.read(pipe.fileno(), 65536), b""):
            setattr(self, name, getattr(self, name) + chunk)

    def send(self, record: bytes) -> None:
        os.write(self.proc.stdin.fileno(), record)
        time.sleep(0.2)  # s_client reads its input anew for each record

    def close(self):
        self.proc.stdin.close()
        try:
            self.proc.wait(timeout=3)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        for pipe in (self.proc.stdout, self.proc.stderr):
            pipe.close()


@unittest.skipUnless(RELAY and os.access(RELAY, os.X_OK), "no relay program (CORVISK_DTLS_RELAY)")
class DtlsServiceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        certs = os.path.join(cls.tmp.name, "certs")
        subprocess.run(["sh", os.path.join(HERE, "make_certs.sh"), certs], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        cls.meetings = {"sessA": "100001", "sessB": "100001", "sessC": "100001", "sessX": "200002"}
        cls.port = free_udp_port()
        cls.service = dtls.DtlsService(cls.meetings.get, os.path.join(certs, "server.crt"),
                                       os.path.join(certs, "server.key"), RELAY, cls.port)
        why = cls.service.start()
        if why:
            raise RuntimeError(why)

    @classmethod
    def tearDownClass(cls):
        cls.service.stop()
        cls.tmp.cleanup()

    def setUp(self):
        self.service.set_faults({})
        self.clients = []

    def tearDown(self):
        for c in self.clients:
            c.close()
        wait_until(lambda: not self.service.snapshot()["sessions"])

    def client(self, **kw) -> Client:
        c = Client(self.port, **kw)
        self.clients.append(c)
        return c

    def sessions(self):
        return {s["session"]: s for s in self.service.snapshot()["sessions"] if s["session"]}

    def joined(self, c: Client, record: bytes, session: str) -> None:
        c.send(record)
        self.assertTrue(wait_until(lambda: session in self.sessions()), c.errors.decode(errors="replace"))

    def test_sound_goes_to_the_listeners_of_the_speakers_meeting(self):
        speaker, near, far = self.client(), self.client(version="-dtls1"), self.client(host="[::1]")
        self.joined(speaker, hello(False, "sessA"), "sessA")
        self.joined(near, hello(True, "sessB"), "sessB")
        self.joined(far, hello(True, "sessX"), "sessX")
        piece = b"\x02" + bytes(range(256)) * 4
        speaker.send(piece)
        self.assertTrue(wait_until(lambda: piece in near.received))
        near.send(bytes([dtls.ACK]))
        speaker.send(b"\x7b" + b"no sound")   # type 123 is no piece
        near.send(b"\x02listeners send no sound")
        time.sleep(0.5)
        self.assertEqual(near.received, piece)
        self.assertEqual(far.received, b"")
        seen = self.sessions()
        self.assertFalse(seen["sessA"]["listener"])
        self.assertTrue(seen["sessB"]["listener"])
        self.assertEqual(seen["sessB"]["meeting"], "100001")
        self.assertEqual(seen["sessB"]["acks"], 1)
        self.assertEqual(seen["sessB"]["records_out"], 1)
        self.assertEqual(seen["sessX"]["records_out"], 0)
        self.assertIn("::1", seen["sessX"]["peer"])
        self.assertIn("DTLSv1 ", seen["sessB"]["peer"] + " ")

    def test_a_session_without_a_meetings_hello_is_ended(self):
        for record in (hello(False, "nobody"), b"\x00\x01short", hello(False, "sessA")[:-1] + b"\x01x"):
            c = self.client()
            c.send(record)
            # The relay closes it: the client hears the close and ends.
            self.assertTrue(wait_until(lambda: c.proc.poll() is not None), c.errors)
            self.assertEqual(self.service.snapshot()["sessions"], [])

    def test_stray_datagrams_are_dropped_and_the_service_goes_on(self):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as raw:
            for junk in (b"", b"\x17" + b"\0" * 12, b"\x16", b"\x16\xfe\xfd" + os.urandom(200),
                         b"\x16" + b"\xff" * 65000, os.urandom(1400)):
                raw.sendto(junk, ("127.0.0.1", self.port))
            time.sleep(0.5)
        self.assertTrue(self.service.snapshot()["running"])
        speaker, listener = self.client(), self.client()
        self.joined(speaker, hello(False, "sessA"), "sessA")
        self.joined(listener, hello(True, "sessB"), "sessB")
        speaker.send(b"\x02after")
        self.assertTrue(wait_until(lambda: b"\x02after" in listener.received))

    def test_refused_handshake_gets_a_fatal_alert(self):
        self.service.set_faults({"refuse": True})
        c = self.client()
        self.assertTrue(wait_until(lambda: c.proc.poll() is not None))
        self.assertIn(b"alert number 40", c.errors)

    def test_dropped_delayed_and_reordered_datagrams(self):
        speaker, listener = self.client(), self.client()
        self.joined(speaker, hello(False, "sessA"), "sessA")
        self.joined(listener, hello(True, "sessC"), "sessC")
        self.service.set_faults({"drop_down": 1.0})
        speaker.send(b"\x02lost")
        self.assertTrue(wait_until(lambda: self.sessions()["sessC"]["records_out"] == 1))
        time.sleep(0.5)
        self.assertEqual(listener.received, b"")
        self.service.set_faults({"delay_ms": 600})
        started = time.monotonic()
        speaker.send(b"\x02late")
        self.assertTrue(wait_until(lambda: b"\x02late" in listener.received))
        self.assertGreaterEqual(time.monotonic() - started, 1.0)  # held on the way in and out
        self.service.set_faults({"reorder": True})
        speaker.send(b"\x02first")
        speaker.send(b"\x03second")
        self.assertTrue(wait_until(lambda: b"\x02first" in listener.received))
        self.assertEqual(listener.received, b"\x02late\x03second\x02first")

    def test_a_silent_service_answers_no_handshake(self):
        self.service.set_faults({"silent": True})
        before = self.service.snapshot()["sessions"]
        c = self.client()
        time.sleep(3)
        self.assertIsNone(c.proc.poll())
        self.assertEqual(self.service.snapshot()["sessions"], before)

    def test_bad_fault_switches_are_refused(self):
        for bad in ({"drop_up": 2}, {"delay_ms": -1}, {"reorder": 1}, {"jitter": 1}, []):
            with self.assertRaises(ValueError):
                self.service.set_faults(bad)


if __name__ == "__main__":
    unittest.main()
