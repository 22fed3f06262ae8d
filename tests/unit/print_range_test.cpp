// Which pages a print job covers, from the dialog's answer.
#include <gtest/gtest.h>
#include "print/sheet.h"

namespace {

// The pages printed, one-based, as the loop over the range visits them.
std::vector<int> printedPages(PageRange range) {
  std::vector<int> pages;
  for (int i = range.firstIndex; i < range.endIndex; i++) pages.push_back(i + 1);
  return pages;
}

std::vector<int> pages(std::initializer_list<int> list) {
  return std::vector<int>(list);
}

}   // namespace

TEST(PrintRange, AllPagesUnlessTheDialogSaysOtherwise) {
  EXPECT_EQ(pages({1, 2, 3}), printedPages(choosePageRange(0, 2, 2, 3, 1)));
  // The typed numbers are ignored without the page-numbers flag.
  EXPECT_EQ(pages({1, 2, 3, 4}), printedPages(choosePageRange(0, 3, 3, 4, 0)));
  EXPECT_TRUE(printedPages(choosePageRange(0, 1, 1, 0, 0)).empty());   // a document without pages
}

TEST(PrintRange, TypedRangeIsClampedToTheDocument) {
  EXPECT_EQ(pages({2, 3}), printedPages(choosePageRange(rangeFlagPageNumbers, 2, 3, 5, 0)));
  EXPECT_EQ(pages({4}), printedPages(choosePageRange(rangeFlagPageNumbers, 4, 4, 5, 0)));
  // A first page of 0 starts at page 1; a last page past the end stops at the last page.
  EXPECT_EQ(pages({1, 2}), printedPages(choosePageRange(rangeFlagPageNumbers, 0, 2, 5, 0)));
  EXPECT_EQ(pages({4, 5}), printedPages(choosePageRange(rangeFlagPageNumbers, 4, 900, 5, 0)));
  EXPECT_EQ(pages({1, 2, 3}), printedPages(choosePageRange(rangeFlagPageNumbers, 0, 65535, 3, 0)));
}

// First above last prints nothing (the job is still opened and closed by the caller).
TEST(PrintRange, FirstAboveLastIsEmpty) {
  PageRange range = choosePageRange(rangeFlagPageNumbers, 3, 2, 5, 0);
  EXPECT_GE(range.firstIndex, range.endIndex);
  EXPECT_TRUE(printedPages(range).empty());
  EXPECT_TRUE(printedPages(choosePageRange(rangeFlagPageNumbers, 9, 12, 5, 0)).empty());
}

// The current page (zero-based) overrides both all pages and a typed range.
TEST(PrintRange, CurrentPageOnly) {
  EXPECT_EQ(pages({3}), printedPages(choosePageRange(rangeFlagCurrentPage, 0, 0, 5, 2)));
  EXPECT_EQ(pages({1}), printedPages(choosePageRange(rangeFlagCurrentPage, 0, 0, 5, 0)));
  EXPECT_EQ(pages({5}), printedPages(choosePageRange(rangeFlagCurrentPage | rangeFlagPageNumbers, 1, 2, 5, 4)));
}

// The dialog's page fields are 16 bits: 65,536 pages must not wrap to 0, and
// "all" still reaches every page of a larger document.
TEST(PrintRange, LargeDocumentsKeepEveryPage) {
  EXPECT_EQ(3, dialogPageField(3));
  EXPECT_EQ(65535, dialogPageField(65535));
  EXPECT_EQ(65535, dialogPageField(65536));
  EXPECT_EQ(65535, dialogPageField(200000));
  EXPECT_EQ(0, dialogPageField(0));
  EXPECT_EQ(0, dialogPageField(-5));
  PageRange all = choosePageRange(0, 1, dialogPageField(70000), 70000, 0);
  EXPECT_EQ(0, all.firstIndex);
  EXPECT_EQ(70000, all.endIndex);
  PageRange typed = choosePageRange(rangeFlagPageNumbers, 65000, dialogPageField(70000), 70000, 0);
  EXPECT_EQ(64999, typed.firstIndex);
  EXPECT_EQ(65535, typed.endIndex);
}
