#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine, headless, in a private prefix.
set -e
: "${WINEPREFIX:=${VISTAL_WINEPREFIX:-/tmp/vistal-wineprefix-$(id -u)}}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
# A prefix is ready once wineboot has finished it; a failed wineboot stops here with what it said,
# instead of leaving a half-made prefix for every later run.
ready=$WINEPREFIX/.vistal-prefix-ready
if [ ! -f "$ready" ]; then
    # Creating the prefix takes a while once; a lock keeps parallel tests from racing on it.
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        [ -f "$ready" ] && exit 0
        log=$(mktemp "${TMPDIR:-/tmp}/vistal-wineboot.XXXXXX")
        if ! /usr/lib/wine/wine64 wineboot --init >"$log" 2>&1; then
            echo "wine-run.sh: wineboot could not make the Wine prefix $WINEPREFIX:" >&2
            cat "$log" >&2
            rm -f "$log"
            exit 1
        fi
        rm -f "$log"
        touch "$ready"
    ) 9>"$WINEPREFIX.lock"
fi
exec /usr/lib/wine/wine64 "$@"
