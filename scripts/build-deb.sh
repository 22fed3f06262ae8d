#!/usr/bin/env bash
# Builds the Debian package build/brisa_<version>_amd64.deb from the install
# tree of scripts/install.sh under /usr, with dpkg-deb alone:
#   scripts/build-deb.sh            prints the package's path
# Depends: the libraries the program's files link to, at the versions
# dpkg-shlibdeps finds, the two it loads at run time, and Wine and the X tools
# the launcher runs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out_dir=$top/build
version=$(sed -n 's/^#define BRISA_VERSION  *"\([0-9.]*\)".*/\1/p' "$top/resources/version.h")
[ -n "$version" ] || { echo "build-deb.sh: no BRISA_VERSION in resources/version.h" >&2; exit 1; }
package=$out_dir/brisa_${version}_amd64.deb

# Loaded with dlopen by the image decoders, so no link records them; and what
# the launcher and brisa-session run, and unar, which reads solid RAR 4 comics.
RUNTIME_DEPENDS="libavif15 (>= 0.11.1), libheif1 (>= 1.15.1), wine (>= 8.0~), wine64 (>= 8.0~), \
libwine (>= 8.0~), fonts-wine (>= 8.0~), x11-utils, x11-xserver-utils, unar"

# Debian's machine-readable copyright file: Brisa's own files, then PDFium and
# the libraries built into it, then unrar.dll, each licence's full text in a
# paragraph of its own (the same texts as in /usr/lib/brisa/licences).
licence_name() { echo "LicenseRef-$(echo "$1" | sed 's/ (.*)//; s/[^A-Za-z0-9.]\+/-/g')"; }
# The full Apache License 2.0 is on every Debian system already: pointed to.
licence_text() {
  awk '/^ *Apache License$/ { apache = 1; print "The Apache License 2.0 follows the text above;"
                                print "on Debian systems it is in /usr/share/common-licenses/Apache-2.0." }
       !apache' "$1" | sed 's/^[[:space:]]*$/./; s/^/ /'
}
copyright() {
  local folder=$1 file component bundled=()
  for file in "$folder"/*.txt; do
    component=$(basename "$file" .txt)
    case "$component" in UnRAR*) ;; *) bundled+=("$(licence_name "$component")") ;; esac
  done
  local joined
  joined=$(printf ' and %s' "${bundled[@]}")
  cat <<HEADER
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Brisa
Upstream-Contact: Brisa Software <https://www.brisa-software.example/>

Files: *
Copyright: 2026 Brisa Software
License: LicenseRef-Brisa
 Copyright 2026 Brisa Software. All rights reserved.

Files: usr/lib/brisa/libpdfium.so
Copyright: The PDFium Authors, and the authors of each library built into it
License: ${joined# and }
Comment: PDFium builds in FreeType, libjpeg-turbo, OpenJPEG, libpng, zlib,
 Little CMS, AGG, Abseil, ICU, fast_float, simdutf and LLVM's libc. Their
 licence texts below come from Debian's copyright files for the same
 libraries, simdutf's from Node.js's list.
HEADER
  if [ -f "$folder/UnRAR (CBR).txt" ]; then
    printf '\nFiles: usr/lib/brisa/unrar.dll*\nCopyright: Brisa Software, and the libarchive authors\n'
    printf 'License: %s\nComment: RAR archives are read through libarchive.\n' "$(licence_name "UnRAR (CBR)")"
  fi
  for file in "$folder"/*.txt; do
    printf '\nLicense: %s\n' "$(licence_name "$(basename "$file" .txt)")"
    licence_text "$file"
  done
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root"
DESTDIR=$root PREFIX=/usr bash "$top/scripts/install.sh" >/dev/null
# dpkg keeps the list of installed files itself.
rm "$root/usr/lib/brisa/installed-files"

# The changelog and copyright live in the package's own doc folder.
doc=$root/usr/share/doc/brisa
mkdir -p "$doc"
copyright "$root/usr/lib/brisa/licences" >"$doc/copyright"
printf 'brisa (%s) stable; urgency=medium\n\n  * Release %s.\n\n -- Brisa Software <packages@brisa-software.example>  %s\n' \
  "$version" "$version" "$(date -R -d @"${SOURCE_DATE_EPOCH:-$(git -C "$top" log -1 --format=%ct 2>/dev/null || date +%s)}")" |
  gzip -9n >"$doc/changelog.gz"
gzip -9n "$root/usr/share/man/man1/brisa.1"

# Shared-library dependencies with their versions, as Debian's tools compute them.
mkdir -p "$work/debian"
printf 'Source: brisa\n\nPackage: brisa\nArchitecture: amd64\n' >"$work/debian/control"
elf=()
for file in "$root"/usr/lib/brisa/*; do
  [ -f "$file" ] && [ "$(head -c 4 "$file")" = $'\x7fELF' ] && elf+=("$file")
done
shlibs=$(cd "$work" && dpkg-shlibdeps -O -l"$root/usr/lib/brisa" --ignore-missing-info "${elf[@]}" 2>/dev/null |
         sed -n 's/^shlibs:Depends=//p')

# Packaged binaries are stripped, and libraries are not executable.
for file in "${elf[@]}"; do strip --strip-unneeded "$file"; done
chmod 0644 "$root"/usr/lib/brisa/unrar.dll*
# PDFium comes built with these libraries inside; it cannot use the system's.
overrides=$root/usr/share/lintian/overrides
mkdir -p "$overrides"
cat >"$overrides/brisa" <<OVERRIDES
# The prebuilt PDFium carries its own copies of these libraries.
brisa: embedded-library freetype [usr/lib/brisa/libpdfium.so]
brisa: embedded-library lcms2 [usr/lib/brisa/libpdfium.so]
brisa: embedded-library openjpeg [usr/lib/brisa/libpdfium.so]
OVERRIDES

mkdir -p "$root/DEBIAN"
# The login entry is configuration an administrator may edit.
echo /etc/xdg/autostart/brisa-warm.desktop >"$root/DEBIAN/conffiles"
installed_size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
cat >"$root/DEBIAN/control" <<CONTROL
Package: brisa
Version: $version
Architecture: amd64
Maintainer: Brisa Software <packages@brisa-software.example>
Installed-Size: $installed_size
Depends: $shlibs, $RUNTIME_DEPENDS
Section: graphics
Priority: optional
Homepage: https://www.brisa-software.example/
Description: reader for PDF documents and comic books
 Brisa is a small, fast reader for PDF documents and comic-book archives
 (CBZ and CBR). It runs under Wine, in a prefix of each user's own that a
 small keeper started at login keeps ready, so that documents open at once.
CONTROL
install -m 0755 "$top/launcher/debian/prerm" "$root/DEBIAN/prerm"
(cd "$root" && find . -type f ! -path './DEBIAN/*' -printf '%P\0' | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/md5sums" "$root/DEBIAN/control" "$root/DEBIAN/conffiles"

mkdir -p "$out_dir"
dpkg-deb --root-owner-group -Zxz --build "$root" "$package" >/dev/null
echo "$package"
