#!/usr/bin/env bash
# Night mode's extra cost per painted strip (goal: under 10% of rendering it),
# on a full-screen text page (without and with coloured links) and a
# full-screen photo page, 1920 x 1080.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/setup.sh" >/dev/null
bash "$top/scripts/build.sh" winelib >/dev/null
work="$top/build/bench"
mkdir -p "$work/night"
python3 "$top/scripts/makepdf.py" "$work/dense-50.pdf" --pages 50 --lines 48
# The same text with blue links, as a paper's references are.
python3 "$top/scripts/makepdf.py" "$work/night/linked.pdf" --pages 2 --lines 48 \
  --link 1:72,640,300,652:http://example.com/a --link 1:72,520,300,532:http://example.com/b --goto 1:72,400,300,412:2
if [ ! -f "$work/night/photo.pdf" ]; then
  /usr/bin/convert -size 1700x2200 "plasma:hsl(20,60%,60%)-hsl(200,60%,30%)" -quality 90 "$work/night/photo.jpg"
  # One page filled by the photo, its JPEG embedded as it is (ImageMagick's policy forbids writing PDF).
  python3 - "$top/scripts" "$work/night/photo.jpg" "$work/night/photo.pdf" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
from makepdf import PdfWriter
jpeg = open(sys.argv[2], "rb").read()
pdf = PdfWriter()
image = pdf.add(b"<< /Type /XObject /Subtype /Image /Width 1700 /Height 2200 /ColorSpace /DeviceRGB "
                b"/BitsPerComponent 8 /Filter /DCTDecode /Length %d >>\nstream\n" % len(jpeg) + jpeg + b"\nendstream")
content = pdf.add_stream(b"q 612 0 0 792 0 0 cm /Im Do Q")
pages = pdf.reserve()
page = pdf.add(b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 612 792] /Contents %d 0 R "
               b"/Resources << /XObject << /Im %d 0 R >> >> >>" % (pages, content, image))
pdf.set(pages, b"<< /Type /Pages /Kids [%d 0 R] /Count 1 >>" % page)
pdf.write(sys.argv[3], pdf.add(b"<< /Type /Catalog /Pages %d 0 R >>" % pages))
PY
fi

source "$top/scripts/bench-wine.sh"
start_bench_wine "$work" "$top/build/winelib/driver.exe" 1920x1080x24
for document in "$work/dense-50.pdf" "$work/night/linked.pdf" "$work/night/photo.pdf"; do
  "$top/build/winelib/night_bench.exe" "$document" 1920 1080 "${ROUNDS:-30}"
done
