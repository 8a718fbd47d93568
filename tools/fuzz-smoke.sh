#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# in build/fuzz and fuzzes each for a short while, starting from the committed corpus. New
# inputs go to build/fuzz/corpus, never into the source tree.
#
#   tools/fuzz-smoke.sh [seconds per target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=build/fuzz
targets="answer_scan app_ver fetch_headers curl_headers path_join archive_check jar_signature signed_manifest png_image"

mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; exit 1; }
cmake --build "$build" --target $(for t in $targets; do echo "vistal_fuzz_$t"; done)

for t in $targets; do
    echo "=== fuzz $t for ${seconds}s"
    mkdir -p "$build/corpus/$t"
    "$build/tests/fuzz/vistal_fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$build/corpus/$t" "tests/fuzz/corpus/$t"
done
