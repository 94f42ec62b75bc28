#!/usr/bin/env bash
# Writes a small DVD-Video disc into DIR (default: dvd-title) with dvdauthor and spumux:
# 8 s of 720x576 MPEG-2, two AC-3 streams (English; German starting 120 ms after the
# video), two subpicture streams whose display times are listed in DIR/times.txt (one unit
# of the first stream forced), and chapters at 0, 3 and 6 s. Skips the work when DIR holds
# a disc made by this very script already.
set -euo pipefail
dir=${1:-dvd-title}
script=$(readlink -f "$0")
stamp="$dir/made-by.txt"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$(sha1sum <"$script")" ]; then exit 0; fi
rm -rf "$dir"
mkdir -p "$dir/work"
cd "$dir/work"
ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

ff -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 \
   -itsoffset 0.12 -f lavfi -i sine=frequency=880:sample_rate=48000 -t 8 \
   -map 0:v -map 1:a -map 2:a -target pal-dvd -b:v 2000k -g 12 -c:a ac3 -b:a 192k \
   -shortest title.mpg

box() { # NAME X: a white bar on a transparent picture
    ff -f lavfi -i "color=c=black@0.0:s=720x576,format=rgba,geq=r=255:g=255:b=255:a='if(between(X\,$2\,$2+299)*between(Y\,450\,509)\,255\,0)'" \
       -frames:v 1 "$1.png"
}
box a 100; box b 200; box c 300
cat >s0.xml <<'X'
<subpictures><stream>
  <spu start="00:00:01.00" end="00:00:02.00" image="a.png"/>
  <spu start="00:00:03.00" end="00:00:04.00" image="b.png" force="yes"/>
  <spu start="00:00:05.00" end="00:00:06.00" image="c.png"/>
</stream></subpictures>
X
cat >s1.xml <<'X'
<subpictures><stream>
  <spu start="00:00:01.50" end="00:00:02.50" image="c.png"/>
  <spu start="00:00:04.50" end="00:00:05.50" image="a.png"/>
</stream></subpictures>
X
spumux -m dvd -s 0 s0.xml <title.mpg >title1.mpg 2>spumux0.log
spumux -m dvd -s 1 s1.xml <title1.mpg >title2.mpg 2>spumux1.log
printf 's0 1.00 3.00 5.00\ns1 1.50 4.50\nforced s0 3.00\nchapters 0 3 6\n' >../times.txt

VIDEO_FORMAT=PAL dvdauthor -o ../disc -t -a ac3+en,ac3+de -s en,de -c 0,3,6 title2.mpg \
    >dvdauthor.log 2>&1
VIDEO_FORMAT=PAL dvdauthor -o ../disc -T >>dvdauthor.log 2>&1
sha1sum <"$script" >"../made-by.txt"
