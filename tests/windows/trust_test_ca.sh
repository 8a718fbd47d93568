#!/usr/bin/env bash
# Puts a CA among the trusted roots of the Wine prefix: the machine's Root store in the registry
# holds each certificate as a serialised property list (property 32, the encoded certificate)
# under its SHA-1 thumbprint. WinINet under Wine builds its chains from there.
#   trust_test_ca.sh <wine-run.sh> <ca.pem>
set -euo pipefail
wine_run=${1:?usage: trust_test_ca.sh <wine-run.sh> <ca.pem>}
ca=${2:?usage: trust_test_ca.sh <wine-run.sh> <ca.pem>}
work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-trust.XXXXXX")
trap 'rm -rf "$work"' EXIT

openssl x509 -in "$ca" -outform DER -out "$work/ca.der"
python3 - "$work/ca.der" >"$work/ca.reg" <<'PY'
import hashlib, struct, sys
der = open(sys.argv[1], "rb").read()
blob = struct.pack("<III", 32, 1, len(der)) + der
print("REGEDIT4\n")
print("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\%s]"
      % hashlib.sha1(der).hexdigest().upper())
print('"Blob"=hex:' + ",".join("%02x" % b for b in blob))
PY
bash "$wine_run" regedit /s "Z:${work//\//\\}\\ca.reg"
# regedit reports nothing; the key must now be there.
thumb=$(openssl x509 -in "$ca" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
bash "$wine_run" reg query "HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumb" >/dev/null
