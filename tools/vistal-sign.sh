#!/usr/bin/env bash
# Signing tool for application jars, over keytool and jarsigner (SHA-256, jarsigner's defaults).
#
#   vistal-sign.sh keygen KEYSTORE [ALIAS] [DNAME]   make a signing key and self-signed certificate
#   vistal-sign.sh cert KEYSTORE OUT.pem [ALIAS]     export the certificate (for VISTAL_SIGNER_CERT)
#   vistal-sign.sh digest CERT                       SHA-1 of the certificate's DER encoding (hex)
#   vistal-sign.sh sign KEYSTORE JAR... [--alias A] [--version V] [-- JARSIGNER-OPTION...]
#                                                    sign jars in place; --version stamps V as the
#                                                    manifest's Implementation-Version first
#                                                    (the release's version exactly as published)
#   vistal-sign.sh verify CERT JAR... [--version V]  check jars with the launcher's rule; with
#                                                    --version, as the application's release V
#
# The keystore password comes from VISTAL_STOREPASS (default "vistal-dev", the development key's).
set -euo pipefail
pass=${VISTAL_STOREPASS:-vistal-dev}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/jdk-home.sh"

der_of() { # certificate (PEM or DER) -> DER on stdout
    openssl x509 -in "$1" -outform DER 2>/dev/null || openssl x509 -inform DER -in "$1" -outform DER
}

cmd=${1:-}; shift || true
case "$cmd" in
    keygen)
        ks=$1 alias=${2:-vistal} dname=${3:-"CN=Vistal Application Signer"}
        "$jdk/bin/keytool" -genkeypair -alias "$alias" -keyalg RSA -keysize 3072 -validity 3650 \
            -dname "$dname" -storetype PKCS12 -keystore "$ks" -storepass "$pass" ;;
    cert)
        "$jdk/bin/keytool" -exportcert -rfc -alias "${3:-vistal}" -keystore "$1" -storepass "$pass" -file "$2" ;;
    digest)
        der_of "$1" | openssl dgst -sha1 -r | cut -d' ' -f1 ;;
    sign)
        ks=$1; shift
        alias=vistal jars=() options=() version=
        while [ $# -gt 0 ]; do
            case $1 in
                --alias) alias=$2; shift 2 ;;
                --version) version=$2; shift 2 ;;
                --) shift; options=("$@"); break ;;
                *) jars+=("$1"); shift ;;
            esac
        done
        if [ -n "$version" ] &&
            ! [[ "$version" =~ ^[0-9]{1,9}\.[0-9]{1,9}\.[0-9]{1,9}(-rc[0-9]{1,9})?(\.b[0-9]{1,9})?$ ]]; then
            echo "sign: '$version' is not a version (major.minor.patch[-rcN][.bN])" >&2
            exit 2
        fi
        for jar in "${jars[@]}"; do
            if [ -n "$version" ]; then
                stamp=$(mktemp)
                printf 'Implementation-Version: %s\n' "$version" >"$stamp"
                "$jdk/bin/jar" --update --file "$jar" --manifest "$stamp" 2>/dev/null
                rm -f "$stamp"
            fi
            "$jdk/bin/jarsigner" -keystore "$ks" -storepass "$pass" "${options[@]}" "$jar" "$alias" >/dev/null
            echo "signed $jar"
        done ;;
    verify)
        digest=$(der_of "$1" | openssl dgst -sha1 -r | cut -d' ' -f1); shift
        jars=() release=()
        while [ $# -gt 0 ]; do
            case $1 in
                --version) release=("$2"); shift 2 ;;
                *) jars+=("$1"); shift ;;
            esac
        done
        status=0
        for jar in "${jars[@]}"; do
            "$jdk/bin/java" "$here/VerifyJar.java" "$jar" "$digest" "${release[@]}" || status=1
        done
        exit $status ;;
    *)
        sed -n '2,14p' "$0" >&2; exit 2 ;;
esac
