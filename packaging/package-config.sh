# Sourced by make-deb.sh and make-msi.sh, after each defines die: read_config reads a CONFIG file
# of NAME=VALUE lines and then NAME=VALUE arguments (the later wins) into the array c; get NAME
# prints a value (empty when unset), need NAME [WHY] stops unless it is set.
declare -A c=()
read_config() { # USAGE CONFIG [NAME=VALUE ...]
    local usage=$1 line kv
    shift
    [ $# -ge 1 ] && [ -f "$1" ] || die "usage: $usage"
    while IFS= read -r line || [ -n "$line" ]; do
        [[ $line == *=* ]] && c[${line%%=*}]=${line#*=}
    done <"$1"
    shift
    for kv in "$@"; do c[${kv%%=*}]=${kv#*=}; done
}
get() { echo "${c[$1]:-}"; }
need() { [ -n "${c[$1]:-}" ] || die "$1 is not set${2:+ ($2)}"; }
