// The comic image cache and page drawing: eviction by use and by bytes, the
// placeholder, the straight copy and the bilinear enlargement, and the sizes
// pages are decoded at.
#include <gtest/gtest.h>
#include <string.h>
#include <vector>
#include "comics/archive/memory.h"
#include "comics/pages.h"

namespace {

struct ComicsCache : ::testing::Test {
  ComicArchive* archive = nullptr;
  void SetUp() override {
    archive = (ComicArchive*)allocZeroed(sizeof(ComicArchive));
    archive->entryCount = 4;
    archive->entries = (ArchiveEntry*)allocZeroed(4 * sizeof(ArchiveEntry));
  }
  void TearDown() override {
    freeArchive(archive);
  }
  uint8_t* pixels(int w, int h, uint8_t value = 0) {
    uint8_t* p = (uint8_t*)allocBytes((size_t)w * h * 4);
    memset(p, value, (size_t)w * h * 4);
    return p;
  }
  int held() {
    int n = 0;
    for (const ImageSlot& slot : archive->imageSlots) n += slot.pixels != nullptr;
    return n;
  }
};

}   // namespace

// The thirteenth image evicts the least recently used one; a hit refreshes.
TEST_F(ComicsCache, EvictsByUseOrder) {
  for (int i = 0; i < 12; i++) ASSERT_NE(nullptr, storeCachedImage(archive, i, 4, 4, pixels(4, 4)));
  EXPECT_NE(nullptr, findCachedImage(archive, 0, 4, 4));   // page 0 is now the freshest
  storeCachedImage(archive, 12, 4, 4, pixels(4, 4));
  EXPECT_EQ(12, held());
  EXPECT_NE(nullptr, findCachedImage(archive, 0, 4, 4));
  EXPECT_EQ(nullptr, findCachedImage(archive, 1, 4, 4));   // the oldest went
  EXPECT_EQ(nullptr, findCachedImage(archive, 0, 8, 8));   // another size is another image
  EXPECT_EQ(12 * 4 * 4 * 4, archive->cachedBytes);
}

// 200 MiB held and 100 MiB more: the oldest go until it fits the 256 MiB budget.
TEST_F(ComicsCache, EvictsByBytes) {
  const int side = 5120;   // 5120 x 5120 x 4 = 100 MiB
  storeCachedImage(archive, 0, side, side, pixels(side, side));
  storeCachedImage(archive, 1, side, side, pixels(side, side));
  EXPECT_EQ(2, held());
  storeCachedImage(archive, 2, side, side, pixels(side, side));
  EXPECT_EQ(2, held());
  EXPECT_EQ(nullptr, findCachedImage(archive, 0, side, side));
  EXPECT_LE(archive->cachedBytes, (int64_t)IMAGE_BUDGET_BYTES);
}

// One image larger than the whole budget is still kept when it is alone.
TEST_F(ComicsCache, OversizedImageIsKeptAlone) {
  const int side = 9000;   // ~309 MiB
  storeCachedImage(archive, 0, 2, 2, pixels(2, 2));
  ASSERT_NE(nullptr, storeCachedImage(archive, 1, side, side, pixels(side, side)));
  EXPECT_EQ(1, held());
  EXPECT_GT(archive->cachedBytes, (int64_t)IMAGE_BUDGET_BYTES);
}

// An undecodable page is a 0xDD rectangle clipped to the bitmap, nothing outside.
TEST_F(ComicsCache, UndecodablePageIsAGreyPlaceholder) {
  archive->entries[0].undecodable = 1;
  std::vector<uint8_t> bits(10 * 6 * 4, 0x11);
  drawComicPage(archive, 0, bits.data(), 10, 6, -3, 2, 8, 20);
  for (int y = 0; y < 6; y++)
    for (int x = 0; x < 10; x++) EXPECT_EQ((y >= 2 && x < 5) ? 0xDD : 0x11, bits[(y * 10 + x) * 4]) << x << "," << y;
}

// At display size the cached image is copied straight, clipped and offset.
TEST_F(ComicsCache, PageAtItsSizeIsCopied) {
  archive->entries[1].width = 100;
  archive->entries[1].height = 100;
  uint8_t* image = pixels(4, 3);
  for (int i = 0; i < 12; i++) image[i * 4] = (uint8_t)(i + 1);
  storeCachedImage(archive, 1, 4, 3, image);
  std::vector<uint8_t> bits(3 * 3 * 4, 0);
  drawComicPage(archive, 1, bits.data(), 3, 3, -1, 1, 4, 3);
  EXPECT_EQ(0, bits[0]);                 // row 0 is above the page
  EXPECT_EQ(2, bits[(1 * 3 + 0) * 4]);   // image (1, 0)
  EXPECT_EQ(4, bits[(1 * 3 + 2) * 4]);   // image (3, 0)
  EXPECT_EQ(7, bits[(2 * 3 + 1) * 4]);   // image (2, 1)
}

// A page shown larger than its image is decoded at the image's size and enlarged
// in 16.16 fixed point with centres aligned: 2 x 1 pixels (0 and 200) over 4.
TEST_F(ComicsCache, LargerPageIsEnlargedBilinearly) {
  archive->entries[2].width = 2;
  archive->entries[2].height = 1;
  uint8_t* image = pixels(2, 1, 0);
  image[4] = image[5] = image[6] = 200;
  storeCachedImage(archive, 2, 2, 1, image);
  std::vector<uint8_t> bits(4 * 2 * 4, 0);
  drawComicPage(archive, 2, bits.data(), 4, 2, 0, 0, 4, 2);
  // fx = ((2j + 1) x 2 x 65536) / 8 - 32768: 0 (clamped), 16384, 49152, 81920 -> column 1 alone
  const int expected[4] = {0, 200 * 16384 >> 16, 200 * 49152 >> 16, 200};
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 4; x++) {
      EXPECT_EQ(expected[x], bits[(y * 4 + x) * 4]) << x;
      EXPECT_EQ(255, bits[(y * 4 + x) * 4 + 3]);
    }
  EXPECT_NE(nullptr, findCachedImage(archive, 2, 2, 1));
  EXPECT_EQ(1, held());   // enlarged per paint, cached at the image's own size
}

// The decode size: the display size, or the image's own when shown larger,
// never past the 256 MiB budget.
TEST_F(ComicsCache, DecodeSizes) {
  ArchiveEntry entry = {};
  entry.width = 1600;
  entry.height = 2400;
  int w, h;
  pageDecodeSize(&entry, 800, 1200, &w, &h);
  EXPECT_EQ(800, w);
  EXPECT_EQ(1200, h);
  pageDecodeSize(&entry, 2000, 3000, &w, &h);
  EXPECT_EQ(1600, w);
  EXPECT_EQ(2400, h);
  pageDecodeSize(&entry, 30000, 45000, &w, &h);   // unknown-size pages shown huge
  entry.width = 0;
  pageDecodeSize(&entry, 30000, 45000, &w, &h);
  EXPECT_LE((uint64_t)w * h * 4, IMAGE_BUDGET_BYTES);
  EXPECT_NEAR(30000.0 / 45000, (double)w / h, 0.01);
}

// Printing halves images above 100,000,000 pixels and fails on unknown sizes.
TEST_F(ComicsCache, PrintingDecodeRefusesUnknownPages) {
  int w = 0, h = 0;
  archive->entries[3].width = 0;
  EXPECT_EQ(nullptr, decodeForPrinting(archive, 3, &w, &h));
  archive->entries[3].width = 20000;
  archive->entries[3].height = 10000;
  archive->entries[3].undecodable = 1;
  EXPECT_EQ(nullptr, decodeForPrinting(archive, 3, &w, &h));
}
