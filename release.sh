#!/usr/bin/env bash
# The release: builds setup.exe in a clean folder, signs a copy when a
# certificate is given (tools/sign.sh: SETUP_SIGNING_PKCS12,
# SETUP_SIGNING_PASSWORD and optionally SETUP_TIMESTAMP_URL), makes the
# bundle (tools/bundle.sh) of the sample setup folder or of the folder that
# SETUP_FOLDER names, with the release's setup.exe inside, signed too when
# setup.exe is, and writes SHA256SUMS for every file. The unsigned files are
# the ones anyone can build again, byte for byte, from the same commit.
set -euo pipefail
# The signing runs in the build folder: the certificate by its full path.
[ -z "${SETUP_SIGNING_PKCS12:-}" ] || SETUP_SIGNING_PKCS12=$(realpath "$SETUP_SIGNING_PKCS12")
if [ -n "${SETUP_FOLDER:-}" ]; then
    [ -d "$SETUP_FOLDER" ] || { echo "release.sh: SETUP_FOLDER is no folder: $SETUP_FOLDER" >&2; exit 1; }
    SETUP_FOLDER=$(realpath "$SETUP_FOLDER")
fi
cd "$(dirname "$0")"
. tools/common.sh
out=${RELEASE:-build/release}
bundle_name=DorselSetup.exe
# A date that a tool writes is the commit's, never the clock's.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null); then
    export SOURCE_DATE_EPOCH
fi
rm -rf "$out"
configure_windows_build "$out"
cmake --build "$out/win" --target setup
out=$(cd "$out" && pwd)
# The bundle's builder is built in the release folder too, from these sources.
export BUNDLE_TOOL_DIR="$out/bundle-tool"

# The setup folder with the given setup.exe in it, bundled into the given file.
bundle() {  # setup.exe, bundle file
    local folder="$out/setup-folder"
    rm -rf "$folder"
    if [ -n "${SETUP_FOLDER:-}" ]; then
        mkdir "$folder"
        find "$SETUP_FOLDER" -maxdepth 1 -type f -exec cp {} "$folder/" \;
        cp "$1" "$folder/setup.exe"
    else
        tools/sample-folder.sh "$1" "$folder"
    fi
    tools/bundle.sh "$folder" "$2"
}

# What the signature names beside the publisher (CMakeLists.txt).
product_setting() {  # name
    sed -n "s/^set($1 \"\\(.*\\)\")\$/\\1/p" CMakeLists.txt
}

mkdir "$out/unsigned"
cp "$out/win/setup.exe" "$out/unsigned/"
bundle "$out/unsigned/setup.exe" "$out/unsigned/$bundle_name"
files=(unsigned/setup.exe "unsigned/$bundle_name")
signed="none: no certificate given (SETUP_SIGNING_PKCS12), the release is unsigned"
if [ -n "${SETUP_SIGNING_PKCS12:-}" ]; then
    cmake --build "$out/win" --target setup_signed
    mkdir "$out/signed"
    cp "$out/win/signed/setup.exe" "$out/signed/"
    bundle "$out/signed/setup.exe" "$out/win/signed/$bundle_name"
    tools/sign.sh "$out/win/signed/$bundle_name" "$out/signed/$bundle_name" \
        "$(product_setting SETUP_PRODUCT_NAME)" "$(product_setting SETUP_PRODUCT_URL)"
    files+=(signed/setup.exe "signed/$bundle_name")
    signed="$out/signed/setup.exe and $out/signed/$bundle_name"
fi
(cd "$out" && sha256sum "${files[@]}" > SHA256SUMS)

echo "setup.exe and its bundle $bundle_name of commit $(git describe --always --dirty 2>/dev/null || echo "unknown (not a git checkout)")"
echo "  of the setup folder: ${SETUP_FOLDER:-the sample (tools/sample-folder.sh)}"
echo "  unsigned, the ones anyone can build again: $out/unsigned/setup.exe and $out/unsigned/$bundle_name"
echo "  signed: $signed"
echo "  checksums: $out/SHA256SUMS"
sed 's/^/    /' "$out/SHA256SUMS"
