#!/usr/bin/env bash
# Builds the Windows installer: wixl over vistal.wxs and the harvested Java runtime, the data
# folder's permissions added with msibuild, then (with a certificate) vistal.exe and the MSI
# signed by tools/vistal-codesign.sh.
#
#   make-msi.sh CONFIG [NAME=VALUE ...]
#
# CONFIG holds NAME=VALUE lines (the build writes packaging/msi.conf); arguments override them.
# Names: output version manufacturer product upgrade_code exe fallback_jar include_jar splash
# runtime_dir c_runtime icon data_company data_product data_version and, to sign, either cert and
# key or pkcs12, with pass_file and timestamp. c_runtime, when set, is the msvcr100.dll installed
# as jre\bin\msvcr100.dll in place of the runtime folder's own.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
die() { echo "make-msi: $*" >&2; exit 1; }
source "$here/package-config.sh"
read_config "make-msi.sh CONFIG [NAME=VALUE ...]" "$@"

need output
need version
need manufacturer
need product
need upgrade_code
for f in exe fallback_jar include_jar splash icon; do
    need $f
    [ -f "${c[$f]}" ] || die "$f: '${c[$f]}' does not exist"
done
need runtime_dir "set VISTAL_RUNTIME_DIR to the folder of the Java runtime to ship"
[ -f "${c[runtime_dir]}/bin/server/jvm.dll" ] ||
    die "runtime_dir: '${c[runtime_dir]}' holds no bin/server/jvm.dll"
# The launcher loads the C runtime before the VM and gives up without it; only older runtimes
# carry it, so a vendor may bring it from elsewhere.
if [ -n "$(get c_runtime)" ]; then
    [ -f "${c[c_runtime]}" ] || die "c_runtime: '${c[c_runtime]}' does not exist"
elif [ ! -f "${c[runtime_dir]}/bin/msvcr100.dll" ]; then
    die "runtime_dir: '${c[runtime_dir]}' holds no bin/msvcr100.dll (set VISTAL_C_RUNTIME to ship one from elsewhere)"
fi
[[ ${c[version]} =~ ^[0-9]{1,3}\.[0-9]{1,3}\.[0-9]{1,5}$ ]] ||
    die "version '${c[version]}' is not major.minor.build (an MSI compares only these three)"

work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-msi.XXXXXX")
trap 'rm -rf "$work"' EXIT

sign_options=()
if [ -n "$(get pkcs12)" ]; then
    sign_options=(--pkcs12 "$(get pkcs12)" --pass-file "$(get pass_file)")
elif [ -n "$(get cert)" ]; then
    sign_options=(--cert "$(get cert)" --key "$(get key)")
    [ -z "$(get pass_file)" ] || sign_options+=(--pass-file "$(get pass_file)")
fi
if [ ${#sign_options[@]} -gt 0 ]; then
    [ -z "$(get timestamp)" ] || sign_options+=(--timestamp "$(get timestamp)")
    sign_options+=(--description "$(get product)")
fi

# The launcher goes in signed: Windows shows the publisher for the program, not only for its
# installer.
exe=$work/vistal.exe
cp "$(get exe)" "$exe"
if [ ${#sign_options[@]} -gt 0 ]; then
    bash "$root/tools/vistal-codesign.sh" sign "$exe" "$exe" "${sign_options[@]}" >/dev/null
fi

# wixl finds sources only by paths relative to the directory it runs in: everything is staged
# under the work folder first, the runtime folder as one component per file under INSTALLDIR\jre.
mkdir -p "$work/files"
cp "$(get fallback_jar)" "$work/files/bl.jar"
cp "$(get include_jar)" "$work/files/include.jar"
cp "$(get splash)" "$work/files/splash.png"
cp "$(get icon)" "$work/files/vistal.ico"
mv "$exe" "$work/files/vistal.exe"
cp -r "$(get runtime_dir)/." "$work/files/jre"
[ -z "$(get c_runtime)" ] || cp "$(get c_runtime)" "$work/files/jre/bin/msvcr100.dll"
(cd "$work/files/jre" && find . -type f | sed 's|^\./|files/jre/|' | sort) |
    wixl-heat -p files/jre/ --var var.RuntimeDir --directory-ref RUNTIMEDIR \
        --component-group Runtime --win64 >"$work/runtime.wxs"
# Files at the top of the runtime folder come out in a directory named ".": they belong in jre.
python3 - "$work/runtime.wxs" <<'PY'
import sys
import xml.etree.ElementTree as ET

ns = "http://schemas.microsoft.com/wix/2006/wi"
ET.register_namespace("", ns)
tree = ET.parse(sys.argv[1])
for parent in tree.iter():
    for child in list(parent):
        if child.tag == "{%s}Directory" % ns and child.get("Name") == ".":
            at = list(parent).index(child)
            parent.remove(child)
            for i, grandchild in enumerate(child):
                parent.insert(at + i, grandchild)
tree.write(sys.argv[1], encoding="utf-8", xml_declaration=True)
PY
cp "$here/vistal.wxs" "$work/vistal.wxs"

# One fixed component code for the data folder per upgrade code, so that every version refers
# to the same folder.
data_guid=$(printf '%s' "$(get upgrade_code)/data-folder" | sha1sum |
    sed -E 's/^(.{8})(.{4}).(.{3}).(.{3})(.{12}).*/\1-\2-5\3-8\4-\5/' | tr a-f A-F)

(cd "$work" && wixl -a x64 -o package.msi \
    -D Win64=yes -D "ProductName=$(get product)" -D "Manufacturer=$(get manufacturer)" \
    -D "Version=$(get version)" -D "UpgradeCode=$(get upgrade_code)" \
    -D LauncherExe=files/vistal.exe -D FallbackJar=files/bl.jar -D IncludeJar=files/include.jar \
    -D SplashImage=files/splash.png -D IconFile=files/vistal.ico -D RuntimeDir=files/jre \
    -D "DataCompany=$(get data_company)" -D "DataProduct=$(get data_product)" \
    -D "DataVersion=$(get data_version)" -D "DataFolderGuid={$data_guid}" \
    vistal.wxs runtime.wxs)

# wixl has no Permission or PermissionEx elements: the data folder's access list is a
# MsiLockPermissionsEx row of its own, whose SDDL says all of it. Built-in Users may modify
# (0x1301bf: read, write, delete, no change of permissions or owner), so every user's launcher can
# replace app.jar there; SYSTEM and Administrators keep full control. The entries are inherited by
# the files the launchers create. Whoever creates a file owns it, and an owner may change its
# permissions unless an OWNER RIGHTS (OW) entry says what the owner may do: here the same modify
# rights, so the user who made app.jar, app.ver or app.lock cannot shut the others out. The
# access list is protected (P): nothing inherited from the common application-data folder above
# (where the creator of a folder gets full control of it) is added to it.
{
    printf 'MsiLockPermissionsEx\tLockObject\tTable\tSDDL\tCondition\r\n'
    printf 's72\ts72\ts32\ts0\tS255\r\n'
    printf 'MsiLockPermissionsEx\tMsiLockPermissionsEx\r\n'
    printf 'DataFolderAccess\tDATADIR\tCreateFolder\t%s\t\r\n' \
        'D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)(A;OICI;0x1301bf;;;OW)'
} >"$work/MsiLockPermissionsEx.idt"
msibuild "$work/package.msi" -i "$work/MsiLockPermissionsEx.idt"
# Nor has it Permanent components: the data folder's is marked by hand (msidbComponentAttributes-
# Permanent, 16), so that neither an uninstall nor the removal of an older version during an
# upgrade takes the folder and the application it holds.
msiinfo export "$work/package.msi" Component >"$work/Component.idt"
awk -F '\t' 'BEGIN { OFS = "\t" } $1 == "DataFolder" && int($4 / 16) % 2 == 0 { $4 += 16 } { print }' \
    "$work/Component.idt" >"$work/Component.new" && mv "$work/Component.new" "$work/Component.idt"
msibuild "$work/package.msi" -i "$work/Component.idt"

if [ ${#sign_options[@]} -gt 0 ]; then
    bash "$root/tools/vistal-codesign.sh" sign "$work/package.msi" "$work/package.msi" "${sign_options[@]}" >/dev/null
fi
mkdir -p "$(dirname "$(get output)")"
mv -f "$work/package.msi" "$(get output)"
echo "built $(get output)"
