#!/usr/bin/env bash
# Runs one Windows program of the build under Wine: CTest starts every test program through this
# (the windows-mingw preset's cross-compiling emulator). The Wine prefix is the build's own
# (WINEPREFIX, set by the test preset), made on first use; its ANSI code page is Windows-1252,
# which the test programs check (TARNWELL_EXPECT_ACP).
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:-$PWD/wine}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts when the prefix is made.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# An English locale gives Windows-1252 as the ANSI code page.
export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
export TARNWELL_EXPECT_ACP=1252
mkdir -p "$WINEPREFIX"
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
) 9>"$WINEPREFIX/.tarnwell-lock"
exec wine "$@"
