#!/usr/bin/env bash
# Installs the build tree into a scratch folder (DESTDIR, prefix /usr) and checks the layout:
# the program folder with the files beside the program, the relative link on the PATH, the
# desktop file, the metainfo and the icons; then runs the install checker through the link.
#   check-install-tree.sh <build dir> <tarnwell_install_check>
set -euo pipefail
build=$1
checker=$2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null

fail=0
expect() { # expect <description> <test...>
    local what=$1
    shift
    if "$@"; then echo "ok   $what"; else echo "FAIL $what"; fail=1; fi
}
root=$stage/usr
expect "program file" test -x "$root/lib/tarnwell/tarnwell"
expect "samples beside it" test -n "$(ls -A "$root/lib/tarnwell/Samples" 2>/dev/null)"
expect "skin beside it" cmp -s "$source_dir/bundle/x/o.cjs" "$root/lib/tarnwell/x/o.cjs"
expect "cursor beside it" cmp -s "$source_dir/bundle/HAND-M.CUR" "$root/lib/tarnwell/HAND-M.CUR"
expect "bin/tarnwell is a relative link" test "$(readlink "$root/bin/tarnwell")" = ../lib/tarnwell/tarnwell
expect "the link reaches the program" test "$(readlink -f "$root/bin/tarnwell")" = "$(readlink -f "$root/lib/tarnwell/tarnwell")"
expect "desktop file" cmp -s "$source_dir/dist/com.kestrelby.Tarnwell.desktop" "$root/share/applications/com.kestrelby.Tarnwell.desktop"
expect "metainfo" cmp -s "$source_dir/dist/com.kestrelby.Tarnwell.metainfo.xml" "$root/share/metainfo/com.kestrelby.Tarnwell.metainfo.xml"
for size in 16 24 32 48 64 128 256; do
    expect "icon ${size}x${size}" cmp -s "$source_dir/src/look/icons/tarnwell-$size.png" \
        "$root/share/icons/hicolor/${size}x${size}/apps/com.kestrelby.Tarnwell.png"
done
# Nothing else may land in the tree unannounced (a stray file would ship in the package).
unexpected=$(cd "$root" && find . \( -type f -o -type l \) | grep -v -E '^\./(lib/tarnwell/|bin/tarnwell$|share/(applications|metainfo)/com\.kestrelby\.Tarnwell\.|share/icons/hicolor/[0-9]+x[0-9]+/apps/com\.kestrelby\.Tarnwell\.png$)' || true)
expect "no other files installed${unexpected:+: $unexpected}" test -z "$unexpected"

"$checker" "$root/bin/tarnwell" || fail=1
exit $fail
