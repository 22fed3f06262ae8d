// Walking a real PDF's text for occurrences, with wrap-around both ways, and
// where the view scrolls to show a match.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "search/search.h"
#include "tests/support/pdfwriter.h"
#include "viewer/viewer.h"

namespace {

struct PdfiumLibrary : ::testing::Environment {
  void SetUp() override {
    FPDF_InitLibrary();
  }
  void TearDown() override {
    FPDF_DestroyLibrary();
  }
};
::testing::Environment* const pdfium = ::testing::AddGlobalTestEnvironment(new PdfiumLibrary);

std::u16string u16(const char* text) {
  std::u16string out;
  while (*text) out.push_back((unsigned char)*text++);
  return out;
}

struct Search : ::testing::Test {
  std::string bytes;
  std::vector<unsigned char> block;

  void load(const std::vector<TestPage>& pages) {
    bytes = makeTestPdf(pages);
    documentState = DocumentState();
    documentState.pdfDocument = FPDF_LoadMemDocument64(bytes.data(), bytes.size(), nullptr);
    ASSERT_NE(nullptr, documentState.pdfDocument);
    int n = documentState.pageCount = FPDF_GetPageCount(documentState.pdfDocument);
    block.assign(24 * n + 1, 0);
    documentState.pageWidths = (double*)block.data();
    documentState.pageHeights = documentState.pageWidths + n;
    documentState.pageTops = (int*)(documentState.pageHeights + n);
    documentState.pageLefts = documentState.pageTops + n;
    for (int i = 0; i < n; i++) storePageSize(i, pages[i].width, pages[i].height);
    viewState = ViewState();
    viewState.fitWidth = true;
    viewState.zoom = 1;
    viewState.viewWidth = 800;
    viewState.viewHeight = 600;
    placePages();
    viewState.currentPage = 0;
    searchState = SearchState();
    clearSearchMatch();
  }
  void TearDown() override {
    closeCachedPages();
    if (documentState.pdfDocument) FPDF_CloseDocument(documentState.pdfDocument);
    documentState = DocumentState();
  }
  // (page, index) of the next match, or (-1, -1).
  std::pair<int, int> next(const char* text, int direction = +1) {
    std::u16string wide = u16(text);
    if (!findMatch((const Utf16*)wide.c_str(), direction)) return {-1, -1};
    return {searchState.matchPage, searchState.matchIndex};
  }
};

// Three pages: "alpha" twice on the first, not on the second, twice on the third.
std::vector<TestPage> threePages() {
  return {
      {612, 792, {"alpha beta alpha"}},
      {612, 792, {"gamma"}},
      {612, 792, {"ALPHA delta", "alpha"}},
  };
}

}   // namespace

TEST_F(Search, ForwardWalksInOrderAndWraps) {
  load(threePages());
  auto first = next("alpha");
  EXPECT_EQ(0, first.first);
  EXPECT_EQ(0, first.second);
  auto second = next("alpha");
  EXPECT_EQ(0, second.first);
  EXPECT_GT(second.second, first.second);
  EXPECT_EQ(2, next("alpha").first);
  auto fourth = next("alpha");
  EXPECT_EQ(2, fourth.first);
  EXPECT_EQ(first, next("alpha"));   // wrapped to the first occurrence of the document
}

TEST_F(Search, BackwardWalksTheOtherWay) {
  load(threePages());
  auto last = next("alpha", -1);   // fresh, backward: the last occurrence on the current page
  EXPECT_EQ(0, last.first);
  EXPECT_GT(last.second, 0);
  auto first = next("alpha", -1);
  EXPECT_EQ(std::make_pair(0, 0), first);
  auto wrapped = next("alpha", -1);   // from the first of the document to the last
  EXPECT_EQ(2, wrapped.first);
  EXPECT_GT(wrapped.second, 0);
}

TEST_F(Search, IgnoresCaseAndANewTextStartsFromTheCurrentPage) {
  load(threePages());
  EXPECT_EQ(0, next("ALPHA").first);
  EXPECT_EQ(0, next("ALPHA").first);
  viewState.currentPage = 1;
  // A different text: fresh from page 2 (index 1), which has none; page 3 has it.
  EXPECT_EQ(std::make_pair(2, 6), next("delta"));
  // Back to "alpha": a new text again, so from the current page, not the old match.
  viewState.currentPage = 2;
  EXPECT_EQ(std::make_pair(2, 0), next("alpha"));
}

TEST_F(Search, OnePageSingleOccurrenceIsFoundEveryTime) {
  load({{612, 792, {"the only needle here"}}});
  for (int i = 0; i < 3; i++) EXPECT_EQ(std::make_pair(0, 9), next("needle"));
  for (int i = 0; i < 3; i++) EXPECT_EQ(std::make_pair(0, 9), next("needle", -1));
}

TEST_F(Search, NothingFoundClearsTheMatch) {
  load(threePages());
  ASSERT_EQ(0, next("beta").first);
  EXPECT_EQ(std::make_pair(-1, -1), next("zebra"));
  EXPECT_EQ(-1, searchState.matchPage);
  EXPECT_EQ(0, searchState.matchRectCount);
}

TEST_F(Search, DocumentWithoutPagesFindsNothing) {
  load({});
  EXPECT_EQ(std::make_pair(-1, -1), next("alpha"));
}

// The match rectangle lies where the word was written, in page points.
TEST_F(Search, MatchRectanglesAreOnTheWord) {
  load({{612, 792, {"find the word target please"}}});
  ASSERT_EQ(0, next("target").first);
  ASSERT_EQ(1, searchState.matchRectCount);
  const MatchRect& r = searchState.matchRects[0];
  EXPECT_GT(r.left, 140 + 60);   // after "find the word "
  EXPECT_LT(r.right, 140 + 180);
  EXPECT_NEAR(752, (r.top + r.bottom) / 2, 8);   // the first line's baseline area
}

// At most 64 rectangles are kept, however many lines a match spans: here one
// match of eighty words on eighty lines, the first 64 of them kept in order.
TEST_F(Search, RectanglesAreCappedAtSixtyFour) {
  std::vector<std::string> lines(80, "ab");
  load({{612, 2000, lines}});
  std::string words = "ab";
  for (int i = 1; i < 80; i++) words += " ab";
  ASSERT_EQ(0, next(words.c_str()).first);
  ASSERT_EQ(64, searchState.matchRectCount);
  for (int i = 1; i < 64; i++) EXPECT_LT(searchState.matchRects[i].top, searchState.matchRects[i - 1].bottom) << i;
}

TEST_F(Search, MatchInsideTheViewDoesNotScroll) {
  load(threePages());
  next("alpha");
  int x, y;
  matchScrollTarget(&x, &y);
  EXPECT_EQ(viewState.scrollX, x);
  EXPECT_EQ(viewState.scrollY, y);
}

// A match below the view lands a third of the way down it.
TEST_F(Search, MatchBelowTheViewLandsAThirdDown) {
  load(threePages());
  viewState.currentPage = 2;
  ASSERT_EQ(2, next("delta").first);
  int x, y;
  matchScrollTarget(&x, &y);
  EXPECT_EQ(viewState.scrollX, x);
  int dx, dy;
  FPDF_PageToDevice(getCachedPage(2), 0, 0, pagePixels(612), pagePixels(792), 0, searchState.matchRects[0].left,
                    searchState.matchRects[0].top, &dx, &dy);
  EXPECT_EQ(documentState.pageTops[2] + dy - viewState.viewHeight / 3, y);
}

// A match right of the view centres horizontally.
TEST_F(Search, MatchRightOfTheViewIsCentred) {
  load({{612, 792, {"left", "                                                                  far"}}});
  viewState.fitWidth = false;
  viewState.zoom = 3;
  placePages();
  ASSERT_EQ(0, next("far").first);
  int x, y;
  matchScrollTarget(&x, &y);
  int dx, dy;
  FPDF_PageToDevice(getCachedPage(0), 0, 0, pagePixels(612), pagePixels(792), 0, searchState.matchRects[0].left,
                    searchState.matchRects[0].top, &dx, &dy);
  ASSERT_GE(documentState.pageLefts[0] + dx, viewState.viewWidth - 40);
  EXPECT_EQ(documentState.pageLefts[0] + dx - viewState.viewWidth / 2, x);
}

// A word cut by a hyphen at a line end is found whole, highlighted on both
// lines, and walked in order together with PDFium's own occurrences.
TEST_F(Search, HyphenatedWordIsFoundAcrossTheLineEnd) {
  load({{612, 792, {"we dis-", "covered a well-known way", "then discovered more"}}});
  auto joined = next("discovered");
  EXPECT_EQ(std::make_pair(0, 3), joined);
  ASSERT_EQ(2, searchState.matchRectCount);
  EXPECT_GT(searchState.matchRects[0].bottom, searchState.matchRects[1].top);   // "dis-" above "covered"
  EXPECT_LT(searchState.matchRects[1].left, 140 + 1);                           // "covered" starts its line
  auto plain = next("discovered");
  EXPECT_EQ(0, plain.first);
  EXPECT_GT(plain.second, joined.second);
  EXPECT_EQ(joined, next("discovered"));      // wrapped
  EXPECT_EQ(plain, next("discovered", -1));   // backward from the first: the last of the page
  EXPECT_EQ(joined, next("discovered", -1));
  EXPECT_EQ(std::make_pair(-1, -1), next("wellknown"));   // that hyphen is inside its line
  EXPECT_EQ(0, next("well-known").first);
}
