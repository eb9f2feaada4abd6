"""The appliance's CGI programs under /cgi-bin/, as the client uses them.

Each program takes a parsed request and returns a Reply; replies carry the
header markers and body texts the client searches for. Everything a reply
says comes from ApplianceState; run-time misbehaviour is the faults module's.
"""

from typing import Callable, Dict, Optional, Tuple

from cgi_meetings import MeetingPrograms, field
from httpwire import Form, Reply, Request
from state import ApplianceState, Session


class CgiHandler(MeetingPrograms):
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
        return self.user_login(form, req.client_cert)

    def fail_login(self, r: Reply, message: str) -> Reply:
        return r.add("X-KE-message", message)

    def user_login(self, form: Form, client_cert: Optional[dict] = None) -> Reply:
        st = self.state
        r = self.login_reply()
        if st.geobot is not None:
            return r.add("X-KE-geobot", st.geobot)
        if self.portal_check(r, form.get("portalname"), guest=False):
            return r
        domain = form.get("domain")
        sso = next((d for d in st.domains if d["name"] == domain and d["authType"] == 8), None)
        if sso is not None and not form.get("username") and not form.get("password"):
            # A domain that needs no credentials: the session is its user's.
            s = st.new_session(sso["user"], sso["user"])
            self.set_cookie(r, s)
            return r
        user = st.users.get(form.get("username", ""))
        if user is None or not self._domain_ok(user, domain):
            return self.fail_login(r, "Login failed: wrong user name or password.")
        if user.client_cert and client_cert is None:
            return self.fail_login(r, "Login failed: a client certificate is required.")
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
        st.password_changes.append({"username": form.get("username", ""), "changed": bool(ok),
                                    "old": old, "new": new1})
        if not ok:
            return r.add("X-KE-message", "The password could not be changed.")
        user.password = new1
        user.password_expiry_days = None  # a new password has not expired
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
