#!/usr/bin/env bash
# The real test launcher against real nginx on loopback over TLS, configured and published with
# deploy/: first install, failover past two dead hosts, a new release picked up at the next
# start, and a release published while a launcher downloads never leaving a mixed state.
#   deploy_nginx_test.sh LAUNCHER APP_DIR PKI_DIR JDK
set -uo pipefail
launcher=$(realpath "$1") app=$(realpath "$2") pki=$(realpath "$3") jdk=$4
src=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-nginx.XXXXXX")
chmod 755 "$work" # nginx workers drop root and must read the web root
port=18443 # the third host of the test launcher's list; the first two stay dead
nginx_pid=""
passed=0 failed=0

cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

check() { # description, then a command that must succeed
    local what=$1; shift
    if "$@"; then passed=$((passed + 1)); echo "ok: $what"; else failed=$((failed + 1)); echo "FAILED: $what"; fi
}

# A release: the test application with a marker entry (and optional padding), stamped with its
# version and signed.
release() { # version [padding-bytes]
    local dir=$work/rel-$1
    mkdir -p "$dir/extra"
    echo "$1" > "$dir/extra/release.txt"
    [ -n "${2:-}" ] && head -c "$2" /dev/urandom > "$dir/extra/padding.bin"
    cp "$app/app-unsigned.jar" "$dir/app.jar"
    "$jdk/bin/jar" --update --file "$dir/app.jar" -C "$dir/extra" . 
    VISTAL_JDK_HOME=$jdk VISTAL_STOREPASS=vistal-dev "$src/tools/vistal-sign.sh" sign \
        "$(dirname "$launcher")/../dev-signing/keystore.p12" "$dir/app.jar" --version "$1" >/dev/null
    echo "$dir/app.jar"
}

start_nginx() { # [extra http directives for the jars]
    deploy/render-nginx-conf.sh --listen "127.0.0.1:$port" --cert "$pki/server.pem" --key "$pki/server.key" \
        --webroot "$work/webroot" --rundir "$work/run" > "$work/nginx.conf"
    if [ -n "${1:-}" ]; then
        sed -i "s|location /releases/ {|location /releases/ {\n            $1|" "$work/nginx.conf"
    fi
    nginx -e "$work/run/error.log" -c "$work/nginx.conf" -g 'daemon off;' &
    nginx_pid=$!
    for _ in $(seq 100); do
        curl -s --cacert "$pki/ca.pem" -o /dev/null "https://127.0.0.1:$port/ready" && return 0
        sleep 0.05
    done
    echo "nginx did not come up"; cat "$work/run/error.log"; return 1
}
stop_nginx() { kill "$nginx_pid" 2>/dev/null; wait "$nginx_pid" 2>/dev/null; nginx_pid=""; }

install=$work/install
data="$install/appdata/Quarlen Zuzidivoravev Vivurezuv/Quarlen Vistal/2.0.2"
mkdir -p "$install/lib" "$data" "$work/webroot"
ln -s "$jdk" "$install/jre"
cp "$app/app.jar" "$install/lib/bl.jar"
cp "$app/include.jar" "$install/lib/include.jar"
echo test.Ok > "$install/behaviour"
cp "$launcher" "$install/vistal-test" # the install directory is the launcher's own
run() { (cd "$install" && timeout 120 ./vistal-test >"$work/out.txt" 2>&1); }
version_requests() { cat "$work/run/access.log" 2>/dev/null | grep -c 'GET /VistalServlet'; }
jar_requests() { cat "$work/run/access.log" 2>/dev/null | grep -c 'GET /releases/'; }

cd "$src"
signer=$(dirname "$launcher")/../dev-signing/signer.pem
export VISTAL_JDK_HOME=$jdk
r1=$(release 2.1.0)
r2=$(release 2.2.0.b3)
deploy/publish.sh --signer "$signer" "$work/webroot" 2.1.0 "$r1" >/dev/null
start_nginx || exit 1

run; rc=$?
check "first install starts with exit code 0" test $rc -eq 0
check "first install downloads the published jar" cmp -s "$r1" "$data/app.jar"
check "app.ver holds the published version" test "$(cat "$data/app.ver")" = "2.1.0-rc2147483647.b1"
check "the answer came from the third host (two dead hosts before it)" test "$(version_requests)" -eq 1

run
check "a current installation downloads nothing" test "$(jar_requests)" -eq 1

deploy/publish.sh --signer "$signer" "$work/webroot" 2.2.0.b3 "$r2" >/dev/null
run
check "a new release is picked up at the next start" cmp -s "$r2" "$data/app.jar"
check "app.ver follows the new release" test "$(cat "$data/app.ver")" = "2.2.0-rc2147483647.b3"
stop_nginx

# A slow download of 2.3.0 while 2.4.0 is published: the launcher ends with 2.3.0 whole.
rm -f "$data/app.jar" "$data/app.ver"
r3=$(release 2.3.0 4000000)
r4=$(release 2.4.0 4000000)
deploy/publish.sh --signer "$signer" "$work/webroot" 2.3.0 "$r3" >/dev/null
start_nginx "limit_rate 1m;" || exit 1
# The access log keeps the requests of the runs above: wait for this launcher's own.
before=$(jar_requests)
(cd "$install" && timeout 120 ./vistal-test >"$work/out-slow.txt" 2>&1) &
slow=$!
for _ in $(seq 600); do
    [ "$(jar_requests)" -gt "$before" ] && break
    sleep 0.05
done
deploy/publish.sh --signer "$signer" "$work/webroot" 2.4.0 "$r4" >/dev/null
wait $slow; rc=$?
check "a launcher downloading while a release is published exits with 0" test $rc -eq 0
check "it holds the release it was told about, whole" cmp -s "$r3" "$data/app.jar"
check "and app.ver names that release" test "$(cat "$data/app.ver")" = "2.3.0-rc2147483647.b1"
run
check "the next start gets the newer release" cmp -s "$r4" "$data/app.jar"
stop_nginx

# A download cut at half (the launcher killed) is taken up at the next start: nginx answers the
# rest with 206 for the kept bytes' validator, and only the rest is sent.
r5=$(release 2.5.0 4000000)
size=$(stat -c %s "$r5")
deploy/publish.sh --signer "$signer" "$work/webroot" 2.5.0 "$r5" >/dev/null
start_nginx "limit_rate 1m;" || exit 1
(cd "$install" && exec ./vistal-test >"$work/out-cut.txt" 2>&1) &
cut=$!
for _ in $(seq 600); do
    kept=$(stat -c %s "$data"/app.jar.partial.* 2>/dev/null | head -1)
    [ -n "$kept" ] && [ "$kept" -ge $((size / 2)) ] && break
    sleep 0.05
done
kill -9 $cut; wait $cut 2>/dev/null
kept=$(stat -c %s "$data"/app.jar.partial.* 2>/dev/null | head -1)
check "the cut download's bytes are kept" test "${kept:-0}" -gt 0
stop_nginx
start_nginx || exit 1
run; rc=$?
last=$(grep 'GET /releases/' "$work/run/access.log" | tail -1)
check "the next start exits with 0" test $rc -eq 0
check "it installs the release whole" cmp -s "$r5" "$data/app.jar"
check "it is answered 206 for the rest" test "$(echo "$last" | awk '{print $9}')" = 206
check "and is sent only the rest" test "$(echo "$last" | awk '{print $10}')" -eq $((size - ${kept:-0}))
check "nothing of it is kept after" test -z "$(ls "$data" | grep -E '^app\.(jar\.partial|resume)')"
stop_nginx

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
