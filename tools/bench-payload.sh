#!/usr/bin/env bash
# Lays out a setup folder with a payload of real PE files for the bundle's
# measurements: the given setup.exe, the sample Setup script and descriptor,
# and the nine other payload files, each a concatenation of distinct DLLs and
# programs of Wine's own (32- and 64-bit, the same content never twice),
# about 1 GiB in all (BENCH_PAYLOAD_BYTES). The same machine gives the same
# bytes: files in name order, dealt to the nine files in turn.
# Usage: tools/bench-payload.sh <setup.exe> <folder>
set -euo pipefail
stub=$1
folder=$2
limit=${BENCH_PAYLOAD_BYTES:-1073741824}
here=$(cd "$(dirname "$0")" && pwd)
names=(Dorsel ZynSetup.dll ZYNSYSID.sys ZYNSYSID.vxd zynliba.dll zynlibb.dll unicows.dll
       ZYNNTDEV.sys ZynFlash.dll)
sources=()
for dir in /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/x86_64-linux-gnu/wine/x86_64-windows \
           /usr/lib/wine/i386-windows /usr/lib/wine/x86_64-windows; do
    [ -d "$dir" ] && sources+=("$dir")
done
[ ${#sources[@]} -gt 0 ] || { echo "No Wine DLL folder found" >&2; exit 1; }

rm -rf "$folder"
mkdir -p "$folder"
cp "$stub" "$folder/setup.exe"
cp "$here/sample/ZynSetup.dat" "$here/sample/Dorsel.zyn" "$folder/"
list=$(mktemp)
trap 'rm -f "$list"' EXIT
# Real PE images only (MZ), each content once.
find "${sources[@]}" -type f -size +0 -print0 | LC_ALL=C sort -z |
    xargs -0 sha256sum | LC_ALL=C sort -s -u -k1,1 | LC_ALL=C sort -k2 | cut -c67- |
    while IFS= read -r file; do
        [ "$(head -c 2 "$file")" = MZ ] && printf '%s\n' "$file"
    done > "$list"
total=0
count=0
while IFS= read -r file; do
    size=$(stat -c %s "$file")
    [ $((total + size)) -le "$limit" ] || break
    cat "$file" >> "$folder/${names[$((count % ${#names[@]}))]}"
    total=$((total + size))
    count=$((count + 1))
done < "$list"
echo "$count distinct PE files, $total bytes, in ${#names[@]} payload files of $folder"
