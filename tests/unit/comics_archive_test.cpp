// The size pass, the common page height and the page sizes of a comic.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <string>
#include <vector>

#include "comics/archive/archive.h"
#include "comics/archive/memory.h"
#include "tests/support/rawdeflate.h"

namespace {

// An archive record over entries the test owns (freed by the test, not freeArchive).
struct Pages {
  std::vector<ArchiveEntry> entries;
  ComicArchive archive = ComicArchive();

  explicit Pages(size_t count) : entries(count, ArchiveEntry()) {
    attach();
  }
  void attach() {
    archive.entries = entries.data();
    archive.entryCount = (int32_t)entries.size();
  }
};

Pages withHeights(const std::vector<int32_t>& heights) {
  Pages pages(heights.size());
  for (size_t i = 0; i < heights.size(); i++) {
    pages.entries[i].height = heights[i];
    pages.entries[i].width = heights[i] > 0 ? 100 : 0;
  }
  return pages;
}

int32_t referenceOf(const std::vector<int32_t>& heights) {
  Pages pages = withHeights(heights);
  pages.attach();
  computeReferenceHeight(&pages.archive);
  return pages.archive.referenceHeight;
}

TEST(ComicsReferenceHeight, UpperMedianOfKnownHeights) {
  EXPECT_EQ(referenceOf({1000, 1200, 1600, 2000}), 1600);
  EXPECT_EQ(referenceOf({2000, 0, 1000, 1600, 0, 1200}), 1600);   // unknown ones left out
  EXPECT_EQ(referenceOf({900, 300, 600}), 600);
  EXPECT_EQ(referenceOf({1700}), 1700);
  EXPECT_EQ(referenceOf({0, 0}), 1400);
  EXPECT_EQ(referenceOf({}), 1400);
  failNthAllocation(0);   // no room for the copy
  EXPECT_EQ(referenceOf({1000, 1200}), 1400);
}

TEST(ComicsReferenceHeight, HundredThousandPagesInLinearithmicTime) {
  // Descending heights are the worst case of sorting by insertion (5e9 moves);
  // with the sorted copy this takes milliseconds even under the sanitizers.
  std::vector<int32_t> heights;
  for (int32_t i = 0; i < 100000; i++) heights.push_back(200000 - 2 * i);
  auto start = std::chrono::steady_clock::now();
  int32_t reference = referenceOf(heights);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(reference, 100002);   // sorted[50000] of 2, 4, …, 200000
  EXPECT_LT(seconds, 0.25);       // by insertion: 1.5 s here
}

TEST(ComicsPageSize, EveryPageAsHighAsTheReferenceAsWideAsItsImage) {
  Pages pages(3);
  pages.entries[0].width = 3000;
  pages.entries[0].height = 2000;
  pages.entries[1].width = 1000;
  pages.entries[1].height = 2000;
  pages.archive.referenceHeight = 2000;
  double w, h;
  comicPageSize(&pages.archive, 0, &w, &h);
  EXPECT_DOUBLE_EQ(w, 2250);
  EXPECT_DOUBLE_EQ(h, 1500);
  comicPageSize(&pages.archive, 1, &w, &h);
  EXPECT_DOUBLE_EQ(w, 750);
  pages.archive.referenceHeight = 1400;   // nothing known
  comicPageSize(&pages.archive, 2, &w, &h);
  EXPECT_DOUBLE_EQ(h, 1050);
  EXPECT_DOUBLE_EQ(w, 750);
  comicPageSize(&pages.archive, 7, &w, &h);   // out of range: no read
  EXPECT_DOUBLE_EQ(w, 750);
  EXPECT_EQ(archivePageCount(&pages.archive), 3);
  EXPECT_EQ(archivePageCount(nullptr), 0);
}

std::string pngHeader(uint32_t w, uint32_t h) {
  std::string s("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);
  for (uint32_t v : {w, h}) {
    for (int shift = 24; shift >= 0; shift -= 8) s += (char)(v >> shift);
  }
  return s + std::string(100, '\0');
}

int measureCalls;
// Stands in for the platform decoder: knows every entry whose data starts "TIFF".
bool measureTiff(ArchiveEntry* entry, int32_t* width, int32_t* height) {
  measureCalls++;
  if (entry->storedSize < 4 || memcmp(entry->data, "TIFF", 4) != 0) return false;
  *width = 640;
  *height = 480;
  return true;
}

TEST(ComicsSizePass, SniffedFirstThenDecodedElseUndecodable) {
  std::string stored = pngHeader(800, 1200);
  std::string big = pngHeader(70000, 10);   // sides past 65535: decoder's job
  std::string deflated = rawDeflate(pngHeader(30, 40) + std::string(200000, 'z'));
  std::string tiff = "TIFF....";
  std::string junk = "junk....";
  Pages pages(7);
  struct Source {
    const std::string* bytes;
    int32_t method;
    uint64_t size;
  };
  const Source sources[] = {{&stored, STORED, 0}, {&big, STORED, 0},  {&deflated, DEFLATED, 200124},
                            {&tiff, STORED, 0},   {&junk, STORED, 0}, {&junk, 12, 0},
                            {&junk, STORED, 0}};
  for (int i = 0; i < 7; i++) {
    ArchiveEntry& e = pages.entries[i];
    e.data = (const uint8_t*)sources[i].bytes->data();
    e.storedSize = sources[i].bytes->size();
    e.size = sources[i].size ? sources[i].size : e.storedSize;
    e.method = sources[i].method;
  }
  pages.entries[6].width = 50;   // sized while listing: left alone
  pages.entries[6].height = 60;
  measureCalls = 0;
  sizePass(&pages.archive, measureTiff);
  const int32_t expected[7][3] = {{800, 1200, 0}, {0, 0, 1}, {30, 40, 0}, {640, 480, 0},
                                  {0, 0, 1},      {0, 0, 1}, {50, 60, 0}};
  for (int i = 0; i < 7; i++) {
    EXPECT_EQ(pages.entries[i].width, expected[i][0]) << i;
    EXPECT_EQ(pages.entries[i].height, expected[i][1]) << i;
    EXPECT_EQ(pages.entries[i].undecodable, expected[i][2]) << i;
  }
  EXPECT_EQ(measureCalls, 4);   // big, tiff, junk, bzip2
  computeReferenceHeight(&pages.archive);
  EXPECT_EQ(pages.archive.referenceHeight, 480);   // 40, 60, 480, 1200

  Pages noDecoder(1);
  noDecoder.entries[0].data = (const uint8_t*)tiff.data();
  noDecoder.entries[0].storedSize = noDecoder.entries[0].size = tiff.size();
  sizePass(&noDecoder.archive, nullptr);
  EXPECT_EQ(noDecoder.entries[0].undecodable, 1);
}

// A JPEG whose frame header follows a comment segment of commentBytes.
std::string jpegWithComment(uint32_t commentBytes, uint16_t w, uint16_t h) {
  std::string s("\xFF\xD8", 2);
  while (commentBytes > 0) {
    uint32_t part = commentBytes < 60000 ? commentBytes : 60000;
    s += std::string("\xFF\xFE", 2);
    s += (char)((part + 2) >> 8);
    s += (char)((part + 2) & 0xFF);
    s += std::string(part, 'c');
    commentBytes -= part;
  }
  s += std::string("\xFF\xC0\x00\x11\x08", 5);
  s += (char)(h >> 8);
  s += (char)(h & 0xFF);
  s += (char)(w >> 8);
  s += (char)(w & 0xFF);
  return s + std::string(300000, '\0');
}

// Compressed pages are first sniffed from a short prefix; a header beyond it must
// still be found within the 64 KiB, and one beyond those stays the decoder's job.
TEST(ComicsSizePass, DeflatedHeadersNearAndFarFromTheStart) {
  const std::string sources[] = {jpegWithComment(100, 900, 1300), jpegWithComment(4000, 901, 1301),
                                 jpegWithComment(20000, 902, 1302), jpegWithComment(70000, 903, 1303)};
  std::string packed[4];
  Pages pages(4);
  for (int i = 0; i < 4; i++) {
    packed[i] = rawDeflate(sources[i]);
    ArchiveEntry& e = pages.entries[i];
    e.data = (const uint8_t*)packed[i].data();
    e.storedSize = packed[i].size();
    e.size = sources[i].size();
    e.method = DEFLATED;
  }
  measureCalls = 0;
  sizePass(&pages.archive, measureTiff);
  const int32_t expected[4][3] = {{900, 1300, 0}, {901, 1301, 0}, {902, 1302, 0}, {0, 0, 1}};
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(pages.entries[i].width, expected[i][0]) << i;
    EXPECT_EQ(pages.entries[i].height, expected[i][1]) << i;
    EXPECT_EQ(pages.entries[i].undecodable, expected[i][2]) << i;
  }
  EXPECT_EQ(measureCalls, 1);
}

}   // namespace
