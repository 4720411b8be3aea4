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

# build_tree <dir> [cmake options...]: configure and build. The options are
# applied on every call, so a folder configured otherwise before (say with
# the tests off) is brought to what the caller asked for.
build_tree() {
    local dir=$1
    shift
    local gen=()
    if [ ! -f "$dir/CMakeCache.txt" ] && command -v ninja >/dev/null; then
        gen=(-G Ninja)
    fi
    cmake -S "$VELA_SRC" -B "$dir" "${gen[@]}" "$@" >/dev/null || return 1
    cmake --build "$dir" -j "$(nproc)"
}

# defined_tests <unit|interop>: how many test cases the test sources define
# (each TEST, TEST_F, TEST_P ... macro once; parameters only add to this).
defined_tests() {
    local files
    if [ "$1" = interop ]; then
        files=$(find "$VELA_SRC/tests" -name '*_interop_test.cpp')
    else
        files=$(find "$VELA_SRC/tests" -name '*_test.cpp' ! -name '*_interop_test.cpp')
    fi
    # shellcheck disable=SC2086
    cat $files | grep -c -E '^(TEST|TEST_F|TEST_P|TYPED_TEST|TYPED_TEST_P)\('
}

# check_test_count <build dir> <label>: fails when ctest finds fewer tests
# with the label than the sources define (a test binary that was not built
# or whose tests could not be listed), so that no run passes on missing tests.
check_test_count() {
    local found expected
    found=$(ctest --test-dir "$1" -N -L "$2" | sed -n 's/^Total Tests: //p')
    expected=$(defined_tests "$2")
    echo "-- $2 tests: ctest found ${found:-0}, the sources define $expected"
    if [ "${found:-0}" -lt "$expected" ]; then
        echo "ctest found fewer $2 tests in $1 than the sources define" >&2
        return 1
    fi
}
