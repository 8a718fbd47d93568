#!/usr/bin/env bash
# The MSI under Wine, in one fresh prefix: built and signed with a code-signing CA made here,
# installed with msiexec /qn; the installed (signed) launcher, with a stand-in VM, updates from
# nginx on loopback into the data folder; a newer MSI with the shipped vistal.exe replaces it in
# place without touching the downloaded application and starts offline; an older MSI is
# refused; msiexec /x. WinINet under Wine trusts the test CA from the prefix's registry and
# checks revocation, so the server certificate names a CRL that a plain HTTP server hands out.
# Not testable under Wine: the data folder's access list (Wine does not apply it).
#   msi_test.sh MSI_CONF STANDIN_JVM ONLINE_LAUNCHER WINE_DIR
# ONLINE_LAUNCHER is the launcher built with the one update host 127.0.0.1:18473.
set -uo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
conf=$(realpath "$1") standin=$(realpath "$2") online_exe=$(realpath "$3")
mkdir -p "$4"
wine_dir=$(realpath "$4")
tls_port=18473 crl_port=18474 # no other test or tool listens on these
value() { sed -n "s/^$1=//p" "$conf"; }
version=$(value version) product=$(value product) manufacturer=$(value manufacturer)
codesign=$src/tools/vistal-codesign.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-msi-test.XXXXXX")
chmod 755 "$work" # nginx's workers read the web root below it
nginx_pid="" crl_pid=""
passed=0 failed=0
check() { # description, then a command that must succeed
    local what=$1; shift
    if "$@"; then passed=$((passed + 1)); echo "ok: $what"; else failed=$((failed + 1)); echo "FAILED: $what"; fi
}

export WINEPREFIX=$wine_dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
unset DISPLAY
wine() { /usr/lib/wine/wine64 "$@"; }
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    [ -n "$crl_pid" ] && kill "$crl_pid" 2>/dev/null && wait "$crl_pid" 2>/dev/null
    [ -d "$WINEPREFIX" ] && /usr/lib/wine/wineserver -k 2>/dev/null
    [ -n "${KEEP:-}" ] || rm -rf "$work" "$WINEPREFIX"
}
trap cleanup EXIT
rm -rf "$WINEPREFIX"

# A code-signing CA and certificate of the vendor's.
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj "/CN=Vendor Code CA" -keyout ca.key \
    -out ca.pem -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Vendor" -keyout signing.key -out signing.csr 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signing.ext
openssl x509 -req -sha256 -days 10 -in signing.csr -CA ca.pem -CAkey ca.key -set_serial 1 \
    -extfile signing.ext -out signing.pem 2>/dev/null

# The update host: a TLS CA, its (empty) revocation list and a server certificate for
# 127.0.0.1, named as WinINet compares it (common name and DNS name) and as curl does (IP).
mkdir -p tls/crl
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj "/CN=Update Test CA" -keyout tls/ca.key \
    -out tls/ca.pem -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
touch tls/index.txt
echo 01 >tls/crlnumber
printf '[ca]\ndefault_ca = test_ca\n[test_ca]\ndatabase = %s\ncrlnumber = %s\ndefault_md = sha256\ndefault_crl_days = 30\n' \
    "$work/tls/index.txt" "$work/tls/crlnumber" >tls/ca.cnf
openssl ca -config tls/ca.cnf -gencrl -keyfile tls/ca.key -cert tls/ca.pem -out tls/crl.pem 2>/dev/null
openssl crl -in tls/crl.pem -outform DER -out tls/crl/ca.crl
openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout tls/server.key -out tls/server.csr 2>/dev/null
printf 'basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=IP:127.0.0.1,DNS:127.0.0.1\ncrlDistributionPoints=URI:http://127.0.0.1:%s/ca.crl\n' \
    "$crl_port" >tls/server.ext
openssl x509 -req -sha256 -days 30 -in tls/server.csr -CA tls/ca.pem -CAkey tls/ca.key -set_serial 2 \
    -extfile tls/server.ext -out tls/server.pem 2>/dev/null

# The stand-in VM as the vendor's runtime folder, and a newer release with its own fallback jar.
mkdir -p runtime/bin/server
cp "$standin" runtime/bin/server/jvm.dll
echo 'JAVA_VERSION="stand-in"' >runtime/release
newer=${version%.*}.$((${version##*.} + 1))
cp "$(value fallback_jar)" newer-bl.jar
echo "release $newer" >>newer-bl.jar
build() { # output [NAME=VALUE...]
    bash "$src/packaging/make-msi.sh" "$conf" output="$work/$1" runtime_dir="$work/runtime" \
        cert="$work/signing.pem" key="$work/signing.key" "${@:2}" >/dev/null
}
# msvcr100.dll, which the launcher loads first: refused when missing, then brought from elsewhere
# for the older package and from the runtime folder for the newer one.
refused_without_c_runtime() {
    local said
    said=$(build none.msi 2>&1) && return 1
    [ ! -e "$work/none.msi" ] && grep -q "holds no bin/msvcr100.dll" <<<"$said"
}
check "a runtime folder without msvcr100.dll is refused, naming the file" refused_without_c_runtime
build old.msi exe="$online_exe" c_runtime="$standin" || exit 1
cp "$standin" runtime/bin/msvcr100.dll
build new.msi version="$newer" fallback_jar="$work/newer-bl.jar" || exit 1
check "the MSI is signed and chains to the vendor's CA" bash "$codesign" verify old.msi --ca ca.pem
check "the shortcut starts in the install directory" \
    bash -c "msiinfo export old.msi Shortcut | tr -d '\r' | awk -F '\t' 'NR > 3 { print \$12 }' | grep -qx INSTALLDIR"
check "the data folder carries its access list" \
    bash -c "msiinfo export old.msi MsiLockPermissionsEx | grep -q 'DATADIR.CreateFolder.D:.*;;;BU)'"
# Read back from the package: a protected list, and users and a file's owner (OWNER RIGHTS) get
# the same inherited modify rights, neither of them WRITE_DAC or WRITE_OWNER.
data_folder_locked() {
    msiinfo export old.msi MsiLockPermissionsEx | python3 -c '
import re, sys
rows = [l.rstrip("\r\n").split("\t") for l in sys.stdin]
sddl = [r[3] for r in rows if len(r) > 3 and r[1] == "DATADIR"][0]
flags, aces = re.match(r"D:([A-Z]*)(.*)$", sddl).groups()
rights = {}
for ace in re.findall(r"\(([^)]*)\)", aces):
    kind, inherit, mask, _, _, sid = ace.split(";")
    if kind == "A" and sid in ("BU", "OW"):
        assert "OI" in inherit and "CI" in inherit and "IO" not in inherit, ace
        assert not mask.isalpha() and int(mask, 16) & 0xC0000 == 0, ace
        rights[sid] = mask
assert "P" in flags and rights.get("OW") == rights.get("BU") != None, sddl
'
}
check "the data folder's list is protected and no user or owner can change it" data_folder_locked

wine wineboot --init >/dev/null 2>&1
# The update CA among the prefix's trusted roots: a serialised certificate property (id 32).
python3 - tls/ca.pem >tls/ca.reg <<'PY'
import hashlib, ssl, struct, sys
der = ssl.PEM_cert_to_DER_cert(open(sys.argv[1]).read())
blob = struct.pack("<III", 32, 1, len(der)) + der
print("REGEDIT4\n")
print("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\%s]"
      % hashlib.sha1(der).hexdigest().upper())
print('"Blob"=hex:' + ",".join("%02x" % b for b in blob))
PY
wine regedit /s 'Z:'"${work//\//\\}"'\tls\ca.reg'

# The update host with release 2.1.0, and the revocation list over plain HTTP.
mkdir -p webroot
cp "$(value fallback_jar)" release.jar
dev_signing=$(dirname "$conf")/../dev-signing
VISTAL_STOREPASS=vistal-dev bash "$src/tools/vistal-sign.sh" sign "$dev_signing/keystore.p12" \
    "$work/release.jar" --version 2.1.0 >/dev/null
bash "$src/deploy/publish.sh" --signer "$dev_signing/signer.pem" "$work/webroot" 2.1.0 \
    "$work/release.jar" >/dev/null
bash "$src/deploy/render-nginx-conf.sh" --listen "127.0.0.1:$tls_port" --cert "$work/tls/server.pem" \
    --key "$work/tls/server.key" --webroot "$work/webroot" --rundir "$work/nginx" >nginx.conf
nginx -e "$work/nginx/error.log" -c "$work/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
(cd tls/crl && exec python3 -m http.server "$crl_port" --bind 127.0.0.1 >/dev/null 2>&1) &
crl_pid=$!
for _ in $(seq 100); do
    curl -s -o /dev/null --cacert tls/ca.pem "https://127.0.0.1:$tls_port/ready" &&
        curl -s -o /dev/null "http://127.0.0.1:$crl_port/ca.crl" && break
    sleep 0.05
done
drive=$WINEPREFIX/drive_c
install="$drive/Program Files/$manufacturer/$product"
data="$drive/ProgramData/$(value data_company)/$(value data_product)/$(value data_version)"
win_install="C:\\Program Files\\$manufacturer\\$product"
registered() { wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | grep -c "DisplayName *REG_SZ *$product\$"; }

check "msiexec /i installs" wine msiexec /i 'Z:'"${work//\//\\}"'\old.msi' /qn
check "the layout: launcher, jars, splash and the runtime under Program Files" \
    test -f "$install/vistal.exe" -a -f "$install/lib/bl.jar" -a -f "$install/lib/include.jar" \
         -a -f "$install/img/splash.png" -a -f "$install/jre/bin/server/jvm.dll" -a -f "$install/jre/release" \
         -a -f "$install/jre/bin/msvcr100.dll"
check "the data folder exists" test -d "$data"
check "a Start-menu shortcut exists" test -n "$(find "$drive" -name "$product.lnk" | head -n1)"
check "the installed vistal.exe is signed and chains to the vendor's CA" \
    bash "$codesign" verify "$install/vistal.exe" --ca ca.pem

# Started from elsewhere, as a shortcut or a file manager would: the VM library is found in
# the install, and the stand-in records the VM's creation (and refuses it: exit code 1).
start() { # run directory
    mkdir -p "$1"
    rm -f "$1/jvm-standin.txt"
    (cd "$1" && wine "$win_install\\vistal.exe"; echo $? >rc)
    grep -qx 'loaded jvm.dll' "$1/jvm-standin.txt" && grep -qx 'nOptions=4' "$1/jvm-standin.txt" &&
        test "$(cat "$1/rc")" = 1
}
check "the installed launcher updates and reaches the VM's creation" start run1
check "the release is downloaded into the data folder" cmp -s release.jar "$data/app.jar"
check "app.ver names it" grep -q '^2.1.0-' "$data/app.ver"

check "a newer MSI installs over it" wine msiexec /i 'Z:'"${work//\//\\}"'\new.msi' /qn
check "the newer release's files are in place" cmp -s newer-bl.jar "$install/lib/bl.jar"
check "the downloaded application is untouched" cmp -s release.jar "$data/app.jar"
check "one product is registered, not two" test "$(registered)" = 1
check "the newer launcher starts (offline: its hosts are not reachable here)" start run2
refused() { ! wine msiexec /i "$1" /qn; }
check "an older MSI refuses to install over a newer one" refused 'Z:'"${work//\//\\}"'\old.msi'
check "msiexec /x removes it" wine msiexec /x 'Z:'"${work//\//\\}"'\new.msi' /qn
check "the install directory is gone" test ! -e "$install"
check "the shortcut is gone" test -z "$(find "$drive" -name "$product.lnk" | head -n1)"
check "the data folder and its application stay" cmp -s release.jar "$data/app.jar"
check "nothing is registered any more" test "$(registered)" = 0

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
