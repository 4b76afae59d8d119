# Shared steps of the build, test and run scripts. Sourced, not run.

marlowick_install_packages() {
    local wanted=(cmake make g++-mingw-w64-x86-64 wine wine64 fonts-wine googletest xvfb locales wixl)
    local missing=()
    local p
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        apt-get update
        DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    fi
}

# Configures and builds into the given folder: every target, or only the targets named after the folder.
marlowick_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli >/dev/null
    if [ $# -gt 0 ]; then
        cmake --build "$dir" -j "$(nproc)" --target "$@"
    else
        cmake --build "$dir" -j "$(nproc)"
    fi
}

# Generates the Linux locales that the tests run Wine under (a fresh machine has only C and POSIX).
marlowick_make_locales() {
    local dir=$1 l
    mkdir -p "$dir"
    for l in en_US de_DE ja_JP; do
        [ -d "$dir/$l.UTF-8" ] || localedef -i "$l" -f UTF-8 "$dir/$l.UTF-8" 2>/dev/null || true
    done
    export LOCPATH=$dir
    export LANG=en_US.UTF-8
    unset LC_ALL
}

# Starts a private X server on a display number that it picks itself: a number whose lock file is free here
# may still be taken by a server of another root on this machine (the sockets are shared), so only the server
# can tell which one is free.
marlowick_start_xvfb() {
    local file n i
    file=$(mktemp /tmp/marlowick-display.XXXXXX)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$file" >/dev/null 2>&1 &
    MARLOWICK_XVFB_PID=$!
    for i in $(seq 1 100); do
        [ -s "$file" ] && break
        sleep 0.1
    done
    n=$(head -n 1 "$file")
    rm -f "$file"
    if [ -z "$n" ]; then
        echo "Xvfb did not start." >&2
        return 1
    fi
    export DISPLAY=":$n"
}

# Puts Wine's own fonts (Tahoma, Marlett and the others of the package fonts-wine) into the Fonts folder of the
# prefix. Debian's Wine does not find them where the package puts them, so without this every dialog falls back
# to another face and the caption buttons show letters instead of Marlett's symbols. Keeps fonts already there.
marlowick_add_wine_fonts() {
    local fonts="$1/drive_c/windows/Fonts" f
    mkdir -p "$fonts"
    for f in /usr/share/wine/fonts/*.ttf; do
        [ -e "$f" ] && [ ! -e "$fonts/$(basename "$f")" ] && cp "$f" "$fonts/"
    done
    return 0
}

# Creates a Wine prefix in which every program runs inside one virtual desktop.
marlowick_make_prefix() {
    export WINEPREFIX=$1
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    wineboot -i >/dev/null 2>&1
    marlowick_add_wine_fonts "$WINEPREFIX"
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    # A program that crashes ends at once with a failing exit code instead of waiting in Wine's debugger
    # (the debugger named here does not exist), so that a crash fails its test instead of holding it until
    # its time-out, or passing when the debugger is ended.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d 'no-debugger.exe' /f >/dev/null 2>&1
    # The desktop that wineboot started is not the virtual one: let this prefix's server end, so that the
    # first program of the tests starts the virtual desktop that the settings above describe.
    wineserver -w
}

# Keeps one wineserver, Wine's services and the virtual desktop up for a whole run of tests, started from here
# and not from a test. Debian's wineserver ends as soon as its last program has, and ctest waits until every
# holder of a test's output has closed it, the server that the test started among them: without this, every
# test starts a new server and a new desktop just as those of the test before are going away. The desktop
# lasts as long as a program lives in it: a copy of the tests' helper (no windows, a name of its own, so that
# no test takes it for one of its helpers), which explorer starts once the desktop is up. What runs here writes
# to a log in the given folder, never into a test's output. Returns once the desktop is up; `wineserver -k`
# ends it all.
marlowick_start_wine_session() {
    local dir=$1 i
    local keeper=$dir/desktop-keeper.exe record=$dir/desktop-keeper.txt log=$dir/wine-session.log
    cp build/tests/bin/mwhelper.exe "$keeper"
    wineserver -p
    # explorer takes a Windows path; Z: is the Linux root in a new prefix.
    wine explorer /desktop "Z:${keeper//\//\\}" --lifetime 7200000 --record "Z:${record//\//\\}" \
        </dev/null >"$log" 2>&1 &
    for i in $(seq 1 600); do
        grep -qs '^start ' "$record" && return 0
        sleep 0.1
    done
    echo "Wine's desktop for the tests did not come up within 60 s. Its log:" >&2
    cat "$log" >&2
    return 1
}
