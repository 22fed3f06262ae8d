#!/usr/bin/env bash
# Thousands of pages: PDFs of 5,000 and 10,000 pages full of text (PAGES overrides the
# list, e.g. PAGES="200" for a smoke run), each
#   launched to its first page on screen and peak memory, Brisa beside mupdf's
#   X11 viewer (medians of RUNS launches, default 3, as scripts/bench-startup.sh);
#   in-process on the real windows: start-up to the first page painted, End to
#   the last page painted, a search for a word found nowhere, peak resident memory.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-3}
pages_list=${PAGES:-5000 10000}
bash "$top/scripts/setup.sh" >/dev/null
bash "$top/scripts/build.sh" winelib >/dev/null

work="$top/build/bench"
mkdir -p "$work"
tools="$top/../shared/tools"
[ -d "$tools" ] || tools="${BRISA_SHARED_TOOLS:?set BRISA_SHARED_TOOLS to the folder holding fpwatch.c}"
gcc -O2 -o "$work/fpwatch" "$tools/fpwatch.c" -lX11
for pages in $pages_list; do
  [ -f "$work/dense-$pages.pdf" ] || python3 "$top/scripts/makepdf.py" "$work/dense-$pages.pdf" --pages "$pages" --lines 48
done

source "$top/scripts/bench-wine.sh"
start_bench_wine "$work" "$top/build/winelib/driver.exe" 1920x1200x24

# Prints "median_page_ms median_hwm_mib" of RUNS launches of a command.
measure() {
  local pages=() hwms=() line
  for _ in $(seq "$runs"); do
    line=$("$work/fpwatch" -t 60 -s 300 -- "$@" 2>/dev/null | tail -n 1)
    case "$line" in status=ok*) ;; *) echo "fail fail"; return ;; esac
    pages+=("$(echo "$line" | sed -E 's/.*t_page_ms=([0-9.]+).*/\1/')")
    hwms+=("$(echo "$line" | sed -E 's/.*hwm_kb=([0-9]+).*/\1/')")
    sleep 0.3
  done
  local page hwm
  page=$(printf '%s\n' "${pages[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  hwm=$(printf '%s\n' "${hwms[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1024}')
  echo "$page $hwm"
}

printf '\n%-28s %14s %12s\n' "launch, document" "first page ms" "peak MiB"
for pages in $pages_list; do
  for program in Brisa mupdf; do
    if [ "$program" = Brisa ]; then
      result=$(measure /usr/lib/wine/wine64 "$top/build/winelib/Brisa.exe.so" "$work/dense-$pages.pdf")
    else
      result=$(measure mupdf "$work/dense-$pages.pdf")
    fi
    set -- $result
    printf '%-28s %14s %12s\n' "$program, $pages pages" "$1" "$2"
  done
done

echo
echo "In-process, Brisa on the real windows (1920 x 1080 frame):"
for pages in $pages_list; do
  "$top/build/winelib/scale_bench.exe" "$work/dense-$pages.pdf"
done
