#!/usr/bin/env bash
# Draws the images of the configuration pages (ImageMagick from Debian:
# apt-get install imagemagick). The results are committed; run this again
# only to change them.
set -euo pipefail
cd "$(dirname "$0")"
font=DejaVu-Sans-Bold
teal='#1f6f78'
# convert with the given drawing, written without metadata to the last argument.
strip() { convert "${@:1:$#-1}" -strip "${@: -1}"; }

# 1 x 1 transparent spacer and a 1 x 2 separator line.
strip -size 1x1 xc:none trans.gif
strip -size 1x2 xc:'#9bb7ba' line.gif
# 30 x 22 help button: a question mark on a rounded teal field.
strip -size 30x22 xc:none -fill "$teal" -draw 'roundrectangle 1,1 28,20 6,6' \
  -fill white -font "$font" -pointsize 15 -gravity center -annotate +0+0 '?' btn_help.gif
# 122 x 48 maker's logo and the 150 x 22 product logos.
strip -size 122x48 xc:white -fill "$teal" -font "$font" -pointsize 22 -gravity center \
  -annotate +0-6 'corvane' -pointsize 9 -annotate +0+14 'filtering proxy' logo.gif
for variant in logo_cv logo_cv_left logo_cv_px; do
  gravity=center
  [ "$variant" = logo_cv_left ] && gravity=west
  strip -size 150x22 xc:"$teal" -fill white -font "$font" -pointsize 13 \
    -gravity "$gravity" -annotate +6+0 'Corvane 3.0' "$variant.gif"
done
# 15 x 25 tab corners: active (teal) and inactive (grey).
for side in left right; do
  for state in "" _back; do
    colour="$teal"; [ -n "$state" ] && colour='#c9d6d8'
    if [ "$side" = left ]; then arc='roundrectangle 0,0 28,40 12,12'; else arc='roundrectangle -14,0 14,40 12,12'; fi
    strip -size 15x25 xc:none -fill "$colour" -draw "$arc" "top_${side}${state}.gif"
  done
done
