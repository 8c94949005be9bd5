#!/usr/bin/env bash
# make bench-bundle: the bundle's silent install against a plain CopyFile of
# the same files and against NSIS's /SOLID lzma installer of them, on about
# 1 GiB of real PE files (tools/bench-payload.sh: Wine's own DLLs), under Wine
# in a prefix of the benchmark's own (build/bench-bundle-prefix, made afresh
# on each run). The three take turns, BENCH_ROUNDS rounds (default 5), so
# that a shared machine's slow and fast spells fall on all alike; the
# medians are printed, the bundle's also without the progress pauses that
# setup.exe makes on purpose, with the bundle's size against NSIS's and
# setup.exe's size, each beside its goal. Not a test: figures for people to
# read.
# The payload, the bundle and the NSIS installer are kept in
# build/bench-bundle and made again only when their inputs change (the
# bundle when setup.exe does: compressing 1 GiB takes several minutes).
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/common.sh
. tools/bench-common.sh
build=${BUILD:-build}

if [ "${1:-}" != --measure ]; then
    # The packages include nsis, for the comparison.
    configure_windows_build "$build"
    cmake --build "$build/win" --target setup copy_files >/dev/null
    build=$(cd "$build" && pwd)
    work="$build/bench-bundle"
    mkdir -p "$work"
    folder="$work/payload"
    if [ ! -f "$work/payload.done" ]; then
        tools/bench-payload.sh "$build/win/setup.exe" "$folder"
        touch "$work/payload.done"
    fi
    # A new setup.exe changes the bundle, not the payload.
    cmp -s "$build/win/setup.exe" "$folder/setup.exe" || cp "$build/win/setup.exe" "$folder/setup.exe"
    newer() {  # target, inputs...: 0 when the target is missing or older than an input
        local target=$1 input
        shift
        [ -f "$target" ] || return 0
        for input in "$@"; do
            [ "$input" -nt "$target" ] && return 0
        done
        return 1
    }
    if newer "$work/bundle.exe" "$folder"/* tools/bundle_builder.cpp source/bundle_index.cpp \
             source/bundle_format.h; then
        echo "Compressing the payload into the bundle (zstd level 19, one thread)..."
        tools/bundle.sh "$folder" "$work/bundle.exe" >/dev/null
    fi
    # NSIS installs the same files; its own uninstaller, which it writes,
    # stands for the setup.exe that the bundle installs as its uninstaller.
    others=()
    for file in "$folder"/*; do
        [ "${file##*/}" = setup.exe ] || others+=("$file")
    done
    {
        echo 'Unicode true'
        echo 'SetCompressor /SOLID lzma'
        echo 'OutFile "nsis-lzma.exe"'
        echo 'Name "Dorsel"'
        echo 'InstallDir "C:\DorselNsis"'
        echo 'RequestExecutionLevel admin'
        echo 'SilentInstall silent'
        echo 'Section'
        echo '  SetOutPath "$INSTDIR"'
        for file in "${others[@]}"; do echo "  File \"payload/${file##*/}\""; done
        echo '  WriteUninstaller "$INSTDIR\uninstall.exe"'
        echo 'SectionEnd'
        echo 'Section Uninstall'
        echo 'SectionEnd'
    } > "$work/lzma.nsi.new"
    if ! cmp -s "$work/lzma.nsi.new" "$work/lzma.nsi" ||
       newer "$work/nsis-lzma.exe" "$work/lzma.nsi" "${others[@]}"; then
        mv "$work/lzma.nsi.new" "$work/lzma.nsi"
        echo "Building the NSIS installer (/SOLID lzma)..."
        (cd "$work" && makensis -V1 lzma.nsi)
    fi
    rm -f "$work/lzma.nsi.new"

    measure_in_fresh_prefix "$build" bench-bundle-prefix
fi

rounds=${BENCH_ROUNDS:-5}
# setup.exe pauses for 50 ms at each of the eight steps after the files are
# in place, so that the progress can be seen: time the install takes on
# purpose, which the goal leaves out.
pauses=0.40
work="$BUILD/bench-bundle"
folder="$work/payload"
drive="$WINEPREFIX/drive_c"
windows() { printf 'Z:%s' "$1" | tr / '\\'; }
start_wineserver

declare -A times last
turns=(copy bundle nsis)
echo "Round by round (s): CopyFile, bundle, NSIS"
for ((round = 1; round <= rounds; ++round)); do
    for turn in "${turns[@]}"; do
        case $turn in
        copy)
            timed seconds "$BUILD/win/tests/bench/bundle/copy_files.exe" "$(windows "$folder")" \
                'C:\DorselCopy'
            rm -rf "$drive/DorselCopy"
            ;;
        bundle)
            timed seconds "$work/bundle.exe" /S
            wine 'C:\windows\_zynu000.exe' /S /U </dev/null >/dev/null 2>&1 ||
                { echo "the bundle's uninstall failed" >&2; exit 1; }
            expect_gone "$drive"/Program\ Files*/Dorsel/ZynFlash.dll
            ;;
        nsis)
            timed seconds "$(windows "$work/nsis-lzma.exe")" /S
            rm -rf "$drive/DorselNsis"
            ;;
        esac
        times[$turn]+="$seconds "
        last[$turn]=$seconds
    done
    echo "  round $round: ${last[copy]} ${last[bundle]} ${last[nsis]}"
done

# shellcheck disable=SC2086
copy=$(median ${times[copy]}) bundle=$(median ${times[bundle]}) nsis=$(median ${times[nsis]})
payload=$(cat "$folder"/* | wc -c)
bundle_size=$(stat -c %s "$work/bundle.exe")
nsis_size=$(stat -c %s "$work/nsis-lzma.exe")
setup_size=$(stat -c %s "$BUILD/win/setup.exe")
echo
echo "Silent install of $payload bytes in $(ls "$folder" | wc -l) files of real PE files under Wine,"
echo "$rounds rounds taking turns (NSIS $(makensis -VERSION)); medians:"
awk -v c="$copy" -v b="$bundle" -v n="$nsis" -v p="$pauses" 'BEGIN {
    printf "  plain CopyFile of the files        %7.2f s\n", c
    printf "  the bundle, silent install         %7.2f s  %6.2fx the copy\n", b, b / c
    printf "    less its pauses (8 x 50 ms)      %7.2f s  %6.2fx the copy (goal: at most 2.0x)\n", b - p, (b - p) / c
    printf "  NSIS /SOLID lzma, silent install   %7.2f s  %6.2fx the copy\n", n, n / c }'
awk -v b="$bundle_size" -v n="$nsis_size" -v p="$payload" -v s="$setup_size" 'BEGIN {
    printf "Sizes:\n"
    printf "  the bundle         %11d bytes  %5.1f%% of the files, %.3fx NSIS (goal: at most 1.15x)\n", b, 100 * b / p, b / n
    printf "  NSIS /SOLID lzma   %11d bytes  %5.1f%% of the files\n", n, 100 * n / p
    printf "  setup.exe          %11d bytes  (goal: at most 147456)\n", s }'
