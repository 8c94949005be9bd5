#!/usr/bin/env bash
# Runs every test of both builds under one ctest, with one wineserver kept
# for the whole run. Expects a display (the test command starts Xvfb). Two
# at a time: the Windows tests take turns in the one prefix (their
# RESOURCE_LOCK), the native ones run beside them.
set -euo pipefail
build=$(cd "$1" && pwd)
export WINEPREFIX="$build/win/wineprefix"
. "$(dirname "$0")/common.sh"
tools/prepare-prefix.sh "$WINEPREFIX"
# Wine's background services start now, detached from ctest's output: a
# service started by the first test would hold ctest's pipe open.
start_wineserver
printf 'subdirs("win" "host")\n' > "$build/CTestTestfile.cmake"
cd "$build"
ctest --output-on-failure --timeout 900 -j2
