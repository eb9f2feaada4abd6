"""Listeners of the local appliance and the per-connection request loop."""

import hashlib
import itertools
import socketserver
import ssl
import sys
import threading
import traceback
from typing import Callable, Optional

import control
import httpwire
from cgi_handler import CgiHandler
from faults import FaultSet
from request_log import RequestLog
from state import ApplianceState

HANDSHAKE_TIMEOUT = 30
IDLE_TIMEOUT = 120


class Appliance:
    """What every listener shares: state, faults, request log, handlers.

    `connect_handler`, when set, takes over a connection whose request is
    CONNECT (the meeting tunnel's inner request): it is called as
    connect_handler(sock, rfile, request, conn_number) and owns the
    connection from then on.
    """

    def __init__(self, scenario: Optional[dict] = None, log_path: Optional[str] = None):
        self.state = ApplianceState(scenario)
        self.faults = FaultSet(self.state.scenario_faults)
        self.log = RequestLog(log_path)
        self.cgi = CgiHandler(self.state)
        self.control = control.Control(self)
        self.connect_handler: Optional[Callable] = None
        self.dtls = None  # the voice's DTLS service (dtls.py), when it runs
        self._conn_ids = itertools.count(1)
        self._conn_lock = threading.Lock()

    def load_scenario(self, scenario: dict) -> None:
        """Replaces state and faults; a bad scenario changes neither."""
        fresh = FaultSet(scenario.get("faults", []) if isinstance(scenario, dict) else [])
        self.state.load(scenario)
        self.faults.clear()
        for f in fresh.list():
            self.faults.add(f)

    def next_conn(self) -> int:
        with self._conn_lock:
            return next(self._conn_ids)

    def serve_connection(self, sock, control_only: bool) -> None:
        conn = self.next_conn()
        client_cert = presented_client_cert(sock)
        sock.settimeout(IDLE_TIMEOUT)
        rfile = sock.makefile("rb")
        how = httpwire.CLOSE
        try:
            while True:
                try:
                    req = httpwire.read_request(rfile)
                except httpwire.BadRequest as e:
                    httpwire.write_reply(sock, httpwire.Reply(status=400).text("%s\r\n" % e),
                                         None, False)
                    break
                if req is None:
                    break
                req.client_cert = client_cert
                if req.path.startswith(control.PREFIX):
                    how = httpwire.write_reply(sock, self.control.handle(req), None,
                                               req.keep_alive())
                elif control_only:
                    how = httpwire.write_reply(sock, httpwire.Reply(status=404).text(
                        "Not Found\r\n"), None, False)
                elif req.method == "CONNECT" and self.connect_handler is not None:
                    self.log.record(conn, req, None)
                    self.connect_handler(sock, rfile, req, conn)
                    return
                else:
                    how = self._serve_cgi(sock, conn, req)
                if how != httpwire.KEEP:
                    break
        except (OSError, ssl.SSLError):
            how = httpwire.CLOSE
        httpwire.end_connection(sock, rfile, how)

    def _serve_cgi(self, sock, conn: int, req) -> str:
        fault = self.faults.take(req.method, req.path, req.query, req.body)
        self.log.record(conn, req, fault)
        if fault and fault.get("expire_session"):
            cookie = req.cookie("swap")
            s = self.state.session_by_cookie(cookie) if cookie else None
            if s is not None:
                self.state.expire_sessions(session=s.value)
        if fault and fault.get("skip_handler"):
            reply = httpwire.Reply()
        else:
            try:
                reply = self.cgi.handle(req)
            except Exception:           # a fault of the appliance itself, not of the request
                traceback.print_exc(file=sys.stderr)
                reply = httpwire.Reply(status=500).text("Internal Server Error\r\n")
        return httpwire.write_reply(sock, reply, fault, req.keep_alive())


class _Handler(socketserver.BaseRequestHandler):
    def handle(self):
        srv = self.server
        sock = self.request
        if srv.tls_context is not None:
            sock.settimeout(HANDSHAKE_TIMEOUT)
            try:
                sock = srv.tls_context.wrap_socket(sock, server_side=True)
            except (ssl.SSLError, OSError) as e:
                print("appliance: TLS handshake failed: %s" % e, file=sys.stderr)
                return
        srv.app.serve_connection(sock, srv.control_only)


class Listener(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, app: Appliance, host: str, port: int,
                 tls_context: Optional[ssl.SSLContext], control_only: bool = False):
        self.app = app
        self.tls_context = tls_context
        self.control_only = control_only
        super().__init__((host, port), _Handler)

    @property
    def port(self) -> int:
        return self.server_address[1]

    def start(self) -> threading.Thread:
        t = threading.Thread(target=self.serve_forever, name="listener-%d" % self.port,
                             daemon=True)
        t.start()
        return t


def tls_context(cert_file: str, key_file: str, client_ca: Optional[str] = None) -> ssl.SSLContext:
    """With client_ca, the handshake asks for a client certificate from that
    authority: a client may send none, but one from elsewhere is refused."""
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_2
    ctx.load_cert_chain(cert_file, key_file)
    if client_ca:
        ctx.load_verify_locations(cafile=client_ca)
        ctx.verify_mode = ssl.CERT_OPTIONAL
    return ctx


# Short names of the subject attributes, as openssl writes them.
_SUBJECT_NAMES = {"commonName": "CN", "organizationName": "O", "organizationalUnitName": "OU",
                  "countryName": "C", "stateOrProvinceName": "ST", "localityName": "L"}


def presented_client_cert(sock) -> Optional[dict]:
    """The verified client certificate of a TLS connection as {"subject":
    "/O=.../CN=...", "sha1": 40 lower-case hex digits}; None without one."""
    if not isinstance(sock, ssl.SSLSocket):
        return None
    try:
        der = sock.getpeercert(binary_form=True)
        fields = sock.getpeercert() or {}
    except (ValueError, OSError):
        return None
    if not der:
        return None
    subject = "".join("/%s=%s" % (_SUBJECT_NAMES.get(k, k), v)
                      for rdn in fields.get("subject", ()) for k, v in rdn)
    return {"subject": subject, "sha1": hashlib.sha1(der).hexdigest()}

