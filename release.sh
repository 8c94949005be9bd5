#!/usr/bin/env bash
# The release: builds setup.exe in a clean folder, signs a copy when a
# certificate is given (tools/sign.sh: SETUP_SIGNING_PKCS12,
# SETUP_SIGNING_PASSWORD and optionally SETUP_TIMESTAMP_URL), and writes
# SHA256SUMS for the unsigned and the signed file. The unsigned file is the
# one anyone can build again, byte for byte, from the same commit.
set -euo pipefail
# The signing runs in the build folder: the certificate by its full path.
[ -z "${SETUP_SIGNING_PKCS12:-}" ] || SETUP_SIGNING_PKCS12=$(realpath "$SETUP_SIGNING_PKCS12")
cd "$(dirname "$0")"
. tools/common.sh
out=${RELEASE:-build/release}
# A date that a tool writes is the commit's, never the clock's.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null); then
    export SOURCE_DATE_EPOCH
fi
rm -rf "$out"
configure_windows_build "$out"
cmake --build "$out/win" --target setup
out=$(cd "$out" && pwd)
mkdir "$out/unsigned"
cp "$out/win/setup.exe" "$out/unsigned/"
files=(unsigned/setup.exe)
signed="none: no certificate given (SETUP_SIGNING_PKCS12), the release is unsigned"
if [ -n "${SETUP_SIGNING_PKCS12:-}" ]; then
    cmake --build "$out/win" --target setup_signed
    mkdir "$out/signed"
    cp "$out/win/signed/setup.exe" "$out/signed/"
    files+=(signed/setup.exe)
    signed=$out/signed/setup.exe
fi
(cd "$out" && sha256sum "${files[@]}" > SHA256SUMS)

echo "setup.exe of commit $(git describe --always --dirty 2>/dev/null || echo "unknown (not a git checkout)")"
echo "  unsigned, the one anyone can build again: $out/unsigned/setup.exe"
echo "  signed: $signed"
echo "  checksums: $out/SHA256SUMS"
sed 's/^/    /' "$out/SHA256SUMS"
