#!/usr/bin/env bash
# Writes the licence text of every component Brisa redistributes, one file per
# component named as the About window lists it ("PDFium.txt", "UnRAR (CBR).txt"):
#   scripts/licences.sh FOLDER [UNRAR_LICENCE]
# The components PDFium builds in take their text from Debian's copyright file
# for the same library (installed by scripts/setup.sh); PDFium's own comes
# with it from npm. UNRAR_LICENCE is the licence of the unrar.dll shipped, when
# one is: without it no UnRAR entry is written.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: licences.sh FOLDER [UNRAR_LICENCE]}
unrar=${2:-}

# component|where its text comes from (deb:PACKAGE, file:PATH, node:NAME)
SOURCES=(
  "PDFium|file:$top/third_party/pdfium/LICENSE"
  "FreeType|deb:libfreetype6"
  "libjpeg-turbo|deb:libjpeg62-turbo"
  "OpenJPEG|deb:libopenjp2-7"
  "libpng|deb:libpng16-16"
  "zlib|deb:zlib1g"
  "Little CMS|deb:liblcms2-2"
  "AGG 2.3|deb:libagg-dev"
  "Abseil|deb:libabsl20220623"
  "ICU|deb:libicu72"
  "fast_float|deb:libfast-float-dev"
  "simdutf|node:simdutf"
  "LLVM libc|deb:llvm-14"
)
[ -z "$unrar" ] || SOURCES+=("UnRAR (CBR)|file:$unrar")

fail() { echo "licences.sh: $*" >&2; exit 1; }

# Node.js lists the licences of the libraries it bundles, one quoted block each.
node_block() {
  local name=$1 file
  for file in /usr/share/doc/nodejs/LICENSE /usr/share/doc/nodejs/copyright; do
    [ -f "$file" ] || continue
    awk -v name="$name" '
      $0 ~ "^- " name ", " { inside = 1; next }
      inside && /^- / { exit }
      inside' "$file" | sed '/^  """$/d'
    return 0
  done
}

mkdir -p "$out"
for entry in "${SOURCES[@]}"; do
  component=${entry%%|*}
  source=${entry#*|}
  target="$out/$component.txt"
  case "$source" in
    deb:*) cp "/usr/share/doc/${source#deb:}/copyright" "$target" 2>/dev/null ||
             fail "no licence for $component: install the Debian package ${source#deb:} (scripts/setup.sh)" ;;
    file:*) cp "${source#file:}" "$target" 2>/dev/null || fail "no licence for $component at ${source#file:}" ;;
    node:*) node_block "${source#node:}" >"$target"
            grep -q . "$target" || { rm -f "$target"; fail "no licence for $component: Node.js's list lacks it"; } ;;
  esac
done
