#!/usr/bin/env bash
# The application a development package carries when the vendor names no jars of its own: the
# shared test application (tests/fixtures/app) with its demo behaviour as a signed entry of the
# jar, as release VERSION, signed with the build tree's development key.
#
#   make-dev-app.sh KEYSTORE OUT_DIR VERSION      writes OUT_DIR/bl.jar and OUT_DIR/include.jar
#
# With KEYSTORE "-" the jars stay unsigned (for a vendor's own signing step).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
source "$root/tools/jdk-home.sh"
keystore=$1 out=$2 version=$3
app=$root/tests/fixtures/app
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-dev-app.XXXXXX")
trap 'rm -rf "$work"' EXIT

sources() { find "$1" -name '*.java' | sort; }
mkdir -p "$work/include" "$work/classes/test" "$work/src/test"
printf 'package test;\npublic class Release {\n    public static final String VERSION = "%s";\n}\n' "$version" \
    >"$work/src/test/Release.java"
"$jdk/bin/javac" --release 8 -nowarn -encoding UTF-8 -d "$work/include" $(sources "$app/include-src")
"$jdk/bin/javac" --release 8 -nowarn -encoding UTF-8 -cp "$work/include" -d "$work/classes" \
    $(sources "$app/src") "$work/src/test/Release.java"
echo test.Demo >"$work/classes/behaviour"
"$jdk/bin/jar" --create --file "$work/include.jar" -C "$work/include" .
"$jdk/bin/jar" --create --file "$work/bl.jar" -C "$work/classes" .
if [ "$keystore" != - ]; then
    VISTAL_STOREPASS=${VISTAL_STOREPASS:-vistal-dev} \
        bash "$root/tools/vistal-sign.sh" sign "$keystore" "$work/bl.jar" "$work/include.jar" >/dev/null
fi
mv -f "$work/bl.jar" "$work/include.jar" "$out/"
