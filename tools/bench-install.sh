#!/usr/bin/env bash
# Times a small silent install and its uninstall: setup.exe against an
# uncompressed NSIS installer of the same files (nine files of 10 MB, the
# Setup script and the descriptor), in a Wine prefix of the benchmark's own.
# The installers take turns, one install and one uninstall each per round,
# so that a shared machine's slow and fast spells fall on all alike; the
# medians are printed. BENCH_ROUNDS (default 9) sets the rounds; BENCH_OTHER
# names other builds of setup.exe (older commits', say; several separated by
# ":") to take turns too.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/common.sh
. tools/bench-common.sh
build=${BUILD:-build}

if [ "${1:-}" != --measure ]; then
    # The packages include nsis, for the comparison.
    configure_windows_build "$build"
    cmake --build "$build/win" --target setup >/dev/null
    build=$(cd "$build" && pwd)
    measure_in_fresh_prefix "$build" bench-prefix
fi

rounds=${BENCH_ROUNDS:-9}
drive="$WINEPREFIX/drive_c"
medium="$drive/bench"
payload=(Dorsel ZynSetup.dll ZYNSYSID.sys ZYNSYSID.vxd zynliba.dll zynlibb.dll unicows.dll
         ZYNNTDEV.sys ZynFlash.dll)
start_wineserver

# One setup folder per build of setup.exe, and the NSIS installer beside them.
mkdir -p "$medium/files"
for name in "${payload[@]}"; do
    head -c 10M /dev/urandom > "$medium/files/$name"
done
cp tools/sample/ZynSetup.dat tools/sample/Dorsel.zyn "$medium/files/"
lay_out() {  # folder, setup.exe
    mkdir -p "$medium/$1"
    cp "$medium"/files/* "$medium/$1/"
    cp "$2" "$medium/$1/setup.exe"
}
lay_out setup "$build/win/setup.exe"
installers=(setup)
declare -A labels=([setup]="setup.exe")
if [ -n "${BENCH_OTHER:-}" ]; then
    IFS=: read -r -a others <<< "$BENCH_OTHER"
    for ((i = 0; i < ${#others[@]}; ++i)); do
        lay_out "other$i" "${others[i]}"
        installers+=("other$i")
        labels[other$i]="${others[i]}"
    done
fi

# What setup.exe does besides the files, as far as NSIS says it in a line:
# the uninstaller, an uninstall entry and a Start menu shortcut.
{
    echo 'SetCompress off'
    echo 'Name "Dorsel"'
    echo 'OutFile "nsis-setup.exe"'
    # A folder without blanks: "_?=" below takes no quotes.
    echo 'InstallDir "C:\DorselNsis"'
    echo 'RequestExecutionLevel admin'
    echo 'SilentInstall silent'
    echo 'SilentUnInstall silent'
    echo 'Section'
    echo '  SetOutPath "$INSTDIR"'
    for name in "${payload[@]}" ZynSetup.dat Dorsel.zyn; do echo "  File \"files/$name\""; done
    echo '  WriteUninstaller "$INSTDIR\uninstall.exe"'
    echo '  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\DorselNsis" "DisplayName" "Dorsel"'
    echo '  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\DorselNsis" "UninstallString" "$INSTDIR\uninstall.exe"'
    echo '  CreateDirectory "$SMPROGRAMS\DorselNsis"'
    echo '  CreateShortCut "$SMPROGRAMS\DorselNsis\Dorsel.lnk" "$INSTDIR\Dorsel"'
    echo 'SectionEnd'
    echo 'Section Uninstall'
    for name in "${payload[@]}" ZynSetup.dat Dorsel.zyn; do echo "  Delete \"\$INSTDIR\\$name\""; done
    echo '  Delete "$SMPROGRAMS\DorselNsis\Dorsel.lnk"'
    echo '  RMDir "$SMPROGRAMS\DorselNsis"'
    echo '  DeleteRegKey HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\DorselNsis"'
    echo 'SectionEnd'
} > "$medium/dorsel.nsi"
(cd "$medium" && makensis -V1 dorsel.nsi)
installers=(nsis "${installers[@]}")
labels[nsis]="NSIS $(makensis -VERSION) uncompressed"

declare -A installs uninstalls
for ((round = 0; round < rounds; ++round)); do
    for installer in "${installers[@]}"; do
        if [ "$installer" = nsis ]; then
            timed seconds "C:\\bench\\nsis-setup.exe" /S
            installs[nsis]+="$seconds "
            # In place (_?=), so that the run ends when the uninstall does.
            timed seconds 'C:\DorselNsis\uninstall.exe' /S '_?=C:\DorselNsis'
            uninstalls[nsis]+="$seconds "
            expect_gone "$drive/DorselNsis/Dorsel"
            rm -rf "$drive/DorselNsis"
        else
            timed seconds "C:\\bench\\$installer\\setup.exe" /S
            installs[$installer]+="$seconds "
            timed seconds 'C:\windows\_zynu000.exe' /S /U
            uninstalls[$installer]+="$seconds "
            expect_gone "$drive"/Program\ Files*/Dorsel/Dorsel.exe
        fi
    done
done

echo
echo "Silent install and uninstall of nine files of 10 MB under Wine, $rounds rounds taking turns"
printf '%-44s %12s %14s\n' installer 'install (s)' 'uninstall (s)'
for installer in "${installers[@]}"; do
    # shellcheck disable=SC2086
    printf '%-44s %12s %14s\n' "${labels[$installer]}" "$(median ${installs[$installer]})" \
        "$(median ${uninstalls[$installer]})"
done
