#!/usr/bin/env bash
# Thousands of pages: PDFs of 5,000 and 10,000 pages full of text (PAGES overrides the
# list, e.g. PAGES="200" for a smoke run), and comics: 2,000 pages of 1200 x 1800
# JPEGs stored and deflated (COMIC_PAGES overrides), and a 4.5 GiB ZIP64 comic of
# 36 entries of 128 MiB (sparse on disk). Each is
#   launched to its first page on screen and peak memory, Brisa beside mupdf's
#   X11 viewer (medians of RUNS launches, default 3, as scripts/bench-startup.sh);
#   in-process on the real windows: start-up to the first page painted, End to
#   the last page painted, a search for a word found nowhere (PDF), Page Down
#   held through 200 pages and what scrolls after its release, the most the
#   image cache held (comics), peak resident memory.
# PDF=0 or COMICS=0 leaves out one kind.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-3}
pages_list=${PAGES:-5000 10000}
comic_pages=${COMIC_PAGES:-2000}
[ "${PDF:-1}" != 0 ] || pages_list=""
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
comics=""
if [ "${COMICS:-1}" != 0 ]; then
  # 20 distinct pages rendered once, copied to fill the comic.
  folder="$work/scale-comic-$comic_pages"
  if [ ! -f "$work/scale-stored-$comic_pages.cbz" ]; then
    mkdir -p "$folder"
    for i in $(seq 0 19); do
      [ -f "$work/scale-base$i.jpg" ] || /usr/bin/convert -size 1200x1800 \
        "plasma:hsl($((i * 18)),60%,60%)-hsl($((i * 18 + 90)),60%,30%)" -gravity center -pointsize 240 \
        -annotate 0 "$i" -quality 88 "$work/scale-base$i.jpg"
    done
    for n in $(seq 1 "$comic_pages"); do
      cp "$work/scale-base$((n % 20)).jpg" "$folder/page$(printf %05d "$n").jpg"
    done
    (cd "$folder" && zip -q -0 "$work/scale-stored-$comic_pages.cbz" page*.jpg &&
      zip -q -9 "$work/scale-deflated-$comic_pages.cbz" page*.jpg)
    rm -rf "$folder"
  fi
  [ -f "$work/scale-zip64.cbz" ] ||
    python3 "$top/scripts/make-bigzip.py" "$work/scale-zip64.cbz" --entry-mib 128 --count 36 "$work"/scale-base*.jpg
  comics="scale-stored-$comic_pages.cbz scale-deflated-$comic_pages.cbz scale-zip64.cbz"
fi

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

documents=""
for pages in $pages_list; do documents="$documents dense-$pages.pdf"; done
documents="$documents $comics"
printf '\n%-40s %14s %12s\n' "launch, document" "first page ms" "peak MiB"
for document in $documents; do
  for program in Brisa mupdf; do
    if [ "$program" = Brisa ]; then
      result=$(measure /usr/lib/wine/wine64 "$top/build/winelib/Brisa.exe.so" "$work/$document")
    else
      result=$(measure mupdf "$work/$document")
    fi
    set -- $result
    printf '%-40s %14s %12s\n' "$program, $document" "$1" "$2"
  done
done

echo
echo "In-process, Brisa on the real windows (1920 x 1080 frame):"
for pages in $pages_list; do
  "$top/build/winelib/scale_bench.exe" "$work/dense-$pages.pdf"
done
for comic in $comics; do
  echo "$comic:"
  "$top/build/winelib/comic_scale_bench.exe" "$work/$comic" 200
done
