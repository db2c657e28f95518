#!/usr/bin/env bash
# Runs one Windows program of the build under Wine: CTest starts every test program through this
# (the windows-mingw preset's cross-compiling emulator). The Wine prefix is the build's own
# (WINEPREFIX, set by the test preset), made on first use.
#
# - The ANSI code page is Windows-1252: Wine takes it from the locale's name (en_US), and the
#   test programs check it (TARNWELL_EXPECT_ACP).
# - Wine hands no QT_* variable of the Linux side to Windows programs, so what the test programs
#   need is set in the prefix's own environment (HKCU\Environment): the offscreen platform, with
#   the Liberation fonts (Arial's metrics, as on Linux), and Qt's messages and test log on the
#   standard streams (without a console window Qt would send them to the debugger instead).
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:-$PWD/wine}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts when the prefix is made.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export TARNWELL_EXPECT_ACP=1252
mkdir -p "$WINEPREFIX"
(
    flock 9
    if [ ! -f "$WINEPREFIX/.tarnwell-ready" ]; then
        wineboot -i >/dev/null 2>&1
        fonts=$(winepath -w /usr/share/fonts/truetype/liberation 2>/dev/null)
        for setting in QT_QPA_PLATFORM=offscreen "QT_QPA_FONTDIR=$fonts" QT_FORCE_STDERR_LOGGING=1; do
            wine reg add 'HKCU\Environment' /v "${setting%%=*}" /d "${setting#*=}" /f >/dev/null 2>&1
        done
        wineserver -w
        touch "$WINEPREFIX/.tarnwell-ready"
    fi
) 9>"$WINEPREFIX/.tarnwell-lock"
exec env LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 wine "$@"
