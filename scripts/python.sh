# Sourced by the scripts' bash entries: their work is Python, which a bare
# Debian lacks, so python3 comes first where it is missing.
# shellcheck shell=bash
if ! command -v python3 >/dev/null; then
    echo "Installing: python3"
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq &&
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 \
            install -y -qq --no-install-recommends python3 || exit 1
fi
