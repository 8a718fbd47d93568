#!/usr/bin/env bash
# The Debian package of the shipped launcher, installed for real (root only): the layout, the
# data directory that members of the package's group share, starts as unprivileged users (two
# members and one outsider), removal that keeps only the data directory and purge that takes it.
# Whatever happens, the package, the users and the group are gone at the end.
#   deb_test.sh DEB_CONF
set -uo pipefail
[ "$(id -u)" -eq 0 ] || { echo "skipped: installing a package needs root"; exit 77; }
src=$(cd "$(dirname "$0")/../.." && pwd)
conf=$(realpath "$1")
value() { sed -n "s/^$1=//p" "$conf"; }
pkg=$(value package) group=$(value group) data=$(value data_dir)
install=/opt/$pkg
work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-deb-test.XXXXXX")
chmod 755 "$work"
users=(vtd$$a vtd$$b vtd$$c)
passed=0 failed=0
check() { # description, then a command that must succeed
    local what=$1; shift
    if "$@"; then passed=$((passed + 1)); echo "ok: $what"; else failed=$((failed + 1)); echo "FAILED: $what"; fi
}

# One package test at a time on this machine, whichever build tree it comes from.
exec 9>/tmp/vistal-packaging.lock
flock 9
if dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q installed; then
    echo "$pkg is installed already; not touching it"
    exit 1
fi
cleanup() {
    dpkg --purge "$pkg" >/dev/null 2>&1
    for u in "${users[@]}"; do userdel "$u" 2>/dev/null; done
    getent group "$group" >/dev/null && groupdel "$group"
    rm -rf "$work"
}
trap cleanup EXIT

bash "$src/packaging/make-deb.sh" "$conf" output="$work/$pkg.deb" >/dev/null || exit 1
check "the package installs" dpkg -i "$work/$pkg.deb"
check "launcher, jars and splash are under /opt" test -x "$install/vistal" -a -f "$install/lib/bl.jar" \
    -a -f "$install/lib/include.jar" -a -f "$install/img/splash.png"
check "jre is the Debian runtime" test -f "$install/jre/lib/server/libjvm.so"
check "the desktop entry starts the launcher in the install directory" \
    grep -qx "Path=$install" "/usr/share/applications/$pkg.desktop"
check "the desktop entry names the class of the application's windows" \
    grep -qx "StartupWMClass=a-b-a-a-a" "/usr/share/applications/$pkg.desktop"
check "the icon is installed" test -f "/usr/share/icons/hicolor/scalable/apps/$pkg.svg"
check "the data directory belongs to the group, setgid, 2775" \
    test "$(stat -c '%G %a' "$data")" = "$group 2775"

useradd --no-create-home --groups "$group" "${users[0]}"
useradd --no-create-home --groups "$group" "${users[1]}"
useradd --no-create-home "${users[2]}"
start() { # user: the launcher as the desktop entry starts it, output in $work/<user>.txt
    (cd "$install" && timeout 120 runuser -u "$1" -- env -u DISPLAY HOME=/nonexistent "$install/vistal") \
        >"$work/$1.txt" 2>&1
}
started() { start "$1" && grep -q 'demo application' "$work/$1.txt"; }

check "a member starts the application" started "${users[0]}"
check "its launcher made app.ver and app.lock in the data directory" test -f "$data/app.ver" -a -f "$data/app.lock"
# The files one member's launcher made must stay writable for the next member's launcher, or
# that one can neither lock nor record a download and always starts offline.
check "another member's launcher may write them" \
    runuser -u "${users[1]}" -- sh -c 'cd "$1" && test -w app.ver && test -w app.lock && test -w .' - "$data"
check "another member starts the application" started "${users[1]}"
check "a user outside the group starts it too (from the install's jar)" started "${users[2]}"
check "but may not change the data directory" \
    runuser -u "${users[2]}" -- sh -c '! touch "$1/probe" 2>/dev/null' - "$data"
check "the command on PATH starts it from any directory" bash -c \
    "cd / && runuser -u '${users[0]}' -- env -u DISPLAY HOME=/nonexistent '$pkg' 2>&1 | grep -q 'demo application'"

echo downloaded >"$data/app.jar"
check "the package is removed" dpkg -r "$pkg"
check "removal leaves nothing under /opt, no command, no desktop entry, no icon" \
    test ! -e "$install" -a ! -e "/usr/bin/$pkg" -a ! -e "/usr/share/applications/$pkg.desktop" \
         -a ! -e "/usr/share/icons/hicolor/scalable/apps/$pkg.svg"
check "removal keeps the data directory and the application in it" grep -qx downloaded "$data/app.jar"
check "the package is purged" dpkg --purge "$pkg"
check "purge takes the data directory and its empty parents" test ! -e "$data" -a ! -e "$(dirname "$(dirname "$data")")"
check "purge takes the group" bash -c "! getent group '$group' >/dev/null"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
