// Where a page lands on its sheet: the turn, the fit and the centring, and how
// a page is cut into bands.
#include <gtest/gtest.h>
#include <math.h>
#include "print/sheet.h"

namespace {

// A4 at 300 dpi, as a PostScript printer reports it, and the same sheet turned.
const int portraitW = 2480, portraitH = 3508;

SheetBox place(double pageWidth, double pageHeight, int paperWidth, int paperHeight) {
  SheetBox box = {-1, -1, -1, -1, -1};
  EXPECT_TRUE(placeOnSheet(pageWidth, pageHeight, paperWidth, paperHeight, &box))
      << pageWidth << "x" << pageHeight << " on " << paperWidth << "x" << paperHeight;
  return box;
}

void expectBox(const SheetBox& box, int x, int y, int width, int height, int rotate) {
  EXPECT_EQ(x, box.x);
  EXPECT_EQ(y, box.y);
  EXPECT_EQ(width, box.width);
  EXPECT_EQ(height, box.height);
  EXPECT_EQ(rotate, box.rotate);
}

}   // namespace

// Letter on A4: 2480 / 612 < 3508 / 792, so the width limits; the height is
// truncated and the page centred vertically.
TEST(PrintSheet, PortraitPageOnPortraitPaperIsNotTurned) {
  expectBox(place(612, 792, portraitW, portraitH), 0, (3508 - 3209) / 2, 2480, 3209, 0);
  // A tall narrow page touches top and bottom instead: 100 x 3508 / 400 = 877.
  expectBox(place(100, 400, portraitW, portraitH), (2480 - 877) / 2, 0, 877, 3508, 0);
}

// A landscape page on portrait paper is turned: its height runs across the sheet.
TEST(PrintSheet, LandscapePageOnPortraitPaperIsTurned) {
  SheetBox box = place(842, 595, portraitW, portraitH);
  // Extent along the paper 595 x 842: scale = min(2480/595, 3508/842) = 4.166...
  double scale = 3508.0 / 842 < 2480.0 / 595 ? 3508.0 / 842 : 2480.0 / 595;
  int width = (int)(595 * scale), height = (int)(842 * scale);
  expectBox(box, (2480 - width) / 2, (3508 - height) / 2, width, height, 1);
  EXPECT_TRUE(box.width == 2480 || box.height == 3508) << "touches two opposite edges";
}

TEST(PrintSheet, LandscapePaperTurnsPortraitPagesOnly) {
  expectBox(place(600, 400, portraitH, portraitW), (3508 - 3508) / 2, (2480 - 2338) / 2, 3508, 2338, 0);
  SheetBox box = place(400, 600, portraitH, portraitW);   // portrait page, landscape paper
  EXPECT_EQ(1, box.rotate);
  EXPECT_EQ(3508, box.width);
  EXPECT_EQ(2338, box.height);
}

// A square page counts as portrait: turned on landscape paper, not on portrait paper.
TEST(PrintSheet, SquarePageIsPortrait) {
  expectBox(place(500, 500, portraitW, portraitH), 0, (3508 - 2480) / 2, 2480, 2480, 0);
  expectBox(place(500, 500, portraitH, portraitW), (3508 - 2480) / 2, 0, 2480, 2480, 1);
  // Square paper is portrait too: a square page on it is not turned, a wide one is.
  EXPECT_EQ(0, place(300, 300, 1000, 1000).rotate);
  EXPECT_EQ(1, place(301, 300, 1000, 1000).rotate);
}

// Whatever its physical size, a page grows or shrinks until it touches two
// opposite edges; odd margins truncate toward zero.
TEST(PrintSheet, EveryPageTouchesTwoOppositeEdgesAndIsCentred) {
  const double sizes[][2] = {{1, 1}, {612, 792}, {14400, 14400}, {3, 1000}, {1000, 3}, {595.3, 841.9}, {0.5, 0.7}};
  const int papers[][2] = {{2480, 3508}, {3508, 2480}, {1001, 1001}, {600, 5}, {7, 3}};
  for (const auto& size : sizes)
    for (const auto& paper : papers) {
      SheetBox box;
      if (!placeOnSheet(size[0], size[1], paper[0], paper[1], &box)) {
        // Only a page thinner than a pixel after the fit is left blank.
        continue;
      }
      SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1] << " on " << paper[0] << "x" << paper[1]);
      EXPECT_TRUE(box.width == paper[0] || box.height == paper[1]);
      EXPECT_LE(box.width, paper[0]);
      EXPECT_LE(box.height, paper[1]);
      EXPECT_EQ((paper[0] - box.width) / 2, box.x);
      EXPECT_EQ((paper[1] - box.height) / 2, box.y);
    }
}

// Zero, negative or non-finite extents would make the scale infinite and the
// size truncate(NaN): such a page prints a blank sheet.
TEST(PrintSheet, PagesWithoutAnExtentLeaveTheSheetBlank) {
  const double bad[][2] = {{0, 0},     {0, 792},   {612, 0},        {-612, 792},     {612, -1},
                           {NAN, 792}, {612, NAN}, {INFINITY, 792}, {612, INFINITY}, {1e-320, 1e-320}};
  for (const auto& size : bad) {
    SheetBox box = {7, 7, 7, 7, 7};
    EXPECT_FALSE(placeOnSheet(size[0], size[1], portraitW, portraitH, &box)) << size[0] << "x" << size[1];
  }
  SheetBox box;
  EXPECT_FALSE(placeOnSheet(612, 792, 0, portraitH, &box));
  EXPECT_FALSE(placeOnSheet(612, 792, portraitW, -1, &box));
  EXPECT_FALSE(placeOnSheet(1, 1e9, portraitW, portraitH, &box));   // under a pixel wide
}

TEST(PrintSheet, BandsStayWithinTheirBytesAndCoverThePage) {
  const size_t eightMiB = (size_t)8 << 20;
  EXPECT_EQ(845, bandRows(2480, 3508, eightMiB));   // 8 MiB / 9,920 bytes a row
  EXPECT_EQ(100, bandRows(2480, 100, eightMiB));    // a short page is one band
  EXPECT_EQ(1, bandRows(3000000, 10, eightMiB));    // a row wider than the budget still makes progress
  EXPECT_EQ(2, bandRows(10, 7, 80));
  for (int width : {1, 17, 2480, 9921})
    for (int height : {1, 845, 846, 3508}) {
      int rows = bandRows(width, height, eightMiB);
      EXPECT_GE(rows, 1);
      EXPECT_LE(rows, height);
      EXPECT_TRUE((size_t)rows * width * 4 <= eightMiB || rows == 1);
    }
}
