#!/usr/bin/env bash
# The namespace-scope check of tools/check-layers.sh over a table of definitions: it lists exactly
# the lines marked "// found" (multi-line ones on the line where the definition starts).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cases="$root/tests/unit/support/namespace_objects_cases.cpp.in"

expected=$(grep -n '// found$' "$cases" | cut -d: -f1)
# A definition that spans lines is reported where it starts.
expected=$(for n in $expected; do
    line=$(sed -n "${n}p" "$cases")
    [[ $line =~ ^[[:space:]]*= ]] && n=$((n - 1))
    echo "$n"
done)
found=$(bash "$root/tools/check-layers.sh" --objects "$cases" | cut -d: -f2)

if [ "$found" != "$expected" ]; then
    echo "expected lines:" $expected
    echo "found lines:   " $found
    bash "$root/tools/check-layers.sh" --objects "$cases"
    exit 1
fi
echo "namespace objects: $(echo "$found" | wc -l) found as marked"
