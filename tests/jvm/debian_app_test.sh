#!/usr/bin/env bash
# A real application from Debian's packages (the GPS track editor gpsprune) through the real test
# launcher: its jar re-signed with the development key beside a main class a.b.a.a.a that does
# only what docs/DEPLOYMENT.md tells a vendor to do, started offline on a private Xvfb display
# until its main window shows, matched by the class the desktop entry names.
#
#   debian_app_test.sh LAUNCHER JDK KEYSTORE WORK MAIN_SOURCE_DIR SIGN_TOOL
set -euo pipefail
launcher=$1 jdk=$2 keystore=$3 work=$4 main_src=$5 sign_tool=$6
app_jar=/usr/share/gpsprune/gpsprune.jar
[ -f "$app_jar" ] || { echo "gpsprune is not installed (tools/install-deps.sh)" >&2; exit 1; }

rm -rf "$work"
install=$work/install
mkdir -p "$install/lib" "$work/classes" "$work/home"
cp "$launcher" "$install/vistal"
ln -s "$jdk" "$install/jre"

# The application's jar as Debian ships it, plus the vendor's main class; an include jar with a
# manifest only. Both signed as a vendor signs.
"$jdk/bin/javac" --release 8 -nowarn -cp "$app_jar" -d "$work/classes" "$main_src/a/b/a/a/a.java"
cp "$app_jar" "$install/lib/bl.jar"
"$jdk/bin/jar" --update --file "$install/lib/bl.jar" -C "$work/classes" .
printf 'Manifest-Version: 1.0\n' >"$work/include.mf"
"$jdk/bin/jar" --create --file "$install/lib/include.jar" --manifest "$work/include.mf"
for jar in bl include; do
    VISTAL_JDK_HOME=$jdk VISTAL_STOREPASS=vistal-dev bash "$sign_tool" sign "$keystore" \
        "$install/lib/$jar.jar" >/dev/null
done

fifo=$work/display
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb=$!
app=
stop() {
    if [ -n "$app" ]; then
        kill "$app" 2>/dev/null || true
        wait "$app" 2>/dev/null || true
    fi
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
}
trap stop EXIT
read -r -t 30 display <"$fifo" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display" HOME=$work/home

(cd "$install" && exec ./vistal) >"$work/out.txt" 2>"$work/err.txt" &
app=$!
window=
for _ in $(seq 1 90); do
    window=$(xdotool search --onlyvisible --class '^a-b-a-a-a$' 2>/dev/null | head -1) || true
    [ -n "$window" ] && break
    kill -0 "$app" 2>/dev/null || break
    sleep 1
done
if [ -z "$window" ]; then
    echo "no window of class a-b-a-a-a within 90 s; standard error:" >&2
    cat "$work/err.txt" >&2
    exit 1
fi
echo "window: $(xdotool getwindowname "$window")"
# Debian's manifest names four absolute Class-Path entries: one line each, no stack trace.
refused=$(grep -c "Class-Path entry refused" "$work/err.txt" || true)
if [ "$refused" != 4 ] || grep -q "^[[:space:]]*at " "$work/err.txt"; then
    echo "expected one line per refused Class-Path entry:" >&2
    cat "$work/err.txt" >&2
    exit 1
fi
echo "ok - the application's main window shows"
