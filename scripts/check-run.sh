#!/usr/bin/env bash
# Checks the run command as a newcomer uses it: `bash scripts/run.sh` with no display, in a Wine prefix that
# does not exist yet. Waits until Marlowick's main window is up and its Profile.txt exists in that prefix,
# closes the window, and then requires that the run command returned 0 and left no Xvfb and no Wine process
# behind. The test command runs this check before the tests; it can also be run alone. Installs what is
# missing (Debian 12, as root), as the run command does. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/env.sh

marlowick_install_packages
marlowick_build build

work=$(mktemp -d /tmp/marlowick-run-check.XXXXXX)
prefix=$work/prefix
log=$work/run.log
run_pid=
fail() {
    echo "run check: $*" >&2
    echo "--- output of the run command:" >&2
    cat "$log" >&2 || true
    exit 1
}
cleanup() {
    set +e
    [ -n "$run_pid" ] && kill "$run_pid" 2>/dev/null
    [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
    local left
    left=$(run_processes)
    [ -n "$left" ] && kill $left 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Every process whose environment names this prefix: the Wine processes and the Xvfb of this run.
run_processes() {
    grep -lsz "^WINEPREFIX=$prefix\$" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3 | grep -vx "$$" || true
}

# waits until the command succeeds, for at most the given number of seconds
wait_for() {
    local seconds=$1
    shift
    local end=$((SECONDS + seconds))
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.5
    done
}

start=$SECONDS
env -u DISPLAY WINEPREFIX="$prefix" bash scripts/run.sh >"$log" 2>&1 &
run_pid=$!

has_display() { display=$(grep -o 'private Xvfb on :[0-9]*' "$log" | grep -o ':[0-9]*$'); [ -n "$display" ]; }
wait_for 300 has_display || fail "it never said which display it started"
profile=$prefix/drive_c/ProgramData/Korvane/Marlowick/Profile.txt
wait_for 300 test -f "$profile" || fail "no Profile.txt appeared in $prefix"
echo "run check: Marlowick is up on $display and created its profile after $((SECONDS - start)) s."

# mwclose runs in the same virtual desktop, where it can see Marlowick's window.
DISPLAY=$display WINEPREFIX=$prefix WINEDEBUG=-all \
    wine explorer /desktop=Marlowick,1024x768 build/tests/bin/mwclose.exe 60000 ||
    fail "Marlowick's main window never answered"
echo "run check: asked Marlowick to close after $((SECONDS - start)) s."

status=0
wait_for 60 eval '! kill -0 "$run_pid" 2>/dev/null' || fail "the run command did not return after Marlowick closed"
wait "$run_pid" || status=$?
run_pid=
[ "$status" -eq 0 ] || fail "the run command returned $status"
grep -q "Marlowick has exited." "$log" || fail "the run command did not report the exit"
left=$(run_processes)
[ -z "$left" ] || fail "processes of the run are still running: $(ps -o pid=,args= -p "${left//$'\n'/,}")"
echo "run check: passed; the run command returned 0 and left nothing running ($((SECONDS - start)) s in all)."
