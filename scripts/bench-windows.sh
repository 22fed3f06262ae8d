#!/usr/bin/env bash
# Launch -> first page on screen of the two builds side by side, in one run:
#   the Linux build (Brisa.exe.so) and the Windows build (Brisa.exe under Wine,
#   beside the test bridge pdfium.dll), on a 10-page text PDF and a 300-page CBZ
#   of 1600 x 2400 JPEG pages (stored).
# One Xvfb, a warm Wine server and a kept desktop; the builds take turns launch by
# launch so that a busy machine weighs on both alike; medians of RUNS (default 7).
# The goal: the Windows build within 10% of the Linux build.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-7}
bash "$top/scripts/setup.sh" >/dev/null
bash "$top/scripts/build.sh" winelib mingw >/dev/null

work="$top/build/bench"
mkdir -p "$work/cbz" "$work/windows"
tools="$top/../shared/tools"
[ -d "$tools" ] || tools="${BRISA_SHARED_TOOLS:?set BRISA_SHARED_TOOLS to the folder holding fpwatch.c}"
gcc -O2 -o "$work/fpwatch" "$tools/fpwatch.c" -lX11
python3 "$top/scripts/makepdf.py" "$work/text-10.pdf" --pages 10 --size 612x300
# The comic of scripts/bench-comics.sh, made the same way when it is not there yet.
if [ ! -f "$work/comic-stored.cbz" ]; then
  for i in $(seq 0 9); do
    /usr/bin/convert -size 1600x2400 "plasma:hsl($((i * 36)),60%,60%)-hsl($((i * 36 + 90)),60%,30%)" \
      -gravity center -pointsize 300 -annotate 0 "$i" -quality 88 "$work/cbz/base$i.jpg"
  done
  for n in $(seq 1 300); do cp "$work/cbz/base$((n % 10)).jpg" "$work/cbz/page$(printf %03d "$n").jpg"; done
  rm -f "$work/cbz"/base*.jpg
  (cd "$work/cbz" && zip -q -0 "$work/comic-stored.cbz" page*.jpg && zip -q -9 "$work/comic-deflated.cbz" page*.jpg)
fi
cp "$top/build/mingw/Brisa.exe" "$top/build/winelib/bridge/pdfium.dll" "$top/build/winelib/bridge/libpdfium.so" \
  "$work/windows/"

source "$top/scripts/bench-wine.sh"
start_bench_wine "$work" "$top/build/winelib/driver.exe"

linux=(/usr/lib/wine/wine64 "$top/build/winelib/Brisa.exe.so")
windows=(/usr/lib/wine/wine64 "$work/windows/Brisa.exe")

# One launch: its first-page time in ms, or "fail".
launch() {
  local line
  line=$("$work/fpwatch" -t 30 -s 300 -- "$@" 2>/dev/null | tail -n 1)
  case "$line" in status=ok*) echo "$line" | sed -E 's/.*t_page_ms=([0-9.]+).*/\1/' ;; *) echo fail ;; esac
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR ? a[int((NR+1)/2)] : "fail")}'; }

# "linux_ms windows_ms" medians for one document, the builds alternating.
measure_pair() {
  local document=$1 l=() w=() i
  for i in $(seq "$runs"); do
    l+=("$(launch "${linux[@]}" "$document")"); sleep 0.3
    w+=("$(launch "${windows[@]}" "$document")"); sleep 0.3
  done
  if printf '%s\n' "${l[@]}" "${w[@]}" | grep -q fail; then echo "fail fail"; return; fi
  echo "$(printf '%s\n' "${l[@]}" | median) $(printf '%s\n' "${w[@]}" | median)"
}

printf '\n%-26s %12s %14s %9s %12s\n' "document" "Linux ms" "Brisa.exe ms" "ratio" "within 10%"
for row in "10-page PDF:$work/text-10.pdf" "300-page CBZ (stored):$work/comic-stored.cbz"; do
  name=${row%%:*}
  set -- $(measure_pair "${row#*:}")
  ratio=$(awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0 && b > 0) printf "%.2f", b / a; else print "-" }')
  within=$(awk -v r="$ratio" 'BEGIN { print (r != "-" && r >= 0.9 && r <= 1.1) ? "yes" : "no" }')
  printf '%-26s %12s %14s %9s %12s\n' "$name" "$1" "$2" "$ratio" "$within"
done
echo
echo "Medians of $runs launches each, the builds alternating; ratio = Brisa.exe / Linux build."
