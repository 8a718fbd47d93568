#!/usr/bin/env bash
# Runs a cross-built test program under Wine on a private Xvfb display, then stops the display.
set -euo pipefail
program=$1
# A prefix of its own: a Wine server started by a headless test has no display to lend, and the
# first process of a prefix decides the display for all that share its server.
WINEPREFIX="${VISTAL_WINEPREFIX:-/tmp/vistal-wineprefix-$(id -u)}-display"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9

# Xvfb picks a free display number and writes it to the descriptor it is given.
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb=$!
stop() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    rm -f "$fifo"
}
trap stop EXIT
read -r -t 30 display <"$fifo" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
fi
/usr/lib/wine/wine64 "$program"
