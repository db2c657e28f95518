#!/usr/bin/env bash
# Packs a Windows build as its ZIP, checks that the archive holds the program, its runtime and the
# files beside it and nothing else, unpacks it into a fresh Wine prefix, runs the start-up check
# against the unpacked program, then starts it there on a virtual screen, checks that its window
# comes up with the skin, takes a screenshot and closes it.
#   zip-check.sh <build dir>
# Leaves the archive and the screenshot in <build dir>/package.
set -euo pipefail
build=$(cd "$1" && pwd)
out=$build/package
tools=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$out"
mkdir -p "$out"
(cd "$build" && cpack -G ZIP -B "$out" >/dev/null)
zip=$(ls "$out"/Tarnwell-*-windows-x64.zip)
name=$(basename "$zip" .zip)
echo "zip: $zip ($(du -k "$zip" | cut -f1) KiB)"

# What the archive may hold, under <name>/bin/.
expected='^(tarnwell\.exe|Qt6(Core|Gui|Widgets)\.dll|lib(stdc\+\+-6|gcc_s_seh-1|winpthread-1)\.dll|platforms/qwindows\.dll|styles/qwindowsvistastyle\.dll|imageformats/qico\.dll|HAND-M\.CUR|x/o\.cjs|Samples/[^/]+)$'
listing=$(python3 -c 'import sys, zipfile; print("\n".join(n for n in zipfile.ZipFile(sys.argv[1]).namelist() if not n.endswith("/")))' "$zip")
unexpected=$(sed "s|^$name/bin/||" <<<"$listing" | grep -vE "$expected" || true)
if [ -n "$unexpected" ]; then
    echo "FAIL the archive holds files it should not:" >&2
    echo "$unexpected" >&2
    exit 1
fi
for need in tarnwell.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libstdc++-6.dll platforms/qwindows.dll \
    imageformats/qico.dll HAND-M.CUR x/o.cjs; do
    grep -qxF "$name/bin/$need" <<<"$listing" || { echo "FAIL the archive lacks bin/$need" >&2; exit 1; }
done
grep -q "^$name/bin/Samples/" <<<"$listing" || { echo "FAIL the archive has no samples" >&2; exit 1; }
echo "zip: $(wc -l <<<"$listing") files, all expected"

# A fresh prefix, the archive unpacked on its C: drive.
export WINEPREFIX=$out/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
# Wine has no Arial, which the window is laid out in; its metric twin stands in, as on Linux.
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d "Liberation Sans" /f >/dev/null 2>&1
wineserver -w
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$WINEPREFIX/drive_c"
program="C:\\$name\\bin\\tarnwell.exe"

# The start-up check against the unpacked program folder (the checker itself runs offscreen from
# the build tree); it prints the skinned window's background colour.
QT_QPA_PLATFORM=offscreen wine "$build/tests/tarnwell_install_check.exe" "$program" | tr -d '\r' |
    tee "$out/install-check.txt"
background=$(sed -n 's/^background #//p' "$out/install-check.txt")
# Wine's desktop process of that headless run would keep the next window off the screen.
wineserver -k || true
wineserver -w

result=$(STOP="wineserver -k" xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
    "$tools/window-shot.sh" "$out/tarnwell-wine.png" 60 2 wine "$program")
read -r w h pixel <<<"$result"
echo "zip: the unpacked program under Wine shows a ${w}x${h} window, background #${pixel,,}; screenshot $out/tarnwell-wine.png"
if [ "${pixel,,}" != "$background" ]; then
    echo "FAIL the window shows #${pixel,,}, not the skin's #$background" >&2
    exit 1
fi
echo "zip check passed"
