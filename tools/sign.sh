#!/bin/sh
# Signs setup.exe with Authenticode, SHA-256, through osslsigncode:
#   sign.sh <unsigned file> <signed file> <product name> <product URL>
# The certificate with its key is the PKCS#12 file $SETUP_SIGNING_PKCS12,
# its password $SETUP_SIGNING_PASSWORD; a time stamp comes from the RFC 3161
# server $SETUP_TIMESTAMP_URL only when one is given. The signature names the
# product and its web page, which Windows shows beside the publisher.
set -eu
unsigned=$1 signed=$2
: "${SETUP_SIGNING_PKCS12:?no PKCS#12 file to sign with is given}"
set -- sign -pkcs12 "$SETUP_SIGNING_PKCS12" -h sha256 -n "$3" -i "$4"
[ -z "${SETUP_TIMESTAMP_URL:-}" ] || set -- "$@" -ts "$SETUP_TIMESTAMP_URL"
mkdir -p "$(dirname "$signed")"
rm -f "$signed"
# The password goes in on standard input: a command line is visible to
# every user of the machine.
if ! printf '%s\n' "${SETUP_SIGNING_PASSWORD:-}" |
     osslsigncode "$@" -readpass /dev/stdin -in "$unsigned" -out "$signed" >/dev/null; then
    rm -f "$signed"
    echo "sign.sh: signing $unsigned failed" >&2
    exit 1
fi
