"""Appliance state: accounts, domains, portals, sessions, meetings, participants.

Shared by every listener of the local appliance (the CGI side and the meeting
tunnel side), so everything here is guarded by one re-entrant lock; callers
hold `state.lock` while they read several related fields.

Meeting states are kept by name ("waiting", "ready", "started"); the numbers
that go on the wire differ between the meeting list and the participant list,
so each reply turns names into its own numbers (see MEETING_LIST_STATES and
PARTICIPANT_LIST_STATES).
"""

import base64
import copy
import json
import secrets
import threading
import time
from dataclasses import dataclass, field
from typing import Dict, List, Optional

# Meeting states as the meeting list reports them.
MEETING_LIST_STATES = {"waiting": 0, "started": 1, "ready": 2}
# Meeting states as the participant list reports them (1 not started, 2 started).
PARTICIPANT_LIST_STATES = {"waiting": 1, "ready": 1, "started": 2}

ACCOUNT_KINDS = ("password", "otp", "rsa_new_pin", "rsa_system_pin",
                 "rsa_next_code", "radius")

# Participant sharing states (the `state` field of a participant entry).
PARTICIPANT_WAITING = 1

DEFAULT_SCENARIO = {
    "server_version": "8.0.0.6-1sv",
    "domains": [{"name": "LocalDB", "authType": 1}],
    "portals": [],
    "allow_guests": True,
    "invite_error": 0,
    "meeting_limit": 0,
    "upgrade_body": "MZ local appliance client installer\r\n",
    "users": [
        {"name": "alice", "password": "secret"},
        {"name": "bob", "password": "hunter2"},
        {"name": "olga", "password": "otp-pass", "kind": "otp", "otp": "123456"},
        {"name": "nina", "password": "111111", "kind": "rsa_new_pin",
         "token": "111111"},
        {"name": "sam", "password": "222222", "kind": "rsa_system_pin",
         "token": "222222", "system_pin": "4321"},
        {"name": "ned", "password": "1234333333", "kind": "rsa_next_code",
         "next_code": "444444"},
        {"name": "rita", "password": "radius-pass", "kind": "radius",
         "challenges": [{"prompt": "What is your pet's name?", "answer": "rex"},
                        {"prompt": "Enter the code sent to your phone", "answer": "9876"}]},
    ],
    "meetings": [
        {"id": "100001", "title": "Weekly sync", "owner": "alice",
         "password": "code1", "state": "started", "start_in": -600, "end_in": 3000,
         "description": "Status of the week"},
    ],
    "saved_meetings": [],
    "sessions": [],
    "faults": [],
}


class ScenarioError(ValueError):
    """A scenario file or control request that cannot be applied."""


@dataclass
class User:
    name: str
    password: str
    kind: str = "password"
    domain: str = ""                 # "" = every domain
    display_name: str = ""
    otp: str = "123456"
    otp_tries: int = 3
    token: str = "000000"            # RSA token code; the pass-code is PIN + token
    pin: str = ""                    # set once a new PIN was accepted
    system_pin: str = "4321"
    next_code: str = "444444"
    challenges: List[dict] = field(default_factory=list)
    may_change_password: Optional[int] = 1
    password_expiry_days: Optional[int] = None
    session_prompt: bool = False     # answer X-KE-pendingId while another session lives
    client_cert: bool = False        # logs in only with a client certificate


@dataclass
class Session:
    value: str                       # raw session value; the cookie is its Base64 form
    user: str                        # account name, or the guest's display name
    display_name: str
    guest: bool = False
    verified: bool = True            # False until a one-time password was accepted
    expired: bool = False
    otp_tries_left: int = 3
    bias_min: int = 0                # last time-zone offset the client sent
    created: float = field(default_factory=time.time)

    @property
    def cookie(self) -> str:
        return base64.b64encode(self.value.encode("utf-8")).decode("ascii")


@dataclass
class Participant:
    session: str
    name: str
    role: int = 0                    # 1 host
    caller_role: int = 0             # 1 coordinator, 2 assistant
    state: int = PARTICIPANT_WAITING
    viewonly: int = 1                # 1 normal, 0 view-only
    assist_permission: int = 0
    terminated: bool = False


@dataclass
class Meeting:
    id: str
    title: str
    owner: str                       # account name
    owner_session: str = ""
    number: str = ""
    password: str = ""
    description: str = ""
    wait_msg: str = ""
    state: str = "waiting"
    sharing_state: int = 0
    start: float = 0.0               # seconds since the epoch, UTC
    end: float = 0.0
    expires_override: Optional[int] = None
    max_attendees: int = 0           # 0 = no limit
    invite_only: bool = False
    open_before_minutes: int = 15
    participants: List[Participant] = field(default_factory=list)

    def participant(self, session_value: str) -> Optional[Participant]:
        for p in self.participants:
            if p.session == session_value:
                return p
        return None


@dataclass
class SavedMeeting:
    rowid: int
    owner: str
    fields: Dict[str, str]           # the MeetingInfo fields as the client sent them


@dataclass
class Invitation:
    session: str
    required: List[str]
    optional: List[str]
    message: str
    coordinator: str
    meeting_name: str


def _new_token(nbytes: int = 12) -> str:
    return secrets.token_hex(nbytes)


class ApplianceState:
    """All of the appliance's data, loaded from a scenario."""

    def __init__(self, scenario: Optional[dict] = None):
        self.lock = threading.RLock()
        self.public_host = "localhost"
        self.public_port = 443
        self.load(scenario if scenario is not None else DEFAULT_SCENARIO)

    # ---------------------------------------------------------------- loading

    def load(self, scenario: dict) -> None:
        """Replaces the whole state by `scenario` (missing keys take defaults)."""
        if not isinstance(scenario, dict):
            raise ScenarioError("scenario must be a JSON object")
        merged = copy.deepcopy(DEFAULT_SCENARIO)
        merged.update(scenario)
        # Built aside and swapped in at once, so a bad scenario changes nothing.
        fresh = _Fresh()
        now = time.time()
        try:
            fresh.server_version = merged["server_version"]
            # A domain of authType 8 logs in without credentials as its "user".
            fresh.domains = [{"name": str(d["name"]), "authType": int(d.get("authType", 1)),
                              "user": str(d.get("user", "sso-user"))}
                             for d in merged["domains"]]
            fresh.portals = [str(p) for p in merged["portals"]]
            fresh.allow_guests = bool(merged["allow_guests"])
            fresh.invite_error = int(merged["invite_error"])
            fresh.meeting_limit = int(merged["meeting_limit"])
            fresh.upgrade_body = _bytes_of(merged["upgrade_body"])
            fresh.geobot = merged.get("geobot")          # text: every login is denied
            fresh.login_message = merged.get("login_message")
            fresh.need_upgrade = bool(merged.get("need_upgrade", False))
            fresh.upgrade_required = bool(merged.get("upgrade_required", False))
            fresh.users = {}
            for u in merged["users"]:
                user = _user_from(u)
                fresh.users[user.name] = user
            fresh.sessions = {}
            for s in merged["sessions"]:
                session = _session_from(s, fresh.users)
                fresh.sessions[session.value] = session
            fresh.second_steps = {}                      # pstate -> step record
            fresh.meetings = {}
            for m in merged["meetings"]:
                meeting = _meeting_from(m, now, fresh.users)
                fresh.meetings[meeting.id] = meeting
            fresh.next_meeting_id = 200001
            fresh.saved = {}
            fresh.next_rowid = 1
            for s in merged["saved_meetings"]:
                rowid = int(s.get("rowid", fresh.next_rowid))
                fresh.saved[rowid] = SavedMeeting(rowid, str(s["owner"]),
                                                  {k: str(v) for k, v in s.get("fields", {}).items()})
                fresh.next_rowid = max(fresh.next_rowid, rowid + 1)
            fresh.invitations = []
            fresh.password_changes = []
            fresh.scenario_faults = list(merged["faults"])
        except (KeyError, TypeError, ValueError, AttributeError) as e:
            raise ScenarioError("bad scenario: %s" % e) from e
        with self.lock:
            self.__dict__.update(fresh.__dict__)

    # --------------------------------------------------------------- sessions

    def new_session(self, user: str, display_name: str, guest: bool = False,
                    verified: bool = True) -> Session:
        with self.lock:
            value = _new_token()
            tries = self.users[user].otp_tries if user in self.users else 3
            s = Session(value=value, user=user, display_name=display_name, guest=guest,
                        verified=verified, otp_tries_left=tries)
            self.sessions[value] = s
            return s

    def session_by_cookie(self, cookie_value: str) -> Optional[Session]:
        """The session whose Base64 cookie is `cookie_value`, live or expired."""
        try:
            raw = base64.b64decode(cookie_value.encode("ascii"), validate=True).decode("utf-8")
        except (ValueError, UnicodeError):
            return None
        with self.lock:
            return self.sessions.get(raw)

    def live_sessions_of(self, user: str) -> List[Session]:
        with self.lock:
            return [s for s in self.sessions.values()
                    if s.user == user and not s.guest and s.verified and not s.expired]

    def end_session(self, value: str) -> None:
        with self.lock:
            self.sessions.pop(value, None)
            for m in self.meetings.values():
                m.participants = [p for p in m.participants if p.session != value]

    def expire_sessions(self, user: Optional[str] = None,
                        session: Optional[str] = None) -> int:
        """Marks matching sessions expired (all when no filter is given)."""
        count = 0
        with self.lock:
            for s in self.sessions.values():
                if (user is None or s.user == user) and (session is None or s.value == session):
                    s.expired = True
                    count += 1
        return count

    def new_second_step(self, user: str, kind: str, **extra) -> str:
        with self.lock:
            token = _new_token(8)
            record = {"user": user, "kind": kind}
            record.update(extra)
            self.second_steps[token] = record
            return token

    def take_second_step(self, token: str) -> Optional[dict]:
        # The client may send the token back with the CR of its header line.
        with self.lock:
            return self.second_steps.pop(token.rstrip("\r\n"), None)

    # --------------------------------------------------------------- meetings

    def open_meetings(self) -> List[Meeting]:
        with self.lock:
            return list(self.meetings.values())

    def create_meeting(self, owner_session: Session, title: str, password: str,
                       description: str, start: float, end: float,
                       start_now: bool) -> Meeting:
        with self.lock:
            mid = str(self.next_meeting_id)
            self.next_meeting_id += 1
            meeting = Meeting(id=mid, title=title, owner=owner_session.user,
                              owner_session=owner_session.value, number=mid,
                              password=password, description=description,
                              state="started" if start_now else "waiting",
                              start=start, end=end)
            self.meetings[mid] = meeting
            return meeting

    def expires_in(self, meeting: Meeting, now: float) -> int:
        if meeting.expires_override is not None:
            return int(meeting.expires_override)
        if meeting.state == "started":
            return 0
        return int(meeting.end - now)

    # ------------------------------------------------------------ run-time edits

    def update_meeting(self, mid: str, changes: dict) -> Meeting:
        with self.lock:
            meeting = self.meetings.get(mid)
            if meeting is None:
                raise ScenarioError("no meeting %r" % mid)
            for key, value in changes.items():
                if key == "state":
                    if value not in MEETING_LIST_STATES:
                        raise ScenarioError("unknown state %r" % value)
                    meeting.state = value
                elif key in ("sharing_state", "max_attendees", "open_before_minutes"):
                    setattr(meeting, key, int(value))
                elif key in ("title", "password", "description", "wait_msg", "number"):
                    setattr(meeting, key, str(value))
                elif key == "invite_only":
                    meeting.invite_only = bool(value)
                elif key == "expires":
                    meeting.expires_override = None if value is None else int(value)
                elif key == "start_in":
                    meeting.start = time.time() + float(value)
                elif key == "end_in":
                    meeting.end = time.time() + float(value)
                elif key == "delete":
                    if value:
                        del self.meetings[mid]
                else:
                    raise ScenarioError("unknown meeting field %r" % key)
            return meeting

    def update_participant(self, mid: str, session: str, changes: dict) -> None:
        with self.lock:
            meeting = self.meetings.get(mid)
            if meeting is None:
                raise ScenarioError("no meeting %r" % mid)
            p = meeting.participant(session)
            if p is None:
                p = Participant(session=session, name=str(changes.get("name", session)))
                meeting.participants.append(p)
            for key, value in changes.items():
                if key == "remove":
                    if value:
                        meeting.participants.remove(p)
                    return
                if key == "name":
                    p.name = str(value)
                elif key in ("role", "caller_role", "state", "viewonly", "assist_permission"):
                    setattr(p, key, int(value))
                elif key == "terminated":
                    p.terminated = bool(value)
                else:
                    raise ScenarioError("unknown participant field %r" % key)

    # ------------------------------------------------------------------ views

    def snapshot(self) -> dict:
        """A JSON-able picture of the state, for tests."""
        with self.lock:
            return {
                "users": {n: {"kind": u.kind, "password": u.password, "pin": u.pin}
                          for n, u in self.users.items()},
                "sessions": [{"value": s.value, "cookie": s.cookie, "user": s.user,
                              "display_name": s.display_name, "guest": s.guest,
                              "verified": s.verified, "expired": s.expired}
                             for s in self.sessions.values()],
                "meetings": [{"id": m.id, "title": m.title, "owner": m.owner,
                              "password": m.password, "description": m.description,
                              "state": m.state, "sharing_state": m.sharing_state,
                              "start": m.start, "end": m.end,
                              "participants": [p.__dict__.copy() for p in m.participants]}
                             for m in self.meetings.values()],
                "saved_meetings": [{"rowid": s.rowid, "owner": s.owner, "fields": dict(s.fields)}
                                   for s in self.saved.values()],
                "invitations": [i.__dict__.copy() for i in self.invitations],
                "password_changes": list(self.password_changes),
            }


def _bytes_of(value) -> bytes:
    if isinstance(value, dict) and "base64" in value:
        return base64.b64decode(value["base64"])
    if isinstance(value, dict) and "repeat" in value:
        return _bytes_of(value.get("text", "x")) * int(value["repeat"])
    return str(value).encode("utf-8")


class _Fresh:
    """Holder of a state being loaded."""


def _session_from(s: dict, users: Dict[str, User]) -> Session:
    user = str(s["user"])
    guest = bool(s.get("guest", False))
    if not guest and user not in users:
        raise ScenarioError("session of unknown user %r" % user)
    value = str(s.get("value") or _new_token())
    display = s.get("display_name") or (user if guest else users[user].display_name)
    return Session(value=value, user=user, display_name=display, guest=guest,
                   expired=bool(s.get("expired", False)))


def _meeting_from(m: dict, now: float, users: Dict[str, User]) -> Meeting:
    mid = str(m["id"])
    owner = str(m["owner"])
    if owner not in users:
        raise ScenarioError("meeting %s: unknown owner %r" % (mid, owner))
    state = str(m.get("state", "waiting"))
    if state not in MEETING_LIST_STATES:
        raise ScenarioError("meeting %s: unknown state %r" % (mid, state))
    start = float(m["start"]) if "start" in m else now + float(m.get("start_in", 0))
    end = float(m["end"]) if "end" in m else (
        now + float(m["end_in"]) if "end_in" in m else start + 3600)
    meeting = Meeting(id=mid, title=str(m.get("title", mid)), owner=owner,
                      number=str(m.get("number", mid)),
                      password=str(m.get("password", "")),
                      description=str(m.get("description", "")),
                      wait_msg=str(m.get("wait_msg", "")), state=state,
                      sharing_state=int(m.get("sharing_state", 0)),
                      start=start, end=end,
                      expires_override=m.get("expires"),
                      max_attendees=int(m.get("max_attendees", 0)),
                      invite_only=bool(m.get("invite_only", False)),
                      open_before_minutes=int(m.get("open_before_minutes", 15)))
    for p in m.get("participants", []):
        meeting.participants.append(_participant_from(p))
    return meeting


def _user_from(u: dict) -> User:
    if "name" not in u or "password" not in u:
        raise ScenarioError("user needs name and password: %r" % (u,))
    kind = str(u.get("kind", "password"))
    if kind not in ACCOUNT_KINDS:
        raise ScenarioError("user %s: unknown kind %r" % (u["name"], kind))
    known = set(User.__dataclass_fields__)
    unknown = set(u) - known
    if unknown:
        raise ScenarioError("user %s: unknown fields %s" % (u["name"], sorted(unknown)))
    user = User(**{k: v for k, v in u.items()})
    user.kind = kind
    if not user.display_name:
        user.display_name = user.name
    return user


def _participant_from(p: dict) -> Participant:
    known = set(Participant.__dataclass_fields__)
    unknown = set(p) - known
    if unknown:
        raise ScenarioError("participant: unknown fields %s" % sorted(unknown))
    return Participant(**p)


def load_scenario_file(path: str) -> dict:
    with open(path, "rb") as f:
        try:
            return json.loads(f.read().decode("utf-8"))
        except ValueError as e:
            raise ScenarioError("%s: %s" % (path, e)) from e
