#!/usr/bin/env bash
# Night mode's extra cost per painted strip (goal: under 10% of rendering it),
# on a full-screen text page and a full-screen photo page, 1920 x 1080.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/setup.sh" >/dev/null
bash "$top/scripts/build.sh" winelib >/dev/null
work="$top/build/bench"
mkdir -p "$work/night"
python3 "$top/scripts/makepdf.py" "$work/dense-50.pdf" --pages 50 --lines 48
if [ ! -f "$work/night/photo.pdf" ]; then
  /usr/bin/convert -size 1700x2200 "plasma:hsl(20,60%,60%)-hsl(200,60%,30%)" -quality 90 "$work/night/photo.jpg"
  /usr/bin/convert "$work/night/photo.jpg" -density 200 "$work/night/photo.pdf"
fi

source "$top/scripts/bench-wine.sh"
start_bench_wine "$work" "$top/build/winelib/driver.exe" 1920x1080x24
for document in "$work/dense-50.pdf" "$work/night/photo.pdf"; do
  "$top/build/winelib/night_bench.exe" "$document" 1920 1080 "${ROUNDS:-30}"
done
