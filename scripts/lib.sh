# Shared by the scripts: package installation and the CMake build.
# Sourced, not run.

VELA_SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# install_packages <list file>...: apt-get install whatever is not installed
# yet; apt-get update runs only when something is missing.
install_packages() {
    local missing=() pkg
    for pkg in $(grep -h -v -E '^\s*(#|$)' "$@"); do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    local sudo=
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -q || return 1
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# build_tree <dir> [cmake options...]: configure (once) and build.
build_tree() {
    local dir=$1
    shift
    local gen=()
    command -v ninja >/dev/null && gen=(-G Ninja)
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$VELA_SRC" -B "$dir" "${gen[@]}" "$@" || return 1
    fi
    cmake --build "$dir" -j "$(nproc)"
}
