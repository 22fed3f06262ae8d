// Printing the open document through the system's print dialog: one sheet per
// page, each page fitted, centred and turned to the paper.
#ifndef BRISA_PRINT_H
#define BRISA_PRINT_H

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commdlg.h>
#include <stddef.h>
#include <stdint.h>
#include "base/pdfium.h"
#include "print/sheet.h"

// Ctrl+P (with or without Shift). Synchronous; no message on any failure.
void printDocument();

// One comic page stretched into the box (device pixels), a quarter turn
// clockwise when rotate is set. A page that cannot be decoded leaves the
// sheet blank.
void printComicImage(HDC printer, int pageIndex, int x, int y, int width, int height, int rotate);

// The steps of one job, each usable on its own.
void preparePrintDialog(PRINTDLGW* dialog);
void printChosenPages(const PRINTDLGW* dialog);
void releasePrintDialog(PRINTDLGW* dialog);

// Stretches a decoded image (32-bit pixels, rows top down, a block from
// allocBytes that the call takes over and frees) into the box, turned when the
// box says.
void printDecodedImage(HDC printer, uint8_t* pixels, int width, int height, const SheetBox& box);

#ifdef __WINE__
// Most bytes of one band of a PDF page rendered for the printer.
static const size_t printBandBytes = (size_t)8 << 20;

// Renders a PDF page into the box as horizontal bands of at most maxBandBytes.
void renderPdfPageInBands(HDC printer, FPDF_PAGE page, const SheetBox& box, size_t maxBandBytes);
#endif

#endif
