#!/usr/bin/env bash
# The thumbnail panel at work:
#   responsiveness: key press -> view repainted while the panel renders a
#                   2,000-page text PDF, beside the same keys with the panel hidden
#                   (goal: median < 16 ms, p99 < 50 ms);
#   throughput:     miniatures per second for that PDF and for the 300-page CBZ
#                   of the comic benchmark, and the time from start-up until the
#                   miniatures in sight are drawn (in-process);
#   side by side:   launch -> sidebar settled, Brisa and evince on the same files,
#                   measured the same way from outside, with the ratio.
# PEERS=0 skips evince. RUNS sets the launches per program and file (default 3).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-3}
cmake -S "$top" -B "$top/build/winelib" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/winelib.cmake" >/dev/null
cmake --build "$top/build/winelib" -j2 --target Brisa driver thumbs_bench >/dev/null
if [ "${PEERS:-1}" != 0 ] && ! dpkg-query -W -f='${Status}' evince 2>/dev/null | grep -q 'ok installed'; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends evince >/dev/null
fi

work="$top/build/bench"
mkdir -p "$work/cbz" "$work/shots"
gcc -O2 -o "$work/settlewatch" "$top/bench/settlewatch.c" -lX11
pdf="$work/dense-2000.pdf"
[ -f "$pdf" ] || python3 "$top/scripts/makepdf.py" "$pdf" --pages 2000 --lines 60
# The comic benchmark's archive (the same recipe, so either script makes it for both).
cbz="$work/comic-stored.cbz"
if [ ! -f "$cbz" ]; then
  for i in $(seq 0 9); do
    /usr/bin/convert -size 1600x2400 "plasma:hsl($((i * 36)),60%,60%)-hsl($((i * 36 + 90)),60%,30%)" \
      -gravity center -pointsize 300 -annotate 0 "$i" -quality 88 "$work/cbz/base$i.jpg"
  done
  for n in $(seq 1 300); do
    cp "$work/cbz/base$((n % 10)).jpg" "$work/cbz/page$(printf %03d "$n").jpg"
  done
  rm -f "$work/cbz"/base*.jpg
  (cd "$work/cbz" && zip -q -0 "$work/comic-stored.cbz" page*.jpg && zip -q -9 "$work/comic-deflated.cbz" page*.jpg)
fi

source "$top/scripts/bench-wine.sh"
start_bench_wine "$work" "$top/build/winelib/driver.exe" 1920x1200x24
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at the start"

echo
echo "== responsiveness: 2,000-page PDF of 60 text lines a page, frame 1920 x 1080"
echo "   (a second thread posts each key while the panel pages down through the column,"
echo "    so that a miniature is being rendered; the delay ends with the view's WM_PAINT)"
"$top/build/winelib/thumbs_bench.exe" keys "$pdf" 200

echo
echo "== throughput, in-process (panel paged down each time its reach is drawn; 'in sight' is"
echo "   start-up -> the miniatures in sight drawn; slice = one idle step, the longest the loop"
echo "   stays away from its queue, from the last run)"
median_of() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
rate_row() {
  local name=$1 file=$2 limit=$3 line last= visible=() rate=()
  for _ in $(seq "$runs"); do
    line=$("$top/build/winelib/thumbs_bench.exe" rate "$file" "$limit")
    visible+=("$(echo "$line" | sed -E 's/.*visible_ms=([0-9.]+).*/\1/')")
    rate+=("$(echo "$line" | sed -E 's/.*per_second=([0-9.]+).*/\1/')")
    last=$line
  done
  printf '%-26s %10s %14s   %s\n' "$name" "$(printf '%s\n' "${visible[@]}" | median_of)" \
    "$(printf '%s\n' "${rate[@]}" | median_of)" \
    "$(echo "$last" | sed -E 's/.*(visible_count=[0-9]+).*(miniatures=[0-9]+).*(failed=[0-9]+).*(slice_p99_ms=[0-9.]+ slice_max_ms=[0-9.]+).*/\1 \2 \3 \4/')"
}
printf '%-26s %10s %14s\n' "document (median of $runs)" "in sight ms" "miniatures/s"
rate_row "dense PDF, 2,000 pages" "$pdf" 400
rate_row "CBZ, 300 JPEG pages" "$cbz" 300

echo
echo "== side by side: launch -> left 200 px of the window (sidebar) unchanged for 5 s"
echo "   (XGetImage every 20 ms; the time is the last change seen; last grabs in $work/shots)."
echo "   evince starts with its sidebar closed here: its window is given Brisa's size when it maps,"
echo "   and F9 (sidebar, on its thumbnails) once its title names the file (document loaded);"
echo "   the key's round trip (~10 ms) counts in its time."
wine reg add 'HKCU\Software\Brisa' /v HideThumbs /t REG_DWORD /d 0 /f >/dev/null 2>&1
# evince on its thumbnails, its settings kept apart from the user's.
export GTK_OVERLAY_SCROLLING=0
evince_config="$work/evince-config"
mkdir -p "$evince_config/glib-2.0/settings"
printf "[org/gnome/evince/default]\nshow-sidebar=true\nsidebar-page='thumbnails'\n" \
  > "$evince_config/glib-2.0/settings/keyfile"
# Prints the median settle time and the window's size.
settle() {
  local tag=$1; shift
  local times=() line geom=-
  for r in $(seq "$runs"); do
    line=$("$work/settlewatch" -t 90 -q 5000 -w 200 -o "$work/shots/$tag-$r.ppm" "$@" 2>/dev/null | tail -n 1)
    case "$line" in status=ok*)
      times+=("$(echo "$line" | sed -E 's/.*t_settled_ms=([0-9.]+).*/\1/')")
      geom=$(echo "$line" | sed -E 's/.*geom=([0-9x]+).*/\1/') ;;
    esac
    sleep 0.5
  done
  if [ ${#times[@]} -eq 0 ]; then echo "- $geom"; else echo "$(printf '%s\n' "${times[@]}" | median_of) $geom"; fi
}
printf '%-26s %12s %12s %8s   %s\n' "document (median of $runs)" "Brisa ms" "evince ms" "ratio" "window"
side_row() {
  local name=$1 file=$2 tag=$3 b e=- geom
  read -r b geom < <(settle "brisa-$tag" -- /usr/lib/wine/wine64 "$top/build/winelib/Brisa.exe.so" "$file")
  if [ "${PEERS:-1}" != 0 ]; then
    read -r e _ < <(settle "evince-$tag" -g "$geom" -k F9 -n "$(basename "$file")" -- \
      env GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME="$evince_config" evince "$file")
  fi
  printf '%-26s %12s %12s %8s   %s\n' "$name" "$b" "$e" \
    "$(awk -v b="$b" -v e="$e" 'BEGIN {if (b + 0 > 0 && e + 0 > 0) printf "%.2f", e / b; else print "-"}')" "$geom"
}
side_row "dense PDF, 2,000 pages" "$pdf" pdf
side_row "CBZ, 300 JPEG pages" "$cbz" cbz
echo "(ratio = evince / Brisa: above 1, Brisa's miniatures in sight are complete sooner)"
echo "machine: load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
