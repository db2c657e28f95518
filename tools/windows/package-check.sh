#!/usr/bin/env bash
# Packs a Windows build as its ZIP and its installer and checks both under Wine.
#   package-check.sh <build dir>
#
# Both hold exactly the files of one list (dist/windows/package-files.txt plus bundle/).
# ZIP: unpacked into a fresh Wine prefix; the program file's version information, icon and
# manifest are read back (program-file-check.py); the start-up check runs against the unpacked
# program; the program is started on a virtual screen, its window must show the skin, and a
# screenshot is kept.
# Installer: installed silently for the current user into another fresh prefix; the installed
# files, the Start-menu shortcut and the entry under installed apps are checked; the program is
# started through the shortcut (window, skin, screenshot); it is uninstalled silently, and nothing
# of it may be left but the settings it wrote.
# Leaves the packages, the screenshots and the prefixes in <build dir>/package.
set -euo pipefail
build=$(cd "$1" && pwd)
out=$build/package
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
rm -rf "$out"
mkdir -p "$out"

fail() {
    echo "FAIL $*" >&2
    exit 1
}

if ! (cd "$build" && cpack -G 'ZIP;NSIS' -B "$out" >"$out/cpack.log" 2>&1); then
    cat "$out/cpack.log" >&2
    find "$out/_CPack_Packages" -name NSISOutput.log -exec tail -n 30 {} \; >&2
    fail "cpack could not pack the build"
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=Tarnwell-$version-windows-x64
zip=$out/$name.zip
setup=$out/$name.exe
[ -f "$zip" ] && [ -f "$setup" ] || fail "cpack made no $name.zip and $name.exe"

# The one list of what both carry, sorted.
expected=$(
    grep -v '^#' "$source_dir/dist/windows/package-files.txt"
    (cd "$source_dir/bundle" && find . -type f | sed 's|^\./|bin/|')
)
expected=$(sort <<<"$expected")
# Compares a listing (one relative path a line) with the list; prints the differences.
same_files() {
    local what=$1 listing
    listing=$(sort <<<"$2")
    if [ "$listing" != "$expected" ]; then
        echo "FAIL $what does not hold the package's files (< missing, > not in the list):" >&2
        diff <(echo "$expected") <(echo "$listing") | grep '^[<>]' >&2
        exit 1
    fi
}

# A fresh prefix with Arial's metric twin standing in for it, as on Linux; the second one is a
# copy made before anything ran in the first, which spares a second start of Wine's setup.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
zip_prefix=$out/wine-zip
setup_prefix=$out/wine-installer
WINEPREFIX=$zip_prefix wineboot -i >/dev/null 2>&1
WINEPREFIX=$zip_prefix wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d "Liberation Sans" /f \
    >/dev/null 2>&1
WINEPREFIX=$zip_prefix wineserver -w
cp -a "$zip_prefix" "$setup_prefix"

# Starts `command...` on a virtual screen, takes a screenshot and checks that the window shows the
# skin's background; prints "<width>x<height> window, background #<colour>".
show_window() {
    local shot=$1 background=$2 result w h pixel
    shift 2
    result=$(STOP="wineserver -k" xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
        "$source_dir/tools/window-shot.sh" "$shot" 60 2 "$@")
    read -r w h pixel <<<"$result"
    [ "${pixel,,}" = "$background" ] || fail "the window shows #${pixel,,}, not the skin's #$background"
    echo "${w}x${h} window, background #${pixel,,}"
}

# ---- ZIP
export WINEPREFIX=$zip_prefix
echo "zip: $zip ($(du -k "$zip" | cut -f1) KiB)"
listing=$(python3 -c 'import sys, zipfile; print("\n".join(n for n in zipfile.ZipFile(sys.argv[1]).namelist() if not n.endswith("/")))' "$zip")
same_files "the archive" "$(sed -n "s|^$name/||p" <<<"$listing")"
[ "$(grep -vc "^$name/" <<<"$listing")" = 0 ] || fail "the archive holds files outside $name/"
echo "zip: $(wc -l <<<"$listing") files, those of dist/windows/package-files.txt and bundle/"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$WINEPREFIX/drive_c"
python3 "$here/program-file-check.py" "$WINEPREFIX/drive_c/$name/bin/tarnwell.exe" "$version" \
    "$source_dir/src/look/icons/tarnwell.ico"
program="C:\\$name\\bin\\tarnwell.exe"

# The start-up check against the unpacked program folder (the checker itself runs offscreen from
# the build tree); it prints the skinned window's background colour.
QT_QPA_PLATFORM=offscreen wine "$build/tests/tarnwell_install_check.exe" "$program" | tr -d '\r' |
    tee "$out/install-check.txt"
background=$(sed -n 's/^background #//p' "$out/install-check.txt")
# Wine's desktop process of that headless run would keep the next window off the screen.
wineserver -k || true
wineserver -w
shown=$(show_window "$out/tarnwell-wine.png" "$background" wine "$program")
echo "zip: the unpacked program under Wine shows a $shown; screenshot $out/tarnwell-wine.png"
echo "zip check passed"

# ---- Installer
export WINEPREFIX=$setup_prefix
echo "installer: $setup ($(du -k "$setup" | cut -f1) KiB)"
wine "$setup" /S || fail "the silent install ended with $?"
wineserver -w
entry_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnwell'
entry=$(wine reg query "$entry_key" 2>/dev/null | tr -d '\r') || fail "no entry under installed apps ($entry_key)"
value() { sed -n "s/^ *$1 *REG_[A-Z_]* *//p" <<<"$entry"; }
location=$(value InstallLocation)
installed=$(winepath -u "$location" 2>/dev/null)
[ -n "$location" ] && [ -d "$installed" ] || fail "the entry names no installed folder: '$location'"
[ "$(value DisplayName)|$(value DisplayVersion)|$(value Publisher)" = "Tarnwell|$version|Kestrelby" ] ||
    fail "the installed-apps entry says: $entry"
[ "$(value DisplayIcon)" = "$location\\bin\\tarnwell.exe,0" ] || fail "the entry's icon is $(value DisplayIcon)"
files=$(cd "$installed" && find . -type f | sed 's|^\./||')
same_files "the installed folder (but Uninstall.exe)" "$(grep -vx 'Uninstall.exe' <<<"$files")"
grep -qx 'Uninstall.exe' <<<"$files" || fail "no uninstaller in $location"
echo "installer: installed for the current user into $location: $(wc -l <<<"$files") files, the package's and Uninstall.exe"
echo "installer: installed apps: \"$(value DisplayName)\" $(value DisplayVersion), publisher $(value Publisher), icon $(value DisplayIcon)"

programs=$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')\\Microsoft\\Windows\\Start\ Menu\\Programs
shortcut=$(winepath -u "$programs\\Tarnwell.lnk")
[ -f "$shortcut" ] || fail "no Start-menu shortcut $programs\\Tarnwell.lnk"
grep -aqF "$location\\bin\\tarnwell.exe" "$shortcut" || fail "the shortcut does not lead to $location\\bin\\tarnwell.exe"
echo "installer: Start-menu shortcut $programs\\Tarnwell.lnk -> $location\\bin\\tarnwell.exe"
shown=$(show_window "$out/tarnwell-installed.png" "$background" wine start /unix "$shortcut")
echo "installer: started through the shortcut, the program shows a $shown; screenshot $out/tarnwell-installed.png"
wineserver -w

settings_key='HKCU\Software\Kestrelby\Tarnwell'
wine reg query "$settings_key" >/dev/null 2>&1 || fail "the started program wrote no settings ($settings_key)"
wine "$location\\Uninstall.exe" /S || fail "the silent uninstall ended with $?"
wineserver -w # the uninstaller runs on from a copy of itself
left=$( (find "$installed" -mindepth 1 2>/dev/null || true) | wc -l)
[ "$left" = 0 ] || fail "the uninstaller left $left files and folders in $installed: $(find "$installed" -mindepth 1)"
[ ! -e "$installed" ] || fail "the uninstaller left the folder $location"
[ ! -e "$shortcut" ] || fail "the uninstaller left the Start-menu shortcut"
! wine reg query "$entry_key" >/dev/null 2>&1 || fail "the uninstaller left the installed-apps entry"
wine reg query "$settings_key" >/dev/null 2>&1 || fail "the uninstaller removed the user's settings"
echo "installer: uninstalled: folder, shortcut and installed-apps entry gone, the user's settings kept"
echo "installer: installed, started, shortcut present, uninstalled, files left: $left"
echo "installer check passed"
