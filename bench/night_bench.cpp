// Night mode's extra cost per painted strip: a view-sized strip of the first
// page rendered as the view renders it, beside the night pass over the same
// strip. Printed as medians over the rounds, in ms, and the pass as a share of
// the render (goal: under 10%).
//   night_bench.exe DOCUMENT [width height rounds]
#include <windows.h>
#include "base/pdfium.h"
#include "viewer/night.h"

#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>

static double nowMs() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * now.QuadPart / frequency.QuadPart;
}

static double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

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
  std::vector<double> render, night;
  for (int i = 0; i < rounds; i++) {
    double start = nowMs();
    FPDFBitmap_FillRect(bitmap, 0, 0, width, height, 0xFFFFFFFF);
    FPDF_RenderPageBitmap(bitmap, page, 0, 0, width, shownHeight, 0, FPDF_ANNOT | FPDF_LCD_TEXT);
    double rendered = nowMs();
    turnToNight(bits, width, height, 0, 0, width, height);
    render.push_back(rendered - start);
    night.push_back(nowMs() - rendered);
  }
  double r = median(render), n = median(night);
  printf("%s, %d x %d strip: render %.2f ms, night pass %.2f ms (%.1f%% of the render)\n", argv[1], width, height, r, n,
         100.0 * n / r);
  FPDFBitmap_Destroy(bitmap);
  FPDF_ClosePage(page);
  FPDF_CloseDocument(document);
  FPDF_DestroyLibrary();
  return 0;
}
