#!/usr/bin/env bash
# Runs every test of both builds under one ctest, one more at a time than
# the machine has processors: the Windows tests spend most of their time
# waiting for the programs they start and their windows (one of them a
# minute for the run lock), so a further job fills that time. Expects a
# display (the test command starts Xvfb).
# The Windows tests run in a pool of Wine prefixes, one per job and at most
# four (build/win/wineprefix, wineprefix_2, ...): ctest gives each Windows
# test one that no other test holds meanwhile (the resource "wineprefix" of
# the pool file written here), so two tests never meet in one prefix's
# registry, files, run lock, pending restart operations or restarts, and
# each prefix has a wineserver of its own, kept for the whole run. They
# share the display: a program finds only its own prefix's windows, and the
# entries that take screenshots of dialogs take turns on it (RESOURCE_LOCK
# display).
# The native tests run beside them.
set -euo pipefail
build=$(cd "$1" && pwd)
tools=$(cd "$(dirname "$0")" && pwd)
. "$tools/common.sh"
jobs=$(( $(nproc) + 1 ))
prefixes=("$build/win/wineprefix")
for ((n = 2; n <= jobs && n <= 4; ++n)); do
    prefixes+=("$build/win/wineprefix_$n")
done
# The first is made by wineboot, the others are copies of it.
"$tools/prepare-prefix.sh" "${prefixes[0]}"
for prefix in "${prefixes[@]:1}"; do
    "$tools/prepare-prefix.sh" "$prefix" "${prefixes[0]}"
done
pool="$build/win/wine-prefixes.json"
{
    printf '{"version": {"major": 1, "minor": 0}, "local": [{"wineprefix": ['
    separator=""
    for prefix in "${prefixes[@]}"; do
        printf '%s{"id": "%s", "slots": 1}' "$separator" "$(basename "$prefix")"
        separator=", "
    done
    printf ']}]}\n'
} > "$pool"
# Wine's background services start now, detached from ctest's output: a
# service started by the first test would hold ctest's pipe open.
start_wineserver "${prefixes[@]}"
printf 'subdirs("win" "host")\n' > "$build/CTestTestfile.cmake"
cd "$build"
ctest --output-on-failure --timeout 900 -j"$jobs" --resource-spec-file "$pool"
