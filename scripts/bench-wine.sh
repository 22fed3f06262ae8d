# Sourced by the benchmark scripts: a virtual display, the benchmark's own Wine
# prefix (made once), a persistent Wine server and a hidden keeper window, so that
# every launch measured starts warm. Everything is stopped when the script exits.
#   start_bench_wine WORK_DIR DRIVER_EXE [SCREEN]
start_bench_wine() {
  local work=$1 driver=$2 screen=${3:-1920x1080x24} n=90
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEPREFIX="$work/prefix" WINELOADER=/usr/lib/wine/wine64
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  export DISPLAY=":$n"
  Xvfb "$DISPLAY" -screen 0 "$screen" -nolisten tcp >/dev/null 2>&1 &
  bench_xvfb=$!
  bench_keeper=
  trap '[ -n "$bench_keeper" ] && kill $bench_keeper 2>/dev/null; wineserver -k 2>/dev/null; kill $bench_xvfb 2>/dev/null' EXIT
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i </dev/null >/dev/null 2>&1
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n\n[HKEY_CURRENT_USER\\Software\\Brisa]\n"HideAboutOnStartup"=dword:00000001\n' > "$work/seed.reg"
    wine regedit /S "$work/seed.reg" </dev/null >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
  fi
  # The window alone: no About window, no thumbnail panel narrowing the view.
  wine reg add 'HKCU\Software\Brisa' /v HideAboutOnStartup /t REG_DWORD /d 1 /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Brisa' /v HideThumbs /t REG_DWORD /d 1 /f >/dev/null 2>&1
  wineserver -p </dev/null >/dev/null 2>&1 || true
  "$driver" keep </dev/null >/dev/null 2>&1 &
  bench_keeper=$!
  sleep 2
}
