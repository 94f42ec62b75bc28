#!/usr/bin/env bash
# Makes the DVD-Video discs the disc tests read, once per build, into the folder $1:
#   pal/     a PAL disc. Title set 1 holds two titles: title 1 (30 s, chapters at 0, 10 and
#            20 s, AC-3 stereo in English and AC-3 mono in Spanish, French subpictures, a
#            palette given in RGB in palette.rgb) and title 2 (4 s). Title set 2 holds one
#            16:9 title (6 s, German AC-3) with subpictures in two modes: the widescreen
#            one in stream 1, the letterbox one in stream 0, neither with a language.
#   pal.iso  the same disc as a UDF image.
#   authored/t1s.mpg, t2.mpg, t3s.mpg  the program streams the titles were authored from.
#   big/     a disc of one title over 1 GiB (17 minutes of cheap CIF video at a constant
#            8 Mbit/s with AC-3), so that its VOBs are VTS_01_1.VOB and VTS_01_2.VOB.
# Chapters are put on GOP starts (one GOP a second), which is where dvdauthor puts them.
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
video=(-c:v mpeg2video -b:v 1200k -maxrate 4000k -bufsize 1835k -g 25 -bf 2 -pix_fmt yuv420p)
audio=(-c:a ac3 -b:a 96k -ar 48000)

ff -f lavfi -i testsrc=size=720x576:rate=25:duration=30 \
   -f lavfi -i sine=frequency=440:duration=30 -f lavfi -i sine=frequency=660:duration=30 \
   -map 0:v -map 1:a -map 2:a "${video[@]}" -aspect 4:3 "${audio[@]}" -ac:a:0 2 -ac:a:1 1 \
   -f dvd t1.mpg
ff -f lavfi -i testsrc2=size=720x576:rate=25:duration=4 -f lavfi -i sine=frequency=550:duration=4 \
   -map 0:v -map 1:a "${video[@]}" -aspect 4:3 "${audio[@]}" -ac 2 -f dvd t2.mpg
ff -f lavfi -i smptebars=size=720x576:rate=25:duration=6 -f lavfi -i sine=frequency=330:duration=6 \
   -map 0:v -map 1:a "${video[@]}" -aspect 16:9 "${audio[@]}" -ac 2 -f dvd t3.mpg

# A subtitle picture: one opaque box on a transparent frame.
ff -f lavfi -i color=c=black@0.0:s=720x576,format=rgba \
   -vf "drawbox=x=160:y=460:w=400:h=60:color=white@1.0:t=fill" -frames:v 1 sub.png
cat >sub.xml <<'XML'
<subpictures><stream>
  <spu start="00:00:02.00" end="00:00:05.00" image="sub.png"/>
  <spu start="00:00:12.00" end="00:00:14.00" image="sub.png"/>
</stream></subpictures>
XML
cat >sub3.xml <<'XML'
<subpictures><stream>
  <spu start="00:00:01.00" end="00:00:03.00" image="sub.png"/>
</stream></subpictures>
XML
spumux -s 0 sub.xml <t1.mpg >t1s.mpg 2>spumux.log
spumux -s 0 sub3.xml <t3.mpg >t3a.mpg 2>>spumux.log
spumux -s 1 sub3.xml <t3a.mpg >t3s.mpg 2>>spumux.log

# Sixteen colours in RGB; dvdauthor stores them as YCrCb.
printf '%s\n' 000000 ffffff ff0000 00ff00 0000ff ffff00 00ffff ff00ff \
    808080 c0c0c0 800000 008000 000080 408040 e0a060 102030 >palette.rgb

cat >dvd.xml <<'XML'
<dvdauthor dest="pal" jumppad="0">
  <vmgm/>
  <titleset>
    <titles>
      <video format="pal" aspect="4:3"/>
      <audio lang="en"/>
      <audio lang="es"/>
      <subpicture lang="fr"/>
      <pgc palette="palette.rgb">
        <vob file="t1s.mpg" chapters="0,10,20"/>
      </pgc>
      <pgc>
        <vob file="t2.mpg"/>
      </pgc>
    </titles>
  </titleset>
  <titleset>
    <titles>
      <video format="pal" aspect="16:9" widescreen="nopanscan"/>
      <audio lang="de"/>
      <subpicture>
        <stream id="1" mode="widescreen"/>
        <stream id="0" mode="letterbox"/>
      </subpicture>
      <pgc>
        <vob file="t3s.mpg"/>
      </pgc>
    </titles>
  </titleset>
</dvdauthor>
XML
dvdauthor -x dvd.xml >dvdauthor.log 2>&1
genisoimage -quiet -dvd-video -udf -V QUILLFEN_PAL -o pal.iso pal

ff -f lavfi -i testsrc=size=352x288:rate=25:duration=1020 -f lavfi -i sine=frequency=440:duration=1020 \
   -map 0:v -map 1:a -c:v mpeg2video -b:v 8000k -minrate 8000k -maxrate 8000k -bufsize 1835k \
   -g 25 -aspect 4:3 "${audio[@]}" -b:a 448k -ac 2 -f dvd big.mpg
cat >big.xml <<'XML'
<dvdauthor dest="big" jumppad="0">
  <vmgm/>
  <titleset><titles><video format="pal"/><pgc><vob file="big.mpg"/></pgc></titles></titleset>
</dvdauthor>
XML
dvdauthor -x big.xml >>dvdauthor.log 2>&1
rm big.mpg

rm -rf "$out"
mkdir -p "$out"
mkdir "$out"/authored
mv t1s.mpg t2.mpg t3s.mpg "$out"/authored/
mv pal pal.iso palette.rgb big "$out"/
cd /
rm -rf "$tmp"
touch "$out/done"
