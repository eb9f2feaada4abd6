"""Tests of the local appliance, run against the real program over TLS.

The program is started once per test class with a fresh certificate set
(make_certs.sh); every test begins from the default scenario.
"""

import base64
import gzip
import hashlib
import http.client
import json
import os
import shutil
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from urllib.parse import quote

HERE = os.path.dirname(os.path.abspath(__file__))
FORM = [("Accept-Language", "en-us"),
        ("Content-Type", "application/x-www-form-urlencoded"),
        ("Accept-Encoding", "gzip, deflate")]
GET_COOKIE_TAIL = "; Bar=0; lastFolderClicked=IMG00; 555=/cgi-bin/status; apportal=107"


def enc(text: str) -> str:
    """Percent-encodes every byte but ASCII letters and digits, as the client does."""
    return quote(text.encode("utf-8"), safe="").replace("-", "%2D").replace(".", "%2E") \
        .replace("_", "%5F").replace("~", "%7E")


def body_of(*pairs) -> str:
    return "&".join("%s=%s" % (k, enc(v)) for k, v in pairs)


class Response:
    def __init__(self, status, headers, body):
        self.status, self.headers, self.body = status, headers, body

    def header(self, name):
        return next((v for k, v in self.headers if k.lower() == name.lower()), None)

    @property
    def text(self):
        return self.body.decode("utf-8")

    @property
    def cookie(self):
        """The swap cookie's value, or None."""
        sc = self.header("Set-Cookie")
        if not sc or not sc.startswith("swap="):
            return None
        return sc[len("swap="):].split(";", 1)[0]


class ApplianceHarness(unittest.TestCase):
    """Starts the appliance for a test class; the helpers speak to it."""

    @classmethod
    def appliance_args(cls, certs):
        """Further command-line arguments of the class's appliance."""
        return []

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="appliance-test-")
        cls.certs = certs = os.path.join(cls.tmp, "certs")
        subprocess.run(["sh", os.path.join(HERE, "make_certs.sh"), certs], check=True)
        cls.ca = os.path.join(certs, "ca.crt")
        ready = os.path.join(cls.tmp, "ready")
        cls.log_path = os.path.join(cls.tmp, "requests.jsonl")
        cls.proc = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "appliance.py"), "--cert-dir", certs,
             "--port", "0", "--control-port", "0", "--ready-file", ready,
             "--log", cls.log_path] + cls.appliance_args(certs), stdout=subprocess.DEVNULL)
        deadline = time.time() + 20
        while not os.path.exists(ready):
            if time.time() > deadline or cls.proc.poll() is not None:
                cls.proc.kill()
                raise RuntimeError("appliance did not become ready")
            time.sleep(0.05)
        with open(ready) as f:
            values = dict(line.strip().split("=", 1) for line in f if "=" in line)
        cls.port = int(values["port"])
        cls.control_port = int(values["control_port"])
        cls.tls = ssl.create_default_context(cafile=cls.ca)

    @classmethod
    def tearDownClass(cls):
        cls.proc.terminate()
        cls.proc.wait(10)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def setUp(self):
        self.control("POST", "scenario", {})
        self.control("POST", "requests/clear")

    # ------------------------------------------------------------ helpers

    def control(self, method, name, body=None, scenario_patch=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.control_port, timeout=10)
        data = json.dumps(body).encode() if body is not None else None
        conn.request(method, "/__control/" + name, body=data)
        r = conn.getresponse()
        payload = json.loads(r.read().decode())
        conn.close()
        return r.status, payload

    def request(self, method, target, headers=(), body=b"", timeout=10):
        conn = http.client.HTTPSConnection("localhost", self.port, context=self.tls,
                                           timeout=timeout)
        conn.putrequest(method, target, skip_accept_encoding=True)
        for k, v in headers:
            conn.putheader(k, v)
        if method == "POST":
            conn.putheader("Content-Length", str(len(body)))
        try:
            conn.endheaders(body if body else None)
            r = conn.getresponse()
            return Response(r.status, r.getheaders(), r.read())
        finally:
            conn.close()

    def post(self, path, pairs, cookie=None, extra=()):
        headers = ([("Cookie", "swap=" + cookie)] if cookie is not None else []) + FORM + list(extra)
        return self.request("POST", path, headers, body_of(*pairs).encode())

    def get(self, target, cookie=""):
        return self.request("GET", target, [("Cookie", "swap=" + cookie + GET_COOKIE_TAIL)])

    def login(self, user, password, *more):
        pairs = [("username", user), ("password", password)] + list(more) + [
            ("login", "true")]
        return self.post("/cgi-bin/userLogin", pairs + [("login.x", "0"), ("login.y", "0"),
                                                         ("callerRole", "1")],
                         extra=[("X-KE-SESSIONPROMPT", "true")])

    def logged_in(self, user="alice", password="secret"):
        r = self.login(user, password)
        self.assertIsNotNone(r.cookie, r.headers)
        return r.cookie

    def second_step(self, state, pstate, user, *tail):
        return self.post("/cgi-bin/userLogin", [("state", state), ("pstate", pstate),
                                                ("domain", ""), ("username", user)] + list(tail))

    def session_valid(self, cookie):
        return self.get("/cgi-bin/meetingactive?SessionTest=true", cookie).text.startswith(
            "Good Session")

    def meeting(self, cookie, *pairs, path="/cgi-bin/meetingstart"):
        return self.post(path, [("StandAlone", "true")] + list(pairs), cookie=cookie).text

    def participants(self, cookie, mid, wait=False):
        pairs = [("action", "getparticipants")] + ([("waitMsg", "true")] if wait else []) + [
            ("meetingID", mid)]
        return self.meeting(cookie, *pairs, path="/cgi-bin/meetingactive")


class ApplianceTest(ApplianceHarness):
    # ------------------------------------------------------------- login

    def test_domain_query_reports_version_and_domains(self):
        r = self.get("/cgi-bin/userLogin?callerRole=1&QueryDomain=true")
        self.assertEqual(r.header("serverversion"), "8.0.0.6-1sv")
        self.assertEqual(r.text, "domain=LocalDB;authType=1\r\n")
        self.control("POST", "scenario", {"domains": [], "need_upgrade": True})
        r = self.get("/cgi-bin/userLogin?callerRole=1&QueryDomain=true&clientversion=134217734")
        self.assertEqual(r.text, "error:no available domains\r\n")
        self.assertIn("needupgrade", r.header("X-KE-upgrade"))

    def test_domain_without_credentials_logs_in_as_its_user(self):
        self.control("POST", "scenario", {"domains": [{"name": "SSO", "authType": 8, "user": "carol"}]})
        r = self.get("/cgi-bin/userLogin?callerRole=1&QueryDomain=true")
        self.assertEqual(r.text, "domain=SSO;authType=8\r\n")
        r = self.login("", "", ("domain", "SSO"))
        self.assertIsNotNone(r.cookie)
        r = self.get("/cgi-bin/meetingactive?SessionTest=true", r.cookie)
        self.assertEqual(r.text, "Good Session\r\nusername: carol\r\n")
        r = self.login("", "", ("domain", "LocalDB"))
        self.assertIsNone(r.cookie)

    def test_absolute_form_target_is_served_like_origin_form(self):
        # A client behind a proxy may name the whole address in the request line.
        r = self.get("https://localhost:%d/cgi-bin/userLogin?callerRole=1&QueryDomain=true" % self.port)
        self.assertEqual(r.text, "domain=LocalDB;authType=1\r\n")

    def test_password_login_session_test_and_logout(self):
        r = self.login("alice", "wrong")
        self.assertIsNone(r.cookie)
        self.assertTrue(r.header("X-KE-message"))
        r = self.login("alice", "secret", ("domain", "LocalDB"))
        self.assertEqual(r.header("X-KE-maychangepwd"), "1")
        cookie = r.cookie
        r = self.get("/cgi-bin/meetingactive?SessionTest=true", cookie)
        self.assertEqual(r.text, "Good Session\r\nusername: alice\r\n")
        self.assertIsNone(self.login("alice", "secret", ("domain", "Nowhere")).cookie)
        self.get("/cgi-bin/userLogout", cookie)
        self.assertEqual(self.get("/cgi-bin/meetingactive?SessionTest=true", cookie).text,
                         "Invalid Session\r\n")

    def test_one_time_password(self):
        r = self.login("olga", "otp-pass")
        self.assertEqual(r.header("X-KE-tf"), "1")
        cookie = r.cookie
        self.assertFalse(self.session_valid(cookie), "unverified session must not count")
        otp = lambda code: self.post("/cgi-bin/otpLogin", [("password", code), ("login", "true")],
                                     cookie=cookie)
        self.assertEqual(otp("000000").header("X-KE-tfresult"), "1")
        self.assertEqual(otp("123456").header("X-KE-tfresult"), "0")
        self.assertTrue(self.session_valid(cookie))

    def test_one_time_password_gives_up_after_the_tries(self):
        cookie = self.login("olga", "otp-pass").cookie
        results = [self.post("/cgi-bin/otpLogin", [("password", "1"), ("login", "true")],
                             cookie=cookie).header("X-KE-tfresult") for _ in range(3)]
        self.assertEqual(results, ["1", "1", "2"])
        self.assertEqual(self.post("/cgi-bin/otpLogin", [("password", "123456")],
                                   cookie=cookie).header("X-KE-tfresult"), "2")

    def test_rsa_new_pin_then_pass_code(self):
        r = self.login("nina", "111111")
        self.assertEqual(r.header("X-KE-tf"), "2")
        self.assertIsNone(r.cookie)
        # The client may return the token with the CR of its header line.
        pstate = r.header("X-KE-rsastate") + "\r"
        r = self.second_step("RSANEWPIN", pstate, "nina", ("reply", "2468"), ("rereply", "2469"))
        self.assertEqual(r.header("X-KE-tfresult"), "1")
        r = self.second_step("RSANEWPIN", r.header("X-KE-rsastate"), "nina",
                             ("reply", "2468"), ("rereply", "2468"))
        self.assertEqual(r.header("X-KE-tfresult"), "0")
        self.assertIsNone(self.login("nina", "111111").cookie)
        self.assertTrue(self.session_valid(self.logged_in("nina", "2468111111")))

    def test_rsa_system_pin_accepted_or_refused(self):
        r = self.login("sam", "222222")
        self.assertEqual(r.header("X-KE-tf"), "3")
        self.assertIn("4321", r.header("X-KE-message"))
        refused = self.second_step("RSANEWPIN", r.header("X-KE-rsastate"), "sam",
                                   ("sysreply", "n"))
        self.assertEqual(refused.header("X-KE-tf"), "2")
        self.assertIsNone(refused.header("X-KE-tfresult"))
        r = self.login("sam", "222222")
        r = self.second_step("RSANEWPIN", r.header("X-KE-rsastate"), "sam", ("sysreply", "y"))
        self.assertEqual(r.header("X-KE-tfresult"), "0")
        self.logged_in("sam", "4321222222")

    def test_rsa_next_code(self):
        r = self.login("ned", "1234333333")
        self.assertEqual(r.header("X-KE-tf"), "4")
        r = self.second_step("RSANEWPIN", r.header("X-KE-rsastate"), "ned", ("nextcode", "1"))
        self.assertEqual((r.header("X-KE-tfresult"), r.cookie), ("1", None))
        r = self.second_step("RSANEWPIN", r.header("X-KE-rsastate"), "ned",
                             ("nextcode", "444444"))
        self.assertEqual(r.header("X-KE-tfresult"), "0")
        self.assertTrue(self.session_valid(r.cookie))
        # A used token is not accepted twice.
        again = self.second_step("RSANEWPIN", r.header("X-KE-rsastate") or "x", "ned",
                                 ("nextcode", "444444"))
        self.assertEqual(again.header("X-KE-tfresult"), "2")

    def test_radius_challenges(self):
        r = self.login("rita", "radius-pass")
        self.assertEqual((r.header("X-KE-tf"), r.header("X-KE-message")),
                         ("5", "What is your pet's name?"))
        wrong = self.second_step("RADIUSCHALLENGE", r.header("X-KE-rsastate"), "rita",
                                 ("radiusReply", "tom"))
        self.assertIsNone(wrong.cookie)
        r = self.login("rita", "radius-pass")
        r = self.second_step("RADIUSCHALLENGE", r.header("X-KE-rsastate"), "rita",
                             ("radiusReply", "rex"))
        self.assertEqual((r.header("X-KE-tf"), r.cookie), ("5", None))
        r = self.second_step("RADIUSCHALLENGE", r.header("X-KE-rsastate"), "rita",
                             ("radiusReply", "9876"))
        self.assertTrue(self.session_valid(r.cookie))

    def test_portals_pending_session_and_geobot(self):
        self.control("POST", "scenario", {
            "portals": ["north", "south"],
            "users": [{"name": "alice", "password": "secret", "session_prompt": True,
                       "password_expiry_days": -1}]})
        r = self.login("alice", "secret")
        self.assertIn("multiportal", r.header("X-KE-portal"))
        self.assertEqual(r.text, "portal:north\r\nportal:south\r\n")
        self.assertIsNone(r.cookie)
        self.assertIn("noenableportal", self.login("alice", "secret",
                                                   ("portalname", "west")).header("X-KE-portal"))
        first = self.login("alice", "secret", ("portalname", "north"))
        self.assertEqual(first.header("X-KE-pwdexpdays"), "-1")
        r = self.login("alice", "secret", ("portalname", "north"))
        pending = r.header("X-KE-pendingId")
        self.assertTrue(pending)
        self.assertIsNone(r.cookie)
        r = self.login("alice", "secret", ("portalname", "north"), ("pendingId", pending + "\r"))
        self.assertTrue(self.session_valid(r.cookie))
        self.assertFalse(self.session_valid(first.cookie))
        self.control("POST", "scenario", {"geobot": "Denied by region"})
        r = self.login("alice", "secret")
        self.assertEqual((r.header("X-KE-geobot"), r.cookie), ("Denied by region", None))

    def test_guest_login(self):
        r = self.post("/cgi-bin/userLogin", [("guestLogin", "meeting"),
                                             ("guestuser", "Zoë Gast"), ("callerRole", "0")])
        self.assertEqual(r.header("serverversion"), "8.0.0.6-1sv")
        self.assertEqual(self.get("/cgi-bin/meetingactive?SessionTest=true", r.cookie).text,
                         "Good Session\r\nusername: Zoë Gast\r\n")
        self.control("POST", "scenario", {"portals": ["a"], "allow_guests": True})
        r = self.post("/cgi-bin/userLogin", [("guestLogin", "meeting"), ("guestuser", "G"),
                                             ("portalname", "b"), ("callerRole", "0")])
        self.assertEqual(r.text, "error:no available portal\r\n")

    def test_password_change(self):
        self.control("POST", "scenario", {"users": [
            {"name": "bob", "password": "hunter2", "password_expiry_days": -1}]})
        change = lambda old, new1, new2: self.post("/cgi-bin/loginChangePass", [
            ("fromSAC", "true"), ("domain", ""), ("username", "bob"), ("oldPass", old),
            ("newPass1", new1), ("newPass2", new2)])
        self.assertIsNotNone(change("wrong", "n", "n").header("X-KE-message"))
        self.assertIsNone(change("hunter2", "a", "b").header("X-PWD-change"))
        self.assertEqual(change("hunter2", "n3w pass", "n3w pass").header("X-PWD-change"),
                         "success")
        self.logged_in("bob", "n3w pass")
        self.assertIsNone(self.login("bob", "n3w pass").header("X-KE-pwdexpdays"),
                          "a new password has not expired")
        changes = self.control("GET", "state")[1]["password_changes"]
        self.assertEqual(changes[-1], {"username": "bob", "changed": True,
                                       "old": "hunter2", "new": "n3w pass"})

    def test_cert_check_download_and_meeting_test(self):
        r = self.request("POST", "/cgi-bin/welcome?standalone=true&checkcert=true", FORM)
        self.assertEqual(r.status, 200)
        r = self.get("/cgi-bin/meetingstart?upgradeclient=ture&StandAlone=ture")
        self.assertEqual((r.body, r.header("Content-Type")),
                         (b"MZ local appliance client installer\r\n", "application/octet-stream"))
        self.assertEqual(self.get("/cgi-bin/meetingactive?MeetingTest=true").text,
                         "Valid Meeting\r\n")
        self.control("POST", "meeting", {"id": "100001", "delete": True})
        self.assertEqual(self.get("/cgi-bin/meetingactive?MeetingTest=true").text,
                         "Invalid Meeting\r\n")

    # ----------------------------------------------------------- meetings

    def test_meeting_start_list_join_participants_reschedule_cancel(self):
        alice = self.logged_in()
        start = lambda name: self.meeting(alice, ("submitter", "startmeeting"),
                                          ("meetingname", name), ("meetingpass", "pw1"),
                                          ("isstartnow", "true"), ("seconds2start", "-20"),
                                          ("seconds2end", "3600"),
                                          ("meetingdescription", "Über; alles"))
        reply = start("Plan")
        self.assertRegex(reply, r"^meeting_id: \d+\r\n$")
        mid = reply.split(": ")[1].strip()
        self.assertTrue(start("Plan").startswith("error: meeting name:"))
        listing = self.meeting(alice, ("action", "getmeetinglist"), ("biasmin", "120"),
                               ("meetingid", mid), path="/cgi-bin/meetingactive")
        keys = [item.split("=", 1)[0] for item in listing.rstrip("\r\n").split(";") if item]
        self.assertEqual(keys, ["meetingID", "ownerName", "ownerSess", "meetingName",
                                "meetingNo", "meetingDate", "meetingTime", "meetingState",
                                "sharingState", "endDate", "endTime", "meetingDescription",
                                "waitMsg", "meetingCount", "inviteUrl"])
        self.assertIn("meetingState=1;", listing)
        self.assertIn("meetingDescription=Über, alles;", listing)
        self.assertRegex(listing, r"meetingDate=\d{4}/\d\d/\d\d;meetingTime=\d\d:\d\d;")

        join = lambda cookie, *pw: self.meeting(cookie, ("submitter", "joinmeeting"),
                                                ("meetingid", mid), *pw)
        bob = self.logged_in("bob", "hunter2")
        self.assertIn("NeedPwd", join(bob))
        self.assertIn("NeedPwd", join(bob, ("meetingpass", "")))
        self.assertIn("InvalidPwd", join(bob, ("meetingpass", "nope")))
        self.assertEqual(join(alice, ("meetingpass", "pw1")), "success\r\n")
        self.assertEqual(join(bob, ("meetingpass", "pw1")), "success\r\n")

        alice_value = base64.b64decode(alice).decode()
        text = self.participants(bob, mid, wait=True)
        self.assertTrue(text.startswith("expires=0;meetingState=2;sharingState=0;endDate="))
        head, *entries = text.split("sessionID=")
        self.assertTrue(head.endswith("meetingName=Plan;waitMsg=;"))
        self.assertEqual(entries[0], "%s;name=alice;role=0;callerRole=1;state=1;viewonly=1;"
                                     "assistpermission=0;\r\n" % alice_value)
        self.assertTrue(entries[1].endswith(";name=bob;role=0;callerRole=0;state=1;viewonly=1;"
                                            "assistpermission=0;\r\n"))
        self.assertNotIn("waitMsg", self.participants(bob, mid))

        reschedule = self.meeting(alice, ("submitter", "reschedule"),
                                  ("meetingState", "waiting"), ("meetingname", "Plan"),
                                  ("seconds2start", "600"), ("seconds2end", "4200"))
        self.assertEqual(reschedule, "meeting_id: %s\r\n" % mid)
        self.assertIn("meetingState=1;", self.participants(bob, mid))
        self.assertRegex(self.participants(bob, mid), r"^expires=4\d\d\d;")
        self.assertIn("meetingState=0;", self.meeting(
            alice, ("action", "getmeetinglist"), ("biasmin", "0"),
            path="/cgi-bin/meetingactive"))
        self.assertIn("fail to reschedule", self.meeting(
            bob, ("submitter", "reschedule"), ("meetingState", "waiting"),
            ("meetingname", "Plan"), ("seconds2start", "600"), ("seconds2end", "4200")))

        cancel = lambda cookie: self.meeting(cookie, ("action", "cancelmeeting"),
                                             ("meetingid", mid), path="/cgi-bin/meetingactive")
        self.assertEqual(cancel(bob), "Cancel Meeting Failed\r\n")
        self.assertEqual(cancel(alice), "Cancel Meeting OK\r\n")
        self.assertEqual(self.participants(alice, mid), "InvalidMeeting\r\n")

    def test_join_refusals(self):
        self.control("POST", "scenario", {"meetings": [
            {"id": "7", "title": "Later", "owner": "alice", "start_in": 7200,
             "open_before_minutes": 15},
            {"id": "8", "title": "Closed", "owner": "alice", "state": "started",
             "invite_only": True, "max_attendees": 1}]})
        bob = self.logged_in("bob", "hunter2")
        join = lambda mid, *more: self.meeting(bob, ("submitter", "joinmeeting"),
                                               ("meetingid", mid), *more)
        self.assertEqual(join("7", ("meetingpass", "")), "{error: BeforeMins 15}\r\n")
        self.assertEqual(join("8", ("meetingpass", "")),
                         "Cannot join the meeting without invitation\r\n")
        self.assertEqual(join("8", ("invite", "true")), "success\r\n")
        guest = self.post("/cgi-bin/userLogin", [("guestLogin", "meeting"), ("guestuser", "g"),
                                                 ("callerRole", "0")]).cookie
        self.assertIn("attendees", self.meeting(guest, ("submitter", "joinmeeting"),
                                                ("meetingid", "8"), ("invite", "true")))
        self.assertNotIn("success", join("9", ("meetingpass", "")))

    def test_participant_list_errors(self):
        alice = self.logged_in()
        self.meeting(alice, ("submitter", "joinmeeting"), ("meetingid", "100001"),
                     ("meetingpass", "code1"))
        value = base64.b64decode(alice).decode()
        self.control("POST", "participant", {"meeting": "100001", "session": value,
                                             "terminated": True, "role": 1})
        self.assertEqual(self.participants(alice, "100001"), "plsessionterminated\r\n")
        self.control("POST", "expire", {"user": "alice"})
        self.assertEqual(self.participants(alice, "100001"), "sessionExpired\r\n")
        self.assertEqual(self.meeting(alice, ("action", "getmeetinglist"), ("biasmin", "0"),
                                      path="/cgi-bin/meetingactive"), "sessionExpired\r\n")

    def test_saved_meetings(self):
        alice = self.logged_in()
        fields = [("meetingname", "Retro"), ("meetingcode", "c0de"),
                  ("meetingstart", "2030/01/02 09:30"), ("meetingend", "2030/01/02 10:30"),
                  ("meetingdescription", "a#59b"), ("requrieemails", "x@y.z#59q@r.s"),
                  ("optionalemails", ""), ("inviteremail", ""), ("custmsg", "hi"),
                  ("stamp", "2029/12/01 08:00")]
        save = lambda cookie, mode, *extra: self.meeting(
            cookie, ("submitter", "savemeetinginfo"), ("savemode", str(mode)), *extra,
            *fields, ("biasmin", "60"))
        self.assertEqual(save(alice, 0), "{success: save meeting info}\r\n")
        self.assertEqual(save(alice, 0), "{error: same meeting name Retro(1)}\r\n")
        self.assertEqual(save(alice, 1), "{success: save meeting info}\r\n")
        listing = self.meeting(alice, ("submitter", "getmeetinginfo"), ("biasmin", "60"))
        self.assertEqual(listing,
                         "meetingname=Retro;meetingcode=c0de;meetingstart=2030/01/02 09:30;"
                         "meetingend=2030/01/02 10:30;meetingdescription=a#59b;"
                         "requrieemails=x@y.z#59q@r.s;optionalemails=;inviteremail=;custmsg=hi;"
                         "username=alice;domain=;portal=;stamp=2029/12/01 08:00;rowid=1;\r\n")
        self.assertEqual(save(alice, 2, ("rowid", "1")), "{success: save meeting info}\r\n")
        self.assertIn("cannot find", save(alice, 2, ("rowid", "99")))
        bob = self.logged_in("bob", "hunter2")
        delete = lambda cookie, rowid: self.meeting(cookie, ("submitter", "deletemeetinginfo"),
                                                    ("rowid", rowid))
        self.assertEqual(self.meeting(bob, ("submitter", "getmeetinginfo"), ("biasmin", "0")), "")
        self.assertEqual(delete(bob, "1"), "{error: cannot delete other ones saves}\r\n")
        self.assertEqual(delete(alice, ""), "{error: no rowid}\r\n")
        self.assertEqual(delete(alice, "1"), "{success: delete meeting info}\r\n")
        self.assertEqual(delete(alice, "1"), "{error: cannot find the meeting info}\r\n")

    def test_invitations(self):
        alice = self.logged_in()
        pairs = [("inviteguest", "true"), ("invitecount", "2"), ("t0", "a@b.c"),
                 ("t1", "d@e.f"), ("optionalcount", "0"), ("custommsg", "Come"),
                 ("techemail", ""), ("dhsac", "true"), ("meetingname", "Weekly sync")]
        self.assertEqual(self.post("/cgi-bin/MeetingInvite", pairs, cookie=alice).text,
                         "error=0&*&*")
        _, state = self.control("GET", "state")
        self.assertEqual(state["invitations"][0]["required"], ["a@b.c", "d@e.f"])
        self.control("POST", "scenario", {"invite_error": 21})
        alice = self.logged_in()
        self.assertEqual(self.post("/cgi-bin/MeetingInvite", pairs, cookie=alice).text,
                         "error=21&*&*")
        bad = [("inviteguest", "true"), ("invitecount", "3"), ("t0", "a@b.c")]
        self.assertEqual(self.post("/cgi-bin/MeetingInvite", bad, cookie=alice).text,
                         "error=2&*&*")

    # ------------------------------------------------- recording and faults

    def raw_exchange(self, data: bytes) -> bytes:
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as raw:
            with self.tls.wrap_socket(raw, server_hostname="localhost") as s:
                s.sendall(data)
                out = b""
                while True:
                    try:
                        chunk = s.recv(65536)
                    except (ssl.SSLError, ConnectionResetError):
                        break
                    if not chunk:
                        break
                    out += chunk
                return out

    def test_requests_are_recorded_byte_for_byte(self):
        body = b"StandAlone=true&action=getparticipants&meetingID=100001&x=%C3%A9\xff"
        head = (b"POST /cgi-bin/meetingactive HTTP/1.1\r\nHost: localhost\r\n"
                b"Cookie: swap=\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body))
        reply = self.raw_exchange(head + body)
        self.assertTrue(reply.endswith(b"\r\n\r\nsessionExpired\r\n"))
        with open(self.log_path) as f:
            records = [json.loads(line) for line in f]
        self.assertEqual(len(records), 1)
        rec = records[0]
        self.assertEqual(rec["head"].encode("latin-1"), head)
        self.assertEqual(bytes.fromhex(rec["body_hex"]), body)
        self.assertEqual(rec["body"].encode("latin-1"), body)
        self.assertEqual((rec["method"], rec["path"], rec["headers"][1]),
                         ("POST", "/cgi-bin/meetingactive", ["Cookie", "swap="]))
        _, over_control = self.control("GET", "requests")
        self.assertEqual(over_control, records)
        # The control paths answer on the HTTPS port too, and are never recorded.
        self.assertEqual(self.request("GET", "/__control/ping").status, 200)
        self.assertEqual(self.control("GET", "requests")[1], records)

    def test_malformed_requests_get_400(self):
        for data in (b"GARBAGE\r\n\r\n",
                     b"POST /cgi-bin/userLogin HTTP/1.1\r\nContent-Length: -5\r\n\r\n",
                     b"GET / HTTP/1.1\r\nno colon here\r\n\r\n"):
            self.assertTrue(self.raw_exchange(data).startswith(b"HTTP/1.1 400 "), data)
        self.assertEqual(self.control("POST", "faults", {"drop": "later"})[0], 400)
        self.assertEqual(self.control("POST", "scenario", {"users": [{"name": "x"}]})[0], 400)
        self.assertTrue(self.session_valid(self.logged_in()))

    def test_odd_numbers_get_a_clear_answer(self):
        # Non-ASCII digits ("\u00b2" passes str.isdigit) once dropped the
        # connection with a traceback; a negative chunk size waited for the
        # end of the stream.
        alice = self.logged_in()
        reply = self.meeting(alice, ("submitter", "startmeeting"), ("meetingname", "Odd"),
                             ("seconds2start", "\u00b2"), ("seconds2end", "3600"))
        self.assertEqual(reply, "error: the meeting request is not complete\r\n")
        for data in (b"POST /cgi-bin/userLogin HTTP/1.1\r\nContent-Length: \xb2\r\n\r\n",
                     b"POST /cgi-bin/userLogin HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                     b"-5\r\nabc\r\n0\r\n\r\n",
                     b"POST /cgi-bin/userLogin HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                     b"0x3\r\nabc\r\n0\r\n\r\n"):
            self.assertTrue(self.raw_exchange(data).startswith(b"HTTP/1.1 400 "), data)
        for fault in ({"delay": "soon"}, {"delay": True}, {"count": 0}, {"body": 5},
                      {"headers": [["X-A"]]}, {"omit_headers": "Set-Cookie"}):
            self.assertEqual(self.control("POST", "faults", fault)[0], 400, fault)
        self.assertEqual(self.control("GET", "faults")[1], [])

    def test_fault_error_reply_missing_marker_and_count(self):
        self.control("POST", "faults", [
            {"path": "/cgi-bin/userLogin", "method": "POST", "omit_headers": ["Set-Cookie"],
             "count": 1},
            {"match": "submitter=joinmeeting", "status": 500, "body": "broken"}])
        self.assertIsNone(self.login("alice", "secret").cookie)
        alice = self.logged_in()
        r = self.post("/cgi-bin/meetingstart", [("StandAlone", "true"),
                                                ("submitter", "joinmeeting"),
                                                ("meetingid", "100001")], cookie=alice)
        self.assertEqual((r.status, r.text), (500, "broken"))
        _, faults = self.control("GET", "faults")
        self.assertEqual(len(faults), 1)
        records = self.control("GET", "requests")[1]
        self.assertEqual(records[0]["fault"], {"omit_headers": ["Set-Cookie"]})

    def test_fault_truncated_oversized_gzip_and_chunked_bodies(self):
        target = "/cgi-bin/userLogin?callerRole=1&QueryDomain=true"
        self.control("POST", "faults", {"path": "/cgi-bin/userLogin", "truncate": 5,
                                        "count": 1})
        with self.assertRaises(http.client.IncompleteRead):
            self.get(target)
        self.control("POST", "faults", {"path": "/cgi-bin/userLogin", "oversize": 3_000_000,
                                        "count": 1})
        r = self.get(target)
        self.assertEqual(len(r.body), len("domain=LocalDB;authType=1\r\n") + 3_000_000)
        self.control("POST", "faults", {"path": "/cgi-bin/userLogin", "gzip": True, "count": 1})
        r = self.get(target)
        self.assertEqual(r.header("Content-Encoding"), "gzip")
        self.assertEqual(gzip.decompress(r.body), b"domain=LocalDB;authType=1\r\n")
        self.control("POST", "faults", {"path": "/cgi-bin/userLogin", "chunked": True,
                                        "count": 1})
        self.assertEqual(self.get(target).text, "domain=LocalDB;authType=1\r\n")

    def test_fault_dropped_connection_slow_reply_and_expired_session(self):
        alice = self.logged_in()
        self.control("POST", "faults", {"path": "/cgi-bin/meetingactive", "drop": "reset",
                                        "count": 1})
        with self.assertRaises((ConnectionError, http.client.RemoteDisconnected, ssl.SSLError)):
            self.participants(alice, "100001")
        self.control("POST", "faults", {"path": "/cgi-bin/meetingactive", "delay": 2,
                                        "count": 1})
        with self.assertRaises(socket.timeout):
            self.request("GET", "/cgi-bin/meetingactive?SessionTest=true", timeout=0.5)
        self.control("POST", "faults", {"path": "/cgi-bin/meetingactive",
                                        "expire_session": True, "count": 1})
        self.assertEqual(self.participants(alice, "100001"), "sessionExpired\r\n")
        self.assertFalse(self.session_valid(alice))

    def test_scenario_sessions_and_meeting_states(self):
        self.control("POST", "scenario", {
            "sessions": [{"user": "bob", "value": "fixed-session-1"}],
            "meetings": [{"id": "5", "title": "R", "owner": "alice", "state": "ready",
                          "sharing_state": 2, "expires": 120, "wait_msg": "Soon"}]})
        bob = base64.b64encode(b"fixed-session-1").decode()
        self.assertTrue(self.session_valid(bob))
        self.assertIn("meetingState=2;sharingState=2;", self.meeting(
            bob, ("action", "getmeetinglist"), ("biasmin", "0"), path="/cgi-bin/meetingactive"))
        self.assertTrue(self.participants(bob, "5", wait=True).startswith(
            "expires=120;meetingState=1;sharingState=2;"))
        self.control("POST", "meeting", {"id": "5", "state": "started"})
        self.assertIn("meetingState=2;", self.participants(bob, "5"))


class ClientCertificateTest(ApplianceHarness):
    """The appliance asks for client certificates from the run's client CA."""

    @classmethod
    def appliance_args(cls, certs):
        return ["--client-ca", os.path.join(certs, "client-ca.crt")]

    def with_certificate(self, name):
        ctx = ssl.create_default_context(cafile=self.ca)
        ctx.load_cert_chain(os.path.join(self.certs, name + ".crt"),
                            os.path.join(self.certs, name + ".key"))
        return ctx

    def records(self):
        return self.control("GET", "requests")[1]

    def test_presented_certificate_is_recorded_and_required_for_marked_users(self):
        self.control("POST", "scenario", {"users": [
            {"name": "alice", "password": "secret"},
            {"name": "carl", "password": "pw", "client_cert": True}]})
        # Without a certificate: the handshake goes on, carl is refused, alice is not.
        r = self.login("carl", "pw")
        self.assertIsNone(r.cookie)
        self.assertEqual(r.header("X-KE-message"), "Login failed: a client certificate is required.")
        self.assertIsNotNone(self.login("alice", "secret").cookie)
        self.assertEqual([rec["client_cert"] for rec in self.records()], [None, None])

        self.tls = self.with_certificate("client")
        self.assertIsNone(self.login("carl", "wrong").cookie, "the password still counts")
        carl = self.logged_in("carl", "pw")
        self.assertTrue(self.session_valid(carl))
        with open(os.path.join(self.certs, "client.sha1")) as f:
            sha1 = f.read().strip()
        self.assertEqual(self.records()[-1]["client_cert"],
                         {"subject": "/O=Corvisk tests/CN=Corvisk Test User", "sha1": sha1})
        # The PFX that Windows tests import holds that certificate and its key.
        pem = subprocess.run(["openssl", "pkcs12", "-in", os.path.join(self.certs, "client.pfx"),
                              "-passin", "pass:corvisk", "-clcerts", "-nodes"],
                             check=True, capture_output=True).stdout
        self.assertIn(b"PRIVATE KEY", pem)
        end = b"-----END CERTIFICATE-----"
        cert = pem[pem.index(b"-----BEGIN CERTIFICATE"):pem.index(end) + len(end)]
        der = ssl.PEM_cert_to_DER_cert(cert.decode())
        self.assertEqual(hashlib.sha1(der).hexdigest(), sha1)

    def test_certificate_from_another_authority_fails_the_handshake(self):
        count = len(self.records())
        self.tls = self.with_certificate("stranger")
        with self.assertRaises((ssl.SSLError, ConnectionError, http.client.RemoteDisconnected)):
            self.login("alice", "secret")
        self.assertEqual(len(self.records()), count, "nothing was served")


class SharingStateTest(unittest.TestCase):
    """The meeting's sharing state through the packets and joins that move it."""

    def setUp(self):
        sys.path.insert(0, HERE)
        import sharing
        import state
        self.sharing = sharing
        self.m = state.Meeting(id="1", title="t", owner="alice")
        self.m.participants = [state.Participant("h", "H", role=1), state.Participant("p", "P")]
        self.Participant = state.Participant

    def states(self):
        return self.m.sharing_state, [p.state for p in self.m.participants]

    def test_start_stop_restart_and_host_leaving(self):
        s, m = self.sharing, self.m
        m.sharing_state = 1                       # packet 5 (0, 1)
        for who, state in (("h", 2), ("p", 2), ("h", 3), ("p", 3)):
            s.on_state(m, who, state)
        self.assertEqual(self.states(), (1, [3, 3]))
        s.on_state(m, "h", 4)                     # the host shares
        s.on_state(m, "p", 4)
        self.assertEqual(self.states(), (2, [4, 4]))
        # A newcomer restarts: the host and every started viewer go back to 2.
        m.participants.append(self.Participant("n", "N"))
        s.on_join(m, "n")
        self.assertEqual(self.states(), (3, [2, 2, 1]))
        s.on_state(m, "h", 4)
        self.assertEqual(m.sharing_state, 2)
        # A viewer that ended reports 1 again: another restart.
        s.on_state(m, "p", 1)
        self.assertEqual(self.states(), (3, [2, 1, 1]))
        s.on_state(m, "h", 4)
        for who in ("p", "n"):
            s.on_state(m, who, 4)
        self.assertEqual(self.states(), (2, [4, 4, 4]))
        m.sharing_state = 4                       # packet 5 (2, 4)
        for who in ("h", "p"):
            s.on_state(m, who, 1)
            self.assertEqual(m.sharing_state, 4)  # until the last one is back
        s.on_state(m, "n", 1)
        self.assertEqual(self.states(), (0, [1, 1, 1]))
        # The host leaving while sharing ends it for everyone.
        m.sharing_state = 2
        for p in m.participants:
            p.state = 4
        s.on_leave(m, "h")
        self.assertEqual(self.states(), (0, [1, 1]))
        # Losing the host role while sharing does too; a plain leave does not.
        m.participants[0].role = 1
        m.sharing_state = 2
        s.on_leave(m, "n")
        self.assertEqual(m.sharing_state, 2)
        s.on_set_host(m, "zz")
        self.assertEqual(self.states(), (0, [1]))


if __name__ == "__main__":
    unittest.main()


class TunnelStallOnceTest(unittest.TestCase):
    """"stall_once_after": the downstream bytes stop once, at the byte named."""

    def test_stalls_once_inside_a_write_then_goes_on(self):
        import tunnel  # the tunnel alone, on a socket pair
        near, far = socket.socketpair()
        self.addCleanup(near.close)
        self.addCleanup(far.close)
        c = tunnel._Conn(near, None, "PL-PARTICIPANT", "s", {"stall_once_after": [6, 0.6]})
        c.write(b"abcd")  # before the mark: no stall
        start = time.monotonic()
        writer = threading.Thread(target=lambda: (c.write(b"efghij"), c.write(b"kl")))
        writer.start()
        far.settimeout(5)
        got = b""
        while len(got) < 6:
            got += far.recv(64)
        first = time.monotonic() - start
        self.assertEqual(got, b"abcdef")  # cut inside the write
        while len(got) < 12:
            got += far.recv(64)
        whole = time.monotonic() - start
        writer.join()
        self.assertEqual(got, b"abcdefghijkl")
        self.assertLess(first, 0.4)
        self.assertGreaterEqual(whole, 0.55)
        self.assertEqual(c.sent, 12)
        self.assertTrue(c.alive)


class ChatRoutingTest(unittest.TestCase):
    """Chat packets go down as bare frames, by their recipient."""

    def test_all_goes_to_the_others_and_a_session_to_itself_alone(self):
        import tunnel

        class Member:
            def __init__(self, session):
                self.session, self.meeting, self.got = session, "m", []

            def send_frames(self, tag, data):
                self.got.append((tag, bytes(data)))

        service = tunnel.TunnelService()
        a, b, c = Member("S1"), Member("S2"), Member("S3")
        service.control["m"] = {"S1": a, "S2": b, "S3": c}

        def chat(to, text):
            body = bytes([8, 0]) + struct.pack(">H", 2 + len(to) + len(text)) + bytes([2, len(to)])
            body += b"S1" + to + text
            return bytes([8, 0]) + struct.pack(">H", len(body)) + body, body

        packet, frame = chat(b"ALL", b"hi")
        self.assertEqual(packet, bytes.fromhex("0800000d080000070203") + b"S1ALLhi")
        service._route(a, packet)
        self.assertEqual(a.got, [])
        self.assertEqual(b.got, [(tunnel.TAG_CHAT, frame)])
        self.assertEqual(c.got, [(tunnel.TAG_CHAT, frame)])
        packet, frame = chat(b"S3", b"psst")
        service._route(a, packet)
        self.assertEqual(len(b.got), 1)
        self.assertEqual(c.got[-1], (tunnel.TAG_CHAT, frame))
        service._route(a, bytes([8, 0, 0, 2, 8, 0]))  # too short to name anyone
        self.assertEqual((len(b.got), len(c.got)), (1, 2))
class FileShareRoutingTest(unittest.TestCase):
    """Type 29 goes by the recipients in its text, with its fault switches."""

    class Member:
        def __init__(self, session, fault=None):
            self.session = session
            self.fault = fault or {}
            self.file_share_sent = 0
            self.file_share_cut = False
            self.frames = []

        def send_frames(self, tag, data):
            self.frames.append((tag, data))

    @staticmethod
    def packet(text: bytes) -> bytes:
        return bytes([29, 0, len(text) >> 8, len(text) & 0xFF]) + text

    def route(self, sender, members, text):
        import tunnel
        tunnel.TunnelService()._route_file_share(sender, members, self.packet(text))

    def test_recipients_everybody_or_listed_never_the_sender(self):
        import tunnel
        host, a, b = self.Member("HOST0001"), self.Member("GUEST002"), self.Member("OTHER003")
        everyone = b"0001\r\n9527\r\n1\r\n@@@@@@@@\r\nHOST0001\r\n2012\r\n0\r\nx\r\n\0"
        self.route(host, [host, a, b], everyone)
        self.assertEqual([len(m.frames) for m in (host, a, b)], [0, 1, 1])
        self.assertEqual(a.frames[0], (tunnel.TAG_FILE_SHARE, self.packet(everyone)))
        one = b"0102\r\n0002\r\n1\r\nOTHER003\r\nHOST0001\r\nGUEST002\r\n2012\r\n\0"
        self.route(a, [host, a, b], one)
        self.assertEqual([len(m.frames) for m in (host, a, b)], [1, 1, 2])

    def test_lists_that_do_not_fit_are_dropped(self):
        host, a = self.Member("HOST0001"), self.Member("GUEST002")
        for text in (b"0001\r\n9999\r\n1\r\nGUEST002\r\n",
                     b"0001\r\n0000\r\n1\r\n",
                     b"0001\r\nabcd\r\n1\r\nGUEST002\r\n",
                     b"0001\r\n0001\r\n1\r\nGUEST\r\n2012\r\n",
                     b"0001"):
            self.route(host, [host, a], text)
        self.assertEqual(a.frames, [])

    def test_fault_switches_drop_duplicate_and_cut(self):
        text = b"0005\r\n0001\r\n0\r\nGUEST002\r\n2012\r\n"
        host = self.Member("HOST0001", {"fs_drop": [2], "fs_duplicate": [3], "fs_cut_after": 4})
        a = self.Member("GUEST002")
        for n in range(1, 7):
            self.route(host, [host, a], text + str(n).encode())
        got = [f[1][-1:] for f in a.frames]
        self.assertEqual(got, [b"1", b"3", b"3", b"4"])
        self.assertTrue(host.file_share_cut)


class TunnelInjectTest(ApplianceHarness):
    """The control interface's "inject": one raw frame down a session's
    control tunnel, at any time, among what the tunnel relays."""

    def tunnel(self, session, name):
        raw = socket.create_connection(("127.0.0.1", self.port), timeout=10)
        s = self.tls.wrap_socket(raw, server_hostname="localhost")
        self.addCleanup(s.close)
        s.sendall(("CONNECT localhost:-3 HTTP/1.0\r\nX-SSLVPN-PROTOCOL: 2.0\r\n"
                   "X-SSLVPN-SERVICE: PL_CONTROL\r\nUser-Agent: test\r\n"
                   "Proxy-Authorization: %s\r\n\r\n" % session).encode())
        field = lambda text, size: text.encode().ljust(size, b"\0")
        hello = bytes.fromhex("bbaa012601000122") + struct.pack("<H", 0) + field("100001", 32) \
            + field(name, 128) + field(session, 128)
        s.sendall(hello)
        return s

    @staticmethod
    def read_frame(s):
        def exact(n):
            buf = b""
            while len(buf) < n:
                chunk = s.recv(n - len(buf))
                if not chunk:
                    raise EOFError("tunnel closed after %d of %d bytes" % (len(buf), n))
                buf += chunk
            return buf
        tag, length = struct.unpack(">HH", exact(4))
        return tag, exact(length)

    def inject(self, session, tag, data):
        return self.control("POST", "inject", {"session": session, "tag": tag, "hex": data.hex()})

    def seated(self, session):
        deadline = time.time() + 10
        while time.time() < deadline:
            status, _ = self.inject(session, 0xAAEE, b"")
            if status == 200:
                return
            time.sleep(0.05)
        self.fail("the tunnel of %s was never seated" % session)

    def test_frames_go_down_as_given_in_order_with_the_relayed_ones(self):
        a, b = self.tunnel("injA", "Ann"), self.tunnel("injB", "Ben")
        self.seated("injA")
        self.seated("injB")
        self.assertEqual(self.read_frame(a), (0xAAEE, b""))
        self.assertEqual(self.read_frame(b), (0xAAEE, b""))
        # A chat frame whose sender length (255) passes its n, a canvas text
        # without its NUL, and a mark of 65535 bytes: tag and bytes untouched.
        crafted = [(0xAACC, bytes([8, 0, 0, 4, 255, 3]) + b"injB"),
                   (0xBBCC, b"\x1b\x00\x00\x06CEWB:3"),
                   (0xAABB, b"\x1c" + b"m" * 65534)]
        for tag, data in crafted[:2]:
            self.assertEqual(self.inject("injA", tag, data), (200, {"ok": True, "bytes": len(data)}))
        # A packet relayed by the meeting between two injected frames keeps
        # its place.
        body = bytes([8, 0]) + struct.pack(">H", 4 + 3 + 2) + bytes([4, 3]) + b"injBALLhi"
        b.sendall(struct.pack(">HH", 0xAABB, 4 + len(body)) + bytes([8, 0]) + struct.pack(">H", len(body)) + body)
        self.assertEqual(self.read_frame(a), crafted[0])
        self.assertEqual(self.read_frame(a), crafted[1])
        self.assertEqual(self.read_frame(a), (0xAACC, body))
        self.assertEqual(self.inject("injA", *crafted[2])[0], 200)
        self.assertEqual(self.read_frame(a), crafted[2])

    def test_refusals(self):
        self.assertEqual(self.inject("nobody", 0xAACC, b"\x08")[0], 409)
        a = self.tunnel("injC", "Cid")
        self.seated("injC")
        for body in ({"session": "injC", "tag": 0x10000, "hex": ""},
                     {"session": "injC", "tag": "0xAACC", "hex": ""},
                     {"session": "injC", "tag": 0xAACC, "hex": "0g"},
                     {"session": "injC", "tag": 0xAACC, "hex": "00" * 0x10000},
                     {"tag": 0xAACC, "hex": ""}):
            self.assertEqual(self.control("POST", "inject", body)[0], 400, body)
        # Once its tunnel has ended the session gets nothing.
        a.close()
        deadline = time.time() + 10
        while self.inject("injC", 0xAACC, b"")[0] != 409 and time.time() < deadline:
            time.sleep(0.05)
        self.assertEqual(self.inject("injC", 0xAACC, b"")[0], 409)
