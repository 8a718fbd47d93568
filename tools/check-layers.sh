#!/usr/bin/env bash
# Checks that includes point only down the layers: a source in one room may include its own room
# and the rooms below it, nothing above or beside it. tests/, bench/, tools/ and the rest may
# include anything. Also checks that OS headers stay in the per-OS folders (win32/, posix/), and
# that no header of a room declares a mutable global.
#
#   tools/check-layers.sh [--report-only]
#
# Prints every include that breaks the order, as FILE:LINE: ROOM -> ROOM (the include). Exits 1
# when there is one, unless --report-only.
set -euo pipefail
cd "$(dirname "$0")/.."

report_only=false
[ "${1:-}" = --report-only ] && report_only=true

# What each room may include besides itself, bottom up.
declare -A allowed=(
    [config]=""
    [base]=""
    [classloader]=""
    [platform]="base"
    [net]="base"
    [splash]="platform base"
    [update]="net platform base config"
    [vmhost]="platform classloader base config"
    [launcher]="update vmhost splash platform base config"
    [entry]="launcher config"
)
# Headers of the OS and of libcurl, allowed only under win32/ and posix/.
os_headers='^(windows\.h|windef\.h|winbase\.h|wininet\.h|shlwapi\.h|shellapi\.h|shlobj\.h|dlfcn\.h|unistd\.h|fcntl\.h|semaphore\.h|sys/.*|curl/.*)$'

violations=0
while IFS= read -r -d '' file; do
    room=${file%%/*}
    [ -n "${allowed[$room]+set}" ] || continue
    line_no=0
    while IFS= read -r line; do
        line_no=$((line_no + 1))
        [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*([\"\<])([^\"\>]+)[\"\>] ]] || continue
        kind=${BASH_REMATCH[1]} target=${BASH_REMATCH[2]}
        if [ "$kind" = '<' ]; then
            if [[ $target =~ $os_headers ]] && [[ $file != */win32/* && $file != */posix/* ]]; then
                echo "$file:$line_no: OS header outside win32/ and posix/ (<$target>)"
                violations=$((violations + 1))
            fi
            continue
        fi
        [[ $target == */* ]] || continue # a header beside the file: its own room
        to=${target%%/*}
        [ -n "${allowed[$to]+set}" ] || continue
        [ "$to" = "$room" ] && continue
        if [[ " ${allowed[$room]} " != *" $to "* ]]; then
            echo "$file:$line_no: $room -> $to (\"$target\")"
            violations=$((violations + 1))
        fi
    done <"$file"
done < <(git ls-files -z -- '*.c' '*.cpp' '*.h')

# The OS is told apart by folder, never by the preprocessor.
while IFS= read -r hit; do
    echo "$hit: OS test outside win32/ and posix/"
    violations=$((violations + 1))
done < <(git ls-files -- '*.c' '*.cpp' '*.h' | grep -E "^($(IFS='|'; echo "${!allowed[*]}"))/" |
    grep -vE '/(win32|posix)/' | xargs -r grep -nE '^[[:space:]]*#[[:space:]]*if.*(_WIN32|__linux__)' || true)

# No mutable global declared in a header: state lives in objects or behind functions. A header
# may declare constants (extern const) and functions, nothing that can be written.
while IFS= read -r hit; do
    echo "$hit: mutable global declared in a header"
    violations=$((violations + 1))
done < <(git ls-files -- '*.h' | grep -E "^($(IFS='|'; echo "${!allowed[*]}"))/" |
    xargs -r grep -nE '^[[:space:]]*extern[[:space:]]+' | grep -vE 'extern[[:space:]]+(const[[:space:]]|"C")' || true)

if [ "$violations" -eq 0 ]; then
    echo "layers: every include points down"
    exit 0
fi
echo "layers: $violations includes break the order"
$report_only || exit 1
