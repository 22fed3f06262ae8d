// Painting the view: the invalid rectangle only, rendered into one bitmap and
// copied to the screen in one call, whatever the number of pages in it.
#include "base/base.h"
#include "viewer/viewer.h"
#include "search/search.h"
#include "comics/pages.h"
#include "viewer/night.h"

static const FPDF_DWORD VIEW_GREY = 0xFF808080;
static const FPDF_DWORD PAGE_WHITE = 0xFFFFFFFF;
static const FPDF_DWORD NIGHT_GREY = 0xFF161616;   // darker than night paper, so that pages stand out
static const FPDF_DWORD PRESENTATION_BLACK = 0xFF000000;

static FPDF_DWORD viewBackground() {
  if (viewState.presenting) return PRESENTATION_BLACK;
  return viewState.nightMode ? NIGHT_GREY : VIEW_GREY;
}

static void paintEmptyHint(HDC dc, HWND window) {
  RECT client;
  GetClientRect(window, &client);
  FillRect(dc, &client, (HBRUSH)GetStockObject(GRAY_BRUSH));
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, uiFont);
  DrawTextW(dc,
            pickText(L"Ctrl+O ou glisser ici un PDF ou une BD (CBZ, CBR)      F1 : \u00e0 propos",
                     L"Ctrl+O or drop a PDF or a comic (CBZ, CBR) here      F1: about"),
            -1, &client, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
  SelectObject(dc, oldFont);
}

// Highlights the current match on the page just rendered at (x, y, w, h).
static void tintMatch(FPDF_PAGE page, unsigned char* bits, int width, int height, int x, int y, int w, int h) {
  for (int i = 0; i < searchState.matchRectCount && i < MAX_MATCH_RECTS; i++) {
    const MatchRect& r = searchState.matchRects[i];
    int x0, y0, x1, y1;
    FPDF_PageToDevice(page, x, y, w, h, viewState.quarterTurns, r.left, r.top, &x0, &y0);
    FPDF_PageToDevice(page, x, y, w, h, viewState.quarterTurns, r.right, r.bottom, &x1, &y1);
    tintMatchArea(bits, width, height, x0, y0, x1, y1);
  }
}

static void renderPdfPage(FPDF_BITMAP bitmap, unsigned char* bits, int width, int height, int index, int x, int y,
                          int w, int h) {
  FPDF_PAGE page = getCachedPage(index);
  // Before the tint: the match stays the same bright yellow over dark paper.
  if (page && viewState.nightMode) {
    renderNightPdfPage(bitmap, bits, width, height, page, x, y, w, h, FPDF_ANNOT | FPDF_LCD_TEXT);
  } else {
    // A page PDFium cannot load stays a blank rectangle.
    FPDFBitmap_FillRect(bitmap, x, y, w, h, PAGE_WHITE);
    if (page) FPDF_RenderPageBitmap(bitmap, page, x, y, w, h, viewState.quarterTurns, FPDF_ANNOT | FPDF_LCD_TEXT);
    if (viewState.nightMode) turnToNight(bits, width, height, x, y, x + w, y + h);
  }
  if (page && index == searchState.matchPage && searchState.matchRectCount > 0)
    tintMatch(page, bits, width, height, x, y, w, h);
}

// Renders the pages crossing the rectangle (view client coordinates).
static void paintPages(HDC dc, int left, int top, int right, int bottom) {
  int width = right - left, height = bottom - top;
  if (width <= 0 || height <= 0) return;
  FPDF_BITMAP bitmap = FPDFBitmap_Create(width, height, 0);
  if (!bitmap) return;
  unsigned char* bits = (unsigned char*)FPDFBitmap_GetBuffer(bitmap);
  if (!bits || FPDFBitmap_GetStride(bitmap) != width * 4) {
    FPDFBitmap_Destroy(bitmap);
    return;
  }
  FPDFBitmap_FillRect(bitmap, 0, 0, width, height, viewBackground());

  const DocumentState& d = documentState;
  const ViewState& v = viewState;
  int first = 0, end = d.pageCount;
  int shiftX = centringOffset() - v.scrollX, shiftY = -v.scrollY;
  if (v.presenting) presentedRow(&first, &end, &shiftX, &shiftY);
  for (int i = first; i < end; i++) {
    int x = d.pageLefts[i] + shiftX - left;
    int y = d.pageTops[i] + shiftY - top;
    int w = pagePixels(d.pageWidths[i]);
    int h = pagePixels(d.pageHeights[i]);
    if (y >= height) break;   // this page and every later one start below
    if ((int64_t)y + h <= 0 || x >= width || (int64_t)x + w <= 0) continue;
    if (d.comicArchive)
      drawComicPage(d.comicArchive, i, bits, width, height, x, y, w, h);
    else
      renderPdfPage(bitmap, bits, width, height, i, x, y, w, h);
  }

  BITMAPINFO info = topDownBitmapInfo(width, height);
  SetDIBitsToDevice(dc, left, top, width, height, 0, 0, 0, height, bits, &info, DIB_RGB_COLORS);
  FPDFBitmap_Destroy(bitmap);
}

void paintView(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  if (documentIsOpen())
    paintPages(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom);
  else
    paintEmptyHint(dc, window);
  EndPaint(window, &ps);
}
