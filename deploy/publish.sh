#!/usr/bin/env bash
# Publishes a signed application jar as the current release of an update host's web root.
#
#   publish.sh --signer CERT WEBROOT VERSION JAR
#
# VERSION is major.minor.patch, optionally followed by -rcN and .bN (e.g. 2.1.0, 2.1.0.b7,
# 2.2.0-rc1.b3); not -rc0, which launchers already installed record as the final release. Before
# anything is written, the jar is checked as launchers will check it (tools/vistal-sign.sh verify):
# its classes, the main class among them, signed by CERT (the launchers' VISTAL_SIGNER_CERT), and
# its signed version stamp exactly VERSION. A jar that fails is refused with exit status 1: every
# client would download it and throw it away. The jar goes in place first, at a path of its own that never changes; only then
# is the version line switched, in one rename. A client that reads the old line downloads the
# old jar, which stays where it was; a client that reads the new line finds the new jar complete.
set -euo pipefail
usage() { echo "usage: $0 --signer CERT WEBROOT VERSION JAR" >&2; exit 2; }
[ $# -eq 5 ] && [ "$1" = --signer ] || usage
signer=$2 webroot=$3 version=$4 jar=$5
here=$(cd "$(dirname "$0")" && pwd)

if ! [[ "$version" =~ ^[0-9]{1,9}\.[0-9]{1,9}\.[0-9]{1,9}(-rc[0-9]{1,9})?(\.b[0-9]{1,9})?$ ]]; then
    echo "publish: '$version' is not a version (major.minor.patch[-rcN][.bN])" >&2
    exit 2
fi
[ -s "$jar" ] || { echo "publish: '$jar' is missing or empty" >&2; exit 2; }
[ -s "$signer" ] || { echo "publish: signer certificate '$signer' is missing or empty" >&2; exit 2; }
if [[ "$version" =~ -rc0+(\.|$) ]]; then
    echo "publish: '$version' is release candidate 0, which launchers record as the final release" >&2
    exit 1
fi
if ! report=$(bash "$here/../tools/vistal-sign.sh" verify "$signer" "$jar" --version "$version" 2>&1); then
    printf '%s\n' "$report" >&2
    echo "publish: '$jar' is not release $version signed by '$signer'; launchers would refuse it" >&2
    exit 1
fi
# The launcher reads the build number from the first 'b' and the release candidate from the first
# '-' of the whole line, path included, so the path must not carry either of its own.
path="/releases/$version/app.jar"

release_dir="$webroot/releases/$version"
mkdir -p "$release_dir"
if [ -e "$release_dir/app.jar" ] && ! cmp -s "$jar" "$release_dir/app.jar"; then
    echo "publish: $version is already published with other content; publish a higher version" >&2
    exit 1
fi
tmp_jar=$(mktemp "$release_dir/.app.jar.XXXXXX")
cp "$jar" "$tmp_jar"
chmod 0644 "$tmp_jar"
sync "$tmp_jar" 2>/dev/null || sync
mv -f "$tmp_jar" "$release_dir/app.jar"

tmp_line=$(mktemp "$webroot/.version.txt.XXXXXX")
printf '%s;%s\n' "$version" "$path" > "$tmp_line"
chmod 0644 "$tmp_line"
sync "$tmp_line" 2>/dev/null || sync
mv -f "$tmp_line" "$webroot/version.txt"
echo "published $version at $path"
