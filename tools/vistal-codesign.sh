#!/usr/bin/env bash
# Authenticode signatures for the Windows files a vendor ships: vistal.exe and the MSI.
#
#   vistal-codesign.sh sign IN OUT (--cert CERT.pem --key KEY.pem [--pass-file FILE]
#                                   | --pkcs12 P12 --pass-file FILE)
#                               [--timestamp URL] [--description TEXT] [--url URL]
#   vistal-codesign.sh verify FILE --ca CA.pem [--tsa-ca CA.pem]
#
# sign: SHA-256 signature with the vendor's code-signing certificate (a PEM file may carry the
# intermediate certificates after the vendor's own; a PKCS#12 file carries them inside). Before
# anything is signed the certificate must be valid today, carry the code-signing usage and
# belong to the key; a wrong password is named as such. With --timestamp the signature gets an
# RFC 3161 time stamp from that server, so it stays valid after the certificate expires; when
# the server cannot be reached nothing is written. OUT appears only whole and checked, and may
# be IN itself. An MSI (a compound document) is recognised and signed with its extended
# signature stream.
# verify: exit 0 only for an intact signature whose certificate chains to CA.pem; 1 otherwise.
set -euo pipefail

me=$(basename "$0")
die() { echo "$me: $*" >&2; exit 1; }
usage() {
    sed -n '4,8p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}
command -v osslsigncode >/dev/null || die "osslsigncode is not installed (apt-get install osslsigncode)"

work=$(mktemp -d "${TMPDIR:-/tmp}/vistal-codesign.XXXXXX")
chmod 700 "$work"
trap 'rm -rf "$work"' EXIT

is_msi() { [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = d0cf11e0a1b11ae1 ]; }
is_pe() { [ "$(head -c 2 "$1")" = MZ ]; }

# The certificate's validity and usage: the same reasons Windows would give to refuse it,
# found before a signature is made rather than on a customer's machine.
check_certificate() { # leaf.pem
    local leaf=$1 subject not_before
    subject=$(openssl x509 -in "$leaf" -noout -subject -nameopt oneline | sed 's/^subject= *//')
    openssl x509 -in "$leaf" -noout -checkend 0 >/dev/null ||
        die "the certificate '$subject' has expired ($(openssl x509 -in "$leaf" -noout -enddate | cut -d= -f2))"
    not_before=$(openssl x509 -in "$leaf" -noout -startdate | cut -d= -f2)
    [ "$(date -d "$not_before" +%s)" -le "$(date +%s)" ] ||
        die "the certificate '$subject' is not valid before $not_before"
    openssl x509 -in "$leaf" -noout -ext extendedKeyUsage 2>/dev/null | grep -q 'Code Signing' ||
        die "the certificate '$subject' is not for code signing (its extended key usage lacks codeSigning)"
}

# True when the signature in FILE is intact: every digest it holds (of a PE image, or of an
# MSI's streams and metadata) is the digest osslsigncode calculates from the file.
digest_intact() { # file ca-file
    local out
    out=$(osslsigncode verify -in "$1" -CAfile "$2" 2>&1 || true)
    grep -q '^Calculated ' <<<"$out" && ! grep -q 'MISMATCH' <<<"$out"
}

sign() {
    [ $# -ge 2 ] || usage
    local in=$1 out=$2 cert="" key="" p12="" pass_file="" timestamp="" description="" url=""
    shift 2
    while [ $# -gt 0 ]; do
        [ $# -ge 2 ] || usage
        case $1 in
            --cert) cert=$2 ;;
            --key) key=$2 ;;
            --pkcs12) p12=$2 ;;
            --pass-file) pass_file=$2 ;;
            --timestamp) timestamp=$2 ;;
            --description) description=$2 ;;
            --url) url=$2 ;;
            *) usage ;;
        esac
        shift 2
    done
    [ -f "$in" ] || die "'$in' does not exist"
    is_pe "$in" || is_msi "$in" || die "'$in' is neither a Windows executable nor an MSI"
    [ -z "$pass_file" ] || [ -r "$pass_file" ] || die "cannot read the password file '$pass_file'"

    local leaf=$work/leaf.pem chain=$work/chain.pem err=$work/openssl.err
    local -a credentials
    if [ -n "$p12" ]; then
        [ -z "$cert$key" ] || die "give either --pkcs12 or --cert and --key"
        [ -n "$pass_file" ] || die "--pkcs12 needs --pass-file"
        [ -f "$p12" ] || die "'$p12' does not exist"
        if ! openssl pkcs12 -in "$p12" -passin "file:$pass_file" -nokeys -out "$chain" 2>"$err" &&
            ! openssl pkcs12 -legacy -in "$p12" -passin "file:$pass_file" -nokeys -out "$chain" 2>>"$err"; then
            grep -qi 'mac verify' "$err" && die "wrong password for '$p12'"
            die "'$p12' is not a readable PKCS#12 file: $(head -n1 "$err")"
        fi
        openssl pkcs12 -in "$p12" -passin "file:$pass_file" -nokeys -clcerts -out "$leaf" 2>/dev/null ||
            openssl pkcs12 -legacy -in "$p12" -passin "file:$pass_file" -nokeys -clcerts -out "$leaf" 2>/dev/null
        openssl x509 -in "$leaf" -noout 2>/dev/null || die "'$p12' holds no certificate of its own"
        credentials=(-pkcs12 "$p12" -readpass "$pass_file")
    else
        [ -n "$cert" ] && [ -n "$key" ] || die "give --cert and --key, or --pkcs12 and --pass-file"
        [ -f "$cert" ] || die "'$cert' does not exist"
        [ -f "$key" ] || die "'$key' does not exist"
        openssl x509 -in "$cert" -out "$leaf" 2>/dev/null || die "'$cert' is not a PEM certificate"
        cp "$cert" "$chain"
        local -a key_pass=()
        [ -z "$pass_file" ] || key_pass=(-passin "file:$pass_file")
        openssl pkey -in "$key" "${key_pass[@]}" -pubout -out "$work/key.pub" 2>"$err" ||
            die "cannot read the key '$key' (wrong password, or none given for an encrypted key)"
        openssl x509 -in "$leaf" -noout -pubkey >"$work/cert.pub"
        cmp -s "$work/key.pub" "$work/cert.pub" || die "the key '$key' does not belong to the certificate '$cert'"
        credentials=(-certs "$cert" -key "$key")
        [ -z "$pass_file" ] || credentials+=(-readpass "$pass_file")
    fi
    check_certificate "$leaf"

    local -a options=(-h sha256)
    [ -z "$description" ] || options+=(-n "$description")
    [ -z "$url" ] || options+=(-i "$url")
    [ -z "$timestamp" ] || options+=(-ts "$timestamp")
    if is_msi "$in"; then options+=(-add-msi-dse); fi

    # osslsigncode refuses a file that is already signed only by appending to it; start from a
    # file without a signature so that re-signing replaces the old one.
    local source=$in
    if osslsigncode remove-signature -in "$in" -out "$work/unsigned" >/dev/null 2>&1; then
        source=$work/unsigned
    fi
    osslsigncode sign "${credentials[@]}" "${options[@]}" -in "$source" -out "$work/signed" \
        >"$work/sign.log" 2>&1 || {
        grep -v ":error:" "$work/sign.log" >&2
        [ -z "$timestamp" ] || die "signing failed; is the time-stamp server '$timestamp' reachable?"
        die "signing '$in' failed"
    }
    digest_intact "$work/signed" "$chain" || die "the signature just made in '$in' does not check"
    local tmp
    tmp=$(mktemp "$(dirname "$out")/.$(basename "$out").XXXXXX")
    cp "$work/signed" "$tmp"
    chmod --reference="$in" "$tmp" 2>/dev/null || chmod 644 "$tmp"
    mv -f "$tmp" "$out"
    echo "signed $out"
}

verify() {
    [ $# -ge 1 ] || usage
    local file=$1 ca="" tsa_ca=""
    shift
    while [ $# -gt 0 ]; do
        [ $# -ge 2 ] || usage
        case $1 in
            --ca) ca=$2 ;;
            --tsa-ca) tsa_ca=$2 ;;
            *) usage ;;
        esac
        shift 2
    done
    [ -n "$ca" ] || usage
    [ -f "$file" ] || die "'$file' does not exist"
    [ -f "$ca" ] || die "'$ca' does not exist"
    local -a options=(-CAfile "$ca")
    [ -z "$tsa_ca" ] || options+=(-TSA-CAfile "$tsa_ca")
    if osslsigncode verify -in "$file" "${options[@]}" >"$work/verify.log" 2>&1; then
        echo "$file: signature valid, chains to $(openssl x509 -in "$ca" -noout -subject -nameopt oneline | sed 's/^subject= *//')"
        return 0
    fi
    if grep -q 'No signature found' "$work/verify.log"; then
        echo "$file: not signed" >&2
    elif ! digest_intact "$file" "$ca"; then
        echo "$file: changed after it was signed" >&2
    else
        echo "$file: the signature does not chain to '$ca' or its certificate is not valid:" >&2
        grep -iE 'error|verify' "$work/verify.log" | head -n 3 >&2
    fi
    return 1
}

case ${1:-} in
    sign) shift; sign "$@" ;;
    verify) shift; verify "$@" ;;
    *) usage ;;
esac
