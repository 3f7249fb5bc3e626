# Shared by the scripts: installing what is missing and finding our way.
# shellcheck shell=bash

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
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What building and testing on Linux needs.
TOWER_BUILD_PACKAGES=(
    cmake make g++ pkg-config
    libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri libegl-mesa0 libglx-mesa0
    libx11-dev libxrandr-dev libxi-dev
)
TOWER_TEST_PACKAGES=(
    libgtest-dev libbenchmark-dev libglfw3-dev libsdl2-dev
    xvfb xauth xdotool x11-utils apitrace python3 valgrind
    g++-mingw-w64-i686-win32
)
