// A PDF read through a handle of its file, never a mapping of it: on Windows a
// mapped file cannot be truncated, so a build rewriting the PDF shown would fail.
// The file may then change under the open document: a read past its new end
// fails, and PDFium takes that as damage (the page does not load).
#ifndef BRISA_VIEWER_PDFFILE_H
#define BRISA_VIEWER_PDFFILE_H

#include <stdint.h>
#include "base/pdfium.h"

struct PdfFileReader;

// The document of the file open on `file` (`size` bytes at open), with its reader
// in *reader, which the caller frees with freePdfFileReader after closing the
// document. The handle stays the caller's and must stay open as long. Null when
// PDFium cannot load it (FPDF_GetLastError says why) or the reader cannot be made.
FPDF_DOCUMENT loadPdfFromHandle(void* file, uint64_t size, PdfFileReader** reader);
// What PDFium reads through (its m_GetBlock): 1 with all `size` bytes at
// `position` in `buffer`, 0 when they lie past the length at open or the file no
// longer holds them.
int readPdfFile(PdfFileReader* reader, uint64_t position, unsigned char* buffer, uint64_t size);
// Accepts null.
void freePdfFileReader(PdfFileReader* reader);

#endif
