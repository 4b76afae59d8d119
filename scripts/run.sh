#!/usr/bin/env bash
# Builds Marlowick and runs it under Wine in your own Wine prefix ($WINEPREFIX, or ~/.wine), so that its
# tasks (C:\ProgramData\Korvane\Marlowick\Profile.txt in that prefix) last from one run to the next.
# Without a display it starts a private Xvfb and runs Marlowick in a Wine virtual desktop there, so that
# the notification area and its balloon exist; it says so, and stops that Xvfb afterwards.
# Returns when Marlowick exits. Installs what is missing (Debian 12, as root). Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/env.sh

marlowick_install_packages
marlowick_build build

export WINEDEBUG=${WINEDEBUG:--all}
prefix=${WINEPREFIX:-$HOME/.wine}
if [ ! -d "$prefix" ]; then
    echo "Creating the Wine prefix $prefix (once; this takes a little while)."
    # No offer to download Mono or Gecko: Marlowick needs neither, and nobody may be there to answer.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
fi
marlowick_add_wine_fonts "$prefix"

exe=build/bin/marlowick.exe
xvfb_pid=
cleanup() {
    set +e
    if [ -n "$xvfb_pid" ]; then
        # Let this prefix's Wine processes end while their display still exists.
        timeout 15 wineserver -w >/dev/null 2>&1
        kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    fi
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
    marlowick_start_xvfb
    xvfb_pid=$MARLOWICK_XVFB_PID
    echo "No display is set: started a private Xvfb on $DISPLAY. Marlowick runs there in a Wine virtual"
    echo "desktop of 1024x768 with its own taskbar and notification area; see it with a VNC server or"
    echo "a screenshot (DISPLAY=$DISPLAY import -window root shot.png). The Xvfb stops when Marlowick exits."
    wine explorer /desktop=Marlowick,1024x768 "$exe"
else
    wine "$exe"
fi
echo "Marlowick has exited."
