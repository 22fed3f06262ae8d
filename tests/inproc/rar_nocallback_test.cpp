// A unrar.dll in the program's folder that lacks RARSetCallback: the reader
// cannot catch any data through it, so it treats the library as missing.
#include <windows.h>

#include "comics/archive/extract.h"
#include "comics/archive/memory.h"
#include "comics/pages.h"
#include "tests/inproc/gtest.h"
#include "tests/support/fakeunrar.h"

namespace {

const char16_t comicPath[] = u"C:\\comics\\scripted.cbr";

TEST(RarWithoutSetCallback, EveryOpenFailsAsIfTheLibraryWereMissing) {
  for (int attempt = 0; attempt < 2; attempt++) {
    int error = -1;
    EXPECT_EQ(nullptr, openArchive(RAR_ARCHIVE, comicPath, nullptr, 0, &error)) << attempt;
    EXPECT_EQ(OPEN_RAR_LIBRARY_MISSING, error) << attempt;
  }
  ArchiveEntry entry = {};
  entry.method = RAR_ON_DEMAND;
  entry.size = entry.storedSize = 100;
  entry.archivePath = comicPath;
  ExtractedBytes bytes;
  EXPECT_FALSE(extractEntry(&entry, 0, &bytes));
  EXPECT_EQ(nullptr, bytes.owned);

  // The library was found beside the program and stays loaded, but was never used.
  HMODULE module = GetModuleHandleW(L"unrar.dll");
  ASSERT_NE(nullptr, module);
  EXPECT_EQ(nullptr, GetProcAddress(module, "RARSetCallback"));
  FakeCounters* counters = ((FakeCountersProc)GetProcAddress(module, "fakeUnrarCounters"))();
  EXPECT_EQ(0, counters->opens);
  EXPECT_EQ(std::string(""), std::string(counters->log));
}

}   // namespace
