#!/usr/bin/env bash
# Builds the part of Qt that Tarnwell needs for 64-bit Windows, cross-compiled with MinGW-w64
# from Debian's own Qt source, and prints the folder it is installed in (the last line of output).
#
#   TARNWELL_QT_WINDOWS=DIR   use a ready Qt for Windows in DIR instead (nothing is built)
#   TARNWELL_CACHE=DIR        where the build is cached (default: ~/.cache/tarnwell)
#
# The result is kept and reused as long as the Qt version and this script and the toolchain file
# are unchanged, so it costs about 25 minutes on 2 cores the first time on a machine and nothing
# after. Needs: dpkg-dev, g++-mingw-w64-x86-64-posix, qt6-base-dev(-tools) for the host tools,
# cmake, ninja-build (./build.sh windows installs them).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
toolchain=$(cd "$here/../../cmake" && pwd)/mingw-w64-x86_64.cmake

if [ -n "${TARNWELL_QT_WINDOWS:-}" ]; then
    if [ ! -f "$TARNWELL_QT_WINDOWS/lib/cmake/Qt6/Qt6Config.cmake" ]; then
        echo "TARNWELL_QT_WINDOWS=$TARNWELL_QT_WINDOWS holds no Qt 6 (lib/cmake/Qt6/Qt6Config.cmake)" >&2
        exit 1
    fi
    echo "$TARNWELL_QT_WINDOWS"
    exit 0
fi

# The Qt of the build machine: its version is the one we build, its tools are the host tools.
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev | sed -E 's/^[0-9]+://; s/[+~-].*//')
stamp_text="qt6-base $qt_version; $(cat "$0" "$toolchain" | sha256sum | cut -c1-16)"
cache=${TARNWELL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarnwell}
prefix="$cache/qt-$qt_version-mingw-w64"
stamp="$prefix/.tarnwell-build"

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$stamp_text" ]; then
    echo "Qt for Windows: cached in $prefix" >&2
    echo "$prefix"
    exit 0
fi

# Source packages: the machine's own apt sources, the same entries again as deb-src.
ensure_source_entries() {
    local dir=/etc/apt/sources.list.d codename f
    if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list "$dir"; then
        return 0
    fi
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    for f in "$dir"/*.sources; do
        [ -e "$f" ] || continue
        awk -v cn="$codename" 'BEGIN { RS = ""; ORS = "\n\n" }
            /(^|\n)Types:[^\n]*deb/ && $0 ~ ("Suites:[^\n]*" cn) { print }' "$f" |
            sed -E 's/^Types:.*/Types: deb-src/'
    done >/tmp/tarnwell-deb-src.sources
    if [ -f /etc/apt/sources.list ]; then
        sed -nE "s/^deb (.* $codename[ -].*)/deb-src \1/p" /etc/apt/sources.list >/tmp/tarnwell-deb-src.list
    fi
    if [ -s /tmp/tarnwell-deb-src.sources ]; then mv /tmp/tarnwell-deb-src.sources "$dir/"; fi
    if [ -s /tmp/tarnwell-deb-src.list ]; then mv /tmp/tarnwell-deb-src.list "$dir/"; fi
    rm -f /tmp/tarnwell-deb-src.sources /tmp/tarnwell-deb-src.list
    if ! grep -rqsE '^(Types:.*deb-src|deb-src )' "$dir"; then
        echo "No apt source for $codename to derive a deb-src entry from" >&2
        exit 1
    fi
    apt-get update -qq
}

echo "Qt for Windows: building Qt $qt_version into $prefix (about 25 minutes on 2 cores)" >&2
ensure_source_entries
work="$cache/qt-$qt_version-work"
rm -rf "$work"
mkdir -p "$work"
(cd "$work" && apt-get source -qq qt6-base >&2)
src=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
[ -n "$src" ] || { echo "apt-get source qt6-base gave no source folder" >&2; exit 1; }

# With Direct2D off, the Windows platform plugin of Qt 6.4 still names the DirectWrite font
# database, which is then not built.
sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
    "$src/src/plugins/platforms/windows/qwindowsintegration.cpp"

rm -rf "$prefix"
mkdir -p "$work/build"
cd "$work/build"
"$src/configure" -prefix "$prefix" -release -shared -xplatform win32-g++ -qt-host-path /usr \
    -nomake examples -nomake tests -no-feature-network -no-feature-sql -no-feature-printsupport \
    -no-feature-xml -no-feature-concurrent -no-dbus -no-opengl -no-feature-vulkan \
    -no-feature-direct2d -no-feature-tabletevent -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg \
    -qt-harfbuzz -qt-freetype -qt-doubleconversion -no-icu -no-zstd -no-pch -- -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >&2
cmake --build . --parallel >&2
cmake --install . >&2
echo "$stamp_text" >"$stamp"
cd "$cache"
rm -rf "$work"
echo "Qt for Windows: installed in $prefix ($(du -sh "$prefix" | cut -f1))" >&2
echo "$prefix"
