#include "print/sheet.h"

#include <math.h>

uint16_t dialogPageField(int pageCount) {
  if (pageCount < 0) return 0;
  if (pageCount > dialogPageLimit) return (uint16_t)dialogPageLimit;   // 65,536 pages would wrap to 0
  return (uint16_t)pageCount;
}

// The current page wins over a typed range, which wins over all pages.
PageRange choosePageRange(uint32_t flags, int fromPage, int toPage, int pageCount, int currentPage) {
  int first = 1, last = pageCount;
  if (flags & rangeFlagPageNumbers) {
    first = fromPage;
    last = toPage;
  }
  if (flags & rangeFlagCurrentPage) first = last = currentPage + 1;
  PageRange range;
  range.firstIndex = (first > 1 ? first : 1) - 1;
  range.endIndex = last < pageCount ? last : pageCount;
  return range;
}

bool placeOnSheet(double pageWidth, double pageHeight, int paperWidth, int paperHeight, SheetBox* box) {
  if (!(pageWidth > 0) || !(pageHeight > 0)) return false;   // zero, negative or NaN
  if (!isfinite(pageWidth) || !isfinite(pageHeight)) return false;
  if (paperWidth <= 0 || paperHeight <= 0) return false;
  bool paperLandscape = paperWidth > paperHeight;
  bool pageLandscape = pageWidth > pageHeight;   // a square is portrait
  int rotate = paperLandscape != pageLandscape ? 1 : 0;
  double extentX = rotate ? pageHeight : pageWidth;
  double extentY = rotate ? pageWidth : pageHeight;
  double scaleX = paperWidth / extentX, scaleY = paperHeight / extentY;
  double scale = scaleX < scaleY ? scaleX : scaleY;
  if (!isfinite(scale)) return false;   // an extent too small to divide by
  // The limiting side is the paper's exactly: (7 / 612) x 612 is a hair under 7
  // in doubles and would truncate a pixel short. The other side never passes
  // the paper's by a whole pixel, so it fits an int.
  int width = scaleX <= scaleY ? paperWidth : (int)(extentX * scale);
  int height = scaleX <= scaleY ? (int)(extentY * scale) : paperHeight;
  if (width < 1 || height < 1) return false;   // a sliver: nothing to draw
  box->x = (paperWidth - width) / 2;
  box->y = (paperHeight - height) / 2;
  box->width = width;
  box->height = height;
  box->rotate = rotate;
  return true;
}

int bandRows(int width, int height, size_t maxBytes) {
  if (width < 1 || height < 1) return 1;
  size_t rows = maxBytes / ((size_t)width * 4);
  if (rows < 1) return 1;
  return rows < (size_t)height ? (int)rows : height;
}
