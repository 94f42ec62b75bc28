#!/usr/bin/env bash
# Plays each angle of the seamless angle disc in $1 (made by make_angle_discs.sh), and each
# title of its branching disc, through the navigating reader $2 (dvdnav_dump) and checks that
# the angle's or branch's cell holds exactly its own source's video: the discs are fit to
# judge a reader by.
set -euo pipefail
dir=$1
dump=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
es() { ffmpeg -hide_banner -loglevel error -nostdin -y -i "$1" -map 0:v -c copy -f mpeg2video "$2"; }
for k in 1 2 3; do
    "$dump" "$dir/seamless" 1 "$k" "$tmp/angle$k" 2>/dev/null
    es "$tmp/angle$k.cell$((k + 1))" "$tmp/played$k.m2v"
    es "$dir/authored/a$k.mpg" "$tmp/source$k.m2v"
    cmp "$tmp/played$k.m2v" "$tmp/source$k.m2v"
    for other in 1 2 3; do
        [ "$other" = "$k" ] || [ ! -e "$tmp/angle$k.cell$((other + 1))" ] || { echo "angle $k played cell $((other + 1))"; exit 1; }
    done
done
# The branching disc: title k plays branch k between the shared cells.
for k in 1 2; do
    "$dump" "$dir/branches" "$k" 1 "$tmp/title$k" 2>/dev/null
    es "$tmp/title$k.cell2" "$tmp/branch$k.m2v"
    es "$dir/authored/a$k.mpg" "$tmp/source$k.m2v"
    cmp "$tmp/branch$k.m2v" "$tmp/source$k.m2v"
done
echo "every angle and branch plays its own source"
