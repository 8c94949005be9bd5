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
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT
# Start Wine's background services now, detached from ctest's output: a
# service started by the first test would hold ctest's pipe open.
wine wineboot </dev/null >/dev/null 2>&1
printf 'subdirs("win" "host")\n' > "$build/CTestTestfile.cmake"
cd "$build"
ctest --output-on-failure --timeout 900 -j2
