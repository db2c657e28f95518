#!/usr/bin/env bash
# Builds Tarnwell and starts it, or builds it and runs every test.
#   ./build.sh start   build (release with debug info) and start the program
#   ./build.sh test    build with warnings as errors, run all tests, check the code style
#                      (clang-format, clang-tidy, clazy), with CI set also build, install, start and
#                      remove the Debian package (dist/package-check.sh), then run the tests again under
#                      AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz target
#                      for 20 seconds (the short kill test is among the tests)
#   ./build.sh reliability  the kill test at full size: 200 kills of a run over 2,000 files with a
#                      short text, and 200 kills of a run over 200 files with a text of 1 MiB
#   ./build.sh fuzz [SECONDS]  each fuzz target for SECONDS (default 600)
#   ./build.sh bench   build the release configuration and run the performance suite (bench/)
#   ./build.sh coverage  build with coverage, run the tests, print line and branch coverage of
#                      src/ per subsystem (gcovr)
#   ./build.sh windows cross-build for Windows with MinGW-w64 (Qt for Windows is built once and
#                      cached, see tools/windows/build-qt.sh), run every test program under Wine,
#                      pack the ZIP and the installer, read the program file's resources back,
#                      start the unpacked program under Wine on a virtual screen, install, start
#                      and uninstall the installed one there
# Installs the Debian packages it needs when they are missing (run as root on Debian 12).
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build ccache g++ qt6-base-dev qt6-base-dev-tools libgl-dev fonts-liberation xvfb xauth
          clang libclang-rt-14-dev util-linux
          clang-format clang-tidy clazy appstream desktop-file-utils dpkg-dev x11-utils imagemagick gcovr)

# What the benchmark needs besides the above: a session bus and the AT-SPI registry, for the window
# run with the accessibility bridge on (P1A).
bench_packages=(dbus-daemon at-spi2-core)

# What the Windows cross build needs besides the above: the compiler, Wine, apt-get source and
# the installer compiler (NSIS).
windows_packages=(cmake ninja-build ccache qt6-base-dev qt6-base-dev-tools dpkg-dev g++-mingw-w64-x86-64-posix
                  wine wine64 fonts-liberation xvfb xauth x11-utils imagemagick python3 nsis)

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# Every compile goes through ccache, whose cache lies with the machine's other caches: a new clone
# takes from it what an earlier one built (paths below the clone are hashed relative to it). The
# coverage build does not use it, so that its notes name the sources as gcov finds them.
export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/tarnwell/ccache}"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-5G}"
cached=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

run_tests() {
    local preset=$1
    cmake --preset "$preset" "${cached[@]}"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
}

# Builds the libFuzzer targets with clang and runs each for $1 seconds on a copy of its seed
# corpus (new inputs stay in build/fuzz/corpus, the committed seeds are left as they are).
run_fuzz() {
    local seconds=$1 target log runs
    cmake --preset fuzz "${cached[@]}"
    cmake --build --preset fuzz
    for target in reader search joinpath settings; do
        mkdir -p "build/fuzz/corpus/$target"
        log="build/fuzz/fuzz_$target.log"
        if ! ASAN_OPTIONS=detect_leaks=0 "build/fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=60 \
                -rss_limit_mb=4096 -artifact_prefix="build/fuzz/$target-" \
                "build/fuzz/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
            tail -n 40 "$log"
            echo "fuzz $target: FAILED (the input is in build/fuzz/$target-*)" >&2
            return 1
        fi
        runs=$(grep -oE 'Done [0-9]+ runs' "$log" | grep -oE '[0-9]+')
        echo "fuzz $target: $runs executions in ${seconds} s, no failure"
    done
}

# The code style: clang-format over the sources; clang-tidy and clazy (Qt's own analyser, its
# level 0 and 1 checks) over src/, every finding an error, with the compile commands of the given
# build tree.
check_style() {
    local build=$1 dir dirs=()
    for dir in src tests bench fuzz dist; do
        if [ -d "$dir" ]; then dirs+=("$dir"); fi
    done
    find "${dirs[@]}" \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run --Werror
    echo "clang-format: no changes needed"
    run-clang-tidy -p "$build" -j 2 -quiet "$PWD/src/" >"$build/clang-tidy.log" 2>&1 || {
        grep -E -A3 'warning:|error:' "$build/clang-tidy.log" >&2 || tail -n 40 "$build/clang-tidy.log" >&2
        echo "clang-tidy: FAILED (all output in $build/clang-tidy.log)" >&2
        return 1
    }
    echo "clang-tidy: no findings"
    local clazy_ok=1
    sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" | grep "^$PWD/src/" | sort -u |
        xargs -P 2 -n 1 clazy-standalone -p "$build" --checks=level0,level1 --header-filter="$PWD/src/" \
            >"$build/clazy.log" 2>&1 || clazy_ok=0
    if [ $clazy_ok -eq 0 ] || grep -q -E 'warning:|error:' "$build/clazy.log"; then
        grep -E -A3 'warning:|error:' "$build/clazy.log" >&2 || tail -n 40 "$build/clazy.log" >&2
        echo "clazy: FAILED (all output in $build/clazy.log)" >&2
        return 1
    fi
    echo "clazy: no findings"
}

# In CI only (it installs and removes a package): builds the .deb from the given tree, installs
# it, starts the installed program headless and checks it, then removes it (dist/package-check.sh).
check_package() {
    local build=$1
    if [ -z "${CI:-}" ]; then
        echo "package check: skipped (it installs a package; runs when CI is set)"
        return 0
    fi
    cmake --build "$build" --target tarnwell tarnwell_install_check
    dist/package-check.sh "$build" "$build/tests/tarnwell_install_check"
}

case "${1:-}" in
start)
    install_missing "${packages[@]}"
    cmake --preset default "${cached[@]}"
    cmake --build --preset default
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display found: starting Tarnwell on a virtual X server."
        exec xvfb-run -a build/default/bin/tarnwell
    fi
    exec build/default/bin/tarnwell
    ;;
test)
    install_missing "${packages[@]}"
    run_tests test
    check_style build/test
    check_package build/test
    run_tests asan
    run_fuzz 20
    ;;
reliability)
    install_missing "${packages[@]}"
    cmake --preset test "${cached[@]}"
    cmake --build --preset test --target tst_reliability_kill
    # Each variant takes minutes at this size: past Qt Test's watchdog (5 minutes a function).
    QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 LC_ALL=C.UTF-8 QTEST_FUNCTION_TIMEOUT=3600000 \
        TARNWELL_KILLS=200 TARNWELL_KILL_FILES=2000 TARNWELL_LONG_KILLS=200 TARNWELL_LONG_FILES=200 \
        build/test/tests/tst_reliability_kill
    ;;
fuzz)
    install_missing "${packages[@]}"
    run_fuzz "${2:-600}"
    ;;
bench)
    install_missing "${packages[@]}" "${bench_packages[@]}"
    cmake --preset default "${cached[@]}"
    cmake --build --preset default --target tarnwell_bench
    build/default/bin/tarnwell_bench "${@:2}"
    ;;
coverage)
    install_missing "${packages[@]}"
    find build/coverage -name '*.gcda' -delete 2>/dev/null || true
    cmake --preset coverage
    cmake --build --preset coverage
    tests_ok=1
    ctest --preset coverage || tests_ok=0
    # One pass of gcov over the build tree (CMake's own probes left out), then a summary per part.
    # Only the coverage tree is searched (elsewhere under build/, Wine's prefixes link to /).
    gcovr -r . --object-directory build/coverage --exclude-directories 'build/coverage/CMakeFiles' build/coverage \
        --filter 'src/' --exclude-unreachable-branches --exclude-throw-branches \
        --json -o build/coverage/coverage.json
    for part in trap files engine filelist look window ''; do
        echo "src/${part:-(all)}:"
        # The report goes to a file of its own: gcovr replaces its output file, even a device.
        gcovr -r . -a build/coverage/coverage.json --filter "src/${part:+$part/}" --print-summary \
            -o build/coverage/summary.txt |
            grep -E '^(lines|branches)' | sed 's/^/  /'
    done
    if [ $tests_ok -eq 0 ]; then
        echo "coverage: a test FAILED (see above); the figures are of the tests that ran" >&2
        exit 1
    fi
    ;;
windows)
    install_missing "${windows_packages[@]}"
    qt_windows=$(tools/windows/build-qt.sh | tail -n 1)
    cmake --preset windows-mingw -DCMAKE_PREFIX_PATH="$qt_windows" "${cached[@]}"
    cmake --build --preset windows-mingw
    tools/windows/run-tests.sh build/windows-mingw
    tools/windows/package-check.sh build/windows-mingw
    ;;
*)
    echo "usage: $0 start|test|reliability|fuzz [SECONDS]|bench [options]|coverage|windows" >&2
    exit 2
    ;;
esac
