#!/usr/bin/env bash
# Opening a PDF through the program's reader over a shared handle beside the
# read-only mapping it replaced: the document loaded, its page count and every
# page's size read, on a 2,000-page PDF of text and a 100 MB PDF of 200 image
# pages. Medians of ROUNDS (default 15) opens each, taking turns.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
rounds=${ROUNDS:-15}
bash "$top/scripts/build.sh" winelib >/dev/null
work="$top/build/bench"
mkdir -p "$work"
[ -f "$work/text-2000.pdf" ] || python3 "$top/scripts/makepdf.py" "$work/text-2000.pdf" --pages 2000
# 200 pages, each drawing its own uncompressed 500 KB image.
[ -f "$work/images-100mb.pdf" ] || python3 - "$work/images-100mb.pdf" <<'PY'
import sys
pages, side = 200, 408   # 408 x 408 x 3 bytes = 499,392 per image
objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
           b"<< /Type /Pages /Kids [%s] /Count %d >>" % (b" ".join(b"%d 0 R" % (3 + 3 * i) for i in range(pages)), pages)]
for i in range(pages):
    first = 3 + 3 * i
    objects.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents %d 0 R "
                   b"/Resources << /XObject << /Im %d 0 R >> >> >>" % (first + 1, first + 2))
    draw = b"q 500 0 0 500 56 146 cm /Im Do Q"
    objects.append(b"<< /Length %d >>\nstream\n" % len(draw) + draw + b"\nendstream")
    pixels = bytes((x * 7 + i) & 0xFF for x in range(side * 3)) * side
    objects.append(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB "
                   b"/BitsPerComponent 8 /Length %d >>\nstream\n" % (side, side, len(pixels)) + pixels + b"\nendstream")
out = bytearray(b"%PDF-1.4\n")
offsets = []
for number, body in enumerate(objects, 1):
    offsets.append(len(out))
    out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
xref = len(out)
out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
out += b"".join(b"%010d 00000 n \n" % o for o in offsets)
out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
open(sys.argv[1], "wb").write(out)
PY
export WINEDEBUG=-all WINEPREFIX="$work/prefix" WINELOADER=/usr/lib/wine/wine64
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i </dev/null >/dev/null 2>&1
for doc in text-2000.pdf images-100mb.pdf; do
  echo "== $doc ($(du -h "$work/$doc" | cut -f1))"
  "$top/build/winelib/open_bench.exe" "$work/$doc" "$rounds"
done
