#!/usr/bin/env bash
# Makes the discs of titles with an angle block, of branches and of decoys, once per build,
# into the folder $1, with the rewriting tools $2 (interleave_angles) and $3 (rechain):
#   seamless/     one PAL title: a plain cell, a block of three angles (72 frames each,
#                 different pictures and tones), a plain cell; the angles' VOBUs laid out in
#                 interleaved units of two VOBUs.
#   nonseamless/  the same cells as a non-seamless angle block, each angle's cell whole.
#   branches/     seamless branching: title 1 plays pre, a1, post and title 2 pre, a2, post,
#                 a1 and a2 laid out in interleaved units of two VOBUs between the shared cells.
#   decoys/       twelve titles: title 6 the feature (pre, a1, a3, post); titles 1-5, 7, 8 and
#                 10-11 its cells in other orders, title 9 in its order, title 12 a longer
#                 title of its cells out of order.
#   authored/     the program streams the discs were authored from (pre, a1-a3, post).
# GOPs are closed and of 12 frames, so every VOBU is one GOP and the angles have as many.
set -euo pipefail
out=$1
tool=$2
rechain=$3
[ -f "$out/done" ] && [ "$out/done" -nt "$0" ] && [ "$out/done" -nt "$tool" ] &&
    [ "$out/done" -nt "$rechain" ] && exit 0
tmp=$out.tmp
rm -rf "$tmp"
mkdir -p "$tmp"
cd "$tmp"

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
# seg NAME PATTERN TONE FRAMES
seg() {
    ff -f lavfi -i "$2=size=720x576:rate=25" \
       -f lavfi -i "sine=frequency=$3:sample_rate=48000:duration=$(awk -v n="$4" 'BEGIN { printf "%.2f", n / 25 }')" \
       -map 0:v -map 1:a -frames:v "$4" -c:v mpeg2video -b:v 800k -maxrate 4000k -bufsize 1835k \
       -g 12 -bf 2 -flags +cgop -sc_threshold 1000000000 -pix_fmt yuv420p -aspect 4:3 \
       -c:a ac3 -b:a 64k -ac 2 -f dvd "$1"
}
seg pre.mpg testsrc 440 24
seg a1.mpg testsrc2 550 72
seg a2.mpg smptebars 660 72
seg a3.mpg rgbtestsrc 770 72
seg post.mpg mandelbrot 880 24
seg stand-in.mpg testsrc 330 12
# The angles after the first begin no program: the block is one chapter.
cat >angles.xml <<'XML'
<dvdauthor dest="seamless" jumppad="0">
  <vmgm/>
  <titleset><titles>
    <video format="pal" aspect="4:3"/><audio lang="en"/>
    <pgc>
      <vob file="pre.mpg"/>
      <vob file="a1.mpg"><cell start="0" chapter="1"/></vob>
      <vob file="a2.mpg"><cell start="0" chapter="0" program="0"/></vob>
      <vob file="a3.mpg"><cell start="0" chapter="0" program="0"/></vob>
      <vob file="post.mpg"/>
    </pgc>
  </titles></titleset>
</dvdauthor>
XML
VIDEO_FORMAT=PAL dvdauthor -x angles.xml >dvdauthor.log 2>&1
# Title 2 is authored with stand-in cells, then made to play the shared cells and a2.
cat >branches.xml <<'XML'
<dvdauthor dest="branches" jumppad="0">
  <vmgm/>
  <titleset><titles>
    <video format="pal" aspect="4:3"/><audio lang="en"/>
    <pgc>
      <vob file="pre.mpg"/>
      <vob file="a1.mpg"/>
      <vob file="a2.mpg"><cell start="0" chapter="0" program="0"/></vob>
      <vob file="post.mpg"/>
    </pgc>
    <pgc>
      <vob file="stand-in.mpg"/><vob file="stand-in.mpg"/><vob file="stand-in.mpg"/>
    </pgc>
  </titles></titleset>
</dvdauthor>
XML
VIDEO_FORMAT=PAL dvdauthor -x branches.xml >>dvdauthor.log 2>&1
"$tool" branches 2 2 2 branches
cp -r seamless nonseamless
"$tool" seamless 2 3 2
"$tool" nonseamless 2 3 0

# The decoys: chains of stand-in cells, made to play the feature's cells (chain 6).
orders=("2 1 3 4" "1 3 2 4" "4 3 2 1" "1 2 4 3" "3 1 2 4" "" "2 3 4 1" "1 4 2 3" "1 2 3 4"
        "3 4 1 2" "2 1 4 3" "2 1 3 2 4 3")
{
    echo '<dvdauthor dest="decoys" jumppad="0"><vmgm/><titleset><titles>'
    echo '<video format="pal" aspect="4:3"/><audio lang="en"/>'
    for order in "${orders[@]}"; do
        if [ -z "$order" ]; then
            echo '<pgc><vob file="pre.mpg"/><vob file="a1.mpg"/><vob file="a3.mpg"/><vob file="post.mpg"/></pgc>'
        else
            echo "<pgc>$(for c in $order; do printf '<vob file="stand-in.mpg"/>'; done)</pgc>"
        fi
    done
    echo '</titles></titleset></dvdauthor>'
} >decoys.xml
VIDEO_FORMAT=PAL dvdauthor -x decoys.xml >>dvdauthor.log 2>&1
for k in "${!orders[@]}"; do
    [ -z "${orders[$k]}" ] || "$rechain" decoys 6 $((k + 1)) ${orders[$k]}
done
rm stand-in.mpg

rm -rf "$out"
mkdir -p "$out/authored"
mv pre.mpg a1.mpg a2.mpg a3.mpg post.mpg "$out/authored/"

mv seamless nonseamless branches decoys dvdauthor.log "$out/"
cd /
rm -rf "$tmp"
touch "$out/done"
