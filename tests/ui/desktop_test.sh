#!/usr/bin/env bash
# The window on a real X desktop: a virtual screen (Xvfb) with a window manager (openbox).
# A fresh start must come up whole on the screen; after the user moved the window, five
# start/close cycles must bring it back with the same frame, to the pixel, title bar on
# the screen. Usage: desktop_test.sh PATH_TO_QUILLFEN. Exits 77 (skipped) without the tools.
set -uo pipefail

app=${1:?usage: desktop_test.sh PATH_TO_QUILLFEN}
for tool in Xvfb openbox xdotool xprop xwininfo timeout; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is not installed (scripts/deps installs xvfb, openbox, xdotool, x11-utils)"
        exit 77
    fi
done

screen_w=1280 screen_h=1024
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

# A display number of Xvfb's own choice, so that parallel runs do not meet.
Xvfb -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" -nolisten tcp 3>"$work/display" \
    2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || fail "openbox did not start"

# The settings go to a folder of this run only.
export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS

app_pid=""
wid=""
start() {
    "$app" >"$work/app.log" 2>&1 &
    app_pid=$!
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quillfen 0\.621b$' | head -n1)
    [ -n "$wid" ] || fail "the window did not appear"
}

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

# Closed as a user closes it: the window manager's close key, then the program ends.
close() {
    xdotool windowactivate --sync "$wid" >/dev/null 2>&1
    xdotool key --clearmodifiers alt+F4
    for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid"
        fail "the window did not close"
    fi
    wait "$app_pid" 2>/dev/null
}

on_screen() { # left top width height: the whole frame on the screen
    (($1 >= 0 && $2 >= 0 && $1 + $3 <= screen_w && $2 + $4 <= screen_h))
}

start
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
close

for cycle in 1 2 3 4 5; do
    start
    now=$(frame)
    echo "start $cycle: frame $now"
    [ "$now" = "$placed" ] || fail "start $cycle: frame $now, was $placed"
    read -r _ top _ _ <<<"$now"
    ((top >= 0)) || fail "start $cycle: the title bar is above the screen ($now)"
    close
done
echo "PASS: five starts kept the frame at $placed"
