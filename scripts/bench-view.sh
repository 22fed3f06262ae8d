#!/usr/bin/env bash
# Reading speed, side by side with what the same work costs when done plainly:
#   scrolling: one wheel notch handled and painted on a page full of text at fit
#              width in a 1920 x 1080 frame, beside a full repaint of the view;
#   search:    a word found nowhere in a 2,000-page PDF (every page examined),
#              beside PDFium loading the same pages and their text.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/setup.sh" >/dev/null
bash "$top/scripts/build.sh" winelib native >/dev/null
work="$top/build/bench"
mkdir -p "$work"
python3 "$top/scripts/makepdf.py" "$work/dense-50.pdf" --pages 50 --lines 48
python3 "$top/scripts/makepdf.py" "$work/text-2000.pdf" --pages 2000

echo "== search"
"$top/build/native/search_bench" "$work/text-2000.pdf" 5

echo
echo "== scrolling"
source "$top/scripts/bench-wine.sh"
start_bench_wine "$work" "$top/build/winelib/driver.exe" 1920x1200x24
"$top/build/winelib/scroll_bench.exe" "$work/dense-50.pdf" 300
