#!/usr/bin/env bash
# Builds Tarnwell and starts it, or builds it and runs every test.
#   ./build.sh start   build (release with debug info) and start the program
#   ./build.sh test    build with warnings as errors, run all tests, then again under
#                      AddressSanitizer and UndefinedBehaviorSanitizer
# Installs the Debian packages it needs when they are missing (run as root on Debian 12).
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libgl-dev fonts-liberation xvfb xauth)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

run_tests() {
    local preset=$1
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
}

case "${1:-}" in
start)
    install_missing
    cmake --preset default
    cmake --build --preset default
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display found: starting Tarnwell on a virtual X server."
        exec xvfb-run -a build/default/bin/tarnwell
    fi
    exec build/default/bin/tarnwell
    ;;
test)
    install_missing
    run_tests test
    run_tests asan
    ;;
*)
    echo "usage: $0 start|test" >&2
    exit 2
    ;;
esac
