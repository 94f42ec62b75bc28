#!/usr/bin/env bash
# Regenerates the tiny audio elementary streams used by tests/analysers.
# Each file holds one or two frames of a 440 Hz tone, straight from ffmpeg's
# encoders, so the analysers are checked against what the encoder was told.
# The experimental encoders (dca, mlp, truehd) need -strict -2.
set -euo pipefail
cd "$(dirname "$0")"

tone() { echo "sine=frequency=440:sample_rate=$1:duration=0.2"; }
six="pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }

# AC-3: 48 kHz stereo 192 kbit/s (2 frames), 44.1 kHz mono 96 kbit/s (1 frame),
# 48 kHz 5.1 448 kbit/s (1 frame).
ff -f lavfi -i "$(tone 48000)" -ac 2 -c:a ac3 -b:a 192k -frames:a 2 -f ac3 ac3_48k_192k_stereo.ac3
ff -f lavfi -i "$(tone 44100)" -ac 1 -c:a ac3 -b:a 96k -frames:a 1 -f ac3 ac3_44k1_96k_mono.ac3
ff -f lavfi -i "$(tone 48000)" -af "$six" -c:a ac3 -b:a 448k -frames:a 1 -f ac3 ac3_48k_448k_51.ac3

# E-AC-3: 48 kHz 5.1 384 kbit/s, 1 frame (6 blocks, 1536 bytes).
ff -f lavfi -i "$(tone 48000)" -af "$six" -c:a eac3 -b:a 384k -frames:a 1 -f eac3 eac3_51.eac3

# DTS core: 48 kHz 5.1 768 kbit/s, 2 frames.
ff -f lavfi -i "$(tone 48000)" -af "$six" -c:a dca -strict -2 -b:a 768k -frames:a 2 -f dts dts_48k_768k_51.dts

# TrueHD: 48 kHz 5.1, 2 access units. MLP: 44.1 kHz stereo, 2 access units.
ff -f lavfi -i "$(tone 48000)" -af "$six" -c:a truehd -strict -2 -frames:a 2 -f truehd truehd_48k_51.thd
ff -f lavfi -i "$(tone 44100)" -ac 2 -c:a mlp -strict -2 -frames:a 2 -f mlp mlp_44k1_stereo.mlp

# MPEG audio: MPEG-1 Layer II 48 kHz stereo 192 kbit/s, MPEG-2 Layer II 24 kHz mono
# 64 kbit/s, MPEG-1 Layer III 44.1 kHz joint stereo 128 kbit/s, MPEG-2.5 Layer III
# 11.025 kHz mono 16 kbit/s; 2 frames each.
ff -f lavfi -i "$(tone 48000)" -ac 2 -c:a mp2 -b:a 192k -frames:a 2 -f mp2 mp2_48k_192k_stereo.mp2
ff -f lavfi -i "$(tone 24000)" -ac 1 -c:a mp2 -b:a 64k -frames:a 2 -f mp2 mp2_24k_64k_mono.mp2
ff -f lavfi -i "$(tone 44100)" -ac 2 -c:a libmp3lame -b:a 128k -joint_stereo 1 -frames:a 2 \
    -write_xing 0 -id3v2_version 0 -f mp3 mp3_44k1_128k_joint.mp3
ff -f lavfi -i "$(tone 11025)" -ac 1 -c:a libmp3lame -b:a 16k -frames:a 2 \
    -write_xing 0 -id3v2_version 0 -f mp3 mp3_11k025_16k_mono.mp3
