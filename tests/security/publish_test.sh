#!/usr/bin/env bash
# The publishing step refuses what launchers would refuse, and then changes nothing: a jar signed by
# another key, a version stamp that is not the version published, release candidate 0.
#   publish_test.sh SOURCE_DIR APP_DIR SIGNER_CERT JDK
set -uo pipefail
src=$1 app=$2 cert=$3
export VISTAL_JDK_HOME=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-publish.XXXXXX")
trap 'rm -rf "$work"' EXIT
publish() { bash "$src/deploy/publish.sh" --signer "$cert" "$work/webroot" "$@" >"$work/out" 2>&1; }
state() { (cd "$work/webroot" && find . -type f -exec sha1sum {} + | sort); }
failed=0

# The test application is stamped 2.0.0.
publish 2.0.0 "$app/app.jar" || { echo "FAILED: a sound release refused"; cat "$work/out"; exit 1; }
before=$(state)
while IFS='|' read -r what version jar; do
    publish "$version" "$app/$jar"
    status=$?
    if [ "$status" -ne 1 ] || [ "$(state)" != "$before" ]; then
        echo "FAILED: $what: exit $status"; cat "$work/out"; failed=1
    else
        echo "ok: $what refused"
    fi
done <<'CASES'
signed by another key|2.1.0|app-other-key.jar
not signed|2.1.0|app-unsigned.jar
stamp 2.0.0 published as 2.1.0|2.1.0|app.jar
stamp 2.0.0 published as 2.0.0.b2|2.0.0.b2|app.jar
no main class|2.0.0|app-without-main.jar
release candidate 0|2.0.0-rc0.b1|app.jar
CASES
exit $failed
