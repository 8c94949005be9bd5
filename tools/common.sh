# Shared by the project's scripts (POSIX sh): the Wine environment of the
# project's own prefix, and the configured Windows build.
export HOME="${HOME:-/root}"  # Wine keeps its per-user state there
export WINEDEBUG=-all
# No Mono or Gecko installs, no menu entries on the Linux side, no crash
# debugger holding a failed program open.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"

# A wineserver kept for the script's whole run, stopped when it exits, and
# Wine's background services started, detached from the script's output:
# for each prefix given, or for $WINEPREFIX.
start_wineserver() {
    [ $# -gt 0 ] || set -- "$WINEPREFIX"
    started_prefixes=$(printf '%s\n' "$@")
    trap stop_wineservers EXIT
    for prefix in "$@"; do
        WINEPREFIX=$prefix wineserver -p
        WINEPREFIX=$prefix wine wineboot </dev/null >/dev/null 2>&1 &
    done
    wait
}

stop_wineservers() {
    printf '%s\n' "$started_prefixes" | while IFS= read -r prefix; do
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    done
}

# The Wine prefix of a test: the one of the run's pool that ctest gave it
# (its resource "wineprefix", whose ids tools/run-tests.sh names after
# folders beside the build folder's own prefix), else the build folder's
# own, $1.
test_prefix() {
    case ${CTEST_RESOURCE_GROUP_0_WINEPREFIX:-} in
    id:*)
        id=${CTEST_RESOURCE_GROUP_0_WINEPREFIX#id:}
        printf '%s/%s\n' "$(dirname "$1")" "${id%%,*}" ;;
    *)
        printf '%s\n' "$1" ;;
    esac
}

# Installs the packages and configures the Windows build in "$1/win".
configure_windows_build() {
    bash tools/install-deps.sh
    # The toolchain file counts only when the build folder is new; later runs
    # pass it again unused, which is no reason for a warning.
    cmake -S . -B "$1/win" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
          --no-warn-unused-cli >/dev/null
}
