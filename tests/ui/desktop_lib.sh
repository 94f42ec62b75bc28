# Shared by the desktop tests: a virtual screen (Xvfb) with a window manager (openbox), the
# program started on it and found by its title. Source it; it sets DISPLAY, $work, and
# provides fail, start_app and close_app. Exits 77 (skipped) without the tools.
for tool in Xvfb openbox xdotool xprop xwininfo timeout "$@"; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is not installed (scripts/deps installs it)"
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
start_app() { # [ARGS...]
    "$app" "$@" >"$work/app.log" 2>&1 &
    app_pid=$!
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quillfen 0\.621b$' | head -n1)
    [ -n "$wid" ] || fail "the window did not appear"
}

# Closed as a user closes it: the window manager's close key, then the program ends.
close_app() {
    xdotool windowactivate --sync "$wid" >/dev/null 2>&1
    xdotool key --clearmodifiers alt+F4
    for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid"
        fail "the window did not close"
    fi
    wait "$app_pid" 2>/dev/null
}
