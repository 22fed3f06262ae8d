// Night pages rendered through PDFium's forced colours look as the per-pixel
// pass would make them, and only pages in greys take that way.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <string>
#include "viewer/night.h"
#include "viewer/viewer.h"

namespace {

// One 200 x 100 page drawing `content`, with a font and a half-opaque state at hand.
std::string onePagePdf(const std::string& content) {
  const std::string objects[] = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> "
      "/ExtGState << /Half << /ca 0.5 /CA 0.5 >> >> >> >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
  };
  std::string out = "%PDF-1.4\n", xref;
  for (int i = 0; i < 5; i++) {
    char line[24];
    snprintf(line, sizeof line, "%010zu 00000 n \n", out.size());
    xref += line;
    out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  size_t start = out.size();
  return out + "xref\n0 6\n0000000000 65535 f \n" + xref + "trailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n" +
         std::to_string(start) + "\n%%EOF\n";
}

const char* const TEXT = "BT /F1 30 Tf 10 40 Td (Night owl) Tj ET";

}   // namespace

TEST(NightPage, LooksAsThePassWouldMakeIt) {
  struct Case {
    const char* what;
    std::string content;
    int kind;
  } cases[] = {
      {"black text", std::string("0 g ") + TEXT, NIGHT_IN_COLOURS},
      {"grey text, rules and boxes",
       std::string("0.3 g ") + TEXT + " 0.6 G 3 w 5 8 m 195 8 l S 0.8 g 150 60 40 30 re f", NIGHT_IN_COLOURS},
      {"a red word", std::string("1 0 0 rg ") + TEXT, NIGHT_BY_PASS},
      {"two greys of text", std::string("0 g ") + TEXT + " 0.5 g BT /F1 12 Tf 10 80 Td (grey) Tj ET", NIGHT_BY_PASS},
      {"half-opaque text", std::string("/Half gs 0 g ") + TEXT, NIGHT_BY_PASS},
      {"an image",
       std::string("0 g ") + TEXT + " q 40 0 0 40 150 50 cm BI /W 2 /H 1 /CS /RGB /BPC 8 /F /AHx ID ff00000080ff> EI Q",
       NIGHT_BY_PASS},
  };
  FPDF_InitLibrary();
  const int width = 400, height = 200;   // the page at 2 pixels a point
  for (const Case& c : cases) {
    std::string bytes = onePagePdf(c.content);
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
  FPDF_DestroyLibrary();
}
