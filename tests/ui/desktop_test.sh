#!/usr/bin/env bash
# The window on a real X desktop: a virtual screen (Xvfb) with a window manager (openbox).
# A fresh start must come up whole on the screen; after the user moved the window, five
# start/close cycles must bring it back with the same frame, to the pixel, title bar on
# the screen. Usage: desktop_test.sh PATH_TO_QUILLFEN. Exits 77 (skipped) without the tools.
set -uo pipefail

app=${1:?usage: desktop_test.sh PATH_TO_QUILLFEN}
# shellcheck source=desktop_lib.sh
source "$(dirname "$0")/desktop_lib.sh"

# The frame: "left top width height", from the client's place and the frame extents the
# window manager announces. Taken once two readings a moment apart agree.
frame() {
    local last="" now
    for _ in $(seq 50); do
        now=$(frame_once)
        [ -n "$now" ] && [ "$now" = "$last" ] && { echo "$now"; return; }
        last=$now
        sleep 0.2
    done
    echo "$last"
}
frame_once() {
    local info ext x y w h l r t b
    info=$(xwininfo -id "$wid" 2>/dev/null) || return
    ext=$(xprop -id "$wid" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ' ')
    [ -n "$ext" ] || return
    IFS=, read -r l r t b <<<"$ext"
    x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    w=$(sed -n 's/.*Width: *//p' <<<"$info")
    h=$(sed -n 's/.*Height: *//p' <<<"$info")
    echo "$((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))"
}

on_screen() { # left top width height: the whole frame on the screen
    (($1 >= 0 && $2 >= 0 && $1 + $3 <= screen_w && $2 + $4 <= screen_h))
}

start_app
first=$(frame)
echo "fresh start: frame $first"
# shellcheck disable=SC2086
on_screen $first || fail "a fresh start is not fully on the screen: $first"

# Put somewhere else, as a user would drag it.
xdotool windowmove --sync "$wid" 200 150 >/dev/null 2>&1 || xdotool windowmove "$wid" 200 150
sleep 0.5
placed=$(frame)
echo "moved to: frame $placed"
[ "$placed" != "$first" ] || fail "the window did not move"
close_app

for cycle in 1 2 3 4 5; do
    start_app
    now=$(frame)
    echo "start $cycle: frame $now"
    [ "$now" = "$placed" ] || fail "start $cycle: frame $now, was $placed"
    read -r _ top _ _ <<<"$now"
    ((top >= 0)) || fail "start $cycle: the title bar is above the screen ($now)"
    close_app
done
echo "PASS: five starts kept the frame at $placed"
