#!/usr/bin/env bash
# A release build refuses the development signing key: without the vendor's certificate and key
# block, or with the build tree's own development certificate, the configure step stops; with the
# vendor's own values, or with the explicit opt-in, it goes through.
# Usage: release_signing_test.sh SOURCE_DIR WORK_DIR
set -euo pipefail
src=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

configure() { # build-dir extra-args...
    local dir=$1; shift
    cmake -S "$src" -B "$work/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVISTAL_BUILD_TESTS=OFF "$@" \
        >"$work/$dir.log" 2>&1
}
expect_refused() { # build-dir pattern extra-args...
    local dir=$1 pattern=$2; shift 2
    if configure "$dir" "$@"; then echo "FAIL: $dir configured"; exit 1; fi
    grep -q "$pattern" "$work/$dir.log" || { echo "FAIL: $dir: no '$pattern'"; cat "$work/$dir.log"; exit 1; }
}

expect_refused no-cert "needs VISTAL_SIGNER_CERT and VISTAL_KEY_BLOCK"

# The development key of a build tree, named explicitly.
configure dev -DVISTAL_ALLOW_DEV_SIGNING=ON || { cat "$work/dev.log"; exit 1; }
expect_refused dev-named "development certificate" \
    -DVISTAL_SIGNER_CERT="$work/dev/dev-signing/signer.pem" -DVISTAL_KEY_BLOCK="$work/dev/dev-signing/key-block.bin"
# The vendor's own certificate and key block.
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Vendor Signing" \
    -keyout "$work/vendor.key" -out "$work/vendor.pem" 2>/dev/null
head -c 600 /dev/urandom >"$work/vendor-key-block.bin"
configure vendor -DVISTAL_SIGNER_CERT="$work/vendor.pem" -DVISTAL_KEY_BLOCK="$work/vendor-key-block.bin" \
    || { echo "FAIL: vendor values refused"; cat "$work/vendor.log"; exit 1; }
echo "release signing: refused without vendor values and with the development key; vendor values accepted"
