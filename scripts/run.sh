#!/usr/bin/env bash
# Sets up, builds and opens Brisa on a document (default: the bundled sample).
# With a display it shows the window and returns when the program ends.
# Without one it starts a virtual X server, waits until the first page is
# painted, saves a screenshot, prints its path and exits 0.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
document=$(realpath "${1:-$top/samples/sample.pdf}")

bash "$top/scripts/setup.sh" >/dev/null
bash "$top/scripts/build.sh" winelib >/dev/null

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
build="$top/build/winelib"

if [ -n "${DISPLAY:-}" ]; then
  # The launcher keeps the user's own prefix warm (see launcher/brisa.in).
  exec "$build/brisa" "$document"
fi

# No display: a virtual one, and a prefix of our own inside the build folder.
export WINEPREFIX="$top/build/run-prefix"
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
export DISPLAY=":$n"
Xvfb "$DISPLAY" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
keeper=
cleanup() {
  [ -n "$keeper" ] && kill "$keeper" 2>/dev/null
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i </dev/null >/dev/null 2>&1
  cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n' > "$WINEPREFIX/seed.reg"
  wine regedit /S "$WINEPREFIX/seed.reg" </dev/null >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1 || true
fi
wineserver -p </dev/null >/dev/null 2>&1
"$build/driver.exe" keep </dev/null >/dev/null 2>&1 &
keeper=$!

"$build/Brisa.exe" "$document" </dev/null >/dev/null 2>&1 &
frame=$("$build/driver.exe" find Brisa 30000 | cut -d' ' -f1)
view=$("$build/driver.exe" child "$frame" BrisaView)
# The first page is painted once the view shows something other than grey.
capture="$top/build/run-view.ppm"
for _ in $(seq 200); do
  if "$build/driver.exe" capture "$view" "$capture" &&
     [ "$(tail -c +20 "$capture" | od -An -tu1 -v | tr -s ' ' '\n' | grep -cv '^\(128\|\)$')" -gt 1000 ]; then
    break
  fi
  sleep 0.05
done
sleep 0.2
shot="$top/build/screenshot.png"
read -r _ x y w h < <("$build/driver.exe" rects "$frame" | grep '^window')
import -window root -crop "${w}x${h}+${x}+${y}" "$shot"
"$build/driver.exe" post "$frame" 16 0 0 >/dev/null 2>&1 || true
echo "$shot"
