#!/usr/bin/env bash
# tools/vistal-codesign.sh on the shipped vistal.exe with a code-signing CA made here: signatures
# from a PEM pair and from PKCS#12 that chain to that CA and to no other, the image's exports,
# version block and manifest intact after signing, and the certificates and passwords that must
# be refused before anything is written.
#   codesign_test.sh VISTAL_EXE IMAGE_TEST COMPANY_NAME LEGAL_NOTICE
set -uo pipefail
exe=$(realpath "$1") image_test=$(realpath "$2") company=$3 legal=$4
tool=$(cd "$(dirname "$0")/../.." && pwd)/tools/vistal-codesign.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-codesign-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
passed=0 failed=0
check() { # description, then a command that must succeed
    local what=$1; shift
    if "$@"; then passed=$((passed + 1)); echo "ok: $what"; else failed=$((failed + 1)); echo "FAILED: $what"; fi
}
refused() { # description, expected message, sign arguments...
    local what=$1 message=$2; shift 2
    rm -f out.exe
    if bash "$tool" sign "$exe" out.exe "$@" 2>err.txt; then
        failed=$((failed + 1)); echo "FAILED: $what (signed)"
    elif ! grep -q "$message" err.txt || [ -e out.exe ]; then
        failed=$((failed + 1)); echo "FAILED: $what"; cat err.txt
    else
        passed=$((passed + 1)); echo "ok: $what"
    fi
}

ossl() { openssl "$@" 2>/dev/null; }
ca() { # name
    ossl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj "/CN=$1" -keyout "$1.key" -out "$1.pem" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign"
}
leaf() { # name extended-key-usage days
    ossl req -newkey rsa:2048 -nodes -subj "/CN=Vendor $1" -keyout "$1.key" -out "$1.csr"
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$2" >"$1.ext"
    ossl x509 -req -sha256 -days "$3" -in "$1.csr" -CA vendor-ca.pem -CAkey vendor-ca.key \
        -set_serial "0x$(openssl rand -hex 8)" -extfile "$1.ext" -out "$1.pem"
}
ca vendor-ca
ca other-ca
leaf signing codeSigning 10
leaf tls serverAuth 10
leaf expired codeSigning -1
echo 'p12 secret' >pass.txt
echo 'not it' >wrong.txt
ossl pkcs12 -export -in signing.pem -inkey signing.key -certfile vendor-ca.pem -passout file:pass.txt -out signing.p12

bash "$tool" sign "$exe" pem.exe --cert signing.pem --key signing.key >/dev/null
check "a PEM pair signs, and the signature chains to the vendor's CA" bash "$tool" verify pem.exe --ca vendor-ca.pem
check "it does not chain to another CA" bash -c "! bash '$tool' verify pem.exe --ca other-ca.pem 2>/dev/null"
check "the unsigned image does not verify" bash -c "! bash '$tool' verify '$exe' --ca vendor-ca.pem 2>/dev/null"
cp pem.exe changed.exe
printf 'x' | dd of=changed.exe bs=1 seek=4096 conv=notrunc 2>/dev/null
check "a byte changed after signing fails verification" bash -c "! bash '$tool' verify changed.exe --ca vendor-ca.pem 2>/dev/null"

bash "$tool" sign "$exe" p12.exe --pkcs12 signing.p12 --pass-file pass.txt >/dev/null
check "PKCS#12 signs, and the signature chains to the vendor's CA" bash "$tool" verify p12.exe --ca vendor-ca.pem
bash "$tool" sign p12.exe p12.exe --pkcs12 signing.p12 --pass-file pass.txt >/dev/null
check "signing a signed file in place leaves one valid signature" \
    bash -c "osslsigncode verify -in p12.exe -CAfile vendor-ca.pem | grep -q 'Number of verified signatures: 1'"

# Signing adds the signature at the end and changes, of the image itself, only the header
# checksum and the security directory entry; the resources and exports must come through.
check "of the original bytes only the checksum and the security directory changed" python3 - "$exe" pem.exe <<'PY'
import struct, sys
a = open(sys.argv[1], "rb").read()
b = open(sys.argv[2], "rb").read()
pe = struct.unpack_from("<I", a, 0x3C)[0]
opt = pe + 24
allowed = set(range(opt + 64, opt + 68)) | set(range(opt + 112 + 8 * 4, opt + 112 + 8 * 5))
diff = [i for i in range(len(a)) if a[i] != b[i] and i not in allowed]
sys.exit(1 if diff or len(b) <= len(a) else 0)
PY
check "the signed image keeps its exports, version block and manifest" \
    python3 "$image_test" pem.exe "$company" "$legal" -q

refused "a wrong PKCS#12 password is named" "wrong password" --pkcs12 signing.p12 --pass-file wrong.txt
refused "a certificate without the code-signing usage is refused" "not for code signing" --cert tls.pem --key tls.key
refused "an expired certificate is refused" "has expired" --cert expired.pem --key expired.key
refused "a key that is not the certificate's is refused" "does not belong" --cert signing.pem --key tls.key
refused "an unreachable time-stamp server writes nothing" "time-stamp server" \
    --cert signing.pem --key signing.key --timestamp http://127.0.0.1:1/

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
