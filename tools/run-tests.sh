#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs all tests. This is the project's one
# test command; CI runs exactly this.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash tools/install-deps.sh

jobs=$(nproc)
status=0

run_preset() {
    local preset=$1
    echo "=== $preset: configure and build"
    cmake --preset "$preset" >"build/configure-$preset.log" 2>&1 || { cat "build/configure-$preset.log"; return 1; }
    cmake --build --preset "$preset" -j "$jobs" || return 1
    echo "=== $preset: tests"
    ctest --preset "$preset" -j "$jobs" --timeout 600 || return 1
}

mkdir -p build
export VISTAL_WINEPREFIX="$root/build/wineprefix"
for preset in linux windows; do
    run_preset "$preset" || status=1
done

echo "=== demo"
bash tools/demo.sh || status=1

echo "=== fuzz smoke"
bash tools/fuzz-smoke.sh 30 || status=1

exit $status
