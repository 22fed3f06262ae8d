// The thumbnail panel at the left of the frame: its window (thumbs.cpp) and the
// miniatures rendered into it in idle time (render.cpp). Needs base/base.h first.
#ifndef BRISA_THUMBS_H
#define BRISA_THUMBS_H

#include "base/pdfium.h"
#include "thumbs/panel.h"

struct ComicArchive;
struct DecodeJob;

// The left panels' look, shared by the miniatures and the outline.
static const COLORREF PANEL_BACKGROUND = RGB(74, 77, 85);
static const COLORREF NUMBER_COLOUR = RGB(228, 231, 238);

// thumbs.cpp: the window, its scrolling and navigation.
HWND createThumbnailPanel();
HFONT createPanelFont();
int thumbnailPanelWidth();
void toggleThumbnails();
void setCurrentThumbnail(int page);
void goToPageFromThumbnail(int page);
void scrollThumbnailsTo(int position);
void updateThumbnailScrollBar();
void showThumbnailWindow();
void invalidateThumbnails();
void paintThumbnails(HDC dc);

// outlinepanel.cpp: the outline's tree in the thumbnails' place (F9). It
// is made on its first showing, so that start-up never loads the common
// controls for it.
void initOutlinePanel();
void resetOutline(FPDF_DOCUMENT document);
bool outlineShowing();
int outlinePanelWidth();
void toggleOutline();
void hideOutlineForThumbnails();
void setCurrentOutlineItem(int page);
int loadOutlineSlice();

// render.cpp: the miniatures and their cache.

// The one progressive PDF render that may be in flight. Its page is loaded
// for it alone, not borrowed from the view's page cache, so that the cache's
// round-robin can never close it under the render.
struct ThumbnailRender {
  int pageIndex;   // -1: none in flight
  int width, height;
  FPDF_PAGE page;
  FPDF_BITMAP bitmap;
};

extern ThumbnailRender thumbnailRender;

void resetThumbnails(FPDF_DOCUMENT document, ComicArchive* archive, int pageCount, const double* pageWidths,
                     const double* pageHeights);
int renderNextThumbnail();
HBITMAP copyPdfiumBitmap(FPDF_BITMAP bitmap, int width, int height);
void evictThumbnails();
int requestComicThumbnail();
void comicThumbnailDecoded(int page, HBITMAP bitmap, bool success);
void fileComicThumbnail(DecodeJob* job);
void redrawPdfThumbnails();
void turnThumbnails();

#endif
