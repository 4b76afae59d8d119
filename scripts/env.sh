# Shared steps of the build, test and run scripts. Sourced, not run.

marlowick_install_packages() {
    local wanted=(cmake make g++-mingw-w64-x86-64 wine wine64 fonts-wine googletest xvfb locales)
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

# Configures and builds into the given folder.
marlowick_build() {
    local dir=$1
    cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release --no-warn-unused-cli >/dev/null
    cmake --build "$dir" -j "$(nproc)"
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

# Starts a private X server on a free display number.
marlowick_start_xvfb() {
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    MARLOWICK_XVFB_PID=$!
    local i
    for i in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.1
    done
    export DISPLAY=":$n"
}

# Creates a Wine prefix in which every program runs inside one virtual desktop.
marlowick_make_prefix() {
    export WINEPREFIX=$1
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    # The desktop that wineboot started is not the virtual one: let this prefix's server end, so that the
    # first program of the tests starts the virtual desktop that the settings above describe.
    wineserver -w
}
