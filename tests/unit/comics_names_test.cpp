// Natural page order, the page-name filter and the Shell sort of entries.
#include <gtest/gtest.h>
#include <locale.h>
#include <wctype.h>

#include <string>
#include <vector>

#include "comics/archive/archive.h"

namespace {

int sign(int v) {
  return (v > 0) - (v < 0);
}

TEST(ComicsNaturalOrder, DigitRunsByValueLettersWithoutCase) {
  struct Case {
    const char16_t* a;
    const char16_t* b;
    int expected;
  };
  const Case cases[] = {
      {u"page2.jpg", u"Page10.jpg", -1},   // value, not text; case ignored
      {u"img9.png", u"img10.png", -1},
      {u"a.jpg", u"a1.jpg", '.' - '1'},   // '.' meets a digit: plain units
      {u"a.jpg", u"A.JPG", 0},
      {u"007.jpg", u"7.jpg", 0},   // leading zeros do not count
      {u"0.jpg", u"00.jpg", 0},    // a run of zeros keeps one zero
      {u"0010", u"9", 1},          // 10 is a longer run than 9
      {u"a12", u"a13", '2' - '3'},
      {u"a100", u"a9", 3 - 1},   // the difference of the run lengths
      {u"x123456789012345678901234567890", u"x123456789012345678901234567891", -1},
      {u"ab", u"abc", -'c'},   // a prefix sorts first, by the raw unit
      {u"abc", u"ab", 'c'},
      {u"a_", u"A", '_'},
      {u"\u00C9t\u00E9.jpg", u"\u00E9T\u00C9.JPG", 0},   // accented capitals lowered
      {u"\u0416.png", u"\u0436.png", 0},                 // Cyrillic
      {u"\uFF5E", u"a", 0xFF5E - 'a'},                   // units compare as unsigned 16-bit values
      {u"", u"", 0},
      {u"", u"a", -'a'},
  };
  for (const Case& c : cases) {
    int result = compareEntryNames(c.a, c.b);
    if (c.expected == -1 || c.expected == 1)
      EXPECT_EQ(sign(result), c.expected);
    else
      EXPECT_EQ(result, c.expected);
    EXPECT_EQ(sign(compareEntryNames(c.b, c.a)), -sign(result));
  }
}

TEST(ComicsNaturalOrder, LowerCaseAgreesWithUnicodeOverTheCoveredScripts) {
  ASSERT_NE(setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  const std::pair<char16_t, char16_t> blocks[] = {{0x0000, 0x017F}, {0x0384, 0x03AB}, {0x0400, 0x052F},
                                                  {0x0531, 0x0556}, {0x1E00, 0x1EFF}, {0xFF00, 0xFF5E}};
  for (auto block : blocks) {
    for (uint32_t u = block.first; u <= block.second; u++) {
      if (u == 0x0130 || u == 0x1E9E) continue;   // kept as they are, as Wine does
      EXPECT_EQ((uint32_t)lowerNameUnit((char16_t)u), (uint32_t)towlower(u)) << std::hex << u;
    }
  }
  EXPECT_EQ(lowerNameUnit(0x0130), 0x0130);
  EXPECT_EQ(lowerNameUnit(0x1E9E), 0x1E9E);
  EXPECT_EQ(lowerNameUnit(0xD83D), 0xD83D);   // surrogates stay as they are
  setlocale(LC_CTYPE, "C");
}

TEST(ComicsImageNames, PagesAreImagesOutsideMacMetadataAndHiddenFiles) {
  const char16_t* accepted[] = {u"comic/01.JPEG", u"a.jpg",           u"x\\y\\p.WebP", u"dir.d/a.jfif", u"\u00E9.Png",
                                u"a.jpe",         u"a.gif",           u"a.bmp",        u"a.tif",        u"a.tiff",
                                u"a.avif",        u"a.heic",          u"a.heif",       u"a.jxr",        u"a.wdp",
                                u"__macos/a.jpg", u"a__macosx/b.jpg", u"a..jpg"};
  for (const char16_t* name : accepted) EXPECT_TRUE(isImageEntryName(name)) << (int)name[0];
  const char16_t* rejected[] = {u"__MACOSX/comic/01.jpg",
                                u"comic/__macosx/01.jpg",
                                u"comic\\__MacOSX_old\\01.jpg",
                                u"comic/._01.jpg",
                                u".jpg",
                                u"cover",
                                u"notes.txt",
                                u"a.jpg/readme",
                                u"a.jpg\\",
                                u"a.",
                                u"a.jpgx",
                                u"a.jp",
                                u"",
                                u"a.jpg.txt",
                                u"dir.png/"};
  for (const char16_t* name : rejected) EXPECT_FALSE(isImageEntryName(name));
  EXPECT_FALSE(isImageEntryName(nullptr));
}

// Entries named as given, each carrying its input position in `rarIndex`.
std::vector<ArchiveEntry> entriesNamed(std::vector<std::u16string>& names) {
  std::vector<ArchiveEntry> entries(names.size());
  for (size_t i = 0; i < names.size(); i++) {
    entries[i] = ArchiveEntry();
    entries[i].name = &names[i][0];
    entries[i].rarIndex = (int32_t)i;
  }
  return entries;
}

std::vector<int> sortedPositions(std::vector<std::u16string> names) {
  std::vector<ArchiveEntry> entries = entriesNamed(names);
  ComicArchive archive = ComicArchive();
  archive.entries = entries.data();
  archive.entryCount = (int32_t)entries.size();
  sortEntries(&archive);
  std::vector<int> positions;
  for (auto& e : entries) positions.push_back(e.rarIndex);
  return positions;
}

TEST(ComicsEntrySort, ShellSortMovesWholeRecordsInItsOwnOrderForEqualNames) {
  EXPECT_EQ(sortedPositions({u"p10.jpg", u"P2.jpg", u"p1.jpg", u"cover.jpg"}), (std::vector<int>{3, 2, 1, 0}));
  // The gap-2 pass moves 01.jpg in front of the equal 1.jpg; a stable sort would not.
  EXPECT_EQ(sortedPositions({u"z.jpg", u"1.jpg", u"01.jpg", u"y.jpg"}), (std::vector<int>{2, 1, 3, 0}));
  EXPECT_EQ(sortedPositions({}), std::vector<int>{});
  EXPECT_EQ(sortedPositions({u"only.png"}), std::vector<int>{0});

  std::vector<std::u16string> many;
  uint32_t seed = 12345;
  for (int i = 0; i < 3000; i++) {
    seed = seed * 1103515245 + 12345;
    many.push_back(u"ch" + std::u16string(1, u'0' + seed % 3) + u"/p" + std::u16string(seed >> 20 & 1 ? u"0" : u"") +
                   std::u16string(1, u'1' + (seed >> 8) % 9) + u".jpg");
  }
  std::vector<ArchiveEntry> entries = entriesNamed(many);
  ComicArchive archive = ComicArchive();
  archive.entries = entries.data();
  archive.entryCount = (int32_t)entries.size();
  sortEntries(&archive);
  for (size_t i = 1; i < entries.size(); i++) {
    ASSERT_LE(compareEntryNames(entries[i - 1].name, entries[i].name), 0) << i;
    ASSERT_EQ(entries[i].name, &many[entries[i].rarIndex][0]);   // records moved whole
  }
}

}   // namespace
