#!/usr/bin/env bash
# The vendor signing tool: what it signs passes its own check and starts in the launcher; a jar
# signed by another key, a class added after signing and a two-certificate signer path are each
# reported by entry name.
#   signing_tool_test.sh LAUNCHER APP_DIR JDK
set -uo pipefail
launcher=$(realpath "$1") app=$(realpath "$2") jdk=$3
src=$(cd "$(dirname "$0")/../.." && pwd)
tool=$src/tools/vistal-sign.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-sign.XXXXXX")
trap 'rm -rf "$work"' EXIT
export VISTAL_JDK_HOME=$jdk VISTAL_STOREPASS=test-pass
passed=0 failed=0
check() {
    local what=$1; shift
    if "$@"; then passed=$((passed + 1)); echo "ok: $what"; else failed=$((failed + 1)); echo "FAILED: $what"; fi
}
cd "$work"

"$tool" keygen vendor.p12 vistal "CN=Test Vendor" >/dev/null 2>&1
"$tool" cert vendor.p12 vendor.pem >/dev/null 2>&1
check "digest is the certificate's SHA-1" test "$("$tool" digest vendor.pem)" = \
    "$(openssl x509 -in vendor.pem -outform DER | sha1sum | cut -d' ' -f1)"

cp "$app/app-unsigned.jar" good.jar
"$tool" sign vendor.p12 good.jar >/dev/null
check "a jar it signs passes its verification" "$tool" verify vendor.pem good.jar

# Signed by the build's development key: starts in the test launcher.
keystore=$(dirname "$launcher")/../dev-signing/keystore.p12
mkdir -p install/lib install/appdata
ln -s "$jdk" install/jre
cp "$app/app-unsigned.jar" install/lib/bl.jar
cp "$app/include.jar" install/lib/include.jar
VISTAL_STOREPASS=vistal-dev "$tool" sign "$keystore" install/lib/bl.jar >/dev/null
echo test.Ok > install/behaviour
cp "$launcher" install/vistal-test # the install directory is the launcher's own
check "the tool's signature passes in the launcher" bash -c "cd install && timeout 120 ./vistal-test 2>&1 | grep -q 'not signed\|signature invalid' && exit 1 || exit 0"

"$tool" verify vendor.pem "$app/app-other-key.jar" > other.txt
check "a jar signed by another key fails" test $? -ne 0
check "and names the main class" grep -q '^a/b/a/a/a.class: signature invalid' other.txt

cp good.jar added.jar
mkdir -p extra/late && printf 'public class Late {}\n' > extra/late/Late.java
"$jdk/bin/javac" -d extra/classes extra/late/Late.java
"$jdk/bin/jar" --update --file added.jar -C extra/classes .
"$tool" verify vendor.pem added.jar > added.txt
check "an unsigned class added later fails" test $? -ne 0
check "and is named" grep -q '^Late.class: not signed' added.txt
check "the signed entries still pass" bash -c "! grep -q '^a/b/a/a/a.class' added.txt"

# A signer whose certificate was issued by a CA: a path of two certificates.
kt="$jdk/bin/keytool"
"$kt" -genkeypair -alias ca -keyalg RSA -keysize 2048 -dname CN=Issuer -ext bc:c -storetype PKCS12 \
    -keystore chain.p12 -storepass test-pass >/dev/null 2>&1
"$kt" -genkeypair -alias vistal -keyalg RSA -keysize 2048 -dname CN=Issued -storetype PKCS12 \
    -keystore chain.p12 -storepass test-pass >/dev/null 2>&1
"$kt" -certreq -alias vistal -keystore chain.p12 -storepass test-pass 2>/dev/null |
    "$kt" -gencert -alias ca -keystore chain.p12 -storepass test-pass -rfc > issued.pem 2>/dev/null
"$kt" -exportcert -rfc -alias ca -keystore chain.p12 -storepass test-pass > issuer.pem 2>/dev/null
cat issued.pem issuer.pem > chain.pem
"$kt" -importcert -noprompt -alias vistal -file chain.pem -keystore chain.p12 -storepass test-pass >/dev/null 2>&1
cp "$app/app-unsigned.jar" chain.jar
"$tool" sign chain.p12 chain.jar >/dev/null
"$tool" verify issued.pem chain.jar > chain.txt
check "a two-certificate path fails even when the signer's own certificate is trusted" test $? -ne 0
check "and the entries are named with the issuer's position" grep -q '^a/b/a/a/a.class: signature invalid: certificate 1' chain.txt

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
