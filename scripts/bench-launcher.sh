#!/usr/bin/env bash
# Launch -> first page of a 10-page PDF, each launch after a 5 s pause with the
# program closed, side by side in one run (medians of RUNS, default 5):
#   the launcher (build/winelib/brisa: the user's prefix kept warm by its keeper),
#   the same program through plain `wine` with Debian's defaults (its server exits
#     2 s after the last program, so every launch here is cold),
#   the Wine floor (a trivial Win32 window) started warm the launcher's way,
#   the same floor in Brisa's shape (its window size, a child view with scroll
#     bars: bench/shapefloor.c), started the same way,
#   Debian's mupdf on the same file;
# then the launcher and both floors taking turns.
# Also: the launcher's very first start (creating its prefix), and what the
# warm set-up (server, services, desktop, keeper) costs in memory and idle CPU.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-5}
pause=${PAUSE:-5}
bash "$top/scripts/setup.sh" >/dev/null
bash "$top/scripts/build.sh" winelib >/dev/null

work="$top/build/bench-launcher"
rm -rf "$work"
mkdir -p "$work"
tools="$top/../shared/tools"
[ -d "$tools" ] || tools="${BRISA_SHARED_TOOLS:?set BRISA_SHARED_TOOLS to the folder holding fpwatch.c and winfloor.c}"
gcc -O2 -o "$work/fpwatch" "$tools/fpwatch.c" -lX11
x86_64-w64-mingw32-gcc -O2 -mwindows -o "$work/winfloor.exe" "$tools/winfloor.c"
x86_64-w64-mingw32-gcc -O2 -mwindows -o "$work/shapefloor.exe" "$top/bench/shapefloor.c"
python3 "$top/scripts/makepdf.py" "$work/text-10.pdf" --pages 10 --size 612x300
build="$top/build/winelib"

n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
export DISPLAY=":$n"
Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
launcher_prefix="$XDG_DATA_HOME/brisa/wine"
plain_prefix="$work/plain-prefix"
cleanup() {
  "$build/brisa" --stop >/dev/null 2>&1 || true
  WINEPREFIX="$plain_prefix" wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done

# "status ms hwm_mib" of one launch.
once() {
  local line
  line=$("$work/fpwatch" -t 60 -s 300 -- "$@" 2>/dev/null | tail -n 1)
  case "$line" in status=ok*) ;; *) echo "fail - -"; return ;; esac
  echo "ok $(echo "$line" | sed -E 's/.*t_page_ms=([0-9.]+).*/\1/') \
$(echo "$line" | sed -E 's/.*hwm_kb=([0-9]+).*/\1/' | awk '{printf "%.1f", $1/1024}')"
}

median_of() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# "median_ms median_mib all_ms" of RUNS launches, each after the pause.
measure() {
  local ms=() mib=() result
  for _ in $(seq "$runs"); do
    sleep "$pause"
    result=$(once "$@")
    ms+=("$(echo "$result" | cut -d' ' -f2)")
    mib+=("$(echo "$result" | cut -d' ' -f3)")
  done
  echo "$(median_of "${ms[@]}") $(median_of "${mib[@]}") $(IFS=,; echo "${ms[*]}")"
}

# Both prefixes show the window alone: no About window, no thumbnail panel,
# Wine drawing no window-manager frame.
seed() {
  WINEPREFIX=$1 wine reg add 'HKCU\Software\Brisa' /v HideAboutOnStartup /t REG_DWORD /d 1 /f >/dev/null 2>&1
  WINEPREFIX=$1 wine reg add 'HKCU\Software\Brisa' /v HideThumbs /t REG_DWORD /d 1 /f >/dev/null 2>&1
  WINEPREFIX=$1 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
}

# The launcher's first start: it makes the prefix, then opens the document.
first=$(once "$build/brisa" "$work/text-10.pdf")
WINEDEBUG=-all seed "$launcher_prefix"

# Plain wine, Debian's defaults: its own prefix, made now, server left to exit.
(export WINEPREFIX="$plain_prefix" WINEDEBUG=-all
 wineboot -i </dev/null >/dev/null 2>&1; seed "$plain_prefix"; wineserver -w) >/dev/null 2>&1

launcher=$(measure "$build/brisa" "$work/text-10.pdf")
plain=$(WINEPREFIX="$plain_prefix" WINEDEBUG=-all measure wine "$build/Brisa.exe.so" "$work/text-10.pdf")
warm() { WINEPREFIX="$launcher_prefix" WINEDEBUG=-all WINELOADER=/usr/lib/wine/wine64 "$@"; }
direct=$(WINEDLLPATH="$build" warm measure /usr/lib/wine/wine64 "$build/Brisa.exe.so" "$work/text-10.pdf")
floor=$(warm measure /usr/lib/wine/wine64 "$work/winfloor.exe")
shape=$(warm measure /usr/lib/wine/wine64 "$work/shapefloor.exe")
mupdf=$(measure mupdf "$work/text-10.pdf")

# Launches vary by tens of ms with the machine's state, and a row measured after
# another drifts with it: the launcher and both floors again, taking turns, each
# after the pause, ROUNDS times (default 9).
turn_launcher=() turn_floor=() turn_shape=()
for _ in $(seq "${ROUNDS:-9}"); do
  sleep "$pause"; turn_launcher+=("$(once "$build/brisa" "$work/text-10.pdf" | cut -d' ' -f2)")
  sleep "$pause"; turn_floor+=("$(warm once /usr/lib/wine/wine64 "$work/winfloor.exe" | cut -d' ' -f2)")
  sleep "$pause"; turn_shape+=("$(warm once /usr/lib/wine/wine64 "$work/shapefloor.exe" | cut -d' ' -f2)")
done

# What keeping warm costs: the prefix's processes, idle, after the last window closed.
sleep 3
pids=$(for p in /proc/[0-9]*; do
  { tr '\0' '\n' <"$p/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$launcher_prefix" &&
    [ -n "$({ tr -d '\0' <"$p/cmdline"; } 2>/dev/null)" ] && echo "${p#/proc/}"   # none: ended, not reaped
done || true)
count=$(echo "$pids" | grep -c . || true)
rss_kib=$(for p in $pids; do awk '/^VmRSS/ {print $2}' "/proc/$p/status" 2>/dev/null; done | awk '{s+=$1} END {print s+0}')
ticks() { for p in $pids; do awk '{print $14 + $15}' "/proc/$p/stat" 2>/dev/null; done | awk '{s+=$1} END {print s+0}'; }
t0=$(ticks); sleep 10; t1=$(ticks)
hz=$(getconf CLK_TCK)
idle_cpu=$(awk -v a="$t0" -v b="$t1" -v hz="$hz" 'BEGIN {printf "%.1f", (b - a) / hz / 10 * 100}')

printf '\n%-52s %10s %10s   %s\n' "launch -> first page, 10-page PDF (after ${pause} s)" "median ms" "peak MiB" "each run (ms)"
for entry in "launcher (warm prefix, keeper)|$launcher" "plain wine, Debian defaults|$plain" \
             "Brisa without the launcher, same warm prefix|$direct" \
             "Wine floor, trivial window, launcher's recipe|$floor" \
             "the floor in Brisa's shape (size, scroll bars)|$shape" "mupdf|$mupdf"; do
  set -- ${entry#*|}
  printf '%-52s %10s %10s   %s\n' "${entry%%|*}" "$1" "$2" "$3"
done
set -- $launcher; l_ms=$1; set -- $plain; p_ms=$1; set -- $floor; f_ms=$1; set -- $direct; d_ms=$1
set -- $shape; s_ms=$1
echo
echo "first start (prefix created, notice shown): $(echo "$first" | cut -d' ' -f2) ms"
awk -v l="$l_ms" -v p="$p_ms" -v f="$f_ms" -v d="$d_ms" -v s="$s_ms" 'BEGIN {
  printf "launcher over the warm floor: %+.0f ms (goal: at most +30), of which the launcher itself: %+.0f ms and Brisa'"'"'s own start-up over a trivial window: %+.0f ms\n", l - f, l - d, d - f
  printf "the window'"'"'s shape alone (shape floor over the floor): %+.0f ms; the launcher over the shape floor: %+.0f ms\n", s - f, l - s
  printf "plain wine / launcher: %.1fx (goal: at least 5x)\n", p / l }'
t_l=$(median_of "${turn_launcher[@]}"); t_f=$(median_of "${turn_floor[@]}"); t_s=$(median_of "${turn_shape[@]}")
echo "taking turns (${ROUNDS:-9} rounds, medians): launcher $t_l ms, floor $t_f ms, shape floor $t_s ms;" \
  "launcher over the floor $(awk -v l="$t_l" -v f="$t_f" 'BEGIN {printf "%+.0f", l - f}') ms," \
  "over the shape floor $(awk -v l="$t_l" -v s="$t_s" 'BEGIN {printf "%+.0f", l - s}') ms"
echo "  each: launcher $(IFS=,; echo "${turn_launcher[*]}"); floor $(IFS=,; echo "${turn_floor[*]}"); shape floor $(IFS=,; echo "${turn_shape[*]}")"
echo "keeping warm: $count processes, $(awk -v k="$rss_kib" 'BEGIN {printf "%.0f", k/1024}') MiB summed RSS, ${idle_cpu}% of one core idle (10 s)"
