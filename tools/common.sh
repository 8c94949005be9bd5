# Shared by the project's scripts (POSIX sh): the Wine environment of the
# project's own prefix, and the configured Windows build.
export HOME="${HOME:-/root}"  # Wine keeps its per-user state there
export WINEDEBUG=-all
# No Mono or Gecko installs, no menu entries on the Linux side, no crash
# debugger holding a failed program open.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"

# A wineserver kept for the script's whole run, stopped when it exits, and
# Wine's background services started, detached from the script's output.
start_wineserver() {
    wineserver -p
    trap 'wineserver -k 2>/dev/null || true' EXIT
    wine wineboot </dev/null >/dev/null 2>&1
}

# Installs the packages and configures the Windows build in "$1/win".
configure_windows_build() {
    bash tools/install-deps.sh
    # The toolchain file counts only when the build folder is new; later runs
    # pass it again unused, which is no reason for a warning.
    cmake -S . -B "$1/win" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
          --no-warn-unused-cli >/dev/null
}
