// Comic prefetch on the real windows: the order the decode worker is given the
// neighbours of the view, and closing a comic while the worker decodes it.
#include "app/app.h"
#include "comics/archive/memory.h"
#include "comics/pages.h"
#include "comics/worker/worker.h"
#include "tests/inproc/gtest.h"
#include "tests/support/inproc.h"
#include "thumbs/thumbs.h"
#include "viewer/viewer.h"

#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

void put16(std::string& out, unsigned v) {
  out += (char)(v & 255);
  out += (char)(v >> 8 & 255);
}
void put32(std::string& out, unsigned v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// A 24-bit bottom-up BMP of one colour.
std::string bmp(int width, int height, unsigned char shade) {
  int stride = (width * 3 + 3) & ~3;
  std::string out = "BM";
  put32(out, 54 + stride * height);
  put32(out, 0);
  put32(out, 54);
  put32(out, 40);
  put32(out, width);
  put32(out, height);
  put16(out, 1);
  put16(out, 24);
  put32(out, 0);
  put32(out, stride * height);
  put32(out, 2835);
  put32(out, 2835);
  put32(out, 0);
  put32(out, 0);
  out.append((size_t)stride * height, (char)shade);
  return out;
}

unsigned crc32(const std::string& data) {
  unsigned crc = 0xFFFFFFFF;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
  }
  return ~crc;
}

// A ZIP of stored entries.
std::string storedZip(const std::vector<std::pair<std::string, std::string>>& files) {
  std::string out, directory;
  for (const auto& file : files) {
    unsigned offset = (unsigned)out.size(), crc = crc32(file.second), size = (unsigned)file.second.size();
    std::string common;
    put16(common, 20);
    put16(common, 0);
    put16(common, 0);
    put16(common, 0);
    put16(common, 0);
    put32(common, crc);
    put32(common, size);
    put32(common, size);
    put16(common, (unsigned)file.first.size());
    put16(common, 0);
    out += "PK\x03\x04" + common + file.first + file.second;
    directory += "PK\x01\x02";
    put16(directory, 20);
    directory += common;
    put16(directory, 0);
    put16(directory, 0);
    put16(directory, 0);
    put32(directory, 0);
    put32(directory, offset);
    directory += file.first;
  }
  unsigned start = (unsigned)out.size();
  out += directory + "PK\x05\x06";
  put16(out, 0);
  put16(out, 0);
  put16(out, (unsigned)files.size());
  put16(out, (unsigned)files.size());
  put32(out, (unsigned)directory.size());
  put32(out, start);
  put16(out, 0);
  return out;
}

void pump() {
  MSG msg;
  while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Waits for the worker's result and files it, as the main loop would.
bool handleOneResult() {
  MSG msg;
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 10000) {
    if (PeekMessageW(&msg, frameWindow, WM_APP_IMAGE_READY, WM_APP_IMAGE_READY, PM_REMOVE)) {
      DispatchMessageW(&msg);
      return true;
    }
    Sleep(5);
  }
  return false;
}

struct Comics : ::testing::Test {
  std::string folder, path;
  std::string writeComic(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files) {
    std::string zip = storedZip(files), file = folder + "/" + name;
    FILE* f = fopen(file.c_str(), "wb");
    fwrite(zip.data(), 1, zip.size(), f);
    fclose(f);
    return file;
  }
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brisa");
    writeSetting(L"HideAboutOnStartup", 1);
    writeSetting(L"HideThumbs", 1);
    char pattern[] = "/tmp/brisa-comics-XXXXXX";
    folder = mkdtemp(pattern);
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 10; i++)
      files.push_back({"p" + std::to_string(i) + ".bmp", bmp(100, 400, (unsigned char)(20 * i))});
    path = writeComic("tall.cbz", files);
    Wide line = wide("brisa");
    startBrisa(GetModuleHandleW(NULL), line.text);
    pump();
  }
  void TearDown() override {
    DestroyWindow(frameWindow);
    pump();
    stopBrisa();
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brisa");
    writeSetting(L"HideAboutOnStartup", 1);
  }
  std::vector<int> cachedPages() {
    std::vector<int> pages;
    for (const ImageSlot& slot : documentState.comicArchive->imageSlots)
      if (slot.pixels) pages.push_back(slot.pageIndex);
    return pages;
  }
};

bool contains(const std::vector<int>& pages, int page) {
  for (int p : pages)
    if (p == page) return true;
  return false;
}

// The pages the view shows, any part of them.
std::vector<int> visiblePages() {
  std::vector<int> pages;
  for (int i = 0; i < documentState.pageCount; i++) {
    int top = documentState.pageTops[i], height = pagePixels(documentState.pageHeights[i]);
    if (top + height > viewState.scrollY && top < viewState.scrollY + viewState.viewHeight) pages.push_back(i);
  }
  return pages;
}

// Idle passes as the main loop makes them, each filing the result of the job it
// started; the number of jobs started.
int idlePasses(int passes) {
  int jobs = 0;
  for (int pass = 0; pass < passes; pass++) {
    if (prefetchStep() == 0) continue;
    jobs++;
    if (!handleOneResult()) break;
  }
  return jobs;
}

// A PNG whose header is sound and whose pixel data is not.
std::string brokenPng(int width, int height) {
  auto chunk = [](const std::string& type, const std::string& data) {
    std::string out, body = type + data;
    unsigned length = (unsigned)data.size(), crc = crc32(body);
    for (int shift = 24; shift >= 0; shift -= 8) out += (char)(length >> shift & 255);
    out += body;
    for (int shift = 24; shift >= 0; shift -= 8) out += (char)(crc >> shift & 255);
    return out;
  };
  std::string header;
  for (unsigned v : {(unsigned)width, (unsigned)height})
    for (int shift = 24; shift >= 0; shift -= 8) header += (char)(v >> shift & 255);
  header += std::string("\x08\x02\0\0\0", 5);   // 8-bit RGB
  return "\x89PNG\r\n\x1A\n" + chunk("IHDR", header) + chunk("IDAT", std::string(64, '\x5A')) + chunk("IEND", "");
}

}   // namespace

// Two-page view with pages 4 and 5 in sight: 6, then 7, then 3, then 2.
TEST_F(Comics, PrefetchTakesTheNeighboursInOrder) {
  Wide file = wide(path);
  openDocument(file.text);
  pump();
  ASSERT_NE(nullptr, documentState.comicArchive);
  setPageMode(true, true, false);
  scrollTo(0, documentState.pageTops[4]);
  UpdateWindow(viewWindow);
  std::vector<int> before = cachedPages();
  ASSERT_TRUE(contains(before, 4) && contains(before, 5));
  ASSERT_FALSE(contains(before, 3) || contains(before, 6));   // only one row in sight
  std::vector<int> order;
  for (int step = 0; step < 4; step++) {
    ASSERT_EQ(1, prefetchStep());
    ASSERT_TRUE(handleOneResult());
    for (int page : cachedPages())
      if (!contains(before, page) && !contains(order, page)) order.push_back(page);
  }
  EXPECT_EQ((std::vector<int>{6, 7, 3, 2}), order);
  EXPECT_EQ(0, prefetchStep());   // nothing left to do: the loop may sleep
}

// Single pages with page 4 alone in sight: 5, then 3.
TEST_F(Comics, SinglePagePrefetchTakesOneOnEachSide) {
  Wide file = wide(path);
  openDocument(file.text);
  pump();
  scrollTo(0, documentState.pageTops[4]);
  UpdateWindow(viewWindow);
  std::vector<int> before = cachedPages();
  std::vector<int> order;
  for (int step = 0; step < 2; step++) {
    ASSERT_EQ(1, prefetchStep());
    ASSERT_TRUE(handleOneResult());
    for (int page : cachedPages())
      if (!contains(before, page) && !contains(order, page)) order.push_back(page);
  }
  EXPECT_EQ((std::vector<int>{5, 3}), order);
}

// Replacing the comic while the worker decodes one of its pages waits for that
// decode and discards its result when the message arrives.
TEST_F(Comics, ClosingWhileDecodingDiscardsTheResult) {
  Wide file = wide(path);
  openDocument(file.text);
  pump();
  UpdateWindow(viewWindow);
  ASSERT_EQ(1, prefetchStep());
  ASSERT_TRUE(isDecodeBusy());
  openDocument(file.text);   // the same file again: the old archive closes now
  ASSERT_NE(nullptr, documentState.comicArchive);
  ASSERT_TRUE(handleOneResult());
  EXPECT_FALSE(isDecodeBusy());
  // The new archive's cache holds only what its own painting put there.
  for (const ImageSlot& slot : documentState.comicArchive->imageSlots)
    if (slot.pixels) {
      EXPECT_LT(documentState.pageTops[slot.pageIndex] - viewState.scrollY, viewState.viewHeight);
    }
}

// Closing the window while the worker decodes a page: the result is filed
// before the frame goes, so the worker is free for the next window of the
// process and no job is left behind.
TEST_F(Comics, ClosingTheWindowWhileDecodingLeavesNoJob) {
  Wide file = wide(path);
  openDocument(file.text);
  pump();
  UpdateWindow(viewWindow);
  ASSERT_EQ(1, prefetchStep());
  ASSERT_TRUE(isDecodeBusy());
  DestroyWindow(frameWindow);
  EXPECT_FALSE(isDecodeBusy());
}

// Eleven pages in sight leave room in the cache for one more: the next page is
// prefetched, the previous one is not, since it would push a page in sight out,
// and then the worker rests however many idle passes follow.
TEST_F(Comics, PrefetchNeverPushesAPageInSightOutOfTheCache) {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 40; i++)
    files.push_back({"s" + std::to_string(100 + i) + ".bmp", bmp(120, 30, (unsigned char)(5 * i))});
  Wide file = wide(writeComic("strips.cbz", files));
  openDocument(file.text);
  pump();
  ASSERT_NE(nullptr, documentState.comicArchive);
  // A zoom at which eleven pages from page 10 on are in sight: fewer the larger.
  double low = MIN_ZOOM, high = 4;
  for (int step = 0; step < 30 && visiblePages().size() != 11; step++) {
    double zoom = (low + high) / 2;
    zoomAt(0, 0, zoom);
    scrollTo(0, documentState.pageTops[10]);
    (visiblePages().size() > 11 ? low : high) = zoom;
  }
  std::vector<int> inSight = visiblePages();
  ASSERT_EQ(11u, inSight.size());
  ASSERT_EQ(10, inSight[0]);
  InvalidateRect(viewWindow, NULL, FALSE);
  UpdateWindow(viewWindow);
  for (int page : inSight) ASSERT_TRUE(contains(cachedPages(), page)) << page;
  EXPECT_EQ(1, idlePasses(30));
  std::vector<int> cached = cachedPages();
  for (int page : inSight) EXPECT_TRUE(contains(cached, page)) << "page " << page << " in sight was evicted";
  EXPECT_TRUE(contains(cached, 21));
}

// A page the worker cannot decode is tried once in the background, not at every
// idle pass.
TEST_F(Comics, FailedPrefetchIsNotRetried) {
  Wide file = wide(writeComic("broken.cbz", {{"a.bmp", bmp(100, 400, 60)}, {"b.png", brokenPng(100, 400)}}));
  openDocument(file.text);
  pump();
  ASSERT_NE(nullptr, documentState.comicArchive);
  UpdateWindow(viewWindow);
  ASSERT_EQ((std::vector<int>{0}), visiblePages());
  EXPECT_EQ(1, idlePasses(30));
  EXPECT_FALSE(contains(cachedPages(), 1));
}

// Page Down held while pages take longer to paint than the key repeats: the
// repeats that queue up behind a step not yet painted are dropped, so the view
// stops where it is when the key is let go and no page scrolled past is decoded.
// Separate presses each count, painted or not.
TEST_F(Comics, KeyRepeatsBehindAnUnpaintedStepAreDropped) {
  Wide file = wide(path);
  struct Case {
    const char* what;
    LPARAM keyData;
    int steps;   // of the 12 keys posted
  } cases[] = {
      {"held key: 12 repeats", 1 | (1 << 30), 1},
      {"12 separate presses", 1, 12},
  };
  for (const Case& c : cases) {
    openDocument(file.text);   // a fresh image cache
    pump();
    ASSERT_NE(nullptr, documentState.comicArchive);
    UpdateWindow(viewWindow);
    int step = viewState.viewHeight - MulDiv(48, dpiY, 96);
    for (int i = 0; i < 12; i++) PostMessageW(viewWindow, WM_KEYDOWN, VK_NEXT, c.keyData);
    std::vector<int> before = visiblePages();
    pump();
    EXPECT_EQ(c.steps * step, viewState.scrollY) << c.what;
    std::vector<int> after = visiblePages();
    idlePasses(4);
    pump();
    EXPECT_EQ(c.steps * step, viewState.scrollY) << c.what << ": still scrolling";
    for (int page : cachedPages())
      EXPECT_TRUE(contains(before, page) || contains(after, page) || page == after.back() + 1 || page + 1 == after[0])
          << c.what << ": page " << page << " was decoded";
  }
}

// Blocks on both sides of the size from which the program maps its own memory:
// zero-filled when asked, content kept across a resize either way, and every
// kind freed by the same call.
TEST(ComicMemory, BlocksKeepTheirContentAcrossEverySize) {
  const size_t sizes[] = {1, 4096, (2u << 20) - 17, 2u << 20, (3u << 20) + 5, 64u << 20};
  for (size_t size : sizes) {
    uint8_t* zeroed = (uint8_t*)allocZeroed(size);
    ASSERT_NE(nullptr, zeroed) << size;
    EXPECT_EQ(0u, (uintptr_t)zeroed % 16) << size;
    size_t nonzero = 0;
    for (size_t i = 0; i < size; i++) nonzero += zeroed[i] != 0;
    EXPECT_EQ(0u, nonzero) << size;
    for (size_t i = 0; i < size; i++) zeroed[i] = (uint8_t)(i * 13 + size);
    for (size_t other : sizes) {
      uint8_t* copy = (uint8_t*)allocBytes(size);
      ASSERT_NE(nullptr, copy);
      memcpy(copy, zeroed, size);
      uint8_t* resized = (uint8_t*)resizeBytes(copy, other);
      ASSERT_NE(nullptr, resized) << size << " -> " << other;
      EXPECT_EQ(0, memcmp(resized, zeroed, size < other ? size : other)) << size << " -> " << other;
      resized[other - 1] = 1;   // the whole new size is writable
      freeBytes(resized);
    }
    freeBytes(zeroed);
  }
  freeBytes(nullptr);
}
