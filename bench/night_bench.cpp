// Night mode's extra cost per painted strip: a view-sized strip of the first
// page rendered as the view renders it by day, beside the same strip rendered
// by night as the view does it (forced colours for a page in greys, else the
// day render and the per-pixel pass), and the pass alone. Medians over the
// rounds, in ms, with the extra cost as a share of the day render (goal: under
// 10%).
//   night_bench.exe DOCUMENT [width height rounds]
#include <windows.h>
#include "base/pdfium.h"
#include "viewer/night.h"
#include "viewer/viewer.h"

#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>
#include "bench/bench.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: night_bench DOCUMENT [width height rounds]\n");
    return 2;
  }
  int width = argc > 3 ? atoi(argv[2]) : 1920, height = argc > 3 ? atoi(argv[3]) : 1080;
  int rounds = argc > 4 ? atoi(argv[4]) : 30;
  FPDF_InitLibrary();
  FILE* file = fopen(argv[1], "rb");
  std::vector<unsigned char> bytes;
  if (file) {
    unsigned char block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0) bytes.insert(bytes.end(), block, block + got);
    fclose(file);
  }
  FPDF_DOCUMENT document = bytes.empty() ? NULL : FPDF_LoadMemDocument64(bytes.data(), bytes.size(), NULL);
  FPDF_PAGE page = document ? FPDF_LoadPage(document, 0) : NULL;
  if (!page) {
    fprintf(stderr, "night_bench: cannot open %s\n", argv[1]);
    return 1;
  }
  // Fitted to the strip's width, as fit width lays it out; the strip shows its top.
  double pageWidth = 612, pageHeight = 792;
  FPDF_GetPageSizeByIndex(document, 0, &pageWidth, &pageHeight);
  double zoom = width / pageWidth;
  int shownHeight = (int)(pageHeight * zoom);
  FPDF_BITMAP bitmap = FPDFBitmap_Create(width, height, 0);
  uint8_t* bits = (uint8_t*)FPDFBitmap_GetBuffer(bitmap);
  const int flags = FPDF_ANNOT | FPDF_LCD_TEXT;
  documentState.pdfDocument = document;   // the night render goes through the view's page cache
  FPDF_PAGE cached = getCachedPage(0);
  FPDF_RenderPageBitmap(bitmap, cached, 0, 0, width, shownHeight, 0, flags);   // fonts and images loaded
  std::vector<double> day, night, pass;
  for (int i = 0; i < rounds; i++) {
    double start = nowMs();
    FPDFBitmap_FillRect(bitmap, 0, 0, width, height, 0xFFFFFFFF);
    FPDF_RenderPageBitmap(bitmap, page, 0, 0, width, shownHeight, 0, flags);
    double rendered = nowMs();
    turnToNight(bits, width, height, 0, 0, width, height);
    double turned = nowMs();
    renderNightPdfPage(bitmap, bits, width, height, cached, 0, 0, width, shownHeight, flags);
    day.push_back(rendered - start);
    pass.push_back(turned - rendered);
    night.push_back(nowMs() - turned);
  }
  double d = median(day), n = median(night), p = median(pass);
  printf("%s, %d x %d strip: day %.2f ms, night %.2f ms (%+.1f%%), the pass alone %.2f ms (%.1f%%)\n", argv[1], width,
         height, d, n, 100.0 * (n - d) / d, p, 100.0 * p / d);
  closeCachedPages();
  FPDFBitmap_Destroy(bitmap);
  FPDF_ClosePage(page);
  FPDF_CloseDocument(document);
  FPDF_DestroyLibrary();
  return 0;
}
