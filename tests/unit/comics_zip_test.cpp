// The ZIP directory reader on archives written field by field (end records, ZIP64
// records, central records, extra blocks, local headers), on hostile ones, and on
// archives made by Debian's zip.
#include <gtest/gtest.h>
#include <iconv.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "comics/archive/archive.h"
#include "comics/archive/extract.h"
#include "comics/archive/memory.h"
#include "comics/archive/zip.h"

namespace {

// Little-endian fields appended one by one.
struct Bytes {
  std::string s;
  Bytes& u16(uint64_t v) {
    for (int i = 0; i < 2; i++) s += (char)(v >> (8 * i));
    return *this;
  }
  Bytes& u32(uint64_t v) {
    for (int i = 0; i < 4; i++) s += (char)(v >> (8 * i));
    return *this;
  }
  Bytes& u64(uint64_t v) {
    for (int i = 0; i < 8; i++) s += (char)(v >> (8 * i));
    return *this;
  }
  Bytes& raw(const std::string& bytes) {
    s += bytes;
    return *this;
  }
};

void localHeader(Bytes& b, const std::string& name, uint32_t method) {
  b.raw("PK\x03\x04").u16(20).u16(0).u16(method).u16(0).u16(0).u32(0);   // version..CRC
  b.u32(0).u32(0).u16(name.size()).u16(0).raw(name);                     // sizes ignored
}

struct Central {
  std::string name;
  uint64_t offset;   // local header
  uint64_t compressed, uncompressed;
  uint32_t method, flags;
  std::string extra, comment;
};

Central central(const std::string& name, uint64_t offset, uint64_t compressed, uint64_t uncompressed,
                uint32_t method = 0, uint32_t flags = 0, const std::string& extra = "") {
  return Central{name, offset, compressed, uncompressed, method, flags, extra, ""};
}

void centralRecord(Bytes& b, const Central& c) {
  b.raw("PK\x01\x02").u16(20).u16(20).u16(c.flags).u16(c.method);   // made by, needed
  b.u16(0).u16(0).u32(0);                                           // time, date, CRC
  b.u32(c.compressed).u32(c.uncompressed);
  b.u16(c.name.size()).u16(c.extra.size()).u16(c.comment.size());
  b.u16(0).u16(0).u32(0).u32(c.offset);   // disk, attributes
  b.raw(c.name).raw(c.extra).raw(c.comment);
}

void endRecord(Bytes& b, uint64_t count, uint64_t size, uint64_t offset, const std::string& comment = "") {
  b.raw("PK\x05\x06").u16(0).u16(0).u16(count).u16(count);
  b.u32(size).u32(offset).u16(comment.size() & 0xFFFF).raw(comment);
}

struct Member {
  std::string name;
  std::string data;
  uint32_t method = 0, flags = 0;
};

// A whole archive: local headers and data, the central directory, the end record.
std::string makeZip(const std::vector<Member>& members, const std::string& comment = "") {
  Bytes b;
  std::vector<Central> records;
  for (const Member& m : members) {
    records.push_back(central(m.name, b.s.size(), m.data.size(), m.data.size(), m.method, m.flags));
    localHeader(b, m.name, m.method);
    b.raw(m.data);
  }
  size_t directoryAt = b.s.size();
  for (const Central& c : records) centralRecord(b, c);
  endRecord(b, records.size(), b.s.size() - directoryAt, directoryAt, comment);
  return b.s;
}

// A listing over an exactly sized copy of the file, so that any read past its end
// is caught by the address sanitizer.
struct Listing {
  int code = -1;
  std::unique_ptr<uint8_t[]> view;
  std::unique_ptr<ComicArchive, void (*)(ComicArchive*)> archive{nullptr, freeArchive};

  std::vector<std::u16string> names() const {
    std::vector<std::u16string> result;
    for (int32_t i = 0; i < archive->entryCount; i++) result.push_back(archive->entries[i].name);
    return result;
  }
  const ArchiveEntry& entry(int i) const {
    return archive->entries[i];
  }
};

std::unique_ptr<Listing> list(const std::string& file) {
  auto listing = std::make_unique<Listing>();
  listing->view.reset(new uint8_t[file.size() ? file.size() : 1]);
  memcpy(listing->view.get(), file.data(), file.size());
  listing->archive.reset((ComicArchive*)allocZeroed(sizeof(ComicArchive)));
  listing->code = listZipEntries(listing->archive.get(), listing->view.get(), file.size());
  return listing;
}

std::u16string u16(const char16_t* s) {
  return std::u16string(s);
}

TEST(ComicsZipEnd, CommentUpToTheLongestIsSearchedAndNoFurther) {
  std::string longest(65535, 'c');
  auto found = list(makeZip({{"a.jpg", "x"}}, longest));
  EXPECT_EQ(found->code, 0);
  // Same record, one byte more after its fixed part: out of the search.
  auto missed = list(makeZip({{"a.jpg", "x"}}, longest) + "c");
  EXPECT_EQ(missed->code, OPEN_DAMAGED);
}

TEST(ComicsZipEnd, TheSignatureNearestTheEndWins) {
  // Two members; the outer end record covers both, a second one hidden in its
  // comment covers only the second central record.
  Bytes b;
  localHeader(b, "a.png", 0);
  localHeader(b, "b.png", 0);
  size_t directoryAt = b.s.size();
  centralRecord(b, central("a.png", 0, 0, 0));
  size_t secondAt = b.s.size();
  centralRecord(b, central("b.png", 35, 0, 0));
  size_t directoryEnd = b.s.size();
  Bytes inner;
  endRecord(inner, 1, directoryEnd - secondAt, secondAt);
  endRecord(b, 2, directoryEnd - directoryAt, directoryAt, inner.s);
  auto listing = list(b.s);
  ASSERT_EQ(listing->code, 0);
  EXPECT_EQ(listing->names(), std::vector<std::u16string>{u"b.png"});
}

TEST(ComicsZipEnd, TinyEmptyAndUnsignedFiles) {
  Bytes empty;
  endRecord(empty, 0, 0, 0);
  EXPECT_EQ(list(empty.s)->code, OPEN_NO_IMAGE);
  EXPECT_EQ(list(empty.s.substr(0, 21))->code, OPEN_DAMAGED);
  EXPECT_EQ(list("")->code, OPEN_DAMAGED);
  EXPECT_EQ(list(std::string(5000, 'P'))->code, OPEN_DAMAGED);
}

// An archive whose end record saturates its fields, with a ZIP64 record and
// locator before it; `recordOffset` is what the locator says.
std::string zip64Archive(uint64_t recordOffset, bool validLocator, uint16_t endCount = 0xFFFF) {
  Bytes b;
  localHeader(b, "p.gif", 0);
  b.raw("GIF");
  size_t directoryAt = b.s.size();
  centralRecord(b, central("p.gif", 0, 3, 3));
  size_t directorySize = b.s.size() - directoryAt;
  size_t recordAt = b.s.size();
  b.raw("PK\x06\x06").u64(44).u16(45).u16(45).u32(0).u32(0);
  b.u64(1).u64(1).u64(directorySize).u64(directoryAt);
  b.raw(validLocator ? "PK\x06\x07" : "PK\x06\x08").u32(0);
  b.u64(recordOffset == UINT64_MAX ? recordAt : recordOffset).u32(1);
  endRecord(b, endCount, 0xFFFFFFFF, 0xFFFFFFFF);
  return b.s;
}

TEST(ComicsZip64, RecordReplacesSaturatedValuesOnlyThroughAValidLocator) {
  auto valid = list(zip64Archive(UINT64_MAX, true));
  ASSERT_EQ(valid->code, 0);
  EXPECT_EQ(valid->names(), std::vector<std::u16string>{u"p.gif"});
  EXPECT_EQ(list(zip64Archive(UINT64_MAX, false))->code, OPEN_DAMAGED);
  // Locator pointing past the end, or so far that offset + 56 wraps to a small
  // number: the 32-bit values stand (and fail), nothing is read out of the file.
  EXPECT_EQ(list(zip64Archive(1u << 20, true))->code, OPEN_DAMAGED);
  EXPECT_EQ(list(zip64Archive(UINT64_MAX - 40, true))->code, OPEN_DAMAGED);
  EXPECT_EQ(list(zip64Archive(UINT64_MAX - 55, true))->code, OPEN_DAMAGED);
}

TEST(ComicsZip64, EndRecordTooNearTheStartHasNoLocator) {
  // The end record at offset 10: no room for the 20-byte locator before it.
  Bytes b;
  b.raw(
      "PK\x06\x07"
      "123456");
  endRecord(b, 0xFFFF, 0, 0);
  EXPECT_EQ(list(b.s)->code, OPEN_DAMAGED);
}

TEST(ComicsZipCentral, ImplausibleOrDamagedDirectoriesFail) {
  std::string good = makeZip({{"a.jpg", "xy"}});
  size_t endAt = good.size() - 22;
  auto patched = [&](size_t at, Bytes field) {
    std::string s = good;
    s.replace(at, field.s.size(), field.s);
    return s;
  };
  EXPECT_EQ(list(good)->code, 0);
  EXPECT_EQ(list(patched(endAt + 10, Bytes().u16(2)))->code, OPEN_DAMAGED);            // 2 > 46-byte size / 46
  EXPECT_EQ(list(patched(endAt + 16, Bytes().u32(0xFFFFFFF0)))->code, OPEN_DAMAGED);   // offset outside
  EXPECT_EQ(list(patched(endAt + 12, Bytes().u32(0xFFFFFFFF)))->code, OPEN_DAMAGED);   // size outside
  size_t centralAt = good.size() - 22 - (46 + 5);
  EXPECT_EQ(list(patched(centralAt, Bytes().raw("PK\x01\x03")))->code, OPEN_DAMAGED);   // unsigned record
  EXPECT_EQ(list(patched(centralAt + 32, Bytes().u16(1)))->code, OPEN_DAMAGED);         // comment past the end
  // A count of 0xFFFF without ZIP64 is just implausible.
  EXPECT_EQ(list(patched(endAt + 10, Bytes().u16(0xFFFF)))->code, OPEN_DAMAGED);
}

TEST(ComicsZipCentral, EntriesThatCannotBeUsedAreSkipped) {
  // Directory order: an encrypted image, text, a plain image, one with a bad local
  // header, one whose data would pass the end, and a bzip2 image (listed).
  Bytes b;
  localHeader(b, "e.jpg", 0);
  b.raw("E");
  localHeader(b, "ok.jpg", 0);
  b.raw("OK");
  size_t badAt = b.s.size();
  b.raw("PK\x03\x05").raw(std::string(26, '\0'));
  size_t bzipAt = b.s.size();
  localHeader(b, "bz.jpg", 12);
  b.raw("BZh");
  size_t directoryAt = b.s.size();
  centralRecord(b, central("e.jpg", 0, 1, 1, 0, 1));
  centralRecord(b, central("readme.txt", 0, 1, 1));
  centralRecord(b, central("ok.jpg", 36, 2, 2));
  centralRecord(b, central("bad.jpg", badAt, 0, 0));
  centralRecord(b, central("far.jpg", 36, 3000, 3000));
  centralRecord(b, central("late.jpg", directoryAt - 29, 0, 0));   // header would cross the end
  centralRecord(b, central("bz.jpg", bzipAt, 3, 300, 12));
  endRecord(b, 7, b.s.size() - directoryAt, directoryAt);
  auto listing = list(b.s);
  ASSERT_EQ(listing->code, 0);
  EXPECT_EQ(listing->names(), (std::vector<std::u16string>{u"ok.jpg", u"bz.jpg"}));
  EXPECT_EQ(std::string((const char*)listing->entry(0).data, 2), "OK");
  EXPECT_EQ(listing->entry(1).method, 12);
  EXPECT_EQ(listing->entry(1).storedSize, 3u);
  EXPECT_EQ(listing->entry(1).size, 300u);

  EXPECT_EQ(list(makeZip({{"e.jpg", "E", 0, 1}, {"f.txt", "t"}}))->code, OPEN_PASSWORD_PROTECTED);
  EXPECT_EQ(list(makeZip({{"f.txt", "t"}, {"g/", ""}}))->code, OPEN_NO_IMAGE);
}

// One image whose central fields are saturated and taken from 0x0001 extra data.
std::unique_ptr<Listing> listWithExtra(uint64_t compressed, uint64_t uncompressed, uint64_t offset,
                                       const std::string& extra) {
  Bytes b;
  b.raw("padding.");
  localHeader(b, "x.bmp", 0);
  b.raw("BMdata");
  size_t directoryAt = b.s.size();
  centralRecord(b, central("x.bmp", offset, compressed, uncompressed, 0, 0, extra));
  endRecord(b, 1, b.s.size() - directoryAt, directoryAt);
  return list(b.s);
}

std::string block(uint16_t id, const Bytes& data) {
  return Bytes().u16(id).u16(data.s.size()).raw(data.s).s;
}

TEST(ComicsZipCentral, Zip64ExtraBlockSuppliesSaturatedValuesInOrder) {
  const uint64_t S = 0xFFFFFFFF;
  std::string timestamps = block(0x5455, Bytes().raw("\x03"
                                                     "abcdefgh"));
  // All three, after an unrelated block.
  auto all = listWithExtra(S, S, S, timestamps + block(1, Bytes().u64(6000).u64(6).u64(8)));
  ASSERT_EQ(all->code, 0);
  EXPECT_EQ(all->entry(0).size, 6000u);
  EXPECT_EQ(all->entry(0).storedSize, 6u);
  EXPECT_EQ(std::string((const char*)all->entry(0).data, 6), "BMdata");
  // Only the offset saturated: the block's first value is the offset.
  auto offsetOnly = listWithExtra(6, 6, S, block(1, Bytes().u64(8)));
  ASSERT_EQ(offsetOnly->code, 0);
  EXPECT_EQ(offsetOnly->entry(0).size, 6u);
  // A block too short for the compressed size leaves it saturated: data out of file.
  EXPECT_EQ(listWithExtra(S, S, 8, block(1, Bytes().u64(6)))->code, OPEN_NO_IMAGE);
  // A block whose data runs past the extra field is not read.
  std::string overlong = Bytes().u16(1).u16(24).u64(6).u64(6).s;
  EXPECT_EQ(listWithExtra(6, 6, S, overlong)->code, OPEN_NO_IMAGE);
  // Values from the file that would wrap the bounds checks: skipped, not read.
  EXPECT_EQ(listWithExtra(6, 6, S, block(1, Bytes().u64(UINT64_MAX)))->code, OPEN_NO_IMAGE);
  EXPECT_EQ(listWithExtra(6, 6, S, block(1, Bytes().u64(UINT64_MAX - 29)))->code, OPEN_NO_IMAGE);
  EXPECT_EQ(listWithExtra(S, 6, 8, block(1, Bytes().u64(UINT64_MAX - 3)))->code, OPEN_NO_IMAGE);
  // Short and empty blocks at the field's end.
  auto trailing = listWithExtra(6, 6, 8, block(0x7875, Bytes()) + "\x01");
  EXPECT_EQ(trailing->code, 0);
}

std::u16string viaIconv(const std::string& bytes, const char* from) {
  iconv_t cd = iconv_open("UTF-16LE", from);
  std::string out(bytes.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  char* o = &out[0];
  size_t inLeft = bytes.size(), outLeft = out.size();
  size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (r == (size_t)-1) return u"<iconv failed>";
  std::u16string result;
  for (size_t i = 0; i + 1 < out.size() - outLeft; i += 2) {
    result += (char16_t)((uint8_t)out[i] | (uint8_t)out[i + 1] << 8);
  }
  return result;
}

std::u16string converted(char16_t* (*convert)(const uint8_t*, uint32_t), const std::string& bytes) {
  char16_t* name = convert((const uint8_t*)bytes.data(), bytes.size());
  std::u16string result = name;
  freeBytes(name);
  return result;
}

TEST(ComicsZipNames, CodePage437AndUtf8AgreeWithIconv) {
  std::string all;
  for (int c = 1; c < 256; c++) all += (char)c;
  EXPECT_EQ(converted(codePage437ToUtf16, all), viaIconv(all, "IBM437"));
  std::string utf8 = "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBF \xF4\x8F\xBF\xBF z";
  EXPECT_EQ(converted(utf8ToUtf16, utf8), viaIconv(utf8, "UTF-8"));

  auto listing = list(makeZip({{"\x82t\x82.jpg", "1"}, {"\xC3\xA9t\xC3\xA9.jpg", "2", 0, 0x800}}));
  ASSERT_EQ(listing->code, 0);
  EXPECT_EQ(listing->names(), (std::vector<std::u16string>{u"été.jpg", u"été.jpg"}));
}

TEST(ComicsZipNames, MalformedUtf8BecomesReplacementCharacters) {
  struct Case {
    const char* bytes;
    const char16_t* expected;
  };
  const Case cases[] = {
      {"a\xFF"
       "b",
       u"a\uFFFDb"},
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                       // overlong slash
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},             // overlong, three bytes
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},             // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},   // beyond U+10FFFF
      {"\xF0\x9F\x98", u"\uFFFD"},                         // truncated at the end
      {"\xE2\x82"
       "x",
       u"\uFFFDx"},                    // truncated before an ASCII byte
      {"\x80\x80", u"\uFFFD\uFFFD"},   // lone continuations
  };
  for (const Case& c : cases) {
    EXPECT_EQ(converted(utf8ToUtf16, c.bytes), u16(c.expected)) << c.bytes;
  }
}

TEST(ComicsZipNames, ControlBytesAndZerosInNames) {
  using namespace std::string_literals;
  auto listing =
      list(makeZip({{"\x01\x1B\x7F.jpg", "1"}, {"cut.jpg\0.txt"s, "2"}, {"cut.txt\0.jpg"s, "3"}, {"", "4"}}));
  ASSERT_EQ(listing->code, 0);
  // A zero byte ends the name as the rest of the program sees it.
  EXPECT_EQ(listing->names(), (std::vector<std::u16string>{u"\x01\x1B\x7F.jpg", u"cut.jpg"}));
}

TEST(ComicsZipMemory, NoMemoryForANameSkipsItNoMemoryForTheListFails) {
  std::string file = makeZip({{"a.jpg", "1"}, {"b.jpg", "2"}});
  auto listing = list("");   // an empty archive record to list into
  listing->view.reset(new uint8_t[file.size()]);
  memcpy(listing->view.get(), file.data(), file.size());
  failNthAllocation(1);   // the entry array succeeds, a.jpg's name fails
  int code = listZipEntries(listing->archive.get(), listing->view.get(), file.size());
  EXPECT_EQ(code, 0);
  EXPECT_EQ(listing->names(), std::vector<std::u16string>{u"b.jpg"});

  ComicArchive* second = (ComicArchive*)allocZeroed(sizeof(ComicArchive));
  failNthAllocation(0);   // the entry array
  EXPECT_EQ(listZipEntries(second, listing->view.get(), file.size()), OPEN_DAMAGED);
  freeArchive(second);
}

// A ZIP64 directory of `count` image records that all share one local header.
std::string manyRecords(uint64_t count) {
  Bytes b;
  localHeader(b, "p.png", 0);
  size_t directoryAt = b.s.size();
  for (uint64_t i = 0; i < count; i++) {
    centralRecord(b, central("p" + std::to_string(count - i) + ".png", 0, 0, 0));
  }
  size_t directorySize = b.s.size() - directoryAt;
  size_t recordAt = b.s.size();
  b.raw("PK\x06\x06").u64(44).u16(45).u16(45).u32(0).u32(0);
  b.u64(count).u64(count).u64(directorySize).u64(directoryAt);
  b.raw("PK\x06\x07").u32(0).u64(recordAt).u32(1);
  endRecord(b, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
  return b.s;
}

TEST(ComicsZipLimits, AtMostOneHundredThousandImages) {
  auto most = list(manyRecords(100000));
  ASSERT_EQ(most->code, 0);
  ASSERT_EQ(most->archive->entryCount, 100000);
  sortEntries(most->archive.get());
  EXPECT_EQ(most->names().front(), u"p1.png");
  EXPECT_EQ(most->names().back(), u"p100000.png");
  EXPECT_EQ(list(manyRecords(100001))->code, OPEN_DAMAGED);
}

// Runs a command in `dir`; true when it exits with 0.
bool run(const std::string& dir, const std::string& command) {
  return system(("cd '" + dir + "' && (" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(ComicsZipReference, ArchivesOfDebiansZipListAndExtractAsUnzipSees) {
  if (system("test -x /usr/bin/zip && test -x /usr/bin/unzip") != 0) GTEST_SKIP() << "no zip";
  std::string dir = testing::TempDir() + "comics_zip_reference_" + std::to_string(getpid());
  ASSERT_TRUE(run("/", "rm -rf '" + dir + "' && mkdir -p '" + dir + "/in/sub' '" + dir + "/in/__MACOSX'"));
  std::string text, noise;
  for (int i = 0; i < 3000; i++) text += "line " + std::to_string(i * 7 % 13) + "\n";
  for (uint32_t i = 0; i < 5000; i++) noise += (char)(i * 2654435761u >> 13);
  const std::pair<std::string, std::string> files[] = {
      {"page10.jpg", text}, {"page2.jpg", noise}, {"sub/cover.PNG", text + noise},
      {"empty.gif", ""},    {"notes.txt", text},  {"__MACOSX/._page2.jpg", "x"}};
  for (auto& f : files) writeFile(dir + "/in/" + f.first, f.second);
  writeFile(dir + "/comment.txt", std::string(3000, 'k') + "\n.\n");

  const char* commands[] = {"zip -q -r -X ../plain.zip .", "zip -q -r -X -0 ../stored.zip .",
                            "zip -q -r -X -fz ../zip64.zip .", "zip -q -r -X -z ../commented.zip . < ../comment.txt"};
  const char* archives[] = {"plain.zip", "stored.zip", "zip64.zip", "commented.zip"};
  for (int v = 0; v < 4; v++) {
    SCOPED_TRACE(archives[v]);
    ASSERT_TRUE(run(dir + "/in", commands[v]));
    ASSERT_TRUE(run(dir, std::string("unzip -Z1 ") + archives[v] + " > names.txt"));
    std::string unzipNames = "\n" + readFile(dir + "/names.txt");
    auto listing = list(readFile(dir + "/" + archives[v]));
    ASSERT_EQ(listing->code, 0);
    ASSERT_EQ(listing->archive->entryCount, 4);   // the four images, nothing else
    for (int i = 0; i < 4; i++) {
      std::u16string wide = listing->names()[i];
      std::string name(wide.begin(), wide.end());
      EXPECT_NE(unzipNames.find("\n" + name + "\n"), std::string::npos) << name;
      std::string expected;
      for (auto& f : files)
        if (f.first == name) expected = f.second;
      ExtractedBytes bytes;
      ASSERT_TRUE(extractEntry(&listing->entry(i), 0, &bytes) || expected.empty()) << name;
      EXPECT_EQ(std::string((const char*)bytes.bytes, bytes.length), expected) << name;
      releaseExtractedBytes(&bytes);
      if (expected.size() < 100) continue;
      ASSERT_TRUE(extractEntry(&listing->entry(i), 100, &bytes));
      EXPECT_EQ(std::string((const char*)bytes.bytes, bytes.length), expected.substr(0, 100));
      releaseExtractedBytes(&bytes);
    }
  }
  run("/", "rm -rf '" + dir + "'");
}

}   // namespace
