#!/usr/bin/env bash
# Runs the vendor's guide, docs/DEPLOYMENT.md, as written: every code block marked <!-- run -->,
# in order, in one shell, from the repository root, as root. The guide itself checks what a
# vendor would look at (signatures, the update in the data directory, the MSI installed, started
# and removed under Wine, what removal leaves); this script hands it the vendor's unsigned jars, a
# non-default identity and a customer account, points the update host at loopback, and
# afterwards leaves nothing installed or running.
#   deployment_guide_test.sh JDK
set -uo pipefail
[ "$(id -u)" -eq 0 ] || { echo "skipped: the guide installs a package and needs root"; exit 77; }
jdk=$1
src=$(cd "$(dirname "$0")/../.." && pwd)
# A vendor of its own: every name the build derives from the identity differs from the defaults.
export COMPANY="Example Guide Corp" PRODUCT="Example Guide Tutor" PRODUCT_VERSION=3.1.4
pkg=example-guide-tutor
port=18471 # no other test or tool listens here
work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-guide-test.XXXXXX")
chmod 755 "$work" # nginx's workers read the web root below it
customer=vgt$$

exec 9>/tmp/vistal-packaging.lock
flock 9
if dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q installed; then
    echo "$pkg is installed already; not touching it"
    exit 1
fi
cleanup() {
    [ -f "$work/nginx/nginx.pid" ] && kill "$(cat "$work/nginx/nginx.pid")" 2>/dev/null
    # The guide's Wine prefix, should the guide stop while the MSI is installed there.
    [ -d "$work/vendor/wine" ] && WINEPREFIX=$work/vendor/wine /usr/lib/wine/wineserver -k 2>/dev/null
    dpkg --purge "$pkg" >/dev/null 2>&1
    userdel "$customer" 2>/dev/null
    getent group "$pkg" >/dev/null && groupdel "$pkg"
    [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

export VENDOR_DIR=$work/vendor WEBROOT=$work/webroot NGINX_RUNDIR=$work/nginx
export UPDATE_HOST=127.0.0.1:$port UPDATE_LISTEN=127.0.0.1:$port
export WINDOWS_RUNTIME=$work/windows-jre CUSTOMER=$customer RELEASE=2.1.0
export TRIAL_CA_BUNDLE=$work/trial-ca/update-ca.pem
export VISTAL_STOREPASS=guide-store-pass CODESIGN_PASS=guide-code-pass
unset DISPLAY

# The vendor's application: the demo, 1.0.0 in the installers and 2.1.0 to publish, unsigned.
mkdir -p "$VENDOR_DIR/jars"
VISTAL_JDK_HOME=$jdk bash "$src/packaging/make-dev-app.sh" - "$VENDOR_DIR/jars" 1.0.0 || exit 1
VISTAL_JDK_HOME=$jdk bash "$src/packaging/make-dev-app.sh" - "$work/release" "$RELEASE" || exit 1
cp "$work/release/bl.jar" "$VENDOR_DIR/jars/app.jar"
# The Windows runtime is the guide's stand-in, made from this JDK's headers.
export VISTAL_JDK_HOME=$jdk
useradd --no-create-home "$customer" || exit 1

# The runnable blocks: a fenced block right after a line <!-- run -->.
awk '/^<!-- run -->$/ { armed = 1; next }
     armed && /^```/ { if (inside) { inside = 0; armed = 0 } else inside = 1; next }
     inside { print }' "$src/docs/DEPLOYMENT.md" >"$work/guide.sh"
blocks=$(grep -c '^<!-- run -->$' "$src/docs/DEPLOYMENT.md")
echo "running $blocks blocks of docs/DEPLOYMENT.md"
[ "$blocks" -ge 10 ] || { echo "the guide lost its runnable blocks"; exit 1; }

cd "$src"
if bash -euo pipefail -x "$work/guide.sh" >"$work/guide.log" 2>&1; then
    echo "the guide ran to its end"
    tail -n 5 "$work/guide.log"
    exit 0
fi
echo "FAILED: the guide stopped at:"
tail -n 40 "$work/guide.log"
exit 1
