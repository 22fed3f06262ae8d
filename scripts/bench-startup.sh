#!/usr/bin/env bash
# Launch -> first page on screen, and peak memory, side by side in one run:
#   Brisa (Linux build) on a 10-page and a 2,000-page text PDF,
#   mupdf's X11 viewer on the same files,
#   the Wine floor: a trivial Win32 window started the same way as Brisa.
# One Xvfb, the Wine server already running and the desktop kept alive, warm
# caches; medians of RUNS (default 7). Then the in-process time from the start
# of the program's start-up code to the end of the first page's paint.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-7}
bash "$top/scripts/setup.sh" >/dev/null
bash "$top/scripts/build.sh" winelib >/dev/null

work="$top/build/bench"
mkdir -p "$work"
tools="$top/../shared/tools"
[ -d "$tools" ] || tools="${BRISA_SHARED_TOOLS:?set BRISA_SHARED_TOOLS to the folder holding fpwatch.c and winfloor.c}"
gcc -O2 -o "$work/fpwatch" "$tools/fpwatch.c" -lX11
x86_64-w64-mingw32-gcc -O2 -mwindows -o "$work/winfloor.exe" "$tools/winfloor.c"
python3 "$top/scripts/makepdf.py" "$work/text-10.pdf" --pages 10 --size 612x300
python3 "$top/scripts/makepdf.py" "$work/text-2000.pdf" --pages 2000 --size 612x300

source "$top/scripts/bench-wine.sh"
start_bench_wine "$work" "$top/build/winelib/driver.exe"

# Prints "median_page_ms median_hwm_mib" of RUNS launches of a command.
measure() {
  local pages=() hwms=() line
  for _ in $(seq "$runs"); do
    line=$("$work/fpwatch" -t 20 -s 300 -- "$@" 2>/dev/null | tail -n 1)
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

floor=$(measure /usr/lib/wine/wine64 "$work/winfloor.exe")
b10=$(measure /usr/lib/wine/wine64 "$top/build/winelib/Brisa.exe.so" "$work/text-10.pdf")
b2000=$(measure /usr/lib/wine/wine64 "$top/build/winelib/Brisa.exe.so" "$work/text-2000.pdf")
m10=$(measure mupdf "$work/text-10.pdf")
m2000=$(measure mupdf "$work/text-2000.pdf")

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
set -- $floor; f_ms=$1 f_mem=$2
printf '\n%-34s %14s %12s %10s\n' "program, document" "first page ms" "peak MiB" "vs floor"
printf '%-34s %14s %12s %10s\n' "Wine floor (trivial window)" "$f_ms" "$f_mem" "1.00"
for row in "Brisa, 10 pages:$b10" "Brisa, 2,000 pages:$b2000" "mupdf, 10 pages:$m10" "mupdf, 2,000 pages:$m2000"; do
  name=${row%%:*}; set -- ${row#*:}
  printf '%-34s %14s %12s %10s\n' "$name" "$1" "$2" "$(ratio "$1" "$f_ms")"
done
set -- $b10; b10_ms=$1; set -- $b2000; b2000_ms=$1
echo
echo "Brisa over the floor: $(awk -v a="$b10_ms" -v b="$f_ms" 'BEGIN{printf "%+.0f", a-b}') ms (10 pages); 2,000 pages / 10 pages: $(ratio "$b2000_ms" "$b10_ms")"
echo
echo "In-process, start-up entry -> first page painted (first run; median of the later runs):"
echo "  10 pages:    $("$top/build/winelib/firstpaint.exe" "$work/text-10.pdf" 5)"
echo "  2,000 pages: $("$top/build/winelib/firstpaint.exe" "$work/text-2000.pdf" 5)"
