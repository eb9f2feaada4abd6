#!/usr/bin/env python3
"""The local appliance: plays the SSL-VPN appliance for Corvisk's tests.

It serves the appliance's CGI interface (/cgi-bin/...) over HTTPS on a
loopback port, keeps accounts, domains, portals, sessions ("swap" cookie),
meetings, saved meetings and participant lists, records every request, and
misbehaves on request. Python 3 standard library only.

Command line
------------
  make_certs.sh DIR          # once per run: DIR/ca.crt, DIR/server.crt ...
  appliance.py --cert-dir DIR [--port N] [--scenario FILE] [--log FILE]
               [--ready-file FILE] [--control-port N] [--client-ca FILE]
               [--dtls-port N] [--dtls-relay FILE]

  --cert-dir DIR      uses DIR/server.crt and DIR/server.key (or give
                      --cert FILE --key FILE, e.g. DIR/rogue.crt for a
                      certificate the client must refuse)
  --port N            HTTPS port on 127.0.0.1; 0 (default) picks a free one;
                      443 for tests that launch the client from links
  --scenario FILE     JSON scenario (below); default: the built-in one
  --log FILE          JSONL file: one record per CGI request (request_log.py
                      lists the fields: method, target, path, query, headers,
                      head = the request head byte for byte, body, body_hex, ...)
  --ready-file FILE   written (atomically) once the listeners accept:
                        port=<https port>
                        control_port=<plain-http control port or 0>
                        pid=<process id>
                        dtls_port=<the DTLS service's UDP port or 0>
  --control-port N    also serve /__control/ over plain HTTP on 127.0.0.1:N
                      (0 picks a free port); not opened when absent
  --client-ca FILE    the HTTPS handshake asks for a client certificate from
                      the authority in FILE (e.g. DIR/client-ca.crt); sending
                      none is allowed, one from another authority fails the
                      handshake. Each request's record names the certificate
                      presented ("client_cert": subject and SHA-1).
  --dtls-port N       also run the voice's DTLS service on UDP port N of
                      127.0.0.1 and ::1 (the client's is 4433), through the
                      native relay (dtls.py); without the relay program, or
                      when the port is taken, the appliance runs without it
  --dtls-relay FILE   the relay program (default: $CORVISK_DTLS_RELAY, else
                      the native tree's build/native/tests/appliance/corvisk_dtls_relay)

The first line on stdout is "port=<https port>". SIGTERM or SIGINT stops it.
The client must reach it as "localhost" (the certificate's only name).

Scenario (JSON object; every key optional, defaults in state.DEFAULT_SCENARIO)
--------
  server_version   "8.0.0.6-1sv" (the "serverversion:" header; null = none)
  domains          [{"name": "LocalDB", "authType": 1}, ...]; [] answers
                   "error:no available domains"
  portals          ["p1", "p2"]: with two or more, a login without a portal
                   name gets "multiportal" and "portal:" lines; an unknown
                   portal gets "noenableportal" (user) or
                   "error:no available portal" (guest)
  allow_guests     true
  geobot           text: every login reply carries "X-KE-geobot: " text
  login_message    text: "X-KE-message:" on domain-query and login replies
  need_upgrade / upgrade_required   true adds "needupgrade" / "upgraderequired"
  invite_error     number behind "error=" in invitation replies (0 = sent)
  meeting_limit    0 = none; else starting more meetings answers
                   "error: the max number of meeting ..."
  upgrade_body     installer bytes: a text, {"base64": ...} or
                   {"text": "x", "repeat": N}
  users            [{"name", "password", "kind", ...}], kind one of:
                   "password"        plain login
                   "otp"             login sets a cookie and "X-KE-tf: 1";
                                     /cgi-bin/otpLogin with "otp" (default
                                     "123456") verifies; "otp_tries" (3)
                   "rsa_new_pin"     login with "password" -> "X-KE-tf: 2";
                                     the new PIN is taken; then log in with
                                     PIN + "token"
                   "rsa_system_pin"  -> "X-KE-tf: 3", message names
                                     "system_pin"; "y" takes it, "n" asks for
                                     a new PIN ("X-KE-tf: 2", no verdict)
                   "rsa_next_code"   -> "X-KE-tf: 4"; "next_code" logs in
                   "radius"          -> "X-KE-tf: 5" per entry of "challenges"
                                     [{"prompt", "answer"}]; the last right
                                     answer logs in
                   other user keys: domain ("" = any), display_name,
                   client_cert (true: logs in only over a connection that
                   presented a client certificate, see --client-ca),
                   may_change_password (1; null = no header),
                   password_expiry_days (null = no header; -1 = expired),
                   session_prompt (true: a second login while a session
                   lives gets "X-KE-pendingId:"; logging in again with that
                   pendingId ends the old sessions)
  meetings         [{"id", "title", "owner" (user name), "password",
                   "description", "wait_msg", "state" ("waiting", "ready",
                   "started"), "sharing_state" (0-4), "start_in"/"end_in"
                   (seconds from now) or "start"/"end" (epoch), "expires"
                   (fixed value of "expires="), "max_attendees",
                   "invite_only", "open_before_minutes" (15), "participants":
                   [{"session", "name", "role", "caller_role", "state",
                   "viewonly", "assist_permission", "terminated"}]}]
  saved_meetings   [{"rowid", "owner", "fields": {"meetingname": ...}}]
  sessions         [{"user", "value", "guest", "display_name", "expired"}]:
                   sessions that exist from the start (the cookie is
                   Base64 of "value")
  faults           [fault, ...] as below

State numbers on the wire: the meeting list says meetingState 0 waiting,
1 started, 2 ready; the participant list says 1 not started (waiting or
ready), 2 started. Sharing states 0-4 are the same in both.

Fault switches (faults.py has the full list)
-------------
A fault matches on "path", "method", "match" (substring of query or body)
and fires "count" times (default: until cleared). Effects: "status",
"body", "omit_headers", "headers", "truncate", "oversize", "gzip",
"chunked", "delay", "drop" ("close"/"reset"), "close_after",
"skip_handler", "expire_session". Examples:
  {"path": "/cgi-bin/userLogin", "method": "POST", "omit_headers": ["Set-Cookie"]}
  {"path": "/cgi-bin/meetingactive", "delay": 5, "count": 1}
  {"match": "submitter=joinmeeting", "body": "{error: BeforeMins 15}\\r\\n"}
  {"path": "/cgi-bin/meetingstart", "drop": "reset"}

Control interface (control.py has the full list): paths under /__control/
on the HTTPS port and on the control port, JSON in and out, e.g.
  POST /__control/faults        {"path": "/cgi-bin/otpLogin", "status": 500}
  POST /__control/faults/clear
  POST /__control/expire        {"user": "alice"}
  POST /__control/meeting       {"id": "100001", "state": "started"}
  POST /__control/participant   {"meeting": "100001", "session": "...", "terminated": true}
  GET  /__control/requests      every recorded request
  GET  /__control/state         sessions (with their cookies), meetings, ...
  POST /__control/scenario      replace the whole state
  POST /__control/dtls          {"drop_down": 0.2}: the DTLS service's faults
  POST /__control/inject        {"session": "...", "tag": 43724, "hex": "0800..."}:
                                one raw frame down that session's control tunnel
"""

import argparse
import os
import signal
import sys
import threading

from server import Appliance, Listener, tls_context
from faults import FaultError
from state import ScenarioError, load_scenario_file

HOST = "127.0.0.1"


def write_ready_file(path: str, values: dict) -> None:
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="ascii") as f:
        for k, v in values.items():
            f.write("%s=%s\n" % (k, v))
    os.replace(tmp, path)


def parse_args(argv):
    p = argparse.ArgumentParser(description="Local appliance for Corvisk's tests.")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--cert-dir")
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--scenario")
    p.add_argument("--log")
    p.add_argument("--ready-file")
    p.add_argument("--control-port", type=int)
    p.add_argument("--client-ca")
    p.add_argument("--dtls-port", type=int)
    p.add_argument("--dtls-relay")
    args = p.parse_args(argv)
    if args.cert_dir:
        args.cert = args.cert or os.path.join(args.cert_dir, "server.crt")
        args.key = args.key or os.path.join(args.cert_dir, "server.key")
    if not args.cert or not args.key:
        p.error("give --cert-dir, or --cert and --key")
    if not 0 <= args.port <= 65535:
        p.error("--port must be 0..65535")
    if args.control_port is not None and not 0 <= args.control_port <= 65535:
        p.error("--control-port must be 0..65535")
    if args.dtls_port is not None and not 1 <= args.dtls_port <= 65535:
        p.error("--dtls-port must be 1..65535")
    return args


def start_dtls(app, args) -> None:
    """The voice's DTLS service beside the tunnel, when it can run."""
    import dtls
    tunnels = app.connect_handler
    service = dtls.DtlsService(lambda session: tunnels.meeting_of.get(session), args.cert, args.key,
                               args.dtls_relay or dtls.default_relay(), args.dtls_port)
    why = service.start()
    if why:
        print("appliance: no DTLS service: %s" % why, file=sys.stderr)
    else:
        app.dtls = service


def main(argv=None) -> int:
    args = parse_args(sys.argv[1:] if argv is None else argv)
    try:
        scenario = load_scenario_file(args.scenario) if args.scenario else None
        app = Appliance(scenario, args.log)
    except (OSError, ScenarioError, FaultError) as e:
        print("appliance: %s" % e, file=sys.stderr)
        return 2
    try:
        listeners = [Listener(app, HOST, args.port, tls_context(args.cert, args.key, args.client_ca))]
        if args.control_port is not None:
            listeners.append(Listener(app, HOST, args.control_port, None, control_only=True))
    except OSError as e:                 # port in use, unreadable certificate or key
        print("appliance: cannot listen: %s" % e, file=sys.stderr)
        return 2
    app.state.public_port = listeners[0].port
    control_port = listeners[1].port if len(listeners) > 1 else 0
    # The meeting tunnel shares the HTTPS port and `app.state`.
    if os.path.exists(os.path.join(os.path.dirname(os.path.abspath(__file__)), "tunnel.py")):
        import tunnel
        app.connect_handler = tunnel.TunnelService(app)
        if args.dtls_port is not None:
            start_dtls(app, args)
    for listener in listeners:
        listener.start()

    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.set())
    print("port=%d" % listeners[0].port, flush=True)
    if args.ready_file:
        write_ready_file(args.ready_file, {"port": listeners[0].port,
                                           "control_port": control_port,
                                           "pid": os.getpid(),
                                           "dtls_port": app.dtls.port if app.dtls else 0})
    while not stop.wait(1.0):
        pass
    for listener in listeners:
        listener.shutdown()
        listener.server_close()
    if app.dtls:
        app.dtls.stop()
    app.log.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
