#!/usr/bin/env bash
# Prepares (start) or ends (stop) the environment the Wine tests run in: a
# virtual X display, a fresh Wine prefix for this run, and a persistent Wine
# server, so that every test starts warm and no Wine service inherits the test
# runner's output.
#   source tests/e2e/wine-env.sh start BUILD_DIR   # exports DISPLAY, WINEPREFIX, ...
#   tests/e2e/wine-env.sh stop
set -u

e2e_start() {
  local build=$1
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEPREFIX="$build/wineprefix"
  export BRISA_TEST_WORK="$build/e2e-work"
  export BRISA_BUILD="$build"
  rm -rf "$BRISA_TEST_WORK" && mkdir -p "$BRISA_TEST_WORK"

  # A display number nobody uses.
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  export DISPLAY=":$n"
  Xvfb "$DISPLAY" -screen 0 2048x1600x24 -nolisten tcp >/dev/null 2>&1 &
  echo $! > "$build/xvfb.pid"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done

  # A fresh prefix for every run; its creation takes ~10 s.
  wineserver -k >/dev/null 2>&1
  rm -rf "$WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
  cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
  # Wine draws the caption itself (no window manager here) and destroys windows at once.
  cat > "$build/seed.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="Y"
EOF
  wine regedit /S "$build/seed.reg" </dev/null >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot </dev/null >/dev/null 2>&1   # services start now, outside the test runner
  # Back only once the keeper's window is on the desktop. A test program that
  # came first would start the desktop itself, and the desktop, kept by the
  # keeper, would hold that program's output open: its runner would wait for
  # the end of that output as long as the keeper lives.
  rm -f "$build/keeper.ready"
  "$build/driver.exe" keep "$build/keeper.ready" </dev/null >/dev/null 2>&1 &
  echo $! > "$build/keeper.pid"
  for _ in $(seq 1200); do [ -e "$build/keeper.ready" ] && break; sleep 0.05; done
  [ -e "$build/keeper.ready" ] || echo "wine-env.sh: the keeper did not reach the desktop within 60 s" >&2
}

e2e_stop() {
  local build=${1:-${BRISA_BUILD:-}}
  if [ -n "$build" ] && [ -f "$build/keeper.pid" ]; then
    kill "$(cat "$build/keeper.pid")" 2>/dev/null
    rm -f "$build/keeper.pid" "$build/keeper.ready"
  fi
  # The prefix's own server, also when stop runs in a shell that did not start.
  if [ -n "$build" ]; then
    WINEPREFIX="$(cd "$build" && pwd)/wineprefix" wineserver -k >/dev/null 2>&1
  else
    wineserver -k >/dev/null 2>&1
  fi
  if [ -n "$build" ] && [ -f "$build/xvfb.pid" ]; then
    kill "$(cat "$build/xvfb.pid")" 2>/dev/null
    rm -f "$build/xvfb.pid"
  fi
}

case "${1:-}" in
  start) e2e_start "$(cd "${2:?build dir}" && pwd)" ;;
  stop) e2e_stop "${2:-}" ;;
  *) echo "usage: wine-env.sh start|stop BUILD_DIR" >&2 ;;
esac
