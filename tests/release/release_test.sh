#!/bin/sh
# The release command on a copy of the sources in another folder, under
# another umask and time zone, signing with a throwaway certificate from a
# test CA, with a setup folder of its own: the unsigned files must be this
# build's setup.exe and the bundle this source makes of that folder around
# it, the signed ones must verify and work (SignedSetup, SignedBundle).
# Arguments: the build folder, setup_exe_tests.exe, the product name and URL.
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
tar -C "$source" --exclude=./.git --exclude=./build --exclude-tag-all=CMakeCache.txt -cf - . |
    tar -C elsewhere -xf -
# The setup folder to bundle, with a setup.exe of another build in it that
# the release's must replace.
"$source/tools/sample-folder.sh" "$2" folder "release test"
(umask 077 && SETUP_SIGNING_PKCS12=signer.p12 SETUP_SIGNING_PASSWORD=throwaway RELEASE="$work/out" \
    SETUP_FOLDER=folder TZ=Pacific/Kiritimati elsewhere/release.sh) > release.log 2>&1 ||
    { cat release.log; exit 1; }
cmp "$build/setup.exe" out/unsigned/setup.exe
(cd out && sha256sum -c SHA256SUMS)
[ "$(wc -l < out/SHA256SUMS)" -eq 4 ] || { echo "SHA256SUMS lists not four files:"; cat out/SHA256SUMS; exit 1; }
BUNDLE_TOOL_DIR="$work/bundle-tool"
export BUNDLE_TOOL_DIR
bundled_here() {  # setup.exe, bundle file
    cp "$1" folder/setup.exe
    "$source/tools/bundle.sh" folder "$2" > /dev/null
}
bundled_here "$build/setup.exe" bundle.exe
cmp bundle.exe out/unsigned/DorselSetup.exe
for file in setup.exe DorselSetup.exe; do
    osslsigncode verify -CAfile ca.pem -in "out/signed/$file" > verify.txt
    sed 's/^[[:space:]]*//; s/ *:/:/' verify.txt > seen.txt
    for line in "Message digest algorithm: SHA256" "Text description: $name" "URL description: $url"; do
        grep -Fqx "$line" seen.txt || { echo "No \"$line\" for $file in:"; cat verify.txt; exit 1; }
    done
done
# The README's checks of published files: stripped, the signed setup.exe is
# the unsigned build, and the signed bundle is the bundle around the signed setup.exe.
osslsigncode remove-signature -in out/signed/setup.exe -out stripped.exe >/dev/null
cmp stripped.exe out/unsigned/setup.exe
osslsigncode remove-signature -in out/signed/DorselSetup.exe -out stripped-bundle.exe >/dev/null
bundled_here out/signed/setup.exe signed-bundle.exe
cmp stripped-bundle.exe signed-bundle.exe
windows() { printf 'Z:%s' "$work/$1" | tr / '\\'; }
SETUP_SIGNED_FILE=$(windows out/signed/setup.exe) SETUP_UNINSTALLER_COPY=$(windows uninstaller.exe) \
    "$build/wine-run" "$2" --gtest_filter=SignedSetup.*
cmp uninstaller.exe out/signed/setup.exe
osslsigncode verify -CAfile ca.pem -in uninstaller.exe >/dev/null
SETUP_SIGNED_BUNDLE=$(windows out/signed/DorselSetup.exe) \
    SETUP_UNINSTALLER_COPY=$(windows bundle-uninstaller.exe) \
    "$build/wine-run" "$2" --gtest_filter=SignedBundle.*
cmp bundle-uninstaller.exe out/signed/setup.exe
osslsigncode verify -CAfile ca.pem -in bundle-uninstaller.exe >/dev/null
