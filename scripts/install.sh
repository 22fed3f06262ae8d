#!/usr/bin/env bash
# Installs the Linux build (build/winelib) under a prefix, or takes it away:
#   scripts/install.sh [--no-autostart]      install (sets up and builds the
#                                            program first if needed)
#   scripts/install.sh --uninstall           remove what an install put there
# PREFIX (default /usr/local) and DESTDIR (a staging root, for packagers) are
# read from the environment. What goes where:
#   PREFIX/bin/brisa                          the launcher
#   PREFIX/lib/brisa/                         the program, libpdfium.so, the keeper,
#                                             unrar.dll when built, brisa-session,
#                                             and the list of installed files
#   PREFIX/lib/brisa/licences/                the licence of each component the
#                                             About window lists
#   PREFIX/share/applications/brisa.desktop   the desktop entry (PDF, CBZ, CBR)
#   PREFIX/share/icons/hicolor/*/apps/brisa.png
#   PREFIX/share/metainfo/, share/man/man1/   software-centre metadata, man page
#   /etc/xdg/autostart/brisa-warm.desktop     the login warm-up (skipped with
#                                             --no-autostart; a user turns it off
#                                             with `brisa --autostart off`). For a
#                                             PREFIX inside the home folder it goes
#                                             to $XDG_CONFIG_HOME/autostart instead
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BRISA_BUILD_DIR:-$top/build/winelib}
prefix=${PREFIX:-/usr/local}
destdir=${DESTDIR:-}
case "$prefix/" in
  "$HOME"/*) user_autostart_dir=${XDG_CONFIG_HOME:-$HOME/.config}/autostart ;;
  *) user_autostart_dir= ;;
esac
autostart_dir=${AUTOSTART_DIR:-${user_autostart_dir:-/etc/xdg/autostart}}
mode=install
autostart=yes
for arg in "$@"; do
  case "$arg" in
    --uninstall) mode=uninstall ;;
    --no-autostart) autostart=no ;;
    *) echo "install.sh: unknown argument '$arg'" >&2; exit 2 ;;
  esac
done
case "$prefix" in /*) ;; *) echo "install.sh: PREFIX must be an absolute path" >&2; exit 2 ;; esac

libdir=$prefix/lib/brisa
bindir=$prefix/bin
manifest=$libdir/installed-files
ICON_SIZES=(16 24 32 48 256)
APP_ID=com.brisa_software.Brisa

# Every file is recorded as it is placed, and every folder made for it (with a
# trailing slash), so that uninstalling removes exactly what was installed,
# whatever the build held at the time, and no folder that was there before.
# The list is on disk from the first file on: an install that fails midway
# can still be uninstalled.
folders_to_make() {
  local dir=$1 new=()
  while [ "$dir" != / ] && [ ! -d "$destdir$dir" ]; do new=("$dir/" "${new[@]}"); dir=$(dirname "$dir"); done
  [ ${#new[@]} -eq 0 ] || printf '%s\n' "${new[@]}"
}

place() {
  local mode=$1 source=$2 target=$3 new
  new=$(folders_to_make "$(dirname "$target")")
  [ -z "$new" ] || printf '%s\n' "$new" >>"$destdir$manifest"
  install -D -m "$mode" "$source" "$destdir$target"
  printf '%s\n' "$target" >>"$destdir$manifest"
}

# A new list, keeping the folders an earlier install made (they are not new
# to this one, but are still the install's to remove).
start_manifest() {
  local earlier=
  [ -f "$destdir$manifest" ] && earlier=$(grep '/$' "$destdir$manifest" || true)
  local new
  new=$(folders_to_make "$libdir")
  mkdir -p "$destdir$libdir"
  { [ -z "$earlier" ] || printf '%s\n' "$earlier"
    [ -z "$new" ] || printf '%s\n' "$new"
    printf '%s\n' "$manifest"; } >"$destdir$manifest.new"
  mv "$destdir$manifest.new" "$destdir$manifest"
}

# The program finds libpdfium.so beside itself once installed, not in the
# source tree it was linked from.
set_runpath() {
  printf 'file(RPATH_SET FILE "${FILE}" NEW_RPATH "$ORIGIN")\n' >"$staging/runpath.cmake"
  cmake -DFILE="$1" -P "$staging/runpath.cmake" >/dev/null
}

# A fresh clone has neither PDFium nor a build: set up as scripts/run.sh does,
# and build the program alone, not its tests.
PROGRAM_TARGETS="Brisa brisa-keeper brisa_codecs_module unrar"
prepare_build() {
  if [ ! -f "$top/third_party/pdfium/libpdfium.so" ] || [ ! -f "$top/third_party/pdfium/LICENSE" ]; then
    bash "$top/scripts/setup.sh" >/dev/null
  fi
  if [ ! -f "$build/Brisa.exe.so" ] || [ ! -f "$build/brisa-keeper.exe.so" ] ||
     [ ! -f "$build/libbrisa-codecs.so" ]; then
    BUILD_TARGETS=$PROGRAM_TARGETS bash "$top/scripts/build.sh" winelib >/dev/null
  fi
}

failed_midway() {
  echo "install.sh: the install stopped midway; what it placed is listed in $destdir$manifest" \
       "and 'scripts/install.sh --uninstall' removes it" >&2
}

do_install() {
  prepare_build
  staging=$(mktemp -d)
  finished=no
  trap 'rm -rf "$staging"; [ "$finished" = yes ] || failed_midway' EXIT
  start_manifest

  place 0755 "$build/Brisa.exe.so" "$libdir/Brisa.exe.so"
  set_runpath "$destdir$libdir/Brisa.exe.so"
  place 0644 "$top/third_party/pdfium/libpdfium.so" "$libdir/libpdfium.so"
  # The image decoders, loaded from beside the program at the first comic page.
  place 0755 "$build/libbrisa-codecs.so" "$libdir/libbrisa-codecs.so"
  place 0755 "$build/brisa-keeper.exe.so" "$libdir/brisa-keeper.exe.so"
  place 0755 "$top/launcher/brisa-session" "$libdir/brisa-session"
  local unrar
  local unrar_licence=
  for unrar in "$build"/unrar.dll*; do
    [ -f "$unrar" ] || continue
    place 0755 "$unrar" "$libdir/$(basename "$unrar")"
    # This unrar.dll reads RAR through libarchive.
    unrar_licence=/usr/share/doc/libarchive13/copyright
  done
  bash "$top/scripts/licences.sh" "$staging/licences" $unrar_licence
  local licence
  for licence in "$staging/licences"/*.txt; do
    place 0644 "$licence" "$libdir/licences/$(basename "$licence")"
  done

  sed "s|@BRISA_LIBDIR@|$libdir|" "$top/launcher/brisa.in" >"$staging/brisa"
  place 0755 "$staging/brisa" "$bindir/brisa"
  sed "s|@BRISA_BINDIR@|$bindir|g" "$top/launcher/brisa.desktop.in" >"$staging/brisa.desktop"
  place 0644 "$staging/brisa.desktop" "$prefix/share/applications/brisa.desktop"
  local size
  for size in "${ICON_SIZES[@]}"; do
    place 0644 "$top/resources/icon-$size.png" "$prefix/share/icons/hicolor/${size}x$size/apps/brisa.png"
  done
  place 0644 "$top/launcher/brisa.metainfo.xml" "$prefix/share/metainfo/$APP_ID.metainfo.xml"
  local version
  version=$(sed -n 's/^#define BRISA_VERSION  *"\([0-9.]*\)".*/\1/p' "$top/resources/version.h")
  sed "s|@BRISA_VERSION@|$version|" "$top/launcher/brisa.1.in" >"$staging/brisa.1"
  place 0644 "$staging/brisa.1" "$prefix/share/man/man1/brisa.1"
  if [ "$autostart" = yes ]; then
    sed "s|@BRISA_BINDIR@|$bindir|g" "$top/launcher/brisa-warm.desktop.in" >"$staging/brisa-warm.desktop"
    place 0644 "$staging/brisa-warm.desktop" "$autostart_dir/brisa-warm.desktop"
    # In a user's own autostart folder the entry is the one that `brisa
    # --autostart off` hides: `--autostart on` puts this copy back.
    if [ "$autostart_dir" = "$user_autostart_dir" ]; then
      place 0644 "$staging/brisa-warm.desktop" "$libdir/brisa-warm.desktop"
    fi
  fi

  finished=yes
  refresh_caches
  echo "install.sh: installed under $destdir$prefix ($bindir/brisa)"
}

# Desktop databases are the system's, not the staging root's.
refresh_caches() {
  [ -z "$destdir" ] || return 0
  if [ -d "$prefix/share/applications" ] && command -v update-desktop-database >/dev/null; then
    update-desktop-database -q "$prefix/share/applications" || true
  fi
  if [ -d "$prefix/share/icons/hicolor" ] && command -v gtk-update-icon-cache >/dev/null; then
    gtk-update-icon-cache -q -t "$prefix/share/icons/hicolor" 2>/dev/null || true
  fi
}

do_uninstall() {
  if [ ! -f "$destdir$manifest" ]; then
    echo "install.sh: nothing installed under $destdir$prefix" >&2
    exit 1
  fi
  # The keeper and server of the user running this, for the real install only.
  if [ -z "$destdir" ] && [ -x "$bindir/brisa" ]; then
    "$bindir/brisa" --stop || true
  fi
  local entry dirs=()
  while IFS= read -r entry; do
    case "$entry" in
      */) dirs+=("$entry") ;;   # removed only when empty, below
      "$prefix"/*|"$autostart_dir"/*) rm -f "$destdir$entry" ;;
    esac
  done <"$destdir$manifest"
  # The folders the install made, deepest first, if nothing else came into
  # them but the caches the install refreshed.
  local dir
  while IFS= read -r dir; do
    [ -n "$dir" ] || continue
    if [ "$(ls -A "$destdir$dir" 2>/dev/null)" = icon-theme.cache ] ||
       [ "$(ls -A "$destdir$dir" 2>/dev/null)" = mimeinfo.cache ]; then
      rm -f "$destdir$dir"icon-theme.cache "$destdir$dir"mimeinfo.cache
    fi
    rmdir "$destdir$dir" 2>/dev/null || true
  done < <(printf '%s\n' "${dirs[@]}" | sort -r)
  refresh_caches
  echo "install.sh: removed from $destdir$prefix"
}

if [ "$mode" = install ]; then do_install; else do_uninstall; fi
