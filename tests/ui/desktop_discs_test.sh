#!/usr/bin/env bash
# DVD discs in the window on a real X desktop, driven by keys as a user drives it: a disc
# folder opened through the folder dialog's name field, the title chooser (the title
# chosen is the title read and written), the messages that say what is wrong (read off
# each message box with its own Ctrl+C), and a cancelled demux that leaves no options
# file of an earlier run. A screenshot of the Audio page after Read XPL is kept beside the
# build. Usage: desktop_discs_test.sh PATH_TO_QUILLFEN PATH_TO_QUILLFEN_CLI DISC_FOLDER
# SCREENSHOT_FOLDER. Exits 77 (skipped) without the tools.
set -uo pipefail

app=${1:?usage: desktop_discs_test.sh QUILLFEN QUILLFEN_CLI DISCS SHOTS}
cli=${2:?} discs=$(realpath "${3:?}") shots=${4:?}
# shellcheck source=desktop_lib.sh
source "$(dirname "$0")/desktop_lib.sh" xclip ffmpeg

out=$work/out
mkdir -p "$out" "$work/empty" "$work/config/Marrowby Software"
ln -s "$discs/pal" "$work/pal"
ln -s "$discs/big" "$work/big"
head -c 300000 /dev/urandom | tr '\000' '\001' >"$work/noise.VOB"
settings() { # OUTPUT_FOLDER
    printf '[General]\nWorkdir=%s\nEVOdir=%s/\n' "$1" "$work" >"$work/config/Marrowby Software/Quillfen.conf"
}

keys() {
    xdotool windowactivate --sync "$wid" >/dev/null 2>&1
    xdotool key --clearmodifiers --delay 30 "$@"
}
# A path into the dialog that opens now (its name field has the focus), then Enter.
dialog_path() {
    timeout 10 xdotool search --sync --onlyvisible --name "$1" >/dev/null ||
        fail "no dialog '$1' opened"
    sleep 0.3
    # Only a name: the dialogs open in $work (the settings' last source folder). A path
    # with a "/" would make the name field change folder and empty itself at a moment of
    # its own, racing the keys typed after it.
    xdotool type --delay 2 "$(basename "$2")"
    sleep 0.3
    xdotool key Return
}
# A message box opens; it is closed with Enter (its default button). What it said stays in
# the log, in red.
close_box() {
    local box=""
    for _ in $(seq 300); do # a hang guard: a box comes within a second unless the machine is loaded
        box=$(xdotool search --onlyvisible --name '^HD DVD Quillfen' 2>/dev/null | head -n1)
        [ -n "$box" ] && break
        sleep 0.1
    done
    [ -n "$box" ] || fail "no message box opened"
    xdotool windowactivate --sync "$box" >/dev/null 2>&1
    xdotool key --clearmodifiers "${1:-Return}"
    sleep 0.3
}
# The log's text: a click into it, select all, copy.
log_text() {
    local info x y w h
    info=$(xwininfo -id "$wid")
    x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    w=$(sed -n 's/.*Width: *//p' <<<"$info")
    h=$(sed -n 's/.*Height: *//p' <<<"$info")
    keys alt+t # the Status page: its title chooser takes the focus
    xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
    xdotool key --clearmodifiers ctrl+a ctrl+c
    sleep 0.3
    xclip -o -selection clipboard
}
wait_for() { # TEST... : up to 60 s
    for _ in $(seq 600); do "$@" && return 0; sleep 0.1; done
    return 1
}
idle() { # PATTERN: the log has a line that matches it
    log_text | grep -q "$1"
}
read_done() { # TEXT: the job whose log begins with TEXT has ended ("Done." after it)
    log_text | awk -v t="$1" 'index($0, t) == 1 {seen = 1; done = 0} seen && $0 == "Done." {done = 1}
        END {exit !done}'
}

settings "$out"
start_app

# A folder without a disc says so, and nothing changes.
keys ctrl+shift+o
dialog_path 'Open a disc folder' "$work/empty"
close_box
log_text | grep -qF "No DVD-Video or HD DVD disc in \"$work/empty\": it holds no VIDEO_TS or HVDVD_TS folder." ||
    fail "folder without a disc: $(log_text | tail -n 3)"
echo "ok: a folder without a disc says why"

# The disc folder through the folder dialog; Auto Read EVO reads its longest title.
keys ctrl+shift+o
dialog_path 'Open a disc folder' "$work/pal"
wait_for read_done "Opening title 1 of pal" || fail "title 1 was not read: $(log_text)"
echo "ok: the disc folder opened and its title 1 was read"

# Title 2 in the chooser is read at once; Demux writes its streams, none of title 1's.
keys alt+t Down
wait_for read_done "Opening title 2 of pal" || fail "choosing title 2 did not read it: $(log_text)"
keys alt+d
wait_for test -e "$out/pal_title02.mkvmerge.json" || fail "title 2 was not demuxed: $(ls "$out")"
ls "$out" | grep -q 'pal_title01' && fail "title 1's streams were written: $(ls "$out")"
ls "$out" | grep -qi 'Subpicture\|French' && fail "a subtitle title 2 does not have: $(ls "$out")"
ls "$out" | grep -q '^pal_title02\.DD\.stream\.00\..*ac3$' || fail "no audio of title 2: $(ls "$out")"
echo "ok: title 2 chosen, read and written alone: $(ls "$out" | tr '\n' ' ')"

# A file without streams says so.
keys ctrl+o
dialog_path 'Choose the EVO file' "$work/noise.VOB"
wait_for idle "No stream found in noise.VOB" || fail "no 'No stream found': $(log_text)"
echo "ok: a source without streams says so"

# A demux cancelled at once: the last line names the cut-off files, no "Done.", and the
# options file an earlier run left is gone.
echo '{}' >"$out/big_title01.mkvmerge.json"
keys ctrl+shift+o
dialog_path 'Open a disc folder' "$work/big"
wait_for read_done "Opening title 1 of big" || fail "the big title was not read: $(log_text)"
keys alt+d
# Escape is Cancel once the pass runs: pressed until the question comes.
for _ in $(seq 400); do
    xdotool search --onlyvisible --name '^HD DVD Quillfen' >/dev/null 2>&1 && break
    xdotool key --clearmodifiers Escape
    sleep 0.05
done
close_box alt+y # "Are you sure to stop demuxing?" Yes
wait_for idle "^Cancelled: " || fail "no cancel line: $(log_text | tail -n 5)"
last=$(log_text | grep -v '^$' | tail -n 1)
[[ $last == "Cancelled: "*" incomplete." ]] || fail "the last line after a cancel: $last"
log_text | tail -n 8 | grep -qx 'Done\.' && fail "\"Done.\" after a cancel"
[ -e "$out/big_title01.mkvmerge.json" ] && fail "the earlier run's options file stayed"
echo "ok: a cancelled demux says so last ($last) and removed the stale options file"
close_app

# An output folder that is not there is the first message of a Demux.
settings "$work/missing"
start_app "$work/pal"
keys alt+r
wait_for read_done "Opening title 1 of pal" || fail "title 1 was not read: $(log_text)"
keys alt+d
close_box
log_text | grep -qF "Cannot write to folder \"$work/missing\". No such file or directory" ||
    fail "missing output folder: $(log_text | tail -n 3)"
log_text | grep -q "Creating" && fail "the Demux began before its folder was checked"
echo "ok: a missing output folder is the first message"
close_app

# The Audio page after Read XPL on the sample disc: the playlist's captions show whole.
settings "$out"
"$cli" sample "$work/sample" >/dev/null || fail "no sample disc"
start_app "$work/sample"
keys alt+r
wait_for read_done "Opening file FEATURE_1.EVO" || fail "the sample was not read: $(log_text)"
keys alt+x
sleep 1
keys alt+a # the Audio page
sleep 0.5
mkdir -p "$shots"
ffmpeg -loglevel error -y -f x11grab -video_size "${screen_w}x${screen_h}" -i "$DISPLAY" \
    -frames:v 1 "$shots/desktop_audio_page.png" || fail "no screenshot"
close_app
echo "PASS: disc folders, titles, messages and a cancel, driven by keys; screenshot in $shots"
