#!/usr/bin/env bash
# Reloading a file rewritten while open:
#   in-process, a 2,000-page PDF of full text pages rewritten whole while open at
#   page 1,500 with AutoReload on: file stable to repainted at the same page (goal
#   < 1 s, of which 500 ms are the settling time), beside the reload itself
#   (Ctrl+R), and the CPU used idling with the file watched;
#   end to end, REWRITES (default 50) rewrites in a row as a LaTeX build writes
#   (truncated, then written in chunks over 1 s): Brisa ends on the last version
#   at the same page, without a message and without crashing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-7}
bash "$top/scripts/build.sh" winelib >/dev/null

work="$top/build/bench"
mkdir -p "$work"
for pages in 2000 2001; do
  [ -f "$work/full-$pages.pdf" ] || python3 "$top/scripts/makepdf.py" "$work/full-$pages.pdf" --pages $pages --lines 40
done
cp "$work/full-2000.pdf" "$work/rewritten.pdf"

source "$top/scripts/bench-wine.sh"
start_bench_wine "$work" "$top/build/winelib/driver.exe"
echo "In-process, AutoReload on:"
"$top/build/winelib/reload_bench.exe" "$work/rewritten.pdf" "$work/full-2000.pdf" "$work/full-2001.pdf" "$runs"

echo
echo "End to end, ${REWRITES:-50} rewrites in a row:"
start=$(date +%s)
(cd "$top/tests/e2e" && BRISA_BUILD="$top/build/winelib" REWRITES=${REWRITES:-50} \
  python3 test_reload.py test_auto_reload_follows_a_file_rewritten_as_a_build_does)
echo "  $(( $(date +%s) - start )) s in all"
