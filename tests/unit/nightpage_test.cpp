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

// Forty small words in red: more coloured objects than are drawn again by day.
std::string fortyRedWords() {
  std::string words = " 1 0 0 rg";
  for (int i = 0; i < 40; i++)
    words += " BT /F1 6 Tf " + std::to_string(5 + 19 * (i % 10)) + " " + std::to_string(10 + 20 * (i / 10)) +
             " Td (r) Tj ET";
  return words;
}

TEST(NightPage, LooksAsThePassWouldMakeIt) {
  struct Case {
    const char* what;
    std::string content;
    int turns, kind;
  } cases[] = {
      {"black text", std::string("0 g ") + TEXT, 0, NIGHT_IN_COLOURS},
      {"grey text and rules", std::string("0.3 g ") + TEXT + " 0.6 G 3 w 5 8 m 195 8 l S", 0, NIGHT_IN_COLOURS},
      {"a red word beside black", std::string("0 g ") + TEXT + " 1 0 0 rg BT /F1 12 Tf 10 80 Td (red) Tj ET", 0,
       NIGHT_IN_COLOURS},
      {"the same, turned", std::string("0 g ") + TEXT + " 1 0 0 rg BT /F1 12 Tf 10 80 Td (red) Tj ET", 1,
       NIGHT_IN_COLOURS},
      {"two greys of text", std::string("0 g ") + TEXT + " 0.5 g BT /F1 12 Tf 10 80 Td (grey) Tj ET", 3,
       NIGHT_IN_COLOURS},
      {"half-opaque text", std::string("/Half gs 0 g ") + TEXT, 0, NIGHT_IN_COLOURS},
      {"forty red words", std::string("0 g ") + TEXT + fortyRedWords(), 0, NIGHT_BY_PASS},
      {"an image",
       std::string("0 g ") + TEXT + " q 40 0 0 40 150 50 cm BI /W 2 /H 1 /CS /RGB /BPC 8 /F /AHx ID ff00000080ff> EI Q",
       0, NIGHT_BY_PASS},
  };
  for (const Case& c : cases) {
    // The page at 2 pixels a point, drawn a little inside a larger bitmap.
    const int w = c.turns % 2 ? 200 : 400, h = c.turns % 2 ? 400 : 200, x = 10, y = 6;
    const int width = w + 2 * x, height = h + 2 * y;
    viewState.quarterTurns = c.turns;
    std::string bytes =
        makeTestPdf({TestPage{200, 100, {}}}, "Helvetica", TestOutline(), c.content);   // and a black square
    documentState.pdfDocument = FPDF_LoadMemDocument64(bytes.data(), bytes.size(), NULL);
    ASSERT_TRUE(documentState.pdfDocument) << c.what;
    FPDF_PAGE page = getCachedPage(0);
    ASSERT_TRUE(page) << c.what;
    FPDF_BITMAP reference = FPDFBitmap_Create(width, height, 0), night = FPDFBitmap_Create(width, height, 0);
    uint8_t* expected = (uint8_t*)FPDFBitmap_GetBuffer(reference);
    uint8_t* got = (uint8_t*)FPDFBitmap_GetBuffer(night);
    FPDFBitmap_FillRect(reference, 0, 0, width, height, 0xFF808080);
    FPDFBitmap_FillRect(night, 0, 0, width, height, 0xFF808080);
    FPDFBitmap_FillRect(reference, x, y, w, h, 0xFFFFFFFF);
    FPDF_RenderPageBitmap(reference, page, x, y, w, h, c.turns, FPDF_ANNOT);
    turnToNight(expected, width, height, x, y, x + w, y + h);
    renderNightPdfPage(night, got, width, height, page, x, y, w, h, FPDF_ANNOT);
    EXPECT_EQ(c.kind,
              documentState.pageCache.slots[(documentState.pageCache.nextSlot - 1) % PAGE_CACHE_SLOTS].nightKind)
        << c.what;
    int worst = 0, inked = 0;
    for (int i = 0; i < width * height * 4; i++) {
      if (i % 4 == 3) continue;
      worst = std::max(worst, abs(expected[i] - got[i]));
      inked += abs(expected[i] - NIGHT_PAPER) > 40 && expected[i] != 0x80;   // the text, the rules, the image
    }
    EXPECT_LE(worst, 2) << c.what;
    EXPECT_GT(inked, 300) << c.what << ": nothing drawn";
    FPDFBitmap_Destroy(reference);
    FPDFBitmap_Destroy(night);
    closeCachedPages();
    FPDF_CloseDocument(documentState.pdfDocument);
    documentState.pdfDocument = NULL;
  }
  viewState.quarterTurns = 0;
}
