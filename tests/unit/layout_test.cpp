// Page placement, current page, scroll limits, match tint and the small
// document rules, on the same code the program runs.
#include <gtest/gtest.h>
#include <limits.h>
#include <math.h>
#include <string>
#include <vector>
#include "viewer/viewer.h"

namespace {

std::vector<unsigned char> pageBlock;

// A document of the given page sizes in the global record, no PDF behind it.
void setPages(const std::vector<std::pair<double, double>>& sizes) {
  DocumentState& d = documentState;
  d = DocumentState();
  d.pageCount = (int)sizes.size();
  pageBlock.assign(24 * sizes.size() + 1, 0);
  d.pageWidths = (double*)pageBlock.data();
  d.pageHeights = d.pageWidths + sizes.size();
  d.pageTops = (int*)(d.pageHeights + sizes.size());
  d.pageLefts = d.pageTops + sizes.size();
  for (size_t i = 0; i < sizes.size(); i++) storePageSize((int)i, sizes[i].first, sizes[i].second);
}

void setView(int width, int height, bool doublePage, bool coverPaired) {
  viewState = ViewState();
  viewState.zoom = 1;
  viewState.fitWidth = true;
  viewState.viewWidth = width;
  viewState.viewHeight = height;
  viewState.doublePage = doublePage;
  viewState.coverPaired = coverPaired;
}

std::vector<std::pair<double, double>> letters(int count) {
  return std::vector<std::pair<double, double>>(count, {612, 792});
}

}   // namespace

TEST(Layout, SinglePagesFitTheWidth) {
  setPages(letters(3));
  setView(900, 700, false, false);
  placePages();
  EXPECT_DOUBLE_EQ(884.0 / 612, viewState.zoom);
  EXPECT_EQ(900, viewState.layoutWidth);
  int h = (int)(792 * viewState.zoom + 0.5);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(8, documentState.pageLefts[i]);
    EXPECT_EQ(8 + i * (h + 8), documentState.pageTops[i]);
  }
  EXPECT_EQ(8 + 3 * (h + 8), viewState.layoutHeight);
}

TEST(Layout, NarrowerPagesAreCentredInTheirRow) {
  setPages({{612, 792}, {306, 400}});
  setView(900, 700, false, false);
  placePages();
  EXPECT_EQ((900 - (int)(306 * viewState.zoom + 0.5)) / 2, documentState.pageLefts[1]);
}

// Rows in page numbers from 1: cover alone (-,1)(2,3)(4,5); paired (1,2)(3,4)(5,-).
TEST(Layout, SpreadsWithCoverAloneAndPaired) {
  setPages(letters(5));
  setView(1000, 700, true, false);
  placePages();
  const DocumentState& d = documentState;
  EXPECT_DOUBLE_EQ((1000.0 - 8 - 16) / (2 * 612), viewState.zoom);
  int centre = viewState.layoutWidth / 2, w = pagePixels(612);
  EXPECT_EQ(centre + 4, d.pageLefts[0]);
  EXPECT_LT(d.pageTops[0], d.pageTops[1]);
  EXPECT_EQ(d.pageTops[1], d.pageTops[2]);
  EXPECT_EQ(centre - w - 4, d.pageLefts[1]);
  EXPECT_EQ(centre + 4, d.pageLefts[2]);
  EXPECT_EQ(d.pageTops[3], d.pageTops[4]);

  viewState.coverPaired = true;
  placePages();
  EXPECT_EQ(d.pageTops[0], d.pageTops[1]);
  EXPECT_EQ(d.pageTops[2], d.pageTops[3]);
  EXPECT_LT(d.pageTops[3], d.pageTops[4]);
  EXPECT_EQ(centre - w - 4, d.pageLefts[4]);   // a lone last page is a left-hand page
}

// Right to left, each row is the mirror of its left-to-right row. Rows in page
// numbers from 1 as (left, right), 0 for an empty side.
TEST(Layout, RightToLeftSpreadsAreMirrored) {
  struct Case {
    int pages;
    bool coverPaired;
    std::vector<std::pair<int, int>> rows;
  };
  const Case cases[] = {
      {5, false, {{1, 0}, {3, 2}, {5, 4}}},   // the cover alone on the left
      {4, false, {{1, 0}, {3, 2}, {0, 4}}},   // a lone last page on the right
      {5, true, {{2, 1}, {4, 3}, {0, 5}}},  {4, true, {{2, 1}, {4, 3}}}, {2, false, {{1, 0}, {0, 2}}},
  };
  for (const Case& c : cases) {
    setPages(letters(c.pages));
    setView(1000, 700, true, c.coverPaired);
    viewState.rightToLeft = true;
    placePages();
    const DocumentState& d = documentState;
    int centre = viewState.layoutWidth / 2, w = pagePixels(612), top = -1;
    for (const auto& row : c.rows) {
      int page = (row.first ? row.first : row.second) - 1;
      EXPECT_GT(d.pageTops[page], top) << c.pages << c.coverPaired;
      top = d.pageTops[page];
      if (row.first) {
        EXPECT_EQ(centre - w - 4, d.pageLefts[row.first - 1]) << c.pages << c.coverPaired << " page " << row.first;
        EXPECT_EQ(top, d.pageTops[row.first - 1]);
      }
      if (row.second) {
        EXPECT_EQ(centre + 4, d.pageLefts[row.second - 1]) << c.pages << c.coverPaired << " page " << row.second;
        EXPECT_EQ(top, d.pageTops[row.second - 1]);
      }
    }
  }
}

// Single pages and a one-page document do not change with the reading direction.
TEST(Layout, RightToLeftLeavesSinglePagesAlone) {
  setPages({{612, 792}, {306, 400}});
  setView(900, 700, false, false);
  placePages();
  std::vector<int> lefts(documentState.pageLefts, documentState.pageLefts + 2);
  viewState.rightToLeft = true;
  placePages();
  EXPECT_EQ(lefts, std::vector<int>(documentState.pageLefts, documentState.pageLefts + 2));
  setPages(letters(1));
  setView(900, 700, true, false);
  viewState.rightToLeft = true;
  placePages();
  EXPECT_EQ(8, documentState.pageLefts[0]);
}

TEST(Layout, OnePageDocumentIgnoresTwoPageView) {
  setPages(letters(1));
  setView(900, 700, true, false);
  placePages();
  EXPECT_DOUBLE_EQ(884.0 / 612, viewState.zoom);
  EXPECT_EQ(8, documentState.pageLefts[0]);
}

TEST(Layout, MixedSpreadTakesTheTallerPageAndMeetsAtTheCentre) {
  setPages({{612, 792}, {842, 595}, {612, 792}});
  setView(1000, 700, true, true);
  placePages();
  const DocumentState& d = documentState;
  int centre = viewState.layoutWidth / 2;
  EXPECT_EQ(centre - pagePixels(612) - 4, d.pageLefts[0]);
  EXPECT_EQ(centre + 4, d.pageLefts[1]);
  EXPECT_EQ(d.pageTops[0] + pagePixels(792) + 8, d.pageTops[2]);
}

TEST(Layout, EmptyDocumentHasNoCanvas) {
  setPages({});
  setView(900, 700, false, false);
  placePages();
  EXPECT_EQ(0, viewState.layoutWidth);
  EXPECT_EQ(0, viewState.layoutHeight);
  EXPECT_EQ(0, pageAtReadingLine());
}

TEST(Layout, FixedZoomIsKeptAndTinyViewsDoNotFit) {
  setPages(letters(2));
  setView(900, 700, false, false);
  viewState.fitWidth = false;
  viewState.zoom = 2;
  placePages();
  EXPECT_EQ(2, viewState.zoom);
  EXPECT_EQ(1224 + 16, viewState.layoutWidth);
  setView(16, 700, false, false);   // no room: the zoom stays as it was
  placePages();
  EXPECT_EQ(1, viewState.zoom);
}

// Thousands of very tall pages would overflow int positions: the zoom gives way.
TEST(Layout, HugeCanvasLowersTheZoomInsteadOfOverflowing) {
  setPages(std::vector<std::pair<double, double>>(100000, {200, 14400}));
  setView(4000, 700, false, false);
  placePages();
  EXPECT_GT(viewState.layoutHeight, 0);
  EXPECT_LE(viewState.layoutHeight, INT_MAX / 2);
  for (int i = 1; i < documentState.pageCount; i++) ASSERT_LT(documentState.pageTops[i - 1], documentState.pageTops[i]);
  EXPECT_GE(viewState.layoutHeight, documentState.pageTops[99999] + pagePixels(14400));
}

TEST(Layout, UnusablePageSizesBecomeLetter) {
  setPages({{NAN, 100}, {INFINITY, 5}, {-3, 4}, {0, 0}});
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(612, documentState.pageWidths[i]);
    EXPECT_EQ(792, documentState.pageHeights[i]);
  }
  EXPECT_EQ(0, documentState.pageWidths[3]);   // zero is a real (if odd) size
  setView(900, 700, false, false);
  placePages();
  EXPECT_TRUE(isfinite(viewState.zoom));
  setPages({{0, 0}});
  setView(900, 700, false, false);
  placePages();   // a zero widest page never divides
  EXPECT_EQ(1, viewState.zoom);
}

TEST(Layout, ScrollIsClampedToTheCanvas) {
  EXPECT_EQ(0, clampScroll(-5, 1000, 300));
  EXPECT_EQ(700, clampScroll(5000, 1000, 300));
  EXPECT_EQ(0, clampScroll(50, 200, 300));   // canvas smaller than the view
  EXPECT_EQ(123, clampScroll(123, 1000, 300));
}

// The current page is the first whose bottom passes the line a third down the view.
TEST(Layout, CurrentPageAndSpreadsForTheTitle) {
  setPages(letters(12));
  setView(900, 600, false, false);
  placePages();
  int h = pagePixels(792);
  viewState.scrollY = documentState.pageTops[2];   // page 3 at the top
  EXPECT_EQ(2, pageAtReadingLine());
  EXPECT_FALSE(pageStartsSpread(2));
  viewState.scrollY = documentState.pageTops[2] + h - 200;   // page 3's bottom at the line: not below it
  EXPECT_EQ(3, pageAtReadingLine());

  setView(900, 600, true, false);
  placePages();
  viewState.scrollY = 0;
  EXPECT_EQ(0, pageAtReadingLine());
  EXPECT_FALSE(pageStartsSpread(0));   // the lone cover: "1/12"
  viewState.scrollY = documentState.pageTops[1];
  EXPECT_EQ(1, pageAtReadingLine());
  EXPECT_TRUE(pageStartsSpread(1));   // "2-3/12"
  EXPECT_FALSE(pageStartsSpread(11));
}

TEST(Layout, PagesAllAboveTheLineMeanPageOne) {
  setPages(letters(3));
  setView(900, 30000, false, false);
  placePages();
  ASSERT_LT(viewState.layoutHeight, 10000);
  EXPECT_EQ(0, pageAtReadingLine());
}

TEST(Layout, ArchiveKindFromFirstBytes) {
  const unsigned char local[] = {'P', 'K', 3, 4}, empty[] = {'P', 'K', 5, 6}, mixed[] = {'P', 'K', 3, 6};
  const unsigned char other[] = {'P', 'K', 1, 2}, pdf[] = "%PDF-1.7";
  const unsigned char rar4[] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00},
                      rar5[] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0};
  EXPECT_EQ(ZIP_ARCHIVE, detectArchiveKind(local, 4));
  EXPECT_EQ(ZIP_ARCHIVE, detectArchiveKind(empty, 4));
  EXPECT_EQ(ZIP_ARCHIVE, detectArchiveKind(mixed, 4));
  EXPECT_EQ(NOT_AN_ARCHIVE, detectArchiveKind(local, 3));
  EXPECT_EQ(NOT_AN_ARCHIVE, detectArchiveKind(other, 4));
  EXPECT_EQ(NOT_AN_ARCHIVE, detectArchiveKind(pdf, 8));
  EXPECT_EQ(RAR_ARCHIVE, detectArchiveKind(rar4, 7));
  EXPECT_EQ(RAR_ARCHIVE, detectArchiveKind(rar5, 8));
  EXPECT_EQ(NOT_AN_ARCHIVE, detectArchiveKind(rar4, 6));
}

TEST(Layout, FileNameIsTheLastComponent) {
  auto name = [](const char16_t* path) { return std::u16string(fileNameOf(path)); };
  EXPECT_EQ(u"b.pdf", name(u"C:\\a\\b.pdf"));
  EXPECT_EQ(u"c.pdf", name(u"/tmp/x\\y/c.pdf"));
  EXPECT_EQ(u"plain.pdf", name(u"plain.pdf"));
  EXPECT_EQ(u"", name(u"C:\\folder\\"));
}

// The tint: box widened by one pixel left and top, right and bottom pixels
// included, clipped; white turns pale yellow, black dark olive.
TEST(Layout, MatchTintArea) {
  const int w = 10, h = 8;
  std::vector<unsigned char> bits(w * h * 4, 255);
  for (int i = 0; i < 4; i++) bits[(1 * w + 4) * 4 + i] = 0;   // one black pixel at (4, 1)
  tintMatchArea(bits.data(), w, h, 6, 3, 3, 1);                // corners given the wrong way round
  auto at = [&](int x, int y, int c) { return bits[(y * w + x) * 4 + c]; };
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      bool inside = x >= 2 && x <= 6 && y >= 0 && y <= 3;
      if (x == 4 && y == 1) {
        EXPECT_EQ(0, at(x, y, 0));
        EXPECT_EQ(115, at(x, y, 1));
        EXPECT_EQ(127, at(x, y, 2));
      } else {
        EXPECT_EQ(inside ? 127 : 255, at(x, y, 0)) << x << "," << y;
        EXPECT_EQ(inside ? 242 : 255, at(x, y, 1)) << x << "," << y;
        EXPECT_EQ(255, at(x, y, 2));
      }
    }
  std::vector<unsigned char> edge(w * h * 4, 0);
  tintMatchArea(edge.data(), w, h, -50, -50, 100, 100);   // clipped to the bitmap, no write outside
  EXPECT_EQ(115, edge[(7 * w + 9) * 4 + 1]);
}

namespace {

// Each page's side in its row: L, R, or C for a page centred alone.
std::string sides() {
  const DocumentState& d = documentState;
  int centre = viewState.layoutWidth / 2;
  std::string out;
  for (int i = 0; i < d.pageCount; i++) {
    int left = d.pageLefts[i], right = left + pagePixels(d.pageWidths[i]);
    out += right <= centre ? 'L' : (left >= centre ? 'R' : 'C');
  }
  return out;
}

}   // namespace

// Eight pages, the fourth a double-page spread: alone and centred, and the
// pages after it keep the sides they have in the book.
TEST(WidePagesAlone, WidePageStandsAloneAndPairingStartsAgain) {
  struct Case {
    bool on, coverPaired, rightToLeft;
    const char* sides;
  } cases[] = {
      {false, false, false, "RLRLRLRL"},   // off: today's pairing, the wide page paired
      {true, false, false, "RLRCLRLR"},
      {true, true, false, "LRLCLRLR"},   // the third page, without its partner, keeps its side
      {true, false, true, "LRLCRLRL"},
      {true, true, true, "RLRCRLRL"},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<double, double>> pages = letters(8);
    pages[3] = {1224, 792};
    setPages(pages);
    setView(1000, 800, true, c.coverPaired);
    viewState.widePagesAlone = c.on;
    viewState.rightToLeft = c.rightToLeft;
    placePages();
    EXPECT_EQ(c.sides, sides()) << c.on << c.coverPaired << c.rightToLeft;
    if (c.on) {
      EXPECT_FALSE(pageStartsSpread(3));   // its title names one page
      EXPECT_NE(documentState.pageTops[2], documentState.pageTops[3]);
    }
  }
}

// The zoom that shows the current page, or its row, whole: the smaller of the
// width and height ratios within the margins, the gap counted for spreads.
TEST(FitPage, ZoomFitsThePageOrItsRowWhole) {
  struct Case {
    std::vector<std::pair<double, double>> pages;
    bool doublePage, coverPaired, wideAlone;
    int page;
    double zoom;
  } cases[] = {
      {letters(3), false, false, false, 1, 584.0 / 792},                           // portrait: the height decides
      {{{792, 612}, {792, 612}}, false, false, false, 0, 584.0 / 612},             // landscape: still the height
      {{{2000, 612}}, false, false, false, 0, 784.0 / 2000},                       // a long strip: the width
      {letters(4), true, true, false, 3, 776.0 / 1224},                            // a spread: both pages and the gap
      {letters(4), true, false, false, 0, 776.0 / 1224},                           // the cover alone keeps its side
      {{{612, 792}, {1000, 700}}, true, false, true, 1, 784.0 / 1000},             // a wide page alone, centred
      {{{306, 792}, {306, 900}, {612, 396}}, true, true, false, 1, 584.0 / 900},   // the taller page of the row
  };
  for (const Case& c : cases) {
    setPages(c.pages);
    setView(800, 600, c.doublePage, c.coverPaired);
    viewState.widePagesAlone = c.wideAlone;
    EXPECT_NEAR(c.zoom, fitPageZoom(c.page), 1e-9) << c.page;
    viewState.fitWidth = false;
    viewState.fitPage = true;
    viewState.currentPage = c.page;
    placePages();
    EXPECT_NEAR(c.zoom, viewState.zoom, 1e-9) << c.page;
  }
  setView(10, 10, false, false);
  EXPECT_EQ(0, fitPageZoom(0));    // no room: the zoom is left alone
  EXPECT_EQ(0, fitPageZoom(99));   // no such page
}

// Quarter turns swap every page's sides as shown, half turns keep them, and the
// layout follows; the document's own size stays at hand for printing.
TEST(Rotation, TurnedSizesAndTheirLayout) {
  const struct {
    int turns, quarterTurns;
    double width, height;   // as shown
  } cases[] = {{1, 1, 792, 612}, {-1, 3, 792, 612}, {2, 2, 612, 792}, {-3, 1, 792, 612}, {4, 0, 612, 792}};
  for (const auto& c : cases) {
    setPages({{612, 792}});
    setView(900, 700, false, false);
    turnPageSizes(c.turns);
    double width, height;
    unturnedPageSize(0, &width, &height);
    EXPECT_EQ(c.quarterTurns, viewState.quarterTurns) << c.turns;
    EXPECT_EQ(c.width, documentState.pageWidths[0]) << c.turns;
    EXPECT_EQ(c.height, documentState.pageHeights[0]) << c.turns;
    EXPECT_TRUE(width == 612 && height == 792) << c.turns;
    placePages();
    EXPECT_DOUBLE_EQ(884 / c.width, viewState.zoom) << c.turns;
    EXPECT_NEAR(fmin(884 / c.width, 684 / c.height), fitPageZoom(0), 1e-9) << c.turns;
  }
}

// A row is what shares a top in the layout, so each page mode has its own:
// the first page of each, forward from the first page and back from the last.
TEST(Presentation, RowsFollowThePageMode) {
  std::vector<std::pair<double, double>> wide = letters(8);
  wide[3] = {1224, 792};
  struct Case {
    std::vector<std::pair<double, double>> pages;
    bool doublePage, coverPaired;
    const char* rows;
  } cases[] = {
      {letters(3), false, false, "0 1 2 | 2 1 0"},
      {letters(6), true, true, "0 2 4 | 4 2 0"},      // the last page's row from its left page
      {wide, true, false, "0 1 3 4 6 | 6 4 3 1 0"},   // cover alone, the wide page alone
  };
  for (const Case& c : cases) {
    setPages(c.pages);
    setView(1000, 800, c.doublePage, c.coverPaired);
    viewState.widePagesAlone = true;
    placePages();
    std::string rows;
    for (int page = 0, last = -1; page != last; last = page, page = neighbourRow(page, +1))
      rows += std::to_string(page) + " ";
    rows += "|";
    for (int page = rowStartOf(99), last = -1; page != last; last = page, page = neighbourRow(page, -1))
      rows += " " + std::to_string(page);
    EXPECT_EQ(c.rows, rows);
  }
}
