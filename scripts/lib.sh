# Shared by the scripts: installing what is missing and finding our way.
# shellcheck shell=bash
# The variables set here are read by the scripts that source this.
# shellcheck disable=SC2034

TOWER_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export TOWER_ROOT

# Run a command as root: directly when we are root, else through sudo.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# Install the Debian packages (name or name:arch) that are not installed yet.
# Only an install that is needed pays for apt-get update.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    # Wait for another apt or dpkg run to finish rather than fail at its lock.
    as_root apt-get -o DPkg::Lock::Timeout=600 update -qq
    as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
}

# What building and running the program on Linux needs, and no more.
TOWER_BUILD_PACKAGES=(
    cmake make g++ pkg-config
    libgl-dev libglu1-mesa-dev libgl1-mesa-dri libglx-mesa0
    libx11-dev libxrandr-dev libxi-dev
    libwayland-dev wayland-protocols libxkbcommon-dev libegl-dev libegl-mesa0
)
# What building the web page (preset web) needs beyond cmake and make, and
# what showing it without a display adds.
TOWER_WEB_PACKAGES=(emscripten node-acorn python3)
TOWER_BROWSER_PACKAGES=(chromium)
# What the tests and benchmarks add to it.
TOWER_TEST_PACKAGES=(
    libgtest-dev libbenchmark-dev libglfw3-dev libsdl2-dev libpng-dev
    xvfb xauth xdotool x11-utils apitrace python3 valgrind
    openbox weston xwayland sway wtype grim x11-xserver-utils
    g++-mingw-w64-i686-win32
    "${TOWER_WEB_PACKAGES[@]}" "${TOWER_BROWSER_PACKAGES[@]}"
)

# What making and checking the Linux packages needs, beyond building.
TOWER_PACKAGE_PACKAGES=(python3 file dpkg-dev lintian desktop-file-utils libpng-dev
    xvfb xauth xdotool)
# What making the icon (on the pixel tests' offscreen GL) and the README's
# animation need, beyond building.
TOWER_PICTURE_PACKAGES=(libegl-dev libegl-mesa0 python3 imagemagick icoutils
    xvfb xauth xdotool webp)

# Start a private Xvfb with the given options (screen, extensions) and point
# DISPLAY at it. -displayfd lets the server pick a free display, so it never
# collides with anyone else's, and says when it accepts clients. XVFB_LIMIT
# (seconds, default 600) is a backstop should the caller be killed outright.
xvfb_start() {
    local fifo number=
    fifo=$(mktemp -u "${TMPDIR:-/tmp}/tower-xvfb.XXXXXX")
    mkfifo "$fifo"
    timeout -k 5 "${XVFB_LIMIT:-600}" Xvfb -displayfd 3 -nolisten tcp -noreset "$@" \
        3>"$fifo" >"$fifo.log" 2>&1 &
    XVFB_PID=$!
    read -r -t 10 number <"$fifo" || true
    [ -n "$number" ] || echo "Xvfb did not start: $(tail -3 "$fifo.log")" >&2
    rm -f "$fifo" "$fifo.log"
    [ -n "$number" ] || { xvfb_stop; return 1; }
    export DISPLAY=:$number
}

# End the server xvfb_start started, if it is still there.
xvfb_stop() {
    [ -n "${XVFB_PID:-}" ] || return 0
    kill -TERM "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
}

# Try to run a 32-bit x86 program: a 91-byte static ELF whose only code is
# exit(0). Succeeds where this machine executes 32-bit programs; otherwise
# prints what the kernel said ("Exec format error" where it has no 32-bit
# support at all). Trying is the only sure way: neither the CPU nor the
# distribution tells.
try_32bit_program() {
    # ELF, 32-bit, little-endian, version 1.
    local ident='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    # An i386 executable entered at 0x08048054, one program header at 52.
    local header='\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
    header+='\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
    # Load all 91 bytes at 0x08048000, readable and executable.
    local load='\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
    load+='\x5b\x00\x00\x00\x5b\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
    # xor eax,eax; inc eax (exit); xor ebx,ebx (status 0); int 0x80
    local code='\x31\xc0\x40\x31\xdb\xcd\x80'
    local probe=$TOWER_ROOT/build/exit0-i386
    mkdir -p "$TOWER_ROOT/build"
    printf '%b' "$ident$header$load$code" >"$probe"
    chmod +x "$probe"
    "$probe" 2>&1
}

# Choose the Windows build that Wine runs here, and install Wine for it.
# Sets WINE_ARCH (x86 or x64), WINE_LOADER, and WINE_WHY: why that build.
# The 32-bit build is the product, so it is the one run wherever this
# machine can; a machine that cannot run 32-bit programs runs
# the x64 build instead, and TOWER_WINE_ARCH=x64 asks for it anywhere. Any
# other trouble fails: a host limitation changes the build, never the verdict.
wine_choose() {
    local err
    WINE_ARCH=x86
    case ${TOWER_WINE_ARCH:-} in
    x64)
        WINE_ARCH=x64
        WINE_WHY="TOWER_WINE_ARCH=x64 asks for the x64 build"
        ;;
    '') ;;
    *)
        echo "TOWER_WINE_ARCH is '$TOWER_WINE_ARCH'; it can only be x64" >&2
        return 1
        ;;
    esac
    if [ "$WINE_ARCH" = x86 ] && ! err=$(try_32bit_program); then
        if [[ $err != *"Exec format error"* ]]; then
            echo "cannot tell whether this machine runs 32-bit programs: $err" >&2
            return 1
        fi
        WINE_ARCH=x64
        WINE_WHY="this machine cannot run 32-bit programs (Exec format error)"
    fi
    if [ "$WINE_ARCH" = x86 ]; then
        # Wine's 32-bit loader, and Mesa's GL and RandR beneath winex11, are
        # i386 packages.
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            as_root dpkg --add-architecture i386 || return 1
        fi
        ensure_packages wine wine32:i386 libgl1:i386 libgl1-mesa-dri:i386 libxrandr2:i386 ||
            return 1
        WINE_LOADER=/usr/lib/wine/wine
        WINE_WHY="this machine runs 32-bit programs"
        if ! err=$("$WINE_LOADER" --version 2>&1); then
            if [[ $err != *"Exec format error"* ]]; then
                echo "Wine's 32-bit loader fails: $err" >&2
                return 1
            fi
            WINE_ARCH=x64
            WINE_WHY="Wine's 32-bit loader cannot run here (Exec format error)"
        fi
    fi
    if [ "$WINE_ARCH" = x64 ]; then
        ensure_packages wine wine64 libgl1 libgl1-mesa-dri libxrandr2 || return 1
        WINE_LOADER=/usr/lib/wine/wine64
        if ! err=$("$WINE_LOADER" --version 2>&1); then
            echo "Wine's 64-bit loader fails: $err" >&2
            return 1
        fi
    fi
}

# Make a fresh Wine prefix at $1 for WINE_ARCH, so no earlier run's state
# leaks in, and export what every later Wine call needs. Without a window
# manager, Wine's managed windows stall two seconds on every destruction;
# unmanaged ones do not.
wine_prefix() {
    export WINEPREFIX=$1 WINELOADER=$WINE_LOADER WINEDEBUG=-all
    if [ "$WINE_ARCH" = x86 ]; then
        export WINEARCH=win32
    else
        export WINEARCH=win64
    fi
    rm -rf "$WINEPREFIX"
    (
        unset DISPLAY
        timeout -k 10 120 "$WINELOADER" wineboot -i &&
            timeout -k 10 60 "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' \
                /v Managed /d N /f &&
            timeout -k 10 60 wineserver -w
    ) || {
        timeout 20 wineserver -k 2>/dev/null || true
        return 1
    }
}
