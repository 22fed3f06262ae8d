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

# Node.js lists the licences of the libraries it bundles: upstream's LICENSE
# one quoted block each, Debian's copyright file one Files paragraph each
# (with the named licences' texts in paragraphs of their own).
node_block() {
  local name=$1
  if [ -f /usr/share/doc/nodejs/LICENSE ]; then
    awk -v name="$name" '
      $0 ~ "^- " name ", " { inside = 1; next }
      inside && /^- / { exit }
      inside' /usr/share/doc/nodejs/LICENSE | sed '/^  """$/d'
  fi
  [ -f /usr/share/doc/nodejs/copyright ] || return 0
  awk -v name="$name" '
    BEGIN { RS = ""; ORS = "\n\n" }
    $0 ~ "^Files:[^\n]*" name { print; split($0, lines, "\n")
                                for (i in lines) if (lines[i] ~ /^License:/) wanted = wanted " " lines[i] }
    { paragraphs[NR] = $0 }
    END { for (i = 1; i <= NR; i++) {
            if (paragraphs[i] !~ /^License: /) continue
            split(paragraphs[i], first, "\n"); licence = substr(first[1], 10)
            if (wanted != "" && index(wanted, licence)) print paragraphs[i] } }' /usr/share/doc/nodejs/copyright
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
