// Reading positions: the bytes of an entry, hostile values, which file an
// entry fits, which entries a full list drops, and the round trip through the
// layout.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>
#include <limits>
#include <vector>
#include "viewer/recent.h"
#include "viewer/viewer.h"

namespace {

RecentEntry sample() {
  RecentEntry e;
  e.fileSize = 0x0102030405060708ull;
  e.writeTime = 0x01DA2B3C4D5E6F70ull;
  e.sequence = 77;
  e.fraction = 0.25;
  e.page = 1499;
  return e;
}

std::vector<unsigned char> bytesOf(const RecentEntry& e) {
  std::vector<unsigned char> bytes(RECENT_ENTRY_BYTES);
  encodeRecentEntry(&e, bytes.data());
  return bytes;
}

}   // namespace

// The layout is little-endian whatever the machine, field by field.
TEST(Recent, EncodesLittleEndianFieldByField) {
  std::vector<unsigned char> bytes = bytesOf(sample());
  EXPECT_EQ(0x08, bytes[0]);
  EXPECT_EQ(0x01, bytes[7]);
  EXPECT_EQ(0x70, bytes[8]);
  EXPECT_EQ(77, bytes[16]);
  uint64_t quarter;
  double value = 0.25;
  memcpy(&quarter, &value, 8);
  EXPECT_EQ((unsigned char)(quarter >> 56), bytes[31]);
  EXPECT_EQ(1499 & 0xFF, bytes[32]);
  EXPECT_EQ(1499 >> 8, bytes[33]);
  RecentEntry back;
  ASSERT_TRUE(decodeRecentEntry(bytes.data(), bytes.size(), &back));
  EXPECT_EQ(sample().fileSize, back.fileSize);
  EXPECT_EQ(sample().writeTime, back.writeTime);
  EXPECT_EQ(77u, back.sequence);
  EXPECT_EQ(0.25, back.fraction);
  EXPECT_EQ(1499, back.page);
}

// Foreign values are refused and leave the output alone.
TEST(Recent, RefusesHostileValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    double fraction;
    uint64_t sequence;
    uint32_t page;
  } cases[] = {
      {"NaN fraction", nan, 1, 0},
      {"infinite fraction", inf, 1, 0},
      {"negative infinity", -inf, 1, 0},
      {"past the bottom of the page", 1.0001, 1, 0},
      {"far above the page", RECENT_LOWEST_FRACTION - 0.5, 1, 0},
      {"page past the int range", 0, 1, 0x80000000u},
      {"page -1", 0, 1, 0xFFFFFFFFu},
      {"sequence that could wrap", 0, ~(uint64_t)0, 0},
      {"sequence at the limit", 0, RECENT_SEQUENCE_LIMIT, 0},
  };
  for (const Case& c : cases) {
    RecentEntry e = sample();
    e.fraction = c.fraction;
    e.sequence = c.sequence;
    e.page = (int)c.page;
    std::vector<unsigned char> bytes = bytesOf(e);
    RecentEntry out = sample();
    out.page = 5;
    EXPECT_FALSE(decodeRecentEntry(bytes.data(), bytes.size(), &out)) << c.what;
    EXPECT_EQ(5, out.page) << c.what;
  }
  std::vector<unsigned char> bytes = bytesOf(sample());
  RecentEntry out;
  for (size_t length : {(size_t)0, (size_t)1, (size_t)RECENT_ENTRY_BYTES - 1, (size_t)RECENT_ENTRY_BYTES + 1}) {
    std::vector<unsigned char> sized(bytes);
    sized.resize(length, 0);
    EXPECT_FALSE(decodeRecentEntry(sized.data(), length, &out)) << length << " bytes";
  }
  EXPECT_FALSE(decodeRecentEntry(NULL, RECENT_ENTRY_BYTES, &out));
  // The edges of the ranges are entries.
  RecentEntry edge = sample();
  for (double fraction : {RECENT_LOWEST_FRACTION, 1.0, -0.0}) {
    edge.fraction = fraction;
    std::vector<unsigned char> b = bytesOf(edge);
    EXPECT_TRUE(decodeRecentEntry(b.data(), b.size(), &out)) << fraction;
  }
}

// 10,000 values of random bytes: nothing decodes outside the ranges.
TEST(Recent, JunkNeverDecodesOutOfRange) {
  uint64_t state = 12345;
  int accepted = 0;
  for (int i = 0; i < 10000; i++) {
    unsigned char bytes[RECENT_ENTRY_BYTES];
    for (unsigned char& b : bytes) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      b = (unsigned char)(state >> 56);
    }
    RecentEntry e;
    if (!decodeRecentEntry(bytes, sizeof bytes, &e)) continue;
    accepted++;
    EXPECT_GE(e.page, 0);
    EXPECT_TRUE(e.fraction >= RECENT_LOWEST_FRACTION && e.fraction <= 1);
    EXPECT_LT(e.sequence, RECENT_SEQUENCE_LIMIT);
  }
  EXPECT_LT(accepted, 10000);
}

// Same size and last-write time, and the page still exists.
TEST(Recent, FitsOnlyTheSameFileWithThePage) {
  RecentEntry e = sample();
  EXPECT_TRUE(entryFitsDocument(&e, e.fileSize, e.writeTime, 2000));
  EXPECT_FALSE(entryFitsDocument(&e, e.fileSize + 1, e.writeTime, 2000)) << "size changed";
  EXPECT_FALSE(entryFitsDocument(&e, e.fileSize, e.writeTime + 1, 2000)) << "written since";
  EXPECT_FALSE(entryFitsDocument(&e, e.fileSize, e.writeTime, 1499)) << "page past the end";
  EXPECT_TRUE(entryFitsDocument(&e, e.fileSize, e.writeTime, 1500));
}

// The newest `keep` stay; ties at the edge (foreign) all go.
TEST(Recent, DropsTheOldestBeyondTheCapacity) {
  struct Case {
    std::vector<uint64_t> sequences;
    size_t keep;
    uint64_t expected;
  } cases[] = {
      {{5, 1, 9}, 3, 0},                             // room for all: nothing dropped
      {{5, 1, 9, 3}, 3, 3},                          // 1 goes
      {{5, 1, 9, 3}, 1, 9}, {{5, 1, 9, 3}, 0, 10},   // all go
      {{4, 4, 4, 8}, 2, 5},                          // two of the three 4s cannot both stay: all three go
      {{}, 0, 0},
  };
  for (Case& c : cases) {
    std::vector<uint64_t> sequences = c.sequences;
    EXPECT_EQ(c.expected, oldestKeptSequence(sequences.data(), sequences.size(), c.keep)) << c.keep;
  }
  std::vector<uint64_t> many;
  for (uint64_t i = 10000; i > 0; i--) many.push_back(i * 3);
  uint64_t oldest = oldestKeptSequence(many.data(), many.size(), RECENT_CAPACITY - 1);
  size_t kept = 0;
  for (uint64_t s : many) kept += s >= oldest;
  EXPECT_EQ((size_t)RECENT_CAPACITY - 1, kept);
  EXPECT_EQ((10000 - RECENT_CAPACITY + 2) * 3, oldest);
}

// Stored from one layout, the position puts the same page at the same place
// in another view size; whatever the fraction, the scroll stays in the canvas.
TEST(Recent, PositionRoundTripsThroughTheLayout) {
  std::vector<unsigned char> block(24 * 100 + 1);
  DocumentState& d = documentState;
  d = DocumentState();
  d.pageCount = 100;
  d.pageWidths = (double*)block.data();
  d.pageHeights = d.pageWidths + 100;
  d.pageTops = (int*)(d.pageHeights + 100);
  d.pageLefts = d.pageTops + 100;
  for (int i = 0; i < 100; i++) storePageSize(i, 612, 792);
  viewState = ViewState();
  viewState.fitWidth = true;
  viewState.viewWidth = 900;
  viewState.viewHeight = 700;
  placePages();
  int height = pagePixels(792);
  viewState.scrollY = d.pageTops[40] + height / 4;
  viewState.currentPage = pageAtReadingLine();
  int page;
  double fraction;
  currentReadingPosition(&page, &fraction);
  EXPECT_EQ(40, page);
  EXPECT_NEAR(0.25, fraction, 1.0 / height);

  viewState.viewWidth = 1800;   // twice as wide: pages twice as tall
  placePages();
  int y = scrollForReadingPosition(page, fraction);
  EXPECT_NEAR(d.pageTops[40] + pagePixels(792) / 4, y, 2);
  EXPECT_EQ(0, scrollForReadingPosition(0, RECENT_LOWEST_FRACTION));
  EXPECT_EQ(viewState.layoutHeight - viewState.viewHeight, scrollForReadingPosition(99, 1));
  d = DocumentState();
}
