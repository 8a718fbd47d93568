#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine, headless, in a private prefix.
set -e
: "${WINEPREFIX:=${VISTAL_WINEPREFIX:-/tmp/vistal-wineprefix-$(id -u)}}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
if [ ! -d "$WINEPREFIX" ]; then
    # Creating the prefix takes a while once; a lock keeps parallel tests from racing on it.
    mkdir -p "$(dirname "$WINEPREFIX")"
    (flock 9; [ -f "$WINEPREFIX/system.reg" ] || /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true) 9>"$WINEPREFIX.lock"
fi
exec /usr/lib/wine/wine64 "$@"
