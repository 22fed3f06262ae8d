// Printing, in this process, on memory device contexts whose pixels can be read
// back: a job that cannot start, the release of what the dialog returned, the
// banded rendering of PDF pages and the stretching of decoded images.
#include "app/app.h"
#include "comics/archive/memory.h"
#include "print/print.h"
#include "tests/inproc/gtest.h"
#include "tests/support/inproc.h"
#include "tests/support/pdfwriter.h"
#include "viewer/viewer.h"

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

const uint32_t GREY = 0x808080, WHITE = 0xFFFFFF, RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF, BLACK = 0x000000;

// A memory device context over a 32-bit top-down bitmap whose pixels we read.
struct Canvas {
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ previous;
  uint32_t* pixels;
  int width, height;
};

Canvas makeCanvas(int width, int height, uint32_t fill) {
  Canvas canvas = {};
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = NULL;
  canvas.bitmap = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  canvas.dc = CreateCompatibleDC(NULL);
  canvas.previous = SelectObject(canvas.dc, canvas.bitmap);
  canvas.pixels = (uint32_t*)bits;
  canvas.width = width;
  canvas.height = height;
  for (int i = 0; i < width * height; i++) canvas.pixels[i] = fill;
  return canvas;
}

void freeCanvas(Canvas& canvas) {
  if (canvas.dc) {
    SelectObject(canvas.dc, canvas.previous);
    DeleteDC(canvas.dc);
  }
  DeleteObject(canvas.bitmap);
}

uint32_t pixelAt(const Canvas& canvas, int x, int y) {
  GdiFlush();
  return canvas.pixels[(size_t)y * canvas.width + x] & 0xFFFFFF;
}

int countPixels(const Canvas& canvas, uint32_t colour) {
  GdiFlush();
  int count = 0;
  for (int i = 0; i < canvas.width * canvas.height; i++) count += (canvas.pixels[i] & 0xFFFFFF) == colour;
  return count;
}

// True when every pixel outside the box still has the canvas's first colour.
bool untouchedOutside(const Canvas& canvas, const SheetBox& box, uint32_t colour) {
  GdiFlush();
  for (int y = 0; y < canvas.height; y++)
    for (int x = 0; x < canvas.width; x++) {
      bool inside = x >= box.x && x < box.x + box.width && y >= box.y && y < box.y + box.height;
      if (!inside && (canvas.pixels[(size_t)y * canvas.width + x] & 0xFFFFFF) != colour) return false;
    }
  return true;
}

std::string tempPdf(const std::vector<TestPage>& pages) {
  char pattern[] = "/tmp/brisa-print-XXXXXX";
  std::string path = std::string(mkdtemp(pattern)) + "/print.pdf";
  return writeFile(path, makeTestPdf(pages));
}

// The program's windows with a document open, as Ctrl+P finds them.
struct Printing : ::testing::Test {
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brisa");
    writeSetting(L"HideAboutOnStartup", 1);
    wchar_t line[] = L"brisa";
    startBrisa(GetModuleHandleW(NULL), line);
    pumpMessages();
  }
  void TearDown() override {
    if (frameWindow) DestroyWindow(frameWindow);
    pumpMessages();
    stopBrisa();
    frameWindow = viewWindow = searchBox = thumbnailWindow = NULL;
    closeDocument();
  }
  void open(const std::vector<TestPage>& pages) {
    wchar_t path[MAX_PATH_UNITS];
    MultiByteToWideChar(CP_UTF8, 0, tempPdf(pages).c_str(), -1, path, MAX_PATH_UNITS);
    openDocument(path);
    pumpMessages();
    ASSERT_EQ((int)pages.size(), documentState.pageCount);
  }
};

// What the dialog returned when the printer cannot start a job: a device
// context that draws into our bitmap, and two global blocks.
struct DialogAnswer {
  PRINTDLGW dialog;
  Canvas canvas;
};

DialogAnswer answerWithMemoryDc() {
  DialogAnswer answer;
  preparePrintDialog(&answer.dialog);
  answer.canvas = makeCanvas(64, 64, GREY);
  answer.dialog.hDC = answer.canvas.dc;
  answer.dialog.hDevMode = GlobalAlloc(GMEM_MOVEABLE, sizeof(DEVMODEW));
  answer.dialog.hDevNames = GlobalAlloc(GMEM_MOVEABLE, 64);
  return answer;
}

}   // namespace

// A memory device context cannot start a print job: nothing is drawn, and the
// device context and both global blocks are still released.
TEST_F(Printing, JobThatCannotStartDrawsNothingAndReleasesEverything) {
  open({{400, 600, {}}, {600, 400, {}}});
  DOCINFOW probe = {sizeof probe, L"probe", NULL, NULL, 0};
  HDC check = CreateCompatibleDC(NULL);
  ASSERT_LE(StartDocW(check, &probe), 0) << "a memory device context must refuse a print job";
  DeleteDC(check);

  DialogAnswer answer = answerWithMemoryDc();
  HDC dc = answer.dialog.hDC;
  HGLOBAL devMode = answer.dialog.hDevMode, devNames = answer.dialog.hDevNames;
  ASSERT_NE(0u, GlobalSize(devMode));
  printChosenPages(&answer.dialog);
  EXPECT_EQ(64 * 64, countPixels(answer.canvas, GREY)) << "no page was drawn";
  EXPECT_EQ((DWORD)OBJ_MEMDC, GetObjectType(dc)) << "the job leaves the release to the caller";

  releasePrintDialog(&answer.dialog);
  EXPECT_EQ(0u, GetObjectType(dc)) << "the device context is deleted";
  EXPECT_EQ(0u, GlobalSize(devMode)) << "the device mode is freed";
  EXPECT_EQ(0u, GlobalSize(devNames)) << "the device names are freed";
  EXPECT_EQ(NULL, answer.dialog.hDC);
  EXPECT_EQ(NULL, answer.dialog.hDevMode);
  EXPECT_EQ(NULL, answer.dialog.hDevNames);
  answer.canvas.dc = NULL;   // already deleted
  freeCanvas(answer.canvas);
}

// A cancelled dialog may still hand back the two blocks (no device context):
// they are freed too, and a record with nothing in it releases nothing.
TEST_F(Printing, CancelledDialogStillFreesWhatItReturned) {
  PRINTDLGW dialog;
  preparePrintDialog(&dialog);
  dialog.hDevMode = GlobalAlloc(GMEM_MOVEABLE, sizeof(DEVMODEW));
  dialog.hDevNames = GlobalAlloc(GMEM_MOVEABLE, 64);
  HGLOBAL devMode = dialog.hDevMode, devNames = dialog.hDevNames;
  releasePrintDialog(&dialog);
  EXPECT_EQ(0u, GlobalSize(devMode));
  EXPECT_EQ(0u, GlobalSize(devNames));
  releasePrintDialog(&dialog);   // nothing left: no double free
  EXPECT_EQ(NULL, dialog.hDevMode);
}

#ifdef __WINE__
// Bands of a few rows each, joined on the device, equal one render of the
// whole box, turned or not; nothing is drawn outside the box.
TEST_F(Printing, PdfBandsJoinWithoutASeam) {
  std::vector<std::string> lines(20, "The quick brown fox jumps over the lazy dog 0123456789");
  open({{300, 420, lines}});
  FPDF_PAGE page = getCachedPage(0);
  ASSERT_TRUE(page != NULL);
  for (int rotate = 0; rotate < 2; rotate++) {
    SCOPED_TRACE(rotate ? "turned" : "upright");
    SheetBox box = {13, 9, 301, 421, rotate};
    Canvas canvas = makeCanvas(330, 440, GREY);
    size_t band = (size_t)box.width * 4 * 7 + 5;   // 7 rows, the last band shorter
    ASSERT_EQ(7, bandRows(box.width, box.height, band));
    renderPdfPageInBands(canvas.dc, page, box, band);

    FPDF_BITMAP whole = FPDFBitmap_Create(box.width, box.height, 0);
    FPDFBitmap_FillRect(whole, 0, 0, box.width, box.height, 0xFFFFFFFF);
    FPDF_RenderPageBitmap(whole, page, 0, 0, box.width, box.height, rotate, FPDF_ANNOT | FPDF_PRINTING);
    const uint8_t* expected = (const uint8_t*)FPDFBitmap_GetBuffer(whole);
    int stride = FPDFBitmap_GetStride(whole);
    int different = 0, dark = 0;
    for (int y = 0; y < box.height; y++)
      for (int x = 0; x < box.width; x++) {
        uint32_t want = *(const uint32_t*)(expected + (size_t)y * stride + x * 4) & 0xFFFFFF;
        uint32_t got = pixelAt(canvas, box.x + x, box.y + y);
        different += want != got;
        dark += got == BLACK;
      }
    FPDFBitmap_Destroy(whole);
    EXPECT_EQ(0, different) << "pixels differing from a single render";
    EXPECT_GT(dark, 1000) << "the page's square and text are drawn";
    EXPECT_TRUE(untouchedOutside(canvas, box, GREY)) << "nothing outside the box";
    // The black square of the page's top-left corner: top-left upright, top-right turned.
    EXPECT_EQ(BLACK, pixelAt(canvas, rotate ? box.x + box.width - 60 : box.x + 60, box.y + 60));
    freeCanvas(canvas);
  }
}
#endif

namespace {

// A 40 x 20 image: red left half, blue right half, with a green top-left 10 x 10 corner.
uint8_t* decodedImage() {
  const int width = 40, height = 20;
  uint32_t* pixels = (uint32_t*)allocBytes(width * height * 4);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++)
      pixels[y * width + x] = 0xFF000000 | (x < 10 && y < 10 ? GREEN : x < 20 ? RED : BLUE);
  return (uint8_t*)pixels;
}

}   // namespace

// Unturned, the image fills the box as it is; turned, its top-left corner goes
// to the box's top-right and its left half to the box's top half.
TEST(PrintImage, DecodedImageIsStretchedIntoTheBoxAndTurned) {
  Canvas canvas = makeCanvas(200, 200, GREY);
  printDecodedImage(canvas.dc, decodedImage(), 40, 20, SheetBox{20, 30, 160, 80, 0});
  EXPECT_EQ(GREEN, pixelAt(canvas, 30, 40));
  EXPECT_EQ(RED, pixelAt(canvas, 80, 100));
  EXPECT_EQ(BLUE, pixelAt(canvas, 150, 70));
  EXPECT_EQ(GREY, pixelAt(canvas, 10, 10));
  EXPECT_EQ(GREY, pixelAt(canvas, 100, 120));
  EXPECT_EQ(200 * 200 - 160 * 80, countPixels(canvas, GREY)) << "nothing outside the box";
  freeCanvas(canvas);

  canvas = makeCanvas(200, 200, GREY);
  printDecodedImage(canvas.dc, decodedImage(), 40, 20, SheetBox{50, 10, 80, 160, 1});
  EXPECT_EQ(GREEN, pixelAt(canvas, 50 + 80 - 10, 10 + 10));   // top-right
  EXPECT_EQ(RED, pixelAt(canvas, 60, 60));                    // the top half, left side
  EXPECT_EQ(BLUE, pixelAt(canvas, 90, 140));                  // the bottom half
  EXPECT_EQ(GREY, pixelAt(canvas, 40, 100));
  EXPECT_EQ(200 * 200 - 80 * 160, countPixels(canvas, GREY));
  freeCanvas(canvas);
}
