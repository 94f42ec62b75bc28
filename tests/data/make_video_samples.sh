#!/usr/bin/env bash
# Rebuilds the small video elementary streams used by tests/analysers/h264_test.cpp
# and mpeg2_test.cpp. Needs ffmpeg with libx264 and the mpeg1video/mpeg2video encoders.
#
# Each sample holds a few frames of a still test picture, so P and B pictures cost
# almost nothing. Large pictures are cut to their first bytes with `head -c`: the
# analysers only look at headers, and a cut stream is what they meet anyway (the
# first PES payload of a stream is a couple of kilobytes at most).
#
# The tests check the reports against the settings below; keep the two in step.
set -euo pipefail
cd "$(dirname "$0")"

ff() { ffmpeg -y -hide_banner -loglevel error "$@"; }

# --- H.264 (libx264 with access-unit delimiters) ---------------------------------
# h264 <file> <size> <rate> <pix_fmt> <profile> <level> <extra x264 params> [cut bytes]
h264() {
    local out=$1 size=$2 rate=$3 pixfmt=$4 profile=$5 level=$6 params=$7 cut=${8:-}
    ff -f lavfi -i "smptebars=s=$size:r=$rate" -frames:v 4 -pix_fmt "$pixfmt" \
        -c:v libx264 -crf 45 -profile:v "$profile" -level "$level" \
        -x264-params "aud=1:threads=1:$params" -f h264 "$out.tmp"
    if [ -n "$cut" ]; then head -c "$cut" "$out.tmp" >"$out"; rm "$out.tmp"; else mv "$out.tmp" "$out"; fi
}

# Baseline at level 1b: level_idc 11 with constraint_set3_flag. A key frame every
# second picture gives the access units I P I P, each I with its own parameter sets.
h264 h264_baseline_l1b_176x144_25.264 176x144 25 yuv420p baseline 1b keyint=2
# High profile has no constraint-flag form of level 1b; x264 codes it as level_idc 9.
h264 h264_high_l1b_176x144_15.264 176x144 15 yuv420p high 1b keyint=4
# Main at level 3.0 with B pictures (I P B B in decoding order).
h264 h264_main_l30_720x576_25.264 720x576 25 yuv420p main 3.0 bframes=2:b-adapt=0 2048
# High at level 4.1, the usual disc setting.
h264 h264_high_l41_1920x1080_23976.264 1920x1080 24000/1001 yuv420p high 4.1 bframes=2 2048
# Interlaced (field pairs: 1088 lines, cropped in units of four) with a sample aspect
# ratio outside the table, so the timing follows an Extended_SAR field.
ff -f lavfi -i "smptebars=s=1920x1080:r=25" -vf setsar=7/5 -frames:v 4 -pix_fmt yuv420p \
    -c:v libx264 -crf 45 -profile:v high -level 4.0 \
    -x264-params "aud=1:threads=1:interlaced=1:keyint=4" -f h264 h264_high_l40_1920x1080i_25.264
h264 h264_high10_l40_1280x720_50.264 1280x720 50 yuv420p10le high10 4.0 keyint=4 2048
h264 h264_high422_l31_720x480_2997.264 720x480 30000/1001 yuv422p high422 3.1 keyint=4 2048
# 4:4:4 gives the newer profile_idc 244, outside the named profiles.
h264 h264_high444_l32_640x480_60.264 640x480 60 yuv444p high444 3.2 keyint=4 2048

# --- MPEG-2 and MPEG-1 video -------------------------------------------------------
# mpv <file> <codec> <size> <rate> <cut bytes or ""> <ffmpeg options...>
mpv() {
    local out=$1 codec=$2 size=$3 rate=$4 cut=$5
    shift 5
    ff -f lavfi -i "smptebars=s=$size:r=$rate" -frames:v 3 -c:v "$codec" -threads 1 -qscale:v 31 \
        -bufsize 1835k "$@" -f "$codec" "$out.tmp"
    if [ -n "$cut" ]; then head -c "$cut" "$out.tmp" >"$out"; rm "$out.tmp"; else mv "$out.tmp" "$out"; fi
}

# Whole stream: sequence header, GOP, then I P P with picture coding extensions.
mpv mpeg2_352x288_25_4x3.m2v mpeg2video 352x288 25 "" -maxrate 4000k -aspect 4:3
mpv mpeg2_1920x1080_2997i_16x9.m2v mpeg2video 1920x1080 30000/1001 2048 \
    -maxrate 15000k -aspect 16:9 -flags +ildct+ilme
mpv mpeg2_720x480_23976_16x9.m2v mpeg2video 720x480 24000/1001 2048 -maxrate 8000k -aspect 16:9
mpv mpeg2_720x576_50_221.m2v mpeg2video 720x576 50 2048 -maxrate 9800k -aspect 221:100
# Square samples: a frame whose shape matches none of the display ratios.
mpv mpeg2_500x400_60_1x1.m2v mpeg2video 500x400 60 2048 -maxrate 6000k -vf setsar=1
# MPEG-1 has no sequence extension: with a key frame every second picture each of
# the two sequence headers is reported in full.
mpv mpeg1_160x120_30.m1v mpeg1video 160x120 30 "" -maxrate 1500k -g 2 -frames:v 4
