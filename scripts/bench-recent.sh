#!/usr/bin/env bash
# Closing a document while Software\Brisa\Recent holds many foreign values
# (VALUES, default 10,000): the time of each write that keeps the reading
# position, in-process, until the key is back to a full list at most.
# Its own prefix and a warm Wine server; the key is cleared afterwards.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
values=${VALUES:-10000}
BUILD_TARGETS="recent_bench driver" bash "$top/scripts/build.sh" winelib >/dev/null

work="$top/build/bench"
mkdir -p "$work"
doc="$work/recent-3.pdf"
[ -f "$doc" ] || python3 "$top/scripts/makepdf.py" "$doc" --pages 3 --size 612x792 --lines 40

source "$top/scripts/bench-wine.sh"
start_bench_wine "$work" "$top/build/winelib/driver.exe"
"$top/build/winelib/recent_bench.exe" "$doc" "$values"
