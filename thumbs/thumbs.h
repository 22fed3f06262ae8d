// The thumbnail panel at the left of the frame: its window (thumbs.cpp) and the
// miniatures rendered into it in idle time (render.cpp). Needs base/base.h first.
#ifndef BRISA_THUMBS_H
#define BRISA_THUMBS_H

#include "base/pdfium.h"
#include "thumbs/panel.h"

struct ComicArchive;
struct DecodeJob;

// thumbs.cpp: the window, its scrolling and navigation.
HWND createThumbnailPanel();
int thumbnailPanelWidth();
void toggleThumbnails();
void setCurrentThumbnail(int page);
void goToPageFromThumbnail(int page);
void scrollThumbnailsTo(int position);
void updateThumbnailScrollBar();
void showThumbnailWindow();
void invalidateThumbnails();
void paintThumbnails(HDC dc);

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
