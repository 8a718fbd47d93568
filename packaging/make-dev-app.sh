#!/usr/bin/env bash
# The application a development package carries when the vendor names no jars of its own: the
# demo application (demo/), as release VERSION, signed with the build tree's development key.
#
#   make-dev-app.sh KEYSTORE OUT_DIR VERSION      writes OUT_DIR/bl.jar and OUT_DIR/include.jar
#
# With KEYSTORE "-" the jars stay unsigned (for a vendor's own signing step).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
jdk=${VISTAL_JDK_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}
keystore=$1 out=$2 version=$3
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-dev-app.XXXXXX")
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/include" "$work/app/src/a/b/a/a"
"$jdk/bin/javac" --release 11 -nowarn -d "$work/include" "$root/demo/include/demo/Report.java"
printf 'package a.b.a.a;\nclass Release {\n    static final String VERSION = "%s";\n}\n' "$version" \
    >"$work/app/src/a/b/a/a/Release.java"
"$jdk/bin/javac" --release 11 -nowarn -cp "$work/include" -d "$work/app/classes" \
    "$root/demo/app/a/b/a/a/a.java" "$work/app/src/a/b/a/a/Release.java"
"$jdk/bin/jar" --create --file "$work/include.jar" -C "$work/include" .
"$jdk/bin/jar" --create --file "$work/bl.jar" -C "$work/app/classes" .
if [ "$keystore" != - ]; then
    VISTAL_STOREPASS=${VISTAL_STOREPASS:-vistal-dev} \
        bash "$root/tools/vistal-sign.sh" sign "$keystore" "$work/bl.jar" "$work/include.jar" >/dev/null
fi
mv -f "$work/bl.jar" "$work/include.jar" "$out/"
