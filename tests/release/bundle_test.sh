#!/bin/sh
# The bundle builder (tools/bundle.sh) on a small setup folder around the
# build's setup.exe: two builds give the same bytes, the bundle's reader
# reads the output back to the folder's files, a signed setup.exe goes in
# byte for byte, a signed bundle verifies and stripped of its signature is
# the bundle again, and a folder that setup.exe could not install from is
# refused with the missing file's name.
# Arguments: the build's setup.exe, a folder for the builder program.
set -eu
setup=$(realpath "$1")
mkdir -p "$2"
BUNDLE_TOOL_DIR=$(realpath "$2")
export BUNDLE_TOOL_DIR
source=$(cd "$(dirname "$0")/../.." && pwd)
bundle="$source/tools/bundle.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

lay_out() {  # folder
    mkdir -p "$1"
    cp "$setup" "$1/setup.exe"
    cp "$source/tools/sample/ZynSetup.dat" "$source/tools/sample/Dorsel.zyn" "$1/"
    for name in Dorsel ZynSetup.dll ZYNSYSID.sys ZYNSYSID.vxd zynliba.dll zynlibb.dll \
                unicows.dll ZYNNTDEV.sys ZynFlash.dll; do
        printf 'stand-in %s\n' "$name" > "$1/$name"
    done
}

refused() {  # folder, the name the refusal must give
    if "$bundle" "$1" refused.exe 2> refusal.txt; then
        echo "A folder without $2 was bundled"
        exit 1
    fi
    grep -Fq "$2" refusal.txt || { echo "The refusal does not name $2:"; cat refusal.txt; exit 1; }
    [ ! -e refused.exe ] || { echo "A refused folder left an output file"; exit 1; }
}

lay_out folder
echo "a file setup.exe does not install" > folder/stray.txt
"$bundle" folder first.exe
"$bundle" folder second.exe
cmp first.exe second.exe
"$bundle" --check first.exe folder

# Signed: the signed setup.exe is carried whole, the stub without its
# certificate table, and a signature over the bundle covers the data.
openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=Throwaway Signer" -keyout signer.key \
    -out signer.pem -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey signer.key -in signer.pem -passout pass:x -out signer.p12
sign() { osslsigncode sign -pkcs12 signer.p12 -pass x -h sha256 -in "$1" -out "$2" >/dev/null; }
lay_out signed
rm signed/setup.exe
sign "$setup" signed/setup.exe
"$bundle" signed bundle.exe
"$bundle" --check bundle.exe signed
sign bundle.exe bundle-signed.exe
osslsigncode verify -CAfile signer.pem -in bundle-signed.exe > verify.txt
"$bundle" --check bundle-signed.exe signed
# Padded as signing pads: stripped of its signature, the bundle is itself again.
osslsigncode remove-signature -in bundle-signed.exe -out stripped.exe > /dev/null
cmp stripped.exe bundle.exe
# One byte of the data changed after signing: the signature no longer holds.
cp bundle-signed.exe changed.exe
at=$(( $(stat -c %s bundle.exe) - 8 ))
printf 'X' | dd of=changed.exe bs=1 seek="$at" conv=notrunc 2>/dev/null
if osslsigncode verify -CAfile signer.pem -in changed.exe > verify.txt 2>&1; then
    echo "The signature still verifies after the data changed"
    exit 1
fi

lay_out missing-script
rm missing-script/ZynSetup.dat
refused missing-script ZynSetup.dat
lay_out missing-descriptor
rm missing-descriptor/Dorsel.zyn
refused missing-descriptor "Dorsel.zyn or VAKZYN.xml"
lay_out missing-payload
rm missing-payload/ZYNNTDEV.sys
refused missing-payload ZYNNTDEV.sys
lay_out two-cases
echo "another script" > two-cases/zynsetup.DAT
refused two-cases "more than one file in the setup folder is named: ZynSetup.dat"
lay_out bundle-as-stub
cp first.exe bundle-as-stub/setup.exe
refused bundle-as-stub "already carries data"
echo "bundle builder: reproducible, read back, signed, refusals named"
