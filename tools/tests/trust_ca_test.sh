#!/usr/bin/env bash
# corvisk_trust_ca.exe against Wine's own certificate store, in a private copy
# of the developer prefix: a run's CA lands in CurrentUser\Root (the registry
# key Wine keeps it under), a second run succeeds and changes nothing, and a
# missing, empty, PEM or garbage file is refused with a message.
# Usage: trust_ca_test.sh corvisk_trust_ca.exe
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib/env.sh"
tool=$1

work=$(mktemp -d /tmp/corvisk-trust.XXXXXX)
cleanup() {
    [ -d "$work/prefix" ] && WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
winpath() { local p=$1; echo "Z:${p//\//\\}"; }

sh "$root/tests/appliance/make_certs.sh" "$work/certs" || exit 1
cp -a --reflink=auto "$CORVISK_CACHE/wineprefix-dev" "$work/prefix" || exit 1
export WINEPREFIX=$work/prefix
corvisk_wine_env
wineserver -p
wine cmd /c exit >/dev/null 2>&1 </dev/null

thumb=$(openssl x509 -in "$work/certs/ca.crt" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
key="HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumb"
trusted() { wine reg query "$key" >/dev/null 2>&1 </dev/null; }

trusted && fail "the fresh prefix already trusts the run's CA"
for round in 1 2; do
    out=$(wine "$tool" "$(winpath "$work/certs/ca.der")" 2>&1 </dev/null)
    rc=$?
    [ $rc -eq 0 ] || fail "round $round: exit $rc: $out"
    trusted || fail "round $round: the CA is not in CurrentUser\\Root"
done
count=$(wine reg query 'HKCU\Software\Microsoft\SystemCertificates\Root\Certificates' 2>/dev/null </dev/null | tr -d '\r' |
        grep -ci "\\\\$thumb\$")
[ "$count" = 1 ] || fail "the CA is stored $count times"

: > "$work/empty.der"
head -c 300 /dev/urandom > "$work/garbage.der"
printf 'x%.0s' $(seq 70000) > "$work/huge.der"
while read -r file want; do
    out=$(wine "$tool" "$(winpath "$file")" 2>&1 </dev/null)
    rc=$?
    [ $rc -eq 1 ] || fail "$file: exit $rc, wanted 1"
    echo "$out" | grep -q "$want" || fail "$file: message \"$out\" lacks \"$want\""
done <<LIST
$work/missing.der cannot open
$work/empty.der is not a certificate
$work/huge.der is not a certificate
$work/garbage.der is not a DER certificate
$work/certs/ca.crt is not a DER certificate
LIST
out=$(wine "$tool" 2>&1 </dev/null)
[ $? -eq 2 ] && echo "$out" | grep -q usage || fail "no argument: \"$out\""

[ $failures -eq 0 ] && echo "all checks passed"
exit $((failures > 0))
