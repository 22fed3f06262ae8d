// The bridge as Brisa.exe sees it: loaded as pdfium.dll, every function found
// by name and called with Windows' convention and Windows' 32-bit DWORD.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/inproc/gtest.h"
#include "tests/support/pdfwriter.h"

// Windows' view of the types: FPDF_DWORD is 32 bits, callbacks are WINAPI.
typedef void* Handle;
struct WindowsPause {
  int version;
  int(WINAPI* NeedToPauseNow)(WindowsPause* pause);
  void* user;
};

static const unsigned int errorFile = 2;     // FPDF_ERR_FILE
static const unsigned int errorFormat = 3;   // FPDF_ERR_FORMAT
static const int renderToBeContinued = 1, renderDone = 2;

static HMODULE bridge;

template <typename Proc>
static Proc find(const char* name) {
  Proc proc = (Proc)(void*)GetProcAddress(bridge, name);
  if (!proc) ADD_FAILURE() << "the bridge does not export " << name;
  return proc;
}

// A local variable named after the export, of the Windows pointer type given.
#define BRIDGE(name, ...)         \
  using name##Proc = __VA_ARGS__; \
  static name##Proc name = find<name##Proc>(#name)

class Bridge : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    bridge = LoadLibraryA(BRIDGE_DLL);
    ASSERT_TRUE(bridge != NULL) << "LoadLibrary " << BRIDGE_DLL << ": " << GetLastError();
    BRIDGE(FPDF_InitLibrary, void(WINAPI*)(void));
    FPDF_InitLibrary();
  }
  void SetUp() override {
    ASSERT_TRUE(bridge != NULL);
  }
};

// The bridge's own copy of the program's .def, read back: every name the program
// imports must be found, or Brisa.exe would not start.
TEST_F(Bridge, ExportsEveryNameTheProgramImports) {
  std::ifstream def(PDFIUM_DEF);
  ASSERT_TRUE(def.good()) << PDFIUM_DEF;
  std::string line;
  int names = 0;
  while (std::getline(def, line)) {
    if (line.compare(0, 4, "FPDF") != 0) continue;
    names++;
    EXPECT_TRUE(GetProcAddress(bridge, line.c_str()) != NULL) << line;
  }
  EXPECT_GT(names, 30);
}

// A 32-bit colour crosses as 32 bits: the upper half of the register the caller
// passes it in is not part of it, and every byte of the colour (the top bit too) arrives.
TEST_F(Bridge, FillRectTakesA32BitColour) {
  BRIDGE(FPDFBitmap_Create, Handle(WINAPI*)(int, int, int));
  BRIDGE(FPDFBitmap_GetBuffer, unsigned char*(WINAPI*)(Handle));
  BRIDGE(FPDFBitmap_Destroy, void(WINAPI*)(Handle));
  // As a caller whose register holds stale bits above the 32-bit argument.
  BRIDGE(FPDFBitmap_FillRect, void(WINAPI*)(Handle, int, int, int, int, unsigned long long));
  Handle bitmap = FPDFBitmap_Create(4, 2, 1);   // with alpha: all four bytes are kept
  ASSERT_TRUE(bitmap != NULL);
  FPDFBitmap_FillRect(bitmap, 0, 0, 4, 2, 0xDEADBEEF00000000ull | 0xF0336699u);
  FPDFBitmap_FillRect(bitmap, 2, 1, 2, 1, 0x12345678ull << 32 | 0x80FF0001u);
  const unsigned char* p = FPDFBitmap_GetBuffer(bitmap);
  const unsigned char first[4] = {0x99, 0x66, 0x33, 0xF0};   // blue, green, red, alpha
  const unsigned char last[4] = {0x01, 0x00, 0xFF, 0x80};
  EXPECT_EQ(0, memcmp(p, first, 4));
  EXPECT_EQ(0, memcmp(p + 4 * 4 + 4 * 4 - 4, last, 4));
  EXPECT_EQ(0, memcmp(p + 4 * 4 + 4, first, 4));   // row 1, column 1: outside the second fill
  FPDFBitmap_Destroy(bitmap);
}

// The error of the last load, as a 32-bit result, follows each failure.
TEST_F(Bridge, LastErrorAfterAMissingFileThenADamagedOne) {
  BRIDGE(FPDF_LoadDocument, Handle(WINAPI*)(const char*, const char*));
  BRIDGE(FPDF_LoadMemDocument64, Handle(WINAPI*)(const void*, size_t, const char*));
  BRIDGE(FPDF_GetLastError, unsigned int(WINAPI*)(void));
  EXPECT_TRUE(FPDF_LoadDocument("C:\\no such folder\\missing.pdf", NULL) == NULL);
  EXPECT_EQ(errorFile, FPDF_GetLastError());
  static const char damaged[] = "%PDF-1.4\nnot a document at all";
  EXPECT_TRUE(FPDF_LoadMemDocument64(damaged, sizeof damaged - 1, NULL) == NULL);
  EXPECT_EQ(errorFormat, FPDF_GetLastError());
}

// Wide strings as vectors: Winelib's std::wstring runs on glibc's 4-byte wchar_t.
static std::vector<WCHAR> temporaryFile(const WCHAR* name) {
  WCHAR folder[MAX_PATH];
  DWORD length = GetTempPathW(MAX_PATH, folder);
  std::vector<WCHAR> path(folder, folder + length);
  while (*name) path.push_back(*name++);
  path.push_back(0);
  return path;
}

static bool writeFile(const WCHAR* path, const std::string& bytes) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL) && written == bytes.size();
  CloseHandle(file);
  return ok;
}

// A Windows path in UTF-8 with letters outside ASCII (and outside Latin-1).
TEST_F(Bridge, LoadDocumentTakesAWindowsPathInUtf8) {
  BRIDGE(FPDF_LoadDocument, Handle(WINAPI*)(const char*, const char*));
  BRIDGE(FPDF_GetPageCount, int(WINAPI*)(Handle));
  BRIDGE(FPDF_GetPageSizeByIndex, int(WINAPI*)(Handle, int, double*, double*));
  BRIDGE(FPDF_CloseDocument, void(WINAPI*)(Handle));
  static const WCHAR name[] = {'c', 'a', 'f', 0xE9, '-', 0x6F22, 0x5B57, '-', 0x3A9, '.', 'p', 'd', 'f', 0};
  std::vector<WCHAR> path = temporaryFile(name);
  ASSERT_TRUE(writeFile(path.data(), makeTestPdf(std::vector<std::pair<int, int>>{{300, 400}, {500, 200}})));
  char utf8[4 * MAX_PATH];
  ASSERT_GT(WideCharToMultiByte(CP_UTF8, 0, path.data(), -1, utf8, sizeof utf8, NULL, NULL), 0);
  ASSERT_EQ(':', utf8[1]) << "a drive-letter path: " << utf8;
  Handle document = FPDF_LoadDocument(utf8, NULL);
  ASSERT_TRUE(document != NULL) << utf8;
  EXPECT_EQ(2, FPDF_GetPageCount(document));
  double width = 0, height = 0;
  EXPECT_TRUE(FPDF_GetPageSizeByIndex(document, 1, &width, &height));
  EXPECT_EQ(500, width);
  EXPECT_EQ(200, height);
  FPDF_CloseDocument(document);
  DeleteFileW(path.data());
}

// ---- rendering -----------------------------------------------------------------------------------

struct Rendering {
  Handle document = NULL, page = NULL;
};

static Rendering openPage(const std::string& pdf) {
  BRIDGE(FPDF_LoadMemDocument64, Handle(WINAPI*)(const void*, size_t, const char*));
  BRIDGE(FPDF_LoadPage, Handle(WINAPI*)(Handle, int));
  Rendering r;
  r.document = FPDF_LoadMemDocument64(pdf.data(), pdf.size(), NULL);
  if (r.document) r.page = FPDF_LoadPage(r.document, 0);
  return r;
}

static void closePage(Rendering* r) {
  BRIDGE(FPDF_ClosePage, void(WINAPI*)(Handle));
  BRIDGE(FPDF_CloseDocument, void(WINAPI*)(Handle));
  if (r->page) FPDF_ClosePage(r->page);
  if (r->document) FPDF_CloseDocument(r->document);
}

// The page rendered at once onto white, as the reference pixels.
static std::vector<unsigned char> renderAtOnce(Handle page, int width, int height) {
  BRIDGE(FPDFBitmap_Create, Handle(WINAPI*)(int, int, int));
  BRIDGE(FPDFBitmap_FillRect, void(WINAPI*)(Handle, int, int, int, int, unsigned int));
  BRIDGE(FPDFBitmap_GetBuffer, unsigned char*(WINAPI*)(Handle));
  BRIDGE(FPDFBitmap_Destroy, void(WINAPI*)(Handle));
  BRIDGE(FPDF_RenderPageBitmap, void(WINAPI*)(Handle, Handle, int, int, int, int, int, int));
  Handle bitmap = FPDFBitmap_Create(width, height, 0);
  FPDFBitmap_FillRect(bitmap, 0, 0, width, height, 0xFFFFFFFF);
  FPDF_RenderPageBitmap(bitmap, page, 0, 0, width, height, 0, 0);
  const unsigned char* p = FPDFBitmap_GetBuffer(bitmap);
  std::vector<unsigned char> pixels(p, p + (size_t)width * height * 4);
  FPDFBitmap_Destroy(bitmap);
  return pixels;
}

struct PauseLog {
  int asked = 0;
  int pausesLeft = 3;
  bool ownRecord = true;
};

static int WINAPI pauseThreeTimes(WindowsPause* pause) {
  PauseLog* log = (PauseLog*)pause->user;
  log->asked++;
  if (pause->NeedToPauseNow != pauseThreeTimes) log->ownRecord = false;
  if (log->pausesLeft == 0) return 0;
  log->pausesLeft--;
  return 1;
}

// PDFium, in Linux code, calls the program's Windows function back; three pauses
// give three "to be continued", and the finished picture is the one-go picture.
TEST_F(Bridge, ProgressiveRenderingPausesThreeTimes) {
  // Many page objects, all on the page: PDFium asks after every hundred it draws.
  TestPage busy{200, 600 * 16 + 80, {}};
  for (int i = 0; i < 600; i++) busy.lines.push_back("line " + std::to_string(i));
  Rendering r = openPage(makeTestPdf(std::vector<TestPage>{busy}));
  ASSERT_TRUE(r.page != NULL);
  BRIDGE(FPDFBitmap_Create, Handle(WINAPI*)(int, int, int));
  BRIDGE(FPDFBitmap_FillRect, void(WINAPI*)(Handle, int, int, int, int, unsigned int));
  BRIDGE(FPDFBitmap_GetBuffer, unsigned char*(WINAPI*)(Handle));
  BRIDGE(FPDFBitmap_Destroy, void(WINAPI*)(Handle));
  BRIDGE(FPDF_RenderPageBitmap_Start, int(WINAPI*)(Handle, Handle, int, int, int, int, int, int, WindowsPause*));
  BRIDGE(FPDF_RenderPage_Continue, int(WINAPI*)(Handle, WindowsPause*));
  BRIDGE(FPDF_RenderPage_Close, void(WINAPI*)(Handle));
  const int width = 100, height = 4840;
  Handle bitmap = FPDFBitmap_Create(width, height, 0);
  FPDFBitmap_FillRect(bitmap, 0, 0, width, height, 0xFFFFFFFF);
  PauseLog log;
  WindowsPause pause = {1, pauseThreeTimes, &log};
  int continued = 0;
  int status = FPDF_RenderPageBitmap_Start(bitmap, r.page, 0, 0, width, height, 0, 0, &pause);
  for (int rounds = 0; status == renderToBeContinued && rounds < 100; rounds++) {
    continued++;
    status = FPDF_RenderPage_Continue(r.page, &pause);
  }
  EXPECT_EQ(renderDone, status);
  EXPECT_EQ(3, continued);
  EXPECT_GT(log.asked, 3) << "PDFium asked again after the last pause";
  EXPECT_TRUE(log.ownRecord) << "the callback received the program's own record";
  const unsigned char* p = FPDFBitmap_GetBuffer(bitmap);
  std::vector<unsigned char> progressive(p, p + (size_t)width * height * 4);
  FPDF_RenderPage_Close(r.page);
  FPDFBitmap_Destroy(bitmap);
  EXPECT_TRUE(progressive == renderAtOnce(r.page, width, height));
  closePage(&r);
}

// Forced colours given as the program's four 32-bit colours: the page's black
// square comes out in the scheme's path fill colour, and the paper is untouched.
TEST_F(Bridge, ColourSchemeColoursReachPdfium) {
  Rendering r = openPage(makeTestPdf(std::vector<TestPage>{TestPage{200, 150, {}}}));
  ASSERT_TRUE(r.page != NULL);
  BRIDGE(FPDFBitmap_Create, Handle(WINAPI*)(int, int, int));
  BRIDGE(FPDFBitmap_FillRect, void(WINAPI*)(Handle, int, int, int, int, unsigned int));
  BRIDGE(FPDFBitmap_GetBuffer, unsigned char*(WINAPI*)(Handle));
  BRIDGE(FPDFBitmap_Destroy, void(WINAPI*)(Handle));
  BRIDGE(FPDF_RenderPageBitmapWithColorScheme_Start,
         int(WINAPI*)(Handle, Handle, int, int, int, int, int, int, const unsigned int*, WindowsPause*));
  BRIDGE(FPDF_RenderPage_Close, void(WINAPI*)(Handle));
  const unsigned int scheme[4] = {0xFF2040C0, 0xFF000000, 0xFF000000, 0xFF000000};   // path fill, stroke, text
  Handle bitmap = FPDFBitmap_Create(200, 150, 0);
  FPDFBitmap_FillRect(bitmap, 0, 0, 200, 150, 0xFFFFFFFF);
  WindowsPause never = {1, NULL, NULL};
  EXPECT_EQ(renderDone,
            FPDF_RenderPageBitmapWithColorScheme_Start(bitmap, r.page, 0, 0, 200, 150, 0, 0, scheme, &never));
  FPDF_RenderPage_Close(r.page);
  const unsigned char* p = FPDFBitmap_GetBuffer(bitmap);
  const unsigned char* square = p + (80 * 200 + 70) * 4;   // inside the square, 20..120 both ways
  EXPECT_EQ(0xC0, square[0]);
  EXPECT_EQ(0x40, square[1]);
  EXPECT_EQ(0x20, square[2]);
  EXPECT_EQ(0xFF, p[(5 * 200 + 190) * 4]);   // paper
  FPDFBitmap_Destroy(bitmap);
  closePage(&r);
}

// Into a memory context: the page's rectangle gets exactly the bitmap render's
// pixels, and what lies around it is left as it was.
TEST_F(Bridge, RenderPageIntoADeviceContextMatchesTheBitmapRender) {
  Rendering r = openPage(makeTestPdf(std::vector<TestPage>{TestPage{200, 150, {"Brisa", "bridge"}}}));
  ASSERT_TRUE(r.page != NULL);
  BRIDGE(FPDF_RenderPage, void(WINAPI*)(HDC, Handle, int, int, int, int, int, int));
  const int side = 300, x = 40, y = 30, width = 200, height = 150;
  BITMAPINFO info;
  ZeroMemory(&info, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = side;
  info.bmiHeader.biHeight = -side;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = NULL;
  HDC dc = CreateCompatibleDC(NULL);
  HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  ASSERT_TRUE(section != NULL);
  HGDIOBJ old = SelectObject(dc, section);
  unsigned int* pixels = (unsigned int*)bits;
  for (int i = 0; i < side * side; i++) pixels[i] = 0x00FFFFFF;   // white, as the reference
  pixels[0] = 0x00123456;
  FPDF_RenderPage(dc, r.page, x, y, width, height, 0, 0);
  GdiFlush();
  std::vector<unsigned char> expected = renderAtOnce(r.page, width, height);
  int differing = 0;
  for (int row = 0; row < height; row++)
    for (int column = 0; column < width; column++) {
      unsigned int want;
      memcpy(&want, &expected[((size_t)row * width + column) * 4], 4);
      if ((pixels[(y + row) * side + x + column] & 0xFFFFFF) != (want & 0xFFFFFF)) differing++;
    }
  EXPECT_EQ(0, differing);
  EXPECT_EQ(0x123456u, pixels[0] & 0xFFFFFF) << "outside the rectangle nothing changes";
  int dark = 0;
  for (int i = 0; i < side * side; i++) dark += (pixels[i] & 0xFF) < 128;
  EXPECT_GT(dark, 100 * 100 / 4) << "the page's black square was drawn";
  SelectObject(dc, old);
  DeleteObject(section);
  DeleteDC(dc);
  closePage(&r);
}

// ---- the program's file reader -------------------------------------------------------------------

// Windows' record: a 32-bit length (then 4 bytes of padding), 32-bit offsets and sizes.
struct WindowsFileAccess {
  unsigned long long lengthAndPadding;   // little-endian: the length is the low half
  int(WINAPI* getBlock)(void* param, unsigned int position, unsigned char* buffer, unsigned int size);
  void* param;
};

struct Served {
  std::string bytes;
  size_t cutAt;   // reads past it fail, as after the file was cut
  int reads;
};

static int WINAPI serveBlock(void* param, unsigned int position, unsigned char* buffer, unsigned int size) {
  Served* served = (Served*)param;
  served->reads++;
  if ((size_t)position + size > served->cutAt) return 0;
  memcpy(buffer, served->bytes.data() + position, size);
  return 1;
}

// PDFium reads through the program's Windows function, and a read refused
// (a file cut since the open) makes a load fail rather than fault.
TEST_F(Bridge, CustomDocumentReadsThroughTheProgramsReader) {
  BRIDGE(FPDF_LoadCustomDocument, Handle(WINAPI*)(WindowsFileAccess*, const char*));
  BRIDGE(FPDF_GetPageCount, int(WINAPI*)(Handle));
  BRIDGE(FPDF_CloseDocument, void(WINAPI*)(Handle));
  std::string pdf = makeTestPdf(std::vector<std::pair<int, int>>{{300, 400}, {500, 200}, {200, 200}});
  const size_t cuts[] = {pdf.size(), pdf.size() / 2, 0};
  const int pages[] = {3, 0, 0};
  for (int i = 0; i < 3; i++) {
    Served served = {pdf, cuts[i], 0};
    // Garbage in the padding, which is not part of the length.
    WindowsFileAccess access = {pdf.size() | 0xAB00000000ull, serveBlock, &served};
    Handle document = FPDF_LoadCustomDocument(&access, NULL);
    EXPECT_EQ(pages[i], document ? FPDF_GetPageCount(document) : 0) << "cut at " << cuts[i];
    EXPECT_GT(served.reads, 0) << "cut at " << cuts[i];
    if (document) FPDF_CloseDocument(document);
  }
}
