#!/usr/bin/env bash
# The demo: a launcher that updates and starts a signed application.
#
# Builds a launcher whose one update host is an nginx on loopback (TLS, with a demo CA the build
# trusts), stages an install directory with a signed application 1.0.0 as its fallback jar,
# publishes a signed release 2.1.0 on nginx and starts the launcher three times:
#   1. online: it downloads 2.1.0 into the data directory and starts it;
#   2. online again: 2.1.0 is current, nothing is downloaded;
#   3. with nginx stopped: it starts offline from the install's 1.0.0.
# With a display the splash shows a strip that grows while 2.1.0 downloads (nginx sends it slowly
# then) and the application shows a window for a few seconds; without one it prints.
# Everything lives under build/demo; nothing is left running.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash tools/install-deps.sh

source tools/jdk-home.sh
demo=$root/build/demo
# Its own port: the fixed test ports are 18441-18451, the soak's 18461-18462, the benchmarks'
# 18481-18491.
port=${VISTAL_DEMO_PORT:-18471}
stage=$demo/stage
webroot=$demo/webroot
rundir=$demo/nginx
pki=$demo/pki
step() { printf '\n=== %s\n' "$*"; }

nginx_pid=""
stop_nginx() {
    if [ -n "$nginx_pid" ] && kill -0 "$nginx_pid" 2>/dev/null; then
        kill "$nginx_pid" 2>/dev/null || true
        wait "$nginx_pid" 2>/dev/null || true
    fi
    nginx_pid=""
}
trap stop_nginx EXIT

step "certificate authority and server certificate (the tests' PKI)"
[ -f "$pki/server.pem" ] || bash tests/fixtures/make-test-pki.sh "$pki"

step "build the launcher for this demo deployment"
cmake -S . -B "$demo/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVISTAL_BUILD_TESTS=OFF -DVISTAL_ALLOW_DEV_SIGNING=ON \
    -DVISTAL_SERVERS="127.0.0.1:$port" -DVISTAL_CA_BUNDLE="$pki/ca.pem" \
    -DVISTAL_COMMON_APPDATA="$stage/appdata" >/dev/null
cmake --build "$demo/build" --target vistal -j "$(nproc)"
keystore=$demo/build/dev-signing/keystore.p12

step "signed application jars (1.0.0 in the install, 2.1.0 on the update server)"
# The tests' application, run with its demo behaviour; each release adds a class that names it.
VISTAL_JDK_HOME=$jdk bash tests/fixtures/make-test-app.sh "$demo/build" "$demo/app"
app_jar() { # version output
    local out=$2 classes
    classes=$(mktemp -d)
    mkdir -p "$classes/src/test"
    printf 'package test;\npublic class Release {\n    public static final String VERSION = "%s";\n}\n' \
        "$1" > "$classes/src/test/Release.java"
    "$jdk/bin/javac" --release 8 -d "$classes/out" "$classes/src/test/Release.java"
    cp "$demo/app/app-unsigned.jar" "$out"
    "$jdk/bin/jar" --update --file "$out" -C "$classes/out" .
    rm -rf "$classes"
}
mkdir -p "$demo/jars"
cp "$demo/app/include.jar" "$demo/jars/include.jar"
app_jar 1.0.0 "$demo/jars/bl.jar"
app_jar 2.1.0 "$demo/jars/app-2.1.0.jar"
tools/vistal-sign.sh sign "$keystore" "$demo/jars/bl.jar"
# The release is stamped with the version it is published as: launchers refuse it under any other.
tools/vistal-sign.sh sign "$keystore" "$demo/jars/app-2.1.0.jar" --version 2.1.0
tools/vistal-sign.sh verify "$demo/build/dev-signing/signer.pem" "$demo"/jars/*.jar

step "install directory $stage"
rm -rf "$stage"
mkdir -p "$stage/lib" "$stage/img" "$stage/appdata/Quarlen Zuzidivoravev Vivurezuv/Quarlen Vistal/2.0.2"
ln -s "$jdk" "$stage/jre"
cp "$demo/jars/bl.jar" "$demo/jars/include.jar" "$stage/lib/"
cp "$demo/build/vistal" "$stage/vistal"
echo test.Demo > "$stage/behaviour"
rsvg-convert -w 480 -h 240 -o "$stage/img/splash.png" demo/splash.svg
data="$stage/appdata/Quarlen Zuzidivoravev Vivurezuv/Quarlen Vistal/2.0.2"
# app.npx is the application's own extension jar in the data directory; the demo has none to
# offer, so it gets an empty one (a loader reports a path it cannot open with a stack trace).
mkdir -p "$demo/npx" && "$jdk/bin/jar" cf "$data/app.npx" -C "$demo/npx" .

step "update server: nginx on 127.0.0.1:$port serving release 2.1.0"
rm -rf "$webroot" "$rundir"
mkdir -p "$webroot"
deploy/publish.sh --signer "$demo/build/dev-signing/signer.pem" "$webroot" 2.1.0 "$demo/jars/app-2.1.0.jar"
deploy/render-nginx-conf.sh --listen "127.0.0.1:$port" --cert "$pki/server.pem" --key "$pki/server.key" \
    --webroot "$webroot" --rundir "$rundir" > "$demo/nginx.conf"
if [ -n "${DISPLAY:-}" ]; then
    # With a display the release comes slowly enough to watch the splash's download strip grow.
    sed -i 's|location /releases/ {|&\n            limit_rate 8k;|' "$demo/nginx.conf"
fi
nginx -e "$rundir/error.log" -c "$demo/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
for _ in $(seq 50); do
    curl -s --cacert "$pki/ca.pem" -o /dev/null "https://127.0.0.1:$port/VistalServlet?getVersion=bootstrap&clientVersion=2.0" && break
    sleep 0.1
done

# Every start is reported with its exit code; the demo fails at the end if one of them did.
failed_starts=0
run_launcher() {
    local code=0
    (cd "$stage" && ./vistal) || code=$?
    echo "(exit code $code; app.ver: $(cat "$data/app.ver" 2>/dev/null || echo none))"
    [ "$code" -eq 0 ] || failed_starts=$((failed_starts + 1))
}
jar_requests() { grep -c 'GET /releases/' "$rundir/access.log" 2>/dev/null || true; }

step "first start: downloads 2.1.0 and starts it"
run_launcher
echo "jar downloads so far: $(jar_requests)"

step "second start: 2.1.0 is current, no download"
run_launcher
echo "jar downloads so far: $(jar_requests)"

step "update server stopped: starts offline from lib/bl.jar (1.0.0)"
stop_nginx
run_launcher
echo
echo "demo finished; files are under $demo"
if [ "$failed_starts" -ne 0 ]; then
    echo "demo: $failed_starts of 3 starts failed"
    exit 1
fi
