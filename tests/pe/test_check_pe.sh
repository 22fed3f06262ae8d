#!/bin/sh
# Proves check_pe.py on small executables built here with mingw-w64 from our own resources:
# it passes a complete one (resources compiled by windres, and by wrc when present) and fails,
# naming the fault, one that lacks a resource, imports a name too many or too few, is a console
# program, carries an icon stored as BMP, has the wrong version or is cut short.
# Usage: test_check_pe.sh   (exit status 0 when every case behaves)
set -u

here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
checker="$here/check_pe.py"
cross=${MINGW_PREFIX:-x86_64-w64-mingw32-}
WRC=${WRC:-$(command -v wrc || command -v wrc-stable || echo /usr/lib/wine/wrc)}
CONVERT=${CONVERT:-convert}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
cases=0

fail() {
  echo "not ok - $*"
  failures=$((failures + 1))
}

# --- Building blocks ---------------------------------------------------------------------------

# No windows.h: the entry point's types are spelled out, which keeps the compiles quick.
cat >"$work/main.c" <<'EOF'
int FPDF_TestAlpha(int value);
int FPDF_TestBeta(void);
#ifdef CALL_GAMMA
int FPDF_TestGamma(void);
#endif
int wWinMain(void *instance, void *previous, unsigned short *commandLine, int show)
{
#ifdef CALL_GAMMA
    FPDF_TestGamma();
#endif
#ifdef SKIP_BETA
    return FPDF_TestAlpha(0);
#else
    return FPDF_TestAlpha(FPDF_TestBeta());
#endif
}
EOF
# What the program is allowed to import, and a wider list for the import library only.
printf 'LIBRARY pdfium.dll\nEXPORTS\n  FPDF_TestAlpha\n  FPDF_TestBeta ; two names\n' >"$work/pdfium.def"
printf 'LIBRARY pdfium.dll\nEXPORTS\n  FPDF_TestAlpha\n  FPDF_TestBeta\n  FPDF_TestGamma\n' >"$work/wider.def"

"${cross}dlltool" -d "$work/wider.def" -l "$work/pdfium.dll.a" -D pdfium.dll || {
  echo "Bail out! ${cross}dlltool failed"
  exit 1
}

# The manifest as the build makes it: the template with resources/version.h's version.
version=$(sed -n 's/^#define BRISA_VERSION  *"\([0-9.]*\)".*/\1/p' "$top/resources/version.h")

# variant NAME SED-SCRIPT: a copy of the resources in $work/NAME with brisa.rc edited.
variant() {
  mkdir -p "$work/$1"
  cp "$top/resources/"* "$work/$1/"
  sed "s/@BRISA_VERSION@/$version/" "$top/resources/brisa.manifest.in" >"$work/$1/brisa.manifest"
  sed -e "$2" "$top/resources/brisa.rc" >"$work/$1/brisa.rc"
}

# compile_rc DIR: DIR/res.o from DIR/brisa.rc with windres.
compile_rc() {
  "${cross}windres" -I "$1" "$1/brisa.rc" -O coff -o "$1/res.o"
}

# The program three ways.
for flavour in plain CALL_GAMMA SKIP_BETA; do
  "${cross}gcc" -c -D"$flavour" "$work/main.c" -o "$work/$flavour.o" || {
    echo "Bail out! ${cross}gcc cannot compile"
    exit 1
  }
done

# link OUT.exe FLAVOUR [gcc options and objects...]
link() {
  out=$1 flavour=$2
  shift 2
  "${cross}gcc" -municode "$work/$flavour.o" "$@" "$work/pdfium.dll.a" -o "$work/$out"
}

# expect STATUS LAST-LINE TEXT EXE: runs the checker on EXE and asserts its exit status, its last
# line, and that TEXT appears in its output (TEXT may be empty).
expect() {
  cases=$((cases + 1))
  status=$1 last=$2 text=$3 exe=$4
  output=$(python3 "$checker" "$work/$exe" "$work/pdfium.def" 2>&1)
  got=$?
  if [ "$got" != "$status" ]; then
    fail "$exe: exit status $got, expected $status"
    echo "$output" | sed 's/^/    /'
    return
  fi
  if [ "$(echo "$output" | tail -n 1)" != "$last" ]; then
    fail "$exe: last line '$(echo "$output" | tail -n 1)', expected '$last'"
    return
  fi
  if [ -n "$text" ] && ! echo "$output" | grep -qF -- "$text"; then
    fail "$exe: output does not mention '$text'"
    echo "$output" | sed 's/^/    /'
    return
  fi
  echo "ok - $exe"
}

# --- Cases ---------------------------------------------------------------------------------------

variant full 's/^$//'
compile_rc "$work/full" || fail "windres cannot compile resources/brisa.rc"
link good.exe plain -mwindows "$work/full/res.o"
expect 0 "11 passed, 0 failed" "" good.exe

# The Linux build compiles the same .rc with wrc; its output must carry the same resources.
if [ -x "$WRC" ]; then
  if "$WRC" -I "$work/full" -o "$work/wrc.res" "$work/full/brisa.rc" &&
    "${cross}windres" -J res -O coff "$work/wrc.res" -o "$work/wrc.o"; then
    link good-wrc.exe plain -mwindows "$work/wrc.o"
    expect 0 "11 passed, 0 failed" "" good-wrc.exe
  else
    fail "wrc cannot compile resources/brisa.rc"
  fi
else
  echo "ok - good-wrc.exe # SKIP no wrc found"
fi

link no-resources.exe plain -mwindows
expect 1 "3 passed, 8 failed" "RT_GROUP_ICON 1 is missing" no-resources.exe

variant no-picture '/RCDATA/d'
compile_rc "$work/no-picture" && link no-picture.exe plain -mwindows "$work/no-picture/res.o"
expect 1 "10 passed, 1 failed" "RT_RCDATA 2 is missing" no-picture.exe

variant no-manifest '/RT_MANIFEST/d'
compile_rc "$work/no-manifest" && link no-manifest.exe plain -mwindows "$work/no-manifest/res.o"
expect 1 "8 passed, 3 failed" "RT_MANIFEST 1 is missing" no-manifest.exe

variant old-version 's/^FILEVERSION .*/FILEVERSION 0,5,0,1/'
compile_rc "$work/old-version" && link old-version.exe plain -mwindows "$work/old-version/res.o"
expect 1 "10 passed, 1 failed" "file version is 0.5.0.1, expected 0.5.0.0" old-version.exe

variant english 's/"040C04B0"/"040904B0"/'
compile_rc "$work/english" && link english.exe plain -mwindows "$work/english/res.o"
expect 1 "10 passed, 1 failed" "string blocks are ['040904B0']" english.exe

link extra-import.exe CALL_GAMMA -mwindows "$work/full/res.o"
expect 1 "10 passed, 1 failed" "imported but not in the .def: FPDF_TestGamma" extra-import.exe

link missing-import.exe SKIP_BETA -mwindows "$work/full/res.o"
expect 1 "10 passed, 1 failed" "in the .def but not imported: FPDF_TestBeta" missing-import.exe

link console.exe plain -mconsole "$work/full/res.o"
expect 1 "10 passed, 1 failed" "subsystem is 3" console.exe

# ImageMagick's own ICO writer keeps the small sizes as BMP: the checker must see it.
variant bmp-icons 's/^$//'
if "$CONVERT" "$top/resources/icon-16.png" "$top/resources/icon-24.png" "$top/resources/icon-32.png" \
  "$top/resources/icon-48.png" "$top/resources/icon-256.png" "$work/bmp-icons/brisa.ico"; then
  compile_rc "$work/bmp-icons" && link bmp-icons.exe plain -mwindows "$work/bmp-icons/res.o"
  expect 1 "10 passed, 1 failed" "16x16 icon (RT_ICON 1) is not stored as PNG" bmp-icons.exe
else
  fail "convert cannot write an ICO"
fi

# Headers intact, the sections cut off: the header checks still pass, the rest fail with a reason.
head -c 2000 "$work/good.exe" >"$work/cut-short.exe"
expect 1 "2 passed, 9 failed" "runs past the end of the file" cut-short.exe

printf 'not an executable at all' >"$work/text.exe"
expect 1 "0 passed, 11 failed" "no MZ signature" text.exe

echo "$((cases - failures)) of $cases cases behave"
[ "$failures" -eq 0 ]
