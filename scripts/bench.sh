#!/usr/bin/env bash
# Measures marlowick.exe from outside, side by side with a floor it builds itself (a bare dialog with the main
# window's controls, a one-second timer that does nothing, COM initialised and a tray icon, and a direct
# CreateProcess), and prints one table: figure, Marlowick, floor, ratio. Each figure is the median of 5 runs
# (MARLOWICK_BENCH_RUNS sets another number).
#
#   bash scripts/bench.sh [--empty-only] [baseline-ref]
#
# --empty-only takes only the figures of an empty list (start-up, idle time, working set): a few minutes less.
#
# With a git ref it also builds Marlowick as it was at that ref (in a temporary worktree, removed
# afterwards) and measures both in the same run, so the table gets a baseline column: before and after on
# the same machine. Uses a private Wine prefix and, without a display, a private Xvfb, as the test command
# does, and stops everything it started. Installs what is missing (Debian 12, as root). Not part of the test
# command: it takes several minutes and its figures depend on the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/env.sh

only=()
if [ "${1:-}" = --empty-only ]; then
    only=(--empty-only)
    shift
fi
baseline=${1:-}
runs=${MARLOWICK_BENCH_RUNS:-5}

marlowick_install_packages
marlowick_build build marlowick mwbench

run_dir=$(mktemp -d /tmp/marlowick-bench.XXXXXX)
xvfb_pid=
baseline_tree=
cleanup() {
    set +e
    [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ] && wineserver -k >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    [ -n "$baseline_tree" ] && git worktree remove --force "$baseline_tree" >/dev/null 2>&1
    rm -rf "$run_dir"
}
trap cleanup EXIT

if [ -n "$baseline" ]; then
    baseline_tree=$run_dir/baseline
    git worktree add --detach "$baseline_tree" "$baseline" >/dev/null
    echo "Building the baseline $baseline ($(git -C "$baseline_tree" log -1 --format='%h %s'))."
    (cd "$baseline_tree" && marlowick_build build marlowick)
fi

marlowick_make_locales "$run_dir/locale"
if [ -z "${DISPLAY:-}" ]; then
    marlowick_start_xvfb
    xvfb_pid=$MARLOWICK_XVFB_PID
fi
marlowick_make_prefix "$run_dir/prefix"

programs=("$(winepath -w build/bin/marlowick.exe)")
[ -n "$baseline_tree" ] && programs+=("$(winepath -w "$baseline_tree/build/bin/marlowick.exe")")
start=$(date +%s)
wine build/tests/bin/mwbench.exe --runs "$runs" "${only[@]}" "${programs[@]}"
echo "Measuring took $(( $(date +%s) - start )) s."
