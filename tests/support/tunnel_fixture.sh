#!/usr/bin/env bash
# Runs a tunnel test program under Wine against the local appliance:
# makes the run's certificates, starts the appliance (CGI and tunnel on one
# HTTPS port), a second one with the rogue certificate (right name, signed by
# an authority nobody trusts), an open tinyproxy and one that wants Basic credentials, and
# gives the program a private copy of the Wine prefix whose CurrentUser Root
# store the program fills with the run's CA.
# Usage: tunnel_fixture.sh PROGRAM.exe [gtest arguments]
# CORVISK_FIXTURE_SCENARIO, when set, names the appliance's scenario file;
# CORVISK_FIXTURE_CERT names the certificate it presents (rogue, wrongname,
# expired; default server); CORVISK_FIXTURE_CLIENT_CA, when set, makes it ask
# for client certificates of the run's client CA. CORVISK_FIXTURE_DTLS=1 gives
# it the voice's DTLS service on UDP port 4433 (the native tree's relay; the
# test holds the port's resource lock). CORVISK_FIXTURE_PEER_FILTER,
# when set, starts the same program a second time, in a prefix of its own and
# with that gtest filter, beside the first; both get CORVISK_PEER_DIR, a
# folder they share, and the run fails when either does. CORVISK_FIXTURE_CHECK,
# when set, is a shell command run once both programs passed, with
# CORVISK_PREFIX and CORVISK_PEER_PREFIX naming their prefixes (to read what
# they left on disk from the Linux side); its failure fails the run.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib/env.sh"

work=$(mktemp -d /tmp/corvisk-tunnel.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    for prefix in "$work/prefix" "$work/prefix-peer"; do
        if [ -d "$prefix" ]; then WINEPREFIX=$prefix wineserver -k 2>/dev/null; fi
    done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

sh "$root/tests/appliance/make_certs.sh" "$work/certs" || exit 1
export CORVISK_TUNNEL_FAULTS=$work/faults.json
echo '[]' > "$CORVISK_TUNNEL_FAULTS"
python3 "$root/tests/appliance/appliance.py" --cert-dir "$work/certs" --ready-file "$work/ready" \
    --log "$work/requests.jsonl" ${CORVISK_FIXTURE_CLIENT_CA:+--client-ca "$work/certs/client-ca.crt"} \
    ${CORVISK_FIXTURE_SCENARIO:+--scenario "$CORVISK_FIXTURE_SCENARIO"} \
    ${CORVISK_FIXTURE_CERT:+--cert "$work/certs/$CORVISK_FIXTURE_CERT.crt" --key "$work/certs/$CORVISK_FIXTURE_CERT.key"} \
    ${CORVISK_FIXTURE_DTLS:+--dtls-port 4433} \
    > "$work/appliance.log" 2>&1 &
pids+=($!)
python3 "$root/tests/appliance/appliance.py" --cert "$work/certs/rogue.crt" --key "$work/certs/rogue.key" \
    --ready-file "$work/rogue.ready" > "$work/rogue.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -f "$work/ready" ] && [ -f "$work/rogue.ready" ] && break; sleep 0.1; done
[ -f "$work/ready" ] || { echo "appliance did not start"; cat "$work/appliance.log"; exit 1; }
[ -f "$work/rogue.ready" ] || { echo "rogue appliance did not start"; cat "$work/rogue.log"; exit 1; }
appliance_port=$(sed -n 's/^port=//p' "$work/ready")
if [ -n "${CORVISK_FIXTURE_DTLS:-}" ] && [ "$(sed -n 's/^dtls_port=//p' "$work/ready")" != 4433 ]; then
    echo "the appliance's DTLS service did not start (the native tree builds its relay)"; cat "$work/appliance.log"; exit 1
fi
rogue_port=$(sed -n 's/^port=//p' "$work/rogue.ready")

start_proxy() { # name port [BasicAuth line]
    cat > "$work/$1.conf" <<CONF
Port $2
Listen 127.0.0.1
Timeout 60
LogFile "$work/$1.log"
LogLevel Info
PidFile "$work/$1.pid"
MaxClients 50
Allow 127.0.0.1
ConnectPort $appliance_port
DisableViaHeader Yes
${3:-}
CONF
    tinyproxy -d -c "$work/$1.conf" > /dev/null 2>&1 &
    pids+=($!)
}
proxy_port=$(free_port)
auth_port=$(free_port)
start_proxy proxy "$proxy_port"
start_proxy authproxy "$auth_port" "BasicAuth tester secret"

cp -a --reflink=auto "$(dirname "$(corvisk_template_prefix)")/wineprefix-dev" "$work/prefix" || exit 1
export WINEPREFIX=$work/prefix
export CORVISK_APPLIANCE_PORT=$appliance_port CORVISK_PROXY_PORT=$proxy_port CORVISK_AUTH_PROXY_PORT=$auth_port
export CORVISK_TEST_CA_DER=$work/certs/ca.der CORVISK_SERVER_SHA1=$(cat "$work/certs/${CORVISK_FIXTURE_CERT:-server}.sha1")
export CORVISK_ROGUE_PORT=$rogue_port CORVISK_ROGUE_SHA1=$(cat "$work/certs/rogue.sha1")
export CORVISK_REQUEST_LOG=$work/requests.jsonl CORVISK_CERT_DIR=$work/certs
export WINEDEBUG=-all
peer=
if [ -n "${CORVISK_FIXTURE_PEER_FILTER:-}" ]; then
    export CORVISK_PEER_DIR=$work/peer
    mkdir -p "$CORVISK_PEER_DIR"
    cp -a --reflink=auto "$(dirname "$(corvisk_template_prefix)")/wineprefix-dev" "$work/prefix-peer" || exit 1
    # Its lines go out as they come, marked, so a run cut by a time-out
    # still shows where the peer was.
    WINEPREFIX=$work/prefix-peer "$root/scripts/wine-run" "$1" --gtest_filter="$CORVISK_FIXTURE_PEER_FILTER" \
        > >(sed -u 's/^/[peer] /') 2>&1 &
    peer=$!
fi
"$root/scripts/wine-run" "$@"
rc=$?
if [ -n "$peer" ]; then
    wait "$peer"
    peer_rc=$?
    [ $rc -eq 0 ] && rc=$peer_rc
    WINEPREFIX=$work/prefix-peer wineserver -k 2>/dev/null
fi
if [ $rc -eq 0 ] && [ -n "${CORVISK_FIXTURE_CHECK:-}" ]; then
    CORVISK_PREFIX=$work/prefix CORVISK_PEER_PREFIX=$work/prefix-peer bash -c "$CORVISK_FIXTURE_CHECK"
    rc=$?
fi
if [ $rc -ne 0 ]; then
    echo "--- appliance log"; tail -n 40 "$work/appliance.log"
fi
exit $rc
