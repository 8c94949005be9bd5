#!/bin/sh
# Lays out the sample setup folder: the given setup.exe, the sample Setup
# script, the INI-form descriptor (English and German strings) of the given
# product version, and stand-in payload files whose text starts with the
# given payload text. The same arguments give the same bytes.
# Usage: tools/sample-folder.sh <setup.exe> <folder> [<payload text> [<product version>]]
# (defaults: v1, the sample descriptor's version)
set -eu
sample=$(cd "$(dirname "$0")/sample" && pwd)
folder=$2 text=${3:-v1} version=${4:-}
mkdir -p "$folder"
cp "$1" "$folder/setup.exe"
cp "$sample/ZynSetup.dat" "$folder/"
if [ -n "$version" ]; then
    sed "s/^VERSION=.*/VERSION=$version\r/" "$sample/Dorsel.zyn" > "$folder/Dorsel.zyn"
else
    cp "$sample/Dorsel.zyn" "$folder/"
fi
for name in Dorsel ZynSetup.dll ZYNSYSID.sys ZYNSYSID.vxd zynliba.dll zynlibb.dll \
            unicows.dll ZYNNTDEV.sys ZynFlash.dll; do
    printf '%s: stand-in %s\n' "$text" "$name" > "$folder/$name"
done
