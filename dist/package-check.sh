#!/usr/bin/env bash
# Builds the Debian package from a configured and built tree, installs it on this machine,
# starts the installed program headless at 100% and 200% scaling, checks that the window comes
# up with its skin and that the samples, the skin and the cursor are found, and removes the
# package again. Changes the system: run it as root on a machine where that is wanted (CI).
#   package-check.sh <build dir> <tarnwell_install_check>
# Leaves the package and the screenshots in <build dir>/package.
set -euo pipefail
build=$(cd "$1" && pwd)
checker=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
out=$build/package
tools=$(cd "$(dirname "$0")/../tools" && pwd)
export DEBIAN_FRONTEND=noninteractive

if dpkg-query -W -f='${Status}' tarnwell 2>/dev/null | grep -q "install ok installed"; then
    echo "package-check: a tarnwell package is installed already; remove it first" >&2
    exit 1
fi

rm -rf "$out"
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
deb=$(ls "$out"/tarnwell_*.deb)
echo "package: $deb"
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
for need in libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins fonts-liberation; do
    grep -q "\b$need\b" <<<"$depends" || { echo "FAIL the package does not depend on $need" >&2; exit 1; }
done

installed=0
cleanup() {
    if [ $installed = 1 ]; then
        apt-get remove -y -qq tarnwell >/dev/null && echo "package removed"
    fi
}
trap cleanup EXIT
apt-get install -y -qq "$deb" >/dev/null
installed=1
echo "package installed"

test "$(command -v tarnwell)" = /usr/bin/tarnwell
QT_QPA_PLATFORM=offscreen "$checker" /usr/bin/tarnwell | tee "$out/install-check.txt"
background=$(sed -n 's/^background #//p' "$out/install-check.txt")

fail=0
declare -A size
for scale in 1 2; do
    # The installed program, started through its link.
    if ! result=$(QT_SCALE_FACTOR=$scale xvfb-run -a -s "-screen 0 1600x1600x24 -dpi 96" \
        "$tools/window-shot.sh" "$out/tarnwell-${scale}x.png" 20 1 tarnwell); then
        echo "FAIL the installed program did not come up at scale $scale" >&2
        exit 1
    fi
    read -r w h pixel <<<"$result"
    echo "scale $scale: window ${w}x${h}, background #${pixel,,}, screenshot $out/tarnwell-${scale}x.png"
    size[$scale]="$w $h"
    if [ "${pixel,,}" != "$background" ]; then
        echo "FAIL at scale $scale the window shows #${pixel,,}, not the skin's #$background" >&2
        fail=1
    fi
done
read -r w1 h1 <<<"${size[1]}"
read -r w2 h2 <<<"${size[2]}"
if [ "$w1" -lt 500 ] || [ "$w2" -ne $((2 * w1)) ] || [ "$h2" -ne $((2 * h1)) ]; then
    echo "FAIL the window is ${w1}x${h1} at 100% and ${w2}x${h2} at 200%" >&2
    fail=1
fi
[ $fail = 0 ] && echo "package check passed"
exit $fail
