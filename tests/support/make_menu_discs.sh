#!/usr/bin/env bash
# Makes the DVD-Video disc of menus the menu tests read, once per build, into the folder $1:
#   menus/  a PAL disc with a video manager menu (title entry: one picture with 2 s of MP2
#           audio, held 5 s) and title set 1's menus (root: the same picture with AC-3,
#           held 3 s; a second chain with no entry, held until the user goes on), and one
#           4 s title.
#   menus.xml  the dvdauthor file it was authored from.
set -euo pipefail
out=$1
# Made once per build folder: again only when this script changed.
[ -f "$out/done" ] && [ "$out/done" -nt "$0" ] && exit 0
tmp=$out.tmp
rm -rf "$tmp"
mkdir -p "$tmp"
cd "$tmp"
export VIDEO_FORMAT=PAL

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
video=(-c:v mpeg2video -b:v 1200k -maxrate 4000k -bufsize 1835k -pix_fmt yuv420p -aspect 4:3)

# A still menu: one picture and two seconds of sound (the picture as a stream of one frame:
# -frames:v would end the sound with it).
ff -f lavfi -i smptebars=size=720x576:rate=25:duration=0.04 -f lavfi -i sine=frequency=440:duration=2 \
   -map 0:v -map 1:a "${video[@]}" -c:a mp2 -b:a 192k -ar 48000 -ac 2 -f dvd vmgm.mpg
ff -f lavfi -i testsrc=size=720x576:rate=25:duration=0.04 -f lavfi -i sine=frequency=550:duration=2 \
   -map 0:v -map 1:a "${video[@]}" -c:a ac3 -b:a 96k -ar 48000 -ac 2 -f dvd vtsm.mpg
ff -f lavfi -i testsrc2=size=720x576:rate=25:duration=4 -f lavfi -i sine=frequency=330:duration=4 \
   -map 0:v -map 1:a "${video[@]}" -g 25 -bf 2 -c:a ac3 -b:a 96k -ar 48000 -ac 2 -f dvd t1.mpg

cat >menus.xml <<'XML'
<dvdauthor dest="menus">
  <vmgm>
    <menus>
      <audio format="mp2"/>
      <pgc entry="title" pause="5"><vob file="vmgm.mpg"/><post>jump titleset 1 menu;</post></pgc>
    </menus>
  </vmgm>
  <titleset>
    <menus>
      <audio format="ac3" lang="en"/>
      <pgc entry="root" pause="3"><vob file="vtsm.mpg"/><post>jump title 1;</post></pgc>
      <pgc pause="inf"><vob file="vtsm.mpg"/></pgc>
    </menus>
    <titles><pgc><vob file="t1.mpg"/></pgc></titles>
  </titleset>
</dvdauthor>
XML
dvdauthor -x menus.xml >dvdauthor.log 2>&1
rm -f vmgm.mpg vtsm.mpg t1.mpg
touch done
cd ..
rm -rf "$out"
mv "$tmp" "$out"
