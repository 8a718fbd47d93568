#!/usr/bin/env bash
# Builds the asan preset (clang, AddressSanitizer and UndefinedBehaviorSanitizer) and runs every
# native test under it: unit, jvm, e2e and the fuzz corpus replays.
#
#   tools/run-asan-tests.sh [extra ctest arguments]
#
# Sanitizer reports of every instrumented process go to files under build/asan/sanitizer-logs,
# launchers that tests start included: a test that only looks at a launcher's exit code would
# not notice a report written to its standard error. Any report fails the run, even when every
# test passed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/asan
logs=$(pwd)/$build/sanitizer-logs

mkdir -p "$build"
echo "=== asan: configure and build"
cmake --preset asan >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build --preset asan -j "$(nproc)"

rm -rf "$logs"
mkdir -p "$logs"
# Added to each program's compiled-in defaults (the VM hosts keep theirs). The list of leak
# suppressions that matched is not a report and is not written. The path is quoted: the
# sanitizers split their options at spaces.
export ASAN_OPTIONS="log_path='$logs/report':log_exe_name=1:print_suppressions=0"
export UBSAN_OPTIONS="log_path='$logs/report':log_exe_name=1:print_stacktrace=1"

echo "=== asan: tests"
status=0
ctest --preset asan -j "$(nproc)" --timeout 600 "$@" || status=1

mapfile -d '' reports < <(find "$logs" -type f -print0 | sort -z)
if [ ${#reports[@]} -gt 0 ]; then
    echo "=== asan: sanitizer reports"
    for f in "${reports[@]}"; do
        echo "--- $f"
        head -n 60 "$f"
    done
    status=1
fi
exit $status
