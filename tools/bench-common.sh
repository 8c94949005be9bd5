# What the benchmarks under Wine share (sourced by tools/bench-*.sh).

# The benchmark's own Wine prefix, made afresh: no earlier run's installs or
# pending operations.
fresh_prefix() {  # folder
    export WINEPREFIX=$1
    if [ -e "$WINEPREFIX" ]; then
        wineserver -k 2>/dev/null || true
        rm -rf "$WINEPREFIX"
    fi
    tools/prepare-prefix.sh "$WINEPREFIX"
}

# The benchmark run again, with --measure, under a display of its own and in
# its own prefix made afresh ("$1/$2"); BUILD names the build folder there.
measure_in_fresh_prefix() {  # build folder (absolute), prefix name
    fresh_prefix "$1/$2"
    BUILD="$1" exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --measure
}

# Seconds that one Windows program took, from its start under the warm
# wineserver to its exit; a run that fails stops the benchmark. What an
# earlier turn wrote is on the disk first, so that no turn pays for another.
timed() {  # output variable, Windows program and arguments...
    local variable=$1 start end
    shift
    sync
    start=$EPOCHREALTIME
    if ! wine "$@" </dev/null >/dev/null 2>&1; then
        echo "failed: $*" >&2
        exit 1
    fi
    end=$EPOCHREALTIME
    printf -v "$variable" '%s' "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')"
}

# Each turn's files go right after it, and must be gone: a turn that leaves
# them is no figure to print.
expect_gone() {  # paths...
    for path in "$@"; do
        if [ -e "$path" ]; then
            echo "still there after the turn: $path" >&2
            exit 1
        fi
    done
}

median() {  # numbers...
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
