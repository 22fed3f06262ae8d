#!/usr/bin/env bash
# The outline panel, in-process: the longest idle slice between the open and
# F9 (the panel is made ready then), F9 to the panel painted (wall and CPU
# time), to the view painted again at its new width, and to the whole outline
# in the tree (the part past the first slice comes in idle time), beside F4
# showing the thumbnails; for 1,000 items on three levels, 1,000 at the top
# level, and 10,000 (the most that is read). One Xvfb, a warm Wine server;
# medians of RUNS (default 7).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-7}
bash "$top/scripts/build.sh" winelib >/dev/null

work="$top/build/bench"
mkdir -p "$work"
flat() {   # N bookmarks at the top level, over 200 pages
  python3 -c "import sys; print(' '.join('--bookmark 1:%d:Item%d' % (i % 200 + 1, i) for i in range(int(sys.argv[1]))))" "$1"
}
[ -f "$work/outline-1000.pdf" ] || python3 "$top/scripts/makepdf.py" "$work/outline-1000.pdf" --pages 200 --bookmarks 1000
# shellcheck disable=SC2046
[ -f "$work/outline-flat1000.pdf" ] || python3 "$top/scripts/makepdf.py" "$work/outline-flat1000.pdf" --pages 200 $(flat 1000)
# shellcheck disable=SC2046
[ -f "$work/outline-flat.pdf" ] || python3 "$top/scripts/makepdf.py" "$work/outline-flat.pdf" --pages 200 $(flat 10000)

source "$top/scripts/bench-wine.sh"
start_bench_wine "$work" "$top/build/winelib/driver.exe"
for doc in outline-1000 outline-flat1000 outline-flat; do
  echo "$doc.pdf:"
  "$top/build/winelib/outline_bench.exe" "$work/$doc.pdf" "$runs"
done
