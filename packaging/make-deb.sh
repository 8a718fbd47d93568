#!/usr/bin/env bash
# Builds the Debian package: the launcher and its files under /opt/PACKAGE, the Java runtime
# (a link to Debian's, or the vendor's runtime folder copied in), the command PACKAGE, a desktop
# entry and icons,
# and maintainer scripts that make the shared data directory and take it on purge.
#
#   make-deb.sh CONFIG [NAME=VALUE ...]
#
# CONFIG holds NAME=VALUE lines (the build writes packaging/deb.conf); arguments override them.
# Names: output package version maintainer product manufacturer group launcher fallback_jar
# include_jar splash icon_svg data_dir system_runtime runtime_dir (empty: link to system_runtime).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
die() { echo "make-deb: $*" >&2; exit 1; }
source "$here/package-config.sh"
read_config "make-deb.sh CONFIG [NAME=VALUE ...]" "$@"
for name in output package version maintainer product manufacturer group data_dir system_runtime; do
    [ -n "$(get $name)" ] || die "$name is not set"
done
for name in launcher fallback_jar include_jar splash icon_svg; do
    [ -f "$(get $name)" ] || die "$name: '$(get $name)' does not exist"
done
[[ $(get package) =~ ^[a-z0-9][a-z0-9.+-]+$ ]] || die "'$(get package)' is not a Debian package name"
[[ $(get data_dir) == /* ]] || die "data_dir '$(get data_dir)' is not absolute"

work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
pkg=$(get package)
install_dir=/opt/$pkg
tree=$work/tree
opt=$tree$install_dir

install -d "$opt/lib" "$opt/img" "$tree/DEBIAN" "$tree/usr/share/applications" \
    "$tree/usr/share/icons/hicolor/scalable/apps"
strip --strip-unneeded -o "$opt/vistal" "$(get launcher)"
chmod 755 "$opt/vistal"
# The command on PATH starts the launcher in its install directory, as the desktop entry does.
install -d "$tree/usr/bin"
printf '#!/bin/sh\ncd %s || exit 1\nexec ./vistal "$@"\n' "$install_dir" >"$tree/usr/bin/$pkg"
chmod 755 "$tree/usr/bin/$pkg"
install -m 644 "$(get fallback_jar)" "$opt/lib/bl.jar"
install -m 644 "$(get include_jar)" "$opt/lib/include.jar"
install -m 644 "$(get splash)" "$opt/img/splash.png"
install -m 644 "$(get icon_svg)" "$tree/usr/share/icons/hicolor/scalable/apps/$pkg.svg"
for size in 48 256; do
    install -d "$tree/usr/share/icons/hicolor/${size}x$size/apps"
    rsvg-convert -w $size -h $size -f png -o "$tree/usr/share/icons/hicolor/${size}x$size/apps/$pkg.png" \
        "$(get icon_svg)"
done

depends="libc6 (>= 2.34), libstdc++6, libgcc-s1, libcurl4, acl, passwd"
runtime=$(get runtime_dir)
if [ -n "$runtime" ]; then
    [ -f "$runtime/lib/server/libjvm.so" ] || die "runtime_dir '$runtime' holds no lib/server/libjvm.so"
    cp -a "$runtime/." "$opt/jre"
else
    ln -s "$(get system_runtime)" "$opt/jre"
    depends="$depends, openjdk-17-jre"
fi

subst() { # template -> stdout
    local text
    text=$(<"$1")
    text=${text//@PACKAGE@/$pkg}
    text=${text//@VERSION@/$(get version)}
    text=${text//@MAINTAINER@/$(get maintainer)}
    text=${text//@PRODUCT@/$(get product)}
    text=${text//@MANUFACTURER@/$(get manufacturer)}
    text=${text//@GROUP@/$(get group)}
    text=${text//@DATA_DIR@/$(get data_dir)}
    text=${text//@INSTALL_DIR@/$install_dir}
    text=${text//@DEPENDS@/$depends}
    text=${text//@INSTALLED_SIZE@/$(du -sk --exclude=DEBIAN "$tree" | cut -f1)}
    printf '%s\n' "$text"
}
subst "$here/debian/vistal.desktop.in" >"$tree/usr/share/applications/$pkg.desktop"
subst "$here/debian/control.in" >"$tree/DEBIAN/control"
for script in postinst postrm; do
    subst "$here/debian/$script.in" >"$tree/DEBIAN/$script"
    chmod 755 "$tree/DEBIAN/$script"
done
(cd "$tree" && find . -path ./DEBIAN -prune -o -type f -printf '%P\n' | sort | xargs -d '\n' md5sum) \
    >"$tree/DEBIAN/md5sums"

mkdir -p "$(dirname "$(get output)")"
dpkg-deb --root-owner-group -Zxz --build "$tree" "$work/package.deb" >/dev/null
mv -f "$work/package.deb" "$(get output)"
echo "built $(get output)"
