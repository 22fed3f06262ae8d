// Words hyphenated across a line break: the matcher over a page's characters,
// here written as a string ('~' stands for the hyphen PDFium joins itself).
#include <gtest/gtest.h>
#include <limits.h>
#include <string>
#include "search/search.h"

namespace {

unsigned stringChar(const void* page, int index) {
  char16_t c = (*(const std::u16string*)page)[index];
  return c == u'~' ? (unsigned)JOINED_HYPHEN : c;
}

// (start, hyphen, resume, end) of the match, or all -1.
JoinedMatch find(const std::u16string& page, const std::u16string& text, int direction = +1, int threshold = -1) {
  PageChars chars = {(int)page.size(), stringChar, &page};
  JoinedMatch match = {-1, -1, -1, -1};
  if (!findJoinedMatch(&chars, (const Utf16*)text.c_str(), direction, threshold, &match)) return {-1, -1, -1, -1};
  return match;
}

struct Case {
  const char16_t* page;
  const char16_t* text;
  int start, hyphen, resume, end;
};

}   // namespace

TEST(JoinedSearch, FindsWordsAcrossALineEndHyphenOnly) {
  const Case cases[] = {
      {u"we dis-\r\ncovered it", u"discovered", 3, 6, 9, 16},
      {u"we dis\u00AD\r\ncovered", u"discovered", 3, 6, 9, 16},    // soft hyphen
      {u"we dis~covered", u"discovered", 3, 6, 7, 14},             // PDFium's joined hyphen
      {u"dis- \r\n covered", u"discovered", 0, 3, 8, 15},          // spaces around the break
      {u"x Perfor-\nmance", u"PERFORMANCE", 2, 8, 10, 15},         // case ignored, LF alone
      {u"\u00C9L\u00C8-\r\nVE", u"\u00e9l\u00e8ve", 0, 3, 6, 8},   // and in Latin-1
      {u"well-\r\nknown", u"well-known", 0, 4, 7, 12},             // the hyphen typed as well
      {u"a well-known fact", u"wellknown", -1, -1, -1, -1},        // not at a line end: kept
      {u"a well-known fact", u"well-known", -1, -1, -1, -1},       // PDFium's search finds this one
      {u"dis-\r\ncovered", u"dis", -1, -1, -1, -1},                // on one line: PDFium's too
      {u"dis-\r\n\r\ncovered", u"discovered", -1, -1, -1, -1},     // a paragraph ends there
      {u"dis-\r\n", u"discovered", -1, -1, -1, -1},                // nothing after the break
      {u"dis-\r\ncover", u"discovered", -1, -1, -1, -1},           // the page ends first
      {u"dis-\r\ncovered", u"d", -1, -1, -1, -1},
  };
  for (const Case& c : cases) {
    JoinedMatch m = find(c.page, c.text);
    std::string label(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    EXPECT_EQ(c.start, m.start) << label;
    EXPECT_EQ(c.hyphen, m.hyphen) << label;
    EXPECT_EQ(c.resume, m.resume) << label;
    EXPECT_EQ(c.end, m.end) << label;
  }
}

// The first after the threshold forward, the last before it backward.
TEST(JoinedSearch, WalksOccurrencesInOrder) {
  const std::u16string page = u"dis-\r\ncovered and re-\r\ndis-\r\ncovered";
  EXPECT_EQ(0, find(page, u"discovered").start);
  EXPECT_EQ(23, find(page, u"discovered", +1, 0).start);
  EXPECT_EQ(-1, find(page, u"discovered", +1, 23).start);
  EXPECT_EQ(23, find(page, u"discovered", -1, INT_MAX).start);
  EXPECT_EQ(0, find(page, u"discovered", -1, 23).start);
  EXPECT_EQ(-1, find(page, u"discovered", -1, 0).start);
}
