"""The appliance's CGI programs under /cgi-bin/, as the client uses them.

Each program takes a parsed request and returns a Reply; replies carry the
header markers and body texts the client searches for. Everything a reply
says comes from ApplianceState; run-time misbehaviour is the faults module's.
"""

import time
from typing import Callable, Dict, Optional, Tuple

from httpwire import Form, Reply, Request
from state import (MEETING_LIST_STATES, PARTICIPANT_LIST_STATES, ApplianceState,
                   Invitation, Meeting, Participant, SavedMeeting, Session)

CLIENT_VERSION = 134217734
SAVED_MEETING_KEYS = ("meetingname", "meetingcode", "meetingstart", "meetingend",
                      "meetingdescription", "requrieemails", "optionalemails",
                      "inviteremail", "custmsg")
MAX_INVITEES = 1000


def field(value) -> str:
    """A value inside a "key=value;" list item: ";" and line ends would cut
    the record short, so they become "," and a blank."""
    return str(value).replace(";", ",").replace("\r", " ").replace("\n", " ")


def local_date_time(epoch: float, bias_min: int) -> Tuple[str, str]:
    t = time.gmtime(epoch + bias_min * 60)
    return time.strftime("%Y/%m/%d", t), time.strftime("%H:%M", t)


def parse_int(text: Optional[str]) -> Optional[int]:
    if text is None:
        return None
    t = text.strip()
    body = t[1:] if t[:1] in "+-" else t
    if not body.isdigit() or len(body) > 18:
        return None
    return int(t)


class CgiHandler:
    def __init__(self, state: ApplianceState):
        self.state = state
        self.routes: Dict[Tuple[str, str], Callable[[Request], Reply]] = {
            ("GET", "/cgi-bin/userLogin"): self.query_domains,
            ("POST", "/cgi-bin/userLogin"): self.user_login_post,
            ("POST", "/cgi-bin/otpLogin"): self.otp_login,
            ("GET", "/cgi-bin/userLogout"): self.logout,
            ("GET", "/cgi-bin/meetingactive"): self.meeting_active_get,
            ("POST", "/cgi-bin/meetingactive"): self.meeting_active_post,
            ("POST", "/cgi-bin/welcome"): self.welcome,
            ("GET", "/cgi-bin/meetingstart"): self.meeting_start_get,
            ("POST", "/cgi-bin/meetingstart"): self.meeting_start_post,
            ("POST", "/cgi-bin/loginChangePass"): self.change_password,
            ("POST", "/cgi-bin/MeetingInvite"): self.invite,
        }

    def handle(self, req: Request) -> Reply:
        route = self.routes.get((req.method, req.path))
        if route is None:
            return Reply(status=404).text("Not Found\r\n")
        with self.state.lock:
            return route(req)

    # ------------------------------------------------------------- sessions

    def session_of(self, req: Request) -> Optional[Session]:
        """The request's live session: known, not expired, second step done."""
        cookie = req.cookie("swap")
        if not cookie:
            return None
        s = self.state.session_by_cookie(cookie)
        if s is None or s.expired or not s.verified:
            return None
        return s

    def login_reply(self) -> Reply:
        r = Reply()
        if self.state.server_version is not None:
            r.add("serverversion", self.state.server_version)
        if self.state.need_upgrade:
            r.add("X-KE-upgrade", "needupgrade")
        if self.state.upgrade_required:
            r.add("X-KE-upgrade-level", "upgraderequired")
        return r

    @staticmethod
    def set_cookie(r: Reply, s: Session) -> None:
        r.add("Set-Cookie", "swap=%s; path=/; secure; HttpOnly" % s.cookie)

    def portal_check(self, r: Reply, portal: Optional[str], guest: bool) -> bool:
        """Adds the portal-choice reply when needed; True when it decided."""
        portals = self.state.portals
        if portal:
            if portals and portal not in portals:
                if guest:
                    r.text("error:no available portal\r\n")
                else:
                    r.add("X-KE-portal", "noenableportal")
                return True
            return False
        if len(portals) > 1:
            r.add("X-KE-portal", "multiportal")
            r.text("".join("portal:%s\r\n" % p for p in portals))
            return True
        return False

    # --------------------------------------------------------------- login

    def query_domains(self, req: Request) -> Reply:
        q = req.query_form()
        if q.get("QueryDomain") != "true":
            return Reply(status=404).text("Not Found\r\n")
        r = self.login_reply()
        if self.state.geobot is not None:
            return r.add("X-KE-geobot", self.state.geobot)
        if self.state.login_message:
            r.add("X-KE-message", self.state.login_message)
        if not self.state.domains:
            return r.text("error:no available domains\r\n")
        return r.text("".join("domain=%s;authType=%d\r\n" % (field(d["name"]), d["authType"])
                              for d in self.state.domains))

    def user_login_post(self, req: Request) -> Reply:
        form = req.form()
        if form.get("guestLogin") == "meeting":
            return self.guest_login(form)
        step = form.get("state")
        if step == "RSANEWPIN":
            return self.rsa_step(form)
        if step == "RADIUSCHALLENGE":
            return self.radius_step(form)
        return self.user_login(form)

    def fail_login(self, r: Reply, message: str) -> Reply:
        return r.add("X-KE-message", message)

    def user_login(self, form: Form) -> Reply:
        st = self.state
        r = self.login_reply()
        if st.geobot is not None:
            return r.add("X-KE-geobot", st.geobot)
        if self.portal_check(r, form.get("portalname"), guest=False):
            return r
        user = st.users.get(form.get("username", ""))
        domain = form.get("domain")
        if user is None or not self._domain_ok(user, domain):
            return self.fail_login(r, "Login failed: wrong user name or password.")
        password = form.get("password", "")
        kind = user.kind
        if kind in ("rsa_new_pin", "rsa_system_pin") and user.pin:
            if password != user.pin + user.token:
                return self.fail_login(r, "Login failed: wrong pass-code.")
            return self._logged_in(r, user, form)
        if password != user.password:
            return self.fail_login(r, "Login failed: wrong user name or password.")
        if kind == "password":
            return self._logged_in(r, user, form)
        if kind == "otp":
            s = st.new_session(user.name, user.display_name, verified=False)
            self.set_cookie(r, s)
            r.add("X-KE-tf", "1")
            return r.add("X-KE-message", "Please enter the one-time password.")
        if kind == "rsa_new_pin":
            token = st.new_second_step(user.name, "new_pin")
            r.add("X-KE-tf", "2").add("X-KE-rsastate", token)
            return r.add("X-KE-message", "Choose a new PIN of 4 to 8 letters or digits.")
        if kind == "rsa_system_pin":
            token = st.new_second_step(user.name, "system_pin")
            r.add("X-KE-tf", "3").add("X-KE-rsastate", token)
            return r.add("X-KE-message", "Your new PIN is %s." % user.system_pin)
        if kind == "rsa_next_code":
            token = st.new_second_step(user.name, "next_code", tries=3)
            r.add("X-KE-tf", "4").add("X-KE-rsastate", token)
            return r.add("X-KE-message", "Wait for the token code to change, then enter it.")
        # radius
        if not user.challenges:
            return self._logged_in(r, user, form)
        token = st.new_second_step(user.name, "radius", index=0)
        r.add("X-KE-tf", "5").add("X-KE-rsastate", token)
        return r.add("X-KE-message", user.challenges[0]["prompt"])

    def _domain_ok(self, user, domain: Optional[str]) -> bool:
        if not domain:
            return True
        if domain not in {d["name"] for d in self.state.domains}:
            return False
        return not user.domain or user.domain == domain

    def _logged_in(self, r: Reply, user, form: Form) -> Reply:
        st = self.state
        if user.session_prompt:
            pending = form.get("pendingId")
            live = st.live_sessions_of(user.name)
            if pending:
                step = st.take_second_step(pending)
                if step is None or step["kind"] != "pending" or step["user"] != user.name:
                    return self.fail_login(r, "The pending session is no longer valid.")
                for s in live:
                    st.end_session(s.value)
            elif live:
                token = st.new_second_step(user.name, "pending")
                r.add("X-KE-pendingId", token)
                return r.add("X-KE-message", "You are already logged in elsewhere.")
        s = st.new_session(user.name, user.display_name)
        self.set_cookie(r, s)
        if user.may_change_password is not None:
            r.add("X-KE-maychangepwd", str(user.may_change_password))
        if user.password_expiry_days is not None:
            r.add("X-KE-pwdexpdays", str(user.password_expiry_days))
        if st.login_message:
            r.add("X-KE-message", st.login_message)
        return r

    def guest_login(self, form: Form) -> Reply:
        st = self.state
        r = self.login_reply()
        if st.geobot is not None:
            return r.add("X-KE-geobot", st.geobot)
        if self.portal_check(r, form.get("portalname"), guest=True):
            return r
        name = form.get("guestuser", "")
        if not st.allow_guests or not name:
            return self.fail_login(r, "Guest login is not allowed.")
        s = st.new_session(name, name, guest=True)
        self.set_cookie(r, s)
        if st.login_message:
            r.add("X-KE-message", st.login_message)
        return r

    def otp_login(self, req: Request) -> Reply:
        st = self.state
        r = Reply()
        cookie = req.cookie("swap")
        s = st.session_by_cookie(cookie) if cookie else None
        if s is None or s.expired or s.verified or s.user not in st.users:
            r.add("X-KE-tfresult", "2")
            return r.add("X-KE-message", "The login has expired. Log in again.")
        code = req.form().get("password", "")
        if code == st.users[s.user].otp:
            s.verified = True
            return r.add("X-KE-tfresult", "0")
        s.otp_tries_left -= 1
        if s.otp_tries_left > 0:
            r.add("X-KE-tfresult", "1")
            return r.add("X-KE-message", "Wrong one-time password.")
        st.end_session(s.value)
        r.add("X-KE-tfresult", "2")
        return r.add("X-KE-message", "Too many wrong one-time passwords.")

    def _step_for(self, form: Form, kinds) -> Tuple[Optional[dict], object]:
        step = self.state.take_second_step(form.get("pstate", ""))
        if step is None or step["kind"] not in kinds:
            return None, None
        user = self.state.users.get(step["user"])
        if user is None or form.get("username") != user.name:
            return None, None
        return step, user

    def rsa_step(self, form: Form) -> Reply:
        st = self.state
        r = self.login_reply()
        if st.geobot is not None:
            return r.add("X-KE-geobot", st.geobot)
        if form.has("reply"):
            kinds = ("new_pin",)
        elif form.has("sysreply"):
            kinds = ("system_pin",)
        else:
            kinds = ("next_code",)
        step, user = self._step_for(form, kinds)
        if step is None:
            r.add("X-KE-message", "The PIN exchange has expired. Log in again.")
            return r.add("X-KE-tfresult", "2")
        if kinds == ("new_pin",):
            pin, again = form.get("reply", ""), form.get("rereply", "")
            if pin != again or not (4 <= len(pin) <= 8 and pin.isalnum()):
                r.add("X-KE-message", "The PIN was refused: use 4 to 8 letters or digits.")
                r.add("X-KE-rsastate", st.new_second_step(user.name, "new_pin"))
                return r.add("X-KE-tfresult", "1")
            user.pin = pin
            r.add("X-KE-message", "PIN accepted. Log in with the PIN followed by the token code.")
            return r.add("X-KE-tfresult", "0")
        if kinds == ("system_pin",):
            if form.get("sysreply") == "y":
                user.pin = user.system_pin
                r.add("X-KE-message", "PIN accepted. Log in with the PIN followed by the token code.")
                return r.add("X-KE-tfresult", "0")
            r.add("X-KE-message", "Choose a new PIN of 4 to 8 letters or digits.")
            r.add("X-KE-rsastate", st.new_second_step(user.name, "new_pin"))
            return r.add("X-KE-tf", "2")
        if form.get("nextcode") == user.next_code:
            s = st.new_session(user.name, user.display_name)
            self.set_cookie(r, s)
            return r.add("X-KE-tfresult", "0")
        tries = step.get("tries", 3) - 1
        r.add("X-KE-message", "Wrong token code.")
        if tries <= 0:
            return r.add("X-KE-tfresult", "2")
        r.add("X-KE-rsastate", st.new_second_step(user.name, "next_code", tries=tries))
        return r.add("X-KE-tfresult", "1")

    def radius_step(self, form: Form) -> Reply:
        st = self.state
        r = self.login_reply()
        if st.geobot is not None:
            return r.add("X-KE-geobot", st.geobot)
        step, user = self._step_for(form, ("radius",))
        if step is None:
            return r.add("X-KE-message", "The challenge has expired. Log in again.")
        index = step["index"]
        if form.get("radiusReply") != user.challenges[index]["answer"]:
            return r.add("X-KE-message", "Wrong answer to the challenge.")
        if index + 1 < len(user.challenges):
            r.add("X-KE-message", user.challenges[index + 1]["prompt"])
            r.add("X-KE-rsastate", st.new_second_step(user.name, "radius", index=index + 1))
            return r.add("X-KE-tf", "5")
        s = st.new_session(user.name, user.display_name)
        self.set_cookie(r, s)
        return r

    def logout(self, req: Request) -> Reply:
        cookie = req.cookie("swap")
        s = self.state.session_by_cookie(cookie) if cookie else None
        if s is not None:
            self.state.end_session(s.value)
        return Reply().text("Logout\r\n")

    def change_password(self, req: Request) -> Reply:
        st = self.state
        form = req.form()
        r = Reply()
        user = st.users.get(form.get("username", ""))
        old, new1, new2 = (form.get("oldPass", ""), form.get("newPass1", ""),
                           form.get("newPass2", ""))
        ok = (user is not None and self._domain_ok(user, form.get("domain"))
              and old == user.password and new1 and new1 == new2)
        st.password_changes.append({"username": form.get("username", ""), "changed": bool(ok)})
        if not ok:
            return r.add("X-KE-message", "The password could not be changed.")
        user.password = new1
        return r.add("X-PWD-change", "success")

    # ---------------------------------------------------- tests and downloads

    def meeting_active_get(self, req: Request) -> Reply:
        q = req.query_form()
        if q.get("SessionTest") == "true":
            s = self.session_of(req)
            if s is None:
                return Reply().text("Invalid Session\r\n")
            return Reply().text("Good Session\r\nusername: %s\r\n" % s.display_name)
        if q.get("MeetingTest") == "true":
            mid = q.get("meetingid") or q.get("meetingID")
            meetings = self.state.open_meetings()
            valid = any(m.id == mid for m in meetings) if mid else bool(meetings)
            return Reply().text("Valid Meeting\r\n" if valid else "Invalid Meeting\r\n")
        return Reply(status=404).text("Not Found\r\n")

    def welcome(self, req: Request) -> Reply:
        return Reply().text("<html><body>Welcome</body></html>\r\n")

    def meeting_start_get(self, req: Request) -> Reply:
        if req.query_form().get("upgradeclient") is None:
            return Reply(status=404).text("Not Found\r\n")
        return Reply(body=self.state.upgrade_body, content_type="application/octet-stream")

    # ------------------------------------------------------------ meetings

    def meeting_start_post(self, req: Request) -> Reply:
        form = req.form()
        s = self.session_of(req)
        if s is None:
            return Reply().text("sessionExpired\r\n")
        action = {
            "startmeeting": self.start_meeting,
            "savemeetinginfo": self.save_meeting_info,
            "getmeetinginfo": self.get_meeting_info,
            "deletemeetinginfo": self.delete_meeting_info,
            "reschedule": self.reschedule,
            "joinmeeting": self.join,
        }.get(form.get("submitter", ""))
        if action is None:
            return Reply().text("error: unknown request\r\n")
        return Reply().text(action(s, form))

    def start_meeting(self, s: Session, form: Form) -> str:
        st = self.state
        name = form.get("meetingname", "")
        to_start, to_end = parse_int(form.get("seconds2start")), parse_int(form.get("seconds2end"))
        start_now = form.get("isstartnow") == "true"
        if not name or to_start is None or to_end is None or (to_end <= to_start and not start_now):
            return "error: the meeting request is not complete\r\n"
        if s.guest:
            return "error: cannot create the meeting under this portal\r\n"
        if any(m.title == name for m in st.meetings.values()):
            return "error: meeting name: %s\r\n" % name
        if st.meeting_limit and len(st.meetings) >= st.meeting_limit:
            return "error: the max number of meeting rooms is %d\r\n" % st.meeting_limit
        now = time.time()
        m = st.create_meeting(s, name, form.get("meetingpass", ""),
                              form.get("meetingdescription", ""),
                              now + to_start, now + to_end, start_now)
        return "meeting_id: %s\r\n" % m.id

    def reschedule(self, s: Session, form: Form) -> str:
        name = form.get("meetingname", "")
        to_start, to_end = parse_int(form.get("seconds2start")), parse_int(form.get("seconds2end"))
        m = next((m for m in self.state.meetings.values()
                  if m.title == name and m.owner == s.user and not s.guest), None)
        if m is None or to_start is None or to_end is None or to_end <= to_start:
            return "error: fail to reschedule the meeting\r\n"
        now = time.time()
        m.start, m.end = now + to_start, now + to_end
        m.state = "waiting"
        m.expires_override = None
        return "meeting_id: %s\r\n" % m.id

    def join(self, s: Session, form: Form) -> str:
        m = self.state.meetings.get(form.get("meetingid", ""))
        if m is None:
            return "{error: cannot find the meeting}\r\n"
        is_owner = not s.guest and s.user == m.owner
        invited = form.get("invite") == "true"
        already = m.participant(s.value)
        if m.invite_only and not invited and not is_owner:
            return "Cannot join the meeting without invitation\r\n"
        if m.password and not invited:
            given = form.get("meetingpass", "")
            if not given:
                return "{error: NeedPwd}\r\n"
            if given != m.password:
                return "{error: InvalidPwd}\r\n"
        if m.max_attendees and already is None and len(m.participants) >= m.max_attendees:
            return "{error: too many attendees}\r\n"
        opens = m.start - m.open_before_minutes * 60
        if m.state != "started" and not is_owner and time.time() < opens:
            return "{error: BeforeMins %d}\r\n" % m.open_before_minutes
        if already is None:
            m.participants.append(Participant(session=s.value, name=s.display_name,
                                              caller_role=1 if is_owner else 0))
        else:
            already.terminated = False
        return "success\r\n"

    def save_meeting_info(self, s: Session, form: Form) -> str:
        st = self.state
        mode = parse_int(form.get("savemode"))
        fields = {k: form.get(k, "") for k in SAVED_MEETING_KEYS}
        fields["stamp"] = form.get("stamp", "")
        name = fields["meetingname"]
        if mode is None or not name:
            return "{error: the meeting info is not complete}\r\n"
        mine = [r for r in st.saved.values() if r.owner == s.user]
        same = next((r for r in mine if r.fields["meetingname"] == name), None)
        if mode == 2:
            rowid = parse_int(form.get("rowid"))
            record = st.saved.get(rowid) if rowid is not None else None
            if record is None or record.owner != s.user:
                return "{error: cannot find the meeting info}\r\n"
            record.fields.update(fields)
        elif mode == 1 and same is not None:
            same.fields.update(fields)
        elif same is not None:
            names = {r.fields["meetingname"] for r in mine}
            n = 1
            while "%s(%d)" % (name, n) in names:
                n += 1
            return "{error: same meeting name %s(%d)}\r\n" % (name, n)
        else:
            rowid = st.next_rowid
            st.next_rowid += 1
            st.saved[rowid] = SavedMeeting(rowid, s.user, fields)
        return "{success: save meeting info}\r\n"

    def get_meeting_info(self, s: Session, form: Form) -> str:
        out = []
        for r in sorted(self.state.saved.values(), key=lambda r: r.rowid):
            if r.owner != s.user:
                continue
            f = r.fields
            items = [(k, f.get(k, "")) for k in SAVED_MEETING_KEYS]
            items += [("username", r.owner), ("domain", ""), ("portal", ""),
                      ("stamp", f.get("stamp", "")), ("rowid", r.rowid)]
            out.append("".join("%s=%s;" % (k, field(v)) for k, v in items) + "\r\n")
        return "".join(out)

    def delete_meeting_info(self, s: Session, form: Form) -> str:
        rowid = parse_int(form.get("rowid"))
        if rowid is None:
            return "{error: no rowid}\r\n"
        record = self.state.saved.get(rowid)
        if record is None:
            return "{error: cannot find the meeting info}\r\n"
        if record.owner != s.user:
            return "{error: cannot delete other ones saves}\r\n"
        del self.state.saved[rowid]
        return "{success: delete meeting info}\r\n"

    def meeting_active_post(self, req: Request) -> Reply:
        form = req.form()
        s = self.session_of(req)
        if s is None:
            return Reply().text("sessionExpired\r\n")
        action = form.get("action", "")
        if action == "getmeetinglist":
            return Reply().text(self.meeting_list(s, form))
        if action == "getparticipants":
            return Reply().text(self.participants(s, form))
        if action == "cancelmeeting":
            m = self.state.meetings.get(form.get("meetingid", ""))
            if m is None or s.guest or m.owner != s.user:
                return Reply().text("Cancel Meeting Failed\r\n")
            del self.state.meetings[m.id]
            return Reply().text("Cancel Meeting OK\r\n")
        return Reply().text("error: unknown request\r\n")

    def invite_url(self, m: Meeting) -> str:
        host = self.state.public_host
        if self.state.public_port != 443:
            host += ":%d" % self.state.public_port
        return "https://%s/cgi-bin/meetinginvite?meetingid=%s" % (host, m.id)

    def meeting_list(self, s: Session, form: Form) -> str:
        bias = parse_int(form.get("biasmin"))
        if bias is not None and abs(bias) <= 24 * 60:
            s.bias_min = bias
        wanted = form.get("meetingid")
        out = []
        for m in self.state.open_meetings():
            if wanted is not None and m.id != wanted:
                continue
            owner = self.state.users.get(m.owner)
            date, clock = local_date_time(m.start, s.bias_min)
            end_date, end_clock = local_date_time(m.end, s.bias_min)
            items = [("meetingID", m.id), ("ownerName", owner.display_name if owner else m.owner),
                     ("ownerSess", m.owner_session), ("meetingName", m.title),
                     ("meetingNo", m.number), ("meetingDate", date), ("meetingTime", clock),
                     ("meetingState", MEETING_LIST_STATES[m.state]),
                     ("sharingState", m.sharing_state), ("endDate", end_date),
                     ("endTime", end_clock), ("meetingDescription", m.description),
                     ("waitMsg", m.wait_msg), ("meetingCount", len(m.participants)),
                     ("inviteUrl", self.invite_url(m))]
            out.append("".join("%s=%s;" % (k, field(v)) for k, v in items) + "\r\n")
        return "".join(out)

    def participants(self, s: Session, form: Form) -> str:
        m = self.state.meetings.get(form.get("meetingID", ""))
        if m is None:
            return "InvalidMeeting\r\n"
        me = m.participant(s.value)
        if me is not None and me.terminated:
            return "plsessionterminated\r\n"
        end_date, end_clock = local_date_time(m.end, s.bias_min)
        items = [("expires", self.state.expires_in(m, time.time())),
                 ("meetingState", PARTICIPANT_LIST_STATES[m.state]),
                 ("sharingState", m.sharing_state), ("endDate", end_date),
                 ("endTime", end_clock), ("meetingName", m.title)]
        if form.get("waitMsg") == "true":
            items.append(("waitMsg", m.wait_msg))
        out = "".join("%s=%s;" % (k, field(v)) for k, v in items)
        for p in m.participants:
            entry = [("sessionID", p.session), ("name", p.name), ("role", p.role),
                     ("callerRole", p.caller_role), ("state", p.state),
                     ("viewonly", p.viewonly), ("assistpermission", p.assist_permission)]
            out += "".join("%s=%s;" % (k, field(v)) for k, v in entry) + "\r\n"
        return out

    # ---------------------------------------------------------- invitations

    def invite(self, req: Request) -> Reply:
        s = self.session_of(req)
        if s is None:
            return Reply().text("sessionExpired\r\n")
        form = req.form()
        if form.get("inviteguest") != "true":
            return Reply().text("error=11&*&*")
        required = self._addresses(form, "invitecount", "t")
        optional = self._addresses(form, "optionalcount", "p")
        if required is None or optional is None:
            return Reply().text("error=2&*&*")
        self.state.invitations.append(Invitation(
            session=s.value, required=required, optional=optional,
            message=form.get("custommsg", ""), coordinator=form.get("techemail", ""),
            meeting_name=form.get("meetingname", "")))
        return Reply().text("error=%d&*&*" % self.state.invite_error)

    @staticmethod
    def _addresses(form: Form, count_key: str, prefix: str):
        count = parse_int(form.get(count_key))
        if count is None or not 0 <= count <= MAX_INVITEES:
            return None
        out = []
        for i in range(count):
            value = form.get("%s%d" % (prefix, i))
            if value is None:
                return None
            out.append(value)
        return out

