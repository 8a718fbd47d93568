#!/usr/bin/env bash
# Runs every benchmark at full size and collects the record lines (the table rows of
# docs/BENCHMARKS.md) at the end of the output.
#
#   bench/run-all.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR is a configured Linux build tree (default build/linux); RUNS the rounds of each
# figure (default 9). The benchmarks are built first; the large downloads and the growth
# benchmark's 50,000-class jar take most of the time (docs/BENCHMARKS.md). Run as root,
# the benchmarks run at nice -10, so that other work on a shared machine disturbs them less (both
# sides of every figure alike).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build/linux}" && pwd)
runs=${2:-9}
source "$here/../tools/jdk-home.sh"
log=$(mktemp "${TMPDIR:-/tmp}/vistal-bench.XXXXXX")
trap 'rm -f "$log"' EXIT

cmake --build "$build" -j2 --target vistal-startup-bench vistal-update-check-bench \
    vistal-update-refused-bench vistal-download-bench vistal-memory-bench vistal-fetch-bench \
    vistal-splash-bench vistal_svcl vistal_java_support

priority=()
[ "$(id -u)" -eq 0 ] && priority=(nice -n -10)

step() {
    echo "== $*"
    "${priority[@]}" "$@" | tee -a "$log"
}

step "$build/vistal-startup-bench" --runs "$runs"
step "$build/vistal-update-check-bench" --runs "$runs"
step "$build/vistal-update-refused-bench" --runs "$runs"
step "$build/vistal-splash-bench" --runs "$runs" # starts an Xvfb of its own
step "$build/vistal-download-bench" --mib 1,16,256 --runs "$runs"
step "$build/vistal-memory-bench" --mib 1,16,256 --runs 5
for mib in 16 256 1024; do
    step "$build/vistal-fetch-bench" --mib "$mib" --runs "$runs"
done
# The loader through the launcher's natives (as a launcher's start checks), then through the
# JDK's verifying reader (as outside the launcher).
cmake --build "$build" --target vistal_loader_natives_jni
natives=-Dvistal.loader.natives=$build/tests/security/libvistal_loader_natives_jni.so
for classes in 1000 10000 50000; do
    for mode in "$natives" -Dvistal.loader.natives.unset; do
        step "$jdk/bin/java" -cp "$build/classloader/classes:$build/tests/java-support" \
            -Dvistal.sign="$here/../tools/vistal-sign.sh" "$mode" "$here/classload_bench.java" \
            "$build/dev-signing/keystore.p12" "$build/bench/classload" --classes "$classes" \
            --runs "$runs"
    done
done

# Start time against the number of classes and the jar's size; writes docs/growth.svg. It sets
# its own priority for the timed part.
echo "== growth"
bash "$here/growth.sh" "$build" "$runs" | tee -a "$log"

echo
echo "== record lines"
grep '^|' "$log" || true
grep -E '^(median|ratio)' "$log" || true
