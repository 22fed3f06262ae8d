// Entry extraction: stored entries borrowed, deflated ones inflated whole or as a
// prefix (checked against zlib's own raw deflate), and the refusals.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <string>

#include "comics/archive/extract.h"
#include "comics/archive/memory.h"
#include "tests/support/rawdeflate.h"
#include "tests/support/tempfolder.h"

namespace {

// Raw DEFLATE (no zlib header) of `data`, as a ZIP entry stores it.
std::string deflateRaw(const std::string& data) {
  std::string out = rawDeflate(data);
  EXPECT_FALSE(out.empty()) << "zlib failed";
  return out;
}

// The entry borrows `stored`, which must outlive it.
ArchiveEntry entryOf(const std::string& stored, uint64_t size, int32_t method) {
  ArchiveEntry entry = ArchiveEntry();
  entry.data = (const uint8_t*)stored.data();
  entry.storedSize = stored.size();
  entry.size = size;
  entry.method = method;
  return entry;
}

std::string text(const ExtractedBytes& bytes) {
  return std::string((const char*)bytes.bytes, bytes.length);
}

std::string sample() {
  std::string s;
  for (int i = 0; i < 200000; i++) s += (char)("comic page "[i % 11] ^ (i >> 9));
  return s;
}

TEST(ComicsExtract, StoredEntriesAreBorrowedUpToTheirStoredBytes) {
  std::string data = "0123456789";
  ArchiveEntry entry = entryOf(data, 10, STORED);
  struct Case {
    uint64_t limit;
    uint64_t length;
  };
  for (Case c : {Case{0, 10}, Case{4, 4}, Case{10, 10}, Case{99, 10}}) {
    ExtractedBytes bytes;
    ASSERT_TRUE(extractEntry(&entry, c.limit, &bytes));
    EXPECT_EQ(bytes.bytes, entry.data);
    EXPECT_EQ(bytes.owned, nullptr);
    EXPECT_EQ(bytes.length, c.length);
  }
  // A directory claiming more than is stored never lends more than is there.
  ArchiveEntry claims = entryOf(data, 1000, STORED);
  ExtractedBytes bytes;
  ASSERT_TRUE(extractEntry(&claims, 500, &bytes));
  EXPECT_EQ(bytes.length, 10u);
}

TEST(ComicsExtract, DeflatedEntriesInflateWholeOrAsAPrefix) {
  std::string original = sample();
  std::string packed = deflateRaw(original);
  ArchiveEntry entry = entryOf(packed, original.size(), DEFLATED);
  for (uint64_t limit :
       {0ull, 1ull, 65536ull, (unsigned long long)original.size() - 1, (unsigned long long)original.size() + 5}) {
    ExtractedBytes bytes;
    ASSERT_TRUE(extractEntry(&entry, limit, &bytes)) << limit;
    ASSERT_NE(bytes.owned, nullptr);
    uint64_t expected = (limit == 0 || limit >= original.size()) ? original.size() : limit;
    EXPECT_EQ(text(bytes), original.substr(0, expected)) << limit;
    releaseExtractedBytes(&bytes);
    EXPECT_EQ(bytes.owned, nullptr);
  }
  // A stored size that undersells the entry: the prefix asked for still comes back.
  ArchiveEntry small = entryOf(packed, 100, DEFLATED);
  ExtractedBytes bytes;
  ASSERT_TRUE(extractEntry(&small, 0, &bytes));
  EXPECT_EQ(text(bytes), original.substr(0, 100));
  releaseExtractedBytes(&bytes);
}

TEST(ComicsExtract, RefusedEntries) {
  std::string packed = deflateRaw("abc");
  std::string nothing = deflateRaw("");
  std::string damaged = "\xFF\xFF\xFF\xFF", truncated = packed.substr(0, 1), bzip2 = "BZh91AY";
  struct Case {
    const char* why;
    ArchiveEntry entry;
    uint64_t limit;
  };
  const Case cases[] = {
      {"over 512 MiB even for a prefix", entryOf(packed, 0x20000001, DEFLATED), 3},
      {"inflates to nothing", entryOf(nothing, 0, DEFLATED), 0},
      {"inflates to nothing, size claimed", entryOf(nothing, 50, DEFLATED), 0},
      {"damaged data", entryOf(damaged, 50, DEFLATED), 0},
      {"truncated data", entryOf(truncated, 3, DEFLATED), 0},
      {"bzip2", entryOf(bzip2, 3, 12), 0},
      {"RAR entry without the RAR reader", entryOf(nothing, 3, RAR_ON_DEMAND), 0},
  };
  for (const Case& c : cases) {
    ExtractedBytes bytes;
    EXPECT_FALSE(extractEntry(&c.entry, c.limit, &bytes)) << c.why;
    EXPECT_EQ(bytes.bytes, nullptr) << c.why;
    EXPECT_EQ(bytes.owned, nullptr) << c.why;
  }
  // Exactly 512 MiB is allowed: its 3-byte prefix inflates.
  ArchiveEntry largest = entryOf(packed, 0x20000000, DEFLATED);
  ExtractedBytes bytes;
  ASSERT_TRUE(extractEntry(&largest, 3, &bytes));
  EXPECT_EQ(text(bytes), "abc");
  releaseExtractedBytes(&bytes);
}

TEST(ComicsExtract, NoMemoryForTheBufferFails) {
  std::string packed = deflateRaw("abc");
  ArchiveEntry entry = entryOf(packed, 3, DEFLATED);
  ExtractedBytes bytes;
  failNthAllocation(0);
  EXPECT_FALSE(extractEntry(&entry, 0, &bytes));
  failNthAllocation(-1);
  EXPECT_TRUE(extractEntry(&entry, 0, &bytes));
  releaseExtractedBytes(&bytes);
}

}   // namespace

// The pages of a mapped comic file that were read leave the process's resident
// memory when released, and read back the same.
TEST(MappedPages, ReleasedPagesLeaveTheProcessAndReadBackTheSame) {
  TempFolder folder;
  const size_t size = 16 << 20;
  std::string bytes = patternBytes(size, 7);
  std::string path = folder.write("comic.cbz", bytes);
  int fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  fdatasync(fd);   // clean pages, which the system may take back at once
  const uint8_t* view = (const uint8_t*)mmap(NULL, size, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  ASSERT_NE(view, MAP_FAILED);
  auto residentKiB = [] {
    long total = 0, resident = 0;
    FILE* f = fopen("/proc/self/statm", "r");
    if (f && fscanf(f, "%ld %ld", &total, &resident) != 2) resident = 0;
    if (f) fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
  };
  volatile unsigned sum = 0;   // every page read, not optimised away
  for (size_t i = 0; i < size; i += 4096) sum += view[i];
  long touched = residentKiB();
  releaseMappedPages(view + 1, size - 1);   // an unaligned start keeps its first page
  long released = residentKiB();
  EXPECT_GT(touched - released, 12 << 10) << "KiB resident before " << touched << ", after " << released;
  EXPECT_EQ(0, memcmp(view, bytes.data(), size));
  munmap((void*)view, size);
}

// Pages written in a private writable mapping of the file are the process's
// own: letting them go would drop what was written and bring the file back.
TEST(MappedPages, WrittenPagesOfAPrivateWritableMappingAreKept) {
  TempFolder folder;
  const size_t size = 1 << 20;
  std::string path = folder.write("comic.cbz", patternBytes(size, 3));
  int fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  uint8_t* view = (uint8_t*)mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
  close(fd);
  ASSERT_NE(view, MAP_FAILED);
  memset(view, 0x5A, size);
  releaseMappedPages(view, size);
  EXPECT_EQ(0x5A, view[0]);
  EXPECT_EQ(0x5A, view[size - 1]);
  munmap(view, size);
}

// A comic's own file, watched: its entries are copied out, never lent from the
// view (which may lose its bytes when the file is cut), and a prefix whose first
// try of input is too short is inflated again from the whole entry.
TEST(WatchedFile, EntriesAreCopiedAndAShortPrefixInputIsRetried) {
  std::string payload = sample();
  std::string empties;
  for (int i = 0; i < 3000; i++) empties += std::string("\x00\x00\x00\xFF\xFF", 5);   // empty stored blocks
  std::string deflated = empties + deflateRaw(payload);
  std::string file = "0123456789" + deflated;
  struct Case {
    uint64_t offset, storedSize, size, limit;
    int32_t method;
    bool extracted;
    std::string expected;
    const char* why;
  };
  const Case cases[] = {
      {0, 10, 10, 0, STORED, true, "0123456789", "stored, whole"},
      {2, 8, 8, 3, STORED, true, "234", "stored, a prefix"},
      {10, deflated.size(), payload.size(), 4096, DEFLATED, true, payload.substr(0, 4096), "15,000 bytes before data"},
      {10, deflated.size(), payload.size(), 0, DEFLATED, true, payload, "deflated, whole"},
      {4, file.size(), file.size(), 0, STORED, false, "", "runs past the file's end"},
  };
  watchMappedFile(file.data(), file.size(), NULL);
  for (const Case& c : cases) {
    ArchiveEntry entry = ArchiveEntry();
    entry.data = (const uint8_t*)file.data() + c.offset;
    entry.storedSize = c.storedSize;
    entry.size = c.size;
    entry.method = c.method;
    ExtractedBytes bytes;
    EXPECT_EQ(c.extracted, extractEntry(&entry, c.limit, &bytes)) << c.why;
    if (c.extracted) EXPECT_NE(nullptr, bytes.owned) << c.why;
    EXPECT_TRUE(text(bytes) == c.expected) << c.why;
    releaseExtractedBytes(&bytes);
  }
  watchMappedFile(NULL, 0, NULL);
}

// A comic still open stays read from its file while another opens: the decode
// worker may be at one of its pages.
TEST(WatchedFiles, TheOpenComicStaysWatchedWhileAnotherOpens) {
  static const uint8_t shown[8] = {0}, next[8] = {0};
  watchMappedFile(shown, 8, NULL);
  watchOpeningFile(next, 8, NULL);
  EXPECT_TRUE(inWatchedFile(shown + 7));
  EXPECT_TRUE(inWatchedFile(next));
  watchMappedFile(next, 8, NULL);   // taken in the old one's place
  EXPECT_FALSE(inWatchedFile(shown));
  EXPECT_TRUE(inWatchedFile(next + 7));
  EXPECT_FALSE(inWatchedFile(next + 8));
  watchMappedFile(NULL, 0, NULL);
}
