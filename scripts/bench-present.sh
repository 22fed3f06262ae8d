#!/usr/bin/env bash
# Presentation page turn, key to painted, in-process in a 1920 x 1080 screen:
# on a PDF of full text pages and on a comic of 1600 x 2400 photographic JPEG
# pages, each page shown once before the turns are timed (goal: under 50 ms),
# beside a full repaint of the same view.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/setup.sh" >/dev/null
bash "$top/scripts/build.sh" winelib >/dev/null
work="$top/build/bench"
mkdir -p "$work/present"
python3 "$top/scripts/makepdf.py" "$work/dense-50.pdf" --pages 50 --lines 48
if [ ! -f "$work/present/photos.cbz" ]; then
  for i in $(seq 1 8); do
    /usr/bin/convert -size 1600x2400 "plasma:hsl($((i * 40)),60%,60%)-hsl($((i * 40 + 90)),60%,30%)" \
      -gravity center -pointsize 300 -annotate 0 "$i" -quality 88 "$work/present/page$i.jpg"
  done
  (cd "$work/present" && zip -q -0 photos.cbz page*.jpg)
fi

source "$top/scripts/bench-wine.sh"
start_bench_wine "$work" "$top/build/winelib/driver.exe" 1920x1080x24
"$top/build/winelib/present_bench.exe" "$work/dense-50.pdf" "${TURNS:-140}"
echo
"$top/build/winelib/present_bench.exe" "$work/present/photos.cbz" "${TURNS:-140}"
