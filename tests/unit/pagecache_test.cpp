// The 16-slot page cache over a real PDFium document.
#include <gtest/gtest.h>
#include <string>
#include <vector>
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

struct CacheTest : ::testing::Test {
  std::string bytes = makeTestPdf(letterPages(40));
  void SetUp() override {
    documentState = DocumentState();
    documentState.pdfDocument = FPDF_LoadMemDocument64(bytes.data(), bytes.size(), nullptr);
    ASSERT_NE(nullptr, documentState.pdfDocument);
    documentState.pageCount = FPDF_GetPageCount(documentState.pdfDocument);
  }
  void TearDown() override {
    closeCachedPages();
    FPDF_CloseDocument(documentState.pdfDocument);
    documentState = DocumentState();
  }
  int loadedSlots() {
    int n = 0;
    for (const CacheSlot& slot : documentState.pageCache.slots) n += slot.page != nullptr;
    return n;
  }
};

}   // namespace

TEST_F(CacheTest, HitsReturnTheSamePageWithoutLoading) {
  FPDF_PAGE first = getCachedPage(3);
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(first, getCachedPage(3));
  EXPECT_EQ(1u, documentState.pageCache.nextSlot);
  EXPECT_NE(first, getCachedPage(4));
  EXPECT_EQ(2, loadedSlots());
}

// The seventeenth load replaces the first, even though that page was just used.
TEST_F(CacheTest, RoundRobinOverLoadOrder) {
  for (int i = 0; i < PAGE_CACHE_SLOTS; i++) ASSERT_NE(nullptr, getCachedPage(i));
  getCachedPage(0);   // a hit does not protect it
  EXPECT_EQ(16u, documentState.pageCache.nextSlot);
  getCachedPage(20);
  EXPECT_EQ(20, documentState.pageCache.slots[0].pageIndex);
  EXPECT_EQ(16, loadedSlots());
  getCachedPage(0);   // now a miss, loaded into slot 1
  EXPECT_EQ(0, documentState.pageCache.slots[1].pageIndex);
  EXPECT_EQ(18u, documentState.pageCache.nextSlot);
  for (int i = 2; i < PAGE_CACHE_SLOTS; i++) EXPECT_EQ(i, documentState.pageCache.slots[i].pageIndex);
}

// A page that cannot load leaves its slot empty and is asked for again next time.
TEST_F(CacheTest, FailedLoadLeavesAnEmptySlot) {
  getCachedPage(1);
  EXPECT_EQ(nullptr, getCachedPage(500));
  EXPECT_EQ(1, loadedSlots());
  EXPECT_EQ(nullptr, getCachedPage(500));
  EXPECT_EQ(3u, documentState.pageCache.nextSlot);
}

TEST_F(CacheTest, ClosingEmptiesEverySlot) {
  for (int i = 0; i < 20; i++) getCachedPage(i);
  closeCachedPages();
  EXPECT_EQ(0, loadedSlots());
  EXPECT_NE(nullptr, getCachedPage(5));   // and the cache keeps working
}
