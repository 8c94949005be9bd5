#!/usr/bin/env bash
# Installs what is needed, builds the Windows and the native build, and runs
# every test: the Windows tests under Wine, the native ones under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")"
. tools/common.sh
build=${BUILD:-build}
tools/check-includes.sh
configure_windows_build "$build"
cmake --build "$build/win"
tools/check-calls.sh "$build/win"
cmake -S . -B "$build/host" -G Ninja -DSETUP_HOST_BUILD=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build/host"
xvfb-run -a -s "-screen 0 1024x768x24" tools/run-tests.sh "$build"
