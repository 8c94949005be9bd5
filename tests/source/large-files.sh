#!/bin/sh
# Writes a setup folder of files that decode in several write pieces, and the
# data the bundle builder makes of it (tools/bundle.sh --data), for
# bundle_source_test.cpp: sizes at the edges of a write piece, several pieces
# with an odd tail, the largest window and more than twice it, where the
# decoder's ring wraps under matches that reach back almost a whole window, a
# file whose last block copies its first bytes; incompressible runs (stored
# blocks) and compressible content.
# Usage: large-files.sh <source tree> <folder> <data file>
set -eu
source=$1
folder=$2
data=$3
constant() {
    sed -n "s/.*$1 = \([^,;}/]*\).*/\1/p" "$source/$2" | sed "s/\([0-9]\)[uUlL]*/\1/g" | head -n 1
}
piece=$(($(constant BUNDLE_WRITE_PIECE source/setup_source.h)))
window=$(($(constant BUNDLE_MAX_WINDOW source/bundle_format.h)))

# The same bytes on every build: a keyed stream cipher over zeros.
random() {
    openssl enc -aes-128-ctr -nosalt -K "$(printf '%032x' "$1")" \
        -iv 00000000000000000000000000000000 -in /dev/zero 2>/dev/null | head -c "$2"
}
# A random run of $2 bytes, repeated to $3 bytes.
repeated() {
    random "$1" "$2" > "$folder.run"
    count=$(($3 / $2 + 1))
    while [ "$count" -gt 0 ]; do
        cat "$folder.run"
        count=$((count - 1))
    done | head -c "$3"
}
# $2 bytes that end as they begin, in 64 KiB of random bytes, with text
# between: the last block's matches reach back to the file's first bytes.
ends_alike() {
    random "$1" 65536 > "$folder.run"
    cat "$folder.run"
    seq 1 "$2" | head -c $(($2 - 131072))
    cat "$folder.run"
}

rm -rf "$folder"
mkdir -p "$folder"
: > "$folder/setup.exe"
printf x > "$folder/Dorsel"
ends_alike 1 $((piece - 1)) > "$folder/Dorsel.zyn"
repeated 2 70001 $((piece)) > "$folder/VAKZYN.xml"
repeated 3 70001 $((piece + 1)) > "$folder/ZynSetup.dat"
repeated 4 70001 $((3 * piece + 12345)) > "$folder/ZynSetup.dll"
repeated 5 70001 $((window)) > "$folder/ZYNSYSID.sys"
repeated 6 $((window - 4321)) $((2 * window + 12345)) > "$folder/ZYNSYSID.vxd"
random 7 $((piece + 1)) > "$folder/zynliba.dll"
seq 1 "$piece" | head -c $((2 * piece + 777)) > "$folder/zynlibb.dll"
for name in unicows.dll ZYNNTDEV.sys ZynFlash.dll; do
    printf '%s' "$name" > "$folder/$name"
done
rm -f "$folder.run"
bash "$source/tools/bundle.sh" --data "$folder" "$data"
