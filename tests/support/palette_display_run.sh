#!/usr/bin/env bash
# Runs a Windows test program under Wine on a private 8-bit (palette) Xvfb,
# with its own copy of the Wine prefix.
# Usage: palette_display_run.sh PROGRAM.exe [gtest arguments]
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib/env.sh"

work=$(mktemp -d /tmp/corvisk-palette.XXXXXX)
xvfb=
cleanup() {
    if [ -d "$work/prefix" ]; then WINEPREFIX=$work/prefix wineserver -k 2>/dev/null; fi
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

for n in $(seq 160 220); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1024x768x8 -nolisten tcp >"$work/xvfb.log" 2>&1 </dev/null &
    xvfb=$!
    for _ in $(seq 100); do
        [ -e /tmp/.X11-unix/X$n ] && break
        kill -0 "$xvfb" 2>/dev/null || break
        sleep 0.1
    done
    [ -e /tmp/.X11-unix/X$n ] && { export DISPLAY=:$n; break; }
    xvfb=
done
[ -n "$xvfb" ] || { echo "could not start an 8-bit Xvfb"; cat "$work/xvfb.log"; exit 1; }

cp -a --reflink=auto "$(corvisk_template_prefix)" "$work/prefix" || exit 1
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
"$root/scripts/wine-run" "$@"
