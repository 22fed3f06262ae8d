// How the document path is cut out of the command line.
#include <gtest/gtest.h>
#include <string>
#include "base/portable.h"

Utf16* findDocumentPath(Utf16* commandLine);

static std::u16string pathOf(const char16_t* commandLine) {
  std::u16string buffer(commandLine);
  buffer.push_back(0);
  return std::u16string(findDocumentPath(&buffer[0]));
}

TEST(CommandLine, QuotedProgramAndPath) {
  EXPECT_EQ(u"C:\\docs\\my file.pdf", pathOf(u"\"C:\\Program Files\\Brisa.exe\" \"C:\\docs\\my file.pdf\""));
  // Anything after the closing quote is ignored.
  EXPECT_EQ(u"C:\\a b.pdf", pathOf(u"\"Brisa.exe\" \"C:\\a b.pdf\" --page 3 \"other.pdf\""));
}

TEST(CommandLine, UnquotedPathWithSpacesIsTakenWhole) {
  EXPECT_EQ(u"C:\\my docs\\a b.pdf", pathOf(u"Brisa.exe C:\\my docs\\a b.pdf"));
  EXPECT_EQ(u"/tmp/x y.pdf", pathOf(u"brisa\t \t/tmp/x y.pdf"));
}

TEST(CommandLine, NoPath) {
  EXPECT_EQ(u"", pathOf(u"Brisa.exe"));
  EXPECT_EQ(u"", pathOf(u"\"C:\\Program Files\\Brisa.exe\"   "));
  EXPECT_EQ(u"", pathOf(u""));
  // An unterminated quoted program name swallows everything.
  EXPECT_EQ(u"", pathOf(u"\"C:\\Brisa.exe doc.pdf"));
}

TEST(CommandLine, UnclosedQuoteRunsToTheEnd) {
  EXPECT_EQ(u"C:\\a b.pdf", pathOf(u"Brisa.exe \"C:\\a b.pdf"));
}
