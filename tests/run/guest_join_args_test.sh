#!/usr/bin/env bash
# The arguments scripts/run gives Corvisk.exe to open the login window with
# the local appliance preset, or to join its meeting as a guest, read back by the program's own launch-argument parser
# (PROGRAM, run under Wine in the win64 tree): launch mode 2 with exactly the
# host, port and meeting id put in. Values the parser would refuse are
# refused by the builder already.
# Usage: guest_join_args_test.sh [EMULATOR] PROGRAM
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/lib/launch.sh"
failures=0

check() { # host port meeting: the parser reads them back and nothing more
    local args got want
    local -a argv
    args=$(corvisk_guest_join_args "$1" "$2" "$3") || { echo "FAIL: builder refused $*"; failures=$((failures + 1)); return; }
    mapfile -t argv <<<"$args"
    got=$("${program[@]}" "${argv[@]}" 2>&1 | tr -d '\r')
    want=$(printf 'mode=2\nhost=%s\nport=%s\nmeeting=%s' "$1" "$2" "$3")
    if [ "$got" != "$want" ]; then
        echo "FAIL: $* gave:"; echo "$got"; echo "wanted:"; echo "$want"
        failures=$((failures + 1))
    fi
}

refused() { # host port meeting: the builder says no
    if corvisk_guest_join_args "$@" >/dev/null 2>&1; then
        echo "FAIL: builder took $*"
        failures=$((failures + 1))
    fi
}

# The login window's preset: mode 4 with the host and port.
check_preset() { # host port
    local args got want
    local -a argv
    args=$(corvisk_preset_login_args "$1" "$2") || { echo "FAIL: builder refused $*"; failures=$((failures + 1)); return; }
    mapfile -t argv <<<"$args"
    got=$("${program[@]}" "${argv[@]}" 2>&1 | tr -d '\r')
    want=$(printf 'mode=4\nhost=%s\nport=%s' "$1" "$2")
    if [ "$got" != "$want" ]; then
        echo "FAIL: preset $* gave:"; echo "$got"; echo "wanted:"; echo "$want"
        failures=$((failures + 1))
    fi
}

program=("$@")
check_preset localhost 443
check_preset localhost 50443
if corvisk_preset_login_args localhost 0 >/dev/null 2>&1; then echo "FAIL: preset builder took port 0"; failures=$((failures + 1)); fi
check localhost 443 100001
check localhost 50443 100001
check 127.0.0.1 1 m-7
refused localhost 0 100001
refused localhost 65536 100001
refused localhost 443x 100001
refused "" 443 100001
refused localhost 443 ""
refused localhost 443

[ $failures -eq 0 ] && echo "all checks passed"
exit $((failures > 0))
