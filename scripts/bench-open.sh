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
[ -f "$work/images-100mb.pdf" ] || python3 - "$top/scripts" "$work/images-100mb.pdf" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from makepdf import PdfWriter
pages, side = 200, 408   # 408 x 408 x 3 bytes = 499,392 per image
pdf = PdfWriter()
parent = pdf.reserve()
kids = []
for i in range(pages):
    pixels = bytes((x * 7 + i) & 0xFF for x in range(side * 3)) * side
    image = pdf.add(b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB "
                    b"/BitsPerComponent 8 /Length %d >>\nstream\n" % (side, side, len(pixels)) + pixels + b"\nendstream")
    content = pdf.add_stream(b"q 500 0 0 500 56 146 cm /Im Do Q")
    kids.append(pdf.add(b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 612 792] /Contents %d 0 R "
                        b"/Resources << /XObject << /Im %d 0 R >> >> >>" % (parent, content, image)))
pdf.set(parent, b"<< /Type /Pages /Kids [%s] /Count %d >>" % (b" ".join(b"%d 0 R" % k for k in kids), pages))
pdf.write(sys.argv[2], pdf.add(b"<< /Type /Catalog /Pages %d 0 R >>" % parent))
PY
export WINEDEBUG=-all WINEPREFIX="$work/prefix" WINELOADER=/usr/lib/wine/wine64
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i </dev/null >/dev/null 2>&1
for doc in text-2000.pdf images-100mb.pdf; do
  echo "== $doc ($(du -h "$work/$doc" | cut -f1))"
  "$top/build/winelib/open_bench.exe" "$work/$doc" "$rounds"
done
