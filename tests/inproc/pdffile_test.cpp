// The reader PDFium reads a PDF through: each request gets the file's bytes at
// its position, in any order, and none past the end at open or of a file cut since.
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
  HANDLE file = CreateFileW(path.text, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
  PdfFileReader* reader = NULL;
  FPDF_DOCUMENT document = loadPdfFromHandle(file, bytes.size(), &reader);
  ASSERT_TRUE(document);
  const uint64_t size = bytes.size(), cut = 50000;   // from the fifth request on, the file is cut there
  const struct {
    uint64_t position, size;
    bool served;
  } requests[] = {
      {size - 100, 100, true}, {16000, 800, true},       // the end first, then across two blocks
      {100, 40000, true},      {size - 10, 11, false},   // larger than a block (read directly), past the end
      {cut - 10, 10, true},    {cut - 10, 11, false},  {cut + 5000, 20000, false},   // the bytes left, one more
  };
  std::string got(40000, 0);
  for (size_t i = 0; i < sizeof requests / sizeof requests[0]; i++) {
    if (i == 4 && SetFilePointer(file, cut, NULL, FILE_BEGIN) == cut) SetEndOfFile(file);
    const auto& r = requests[i];
    bool served = readPdfFile(reader, r.position, (unsigned char*)&got[0], r.size);
    EXPECT_EQ(r.served ? bytes.substr(r.position, r.size) : "", served ? got.substr(0, r.size) : "") << r.position;
  }
  FPDF_CloseDocument(document);
  freePdfFileReader(reader);
  CloseHandle(file);
  FPDF_DestroyLibrary();
}
