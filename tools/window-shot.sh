#!/usr/bin/env bash
# Starts the program on the current X display, waits for its window, takes a screenshot of the
# screen and ends the program. Prints "<width> <height> <pixel at (3,3) of the window>", so that a
# check can compare the window's size and its skin's background.
#   window-shot.sh <shot.png> <seconds to wait> <seconds to paint> <command...>
# STOP names a command that ends the program instead of a kill of its process (Wine: wineserver -k).
set -euo pipefail
shot=$1 wait=$2 paint=$3
shift 3
"$@" >"$shot.log" 2>&1 &
pid=$!
disown "$pid" # its end is no news
stop() {
    if [ -n "${STOP:-}" ]; then $STOP || true; else kill "$pid" 2>/dev/null || true; fi
}
for _ in $(seq $((wait * 5))); do
    xwininfo -name Tarnwell >/dev/null 2>&1 && break
    sleep 0.2
done
sleep "$paint"
if ! info=$(xwininfo -name Tarnwell 2>/dev/null); then
    echo "no window named Tarnwell came up; the program said:" >&2
    cat "$shot.log" >&2
    stop
    exit 1
fi
import -window root "$shot"
stop
x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
w=$(sed -n 's/.*Width: *//p' <<<"$info")
h=$(sed -n 's/.*Height: *//p' <<<"$info")
pixel=$(convert "$shot" -format "%[hex:p{$((x + 3)),$((y + 3))}]" info:)
echo "$w $h ${pixel:0:6}"
