// The RAR core against archives written by scripts/makerar.py (RAR 4 and 5,
// solid and not, volumes), and its probe, volume naming and UTF-16 names.
#include "comics/unrar/rarcore.h"
#include "comics/unrar/rarhelper.h"
#include "tests/support/tempfolder.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <errno.h>
#include <malloc.h>
#include <signal.h>
#include <sys/stat.h>
#include <zlib.h>
#include <chrono>
#include <string>
#include <vector>

namespace {

struct Sink {
  std::string data;
  long stopAfterBytes = -1;   // answer -1 once this many bytes arrived
  int volumesFound = 0;
  int volumesMissing = 0;
  int passwordAsks = 0;
  std::string replacement;   // offered when a volume is missing
};

int collect(void* context, int message, const void* p1, uint64_t p2) {
  Sink* sink = (Sink*)context;
  if (message == RAR_CORE_MESSAGE_VOLUME) {
    (p2 == RAR_CORE_VOLUME_FOUND ? sink->volumesFound : sink->volumesMissing)++;
    if (p2 == RAR_CORE_VOLUME_MISSING && !sink->replacement.empty() && sink->replacement.size() < RAR_PATH_CAPACITY) {
      strcpy((char*)p1, sink->replacement.c_str());
      return 1;
    }
    return p2 == RAR_CORE_VOLUME_FOUND ? 1 : -1;
  }
  if (message == RAR_CORE_MESSAGE_PASSWORD) {
    sink->passwordAsks++;
    return -1;
  }
  sink->data.append((const char*)p1, (size_t)p2);
  if (sink->stopAfterBytes >= 0 && (long)sink->data.size() >= sink->stopAfterBytes) return -1;
  return 1;
}

std::string utf8Of(const char16_t* name) {
  std::string out;
  for (size_t i = 0; name[i]; i++) {
    uint32_t c = name[i];
    if (c >= 0xD800 && c < 0xDC00 && name[i + 1]) c = 0x10000 + ((c - 0xD800) << 10) + (name[++i] - 0xDC00);
    if (c < 0x80) {
      out += (char)c;
    } else if (c < 0x800) {
      out += (char)(0xC0 | c >> 6);
      out += (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += (char)(0xE0 | c >> 12);
      out += (char)(0x80 | ((c >> 6) & 0x3F));
      out += (char)(0x80 | (c & 0x3F));
    } else {
      out += (char)(0xF0 | c >> 18);
      out += (char)(0x80 | ((c >> 12) & 0x3F));
      out += (char)(0x80 | ((c >> 6) & 0x3F));
      out += (char)(0x80 | (c & 0x3F));
    }
  }
  return out;
}

struct Listed {
  std::string name;
  uint32_t flags;
  uint64_t size;
  uint64_t packed;
  int result;   // of the test (or skip)
  std::string data;
};

// Reads every header and tests (or skips) each entry, as the reader does.
std::vector<Listed> listArchive(const std::string& path, bool test, int* last, uint32_t* archiveFlags, Sink* sink) {
  std::vector<Listed> out;
  int result = 0;
  uint32_t flags = 0;
  RarCore* core = rarCoreOpen(path.c_str(), collect, sink, &result, &flags);
  if (archiveFlags) *archiveFlags = flags;
  *last = result;
  if (!core) return out;
  RarEntryInfo info;
  for (int guard = 0; guard < 10000; guard++) {
    *last = rarCoreReadHeader(core, &info);
    if (*last != RAR_CORE_OK) break;
    sink->data.clear();
    int processed = rarCoreProcess(core, test ? RAR_CORE_TEST : RAR_CORE_SKIP);
    out.push_back({utf8Of(info.name), info.flags, info.unpackedSize, info.packedSize, processed, sink->data});
  }
  rarCoreClose(core);
  return out;
}

// Runs makerar.py; arguments are already quoted as needed.
bool makeRar(const std::string& arguments) {
  std::string command = "python3 '" BRISA_SOURCE_DIR "/scripts/makerar.py' " + arguments + " >/dev/null";
  return system(command.c_str()) == 0;
}

struct Contents {
  std::string small = patternBytes(10 * 1024, 1);
  std::string large = patternBytes(3 * 1024 * 1024, 2);
  std::string exact = patternBytes(65536, 3);
};

class MadeArchive : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(MadeArchive, ListsEveryEntryWithItsFlagsSizesAndBytes) {
  int format = std::get<0>(GetParam());
  bool solid = std::get<1>(GetParam());
  TempFolder folder;
  Contents contents;
  std::string small = folder.write("small.jpg", contents.small);
  std::string large = folder.write("large.png", contents.large);
  std::string exact = folder.write("exact.jpg", contents.exact);
  std::string archive = folder.path + "/made.cbr";
  ASSERT_TRUE(makeRar("--format " + std::to_string(format) + (solid ? " --solid" : "") + " --dir cover.jpg '" +
                      archive + "' '" + small + "' '" + large + "' 'sub/ét\xC3\xA9.jpg=" + exact + "'"));
  Sink sink;
  int last = 0;
  uint32_t flags = 0;
  std::vector<Listed> entries = listArchive(archive, true, &last, &flags, &sink);
  EXPECT_EQ(last, RAR_CORE_END_ARCHIVE);
  EXPECT_EQ((flags & RAR_CORE_ARCHIVE_SOLID) != 0, solid);
  EXPECT_EQ(flags & RAR_CORE_ARCHIVE_VOLUME, 0u);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, "cover.jpg");
  EXPECT_EQ(entries[0].flags & RAR_CORE_ENTRY_DIRECTORY, (uint32_t)RAR_CORE_ENTRY_DIRECTORY);
  EXPECT_EQ(entries[0].result, RAR_CORE_OK);
  EXPECT_EQ(entries[1].name, "small.jpg");
  EXPECT_EQ(entries[2].name, "large.png");
  EXPECT_EQ(entries[3].name, "sub/\xC3\xA9t\xC3\xA9.jpg");
  const std::string* expected[] = {nullptr, &contents.small, &contents.large, &contents.exact};
  for (int i = 1; i < 4; i++) {
    SCOPED_TRACE(entries[i].name);
    EXPECT_EQ(entries[i].flags & (RAR_CORE_ENTRY_DIRECTORY | RAR_CORE_ENTRY_ENCRYPTED), 0u);
    EXPECT_EQ(entries[i].flags & RAR_CORE_ENTRY_SOLID, solid && i > 1 ? (uint32_t)RAR_CORE_ENTRY_SOLID : 0u);
    EXPECT_EQ(entries[i].size, expected[i]->size());
    EXPECT_EQ(entries[i].packed, expected[i]->size());   // stored
    EXPECT_EQ(entries[i].result, RAR_CORE_OK);
    EXPECT_TRUE(entries[i].data == *expected[i]);
  }
}

INSTANTIATE_TEST_SUITE_P(FormatsAndSolidity, MadeArchive,
                         ::testing::Combine(::testing::Values(4, 5), ::testing::Bool()));

class MadeFormat : public ::testing::TestWithParam<int> {};

// A -1 from the callback stops the entry with a nonzero result; the next
// header is still there (the reader reopens anyway, but nothing may hang).
TEST_P(MadeFormat, CallbackStopEndsTheEntryWithAFailure) {
  TempFolder folder;
  std::string large = folder.write("large.png", patternBytes(3 * 1024 * 1024, 4));
  std::string small = folder.write("small.png", patternBytes(100, 5));
  std::string archive = folder.path + "/stop.cbr";
  ASSERT_TRUE(makeRar("--format " + std::to_string(GetParam()) + " '" + archive + "' '" + large + "' '" + small + "'"));
  int result = 0;
  uint32_t flags = 0;
  Sink sink;
  sink.stopAfterBytes = 65536;
  RarCore* core = rarCoreOpen(archive.c_str(), collect, &sink, &result, &flags);
  ASSERT_NE(core, nullptr);
  RarEntryInfo info;
  ASSERT_EQ(rarCoreReadHeader(core, &info), RAR_CORE_OK);
  EXPECT_NE(rarCoreProcess(core, RAR_CORE_TEST), RAR_CORE_OK);
  EXPECT_GE(sink.data.size(), 65536u);
  EXPECT_LT(sink.data.size(), 3u * 1024 * 1024);
  EXPECT_EQ(sink.data, patternBytes(3 * 1024 * 1024, 4).substr(0, sink.data.size()));
  ASSERT_EQ(rarCoreReadHeader(core, &info), RAR_CORE_OK);
  EXPECT_EQ(utf8Of(info.name), "small.png");
  EXPECT_EQ(rarCoreProcess(core, RAR_CORE_EXTRACT), RAR_CORE_CREATE_FAILED);   // nothing is ever written
  EXPECT_EQ(rarCoreReadHeader(core, &info), RAR_CORE_END_ARCHIVE);
  EXPECT_EQ(rarCoreReadHeader(core, &info), RAR_CORE_END_ARCHIVE);
  rarCoreClose(core);
}

// Volumes found beside the first are announced; a missing one is asked for,
// and refusing it fails the entry that needs it.
TEST_P(MadeFormat, VolumesAreAnnouncedAndAMissingOneFailsTheEntry) {
  TempFolder folder;
  std::string bytes = patternBytes(2500 * 1000, 6);
  std::string large = folder.write("large.png", bytes);
  std::string archive = folder.path + "/vol.cbr";
  ASSERT_TRUE(
      makeRar("--format " + std::to_string(GetParam()) + " --volume-size 1000000 '" + archive + "' '" + large + "'"));
  Sink sink;
  int last = 0;
  uint32_t flags = 0;
  std::vector<Listed> entries = listArchive(folder.path + "/vol.part1.cbr", true, &last, &flags, &sink);
  EXPECT_EQ(flags & (RAR_CORE_ARCHIVE_VOLUME | RAR_CORE_ARCHIVE_FIRST_VOLUME),
            (uint32_t)(RAR_CORE_ARCHIVE_VOLUME | RAR_CORE_ARCHIVE_FIRST_VOLUME));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].result, RAR_CORE_OK);
  EXPECT_TRUE(entries[0].data == bytes);
  EXPECT_EQ(sink.volumesFound, 2);
  EXPECT_EQ(sink.volumesMissing, 0);

  ASSERT_EQ(unlink((folder.path + "/vol.part3.cbr").c_str()), 0);
  Sink partial;
  entries = listArchive(folder.path + "/vol.part1.cbr", true, &last, &flags, &partial);
  ASSERT_GE(entries.size(), 1u);
  EXPECT_NE(entries[0].result, RAR_CORE_OK);
  EXPECT_EQ(partial.volumesMissing, 1);
  EXPECT_NE(last, RAR_CORE_OK);
}

INSTANTIATE_TEST_SUITE_P(Formats, MadeFormat, ::testing::Values(4, 5));

// RAR 4 volumes of the old naming (x.cbr, x.c00, x.c01), and a missing volume
// that the callback points to under another name.
TEST(RarVolumes, OldNamesAndAVolumeFoundElsewhere) {
  TempFolder folder;
  std::string bytes = patternBytes(2500 * 1000, 10);
  std::string large = folder.write("large.png", bytes);
  ASSERT_TRUE(makeRar("--format 4 --volume-size 1000000 --old-names '" + folder.path + "/old.cbr' '" + large + "'"));
  Sink sink;
  int last = 0;
  uint32_t flags = 0;
  std::vector<Listed> entries = listArchive(folder.path + "/old.cbr", true, &last, &flags, &sink);
  EXPECT_EQ(flags & RAR_CORE_ARCHIVE_NEW_NUMBERING, 0u);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].data == bytes);
  EXPECT_EQ(sink.volumesFound, 2);

  std::string moved = folder.path + "/moved.c01";
  ASSERT_EQ(rename((folder.path + "/old.c01").c_str(), moved.c_str()), 0);
  Sink asked;
  asked.replacement = moved;
  entries = listArchive(folder.path + "/old.cbr", true, &last, &flags, &asked);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(asked.volumesMissing, 1);
  EXPECT_EQ(entries[0].result, RAR_CORE_OK);
  EXPECT_TRUE(entries[0].data == bytes);
}

// A solid RAR 4 archive is unpacked by one helper run per open. A run that
// misbehaves (stalls, floods, trickles, ends early) fails the archive within
// its limits, leaves no process behind, and is never asked again.
class SolidRar4Helper : public ::testing::Test {
 protected:
  TempFolder folder;
  std::string archive;
  std::string first = patternBytes(1 << 20, 7);
  void SetUp() override {
    archive = folder.path + "/solid.cbr";
    std::string a = folder.write("a.jpg", first);
    std::string b = folder.write("b.jpg", patternBytes(5000, 8));
    ASSERT_TRUE(makeRar("--format 4 --solid '" + archive + "' '" + a + "' '" + b + "'"));
  }
  void TearDown() override {
    rarHelperSetProgram(nullptr, 0, 0);
  }
  // A stand-in for the helper: a shell script that notes its process id.
  std::string fakeHelper(const std::string& name, const std::string& body) {
    std::string path =
        folder.write(name, "#!/bin/sh\necho $$ > '" + folder.path + "/" + name + ".pid'\n" + body + "\n");
    chmod(path.c_str(), 0755);
    return path;
  }
  pid_t helperProcess(const std::string& name) {
    FILE* f = fopen((folder.path + "/" + name + ".pid").c_str(), "r");
    int pid = 0;
    if (f) {
      if (fscanf(f, "%d", &pid) != 1) pid = 0;
      fclose(f);
    }
    return (pid_t)pid;
  }
};

TEST_F(SolidRar4Helper, AMisbehavingRunFailsTheArchiveWithinItsLimits) {
  struct Case {
    const char* name;
    const char* body;
    int stall, total;
  };
  const Case cases[] = {
      {"stalls", "exec sleep 30", 300, 20000},
      {"floods", "exec cat /dev/zero", 300, 20000},
      {"trickles", "while :; do printf x; sleep 0.05; done", 1000, 800},
      {"ends-early", "printf abc", 300, 20000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rarHelperSetProgram(fakeHelper(c.name, c.body).c_str(), c.stall, c.total);
    Sink sink;
    int result = 0;
    uint32_t flags = 0;
    auto start = std::chrono::steady_clock::now();
    RarCore* core = rarCoreOpen(archive.c_str(), collect, &sink, &result, &flags);
    ASSERT_NE(core, nullptr);
    RarEntryInfo info;
    ASSERT_EQ(rarCoreReadHeader(core, &info), RAR_CORE_OK);
    EXPECT_EQ(rarCoreProcess(core, RAR_CORE_TEST), RAR_CORE_BAD_DATA);
    EXPECT_LE(sink.data.size(), first.size()) << "never more than the header announces";
    EXPECT_EQ(rarCoreReadHeader(core, &info), RAR_CORE_BAD_DATA) << "a failed run is not asked again";
    rarCoreClose(core);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 3.0);
    pid_t pid = helperProcess(c.name);
    ASSERT_GT(pid, 0) << "the stand-in ran";
    EXPECT_TRUE(kill(pid, 0) == -1 && errno == ESRCH) << "the run is killed and reaped";
  }
}

// Without the helper, and for solid RAR 4 volumes (not read that way), the
// open fails as damaged rather than giving the files before the first solid one.
TEST_F(SolidRar4Helper, WhatCannotBeUnpackedIsDamagedNotShownInPart) {
  std::string volumes = folder.path + "/volumes.cbr";
  ASSERT_TRUE(makeRar("--format 4 --solid --volume-size 600000 '" + volumes + "' '" + folder.path + "/a.jpg' '" +
                      folder.path + "/b.jpg'"));
  struct Case {
    const char* name;
    const char* helper;
    std::string path;
  };
  const Case cases[] = {
      {"no helper", "/nonexistent/unar", archive},
      {"volumes", nullptr, folder.path + "/volumes.part1.cbr"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rarHelperSetProgram(c.helper, 0, 0);
    int result = 0;
    uint32_t flags = 0;
    EXPECT_EQ(rarCoreOpen(c.path.c_str(), collect, nullptr, &result, &flags), nullptr);
    EXPECT_EQ(result, RAR_CORE_BAD_ARCHIVE);
  }
}

// Changes one byte of the second file's header (after a.jpg), its CRC kept right.
bool patchSecondHeader(const std::string& archive, size_t firstSize, size_t at, uint8_t bits) {
  FILE* f = fopen(archive.c_str(), "r+b");
  if (!f) return false;
  std::string bytes(firstSize + 8192, 0);
  bytes.resize(fread(&bytes[0], 1, bytes.size(), f));
  size_t second = 20 + (uint8_t)bytes[25] + ((uint8_t)bytes[26] << 8) + firstSize;
  bool ok = second + 32 < bytes.size();
  if (ok) {
    uint8_t* head = (uint8_t*)&bytes[second];
    head[at] ^= bits;
    size_t size = head[5] | (head[6] << 8);
    uint32_t crc = (uint32_t)crc32(0, head + 2, (uInt)size - 2);
    head[0] = (uint8_t)crc;
    head[1] = (uint8_t)(crc >> 8);
    ok = fseek(f, (long)second, SEEK_SET) == 0 && fwrite(head, 1, size, f) == size;
  }
  fclose(f);
  return ok;
}

// A header that lies about its file's size: the real helper's bytes do not
// match it, and the entry fails instead of shifting every later one.
TEST_F(SolidRar4Helper, AnEntryWhoseBytesDoNotMatchItsHeaderFails) {
  if (access("/usr/bin/unar", X_OK) != 0) GTEST_SKIP() << "unar is not installed";
  ASSERT_TRUE(patchSecondHeader(archive, first.size(), 12, 0x01));   // the unpacked size, 256 bytes off
  Sink sink;
  int last = 0;
  std::vector<Listed> entries = listArchive(archive, true, &last, nullptr, &sink);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].result, RAR_CORE_OK);
  EXPECT_TRUE(entries[0].data == first);
  EXPECT_EQ(entries[1].result, RAR_CORE_BAD_DATA);
  EXPECT_EQ(last, RAR_CORE_BAD_DATA);
}

// The helper would refuse the whole archive without the password: it is asked
// for the files before the first encrypted one only, which still open.
TEST_F(SolidRar4Helper, FilesBeforeAnEncryptedOneAreUnpacked) {
  if (access("/usr/bin/unar", X_OK) != 0) GTEST_SKIP() << "unar is not installed";
  ASSERT_TRUE(patchSecondHeader(archive, first.size(), 3, 0x04));   // the password flag
  Sink sink;
  int last = 0;
  std::vector<Listed> entries = listArchive(archive, true, &last, nullptr, &sink);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].result, RAR_CORE_OK);
  EXPECT_TRUE(entries[0].data == first);
  EXPECT_EQ(entries[1].flags & RAR_CORE_ENTRY_ENCRYPTED, (uint32_t)RAR_CORE_ENTRY_ENCRYPTED);
  EXPECT_EQ(entries[1].result, RAR_CORE_MISSING_PASSWORD);
  EXPECT_EQ(sink.passwordAsks, 1);
}

// The helper reads the archive through the descriptor the headers came
// from: a path that is not UTF-8 (which unar cannot take) still unpacks.
TEST_F(SolidRar4Helper, APathThatIsNotUtf8StillUnpacks) {
  if (access("/usr/bin/unar", X_OK) != 0) GTEST_SKIP() << "unar is not installed";
  std::string odd = folder.path + "/odd\xff.cbr";
  ASSERT_EQ(rename(archive.c_str(), odd.c_str()), 0);
  Sink sink;
  int last = 0;
  std::vector<Listed> entries = listArchive(odd, true, &last, nullptr, &sink);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].result, RAR_CORE_OK);
  EXPECT_TRUE(entries[0].data == first);
  EXPECT_EQ(entries[1].result, RAR_CORE_OK);
  EXPECT_EQ(last, RAR_CORE_END_ARCHIVE);
}

// A solid RAR 4 of more entries than the reader would ever keep: the header
// walk stops at the cap, and each name costs its length, not a fixed buffer.
TEST(SolidRar4Headers, ManyEntriesStopAtTheCapInLittleMemory) {
  TempFolder folder;
  std::string archive = folder.path + "/many.cbr";
  std::string script = "import sys; sys.path.insert(0, '" BRISA_SOURCE_DIR
                       "/scripts'); import makerar; "
                       "makerar.write_archive('" +
                       archive + "', [('p%06d.jpg' % i, b'') for i in range(100050)], 4, True)";
  ASSERT_EQ(system(("python3 -c \"" + script + "\"").c_str()), 0);
  size_t before = mallinfo2().uordblks;
  int result = 0;
  uint32_t flags = 0;
  RarCore* core = rarCoreOpen(archive.c_str(), nullptr, nullptr, &result, &flags);
  ASSERT_NE(core, nullptr);
  EXPECT_LT(mallinfo2().uordblks - before, (size_t)16 << 20);
  RarEntryInfo info;
  int headers = 0;
  while (rarCoreReadHeader(core, &info) == RAR_CORE_OK && headers <= 200000) {
    headers++;
    rarCoreProcess(core, RAR_CORE_SKIP);
  }
  EXPECT_EQ(headers, 100000);
  EXPECT_EQ(rarCoreReadHeader(core, &info), RAR_CORE_BAD_DATA);
  rarCoreClose(core);
}

TEST(RarProbe, ReadsArchiveFlagsAndRejectsDamage) {
  TempFolder folder;
  std::string file = folder.write("a.jpg", "abc");
  for (int format : {4, 5}) {
    SCOPED_TRACE(format);
    std::string archive = folder.path + "/p" + std::to_string(format) + ".cbr";
    ASSERT_TRUE(makeRar("--format " + std::to_string(format) + " --solid '" + archive + "' '" + file + "'"));
    FILE* f = fopen(archive.c_str(), "rb");
    uint8_t bytes[256];
    size_t length = fread(bytes, 1, sizeof bytes, f);
    fclose(f);
    uint32_t flags = 0;
    EXPECT_EQ(rarProbeArchive(bytes, length, &flags), RAR_CORE_OK);
    EXPECT_EQ(flags, (uint32_t)RAR_CORE_ARCHIVE_SOLID);
    size_t mainHeaderEnd = format == 4 ? 7 + 13 : 8 + 4 + 1 + 3;
    EXPECT_EQ(rarProbeArchive(bytes, mainHeaderEnd - 1, &flags), RAR_CORE_BAD_ARCHIVE);   // cut short
    bytes[mainHeaderEnd - 1] ^= 0x40;                                                     // CRC no longer matches
    EXPECT_EQ(rarProbeArchive(bytes, length, &flags), RAR_CORE_BAD_ARCHIVE);
  }
  uint32_t flags = 0;
  EXPECT_EQ(rarProbeArchive((const uint8_t*)"PK\3\4", 4, &flags), RAR_CORE_BAD_ARCHIVE);
  EXPECT_EQ(rarProbeArchive((const uint8_t*)"RE~^xxxx", 8, &flags), RAR_CORE_UNKNOWN_FORMAT);
  // RAR 5 headers encrypted: an encryption header (type 4) comes first.
  uint8_t encrypted[] = {'R', 'a', 'r', '!', 0x1A, 7, 1, 0, 0, 0, 0, 0, 2, 4, 0};
  uint32_t crc = (uint32_t)crc32(0, encrypted + 12, 3);
  for (int i = 0; i < 4; i++) encrypted[8 + i] = (uint8_t)(crc >> (8 * i));
  EXPECT_EQ(rarProbeArchive(encrypted, sizeof encrypted, &flags), RAR_CORE_OK);
  EXPECT_EQ(flags, (uint32_t)RAR_CORE_ARCHIVE_ENCRYPTED_HEADERS);
}

TEST(RarVolumeNames, FollowBothNumberings) {
  struct Case {
    const char* path;
    bool newNumbering;
    const char* next;
  };
  static const Case cases[] = {
      {"/a/b.part1.rar", true, "/a/b.part2.rar"},
      {"/a/b.part9.cbr", true, "/a/b.part10.cbr"},
      {"/a/b.part09.rar", true, "/a/b.part10.rar"},
      {"/a/b.part0001.rar", true, "/a/b.part0002.rar"},
      {"/a/b.rar", false, "/a/b.r00"},
      {"/a/b.r00", false, "/a/b.r01"},
      {"/a/b.r99", false, "/a/b.s00"},
      {"/a/b.cbr", false, "/a/b.c00"},
      {"/a/1b.rar", true, "/a/2b.rar"},
  };
  char out[64];
  for (const Case& c : cases) {
    ASSERT_TRUE(rarNextVolumeName(c.path, c.newNumbering, out, sizeof out)) << c.path;
    EXPECT_STREQ(out, c.next);
  }
  EXPECT_FALSE(rarNextVolumeName("/a1/b.rar", true, out, sizeof out));   // no digit in the name itself
  EXPECT_FALSE(rarNextVolumeName("/a/b.part9.rar", true, out, 15));      // no room for part10
}

TEST(RarNames, Utf8BecomesUtf16WithinCapacity) {
  char16_t out[8];
  EXPECT_EQ(rarUtf8ToUtf16("a\xF0\x9F\x91\x8B"
                           "b",
                           out, 8),
            4u);   // U+1F44B: a surrogate pair
  EXPECT_EQ(out[1], 0xD83D);
  EXPECT_EQ(out[2], 0xDC4B);
  EXPECT_EQ(out[3], u'b');
  EXPECT_EQ(rarUtf8ToUtf16("\xC3(\xED\xA0\x80", out, 8), 5u);   // stray lead, surrogate as UTF-8
  EXPECT_EQ(out[0], 0xFFFD);
  EXPECT_EQ(out[1], u'(');
  EXPECT_EQ(out[2], 0xFFFD);
  EXPECT_EQ(out[4], 0xFFFD);
  EXPECT_EQ(rarUtf8ToUtf16("abc\xF0\x9F\x91\x8B", out, 5), 3u);   // the pair does not fit: left out
  EXPECT_EQ(out[3], 0);
}

}   // namespace
