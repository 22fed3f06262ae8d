// The thumbnail panel at the left of the frame.
#ifndef BRISA_THUMBS_H
#define BRISA_THUMBS_H

#include "app/pdfium.h"

struct ComicArchive;

HWND createThumbnailPanel();
int thumbnailPanelWidth();
void toggleThumbnails();
void resetThumbnails(FPDF_DOCUMENT document, ComicArchive* archive, int pageCount,
                     const double* pageWidths, const double* pageHeights);
void setCurrentThumbnail(int page);
int renderNextThumbnail();

// Idle step of the comic decode worker.
int prefetchStep();

#endif
