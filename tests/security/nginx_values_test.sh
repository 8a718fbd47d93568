#!/usr/bin/env bash
# The update host's configuration takes the operator's values as they stand, or not at all: a
# value that would end a directive, open or close a block or start a comment is refused, and sed's
# own specials reach the configuration unchanged.
#   nginx_values_test.sh SOURCE_DIR
set -uo pipefail
render=$1/deploy/render-nginx-conf.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-nginx-values.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0
values=(--listen 127.0.0.1:8443 --cert /etc/c.pem --key /etc/k.pem --webroot /srv/w --rundir "$work/run")

for option in --listen --cert --key --webroot --rundir --server-name; do
    for bad in 'x;}server{listen 9' 'x{' 'x}' $'x\ninclude /etc/passwd' 'x #' 'x"' 'x y'; do
        if bash "$render" "${values[@]}" "$option" "$bad" >"$work/out" 2>/dev/null || [ -s "$work/out" ]; then
            echo "FAILED: $option $(printf %q "$bad") was taken"
            failed=1
        fi
    done
done

bash "$render" "${values[@]}" --webroot '/srv/a&b|c' >"$work/out" || failed=1
grep -qx '        root /srv/a&b|c;' "$work/out" || { echo "FAILED: & and | changed"; failed=1; }
exit $failed
