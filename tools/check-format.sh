#!/usr/bin/env bash
# Checks that our C and C++ sources are formatted as .clang-format says
# (clang-format --dry-run -Werror); prints what it would change. Run clang-format -i on a file to
# format it.
set -euo pipefail
cd "$(dirname "$0")/.."

# Sources that branches in flight change; they are formatted when those land. Empty this list
# then.
later=(
    platform/platform.h
    platform/posix/platform_posix.cpp
    platform/win32/platform_win32.cpp
    tests/support/fake_platform.cpp
    tests/support/fake_platform.h
    tests/unit/data_dir_test.cpp
    tests/unit/startup_test.cpp
)

files=()
while IFS= read -r -d '' file; do
    [[ " ${later[*]} " == *" $file "* ]] || files+=("$file")
done < <(git ls-files -z -- '*.c' '*.cpp' '*.h')

clang-format --dry-run -Werror "${files[@]}"
echo "format: ${#files[@]} sources as .clang-format says"
