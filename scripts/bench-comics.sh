#!/usr/bin/env bash
# Opening a comic: launch -> first page on screen and peak memory of Brisa, the
# Wine floor and the readers a user would pick instead (mupdf, zathura with its
# comic plugin, evince, mcomix), side by side in one run, on a 300-page CBZ of
# 1600 x 2400 JPEG pages, stored and deflated; the same launches again with the
# floor and Brisa taking turns (ROUNDS, default 9). Then, in-process, the time from
# start-up to the first comic page painted, and a page turn to a prefetched page.
# The same pages as a stored RAR 5, non-solid and solid, beside the CBZ and the
# peers that read CBR; in-process, a solid RAR 4 too.
# PEERS=0 skips installing and measuring the peers.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-5}
bash "$top/scripts/setup.sh" >/dev/null
bash "$top/scripts/build.sh" winelib >/dev/null
if [ "${PEERS:-1}" != 0 ]; then
  missing=""
  for p in zathura zathura-cb evince mcomix; do dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing="$missing $p"; done
  [ -z "$missing" ] || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

work="$top/build/bench"
mkdir -p "$work/cbz"
tools="$top/../shared/tools"
[ -d "$tools" ] || tools="${BRISA_SHARED_TOOLS:?set BRISA_SHARED_TOOLS to the folder holding fpwatch.c and winfloor.c}"
gcc -O2 -o "$work/fpwatch" "$tools/fpwatch.c" -lX11
x86_64-w64-mingw32-gcc -O2 -mwindows -o "$work/winfloor.exe" "$tools/winfloor.c"

# 300 distinct pages: a few rendered once, then copied with a changed comment.
if [ ! -f "$work/comic-stored.cbz" ]; then
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
if [ ! -f "$work/comic-solid.cbr" ]; then
  python3 "$top/scripts/makerar.py" --format 5 "$work/comic.cbr" "$work"/cbz/page*.jpg
  python3 "$top/scripts/makerar.py" --format 5 --solid "$work/comic-solid.cbr" "$work"/cbz/page*.jpg
fi
# Solid RAR 4 is unpacked by a run of unar rather than by libarchive.
[ -f "$work/comic-solid4.cbr" ] ||
  python3 "$top/scripts/makerar.py" --format 4 --solid "$work/comic-solid4.cbr" "$work"/cbz/page*.jpg

source "$top/scripts/bench-wine.sh"
start_bench_wine "$work" "$top/build/winelib/driver.exe"

measure() {
  local pages=() hwms=() line
  for _ in $(seq "$runs"); do
    line=$("$work/fpwatch" -t 30 -s 300 -- "$@" 2>/dev/null | tail -n 1)
    case "$line" in status=ok*) ;; *) echo "fail -"; return ;; esac
    pages+=("$(echo "$line" | sed -E 's/.*t_page_ms=([0-9.]+).*/\1/')")
    hwms+=("$(echo "$line" | sed -E 's/.*hwm_kb=([0-9]+).*/\1/')")
    sleep 0.3
  done
  printf '%s %s\n' "$(printf '%s\n' "${pages[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')" \
    "$(printf '%s\n' "${hwms[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1024}')"
}

printf '\n%-34s %16s %16s\n' "program" "stored ms / MiB" "deflated ms / MiB"
row() {
  local name=$1; shift
  local s d
  s=$(measure "$@" "$work/comic-stored.cbz")
  d=$(measure "$@" "$work/comic-deflated.cbz")
  printf '%-34s %16s %16s\n' "$name" "${s/ / \/ }" "${d/ / \/ }"
}
floor=$(measure /usr/lib/wine/wine64 "$work/winfloor.exe")
printf '%-34s %16s\n' "Wine floor (trivial window)" "${floor/ / \/ }"
row "Brisa" /usr/lib/wine/wine64 "$top/build/winelib/Brisa.exe.so"
if [ "${PEERS:-1}" != 0 ]; then
  row "mupdf" mupdf
  row "zathura (comic plugin)" zathura
  row "evince" evince
  row "mcomix" mcomix
fi
# Launch times drift with the machine's state between rows: the same launches
# again, the floor and both comics taking turns, ROUNDS times.
page_ms() {
  local line
  line=$("$work/fpwatch" -t 30 -s 300 -- "$@" 2>/dev/null | tail -n 1)
  case "$line" in status=ok*) echo "$line" | sed -E 's/.*t_page_ms=([0-9.]+).*/\1/' ;; *) echo fail ;; esac
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
floors=() storeds=() deflateds=()
for _ in $(seq "${ROUNDS:-9}"); do
  floors+=("$(page_ms /usr/lib/wine/wine64 "$work/winfloor.exe")"); sleep 0.3
  storeds+=("$(page_ms /usr/lib/wine/wine64 "$top/build/winelib/Brisa.exe.so" "$work/comic-stored.cbz")"); sleep 0.3
  deflateds+=("$(page_ms /usr/lib/wine/wine64 "$top/build/winelib/Brisa.exe.so" "$work/comic-deflated.cbz")"); sleep 0.3
done
echo
echo "Launch, floor and Brisa taking turns (${ROUNDS:-9} rounds, medians): floor $(printf '%s\n' "${floors[@]}" | median) ms," \
  "stored $(printf '%s\n' "${storeds[@]}" | median) ms, deflated $(printf '%s\n' "${deflateds[@]}" | median) ms"

echo
echo "In-process, start-up -> first comic page painted (first run; median of later runs):"
echo "  stored:   $("$top/build/winelib/firstpaint.exe" "$work/comic-stored.cbz" 5)"
echo "  deflated: $("$top/build/winelib/firstpaint.exe" "$work/comic-deflated.cbz" 5)"

echo
printf '%-34s %16s %16s\n' "CBR (RAR 5, stored)" "non-solid ms/MiB" "solid ms / MiB"
rarrow() {
  local name=$1; shift
  local n o
  n=$(measure "$@" "$work/comic.cbr")
  o=$(measure "$@" "$work/comic-solid.cbr")
  printf '%-34s %16s %16s\n' "$name" "${n/ / \/ }" "${o/ / \/ }"
}
rarrow "Brisa" /usr/lib/wine/wine64 "$top/build/winelib/Brisa.exe.so"
if [ "${PEERS:-1}" != 0 ]; then
  rarrow "zathura (comic plugin)" zathura
  rarrow "evince" evince
  rarrow "mcomix" mcomix
fi
# A solid archive is unpacked whole at open: its floor includes reading the file once.
start=$(date +%s%N); cat "$work/comic-solid.cbr" > /dev/null; end=$(date +%s%N)
echo "reading the solid archive once (page cache): $(( (end - start) / 1000000 )) ms, $(( $(stat -c %s "$work/comic-solid.cbr") / 1048576 )) MiB"
echo "In-process, start-up -> first comic page painted (first run; median of later runs):"
echo "  CBR non-solid: $("$top/build/winelib/firstpaint.exe" "$work/comic.cbr" 5)"
echo "  CBR solid:     $("$top/build/winelib/firstpaint.exe" "$work/comic-solid.cbr" 5)"
echo "  CBR solid RAR 4 (unar): $("$top/build/winelib/firstpaint.exe" "$work/comic-solid4.cbr" 5)"
