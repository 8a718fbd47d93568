#!/usr/bin/env bash
# Builds the test launcher and the soak in a build tree of its own and runs the soak there.
#
#   tests/soak/run-soak.sh [soak options: --starts N --seed S --bound-ms MS --verbose]
#
# SOAK_BUILD names the build tree (default build/soak, RelWithDebInfo like the linux preset).
# The soak listens on ports of its own (18461, 18462): tests on the fixed ports may run meanwhile.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${SOAK_BUILD:-build/soak}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build.configure.log" 2>&1 ||
        { cat "$build.configure.log"; exit 1; }
fi
cmake --build "$build" --target vistal_soak
(cd "$build" && ctest -R '^pki$' >/dev/null) || { echo "soak: the test PKI could not be made"; exit 1; }
exec "$build/tests/soak/vistal_soak" "$@"
