#!/usr/bin/env bash
# Reading speed, side by side with what the same work costs when done plainly:
#   scrolling: one wheel notch handled and painted on a page full of text at fit
#              width in a 1920 x 1080 frame, beside a full repaint of the view;
#   search:    a word found nowhere in a 2,000-page PDF (every page examined),
#              beside PDFium loading the same pages and their text.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/setup.sh" >/dev/null
bash "$top/scripts/build.sh" winelib native >/dev/null
work="$top/build/bench"
mkdir -p "$work"
python3 "$top/scripts/makepdf.py" "$work/dense-50.pdf" --pages 50 --lines 48
python3 "$top/scripts/makepdf.py" "$work/text-2000.pdf" --pages 2000

echo "== search"
"$top/build/native/search_bench" "$work/text-2000.pdf" 5

echo
echo "== scrolling"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" WINEPREFIX="$work/prefix"
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
export DISPLAY=":$n"
Xvfb "$DISPLAY" -screen 0 1920x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null; kill $xvfb 2>/dev/null' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i </dev/null >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Brisa' /v HideAboutOnStartup /t REG_DWORD /d 1 /f >/dev/null 2>&1
"$top/build/winelib/scroll_bench.exe" "$work/dense-50.pdf" 300
