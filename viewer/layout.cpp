// Page geometry: where every page sits on the canvas, which page is current,
// how far the view may scroll. Pure arithmetic over the two global records, so
// that it runs the same in the program and in the native tests.
#include "viewer/viewer.h"

#include <limits.h>
#include <math.h>

DocumentState documentState;
ViewState viewState;

// The largest canvas extent we lay out: positions and scroll ranges stay ints.
static const int64_t MAX_CANVAS = INT_MAX / 2;

bool documentIsOpen() {
  return documentState.pdfDocument != 0 || documentState.comicArchive != 0;
}

// "PK\3\4" starts a local header, "PK\5\6" the end record of an empty archive;
// "Rar!\x1A\x07" starts both RAR 4 and RAR 5 archives. The name plays no part.
ArchiveKind detectArchiveKind(const unsigned char* bytes, uint64_t size) {
  if (size >= 4 && bytes[0] == 0x50 && bytes[1] == 0x4B && (bytes[2] == 3 || bytes[2] == 5) &&
      (bytes[3] == 4 || bytes[3] == 6))
    return ZIP_ARCHIVE;
  static const unsigned char rar[6] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07};
  if (size >= 7) {
    int i = 0;
    while (i < 6 && bytes[i] == rar[i]) i++;
    if (i == 6) return RAR_ARCHIVE;
  }
  return NOT_AN_ARCHIVE;
}

// Where the canvas starts in the view: a layout narrower than the view is
// centred in it, a wider one starts at the left and scrolls.
int centringOffset() {
  const ViewState& v = viewState;
  return v.layoutWidth < v.viewWidth ? (v.viewWidth - v.layoutWidth) / 2 : 0;
}

// The characters after the last backslash or slash; the whole path without one.
const Utf16* fileNameOf(const Utf16* path) {
  const Utf16* name = path;
  for (const Utf16* p = path; *p; p++)
    if (*p == '\\' || *p == '/') name = p + 1;
  return name;
}

// A size PDFium could not give, or gave as nonsense, becomes a Letter page, so
// that no NaN or negative extent ever reaches the layout.
void storePageSize(int index, double width, double height) {
  if (!isfinite(width) || !isfinite(height) || width < 0 || height < 0) {
    width = 612;
    height = 792;
  }
  documentState.pageWidths[index] = width;
  documentState.pageHeights[index] = height;
}

static int64_t roundedPixels(double points, double zoom) {
  double pixels = points * zoom + 0.5;
  if (!(pixels > 0)) return 0;
  if (pixels >= (double)MAX_CANVAS) return MAX_CANVAS;
  return (int64_t)pixels;
}

// A page extent in pixels at the current zoom: truncate(points x zoom + 0.5).
int pagePixels(double points) {
  return (int)roundedPixels(points, viewState.zoom);
}

static double widestPage() {
  double widest = 0;
  for (int i = 0; i < documentState.pageCount; i++)
    if (documentState.pageWidths[i] > widest) widest = documentState.pageWidths[i];
  return widest;
}

static bool laysOutSpreads() {
  return viewState.doublePage && documentState.pageCount > 1;
}

static bool isWidePage(int page) {
  return documentState.pageWidths[page] > documentState.pageHeights[page];
}

// One row of a two-page layout from page `next`, as (left, right) before any
// mirroring, -1 for an empty side; *centred when its one page stands in the
// middle. Returns the first page of the next row. The cover alone goes on the
// right; with wide pages alone, a wide page takes a row of its own and a page
// left without its partner keeps its side.
static int spreadRow(int next, bool first, int* left, int* right, bool* centred) {
  const DocumentState& d = documentState;
  bool wideAlone = viewState.widePagesAlone;
  *centred = false;
  if (wideAlone && isWidePage(next)) {
    *left = next;
    *right = -1;
    *centred = true;
    return next + 1;
  }
  if (first && !viewState.coverPaired) {
    *left = -1;
    *right = next;
    return next + 1;
  }
  *left = next;
  *right = next + 1 < d.pageCount && !(wideAlone && isWidePage(next + 1)) ? next + 1 : -1;
  return *right >= 0 ? next + 2 : next + 1;
}

// Places the pages at the given zoom; returns the canvas height (64-bit, so that
// the caller can see an overflow before anything is stored in an int).
static int64_t placeRows(double zoom, int64_t layoutWidth, bool store) {
  const DocumentState& d = documentState;
  int64_t y = LAYOUT_MARGIN;
  int i = 0;
  if (laysOutSpreads()) {
    int64_t centre = layoutWidth / 2;
    bool first = true;
    while (i < d.pageCount) {
      int left, right;
      bool centred;
      i = spreadRow(i, first, &left, &right, &centred);
      first = false;
      if (viewState.rightToLeft && !centred) {   // the row's mirror image: the cover alone on the left
        int earlier = left;
        left = right;
        right = earlier;
      }
      int64_t rowHeight = 0;
      if (left >= 0) {
        int64_t h = roundedPixels(d.pageHeights[left], zoom);
        int64_t w = roundedPixels(d.pageWidths[left], zoom);
        if (store) {
          d.pageLefts[left] = (int)(centred ? centre - w / 2 : centre - w - SPREAD_GAP / 2);
          d.pageTops[left] = (int)y;
        }
        if (h > rowHeight) rowHeight = h;
      }
      if (right >= 0) {
        int64_t h = roundedPixels(d.pageHeights[right], zoom);
        if (store) {
          d.pageLefts[right] = (int)(centre + SPREAD_GAP / 2);
          d.pageTops[right] = (int)y;
        }
        if (h > rowHeight) rowHeight = h;
      }
      y += rowHeight + LAYOUT_MARGIN;
      if (y > MAX_CANVAS) return y;
    }
  } else {
    for (; i < d.pageCount; i++) {
      if (store) {
        d.pageLefts[i] = (int)((layoutWidth - roundedPixels(d.pageWidths[i], zoom)) / 2);
        d.pageTops[i] = (int)y;
      }
      y += roundedPixels(d.pageHeights[i], zoom) + LAYOUT_MARGIN;
      if (y > MAX_CANVAS) return y;
    }
  }
  return y;
}

// The extent in points that the page's row needs, and the pixels added to its
// width: a row of a spread straddles the centre, so it needs twice its wider
// side and the gap; a single or centred page only its own width.
static void rowExtent(int page, double* width, double* height, int* gapPixels) {
  const DocumentState& d = documentState;
  *width = d.pageWidths[page];
  *height = d.pageHeights[page];
  *gapPixels = 0;
  if (!laysOutSpreads()) return;
  bool first = true;
  for (int i = 0; i < d.pageCount;) {
    int left, right;
    bool centred;
    int next = spreadRow(i, first, &left, &right, &centred);
    first = false;
    if (page < next) {
      if (centred) return;
      double wide = 0, tall = 0;
      const int row[2] = {left, right};
      for (int side : row) {
        if (side < 0) continue;
        if (d.pageWidths[side] > wide) wide = d.pageWidths[side];
        if (d.pageHeights[side] > tall) tall = d.pageHeights[side];
      }
      *width = 2 * wide;
      *height = tall;
      *gapPixels = SPREAD_GAP;
      return;
    }
    i = next;
  }
}

// The zoom at which the page, or its row of a spread, fits the view whole
// within the layout's margins; 0 when it cannot be computed (no such page, a
// page without extent, a view too small).
double fitPageZoom(int page) {
  const ViewState& v = viewState;
  if (page < 0 || page >= documentState.pageCount) return 0;
  double width, height;
  int gap;
  rowExtent(page, &width, &height, &gap);
  int roomX = v.viewWidth - gap - 16, roomY = v.viewHeight - 2 * LAYOUT_MARGIN;
  if (!(width > 0) || !(height > 0) || roomX <= 0 || roomY <= 0) return 0;
  double zoom = roomX / width < roomY / height ? roomX / width : roomY / height;
  return zoom < MIN_ZOOM ? MIN_ZOOM : (zoom < MAX_ZOOM ? zoom : MAX_ZOOM);
}

// Turns every page by quarter turns clockwise (negative: counter-clockwise)
// from how it is shown now; an odd change swaps each page's width and height.
void turnPageSizes(int quarterTurns) {
  DocumentState& d = documentState;
  int turns = (viewState.quarterTurns + quarterTurns) & 3;
  if ((turns ^ viewState.quarterTurns) & 1) {
    for (int i = 0; i < d.pageCount; i++) {
      double width = d.pageWidths[i];
      d.pageWidths[i] = d.pageHeights[i];
      d.pageHeights[i] = width;
    }
  }
  viewState.quarterTurns = turns;
}

// The page's own size, as the document gives it, whatever the view's turn.
void unturnedPageSize(int page, double* width, double* height) {
  bool sideways = (viewState.quarterTurns & 1) != 0;
  *width = sideways ? documentState.pageHeights[page] : documentState.pageWidths[page];
  *height = sideways ? documentState.pageWidths[page] : documentState.pageHeights[page];
}

// Fits the zoom when asked, then computes the canvas size and every page's
// position. A canvas that would not fit an int is shrunk by lowering the zoom.
void placePages() {
  DocumentState& d = documentState;
  ViewState& v = viewState;
  if (d.pageCount <= 0) {
    v.layoutWidth = v.layoutHeight = 0;
    return;
  }
  int gap = laysOutSpreads() ? SPREAD_GAP : 0;
  double maxW = widestPage();
  if (laysOutSpreads()) maxW *= 2;
  if (v.fitWidth && maxW > 0 && v.viewWidth > gap + 16) v.zoom = (v.viewWidth - gap - 16) / maxW;
  if (v.fitPage || v.presenting) {   // a presented row is fitted whole, whatever the zoom mode
    int page = v.presenting ? v.presentedPage : v.currentPage;
    double zoom = fitPageZoom(page >= 0 && page < d.pageCount ? page : 0);
    if (zoom > 0) v.zoom = zoom;
  }
  for (int attempt = 0; attempt < 64; attempt++) {
    int64_t width = roundedPixels(maxW, v.zoom) + gap + 16;
    int64_t height = width <= MAX_CANVAS ? placeRows(v.zoom, width, false) : MAX_CANVAS + 1;
    if (width <= MAX_CANVAS && height <= MAX_CANVAS) {
      placeRows(v.zoom, width, true);
      v.layoutWidth = (int)width;
      v.layoutHeight = (int)height;
      return;
    }
    int64_t larger = width > height ? width : height;
    v.zoom *= 0.9 * (double)MAX_CANVAS / (double)larger;
  }
  v.layoutWidth = v.layoutHeight = 0;   // unreachable in practice: zoom only shrinks
}

// A scroll position limited to the canvas: at most layout - view, at least 0.
int clampScroll(int position, int layoutSize, int viewSize) {
  int most = layoutSize - viewSize;
  if (position > most) position = most;
  if (position < 0) position = 0;
  return position;
}

// The current page: the first whose bottom edge lies below the line a third of
// the way down the view; 0 when none does (or there are no pages). While
// presenting, the first page of the row on screen.
int pageAtReadingLine() {
  const DocumentState& d = documentState;
  if (viewState.presenting) return rowStartOf(viewState.presentedPage);
  int64_t line = viewState.viewHeight / 3 + (int64_t)viewState.scrollY;
  for (int i = 0; i < d.pageCount; i++)
    if ((int64_t)d.pageTops[i] + pagePixels(d.pageHeights[i]) > line) return i;
  return 0;
}

// True when the page is the left one of a spread (its neighbour shares its top).
bool pageStartsSpread(int page) {
  const DocumentState& d = documentState;
  return page >= 0 && page + 1 < d.pageCount && d.pageTops[page] == d.pageTops[page + 1];
}

// Tints the match box, widened by one pixel on the left and top and including
// its right and bottom pixel, clipped to the bitmap: a half blend with
// (red 255, green 230, blue 0). The corners may come in any order.
void tintMatchArea(unsigned char* bits, int width, int height, int deviceX0, int deviceY0, int deviceX1, int deviceY1) {
  int lowX = deviceX0 < deviceX1 ? deviceX0 : deviceX1;
  int highX = deviceX0 < deviceX1 ? deviceX1 : deviceX0;
  int lowY = deviceY0 < deviceY1 ? deviceY0 : deviceY1;
  int highY = deviceY0 < deviceY1 ? deviceY1 : deviceY0;
  int x0 = lowX - 1 > 0 ? lowX - 1 : 0;
  int x1 = highX + 1 < width ? highX + 1 : width;
  int y0 = lowY - 1 > 0 ? lowY - 1 : 0;
  int y1 = highY + 1 < height ? highY + 1 : height;
  for (int y = y0; y < y1; y++) {
    unsigned char* pixel = bits + ((size_t)y * width + x0) * 4;
    for (int x = x0; x < x1; x++, pixel += 4) {
      pixel[0] = (unsigned char)(pixel[0] / 2);
      pixel[1] = (unsigned char)((pixel[1] + 230) / 2);
      pixel[2] = (unsigned char)((pixel[2] + 255) / 2);
    }
  }
}
