// Reading real PDFs' outlines branch by branch: targets of every kind, the
// document order, the section of a page, and hostile outlines (loops, depth,
// count, long titles) that must end within the limits.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "tests/support/pdfwriter.h"
#include "thumbs/outline.h"

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

struct Outline : ::testing::Test {
  std::string bytes;
  FPDF_DOCUMENT document = nullptr;

  bool open(const TestOutline& outline, int pages = 6) {
    bytes = makeTestPdf(std::vector<TestPage>(pages, TestPage{612, 792, {}}), "Helvetica", outline);
    document = FPDF_LoadMemDocument64(bytes.data(), bytes.size(), nullptr);
    return document && beginOutline(document);
  }
  void TearDown() override {
    endOutline();
    if (document) FPDF_CloseDocument(document);
  }
  std::string title(int item) {
    Utf16 text[OUTLINE_TITLE_UNITS + 1];
    int units = outlineTitle(item, text);
    EXPECT_EQ(std::char_traits<char16_t>::length(text), (size_t)units);
    return std::string(text, text + units);
  }
  // Reads every branch, deepest first as a user unfolding all would; the item count.
  int readAll() {
    readOutlineChildren(-1);
    for (int i = 0; i < outlineModel.itemCount; i++) readOutlineChildren(i);
    return outlineModel.itemCount;
  }
};

}   // namespace

// Each kind of target: a point, a whole page, a GoTo action, and what never runs.
TEST_F(Outline, TargetsOfEveryKind) {
  struct Case {
    const char* title;
    std::string target;
    int page;
    bool hasY;
    float y;
  };
  const Case cases[] = {
      {"point", destAt(2, 500), 2, true, 500},
      {"page", destFit(3), 3, false, 0},
      {"goto", goToAction(4, 300), 4, true, 300},
      {"uri", uriAction("http://example.com/"), -1, false, 0},
      {"launch", "/A << /S /Launch /F (calc.exe) >>", -1, false, 0},
      {"script", "/A << /S /JavaScript /JS (app.alert(1)) >>", -1, false, 0},
      {"nothing", "", -1, false, 0},
      {"past the end", "/Dest [99 /XYZ 0 0 0]", -1, false, 0},
  };
  TestOutline outline;
  for (const Case& c : cases) outline.add(-1, c.title, c.target);
  ASSERT_TRUE(open(outline));
  ASSERT_EQ(8, readOutlineChildren(-1));
  for (int i = 0; i < 8; i++) {
    OutlineTarget target = outlineTarget(i);
    EXPECT_EQ(cases[i].title, title(i));
    EXPECT_EQ(cases[i].page, target.page) << cases[i].title;
    EXPECT_EQ(cases[i].page, outlineModel.items[i].page) << cases[i].title;
    EXPECT_EQ(cases[i].hasY, target.hasY) << cases[i].title;
    if (cases[i].hasY) {
      EXPECT_FLOAT_EQ(cases[i].y, target.y) << cases[i].title;
    }
  }
}

// Branches are read when asked, once; their items come right after their
// parent in document order, and the section of a page follows that order.
TEST_F(Outline, BranchesReadOnDemandInDocumentOrder) {
  TestOutline outline;
  int one = outline.add(-1, "1", destFit(0));
  int oneOne = outline.add(one, "1.1", destFit(1));
  outline.add(oneOne, "1.1.1", destFit(2));
  outline.add(-1, "2", destFit(4));
  ASSERT_TRUE(open(outline));
  ASSERT_EQ(2, readOutlineChildren(-1));
  EXPECT_EQ(0, readOutlineChildren(-1));
  EXPECT_EQ(0, outlineItemForPage(3));   // "1.1" unread: the section is "1"
  EXPECT_EQ(1, readOutlineChildren(0));
  EXPECT_EQ(0, readOutlineChildren(0));
  EXPECT_EQ(1, readOutlineChildren(2));
  const int order[] = {0, 2, 3, 1};
  for (int k = 0; k < 4; k++) EXPECT_EQ(order[k], outlineModel.order[k]);
  const int sections[][2] = {{0, 0}, {1, 2}, {3, 3}, {4, 1}, {5, 1}};
  for (const auto& s : sections) EXPECT_EQ(s[1], outlineItemForPage(s[0])) << "page " << s[0];
}

// A loop of siblings, a child that is its own parent, a child pointing back
// to the top: each bookmark is one item at most, and reading ends.
TEST_F(Outline, LoopsEndTheBranch) {
  TestOutline outline;
  int a = outline.add(-1, "a", destFit(0));
  int b = outline.add(-1, "b", destFit(1));
  outline.items[b].next = a;   // a, b, a, b...
  int c = outline.add(a, "c", destFit(2));
  outline.items[c].first = outline.items[c].last = c;   // its own child
  outline.items[b].first = outline.items[b].last = a;   // an ancestor's sibling
  ASSERT_TRUE(open(outline));
  EXPECT_EQ(3, readAll());
  EXPECT_FALSE(outlineModel.items[2].mayHaveChildren);
  EXPECT_TRUE(outlineModel.items[1].childrenRead);
}

TEST_F(Outline, DepthCountAndTitlesAreBounded) {
  TestOutline deep;
  for (int i = 0, parent = -1; i < 100; i++) parent = deep.add(parent, "level", destFit(0));
  ASSERT_TRUE(open(deep));
  EXPECT_EQ(OUTLINE_MAX_DEPTH, readAll());
  EXPECT_FALSE(outlineModel.items[OUTLINE_MAX_DEPTH - 1].mayHaveChildren);
  TearDown();

  TestOutline wide;
  for (int i = 0; i < OUTLINE_MAX_ITEMS + 2000; i++) wide.add(-1, "item", destFit(i % 6));
  ASSERT_TRUE(open(wide));
  EXPECT_EQ(OUTLINE_MAX_ITEMS, readOutlineChildren(-1));
  TearDown();

  TestOutline titles;
  titles.add(-1, std::string(70000, 'x'), destFit(0));
  titles.add(-1, "line\nbreak\ttab", destFit(0));
  // A surrogate pair across the cut, as UTF-16BE with its byte-order mark.
  std::string pair = "\xFE\xFF" + std::string(2 * (OUTLINE_TITLE_UNITS - 1), '\0') + std::string("\xD8\x3D\xDE\x00", 4);
  for (size_t i = 3; i < 2 * OUTLINE_TITLE_UNITS; i += 2) pair[i] = 'y';
  titles.add(-1, pair, destFit(0));
  ASSERT_TRUE(open(titles));
  ASSERT_EQ(3, readOutlineChildren(-1));
  EXPECT_EQ(std::string(OUTLINE_TITLE_UNITS, 'x'), title(0));
  EXPECT_EQ("line break tab", title(1));
  EXPECT_EQ(std::string(OUTLINE_TITLE_UNITS - 1, 'y'), title(2));
}

// A long row read a slice at a time, with a branch read between its slices:
// the same items in the same document order as read whole, and the row left
// to read named until it ends.
TEST_F(Outline, RowsReadInSlicesKeepTheDocumentOrder) {
  TestOutline outline;
  int a = outline.add(-1, "A", destFit(0));
  for (const char* title : {"a1", "a2", "a3", "a4", "a5"}) outline.add(a, title, destFit(1));
  outline.add(-1, "B", destFit(2));
  int c = outline.add(-1, "C", destFit(3));
  outline.add(c, "c1", destFit(4));
  outline.add(c, "c2", destFit(5));
  ASSERT_TRUE(open(outline));
  const struct {
    int parent, limit, added, pendingAfter;
  } steps[] = {{-1, 2, 2, -1}, {0, 2, 2, -1}, {-1, 2, 1, 0}, {0, 9, 3, -2}, {4, 1, 1, 4}, {4, 1, 1, -2}, {4, 1, 0, -2}};
  for (const auto& step : steps) {
    EXPECT_EQ(step.added, readSomeOutlineChildren(step.parent, step.limit)) << step.parent;
    EXPECT_EQ(step.pendingAfter, outlineBranchToRead()) << step.parent;
  }
  std::string inOrder;
  for (int k = 0; k < outlineModel.itemCount; k++) inOrder += title(outlineModel.order[k]) + " ";
  EXPECT_EQ("A a1 a2 a3 a4 a5 B C c1 c2 ", inOrder);
}
