#!/usr/bin/env bash
# Resuming and going to a page in a 2,000-page PDF of full text pages:
#   launch -> first page on screen, taking turns: the document opened at page 1
#   (the option off, as before it existed) and resumed at page 1,500 (the option
#   on, with the kept position written beforehand);
#   in-process, Enter in the Go to page window for page 1,999 -> painted, beside End.
# One Xvfb, a warm Wine server; medians of RUNS (default 7).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-7}
bash "$top/scripts/setup.sh" >/dev/null
bash "$top/scripts/build.sh" winelib >/dev/null

work="$top/build/bench"
mkdir -p "$work"
tools="$top/../shared/tools"
[ -d "$tools" ] || tools="${BRISA_SHARED_TOOLS:?set BRISA_SHARED_TOOLS to the folder holding fpwatch.c}"
gcc -O2 -o "$work/fpwatch" "$tools/fpwatch.c" -lX11
doc="$work/full-2000.pdf"
[ -f "$doc" ] || python3 "$top/scripts/makepdf.py" "$doc" --pages 2000 --size 612x792 --lines 40

source "$top/scripts/bench-wine.sh"
start_bench_wine "$work" "$top/build/winelib/driver.exe"
wine reg add 'HKCU\Software\Brisa' /v NeverAskDefault /t REG_DWORD /d 1 /f >/dev/null 2>&1

# The kept position of page 1,500 (index 1,499) at its top, for the file as it is now:
# size, last-write time (100 ns since 1601), sequence, fraction, page, little-endian.
entry=$(python3 - "$doc" <<'PY'
import os, struct, sys
st = os.stat(sys.argv[1])
ticks = st.st_mtime_ns // 100 + 116444736000000000
print(struct.pack("<QQQdI", st.st_size, ticks, 1, 0.0, 1499).hex())
PY
)
winpath=$(winepath -w "$doc")

set_resume() {
  wine reg add 'HKCU\Software\Brisa' /v ResumePosition /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
wine reg add 'HKCU\Software\Brisa\Recent' /v "$winpath" /t REG_BINARY /d "$entry" /f >/dev/null 2>&1

launch() {
  "$work/fpwatch" -t 20 -s 300 -- /usr/lib/wine/wine64 "$top/build/winelib/Brisa.exe.so" "$doc" 2>/dev/null | tail -n 1 |
    sed -nE 's/^status=ok.*t_page_ms=([0-9.]+).*/\1/p'
}
median() { sort -n | awk '{a[NR]=$1} END {if (NR) print a[int((NR+1)/2)]; else print "fail"}'; }

first=() resumed=()
for _ in $(seq "$runs"); do   # taking turns, so that the machine's load falls on both alike
  set_resume 0; first+=("$(launch)"); sleep 0.3
  set_resume 1; resumed+=("$(launch)"); sleep 0.3
done
m_first=$(printf '%s\n' "${first[@]}" | median)
m_resumed=$(printf '%s\n' "${resumed[@]}" | median)
printf '\n%-44s %14s\n' "Brisa, 2,000-page PDF (medians of $runs)" "first page ms"
printf '%-44s %14s\n' "opened at page 1 (option off)" "$m_first"
printf '%-44s %14s\n' "resumed at page 1,500" "$m_resumed"
echo "resumed / page 1: $(awk -v a="$m_resumed" -v b="$m_first" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')"
echo "  page 1 runs:  ${first[*]}"
echo "  resumed runs: ${resumed[*]}"
# What the resumed launches showed, read from the title of one more.
/usr/lib/wine/wine64 "$top/build/winelib/Brisa.exe.so" "$doc" >/dev/null 2>&1 &
brisa=$!
window=$("$top/build/winelib/driver.exe" find Brisa 20000 | cut -d' ' -f1)
sleep 1
echo "  a resumed launch's title: $("$top/build/winelib/driver.exe" title "$window")"
kill "$brisa" 2>/dev/null; wait "$brisa" 2>/dev/null || true

echo
echo "In-process, start-up entry -> first page painted (first run; median of the later runs):"
set_resume 0
echo "  at page 1:           $("$top/build/winelib/firstpaint.exe" "$doc" 5)"
set_resume 1   # each run ends where it resumed, so its end keeps the same position
echo "  resumed at 1,500:    $("$top/build/winelib/firstpaint.exe" "$doc" 5)"
set_resume 0

echo
echo "In-process, key to painted (2,000 pages):"
"$top/build/winelib/goto_bench.exe" "$doc" "$runs"
