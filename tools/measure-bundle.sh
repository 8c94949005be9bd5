#!/usr/bin/env bash
# The bundle's figures on about 1 GiB of real PE files (tools/bench-payload.sh):
# the bundle's size against an NSIS installer (SetCompressor /SOLID lzma) of
# the same files, the code that zstd's decoder and the bundle's reader add
# to a program linked like setup.exe, and decoding the bundle into files
# against CopyFile of the same files under Wine, the two taking turns
# (bundle_measure, ROUNDS rounds, with one and with two decoding threads),
# and for scale one silent install by the NSIS installer.
# The payload, the bundle and the NSIS installer are made once in
# $MEASURE_DIR (build/bundle-measure) and again when their inputs change;
# compressing 1 GiB takes several minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/common.sh
build=${BUILD:-build}
configure_windows_build "$build"
probes=(decoder_size_probe_plain decoder_size_probe_stream decoder_size_probe_blocks)
cmake --build "$build/win" --target setup bundle_measure "${probes[@]}" >/dev/null
work=$(mkdir -p "${MEASURE_DIR:-$build/bundle-measure}" && cd "${MEASURE_DIR:-$build/bundle-measure}" && pwd)
folder=$work/folder

if [ ! -f "$folder/ZynFlash.dll" ] || ! cmp -s "$build/win/setup.exe" "$folder/setup.exe"; then
    tools/bench-payload.sh "$build/win/setup.exe" "$folder"
fi
newer() {  # target, inputs...: 0 when the target is missing or older than an input
    local target=$1 input
    shift
    [ -f "$target" ] || return 0
    for input in "$@"; do
        [ "$input" -nt "$target" ] && return 0
    done
    return 1
}
if newer "$work/bundle.exe" "$folder"/* tools/bundle_builder.cpp files/bundle_index.cpp; then
    echo "Compressing the payload (level 19, one thread)..."
    tools/bundle.sh "$folder" "$work/bundle.exe"
fi
if newer "$work/nsis-lzma.exe" "$folder"/*; then
    echo "Building the NSIS installer (/SOLID lzma)..."
    {
        echo 'Unicode true'
        echo 'SetCompressor /SOLID lzma'
        echo "OutFile \"$work/nsis-lzma.exe\""
        echo 'InstallDir "$TEMP\bundle-measure-nsis"'
        echo 'SilentInstall silent'
        echo 'RequestExecutionLevel user'
        echo 'Section'
        echo 'SetOutPath $INSTDIR'
        for file in "$folder"/*; do echo "File \"$file\""; done
        echo 'SectionEnd'
    } > "$work/lzma.nsi"
    makensis -V1 "$work/lzma.nsi"
fi

payload=$(cat "$folder"/* | wc -c)
bundle=$(stat -c %s "$work/bundle.exe")
nsis=$(stat -c %s "$work/nsis-lzma.exe")
echo "payload: $payload bytes in $(ls "$folder" | wc -l) files"
awk -v b="$bundle" -v n="$nsis" -v p="$payload" 'BEGIN {
    printf "bundle: %d bytes (%.1f%% of the payload); NSIS /SOLID lzma: %d bytes (%.1f%%); bundle over NSIS: %.3fx\n",
           b, 100 * b / p, n, 100 * n / p, b / n }'
probe=$build/win/tests/bench/bundle
plain=$(stat -c %s "$probe/decoder_size_probe_plain.exe")
echo "code added to a program linked like setup.exe (reader, checksum, decoder):" \
     "$(( $(stat -c %s "$probe/decoder_size_probe_blocks.exe") - plain )) bytes block by block," \
     "$(( $(stat -c %s "$probe/decoder_size_probe_stream.exe") - plain )) bytes through ZSTD_decompressStream"
echo "setup.exe: $(stat -c %s "$build/win/setup.exe") bytes"

windows() { printf 'Z:%s' "$1" | tr / '\\'; }
export WINEPREFIX=$(cd "$build/win" && pwd)/wineprefix
tools/prepare-prefix.sh "$WINEPREFIX"
for threads in 1 2; do
    wine "$probe/bundle_measure.exe" "$(windows "$work/bundle.exe")" "$(windows "$folder")" \
         "$(windows "$work/out")" "${ROUNDS:-5}" ring "$threads"
done
# For scale: one silent install by the NSIS installer of the same files.
start=$(date +%s.%N)
wine "$work/nsis-lzma.exe" /S "/D=$(windows "$work/nsis-out")"
awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "NSIS /SOLID lzma silent install: %.1f s\n", e - s }'
rm -rf "$work/nsis-out"
