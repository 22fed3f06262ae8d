// The reader PDFium reads a PDF through: each request gets the file's bytes at
// its position, whatever was read before, and none past the length at open or
// past the end of a file cut short since.
#include "viewer/pdffile.h"

#include <windows.h>
#include "tests/inproc/gtest.h"
#include "tests/support/inproc.h"
#include "tests/support/pdfwriter.h"
#include "tests/support/tempfolder.h"

TEST(PdfFile, ServesTheFilesBytesAndNothingPastItsEnd) {
  std::string bytes = makeTestPdf({TestPage{612, 792, std::vector<std::string>(2000, "a line")}});   // 80 KB
  FPDF_InitLibrary();   // each test of the program starts and ends its own
  TempFolder folder;
  Wide path = wide(folder.write("long.pdf", bytes));
  HANDLE file = CreateFileW(path.text, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
  PdfFileReader* reader = NULL;
  FPDF_DOCUMENT document = loadPdfFromHandle(file, bytes.size(), &reader);
  ASSERT_TRUE(document);
  const uint64_t size = bytes.size(), cut = 50000;   // the file's length once cut
  const struct {
    uint64_t position, size;
    bool afterCut;
    int expected;
  } requests[] = {
      {size - 100, 100, false, 1},  {16000, 800, false, 1},    // the end first, then across two blocks
      {100, 40000, false, 1},                                  // larger than a block, read directly
      {size - 10, 11, false, 0},                               // one byte past the end
      {cut - 10, 10, true, 1},      {cut - 10, 11, true, 0},   // the last bytes left, one more
      {cut + 5000, 20000, true, 0},
  };
  HANDLE cutter =
      CreateFileW(path.text, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
  std::string got(40000, 0);
  for (const auto& r : requests) {
    if (r.afterCut) {
      SetFilePointer(cutter, cut, NULL, FILE_BEGIN);
      SetEndOfFile(cutter);
    }
    EXPECT_EQ(r.expected, readPdfFile(reader, r.position, (unsigned char*)&got[0], r.size)) << r.position;
    if (r.expected) {
      EXPECT_EQ(bytes.substr(r.position, r.size), got.substr(0, r.size)) << r.position;
    }
  }
  CloseHandle(cutter);
  FPDF_CloseDocument(document);
  freePdfFileReader(reader);
  CloseHandle(file);
  FPDF_DestroyLibrary();
}
