#!/usr/bin/env bash
# Builds Marlowick and every test for 64-bit Windows and runs the tests under Wine.
# Installs what is missing (Debian 12, as root), uses a private Wine prefix and, without a display,
# a private Xvfb; stops everything it started. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/env.sh

marlowick_install_packages
marlowick_build build

run_dir=$(mktemp -d /tmp/marlowick-test.XXXXXX)
xvfb_pid=
cleanup() {
    set +e
    [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ] && wineserver -k >/dev/null 2>&1
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$run_dir"
}
trap cleanup EXIT

marlowick_make_locales "$run_dir/locale"
if [ -z "${DISPLAY:-}" ]; then
    marlowick_start_xvfb
    xvfb_pid=$MARLOWICK_XVFB_PID
fi
marlowick_make_prefix "$run_dir/prefix"
marlowick_start_wine_session "$run_dir"

status=0
# The whole suite also checks the run command, as a newcomer would use it.
if [ $# -eq 0 ]; then
    bash scripts/check-run.sh || status=$?
fi
start=$(date +%s)
ctest --test-dir build --output-on-failure --timeout 300 "$@" || status=$?
echo "Test run took $(( $(date +%s) - start )) s."
exit $status
