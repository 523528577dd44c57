#!/usr/bin/env bash
# The project's one entry point; works on a fresh Debian machine as root.
#   ./build.sh demo    build, then a whole download against the simulated box
#   ./build.sh test    build, then every test
#   ./build.sh tsan    the threaded parts under ThreadSanitizer (build-tsan/)
#   ./build.sh asan    every test under AddressSanitizer and UBSan (build-asan/; `asan core`:
#                      all but the desktop programs and the command line's end-to-end runs)
#   ./build.sh fuzz    every decoder of outside input under libFuzzer, FUZZ_SECONDS in all
#   ./build.sh format  clang-format every source file in place (format-check: only check)
#   ./build.sh package the Debian packages build/stavel_*.deb and build/stavel-desktop_*.deb
set -euo pipefail
cd "$(dirname "$0")"

jobs=$(nproc)

# Where ccache is installed, rebuilds of the same sources (another folder, another sanitizer
# run) come from its cache; paths are hashed relative to this folder, so a fresh clone hits too.
launcher=()
if command -v ccache >/dev/null 2>&1; then
    export CCACHE_BASEDIR="$PWD"
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

configure_and_build() {  # folder, extra cmake flags... [-- targets...]
    local dir=$1
    shift
    local flags=() targets=()
    while (($#)) && [ "$1" != "--" ]; do
        flags+=("$1")
        shift
    done
    if (($#)); then
        shift
        targets=(--target "$@")
    fi
    cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "${flags[@]}" >"$dir.configure.log" 2>&1 || {
        cat "$dir.configure.log"
        exit 1
    }
    cmake --build "$dir" -j "$jobs" "${targets[@]}"
}

run_ctest() {  # folder, extra ctest flags...
    local dir=$1
    shift
    # A test that fails is run once more before the run fails: two end-to-end tests running side
    # by side can still meet on one pseudo-terminal number (one's slot reopening a line that has
    # gone just as the other makes a new one), which says nothing about either. A real fault
    # fails twice.
    (cd "$dir" && ctest --output-on-failure --timeout 600 -j "$jobs" --repeat until-pass:2 "$@")
}

sources() { git ls-files '*.cpp' '*.h'; }

# Line tables only (-g1): a backtrace and a debugger's stepping need no more, and writing the
# full debug information of the templates is a large part of a build (CI builds three trees
# from nothing). The packages are stripped either way.
# Each target's sources are compiled a batch at a time (STAVEL_UNITY): the standard library's,
# GoogleTest's, JSON's and wxWidgets' headers are then read once a batch rather than once a
# file, and a tree builds from nothing in about a third of the time. A build configured by hand
# compiles file by file, so a source that leans on its batch's includes is still caught.
main_flags=(-DSTAVEL_UNITY=ON -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")
# Sanitizer builds compile at -O1: they are built on every CI run too.
sanitizer_flags=(-DSTAVEL_UNITY=ON -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")

case "${1:-}" in
demo)
    ./scripts/install-deps.sh
    configure_and_build build "${main_flags[@]}" -- stavel
    ./scripts/demo.sh build "${@:2}"
    ;;
test)
    ./scripts/install-deps.sh
    configure_and_build build "${main_flags[@]}"
    run_ctest build
    ;;
tsan)
    ./scripts/install-deps.sh
    # The threads meet in the serial link, the UI queue, the protocol that reads the ring, the
    # station's supervisor, a slot's channel, the capture's writer, the database's writer and the
    # power switches' threads.
    configure_and_build build-tsan -DSTAVEL_SANITIZE=thread -DSTAVEL_WITH_WX=OFF "${sanitizer_flags[@]}" \
        -- test_serial test_platform_host test_platform_comm test_platform_ports \
        test_platform_window test_platform_codepage test_download test_app test_station test_slot \
        test_mqtt test_capture test_store test_power
    run_ctest build-tsan -L 'serial|platform|download|app|station|slot|mqtt|capture|store|power'
    ;;
asan)
    ./scripts/install-deps.sh
    # The speed measurements are not run here, so they are not built either. `asan core`
    # leaves out the desktop programs with their window tests, and the command line's
    # end-to-end runs, whose code the in-memory tests drive too: CI's time is bounded, and a
    # change to either is checked by a plain `asan` before it lands.
    whole=ON
    if [ "${2:-}" = core ]; then
        whole=OFF
    fi
    configure_and_build build-asan -DSTAVEL_SANITIZE=address -DSTAVEL_WITH_BENCH=OFF \
        -DSTAVEL_WITH_WX="$whole" -DSTAVEL_WITH_CLI_RUNS="$whole" "${sanitizer_flags[@]}"
    run_ctest build-asan
    ;;
fuzz)
    ./scripts/install-deps.sh
    ./scripts/fuzz.sh
    ;;
package)
    ./scripts/install-deps.sh package
    # In the folder the tests use: after `./build.sh test` nothing is compiled again.
    configure_and_build build "${main_flags[@]}" -- stavel_shipped
    # A package of another version left beside these would be installed with them.
    rm -f build/stavel_*.deb build/stavel-desktop_*.deb
    (cd build && cpack -G DEB >cpack.log 2>&1) || {
        cat build/cpack.log
        exit 1
    }
    ls build/stavel_*.deb build/stavel-desktop_*.deb
    ;;
format)
    sources | xargs clang-format -i
    ;;
format-check)
    sources | xargs clang-format --dry-run --Werror
    ;;
*)
    sed -n '2,9p' "$0"
    exit 2
    ;;
esac
