// The thumbnail panel's record and its geometry: sizes, the column, what is in
// sight, which page to render next and which bitmap to drop. Plain arithmetic
// over the one record, without Windows, so that the native tests run the same
// rules as the program; the window and the bitmaps live in thumbs.cpp and
// render.cpp.
#ifndef BRISA_THUMBS_PANEL_H
#define BRISA_THUMBS_PANEL_H

#include "base/pdfium.h"

struct ComicArchive;

// What is known of one page's miniature. A zero-filled slot is Empty.
enum class ThumbnailState : unsigned char {
  Empty = 0,   // nothing yet; may be rendered
  Failed,      // could not be loaded or rendered: a white box until the next reset
  Pending,     // a comic page at the decode worker: a white box until it answers
  Ready,       // bitmap holds the miniature, exactly thumbnailSize
};

struct ThumbnailSlot {
  void* bitmap;   // the device-independent section while Ready, else null
  ThumbnailState state;
};

// Fixed geometry at 96 dpi, scaled with scaledLength.
enum {
  THUMBNAIL_WIDTH = 96,         // every miniature's band; none is taller than twice this
  THUMBNAIL_MARGIN = 12,        // left and right of the band, above and below the column
  THUMBNAIL_LABEL = 22,         // the page number's band under each miniature
  THUMBNAIL_GAP = 6,            // between one label band and the next miniature
  THUMBNAIL_HIGHLIGHT = 4,      // the current page's frame around its miniature
  THUMBNAIL_LINE_STEP = 40,     // one scroll-bar arrow click
  THUMBNAIL_WHEEL_STEP = 120,   // one wheel notch
};

// The most miniature bitmaps kept at once.
enum { MAX_THUMBNAIL_BITMAPS = 160 };

// One panel per process, touched only on the UI thread.
struct ThumbnailPanel {
  bool panelShown;               // the user wants it (HideThumbs is 0)
  bool panelActive;              // a document with at least one page is in it
  FPDF_DOCUMENT panelDocument;   // not owned
  ComicArchive* panelArchive;    // not owned
  int thumbnailCount;            // 0 while inactive
  const double* pageWidths;      // the document's, not copied; only the ratio counts
  const double* pageHeights;
  int* thumbnailTops;   // content y of each miniature; one heap block with the slots
  ThumbnailSlot* thumbnailSlots;
  int panelScrollY;           // content y at the top of the client area
  int panelHeight;            // client height at the last WM_SIZE
  int columnHeight;           // the whole column with its margins
  int highlightedPage;        // -1: none
  int thumbnailBitmapCount;   // slots in state Ready
  int dpi;                    // the screen resolution lengths are scaled to
};

extern ThumbnailPanel thumbnailPanel;

// A 96-dpi length at the panel's resolution, rounded to nearest as MulDiv does.
int scaledLength(int length);

void thumbnailSize(int page, int* width, int* height);
void layoutThumbnails();
void visibleThumbnails(int* first, int* last);
int clampThumbnailScroll(int position);
int thumbnailAtPoint(int contentY);
int thumbnailRenderReach(int inSight);
int nextThumbnailToRender();
void* evictOneThumbnail();
bool thumbnailPanelIsConsistent();

#endif
