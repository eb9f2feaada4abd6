#!/usr/bin/env bash
# The real Corvisk.exe in a Wine prefix of its own logs in through its login
# window three times, driven from another process (login_driver):
#  1. alice at the local appliance, whose certificate the prefix trusts: the
#     appliance's request log shows the certificate check, the domain query,
#     the login and the meeting list's first request; Corvisk's log shows
#     "Login OK."; the registry holds the server's profile as the default.
#  2. alice at an appliance with a certificate nobody trusts: the security
#     alert appears and Always Trust keeps that certificate in the profile.
#  3. the same again: no alert and no certificate check, the user offered.
# Screenshots of each state go to screenshots/login_end_to_end_*/ in the
# working directory.
# Usage: login_end_to_end.sh LOGIN_DRIVER.EXE CORVISK.EXE TRUST_CA.EXE
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib/env.sh"
driver=$1 corvisk=$2 trust_ca=$3

work=$(mktemp -d /tmp/corvisk-e2e.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    if [ -d "$work/prefix" ]; then WINEPREFIX=$work/prefix wineserver -k 2>/dev/null; fi
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

sh "$root/tests/appliance/make_certs.sh" "$work/certs" >/dev/null || exit 1
start_appliance() { # name cert
    PYTHONDONTWRITEBYTECODE=1 python3 "$root/tests/appliance/appliance.py" --cert "$work/certs/$2.crt" \
        --key "$work/certs/$2.key" --ready-file "$work/$1.ready" --log "$work/$1.jsonl" > "$work/$1.log" 2>&1 &
    pids+=($!)
}
start_appliance trusted server
start_appliance rogue rogue
for _ in $(seq 100); do [ -f "$work/trusted.ready" ] && [ -f "$work/rogue.ready" ] && break; sleep 0.1; done
port=$(sed -n 's/^port=//p' "$work/trusted.ready" 2>/dev/null)
rogue_port=$(sed -n 's/^port=//p' "$work/rogue.ready" 2>/dev/null)
[ -n "$port" ] && [ -n "$rogue_port" ] || { echo "the appliances did not start"; cat "$work"/*.log; exit 1; }
rogue_sha1=$(cat "$work/certs/rogue.sha1")

# A prefix of its own with its own wineserver; the display is the test run's.
cp -a --reflink=auto "$(corvisk_template_prefix)" "$work/prefix" || exit 1
export WINEPREFIX=$work/prefix
corvisk_wine_env
wine "$trust_ca" "Z:${work//\//\\}\\certs\\ca.der" >"$work/trust.log" 2>&1 </dev/null ||
    { echo "the run's CA could not be trusted: $(cat "$work/trust.log")"; exit 1; }

profiles='HKCU\Software\Quenlore\SSL-VPN Parlemo\Standalone\Profiles'
reg_profiles() { wine reg query "$profiles" /s 2>/dev/null </dev/null | tr -d '\r'; }
corvisk_log() { find "$WINEPREFIX/drive_c/users" -name PLLog.txt -exec cat {} + 2>/dev/null | tr -d '\r'; }
# Requests of an appliance's log from line FIRST on, as "METHOD TARGET BODY" lines.
requests() { # name first-line
    tail -n +"$2" "$work/$1.jsonl" | python3 -c '
import json, sys
for line in sys.stdin:
    r = json.loads(line)
    print(r["method"], r["target"], r["body"])'
}
# The registry block (wine reg query) of the profile whose server is $1.
profile_of() {
    reg_profiles | awk -v server="$1" 'BEGIN { RS = "" }
        $0 ~ ("server[ \t]+REG_SZ[ \t]+" server "(\n|$)") { print }'
}
has_request() { grep -q -F -- "$2" <<<"$1"; }
has_value() { grep -q -i -E -- "$2" <<<"$1"; }
lacks_request() { ! grep -q -F -- "$2" <<<"$1"; }
check_cmd='/cgi-bin/welcome?standalone=true&checkcert=true'
domains_cmd='GET /cgi-bin/userLogin?callerRole=1&QueryDomain=true'
login_cmd='POST /cgi-bin/userLogin username=alice&password=secret&'

drive() { # port shots kind
    wine "$driver" "$corvisk" "$1" "login_end_to_end_$2" "$3" alice secret </dev/null
}

echo "--- 1: alice at the trusted appliance (port $port)"
check "the first start logs in through the window" drive "$port" 1_trusted new
seen=$(requests trusted 1)
check "the certificate is checked" has_request "$seen" "POST $check_cmd"
check "the domains are asked for" has_request "$seen" "$domains_cmd"
check "alice's login reaches the appliance" has_request "$seen" "$login_cmd"
log=$(corvisk_log)
check "Corvisk logs the login" has_value "$log" $'INFO\t.*Login OK\\.'
check "the login window hands over to the meeting list, which asks for the meetings" \
    has_request "$seen" "POST /cgi-bin/meetingactive StandAlone=true&action=getmeetinglist"
profile=$(profile_of "localhost:$port")
default=$(reg_profiles | sed -n 's/^ *defaultProfile *REG_SZ *//p')
check "the server's profile is the default" has_value "$profile" "Profiles\\\\$default\$"
check "its user is alice (UTF-8 bytes)" has_value "$profile" "user[[:space:]]+REG_BINARY[[:space:]]+616c696365\$"

echo "--- 2: alice at the appliance with a certificate nobody trusts (port $rogue_port)"
check "the alert is answered with Always Trust and the login goes on" drive "$rogue_port" 2_rogue trust
seen=$(requests rogue 1)
check "the certificate is checked" has_request "$seen" "POST $check_cmd"
check "alice's login reaches that appliance" has_request "$seen" "$login_cmd"
profile=$(profile_of "localhost:$rogue_port")
check "the profile keeps the trust" has_value "$profile" "servertrusted[[:space:]]+REG_DWORD[[:space:]]+0x1\$"
check "and the certificate's thumbprint" has_value "$profile" "certthumbprint[[:space:]]+REG_SZ[[:space:]]+$rogue_sha1\$"
before=$(($(wc -l < "$work/rogue.jsonl") + 1))

echo "--- 3: the same again"
check "the third start logs in without an alert, alice offered" drive "$rogue_port" 3_trusted_profile known
seen=$(requests rogue "$before")
check "no certificate check is sent" lacks_request "$seen" "$check_cmd"
check "alice's login reaches the appliance" has_request "$seen" "$login_cmd"

if [ "$failures" -ne 0 ]; then
    echo "--- $failures check(s) failed; profiles:"
    reg_profiles
    echo "--- Corvisk's log"; corvisk_log
    echo "--- trusted appliance"; requests trusted 1
    echo "--- rogue appliance"; requests rogue 1
    exit 1
fi
