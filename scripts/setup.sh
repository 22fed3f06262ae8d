#!/usr/bin/env bash
# Installs everything Brisa needs to build and test on Debian 12, as root.
# Idempotent: a second run only checks what is already there.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)

# PDFium for the Linux build, pinned and checksummed.
PDFIUM_PACKAGE=@craftlions/pdfium-rs-linux-x64-gnu
PDFIUM_VERSION=0.0.15
PDFIUM_SHA256=246872bdd5e05843b70051e6378216cc584535a1f4a7248b9f88059715d70f7c
PDFIUM_DIR="$top/third_party/pdfium"
# The package above carries no licence text: PDFium's own (BSD-3-Clause and
# Apache-2.0) comes from another build of the same library, pinned likewise.
PDFIUM_LICENCE_PACKAGE=@embedpdf/pdfium
PDFIUM_LICENCE_VERSION=2.15.1
PDFIUM_LICENCE_FILE=LICENSE.pdfium
PDFIUM_LICENCE_SHA256=b033ffb8fc19c23ca81f7e98019ab658cc6f4cf14587c7c6a2a67fb0f6ac0f5a

APT_PACKAGES=(
  # the two toolchains
  cmake make g++ wine wine64 wine64-tools fonts-wine libwine-dev g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  # the Linux build's image codecs
  pkg-config libjpeg62-turbo-dev libpng-dev libgif-dev libwebp-dev libtiff-dev libavif-dev libheif-dev libjxr-dev
  # tests, fuzzing, sanitizers
  libgtest-dev clang libclang-rt-14-dev zlib1g-dev libdeflate-dev
  # the C and C++ layout check
  clang-format
  # driving the program under a virtual display
  xvfb xdotool x11-utils x11-xserver-utils imagemagick
  # making and checking test documents
  qpdf zip unzip poppler-utils python3 icoutils fonts-dejavu-core
  libavif-bin libheif-examples libjxr-tools webp
  # the Linux build's own unrar.dll reads RAR through libarchive, solid RAR 4 through unar
  libarchive-dev unar
  # packaging: the Windows installer, the Linux desktop entry, the Debian
  # package and its checks, the software-centre metadata
  nsis desktop-file-utils dpkg-dev lintian appstream
  # licence texts shipped with the components PDFium builds in (the rest come
  # with the libraries above; simdutf's with Node.js)
  libfreetype6 libopenjp2-7 liblcms2-2 libabsl20220623 libicu72 libagg-dev libfast-float-dev llvm-14 nodejs
  # printing to a PDF through a private spooler in the tests
  cups cups-client cups-bsd printer-driver-cups-pdf
  # benchmarks: the peer viewer and the window-watching timer
  mupdf libx11-dev time
  # npm for the PDFium package, when the machine has no Node.js yet
  ca-certificates
)

missing_packages() {
  local p
  for p in "${APT_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

need=$(missing_packages)
if ! command -v npm >/dev/null 2>&1; then need="$need npm"; fi
if [ -n "$need" ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $need >/dev/null
fi

# True when the file is there with its pinned checksum.
pinned_ok() {
  [ -f "$1" ] && echo "$2  $1" | sha256sum -c --status
}

# Takes one file out of an npm package into place and checks it against its
# pinned checksum: fetch_pinned PACKAGE VERSION FILE_IN_PACKAGE DESTINATION SHA256
fetch_pinned() {
  local package=$1 version=$2 file=$3 destination=$4 sum=$5 tmp
  pinned_ok "$destination" "$sum" && return 0
  tmp=$(mktemp -d)
  (cd "$tmp" && npm pack --silent "$package@$version" >/dev/null && tar xzf ./*.tgz) &&
    mkdir -p "$(dirname "$destination")" && cp "$tmp/package/$file" "$destination"
  rm -rf "$tmp"
  if ! pinned_ok "$destination" "$sum"; then
    echo "setup: $(basename "$destination") from $package does not match its pinned checksum" >&2
    rm -f "$destination"
    exit 1
  fi
}

fetch_pinned "$PDFIUM_PACKAGE" "$PDFIUM_VERSION" libpdfium.so "$PDFIUM_DIR/libpdfium.so" "$PDFIUM_SHA256"
fetch_pinned "$PDFIUM_LICENCE_PACKAGE" "$PDFIUM_LICENCE_VERSION" "$PDFIUM_LICENCE_FILE" "$PDFIUM_DIR/LICENSE" \
  "$PDFIUM_LICENCE_SHA256"
echo "setup: ready (PDFium in $PDFIUM_DIR)"
