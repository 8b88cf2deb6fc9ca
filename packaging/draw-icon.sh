#!/usr/bin/env bash
# Draws the application icon with ImageMagick, in the manner of the label pictures of res/:
# a licence label seen up close, pale paper with a border and an emblem in the ink colour,
# a square of dots for its code, and the dark band with the licence text in white. One
# PNG per size of the hicolor theme goes into icons/. Run it after changing the artwork,
# then commit the pictures; the build only installs them.
set -euo pipefail
cd "$(dirname "$0")"

source ../res/drawing.sh draw-icon   # $convert, $font, code_block

paper="#dff3e4"
ink="#1e7a3c"
sizes=(16 24 32 48 64 128 256)

master=$(mktemp --suffix=.png)
trap 'rm -f "$master"' EXIT
# The master at 256 px, on a transparent square: the label fills it but for a margin.
"$convert" -size 256x256 xc:none \
  -fill "$paper" -stroke "$ink" -strokewidth 10 -draw "roundrectangle 8,20 247,235 24,24" \
  -stroke none -fill "$ink" -draw "circle 56,70 56,38" \
  -draw "$(code_block 20261207 150 40 12 11 "$ink")" \
  -font "$font" -fill "$ink" -pointsize 40 -annotate +24+150 "进网" \
  -fill "#1b1b1b" -draw "roundrectangle 20,168 235,224 12,12" \
  -fill "$ink" -draw "rectangle 20,168 30,224" \
  -fill white -draw "rectangle 46,186 102,206 rectangle 114,186 170,206 rectangle 182,186 218,206" \
  "PNG32:$master"

for size in "${sizes[@]}"; do
  "$convert" "$master" -filter Lanczos -resize "${size}x${size}" -strip "PNG32:icons/quorvane-${size}.png"
  echo "drew icons/quorvane-${size}.png"
done
