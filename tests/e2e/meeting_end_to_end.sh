#!/usr/bin/env bash
# Two real Corvisk.exe, each in a Wine prefix of its own, meet at one local
# appliance, driven from other processes (login_driver, meeting_driver):
#  1. alice and bob log in; bob's meeting list is empty.
#  2. alice creates a meeting with Start Now and two invitation addresses and
#     enters it as host: the appliance holds it started, the invitation
#     recorded, and alice in its participant list as host (the role her
#     control tunnel's hello carries).
#  3. bob's list shows the meeting at its next refresh; he joins with the
#     code: the participant list holds both.
#     Then they chat: alice to everybody, bob to alice alone.
#  3a. alice opens the whiteboard from her lobby; bob's opens with it, and
#     what alice draws shows on bob's board alike, point by point; alice
#     closes hers and bob's goes.
#  4. alice's invitation window (60120, as the tray or the lobby posts it)
#     sends one more invitation.
#  5. alice reschedules (60124): the appliance's start and end move.
#  6. bob leaves the meeting (60113, as the lobby's leave button posts it)
#     and closes the meeting list that comes back, which logs him out: the
#     appliance sees the logout, the login window comes back.
# Screenshots of each state go to screenshots/meeting_end_to_end_*/ in the
# working directory.
# Usage: meeting_end_to_end.sh LOGIN_DRIVER.EXE MEETING_DRIVER.EXE CORVISK.EXE TRUST_CA.EXE
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib/env.sh"
login_driver=$1 meeting_driver=$2 corvisk=$3 trust_ca=$4

work=$(mktemp -d /tmp/corvisk-e2e-meeting.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    for user in alice bob; do
        if [ -d "$work/$user" ]; then WINEPREFIX=$work/$user wineserver -k 2>/dev/null; fi
    done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() { # description, then a command that must succeed
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
report() {
    echo "--- $failures check(s) failed"
    for user in alice bob; do echo "--- $user's Corvisk log"; corvisk_log "$user"; done
    echo "--- appliance state"; control state
    echo "--- appliance requests"; requests
    echo "--- appliance output"; cat "$work/appliance.log"
}
give_up() { echo "FAILED: $1"; failures=$((failures + 1)); report; exit 1; }

sh "$root/tests/appliance/make_certs.sh" "$work/certs" >/dev/null || exit 1
echo '{"meetings": []}' > "$work/scenario.json"
PYTHONDONTWRITEBYTECODE=1 python3 "$root/tests/appliance/appliance.py" --cert-dir "$work/certs" \
    --scenario "$work/scenario.json" --control-port 0 --ready-file "$work/ready" \
    --log "$work/requests.jsonl" > "$work/appliance.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -f "$work/ready" ] && break; sleep 0.1; done
port=$(sed -n 's/^port=//p' "$work/ready" 2>/dev/null)
control_port=$(sed -n 's/^control_port=//p' "$work/ready" 2>/dev/null)
[ -n "$port" ] && [ -n "$control_port" ] || { echo "the appliance did not start"; cat "$work/appliance.log"; exit 1; }

control() { # path under /__control/
    python3 -c 'import sys, urllib.request
print(urllib.request.urlopen("http://127.0.0.1:%s/__control/%s" % (sys.argv[1], sys.argv[2])).read().decode())' \
        "$control_port" "$1"
}
# Succeeds when the Python expression holds for the appliance's state `s`.
state_holds() {
    control state | python3 -c 'import json, sys
s = json.load(sys.stdin)
sys.exit(0 if eval(sys.argv[1]) else 1)' "$1"
}
# The recorded requests as "METHOD TARGET BODY" lines.
requests() {
    python3 -c 'import json, sys
for line in open(sys.argv[1]):
    r = json.loads(line)
    print(r["method"], r["target"], r["body"])' "$work/requests.jsonl"
}
# Runs the command until it succeeds, for up to that many seconds.
eventually() { # seconds, then the command
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -ge "$end" ] && return 1
        sleep 0.5
    done
}
# Succeeds when a control tunnel (CONNECT) carried a session of the user.
tunnel_of() {
    control state | python3 -c 'import json, sys
s = json.load(sys.stdin)
sessions = {x["value"] for x in s["sessions"] if x["user"] == sys.argv[2]}
for line in open(sys.argv[1]):
    r = json.loads(line)
    h = {k.lower(): v for k, v in r["headers"]}
    if (r["method"] == "CONNECT" and h.get("x-sslvpn-service") == "PL_CONTROL"
            and h.get("proxy-authorization") in sessions):
        sys.exit(0)
sys.exit(1)' "$work/requests.jsonl" "$1"
}
has_line() { grep -q -E -- "$2" <<<"$1"; }
corvisk_log() { find "$work/$1/drive_c/users" -name PLLog.txt -exec cat {} + 2>/dev/null | tr -d '\r'; }
# The chat drops what reached its channel before it listened: a line is
# written to a participant only once its chat listens.
chat_listens() { has_line "$(corvisk_log "$1")" 'Chat: listening\.'; }
in_prefix() { # user, then the command
    local user=$1
    shift
    WINEPREFIX=$work/$user "$@"
}

# A prefix for each user, with its own wineserver; the display is the run's.
corvisk_wine_env
for user in alice bob; do
    cp -a --reflink=auto "$(corvisk_template_prefix)" "$work/$user" || exit 1
    in_prefix "$user" wine "$trust_ca" "Z:${work//\//\\}\\certs\\ca.der" >"$work/trust.log" 2>&1 </dev/null ||
        { echo "the run's CA could not be trusted: $(cat "$work/trust.log")"; exit 1; }
done

declare -A pid thread
login() { # user password
    # The output goes to a file: the program it starts outlives the driver.
    in_prefix "$1" wine "$login_driver" "$corvisk" "$port" "meeting_end_to_end_$1" stay "$1" "$2" \
        >"$work/$1.login" 2>&1 </dev/null || return 1
    pid[$1]=$(sed -n 's/^pid=\([0-9]*\) .*/\1/p' "$work/$1.login" | tr -d '\r')
    thread[$1]=$(sed -n 's/.* thread=\([0-9]*\).*/\1/p' "$work/$1.login" | tr -d '\r')
    [ -n "${pid[$1]}" ] && [ -n "${thread[$1]}" ]
}
drive() { # user step args...
    local user=$1
    shift
    in_prefix "$user" wine "$meeting_driver" "meeting_end_to_end_$user" "${pid[$user]}" "${thread[$user]}" "$@" \
        >"$work/$user.step" 2>&1 </dev/null
    local rc=$?
    tr -d '\r' < "$work/$user.step" | sed 's/^/  /'
    return $rc
}

echo "--- 1: alice and bob log in (port $port)"
login alice secret || { cat "$work/alice.login"; give_up "alice logs in"; }
echo "ok: alice logs in"
login bob hunter2 || { cat "$work/bob.login"; give_up "bob logs in"; }
echo "ok: bob logs in"
check "bob's meeting list is empty" drive bob rows 0

echo "--- 2: alice starts a meeting now and enters it as host"
drive alice create "Team call" 4711 "ann@example.org;cy@example.org" || give_up "alice's setup form starts the meeting"
echo "ok: alice's setup form starts the meeting"
meeting='[m for m in s["meetings"] if m["title"] == "Team call"]'
check "the appliance holds alice's meeting, started" \
    state_holds "$meeting and $meeting[0][\"owner\"] == \"alice\" and $meeting[0][\"state\"] == \"started\""
seen=$(requests)
check "it was started now" has_line "$seen" "^POST /cgi-bin/meetingstart .*isstartnow=true"
check "alice is in the participant list as the owner" \
    state_holds "any(p['name'] == 'alice' and p['caller_role'] == 1 for p in $meeting[0]['participants'])"
check "alice's control tunnel is open" eventually 20 tunnel_of alice
check "the invitation is recorded with both addresses" eventually 20 state_holds \
    "any(i['meeting_name'] == 'Team call' and i['required'] == ['ann@example.org', 'cy@example.org'] for i in s['invitations'])"

echo "--- 3: bob finds the meeting at the next refresh and joins it"
check "bob's list shows alice's meeting" drive bob rows 1
check "its row names the meeting and its owner" grep -q $'^row: Team call\talice' "$work/bob.step"
drive bob join "Team call" 4711 || give_up "bob joins with the code"
echo "ok: bob joins with the code"
check "the participant list holds both" eventually 20 \
    state_holds "sorted(p['name'] for p in $meeting[0]['participants']) == ['alice', 'bob']"
check "bob's control tunnel is open" eventually 20 tunnel_of bob
check "bob's program logs the join" has_line "$(corvisk_log bob)" $'\tJoin the meeting OK\\.'

echo "--- the chat between them"
check "bob's chat listens" eventually 20 chat_listens bob
check "alice writes to everybody" drive alice chat "Hello from alice"
check "bob's chat shows her line" drive bob chat_sees "Hello from alice"
check "bob's program logs it" has_line "$(corvisk_log bob)" $'\\[Chat Log\\]\tFrom <[^>]+> to <All> : Hello from alice'
check "bob writes to alice alone" drive bob chat alice "Just for you"
check "alice's chat shows it" drive alice chat_sees "Just for you"
check "to her alone" has_line "$(corvisk_log alice)" $'\\[Chat Log\\]\tFrom <[^>]+> to <Me> : Just for you'
echo "--- 3a: alice draws on the whiteboard, bob watches"
check "alice's White Board button opens the whiteboard" drive alice board-open 0
check "bob's whiteboard opens with it" drive bob board-place 580
check "alice draws on it" drive alice board-draw
grep '^pixel:' "$work/alice.step" | tr -d '\r' > "$work/alice.board"
check "bob's whiteboard shows the strokes" drive bob board-see
grep '^pixel:' "$work/bob.step" | tr -d '\r' > "$work/bob.board"
check "the two boards show the same picture" cmp -s "$work/alice.board" "$work/bob.board"
check "the picture has strokes" grep -q -v ' ffffff$' "$work/alice.board"
check "alice closes her whiteboard" drive alice board-close
check "bob's goes with it" drive bob board-gone

echo "--- 4: alice invites one more"
check "the invitation window sends it" drive alice invite "dee@example.org"
check "the appliance records it" eventually 20 \
    state_holds 'any(i["required"] == ["dee@example.org"] and i["meeting_name"] == "Team call" for i in s["invitations"])'

echo "--- 5: alice reschedules"
# An hour or so from now, on today's date (the form keeps the meeting's date).
start_epoch=$(( ($(date +%s) / 1800 + 3) * 1800 ))
end_epoch=$((start_epoch + 3600))
if [ "$(date -d "@$end_epoch" +%F)" = "$(date +%F)" ]; then
    check "the setup window takes the new times" drive alice reschedule "$(date -d "@$start_epoch" +%H:%M)" \
        "$(date -d "@$end_epoch" +%H:%M)"
    check "the appliance's start and end move" state_holds \
        "abs($meeting[0][\"start\"] - $start_epoch) < 90 and abs($meeting[0][\"end\"] - $end_epoch) < 90"
else
    echo "skipped: the reschedule (the new times would fall on tomorrow)"
fi

echo "--- 6: bob leaves the meeting and logs out"
check "bob leaves, his list comes back, closing it brings the login window" drive bob logout
check "the appliance's participant list is alice's alone" eventually 20 \
    state_holds "[p['name'] for p in $meeting[0]['participants'] if not p['terminated']] == ['alice']"
check "the appliance sees bob's logout" has_line "$(requests)" "^GET /cgi-bin/userLogout"

for user in alice bob; do check "$user's program ends" drive "$user" quit; done
if [ "$failures" -ne 0 ]; then
    report
    exit 1
fi
