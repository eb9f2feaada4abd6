#!/usr/bin/env bash
# Runs a DTLS test program under Wine against a real peer, `openssl s_server`
# in DTLS mode on a free UDP port of localhost, with the run's certificates.
# Whatever the program writes to the file named by CORVISK_DTLS_FEED, the
# peer sends as records; what the peer received (and its own remarks) lands
# in the file named by CORVISK_DTLS_OUT.
# Usage: dtls_fixture.sh PROGRAM.exe dtls1|dtls1_2 server|rogue|wrongname [gtest arguments]
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib/env.sh"

program=$1 version=$2 cert=$3
shift 3
work=$(mktemp -d /tmp/corvisk-dtls.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    if [ -d "$work/prefix" ]; then WINEPREFIX=$work/prefix wineserver -k 2>/dev/null; fi
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

sh "$root/tests/appliance/make_certs.sh" "$work/certs" || exit 1
port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
: > "$work/feed"
# A DTLS 1.0 handshake signs with MD5-SHA1, which only level 0 allows.
tail -f "$work/feed" | openssl s_server "-$version" -4 -accept "$port" -cipher 'ALL:@SECLEVEL=0' \
    -cert "$work/certs/$cert.crt" -key "$work/certs/$cert.key" > "$work/out" 2>&1 &
pids+=($!)
sleep 0.5

export WINEPREFIX=$work/prefix
cp -a "$(corvisk_template_prefix)" "$WINEPREFIX"
corvisk_wine_env
export CORVISK_DTLS_PORT=$port
export CORVISK_DTLS_OUT=$work/out
export CORVISK_DTLS_FEED=$work/feed
export CORVISK_DTLS_CERT=$cert
export CORVISK_TEST_CA_DER=$work/certs/ca.der
export CORVISK_DTLS_THUMBPRINT=$(cat "$work/certs/$cert.sha1" 2>/dev/null || true)
wineserver -p
wine "$program" "$@"
rc=$?
[ $rc -eq 0 ] || { echo "--- s_server output ---"; cat -v "$work/out" | head -50; }
exit $rc
