#!/usr/bin/env bash
# Writes an nginx configuration for one update host from deploy/nginx.conf.in.
#   render-nginx-conf.sh --listen 127.0.0.1:8443 --cert chain.pem --key key.pem \
#                        --webroot /srv/vistal --rundir /run/vistal-update [--server-name NAME] > nginx.conf
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
listen="" cert="" key="" webroot="" rundir="" server_name="_"
while [ $# -gt 0 ]; do
    case "$1" in
        --listen) listen=$2; shift 2 ;;
        --cert) cert=$2; shift 2 ;;
        --key) key=$2; shift 2 ;;
        --webroot) webroot=$2; shift 2 ;;
        --rundir) rundir=$2; shift 2 ;;
        --server-name) server_name=$2; shift 2 ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
for v in listen cert key webroot rundir; do
    [ -n "${!v}" ] || { echo "--$v is required" >&2; exit 2; }
done
# Each value stands unquoted in a directive: one that could end it, open or close a block, start
# a comment or a quoted string, or split into more arguments would change the configuration
# beyond that value. Such values are refused, not escaped.
for v in listen cert key webroot rundir server_name; do
    case "${!v}" in
        *[\;\{\}\#\"\'\\[:space:][:cntrl:]]*)
            echo "--${v//_/-} must not hold ; { } # quotes, backslashes, spaces or control characters" >&2
            exit 2 ;;
    esac
done
# The sed replacement's own specials (& and the | delimiter) stand for themselves.
sed_value() { local value=${1//&/\\&}; printf '%s' "${value//|/\\|}"; }
mkdir -p "$rundir"
sed -e "s|@LISTEN@|$(sed_value "$listen")|g" -e "s|@CERT@|$(sed_value "$cert")|g" \
    -e "s|@KEY@|$(sed_value "$key")|g" -e "s|@WEBROOT@|$(sed_value "$webroot")|g" \
    -e "s|@RUNDIR@|$(sed_value "$rundir")|g" -e "s|@SERVER_NAME@|$(sed_value "$server_name")|g" \
    "$here/nginx.conf.in"
