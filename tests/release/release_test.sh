#!/bin/sh
# The release command on a copy of the sources in another folder, under
# another umask and time zone, signing with a throwaway certificate from a
# test CA: the unsigned file must be this build's, the signed one must verify
# and work as setup.exe (SignedSetup). Arguments: the build folder,
# setup_exe_tests.exe, the product name and URL.
set -eu
build=$1 name=$3 url=$4
source=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=Throwaway CA" -keyout ca.key -out ca.pem \
    2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=Throwaway Signer" -keyout signer.key \
    -out signer.pem -CA ca.pem -CAkey ca.key -addext basicConstraints=CA:FALSE \
    -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey signer.key -in signer.pem -passout pass:throwaway -out signer.p12
# The sources as a checkout holds them: no version control, no build folder.
mkdir elsewhere
tar -C "$source" --exclude=./.git --exclude-tag-all=CMakeCache.txt -cf - . | tar -C elsewhere -xf -
(umask 077 && SETUP_SIGNING_PKCS12=signer.p12 SETUP_SIGNING_PASSWORD=throwaway RELEASE="$work/out" \
    TZ=Pacific/Kiritimati elsewhere/release.sh) > release.log 2>&1 || { cat release.log; exit 1; }
cmp "$build/setup.exe" out/unsigned/setup.exe
(cd out && sha256sum -c SHA256SUMS)
osslsigncode verify -CAfile ca.pem -in out/signed/setup.exe > verify.txt
sed 's/^[[:space:]]*//; s/ *:/:/' verify.txt > seen.txt
for line in "Message digest algorithm: SHA256" "Text description: $name" "URL description: $url"; do
    grep -Fqx "$line" seen.txt || { echo "No \"$line\" in:"; cat verify.txt; exit 1; }
done
# The README's check of a published file.
osslsigncode remove-signature -in out/signed/setup.exe -out stripped.exe >/dev/null
cmp stripped.exe out/unsigned/setup.exe
windows() { printf 'Z:%s' "$work/$1" | tr / '\\'; }
SETUP_SIGNED_FILE=$(windows out/signed/setup.exe) SETUP_UNINSTALLER_COPY=$(windows uninstaller.exe) \
    "$build/wine-run" "$2" --gtest_filter=SignedSetup.*
cmp uninstaller.exe out/signed/setup.exe
osslsigncode verify -CAfile ca.pem -in uninstaller.exe >/dev/null
