// The arithmetic of printing, apart from any device: which pages a job covers,
// where each page lands on its sheet, how a page is cut into bands; the quarter
// turn of an image comes from comics/turn.h. No Windows header, so that it is
// tested natively.
#ifndef BRISA_PRINT_SHEET_H
#define BRISA_PRINT_SHEET_H

#include <stddef.h>
#include <stdint.h>
#include "comics/turn.h"   // turnClockwise, shared with the pages on screen

// The print dialog's result flags that choose a range: the values of commdlg's
// PD_PAGENUMS and PD_CURRENTPAGE (print.cpp checks that they agree).
static const uint32_t rangeFlagPageNumbers = 0x2;
static const uint32_t rangeFlagCurrentPage = 0x400000;

// The dialog's page fields are 16 bits wide.
static const int dialogPageLimit = 65535;

// The pages of one job as zero-based indexes [firstIndex, endIndex); empty
// when firstIndex >= endIndex.
struct PageRange {
  int firstIndex;
  int endIndex;
};

// One page's place on its sheet, in device pixels from the printable area's
// origin; rotate 1 turns the page a quarter turn clockwise.
struct SheetBox {
  int x, y, width, height;
  int rotate;
};

// The value for the dialog's last and highest page fields: the page count,
// clamped to what the 16-bit fields hold.
uint16_t dialogPageField(int pageCount);

// The pages to print from the dialog's answer: all of them unless the flags
// ask for the typed range or the current page (zero-based). A first page below
// 1 counts as 1, a last page past the document as the last page.
PageRange choosePageRange(uint32_t flags, int fromPage, int toPage, int pageCount, int currentPage);

// Places a page of the given extent (any unit; only the ratio matters) on a
// paper of paperWidth x paperHeight pixels: turned when exactly one of the two
// is landscape (a square is portrait), scaled to touch two opposite edges, and
// centred. False when the page cannot be placed (an extent that is zero,
// negative or not finite, or paper without area): its sheet stays blank.
bool placeOnSheet(double pageWidth, double pageHeight, int paperWidth, int paperHeight, SheetBox* box);

// Rows of one band of a strip `width` pixels wide (4 bytes a pixel) that fit
// in maxBytes, at least 1 and at most `height`.
int bandRows(int width, int height, size_t maxBytes);

#endif
