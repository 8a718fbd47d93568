#!/usr/bin/env bash
# Checks that our C and C++ sources are formatted as .clang-format says
# (clang-format --dry-run -Werror); prints what it would change. Run clang-format -i on a file to
# format it.
set -euo pipefail
cd "$(dirname "$0")/.."

files=()
while IFS= read -r -d '' file; do
    files+=("$file")
done < <(git ls-files -z -- '*.c' '*.cpp' '*.h')

clang-format --dry-run -Werror "${files[@]}"
echo "format: ${#files[@]} sources as .clang-format says"
