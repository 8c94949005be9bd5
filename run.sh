#!/usr/bin/env bash
# The main job: builds setup.exe, lays out a sample setup folder and runs a
# silent install, an upgrade and an uninstall in the project's own Wine
# prefix, printing after each step what it did.
set -euo pipefail
cd "$(dirname "$0")"
export HOME=${HOME:-/root}  # Wine keeps its per-user state there
build=${BUILD:-build}
bash tools/install-deps.sh
cmake -S . -B "$build/win" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build "$build/win" --target setup >/dev/null
build=$(cd "$build" && pwd)
export WINEPREFIX="$build/win/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
tools/prepare-prefix.sh "$WINEPREFIX"
exec xvfb-run -a -s "-screen 0 1024x768x24" tools/run-sample.sh "$build"
