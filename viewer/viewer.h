// The open document, its layout in the page view, and the page cache.
// The records are plain data so that the layout rules can be built and tested
// without Windows; the operations that touch windows live in view.cpp.
#ifndef BRISA_VIEWER_H
#define BRISA_VIEWER_H

#include <stdint.h>
#include "base/pdfium.h"
#include "base/portable.h"
#include "comics/archive/opening.h"

struct ComicArchive;
struct DecodeJob;
struct PdfFileReader;

enum { PAGE_CACHE_SLOTS = 16 };

// How night mode renders a page: not yet known, in forced colours (mostly
// greys), or as by day followed by the per-pixel pass.
enum { NIGHT_UNKNOWN, NIGHT_IN_COLOURS, NIGHT_BY_PASS };

enum { MAX_NIGHT_BOXES = 32 };

struct CacheSlot {
  int pageIndex;    // meaningless while page is null
  FPDF_PAGE page;   // null: empty slot
  int nightKind;    // found at the first night render of this load
  FPDF_COLORSCHEME nightColours;
  int nightBoxCount;   // objects in colours of their own: their bounds (left, bottom, right, top), in points
  float nightBoxes[MAX_NIGHT_BOXES][4];
};

struct PageCache {
  CacheSlot slots[PAGE_CACHE_SLOTS];
  unsigned nextSlot;   // counts loads; the next load goes to nextSlot mod 16
};

struct DocumentState {
  FPDF_DOCUMENT pdfDocument;
  ComicArchive* comicArchive;
  void* fileHandle;           // open while the document is
  PdfFileReader* pdfReader;   // what PDFium reads the file through; null for a comic
  void* fileMapping;          // a comic's (and a PDF's too large for the reader)
  const unsigned char* fileView;
  uint64_t fileSize;
  uint64_t fileWriteTime;   // last-write time when opened: with the size and full path, which file this is
  int pageCount;
  double* pageWidths;   // points, as shown (turned with the view); the four arrays are one heap block
  double* pageHeights;
  int* pageTops;   // canvas pixels, written by the layout
  int* pageLefts;
  Utf16 filePath[MAX_PATH_UNITS];
  const Utf16* fileName;            // points into filePath
  Utf16 fullPath[MAX_PATH_UNITS];   // empty when the full path does not fit
  PageCache pageCache;
};

struct ViewState {
  double zoom;   // device pixels per point
  bool fitWidth;
  bool fitPage;   // the current page (its row) fitted whole, kept at every resize
  bool doublePage;
  bool coverPaired;
  bool rightToLeft;      // spreads mirrored for manga: the first page of a row on the right
  bool nightMode;        // PDF pages drawn with their lightness inverted, on a dark background
  bool widePagesAlone;   // in spreads a page wider than tall stands alone, pairing starts again after it
  int quarterTurns;      // 0-3: every page shown turned this many quarter turns clockwise
  int viewWidth, viewHeight;
  int layoutWidth, layoutHeight;
  int scrollX, scrollY;
  int currentPage;     // -1: recompute at the next title update
  bool presenting;     // presentation (F5): one row at a time, fitted, on black
  int presentedPage;   // a page of that row
};

// Layout constants, in plain pixels: margins and gaps are not scaled with the dpi.
enum { LAYOUT_MARGIN = 8, SPREAD_GAP = 8 };
#define MIN_ZOOM 0.05
#define MAX_ZOOM 40.0

extern DocumentState documentState;
extern ViewState viewState;

// Portable rules (layout.cpp, detect.cpp, pagecache.cpp).
bool documentIsOpen();
ArchiveKind detectArchiveKind(const unsigned char* bytes, uint64_t size);
const Utf16* fileNameOf(const Utf16* path);
void storePageSize(int index, double width, double height);
int pagePixels(double points);
void placePages();
int clampScroll(int position, int layoutSize, int viewSize);
int centringOffset();
int pageAtReadingLine();
bool pageStartsSpread(int page);
double fitPageZoom(int page);
void turnPageSizes(int quarterTurns);
void unturnedPageSize(int page, double* width, double* height);
FPDF_PAGE getCachedPage(int index);
void closeCachedPages();
void tintMatchArea(unsigned char* bits, int width, int height, int deviceX0, int deviceY0, int deviceX1, int deviceY1);

// Presentation: one row of the layout at a time (present.cpp).
int rowStartOf(int page);
int neighbourRow(int page, int direction);
void presentedRow(int* first, int* end, int* shiftX, int* shiftY);

// Window side (document.cpp, view.cpp, paint.cpp).
void openDocument(const Utf16* path);
bool reloadDocument(bool quiet);
// While an archive is being opened: stops the open and ends the program after it
// (true); false when no open is under way.
bool stopOpeningAndClose();
void closeDocument();
// Lets go of the pages of the open comic's file read so far.
void releaseReadComicBytes();
void layoutPages(int anchorX, int anchorY);
void layoutPagesAtPosition(int page, double fraction);
void goToPage(int page);
void scrollTo(int x, int y);
void zoomAt(int anchorX, int anchorY, double zoom);
void zoomBy(double factor);
void zoomToActualSize();
void fitToWidth();
void fitToPage();
void setWidePagesAlone(bool on, bool persist);
void setPageMode(bool doublePage, bool coverPaired, bool persist);
void setRightToLeft(bool rightToLeft, bool persist);
void setNightMode(bool on, bool persist);
// A cached PDF page rendered at (x, y, w, h) of the bitmap in night colours (nightpage.cpp).
void renderNightPdfPage(FPDF_BITMAP bitmap, unsigned char* bits, int width, int height, FPDF_PAGE page, int x, int y,
                        int w, int h, int flags);
void rotatePages(int quarterTurns);
void presentPage(int page);
void showPlace(int scrollX, int scrollY);
void wakeCursor();
void checkWindowMenuItem(unsigned id, bool on);
void updateScrollBars();
void handleScrollBar(int bar, int code);
void updateTitle();
void initViewState();

// The comic look-ahead of the main loop's idle time (prefetch.cpp).
int prefetchStep();
void filePrefetchedPage(DecodeJob* job);

// Reading positions kept in the registry (resume.cpp).
bool resumeIsOn();
bool resumeReadingPosition();
void rememberReadingPosition();

// Back and forward through the places jumped from (history.cpp).
void recordJumpPlace();
void forgetJumpPlaces();
void stepThroughPlaces(int direction);

#endif
