// Night pages rendered through PDFium's forced colours look as the per-pixel
// pass would make them, and only pages in greys take that way. (PDFium is
// set up for the whole test program by pagecache_test.cpp.)
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <string>
#include "tests/support/pdfwriter.h"
#include "viewer/night.h"
#include "viewer/viewer.h"

const char* const TEXT = "BT /F1 30 Tf 10 40 Td (Night owl) Tj ET";

TEST(NightPage, LooksAsThePassWouldMakeIt) {
  struct Case {
    const char* what;
    std::string content;
    int kind;
  } cases[] = {
      {"black text", std::string("0 g ") + TEXT, NIGHT_IN_COLOURS},
      {"grey text and rules", std::string("0.3 g ") + TEXT + " 0.6 G 3 w 5 8 m 195 8 l S", NIGHT_IN_COLOURS},
      {"a red word", std::string("1 0 0 rg ") + TEXT, NIGHT_BY_PASS},
      {"two greys of text", std::string("0 g ") + TEXT + " 0.5 g BT /F1 12 Tf 10 80 Td (grey) Tj ET", NIGHT_BY_PASS},
      {"half-opaque text", std::string("/Half gs 0 g ") + TEXT, NIGHT_BY_PASS},
      {"an image",
       std::string("0 g ") + TEXT + " q 40 0 0 40 150 50 cm BI /W 2 /H 1 /CS /RGB /BPC 8 /F /AHx ID ff00000080ff> EI Q",
       NIGHT_BY_PASS},
  };
  const int width = 400, height = 200;   // the page at 2 pixels a point
  for (const Case& c : cases) {
    std::string bytes =
        makeTestPdf({TestPage{200, 100, {}}}, "Helvetica", TestOutline(), c.content);   // and a black square
    documentState.pdfDocument = FPDF_LoadMemDocument64(bytes.data(), bytes.size(), NULL);
    ASSERT_TRUE(documentState.pdfDocument) << c.what;
    FPDF_PAGE page = getCachedPage(0);
    ASSERT_TRUE(page) << c.what;
    FPDF_BITMAP reference = FPDFBitmap_Create(width, height, 0), night = FPDFBitmap_Create(width, height, 0);
    uint8_t* expected = (uint8_t*)FPDFBitmap_GetBuffer(reference);
    uint8_t* got = (uint8_t*)FPDFBitmap_GetBuffer(night);
    FPDFBitmap_FillRect(reference, 0, 0, width, height, 0xFFFFFFFF);
    FPDF_RenderPageBitmap(reference, page, 0, 0, width, height, 0, FPDF_ANNOT);
    turnToNight(expected, width, height, 0, 0, width, height);
    renderNightPdfPage(night, got, width, height, page, 0, 0, width, height, FPDF_ANNOT);
    EXPECT_EQ(c.kind,
              documentState.pageCache.slots[(documentState.pageCache.nextSlot - 1) % PAGE_CACHE_SLOTS].nightKind)
        << c.what;
    int worst = 0, inked = 0;
    for (int i = 0; i < width * height * 4; i++) {
      if (i % 4 == 3) continue;
      worst = std::max(worst, abs(expected[i] - got[i]));
      inked += abs(expected[i] - NIGHT_PAPER) > 40;   // not paper: the text, the rules, the image
    }
    EXPECT_LE(worst, 2) << c.what;
    EXPECT_GT(inked, 300) << c.what << ": nothing drawn";
    FPDFBitmap_Destroy(reference);
    FPDFBitmap_Destroy(night);
    closeCachedPages();
    FPDF_CloseDocument(documentState.pdfDocument);
    documentState.pdfDocument = NULL;
  }
}
