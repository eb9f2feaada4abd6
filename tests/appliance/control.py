"""The test-only control interface: paths under /__control/.

Served on the HTTPS port and, when asked for, on a plain-HTTP loopback port
(so a test without TLS at hand can steer the appliance with a raw socket).
Requests to it are not recorded and never get faults. Replies are JSON.

  GET  /__control/ping                 -> {"ok": true}
  GET  /__control/requests             -> [record, ...] (see request_log)
  POST /__control/requests/clear       forget the recorded requests
  GET  /__control/faults               -> [fault, ...]
  POST /__control/faults               body: a fault object or a list of them
  POST /__control/faults/clear         remove every fault
  GET  /__control/state                -> the state as JSON (sessions, meetings ...)
  POST /__control/scenario             body: a scenario; replaces the whole state
                                       and the faults by the scenario's
  POST /__control/expire               body: {} (all sessions), {"user": name}
                                       or {"session": value}  -> {"expired": n}
  POST /__control/meeting              body: {"id": id, field: value, ...}
                                       fields: state ("waiting"/"ready"/"started"),
                                       sharing_state, title, password, description,
                                       wait_msg, number, max_attendees, invite_only,
                                       open_before_minutes, expires (int or null),
                                       start_in, end_in, delete
  GET  /__control/dtls                 -> the DTLS service: its faults, its
                                       sessions (session id, meeting, listener,
                                       records in and out) and records routed
  POST /__control/dtls                 body: its faults (dtls.py lists them);
                                       {} clears them. 409 when it does not run
  POST /__control/participant          body: {"meeting": id, "session": value,
                                       field: value, ...} fields: name, role,
                                       caller_role, state, viewonly,
                                       assist_permission, terminated, remove
  POST /__control/inject               body: {"session": value, "tag": N, "hex": "..."}
                                       one raw tunnel frame (tag, then the bytes
                                       as given) down that session's control
                                       tunnel, now. 409 when it has none
"""

import json

from faults import FaultError
from httpwire import Reply
from state import ScenarioError

PREFIX = "/__control/"


def _json(value, status: int = 200) -> Reply:
    return Reply(status=status, body=(json.dumps(value) + "\n").encode("utf-8"),
                 content_type="application/json")


class Control:
    def __init__(self, app):
        self.app = app

    def handle(self, req) -> Reply:
        try:
            return self._dispatch(req)
        except (ScenarioError, FaultError, ValueError, KeyError, TypeError) as e:
            return _json({"error": str(e)}, status=400)

    def _body(self, req):
        if not req.body:
            return {}
        return json.loads(req.body.decode("utf-8"))

    def _dispatch(self, req) -> Reply:
        app = self.app
        name = req.path[len(PREFIX):]
        get, post = req.method == "GET", req.method == "POST"
        if get and name == "ping":
            return _json({"ok": True})
        if get and name == "requests":
            return _json(app.log.records())
        if post and name == "requests/clear":
            app.log.clear()
            return _json({"ok": True})
        if get and name == "faults":
            return _json(app.faults.list())
        if post and name == "faults":
            body = self._body(req)
            for f in body if isinstance(body, list) else [body]:
                app.faults.add(f)
            return _json({"ok": True})
        if post and name == "faults/clear":
            app.faults.clear()
            return _json({"ok": True})
        if get and name == "state":
            return _json(app.state.snapshot())
        if post and name == "scenario":
            app.load_scenario(self._body(req))
            return _json({"ok": True})
        if post and name == "expire":
            body = self._body(req)
            n = app.state.expire_sessions(user=body.get("user"), session=body.get("session"))
            return _json({"expired": n})
        if post and name == "meeting":
            body = self._body(req)
            mid = str(body.pop("id"))
            app.state.update_meeting(mid, body)
            return _json({"ok": True})
        if post and name == "participant":
            body = self._body(req)
            app.state.update_participant(str(body.pop("meeting")), str(body.pop("session")), body)
            return _json({"ok": True})
        if post and name == "inject":
            body = self._body(req)
            tag, data = body["tag"], bytes.fromhex(str(body.get("hex", "")))
            if not isinstance(tag, int) or isinstance(tag, bool):
                raise ValueError("tag must be an integer")
            tunnels = app.connect_handler
            if not hasattr(tunnels, "inject") or not tunnels.inject(str(body["session"]), tag, data):
                return _json({"error": "no control tunnel of that session"}, status=409)
            return _json({"ok": True, "bytes": len(data)})
        if name == "dtls" and (get or post):
            if app.dtls is None:
                return _json({"error": "the DTLS service does not run"}, status=409)
            if post:
                app.dtls.set_faults(self._body(req))
            return _json(app.dtls.snapshot())
        return _json({"error": "no such control request"}, status=404)
