#!/usr/bin/env bash
# The main job: builds setup.exe, lays out a sample setup folder, makes its
# bundle DorselSetup.exe and runs a silent install, an upgrade and an
# uninstall from the bundle in a Wine prefix of the demo's own, printing
# after each step what it did.
set -euo pipefail
cd "$(dirname "$0")"
. tools/common.sh
build=${BUILD:-build}
configure_windows_build "$build"
cmake --build "$build/win" --target setup >/dev/null
build=$(cd "$build" && pwd)
# Made afresh on each run, apart from the tests' prefix: what the demo shows
# is what its own install, upgrade and uninstall did, and nothing else.
export WINEPREFIX="$build/demo-prefix"
if [ -e "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true  # one an interrupted run left behind
    rm -rf "$WINEPREFIX"
fi
tools/prepare-prefix.sh "$WINEPREFIX"
exec xvfb-run -a -s "-screen 0 1024x768x24" tools/run-sample.sh "$build"
