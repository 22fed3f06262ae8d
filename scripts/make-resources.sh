#!/bin/sh
# Regenerates the pictures in resources/: the application icon (five PNG sizes and brisa.ico
# built from them) and the About window's promotional picture. The output is the same bytes on every run, so a
# rerun shows up in git only when the drawing changed.
#
# Needs ImageMagick 6 (convert), python3 and the DejaVu fonts (Debian: imagemagick, fonts-dejavu-core).
set -eu
export LC_ALL=C # awk writes the drawing's numbers: a decimal comma would break them

top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/resources"
CONVERT=${CONVERT:-convert}
BOLD_FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
BOOK_FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf

# The two ends of the brand gradient, used by the icon's tile and the banner.
BLUE='#2B6CD9'
TEAL='#17A79E'

for font in "$BOLD_FONT" "$BOOK_FONT"; do
  [ -f "$font" ] || { echo "make-resources: $font is missing (install fonts-dejavu-core)" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Writes 8-bit RGBA PNG with no time stamps or other metadata, so that reruns are byte-identical.
write_png() {
  "$CONVERT" "$@" -strip -define png:exclude-chunks=date,time,bKGD -define png:compression-level=9 \
    "PNG32:$PNG_OUT"
}

# --- The icon -------------------------------------------------------------------------------
# A white page whose lines of text are gusts of wind, on a blue-to-teal rounded tile.

# gust X0 Y X1 R up|down: a stroke from (X0, Y) to (X1, Y) that then curls 270 degrees, up or down,
# and slightly inwards, as an MVG polyline. (ImageMagick 6 closes stroked paths that hold curves
# back to the curve's start, so curls are given as many short straight segments.)
gust() {
  awk -v x0="$1" -v y="$2" -v x1="$3" -v r="$4" -v turn="$5" 'BEGIN {
    steps = 64; pi = atan2(0, -1)
    if (turn == "up") { cy = y - r; a0 = 90; a1 = -180 } else { cy = y + r; a0 = -90; a1 = 180 }
    printf "polyline %g,%g", x0, y
    for (i = 0; i <= steps; i++) {
      t = i / steps; a = (a0 + (a1 - a0) * t) * pi / 180; rt = r * (1 - 0.25 * t)
      printf " %.3f,%.3f", x1 + rt * cos(a), cy + rt * sin(a)
    }
    printf "\n"
  }'
}

# The full drawing, in a 256-unit square.
{
  cat <<'MVG'
stroke none
fill '#0B3B5C40'
path 'M 70 38 H 164 L 200 74 V 216 A 14 14 0 0 1 186 230 H 70 A 14 14 0 0 1 56 216 V 52 A 14 14 0 0 1 70 38 Z'
fill '#FFFFFF'
path 'M 70 32 H 164 L 200 68 V 210 A 14 14 0 0 1 186 224 H 70 A 14 14 0 0 1 56 210 V 46 A 14 14 0 0 1 70 32 Z'
fill '#BFDDF2'
path 'M 164 32 V 58 A 10 10 0 0 0 174 68 H 200 Z'
fill none
stroke-width 14
stroke-linecap round
stroke-linejoin round
stroke '#2466D2'
MVG
  gust 80 106 148 21 up
  printf "stroke '#1A8FC0'\nline 80,140 176,140\nstroke '#12A89A'\n"
  gust 80 174 138 19 down
} >"$tmp/page.mvg"
printf 'fill white\nroundrectangle 16,16 239,239 48,48\n' >"$tmp/tile.mvg"

# 24 px: bigger page and tile, thicker lines, smaller curls, in 24 units, so edges meet pixels.
{
  cat <<'MVG'
stroke none
fill '#FFFFFF'
path 'M 5.5 1 H 15 L 20 6 V 21.5 A 1.5 1.5 0 0 1 18.5 23 H 5.5 A 1.5 1.5 0 0 1 4 21.5 V 2.5 A 1.5 1.5 0 0 1 5.5 1 Z'
fill '#A9D0EE'
path 'M 15 1 V 6 H 20 Z'
fill none
stroke-width 2
stroke-linecap butt
stroke-linejoin round
stroke '#1F5FCC'
MVG
  gust 7 10 13 2.5 up
  printf "stroke '#1689BA'\nline 7,14 17,14\nstroke '#0F9C8F'\n"
  gust 7 18 12 2 down
} >"$tmp/page24.mvg"
cat >"$tmp/tile24.mvg" <<'MVG'
fill white
path 'M 4 0 H 20 A 4 4 0 0 1 24 4 V 20 A 4 4 0 0 1 20 24 H 4 A 4 4 0 0 1 0 20 V 4 A 4 4 0 0 1 4 0 Z'
MVG

# 16 px: the page is drawn smooth, the lines pixel by pixel (a curl of single pixels).
cat >"$tmp/page16.mvg" <<'MVG'
stroke none
fill '#FFFFFF'
path 'M 4 1 H 10 L 13 4 V 14 A 1 1 0 0 1 12 15 H 4 A 1 1 0 0 1 3 14 V 2 A 1 1 0 0 1 4 1 Z'
fill '#A9D0EE'
path 'M 10 1 V 4 H 13 Z'
MVG
cat >"$tmp/tile16.mvg" <<'MVG'
fill white
path 'M 3 0 H 13 A 3 3 0 0 1 16 3 V 13 A 3 3 0 0 1 13 16 H 3 A 3 3 0 0 1 0 13 V 3 A 3 3 0 0 1 3 0 Z'
MVG
cat >"$tmp/lines16.mvg" <<'MVG'
fill '#1F5FCC'
rectangle 5,6 9,6
point 10,5
point 10,4
point 9,3
point 8,3
point 7,4
fill '#1689BA'
rectangle 5,9 11,9
fill '#0F9C8F'
rectangle 5,12 9,12
MVG

# draw_icon SIZE UNITS SCALE TILE PAGE: draws TILE (as the gradient's mask) and PAGE, given in
# UNITS per side, on a canvas SCALE times SIZE, then averages SCALE x SCALE blocks down to SIZE.
draw_icon() {
  size=$1 units=$2 scale=$3 tile=$4 page=$5
  canvas=$((size * scale))
  zoom=$(awk "BEGIN { print $canvas / $units }")
  "$CONVERT" -size "${canvas}x${canvas}" -define gradient:direction=SouthEast "gradient:$BLUE-$TEAL" -alpha set \
    \( -size "${canvas}x${canvas}" xc:none -draw "affine $zoom 0 0 $zoom 0 0 $(cat "$tmp/$tile")" \) \
    -compose DstIn -composite -compose Over \
    -draw "affine $zoom 0 0 $zoom 0 0 $(cat "$tmp/$page")" \
    -filter Box -resize "${size}x${size}" "PNG32:$tmp/icon$size.png"
}

draw_icon 256 256 8 tile.mvg page.mvg
draw_icon 48 256 16 tile.mvg page.mvg
draw_icon 32 256 16 tile.mvg page.mvg
draw_icon 24 24 16 tile24.mvg page24.mvg
draw_icon 16 16 16 tile16.mvg page16.mvg

for size in 256 48 32 24; do
  PNG_OUT="$out/icon-$size.png" write_png "$tmp/icon$size.png"
done
PNG_OUT="$out/icon-16.png" write_png "$tmp/icon16.png" -draw "$(cat "$tmp/lines16.mvg")"

python3 "$top/scripts/make-ico.py" "$out/brisa.ico" \
  "$out/icon-16.png" "$out/icon-24.png" "$out/icon-32.png" "$out/icon-48.png" "$out/icon-256.png"

# --- The About window's picture (600 x 132) ------------------------------------------------
# The promotion of Torvane, the publisher's viewer for technical drawings. Drawn at twice the size
# and halved, for smooth edges: a blueprint card (a navy gradient under a faint grid) with the
# product's mark (four vanes turning on an amber tile), its name, the formats it opens, and a
# flange drawn as on a plan with one dimension. Outside the rounded card is transparent, so the
# About window's panel colour shows at the corners.
CARD='roundrectangle 2,2 1197,261 36,36'
{
  printf "stroke '#FFFFFF0E'\nstroke-width 2\n"
  for x in $(seq 40 40 1160); do printf 'line %d,0 %d,264\n' "$x" "$x"; done
  for y in $(seq 12 40 252); do printf 'line 0,%d 1200,%d\n' "$y" "$y"; done
} >"$tmp/grid.mvg"
{
  printf "stroke none\nfill '#FFFFFF'\n"
  for angle in 0 90 180 270; do
    printf 'push graphic-context\ntranslate 100,100\nrotate %d\n' "$angle"
    printf "path 'M -6 -10 C 4 -52 40 -74 70 -62 C 58 -40 40 -20 10 -4 Z'\n"
    printf 'pop graphic-context\n'
  done
  printf "fill '#E8892E'\ncircle 100,100 100,114\nfill '#FFFFFF'\ncircle 100,100 100,106\n"
} >"$tmp/vane.mvg"
{
  # outline and bore, six bolt holes on their circle, dash-dot axes, and the outside diameter
  printf "fill none\nstroke '#8CC8FF'\nstroke-width 6\n"
  printf 'circle 1010,132 1010,42\ncircle 1010,132 1010,96\n'
  awk 'BEGIN { pi = atan2(0, -1)
    for (i = 0; i < 6; i++) {
      a = i * pi / 3 + pi / 6; x = 1010 + 66 * cos(a); y = 132 + 66 * sin(a)
      printf "circle %.2f,%.2f %.2f,%.2f\n", x, y, x + 11, y
    } }'
  printf "stroke '#8CC8FF99'\nstroke-width 3\nstroke-dasharray 18 6 4 6\n"
  printf 'line 900,132 1120,132\nline 1010,22 1010,242\n'
  printf "stroke-dasharray none\nstroke '#FFC98A'\nstroke-width 4\n"
  printf 'line 840,42 840,222\nline 826,42 996,42\nline 826,222 996,222\n'
  printf "fill '#FFC98A'\nstroke none\n"
  printf 'polygon 840,46 830,70 850,70\npolygon 840,218 830,194 850,194\n'
} >"$tmp/flange.mvg"
"$CONVERT" -size 1200x264 -define gradient:direction=East gradient:'#10294A-#1B4878' -alpha set \
  \( -size 1200x264 xc:none -fill white -draw "$CARD" \) -compose DstIn -composite -compose Over \
  \( -size 1200x264 xc:none -draw "$(cat "$tmp/grid.mvg")" \
     \( -size 1200x264 xc:none -fill white -draw "$CARD" \) -compose DstIn -composite \) \
  -compose Over -composite \
  \( -size 200x200 -define gradient:direction=SouthEast gradient:'#F6B24A-#E0662B' -alpha set \
     \( -size 200x200 xc:none -fill white -draw 'roundrectangle 0,0 199,199 44,44' \) \
     -compose DstIn -composite -compose Over -draw "$(cat "$tmp/vane.mvg")" \) \
  -geometry +32+32 -compose Over -composite \
  -draw "$(cat "$tmp/flange.mvg")" \
  -font "$BOLD_FONT" -pointsize 92 -fill '#FFFFFF' -annotate +262+140 'Torvane' \
  -font "$BOOK_FONT" -pointsize 38 -fill '#A9CFF5' -annotate +266+206 'DXF  ·  DWG  ·  STEP' \
  -filter Box -resize 600x132 "PNG32:$tmp/about.png"
PNG_OUT="$out/about.png" write_png "$tmp/about.png"
