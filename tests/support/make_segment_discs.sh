#!/usr/bin/env bash
# Makes the discs of titles built from several segments, each a program stream with its own
# clock from zero, once per build, into the folder $1:
#   pal3/   a PAL title of three 4 s segments; two AC-3 streams whose offsets to the video
#           differ per segment (ahead and behind), two subpicture streams with a unit in
#           every segment, chapters at segment starts and inside them.
#   ntsc/   NTSC episodes (titles 1 and 2, 90 frames each) and a play-all title 3 that
#           plays the same cells (the VOB holds each episode once).
#   still/  a title whose first cell is one picture held 3 s, then a 3 s segment.
#   pair/   MOVIE_1.VOB and MOVIE_2.VOB made by ffmpeg alone, each clock from zero.
#   authored/  the program streams the discs were authored from.
#   expect.json  what was authored: every time in 90 kHz ticks on the title's timeline
#           (a segment's start is where its first video frame plays), offsets in ms.
# GOPs are closed, so a chapter's first frame is its VOBU's first picture; dvdauthor puts a
# chapter on the VOBU at or before its time, counted from the earliest stream, so the times
# given lie a little after the GOP meant.
set -euo pipefail
out=$1
# Made once per build folder: again only when this script changed.
[ -f "$out/done" ] && [ "$out/done" -nt "$0" ] && exit 0
tmp=$out.tmp
rm -rf "$tmp"
mkdir -p "$tmp"
cd "$tmp"

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
# seg NAME SIZE RATE FRAMES GOP PATTERN OFFSET_MS... : a segment with one AC-3 stream per
# offset. The AC-3 encoder puts its 256 samples of priming before the input's start, so
# the input is moved by as much to give the authored offset in the time stamps.
seg() {
    local name=$1 size=$2 rate=$3 frames=$4 gop=$5 pattern=$6
    shift 6
    local inputs=() maps=(-map 0:v) i=1 o seconds
    seconds=$(awk -v n="$frames" -v r="$rate" 'BEGIN { split(r, f, "/"); printf "%.3f", n * (f[2] ? f[2] : 1) / f[1] }')
    for o in "$@"; do
        inputs+=(-itsoffset "$(awk -v m="$o" 'BEGIN { printf "%.6f", m / 1000 + 256 / 48000 }')"
                 -f lavfi -i "sine=frequency=$((330 + 110 * i)):sample_rate=48000:duration=$seconds")
        maps+=(-map "$i:a")
        i=$((i + 1))
    done
    ff -f lavfi -i "$pattern=size=$size:rate=$rate" "${inputs[@]}" "${maps[@]}" \
       -frames:v "$frames" -c:v mpeg2video -b:v 500k -maxrate 4000k -bufsize 1835k -g "$gop" \
       -bf 2 -flags +cgop -sc_threshold 1000000000 -pix_fmt yuv420p -aspect 4:3 \
       -c:a ac3 -b:a 64k -ac 2 -f dvd "$name"
}
# subs IN OUT STREAM "START END" ...: one subpicture unit per pair, times from the video's
# first frame (where spumux counts from).
subs() {
    local in=$1 outf=$2 stream=$3 t
    shift 3
    { echo '<subpictures><stream>'
      for t in "$@"; do
          set -- $t
          echo "<spu start=\"$(hms "$1")\" end=\"$(hms "$2")\" image=\"sub.png\"/>"
      done
      echo '</stream></subpictures>'; } >"$outf.xml"
    VIDEO_FORMAT=$fmt spumux -s "$stream" "$outf.xml" <"$in" >"$outf" 2>>spumux.log
}
hms() { awk -v s="$1" 'BEGIN { printf "00:00:%05.2f", s }'; }

ff -f lavfi -i color=c=black@0.0:s=720x576,format=rgba \
   -vf "drawbox=x=160:y=460:w=400:h=60:color=white@1.0:t=fill" -frames:v 1 sub.png

# The PAL title of three segments: 100 frames each, one GOP a second.
fmt=PAL
seg a.mpg 720x576 25 100 25 testsrc 120 -40
seg b.mpg 720x576 25 100 25 testsrc2 -80 80
seg c.mpg 720x576 25 100 25 smptebars 40 0
subs a.mpg a0.mpg 0 "1.0 2.0"; subs a0.mpg as.mpg 1 "2.5 3.5"
subs b.mpg b0.mpg 0 "0.5 1.5"; subs b0.mpg bs.mpg 1 "3.0 3.8"
subs c.mpg c0.mpg 0 "1.5 2.5"; subs c0.mpg cs.mpg 1 "2.0 3.0"
cat >pal3.xml <<'XML'
<dvdauthor dest="pal3" jumppad="0">
  <vmgm/>
  <titleset><titles>
    <video format="pal" aspect="4:3"/>
    <audio lang="en"/><audio lang="es"/><subpicture lang="en"/><subpicture lang="de"/>
    <pgc>
      <vob file="as.mpg" chapters="0,2.2"/>
      <vob file="bs.mpg" chapters="0"/>
      <vob file="cs.mpg" chapters="2.2"/>
    </pgc>
  </titles></titleset>
</dvdauthor>
XML
VIDEO_FORMAT=PAL dvdauthor -x pal3.xml >dvdauthor.log 2>&1

# The NTSC episodes: 90 frames (3.003 s), GOPs of 10 frames; the second has a chapter at
# frame 30 (dvdauthor moves one asked for in the first, whose audio leads, by a GOP).
fmt=NTSC
seg e1.mpg 720x480 30000/1001 90 10 testsrc -10
seg e2.mpg 720x480 30000/1001 90 10 testsrc2 217
cat >ntsc.xml <<'XML'
<dvdauthor dest="ntsc" jumppad="0">
  <vmgm/>
  <titleset><titles>
    <video format="ntsc" aspect="4:3"/><audio lang="es"/>
    <pgc><vob file="e1.mpg" chapters="0"/></pgc>
    <pgc><vob file="e2.mpg" chapters="0,1.1"/></pgc>
    <pgc><vob file="e1.mpg" chapters="0"/><vob file="e2.mpg" chapters="0"/></pgc>
  </titles></titleset>
</dvdauthor>
XML
VIDEO_FORMAT=NTSC dvdauthor -x ntsc.xml >>dvdauthor.log 2>&1

# One picture held 3 s by its cell's still time, then a segment of 75 frames.
fmt=PAL
ff -f lavfi -i testsrc=size=720x576:rate=25 -frames:v 1 -c:v mpeg2video -b:v 2000k \
   -pix_fmt yuv420p -aspect 4:3 -f dvd p.mpg
seg d.mpg 720x576 25 75 25 testsrc2 60
cat >still.xml <<'XML'
<dvdauthor dest="still" jumppad="0">
  <vmgm/>
  <titleset><titles>
    <video format="pal" aspect="4:3"/><audio lang="en"/>
    <pgc><vob file="p.mpg" pause="3"/><vob file="d.mpg"/></pgc>
  </titles></titleset>
</dvdauthor>
XML
VIDEO_FORMAT=PAL dvdauthor -x still.xml >>dvdauthor.log 2>&1

# A title in numbered files cut from separate recordings.
mkdir pair
seg pair/MOVIE_1.VOB 720x576 25 100 25 testsrc 100 -20
seg pair/MOVIE_2.VOB 720x576 25 75 25 smptebars -60 30

# What was authored. s = 90000 ticks; PAL frame 3600, NTSC frame 3003. "sources" are the
# program streams in the order the VOB holds them, "clocks" how many runs of time stamps
# the VOB holds: the still picture's and the next segment's time stamps run on, as ffmpeg
# starts every file's clock alike, so only the cell's still time sets them apart.
cat >expect.json <<'JSON'
{
  "pal3": {
    "vob": "pal3/VIDEO_TS/VTS_01_1.VOB", "clocks": 3,
    "frame": 3600,
    "sources": [
      {"file": "authored/as.mpg", "length": 360000, "audio": {"0x80": 120, "0x81": -40},
       "subpictures": {"0x20": [90000], "0x21": [225000]}},
      {"file": "authored/bs.mpg", "length": 360000, "audio": {"0x80": -80, "0x81": 80},
       "subpictures": {"0x20": [45000], "0x21": [270000]}},
      {"file": "authored/cs.mpg", "length": 360000, "audio": {"0x80": 40, "0x81": 0},
       "subpictures": {"0x20": [135000], "0x21": [180000]}}
    ],
    "titles": [
      {"title": 1, "cells": 5, "length": 1080000, "sources": [0, 1, 2],
       "segments": [0, 360000, 720000], "still": [0, 0, 0],
       "chapters": [0, 180000, 360000, 900000],
       "subpictures": {"0x20": [90000, 405000, 855000], "0x21": [225000, 630000, 900000]}}
    ]
  },
  "ntsc": {
    "vob": "ntsc/VIDEO_TS/VTS_01_1.VOB", "clocks": 2,
    "frame": 3003,
    "sources": [
      {"file": "authored/e1.mpg", "length": 270270, "audio": {"0x80": -10}, "subpictures": {}},
      {"file": "authored/e2.mpg", "length": 270270, "audio": {"0x80": 217}, "subpictures": {}}
    ],
    "titles": [
      {"title": 1, "cells": 1, "length": 270270, "sources": [0], "segments": [0],
       "still": [0], "chapters": [0], "subpictures": {}},
      {"title": 2, "cells": 2, "length": 270270, "sources": [1], "segments": [0],
       "still": [0], "chapters": [0, 90090], "subpictures": {}},
      {"title": 3, "cells": 3, "length": 540540, "sources": [0, 1], "segments": [0, 270270],
       "still": [0, 0], "chapters": [0, 270270], "subpictures": {}}
    ]
  },
  "still": {
    "vob": "still/VIDEO_TS/VTS_01_1.VOB", "clocks": 1,
    "frame": 3600,
    "sources": [
      {"file": "authored/p.mpg", "length": 3600, "audio": {}, "subpictures": {}},
      {"file": "authored/d.mpg", "length": 270000, "audio": {"0x80": 60}, "subpictures": {}}
    ],
    "titles": [
      {"title": 1, "cells": 2, "length": 543600, "sources": [0, 1], "segments": [0, 273600],
       "still": [270000, 0], "chapters": [0, 273600], "subpictures": {}}
    ]
  },
  "pair": {
    "files": ["pair/MOVIE_1.VOB", "pair/MOVIE_2.VOB"],
    "frame": 3600,
    "sources": [
      {"file": "pair/MOVIE_1.VOB", "length": 360000, "audio": {"0x80": 100, "0x81": -20},
       "subpictures": {}},
      {"file": "pair/MOVIE_2.VOB", "length": 270000, "audio": {"0x80": -60, "0x81": 30},
       "subpictures": {}}
    ],
    "titles": [
      {"title": 1, "length": 630000, "sources": [0, 1], "segments": [0, 360000],
       "still": [0, 0], "chapters": [], "subpictures": {}}
    ]
  }
}
JSON

rm -rf "$out"
mkdir -p "$out/authored"
mv as.mpg bs.mpg cs.mpg e1.mpg e2.mpg p.mpg d.mpg "$out/authored/"
mv pal3 ntsc still pair expect.json dvdauthor.log "$out/"
cd /
rm -rf "$tmp"
touch "$out/done"
