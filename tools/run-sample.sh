#!/usr/bin/env bash
# Runs the sample install, upgrade and uninstall from the sample's bundle
# (see run.sh).
set -uo pipefail
build=$1
medium="$build/sample-setup"
bundle_folder="$build/sample-bundle"
drive="$WINEPREFIX/drive_c"
. "$(dirname "$0")/common.sh"
start_wineserver

# The sample setup folder (tools/sample-folder.sh): setup.exe, the Setup
# script, the INI descriptor (English and German strings) and stand-in
# payload files; and its bundle DorselSetup.exe (tools/bundle.sh), the one
# file that users get, alone in a folder of its own.
lay_out() {  # payload text, product version
    tools/sample-folder.sh "$build/win/setup.exe" "$medium" "$1" "$2"
    rm -rf "$bundle_folder"
    mkdir -p "$bundle_folder"
    BUNDLE_TOOL_DIR="$build/bundle-tool" tools/bundle.sh "$medium" "$bundle_folder/DorselSetup.exe" \
        >/dev/null
    echo
    echo "=== Bundle of the sample setup folder ($1, $2): DorselSetup.exe," \
         "$(stat -c %s "$bundle_folder/DorselSetup.exe") bytes, SHA-256" \
         "$(sha256sum "$bundle_folder/DorselSetup.exe" | cut -d' ' -f1)"
}

# A file's first 40 bytes on one line, its lines kept apart by " | ".
first_bytes() {  # file
    head -c 40 "$1" | tr -d '\r' | awk 'NR > 1 { printf " | " } { printf "%s", $0 }'
}

query() {  # registry key
    local text
    text=$(wine reg query "$1" /s 2>/dev/null | tr -d '\r' | sed '/^$/d; /^reg: /d; s/^/    /')
    echo "${text:-    (none)}"
}

report() {  # step name, exit code
    echo
    echo "=== $1: exit code $2, result value $(wine reg query 'HKCU\SOFTWARE\Vak\QuillsenSoftwareInstaller' /v Setup 2>/dev/null | tr -d '\r' | awk '/Setup/ {print $3}')"
    echo "  Product key:"
    query 'HKLM\SOFTWARE\Vak\QuillsenSoftwareInstaller'
    echo "  Uninstall entry:"
    query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuillsenSoftwareInstaller'
    query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{5E0C7A21-9B3D-4F6E-A8C2-71D4B0E96F13}'
    echo "  Toolbar button:"
    query 'HKLM\SOFTWARE\Microsoft\Internet Explorer\Extensions\{5E0C7A21-9B3D-4F6E-A8C2-71D4B0E96F13}'
    echo "  Files installed (first 40 bytes, line breaks shown as \" | \"):"
    shopt -s nullglob
    for file in "$drive"/Program\ Files*/Dorsel/*; do
        printf '    %s: %s\n' "${file#$drive/}" "$(first_bytes "$file")"
    done
    if [ -f "$drive/windows/_zynu000.exe" ]; then
        echo "    windows/_zynu000.exe (the uninstaller$(wine reg query \
            'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
            >/dev/null 2>&1 && echo ', deleted at the next Windows start'))"
    fi
    echo "  Shortcuts:"
    find "$drive/ProgramData/Microsoft/Windows/Start Menu" "$drive/users" -name '*Dorsel*.lnk' \
        2>/dev/null | sed "s|^$drive/|    |"
}

rm -rf "$medium"
lay_out v1 3.00.0000
(cd "$bundle_folder" && wine DorselSetup.exe /S); report "Silent install of 3.00.0000" $?
lay_out v2 3.01.0000
(cd "$bundle_folder" && wine DorselSetup.exe /S); report "Silent upgrade to 3.01.0000" $?
(cd "$bundle_folder" && wine DorselSetup.exe /S /U); report "Silent uninstall" $?
