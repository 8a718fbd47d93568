#!/usr/bin/env bash
# Builds the signed application the start-up benchmarks start: the tests' application
# (tests/fixtures/app; the benchmarks run it with the behaviour test.Constructed) with filler.
#
#   startup_app.sh BUILD_DIR OUT_DIR [--filler N] [MIB ...]
#
# Signs with the build's development key (BUILD_DIR/dev-signing/keystore.p12), which every
# launcher built in BUILD_DIR trusts; the application's jars carry the version stamp 2.0.0, the
# version the benchmarks' update host answers. Writes to OUT_DIR:
#   bl.jar          the application's classes and N filler classes (default 2000, about the
#                   entry count of a modest application jar), signed
#   include.jar     the application's include jar, signed
#   unsigned/       bl.jar and include.jar as they were before signing (the baseline that pays
#                   for no signature)
#   app-<MIB>.jar   bl.jar's classes plus an incompressible stored entry, MIB MiB in all, signed
#                   (the application jar a first start downloads)
# Jars that are newer than their inputs are kept.
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
shift 2
filler=2000
sizes=()
while [ $# -gt 0 ]; do
    case $1 in
    --filler) filler=$2; shift 2 ;;
    *) sizes+=("$1"); shift ;;
    esac
done
here=$(cd "$(dirname "$0")" && pwd)
app=$here/../tests/fixtures/app
# Benchmarks run side by side (ctest -j) share OUT_DIR: one makes the jars, the others wait.
exec 9>"$out/.lock"
flock 9
tools=$(cd "$here/../tools" && pwd)
source "$tools/jdk-home.sh"
keystore=$build/dev-signing/keystore.p12

sign() { VISTAL_JDK_HOME=$jdk VISTAL_STOREPASS=vistal-dev "$tools/vistal-sign.sh" sign "$keystore" "$@" >/dev/null; }

# Up to date when newer than the script, the sources and the key, and made with this filler.
fresh() {
    [ -f "$1" ] && [ "$1" -nt "$0" ] && [ "$1" -nt "$keystore" ] || return 1
    [ -z "$(find "$app" -name '*.java' -newer "$1")" ] || return 1
    [ "$(cat "$out/filler" 2>/dev/null)" = "$filler" ]
}

work=$out/work
if ! fresh "$out/bl.jar" || ! fresh "$out/include.jar" || ! fresh "$out/unsigned/bl.jar"; then
    rm -rf "$work" "$out"/app-*.jar
    mkdir -p "$work/include" "$work/app" "$work/filler-src/z/f"
    for ((i = 0; i < filler; i++)); do
        printf 'package z.f;\npublic class F%d {\n    public static int v() { return %d; }\n}\n' \
            "$i" "$i" >"$work/filler-src/z/f/F$i.java"
    done
    "$jdk/bin/javac" --release 8 -nowarn -encoding UTF-8 -d "$work/include" \
        $(find "$app/include-src" -name '*.java')
    "$jdk/bin/javac" --release 8 -nowarn -encoding UTF-8 -cp "$work/include" -d "$work/app" \
        $(find "$app/src" -name '*.java')
    if [ "$filler" -gt 0 ]; then
        # Through an argument file: thousands of names exceed a command line.
        find "$work/filler-src" -name '*.java' >"$work/filler.list"
        "$jdk/bin/javac" --release 8 -nowarn -d "$work/app" @"$work/filler.list"
    fi
    "$jdk/bin/jar" --create --file "$work/include.jar" -C "$work/include" .
    "$jdk/bin/jar" --create --file "$work/bl.jar" -C "$work/app" .
    mkdir -p "$out/unsigned"
    cp "$work/include.jar" "$work/bl.jar" "$out/unsigned/"
    sign "$work/include.jar"
    sign "$work/bl.jar" --version 2.0.0
    mv "$work/include.jar" "$work/bl.jar" "$out/"
    echo "$filler" >"$out/filler"
    touch "$out/include.jar" "$out/bl.jar" "$out/unsigned/include.jar" "$out/unsigned/bl.jar"
fi

for mib in "${sizes[@]}"; do
    jar=$out/app-$mib.jar
    [ -f "$jar" ] && [ "$jar" -nt "$out/bl.jar" ] && continue
    rm -rf "$work" && mkdir -p "$work/app" "$work/pad/pad"
    (cd "$work/app" && "$jdk/bin/jar" --extract --file "$out/bl.jar" && rm -rf META-INF)
    "$jdk/bin/jar" --create --file "$work/app.jar" -C "$work/app" .
    # The classes cost what they cost in bl.jar; the padding's own manifest lines are small.
    pad=$((mib * 1048576 - $(stat -c %s "$out/bl.jar") - 200))
    [ "$pad" -gt 0 ] || pad=1
    head -c "$pad" /dev/urandom >"$work/pad/pad/data.bin"
    "$jdk/bin/jar" --update --no-compress --file "$work/app.jar" -C "$work/pad" .
    sign "$work/app.jar" --version 2.0.0
    mv "$work/app.jar" "$jar"
done
rm -rf "$work"
