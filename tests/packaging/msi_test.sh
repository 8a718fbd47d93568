#!/usr/bin/env bash
# The MSI of the shipped vistal.exe under Wine, in one fresh prefix: built and signed with a
# code-signing CA made here, installed with msiexec /qn, the installed (signed) vistal.exe
# started on its offline road with a stand-in VM, a newer MSI that replaces it in place without
# touching the data folder's application, an older one refused, and msiexec /x.
# Not testable under Wine: the data folder's access list (Wine does not apply it) and updates
# over WinINet against a test CA.
#   msi_test.sh MSI_CONF STANDIN_JVM WINE_DIR
set -uo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
conf=$(realpath "$1") standin=$(realpath "$2")
mkdir -p "$3"
wine_dir=$(realpath "$3")
value() { sed -n "s/^$1=//p" "$conf"; }
version=$(value version) product=$(value product) manufacturer=$(value manufacturer)
codesign=$src/tools/vistal-codesign.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-msi-test.XXXXXX")
passed=0 failed=0
check() { # description, then a command that must succeed
    local what=$1; shift
    if "$@"; then passed=$((passed + 1)); echo "ok: $what"; else failed=$((failed + 1)); echo "FAILED: $what"; fi
}

export WINEPREFIX=$wine_dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
unset DISPLAY
wine() { /usr/lib/wine/wine64 "$@"; }
cleanup() {
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
build old.msi || exit 1
build new.msi version="$newer" fallback_jar="$work/newer-bl.jar" || exit 1
check "the MSI is signed and chains to the vendor's CA" bash "$codesign" verify old.msi --ca ca.pem
check "the shortcut starts in the install directory" \
    bash -c "msiinfo export old.msi Shortcut | tr -d '\r' | awk -F '\t' 'NR > 3 { print \$12 }' | grep -qx INSTALLDIR"
check "the data folder carries its access list" \
    bash -c "msiinfo export old.msi MsiLockPermissionsEx | grep -q 'DATADIR.CreateFolder.D:.*;;;BU)'"

wine wineboot --init >/dev/null 2>&1
drive=$WINEPREFIX/drive_c
install="$drive/Program Files/$manufacturer/$product"
data="$drive/ProgramData/$(value data_company)/$(value data_product)/$(value data_version)"
win_install="C:\\Program Files\\$manufacturer\\$product"
registered() { wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | grep -c "DisplayName *REG_SZ *$product\$"; }

check "msiexec /i installs" wine msiexec /i 'Z:'"${work//\//\\}"'\old.msi' /qn
check "the layout: launcher, jars, splash and the runtime under Program Files" \
    test -f "$install/vistal.exe" -a -f "$install/lib/bl.jar" -a -f "$install/lib/include.jar" \
         -a -f "$install/img/splash.png" -a -f "$install/jre/bin/server/jvm.dll" -a -f "$install/jre/release"
check "the data folder exists" test -d "$data"
check "a Start-menu shortcut exists" test -n "$(find "$drive" -name "$product.lnk" | head -n1)"
check "the installed vistal.exe is signed and chains to the vendor's CA" \
    bash "$codesign" verify "$install/vistal.exe" --ca ca.pem

# Started from elsewhere, as a shortcut or a file manager would: the VM library is found in
# the install, and the stand-in records the VM's creation (and refuses it: exit code 1).
mkdir -p run
(cd run && wine "$win_install\\vistal.exe"; echo $? >rc)
check "the installed launcher reaches the VM's creation" \
    bash -c "grep -qx 'loaded jvm.dll' run/jvm-standin.txt && grep -qx 'nOptions=4' run/jvm-standin.txt && test \$(cat run/rc) = 1"
check "and opened its data folder" test -f "$data/app.ver"

echo "downloaded application" >"$data/app.jar"
check "a newer MSI installs over it" wine msiexec /i 'Z:'"${work//\//\\}"'\new.msi' /qn
check "the newer release's files are in place" cmp -s newer-bl.jar "$install/lib/bl.jar"
check "the application in the data folder is untouched" grep -qx "downloaded application" "$data/app.jar"
check "one product is registered, not two" test "$(registered)" = 1
refused() { ! wine msiexec /i "$1" /qn; }
check "an older MSI refuses to install over a newer one" refused 'Z:'"${work//\//\\}"'\old.msi'
check "msiexec /x removes it" wine msiexec /x 'Z:'"${work//\//\\}"'\new.msi' /qn
check "the install directory is gone" test ! -e "$install"
check "the shortcut is gone" test -z "$(find "$drive" -name "$product.lnk" | head -n1)"
check "the data folder and its application stay" grep -qx "downloaded application" "$data/app.jar"
check "nothing is registered any more" test "$(registered)" = 0

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
