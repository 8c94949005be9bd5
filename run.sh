#!/usr/bin/env bash
# The main job: builds setup.exe, lays out a sample setup folder and runs a
# silent install, an upgrade and an uninstall in the project's own Wine
# prefix, printing after each step what it did.
set -euo pipefail
cd "$(dirname "$0")"
. tools/common.sh
build=${BUILD:-build}
configure_windows_build "$build"
cmake --build "$build/win" --target setup >/dev/null
build=$(cd "$build" && pwd)
export WINEPREFIX="$build/win/wineprefix"
tools/prepare-prefix.sh "$WINEPREFIX"
exec xvfb-run -a -s "-screen 0 1024x768x24" tools/run-sample.sh "$build"
