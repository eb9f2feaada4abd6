"""The meeting's sharing state as the local appliance keeps it.

The client leaves the appliance's side open; this follows the lobby's state
machine. Participant states: 1 waiting, 2 starting, 3 ready, 4 started.
Meeting sharing states: 0 nobody shares, 1 the host asked, 2 the host shares,
3 sharing restarts, 4 sharing stops.

  - packet 2 stores the sender's state; the meeting's state becomes 2 when
    the host reports 4 (after 1 or 3); after a stop (4) it returns to 0 once
    every participant reports 1;
  - a participant joining, or reporting 1 again, while the host shares
    restarts sharing (3): the host and every participant in state 4 go back
    to 2;
  - the host leaving, or losing the host role, while sharing ends it: the
    meeting's state 0 and every participant 1.
Callers hold the state's lock.
"""

WAITING, STARTING, READY, STARTED = 1, 2, 3, 4
NOT_SHARED, ASKED, SHARED, RESTART, STOP = 0, 1, 2, 3, 4


def host_of(meeting):
    for p in meeting.participants:
        if p.role == 1:
            return p
    return None


def _restart(meeting) -> None:
    meeting.sharing_state = RESTART
    for p in meeting.participants:
        if p.role == 1 or p.state == STARTED:
            p.state = STARTING


def _end(meeting) -> None:
    meeting.sharing_state = NOT_SHARED
    for p in meeting.participants:
        p.state = WAITING


def on_state(meeting, session: str, state: int) -> None:
    p = meeting.participant(session)
    if p is None:
        return
    p.state = state
    if p.role == 1:
        if state == STARTED and meeting.sharing_state in (ASKED, RESTART):
            meeting.sharing_state = SHARED
    elif state == WAITING and meeting.sharing_state == SHARED:
        _restart(meeting)
    if meeting.sharing_state == STOP and all(q.state == WAITING for q in meeting.participants):
        meeting.sharing_state = NOT_SHARED


def on_join(meeting, session: str) -> None:
    p = meeting.participant(session)
    if p is not None and p.role != 1 and meeting.sharing_state == SHARED:
        _restart(meeting)


def on_leave(meeting, session: str) -> None:
    p = meeting.participant(session)
    if p is None:
        return
    meeting.participants.remove(p)
    if p.role == 1 and meeting.sharing_state != NOT_SHARED:
        _end(meeting)


def on_set_host(meeting, session: str) -> None:
    old = host_of(meeting)
    for p in meeting.participants:
        p.role = 1 if p.session == session else 0
    if old is not None and old.session != session and meeting.sharing_state != NOT_SHARED:
        _end(meeting)
