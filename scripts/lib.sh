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
# What building the web page (preset web) and serving it need beyond cmake
# and make, and what showing it without a display adds (with
# puppeteer_install).
TOWER_WEB_PACKAGES=(emscripten node-acorn nodejs)
TOWER_BROWSER_PACKAGES=(chromium)
# What the tests and benchmarks add to it.
TOWER_TEST_PACKAGES=(
    libgtest-dev libbenchmark-dev libglfw3-dev libsdl2-dev libpng-dev
    xvfb xauth xdotool x11-utils x11-xkb-utils apitrace python3 valgrind
    openbox weston xwayland sway wtype grim x11-xserver-utils
    g++-mingw-w64-i686-win32
    "${TOWER_WEB_PACKAGES[@]}" "${TOWER_BROWSER_PACKAGES[@]}" firefox-esr
)

# puppeteer-core, as pinned in tests/web, into tests/web/node_modules and
# nowhere else; it drives the browsers installed above and downloads none.
# npm is Debian's unless a Node.js from elsewhere brought its own (which
# conflicts with Debian's npm package).
puppeteer_install() {
    command -v npm >/dev/null || ensure_packages npm || return 1
    (cd "$TOWER_ROOT/tests/web" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
}

# What packing the release files needs beyond building (git dates them by
# the last commit), what the .deb adds (cpack reads the program's libraries
# with file and dpkg-shlibdeps), and what checking the Linux packages adds.
TOWER_RELEASE_PACKAGES=(python3 git)
TOWER_DEB_PACKAGES=(file dpkg-dev)
TOWER_PACKAGE_PACKAGES=("${TOWER_RELEASE_PACKAGES[@]}" "${TOWER_DEB_PACKAGES[@]}"
    lintian desktop-file-utils libpng-dev xvfb xauth xdotool)
# What cross-compiling both Windows executables needs beyond cmake and make.
TOWER_WINDOWS_PACKAGES=(g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64)
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

# Make, once per Wine version, the folder through which 64-bit Wine runs
# 32-bit programs (WoW64), and set WINE_DLLPATH to it and WINE_LOADER to the
# loader in it. Debian ships the 32-bit Windows DLLs in libwine:i386, which
# holds no Linux program: it is fetched through a private apt list and cache,
# so this machine's apt state and architectures stay as they are, and only
# its i386-windows folder is unpacked. The .deb is kept beside the folder, so
# a folder lost later is made again without the network.
# Beside the DLLs: x86_64-unix, where their Unix halves are looked for
# (opengl32 fails without it), and a copy of the 64-bit loader that is also
# named wine, with the data folder where it expects it. Wine starts a 32-bit
# program with the loader called wine in its own loader's folder first; here
# that is the 64-bit one, never a 32-bit Wine this machine may also have.
wine_wow64_dlls() {
    local version cache dir
    version=$(dpkg-query -W -f='${Version}' libwine:amd64) || return 1
    cache=$TOWER_ROOT/build/wine-wow64
    dir=$cache/${version//[^A-Za-z0-9.+-]/_}
    WINE_DLLPATH=$dir
    WINE_LOADER=$dir/lib/wine/wine64
    mkdir -p "$cache"
    (
        set -o pipefail
        # Two runs in one tree make the folder once.
        flock 9
        [ -d "$dir" ] && exit 0
        find_deb() {
            local f
            for f in "$cache"/libwine_*_i386.deb; do
                [ "$(dpkg-deb -f "$f" Version 2>/dev/null)" = "$version" ] && echo "$f" && return
            done
            return 1
        }
        if ! deb=$(find_deb); then
            echo "Fetching libwine:i386 $version for WoW64 (about 95 MB)"
            apt=(apt-get -qq -o APT::Architectures::=amd64 -o APT::Architectures::=i386
                -o Dir::State::Lists="$cache/apt/lists" -o Dir::Cache="$cache/apt/cache"
                -o Acquire::Languages=none -o APT::Sandbox::User=root)
            mkdir -p "$cache/apt/lists/partial" "$cache/apt/cache/archives/partial"
            if ! "${apt[@]}" update || ! (cd "$cache" && "${apt[@]}" download "libwine:i386=$version") ||
                ! deb=$(find_deb); then
                echo "cannot fetch libwine:i386 $version" >&2
                exit 1
            fi
        fi
        # Other versions, the apt lists and a folder left half made only take room.
        find "$cache" -mindepth 1 -maxdepth 1 ! -name lock ! -name "$(basename "$deb")" \
            -exec rm -rf {} +
        part=$dir.part
        if ! { mkdir -p "$part" && dpkg-deb --fsys-tarfile "$deb" |
            tar -x -C "$part" --strip-components=5 ./usr/lib/i386-linux-gnu/wine/i386-windows &&
            [ -f "$part/i386-windows/ntdll.dll" ] &&
            ln -s /usr/lib/x86_64-linux-gnu/wine/x86_64-unix "$part/x86_64-unix" &&
            mkdir -p "$part/lib/wine" "$part/share" &&
            cp /usr/lib/wine/wine64 "$part/lib/wine/wine64" &&
            ln -s wine64 "$part/lib/wine/wine" &&
            ln -s /usr/share/wine "$part/share/wine" && mv "$part" "$dir"; }; then
            echo "cannot unpack $deb" >&2
            exit 1
        fi
    ) 9>"$cache/lock"
}

# In the prefix just made, succeed where 64-bit Wine runs 32-bit code
# through WoW64; otherwise print what happened. A 32-bit cmd must end with
# the status it is told to, and Wine must say that it ran it through WoW64.
# Return 1 where this machine refuses that 32-bit code; 2 for anything else:
# a broken Wine (a 64-bit cmd before it tells), or a 32-bit cmd that Wine ran
# some other way.
wine_wow64_probe() {
    local -x WINEDEBUG=-all,err+environ DISPLAY=
    local out rc=0
    out=$(timeout -k 10 60 "$WINELOADER" cmd /c exit 3 2>&1) || rc=$?
    if [ "$rc" != 3 ]; then
        timeout 20 wineserver -k 2>/dev/null
        echo "64-bit Wine fails (cmd ended with $rc): $(tail -2 <<<"$out")"
        return 2
    fi
    rc=0
    out=$(timeout -k 10 60 "$WINELOADER" 'C:\windows\syswow64\cmd.exe' /c exit 3 2>&1) || rc=$?
    timeout 20 wineserver -w || timeout 20 wineserver -k 2>/dev/null
    if [ "$rc" != 3 ]; then
        echo "its 32-bit cmd ended with $rc: $(tail -2 <<<"$out")"
        return 1
    fi
    if ! grep -q 'cmd.exe" in experimental wow64 mode' <<<"$out"; then
        echo "Wine ran its 32-bit cmd, but did not say that it was through WoW64: $out"
        return 2
    fi
}

# Choose how Wine runs tower.exe here, and install what that needs. Sets
# WINE_MODE, WINE_ARCH (the build: x86 or x64), WINE_WHAT (the build and the
# Wine, in words), WINE_LOADER, WINE_DLLPATH (empty but for wow64) and
# WINE_WHY. The 32-bit build is the product, so it is what runs wherever it
# can, in order:
#   i686   under 32-bit Wine, where this machine runs 32-bit programs;
#   wow64  under 64-bit Wine, which runs it in a 64-bit process through WoW64;
#   x64    the x64 build, only where WoW64 cannot run 32-bit code either:
#          wine_prefix tries WoW64 in the prefix it makes, and comes here.
# TOWER_WINE_ARCH=i686, wow64 or x64 asks for one anywhere; a way asked for
# that cannot run fails. Any other trouble fails: a host limitation changes
# the way, never the verdict.
wine_choose() {
    local err
    WINE_MODE=${TOWER_WINE_ARCH:-} WINE_DLLPATH='' WINE_WHY=''
    case $WINE_MODE in
    i686 | wow64 | x64) WINE_WHY="TOWER_WINE_ARCH=$WINE_MODE asks for it" ;;
    '') ;;
    *)
        echo "TOWER_WINE_ARCH is '$TOWER_WINE_ARCH'; it can be i686, wow64 or x64" >&2
        return 1
        ;;
    esac
    if [ -z "$WINE_MODE" ] || [ "$WINE_MODE" = i686 ]; then
        if err=$(try_32bit_program); then
            # Wine's 32-bit loader, and Mesa's GL and RandR beneath winex11,
            # are i386 packages.
            if ! dpkg --print-foreign-architectures | grep -qx i386; then
                as_root dpkg --add-architecture i386 || return 1
            fi
            ensure_packages wine wine32:i386 libgl1:i386 libgl1-mesa-dri:i386 libxrandr2:i386 ||
                return 1
            WINE_LOADER=/usr/lib/wine/wine
            if err=$("$WINE_LOADER" --version 2>&1); then
                WINE_MODE=i686
                WINE_WHY=${WINE_WHY:-this machine runs 32-bit programs}
            elif [[ $err == *"Exec format error"* && -z $WINE_MODE ]]; then
                WINE_WHY="Wine's 32-bit loader cannot run here (Exec format error)"
            else
                echo "Wine's 32-bit loader fails: $err" >&2
                return 1
            fi
        elif [ -n "$WINE_MODE" ]; then
            echo "TOWER_WINE_ARCH=i686, but this machine cannot run 32-bit programs: $err" >&2
            return 1
        elif [[ $err == *"Exec format error"* ]]; then
            WINE_WHY="this machine cannot run 32-bit programs (Exec format error)"
        else
            echo "cannot tell whether this machine runs 32-bit programs: $err" >&2
            return 1
        fi
    fi
    if [ "$WINE_MODE" != i686 ]; then
        ensure_packages wine wine64 libgl1 libgl1-mesa-dri libxrandr2 || return 1
        if ! err=$(/usr/lib/wine/wine64 --version 2>&1); then
            echo "Wine's 64-bit loader fails: $err" >&2
            return 1
        fi
    fi
    case $WINE_MODE in
    i686) WINE_ARCH=x86 WINE_WHAT="the 32-bit build under 32-bit Wine" ;;
    x64) wine_x64 ;;
    *)
        wine_wow64_dlls || return 1
        WINE_MODE=wow64 WINE_ARCH=x86 WINE_WHAT="the 32-bit build under 64-bit Wine, through WoW64"
        ;;
    esac
}

# Set what wine_choose sets for the x64 build.
wine_x64() {
    WINE_MODE=x64 WINE_ARCH=x64 WINE_WHAT="the x64 build under 64-bit Wine"
    WINE_LOADER=/usr/lib/wine/wine64 WINE_DLLPATH=''
}

# Make a fresh Wine prefix at $1 for what wine_choose chose, so no earlier
# run's state leaks in, and export what every later Wine call needs. For
# wow64, WoW64 is tried in it first; where it cannot run 32-bit code and no
# way was asked for, the x64 build is chosen instead, WINE_WHY says why, and
# the prefix is made again for it. Without a window manager, Wine's managed
# windows stall two seconds on every destruction; unmanaged ones do not.
wine_prefix() {
    local err rc=0
    export WINEPREFIX=$1 WINELOADER=$WINE_LOADER WINEDEBUG=-all WINEARCH=win64
    [ "$WINE_MODE" = i686 ] && WINEARCH=win32
    if [ -n "$WINE_DLLPATH" ]; then
        export WINEDLLPATH=$WINE_DLLPATH
    else
        unset WINEDLLPATH
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
    [ "$WINE_MODE" = wow64 ] || return 0
    err=$(wine_wow64_probe) || rc=$?
    if [ "$rc" = 0 ]; then
        return 0
    elif [ "$rc" = 1 ] && [ -z "${TOWER_WINE_ARCH:-}" ]; then
        WINE_WHY+=", and 64-bit Wine cannot run 32-bit code through WoW64 either: $err"
        wine_x64
        wine_prefix "$1"
    else
        [ "$rc" = 2 ] || err="WoW64 cannot run here: $err"
        echo "$err" >&2
        return 1
    fi
}
