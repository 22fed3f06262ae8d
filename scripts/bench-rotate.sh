#!/usr/bin/env bash
# Rotation: R to the view painted again, beside a full repaint of the same view,
# in-process in a 1920 x 1080 frame: a 50-page PDF of full text pages, and a
# 20-page CBZ of 1600 x 2400 JPEG pages (whose turn decodes the pages in sight
# again). ROUNDS (default 5) rounds of four presses each.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
rounds=${ROUNDS:-5}
bash "$top/scripts/setup.sh" >/dev/null
bash "$top/scripts/build.sh" winelib >/dev/null
work="$top/build/bench"
mkdir -p "$work/rotate"
[ -f "$work/dense-50.pdf" ] || python3 "$top/scripts/makepdf.py" "$work/dense-50.pdf" --pages 50 --lines 48
if [ ! -f "$work/rotate-20.cbz" ]; then
  for i in $(seq 0 19); do
    /usr/bin/convert -size 1600x2400 "plasma:hsl($((i * 18)),60%,60%)-hsl($((i * 18 + 90)),60%,30%)" \
      -gravity center -pointsize 300 -annotate 0 "$i" -quality 88 "$work/rotate/page$(printf %02d "$i").jpg"
  done
  (cd "$work/rotate" && zip -q -0 "$work/rotate-20.cbz" page*.jpg)
fi

source "$top/scripts/bench-wine.sh"
start_bench_wine "$work" "$top/build/winelib/driver.exe"
echo "== PDF, full text pages"
"$top/build/winelib/rotate_bench.exe" "$work/dense-50.pdf" "$rounds"
echo
echo "== CBZ, 1600 x 2400 JPEG pages"
"$top/build/winelib/rotate_bench.exe" "$work/rotate-20.cbz" "$rounds"
