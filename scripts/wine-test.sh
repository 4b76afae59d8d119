#!/usr/bin/env bash
# Runs one test program under Wine for ctest (the build's CMAKE_CROSSCOMPILING_EMULATOR) and returns its exit
# code. WINEDEBUG=-all keeps Wine quiet, but it also hides why Wine could not start a program (a DLL it did not
# find, one that failed to load): those errors of Wine's loader are shown again here. A program that ends with a
# failing code before printing a single line is said to have done so, since a test program prints as soon as it
# runs: an empty failure is then a start that failed, not a test.
set -uo pipefail

program=${1:?usage: wine-test.sh PROGRAM [ARGUMENT...]}
output=$(mktemp /tmp/marlowick-wine-test.XXXXXX)
trap 'rm -f "$output"' EXIT

# A WINEDEBUG that begins with -all also keeps Debian's wine launcher from printing its hint about wine32.
WINEDEBUG="${WINEDEBUG:--all},err+module,err+process" wine "$@" 2>&1 | tee "$output"
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ] && [ ! -s "$output" ]; then
    echo "wine-test.sh: $(basename "$program") ended with exit code $status before printing anything:" \
        "it did not start, or died before its first line." >&2
fi
exit "$status"
