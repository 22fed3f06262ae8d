#!/bin/sh
# Regenerates samples/sample.pdf, the bundled document the program opens when given none:
# Letter, A4 landscape, Letter, Letter; a web link on page 1 and a mail link on page 2,
# each placed below the page's text.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$top/samples"
python3 "$top/scripts/makepdf.py" "$top/samples/sample.pdf" \
  --page 612x792 --page 842x595 --page 612x792 --page 612x792 \
  --link '1:72,440,172,462:https://example.org/brisa' \
  --link '2:72,250,172,272:mailto:hello@example.org'
if command -v qpdf >/dev/null 2>&1; then
  qpdf --check "$top/samples/sample.pdf" >/dev/null
fi
