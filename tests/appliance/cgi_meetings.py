"""The appliance's meeting programs: start, save, list, reschedule, cancel,
join, saved meetings, participant lists and invitations.

Mixed into CgiHandler, which gives `state` and `session_of`.
"""

import time
from typing import Tuple

from httpwire import Form, Reply, Request
from state import (MEETING_LIST_STATES, PARTICIPANT_LIST_STATES, Invitation, Meeting,
                   Participant, SavedMeeting, Session)

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


def parse_int(text):
    """A signed decimal number, or None when the text is not one."""
    if text is None:
        return None
    t = text.strip()
    body = t[1:] if t[:1] in ("+", "-") else t
    # ASCII digits only: str.isdigit() also passes "²", which int() refuses.
    if not body or not body.isascii() or not body.isdigit() or len(body) > 18:
        return None
    return int(t)


class MeetingPrograms:

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

