// Remembered archives: a reopen of an unchanged single-volume, non-solid
// archive answers headers and skips from what the first walk read, and starts
// a reader only to test an entry. It must give what a fresh walk gives, read
// a rewritten file anew, and not walk the archive again at every open.
#include "comics/unrar/rarcore.h"
#include "tests/support/tempfolder.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <zlib.h>
#include <algorithm>
#include <string>
#include <vector>

namespace {

const std::string samples = BRISA_SOURCE_DIR "/../shared/fixtures/rar/";
const uint64_t prefixBytes = 65536;   // the reader's sizing prefix

const size_t keptBytes = 4 << 20;   // beyond this only the count and CRC are kept

struct Sink {
  std::string data;
  uint64_t bytes = 0;
  uint32_t crc = 0;
  uint64_t stopAfterBytes = 0;   // 0: never stop
  void clear() {
    data.clear();
    bytes = 0;
    crc = 0;
  }
};

int collect(void* context, int message, const void* p1, uint64_t p2) {
  Sink* sink = (Sink*)context;
  if (message == RAR_CORE_MESSAGE_VOLUME) return p2 == RAR_CORE_VOLUME_FOUND ? 1 : -1;
  if (message == RAR_CORE_MESSAGE_PASSWORD) return -1;
  size_t kept = std::min((size_t)p2, keptBytes - sink->data.size());
  sink->data.append((const char*)p1, kept);
  sink->bytes += p2;
  sink->crc = (uint32_t)crc32(sink->crc, (const Bytef*)p1, (uInt)p2);
  return sink->stopAfterBytes && sink->bytes >= sink->stopAfterBytes ? -1 : 1;
}

struct Seen {
  std::u16string name;
  uint32_t flags;
  uint64_t size;
  uint64_t packed;
  uint32_t dosTime;
  int64_t unixTime;
  uint32_t mode;
  int result;
  std::string data;
  uint64_t bytes;
  uint32_t crc;
  bool operator==(const Seen& o) const {
    return name == o.name && flags == o.flags && size == o.size && packed == o.packed && dosTime == o.dosTime &&
           unixTime == o.unixTime && mode == o.mode && result == o.result && data == o.data && bytes == o.bytes &&
           crc == o.crc;
  }
};

struct Walk {
  int openResult = 0;
  uint32_t archiveFlags = 0;
  int last = 0;
  std::vector<Seen> seen;
  bool operator==(const Walk& o) const {
    return openResult == o.openResult && archiveFlags == o.archiveFlags && last == o.last && seen == o.seen;
  }
};

Seen seenOf(const RarEntryInfo& info, int result, const Sink& sink) {
  return {std::u16string(info.name),
          info.flags,
          info.unpackedSize,
          info.packedSize,
          info.dosTime,
          info.unixTime,
          info.mode,
          result,
          sink.data,
          sink.bytes,
          sink.crc};
}

// A stopped test: how far past the prefix it went depends on libarchive's blocks.
Seen seenOfPrefix(const RarEntryInfo& info, int result, const Sink& sink) {
  return {std::u16string(info.name),
          info.flags,
          info.unpackedSize,
          info.packedSize,
          info.dosTime,
          info.unixTime,
          info.mode,
          result,
          sink.data.substr(0, prefixBytes),
          0,
          0};
}

// Every header in one open, each entry tested (or skipped).
Walk walkAll(const std::string& path, bool test) {
  Walk walk;
  Sink sink;
  RarCore* core = rarCoreOpen(path.c_str(), collect, &sink, &walk.openResult, &walk.archiveFlags);
  if (!core) return walk;
  RarEntryInfo info;
  for (int guard = 0; guard < 1000; guard++) {
    walk.last = rarCoreReadHeader(core, &info);
    if (walk.last != RAR_CORE_OK) break;
    sink.clear();
    int result = rarCoreProcess(core, test ? RAR_CORE_TEST : RAR_CORE_SKIP);
    walk.seen.push_back(seenOf(info, result, sink));
  }
  rarCoreClose(core);
  return walk;
}

Walk walkTested(const std::string& path) {
  return walkAll(path, true);
}

// Opens path and skips count entries; null when that fails.
RarCore* openAfter(const std::string& path, Sink* sink, int count) {
  int result = 0;
  uint32_t flags = 0;
  RarCore* core = rarCoreOpen(path.c_str(), collect, sink, &result, &flags);
  RarEntryInfo info;
  for (int i = 0; core && i < count; i++) {
    if (rarCoreReadHeader(core, &info) != RAR_CORE_OK || rarCoreProcess(core, RAR_CORE_SKIP) != RAR_CORE_OK) {
      rarCoreClose(core);
      return nullptr;
    }
  }
  return core;
}

// The reader's listing: test each entry until 64 KiB arrived, and after a
// stopped test reopen and skip back past that entry.
Walk walkAsTheReader(const std::string& path) {
  Walk walk;
  Sink sink;
  sink.stopAfterBytes = prefixBytes;
  RarCore* core = rarCoreOpen(path.c_str(), collect, &sink, &walk.openResult, &walk.archiveFlags);
  RarEntryInfo info;
  for (int index = 0; core && index < 1000; index++) {
    walk.last = rarCoreReadHeader(core, &info);
    if (walk.last != RAR_CORE_OK) break;
    sink.clear();
    int result = rarCoreProcess(core, RAR_CORE_TEST);
    walk.seen.push_back(seenOfPrefix(info, result, sink));
    if (result == RAR_CORE_OK) continue;
    rarCoreClose(core);
    core = openAfter(path, &sink, index + 1);
  }
  rarCoreClose(core);
  return walk;
}

// The same walk with nothing remembered (and forgetting everything first).
template <typename Walker>
Walk freshly(Walker walker, const std::string& path) {
  rarCoreRememberArchives(false);
  Walk walk = walker(path);
  rarCoreRememberArchives(true);
  return walk;
}

bool makeRar(const std::string& arguments) {
  std::string command = "python3 '" BRISA_SOURCE_DIR "/scripts/makerar.py' " + arguments + " >/dev/null";
  return system(command.c_str()) == 0;
}

std::string readFile(const std::string& path) {
  std::string out;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return out;
  char buffer[65536];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, got);
  fclose(f);
  return out;
}

// An archive of count pages of pageSize bytes each, plus a directory.
std::string makePages(const TempFolder& folder, int format, int count, size_t pageSize, const std::string& name) {
  std::string arguments = "--format " + std::to_string(format) + " --dir pages '" + folder.path + "/" + name + "'";
  for (int i = 0; i < count; i++) {
    char page[32];
    snprintf(page, sizeof page, "page%03d.jpg", i);
    std::string file = folder.write(page, patternBytes(pageSize + (size_t)i * 7, (unsigned)(i + 1)));
    arguments += " 'pages/" + std::string(page) + "=" + file + "'";
  }
  return makeRar(arguments) ? folder.path + "/" + name : "";
}

RarCoreWork workSince(const RarCoreWork& start) {
  RarCoreWork now;
  rarCoreWorkSoFar(&now);
  return {now.readersStarted - start.readersStarted, now.bytesRead - start.bytesRead};
}

const int64_t defaultSettlingTime = 2000000000;

// These archives are written just before they are read: remember them anyway.
class Remembered : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    rarCoreSetSettlingTime(0);
  }
  void TearDown() override {
    rarCoreSetSettlingTime(defaultSettlingTime);
  }
};

TEST_P(Remembered, GivesWhatAFreshWalkGives) {
  TempFolder folder;
  std::string archive = makePages(folder, GetParam(), 12, 150 * 1000, "made.cbr");
  ASSERT_FALSE(archive.empty());
  Walk fresh = freshly(walkTested, archive);
  ASSERT_EQ(fresh.last, RAR_CORE_END_ARCHIVE);
  ASSERT_EQ(fresh.seen.size(), 13u);
  EXPECT_EQ(fresh.seen[3].data, patternBytes(150 * 1000 + 2 * 7, 3));
  Walk freshReader = freshly(walkAsTheReader, archive);
  EXPECT_TRUE(walkAsTheReader(archive) == freshReader);   // fills the record entry by entry
  EXPECT_TRUE(walkAsTheReader(archive) == freshReader);   // then from the record
  EXPECT_TRUE(walkTested(archive) == fresh);
  EXPECT_TRUE(freshly([](const std::string& p) { return walkAll(p, false); }, archive) == walkAll(archive, false));

  // One entry reached by skipping, as an extraction does.
  for (int index : {1, 7, 12}) {
    Sink sink;
    RarCore* core = openAfter(archive, &sink, index);
    ASSERT_NE(core, nullptr);
    RarEntryInfo info;
    ASSERT_EQ(rarCoreReadHeader(core, &info), RAR_CORE_OK);
    EXPECT_EQ(rarCoreProcess(core, RAR_CORE_TEST), RAR_CORE_OK);
    EXPECT_TRUE(seenOf(info, RAR_CORE_OK, sink) == fresh.seen[(size_t)index]);
    rarCoreClose(core);
  }
}

// Cut in the middle of the last page's data: the damage shows as it did.
TEST_P(Remembered, ACutArchiveFailsAsItDidFresh) {
  TempFolder folder;
  std::string archive = makePages(folder, GetParam(), 4, 100 * 1000, "whole.cbr");
  ASSERT_FALSE(archive.empty());
  std::string bytes = readFile(archive);
  std::string cut = folder.write("cut.cbr", bytes.substr(0, bytes.size() - 50 * 1000));
  for (bool test : {false, true}) {
    SCOPED_TRACE(test);
    auto walker = [test](const std::string& p) { return walkAll(p, test); };
    Walk fresh = freshly(walker, cut);
    EXPECT_NE(fresh.last, RAR_CORE_END_ARCHIVE);
    EXPECT_TRUE(walker(cut) == fresh);
    EXPECT_TRUE(walker(cut) == fresh);
  }
  Walk freshReader = freshly(walkAsTheReader, cut);
  EXPECT_TRUE(walkAsTheReader(cut) == freshReader);
  EXPECT_TRUE(walkAsTheReader(cut) == freshReader);
}

// Same size, other names and bytes: nothing of the old file may show.
TEST_P(Remembered, ARewrittenFileIsReadAgain) {
  TempFolder folder;
  std::string first = folder.write("first.jpg", patternBytes(90000, 11));
  std::string second = folder.write("second.jpg", patternBytes(90000, 12));
  std::string archive = folder.path + "/changing.cbr";
  std::string format = "--format " + std::to_string(GetParam()) + " '" + archive + "' ";
  ASSERT_TRUE(makeRar(format + "'aaaa.jpg=" + first + "'"));
  Walk before = walkTested(archive);
  ASSERT_EQ(before.seen.size(), 1u);
  EXPECT_TRUE(walkTested(archive) == before);
  size_t size = readFile(archive).size();
  ASSERT_TRUE(makeRar(format + "'bbbb.jpg=" + second + "'"));
  ASSERT_EQ(readFile(archive).size(), size);
  Walk after = walkTested(archive);
  ASSERT_EQ(after.seen.size(), 1u);
  EXPECT_EQ(after.seen[0].name, u"bbbb.jpg");
  EXPECT_EQ(after.seen[0].data, patternBytes(90000, 12));
  EXPECT_TRUE(after == freshly(walkTested, archive));
}

// The reader's listing costs about one prefix per page; reopening and
// skipping back costs nothing, and testing one entry costs one reader that
// reads about that entry only. A walk of every header at each open would
// read megabytes here.
TEST_P(Remembered, ReopeningAndSkippingDoesNotWalkTheArchive) {
  TempFolder folder;
  const int pages = 40;
  std::string archive = makePages(folder, GetParam(), pages, 100 * 1000, "work.cbr");
  ASSERT_FALSE(archive.empty());
  RarCoreWork start;
  rarCoreWorkSoFar(&start);
  Walk listing = walkAsTheReader(archive);
  ASSERT_EQ(listing.seen.size(), (size_t)pages + 1);
  RarCoreWork work = workSince(start);
  EXPECT_LE(work.readersStarted, (uint64_t)pages + 1);
  EXPECT_LE(work.bytesRead, (uint64_t)pages * 3 * prefixBytes);

  rarCoreWorkSoFar(&start);
  Sink sink;
  RarCore* core = openAfter(archive, &sink, pages + 1);
  ASSERT_NE(core, nullptr);
  RarEntryInfo info;
  EXPECT_EQ(rarCoreReadHeader(core, &info), RAR_CORE_END_ARCHIVE);
  rarCoreClose(core);
  work = workSince(start);
  EXPECT_EQ(work.readersStarted, 0u);
  EXPECT_EQ(work.bytesRead, 0u);

  rarCoreWorkSoFar(&start);
  core = openAfter(archive, &sink, pages);
  ASSERT_NE(core, nullptr);
  ASSERT_EQ(rarCoreReadHeader(core, &info), RAR_CORE_OK);
  EXPECT_EQ(rarCoreProcess(core, RAR_CORE_TEST), RAR_CORE_OK);
  EXPECT_EQ(sink.data, patternBytes(100 * 1000 + (pages - 1) * 7, pages));
  rarCoreClose(core);
  work = workSince(start);
  EXPECT_EQ(work.readersStarted, 1u);
  EXPECT_LE(work.bytesRead, 3 * prefixBytes);
}

// A file changed within the settling time might change again with the same
// times: it is read through a record for that open only.
TEST_P(Remembered, AFreshlyWrittenFileIsNotRememberedPastItsOpen) {
  rarCoreSetSettlingTime(defaultSettlingTime);
  TempFolder folder;
  std::string archive = makePages(folder, GetParam(), 5, 20 * 1000, "fresh.cbr");
  ASSERT_FALSE(archive.empty());
  Walk first = walkTested(archive);
  ASSERT_EQ(first.seen.size(), 6u);
  Sink sink;
  RarCoreWork start;
  rarCoreWorkSoFar(&start);
  RarCore* core = openAfter(archive, &sink, 6);
  ASSERT_NE(core, nullptr);
  rarCoreClose(core);
  EXPECT_GE(workSince(start).readersStarted, 1u);

  rarCoreSetSettlingTime(0);
  EXPECT_TRUE(walkTested(archive) == first);
  rarCoreWorkSoFar(&start);
  core = openAfter(archive, &sink, 6);
  ASSERT_NE(core, nullptr);
  rarCoreClose(core);
  EXPECT_EQ(workSince(start).readersStarted, 0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, Remembered, ::testing::Values(4, 5));

// The archiver's own archives (compressed, encrypted, damaged, volumes):
// remembered or not, every walk gives the same.
TEST(RememberedSamples, GiveWhatAFreshWalkGives) {
  DIR* folder = opendir(samples.c_str());
  if (!folder) GTEST_SKIP() << "no RAR samples at " << samples;
  std::vector<std::string> names;
  while (struct dirent* item = readdir(folder))
    if (strstr(item->d_name, ".rar")) names.push_back(item->d_name);
  closedir(folder);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    std::string path = samples + name;
    Walk fresh = freshly(walkTested, path);
    EXPECT_TRUE(walkTested(path) == fresh);
    EXPECT_TRUE(walkTested(path) == fresh);
    Walk freshReader = freshly(walkAsTheReader, path);
    EXPECT_TRUE(walkAsTheReader(path) == freshReader);
    EXPECT_TRUE(walkAsTheReader(path) == freshReader);
  }
}

}   // namespace
