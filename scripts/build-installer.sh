#!/usr/bin/env bash
# Builds the Windows installer, BrisaSetup.exe, from the Windows build and the
# DLLs that go beside it:
#   scripts/build-installer.sh --pdfium DIR/pdfium.dll [--unrar DIR/unrar.dll]
#                              [--exe build/mingw/Brisa.exe] [--out build/mingw/BrisaSetup.exe]
# The same can be given as PDFIUM_DLL, UNRAR_DLL, BRISA_EXE and OUT_FILE in the environment.
# The installer carries the licence of each component (scripts/licences.sh);
# UnRAR's is the license.txt that comes beside unrar.dll.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

exe=${BRISA_EXE:-$top/build/mingw/Brisa.exe}
pdfium=${PDFIUM_DLL:-}
unrar=${UNRAR_DLL:-}
out=${OUT_FILE:-$top/build/mingw/BrisaSetup.exe}
while [ $# -gt 0 ]; do
  case "$1" in
    --exe) exe=$2; shift 2 ;;
    --pdfium) pdfium=$2; shift 2 ;;
    --unrar) unrar=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "build-installer.sh: unknown argument '$1'" >&2; exit 2 ;;
  esac
done

fail() { echo "build-installer.sh: $*" >&2; exit 1; }
[ -f "$exe" ] || fail "no Brisa.exe at $exe (bash scripts/build.sh mingw)"
[ -n "$pdfium" ] || fail "give the x64 pdfium.dll with --pdfium"
[ -f "$pdfium" ] || fail "no pdfium.dll at $pdfium"
[ -z "$unrar" ] || [ -f "$unrar" ] || fail "no unrar.dll at $unrar"
unrar_licence=
if [ -n "$unrar" ]; then
  unrar_licence=$(dirname "$unrar")/license.txt
  [ -f "$unrar_licence" ] || fail "no licence for unrar.dll: its license.txt must be beside it"
fi
command -v makensis >/dev/null || fail "makensis is missing (Debian package nsis)"

version=$(sed -n 's/^#define BRISA_VERSION  *"\([0-9.]*\)".*/\1/p' "$top/resources/version.h")
[ -n "$version" ] || fail "no BRISA_VERSION in resources/version.h"

mkdir -p "$(dirname "$out")"
licences=$(mktemp -d)
trap 'rm -rf "$licences"' EXIT
bash "$top/scripts/licences.sh" "$licences" $unrar_licence
args=(-V2 -INPUTCHARSET UTF8
      "-DBRISA_EXE=$(realpath "$exe")" "-DPDFIUM_DLL=$(realpath "$pdfium")"
      "-DLICENCES_DIR=$licences" "-DOUT_FILE=$(realpath -m "$out")" "-DVERSION=$version" "-DICON_FILE=$top/resources/brisa.ico")
[ -z "$unrar" ] || args+=("-DUNRAR_DLL=$(realpath "$unrar")")
makensis "${args[@]}" "$top/installer/brisa.nsi" >&2
echo "$out"
