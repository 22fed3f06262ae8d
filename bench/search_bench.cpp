// Search speed: a word that is nowhere in a 2,000-page PDF, so that every page
// is examined, beside the floor: PDFium loading the same pages and their text.
//   search_bench FILE.pdf [rounds]
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <algorithm>
#include <string>
#include <vector>
#include "search/search.h"
#include "viewer/viewer.h"

static double nowMs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// What any search must pay: each page and its text loaded and closed.
static double floorPass(FPDF_DOCUMENT document, int pages) {
  double start = nowMs();
  for (int i = 0; i < pages; i++) {
    FPDF_PAGE page = FPDF_LoadPage(document, i);
    FPDF_TEXTPAGE text = FPDFText_LoadPage(page);
    FPDFText_ClosePage(text);
    FPDF_ClosePage(page);
  }
  return nowMs() - start;
}

static double searchPass(const char16_t* word) {
  closeCachedPages();
  double start = nowMs();
  bool found = findMatch((const Utf16*)word, +1);
  double elapsed = nowMs() - start;
  if (found) fprintf(stderr, "search_bench: the word was found\n");
  return elapsed;
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  int rounds = argc > 2 ? atoi(argv[2]) : 5;
  FILE* f = fopen(argv[1], "rb");
  if (!f) return 1;
  std::string bytes;
  char buffer[1 << 16];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  fclose(f);
  FPDF_InitLibrary();
  documentState.pdfDocument = FPDF_LoadMemDocument64(bytes.data(), bytes.size(), nullptr);
  if (!documentState.pdfDocument) return 1;
  int pages = documentState.pageCount = FPDF_GetPageCount(documentState.pdfDocument);
  clearSearchMatch();
  std::vector<double> floors, searches;
  for (int r = 0; r < rounds; r++) {
    floors.push_back(floorPass(documentState.pdfDocument, pages));
    searches.push_back(searchPass(u"zzyzxq"));
  }
  double floorMs = median(floors), searchMs = median(searches);
  printf("%-40s %10s %12s\n", "", "ms", "pages/s");
  printf("%-40s %10.0f %12.0f\n", "PDFium: load pages and text (floor)", floorMs, pages * 1000.0 / floorMs);
  printf("%-40s %10.0f %12.0f\n", "Brisa: search, word absent", searchMs, (pages + 1) * 1000.0 / searchMs);
  printf("search / floor: %.2f (pages examined: %d of %d)\n", searchMs / floorMs, pages + 1, pages);
  closeCachedPages();
  FPDF_CloseDocument(documentState.pdfDocument);
  FPDF_DestroyLibrary();
  return 0;
}
