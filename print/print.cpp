// Printing: the standard print dialog, then one sheet per page. PDF pages are
// rendered by PDFium at the printer's resolution; comic pages are stretched
// onto the sheet by the graphics device interface.
#include "print/print.h"

#include "base/base.h"
#include "comics/archive/memory.h"
#include "comics/pages.h"
#include "viewer/viewer.h"

static_assert(rangeFlagPageNumbers == PD_PAGENUMS, "our range flags are commdlg's");
static_assert(rangeFlagCurrentPage == PD_CURRENTPAGE, "our range flags are commdlg's");

typedef BOOL(WINAPI* PrintDlgProc)(PRINTDLGW* dialog);

static const DWORD printDialogFlags = PD_RETURNDC | PD_NOSELECTION | PD_USEDEVMODECOPIESANDCOLLATE;
static_assert(printDialogFlags == 0x40104, "dialog flags");
static const int pdfPrintFlags = FPDF_ANNOT | FPDF_PRINTING;
static_assert(pdfPrintFlags == 0x801, "render flags");

// The dialog opens on the default printer with every page chosen.
void preparePrintDialog(PRINTDLGW* dialog) {
  ZeroMemory(dialog, sizeof *dialog);
  dialog->lStructSize = sizeof *dialog;
  dialog->hwndOwner = frameWindow;
  dialog->Flags = printDialogFlags;
  WORD pages = dialogPageField(documentState.pageCount);
  dialog->nFromPage = 1;
  dialog->nToPage = pages;
  dialog->nMinPage = 1;
  dialog->nMaxPage = pages;
}

// Whatever the dialog returned, answered or cancelled, is ours to release.
void releasePrintDialog(PRINTDLGW* dialog) {
  if (dialog->hDC) DeleteDC(dialog->hDC);
  if (dialog->hDevMode) GlobalFree(dialog->hDevMode);
  if (dialog->hDevNames) GlobalFree(dialog->hDevNames);
  dialog->hDC = NULL;
  dialog->hDevMode = NULL;
  dialog->hDevNames = NULL;
}

#ifdef __WINE__
// Every band is rendered from the whole page, shifted up by the rows already
// sent, so that bands join without a seam; the bitmap is reused for each.
void renderPdfPageInBands(HDC printer, FPDF_PAGE page, const SheetBox& box, size_t maxBandBytes) {
  int rows = bandRows(box.width, box.height, maxBandBytes);
  FPDF_BITMAP bitmap = FPDFBitmap_Create(box.width, rows, 0);
  if (!bitmap) return;
  int stride = FPDFBitmap_GetStride(bitmap);
  void* pixels = FPDFBitmap_GetBuffer(bitmap);
  if (pixels && stride >= box.width * 4 && stride % 4 == 0) {
    for (int top = 0; top < box.height; top += rows) {
      int bandHeight = box.height - top < rows ? box.height - top : rows;
      FPDFBitmap_FillRect(bitmap, 0, 0, box.width, bandHeight, 0xFFFFFFFF);
      FPDF_RenderPageBitmap(bitmap, page, 0, -top, box.width, box.height, box.rotate, pdfPrintFlags);
      BITMAPINFO info = topDownBitmapInfo(stride / 4, bandHeight);
      StretchDIBits(printer, box.x, box.y + top, box.width, bandHeight, 0, 0, box.width, bandHeight, pixels, &info,
                    DIB_RGB_COLORS, SRCCOPY);
    }
  }
  FPDFBitmap_Destroy(bitmap);
}
#endif

// The one place where the builds differ: Windows' PDFium draws into the
// printer's device context itself; Linux's has no device-context renderer.
static void renderPdfPage(HDC printer, FPDF_PAGE page, const SheetBox& box) {
#ifdef __WINE__
  renderPdfPageInBands(printer, page, box, printBandBytes);
#else
  FPDF_RenderPage(printer, page, box.x, box.y, box.width, box.height, box.rotate, pdfPrintFlags);
#endif
}

void printDecodedImage(HDC printer, uint8_t* pixels, int width, int height, const SheetBox& box) {
  uint32_t* image = (uint32_t*)pixels;
  if (box.rotate) {
    // No room for the turned copy: the image goes onto the sheet unturned.
    uint32_t* turned = (uint32_t*)allocBytes((size_t)width * (size_t)height * 4);
    if (turned) {
      turnClockwise(image, width, height, turned);
      freeBytes(image);
      image = turned;
      int side = width;
      width = height;
      height = side;
    }
  }
  BITMAPINFO info = topDownBitmapInfo(width, height);
  SetStretchBltMode(printer, HALFTONE);
  SetBrushOrgEx(printer, 0, 0, NULL);   // halftoning needs it after the mode is set
  StretchDIBits(printer, box.x, box.y, box.width, box.height, 0, 0, width, height, image, &info, DIB_RGB_COLORS,
                SRCCOPY);
  freeBytes(image);
}

// The page decoded at full size (reduced only past the decoder's limits),
// synchronously on this thread; the pixels live for this one sheet.
void printComicImage(HDC printer, int pageIndex, int x, int y, int width, int height, int rotate) {
  int32_t imageWidth = 0, imageHeight = 0;
  uint8_t* pixels = decodeForPrinting(documentState.comicArchive, pageIndex, &imageWidth, &imageHeight);
  if (!pixels) return;   // cannot be decoded: the sheet stays blank
  SheetBox box = {x, y, width, height, rotate};
  printDecodedImage(printer, pixels, imageWidth, imageHeight, box);
}

// One sheet: a page that cannot be placed or loaded leaves it blank. False
// when the spooler refused the page (the job was cancelled, for example).
static bool printPage(HDC printer, int index, int paperWidth, int paperHeight) {
  const DocumentState& d = documentState;
  double pageWidth, pageHeight;
  unturnedPageSize(index, &pageWidth, &pageHeight);   // the sheet's own rule, whatever the view's turn
  SheetBox box;
  bool placed = placeOnSheet(pageWidth, pageHeight, paperWidth, paperHeight, &box);
  StartPage(printer);
  if (placed && d.pdfDocument) {
    FPDF_PAGE page = getCachedPage(index);
    if (page) renderPdfPage(printer, page, box);
  } else if (placed && d.comicArchive) {
    printComicImage(printer, index, box.x, box.y, box.width, box.height, box.rotate);
  }
  return EndPage(printer) > 0;
}

// The job itself, on the printer the dialog returned. A job that cannot start
// prints nothing; one whose page is refused stops there but is still ended.
void printChosenPages(const PRINTDLGW* dialog) {
  HDC printer = dialog->hDC;
  if (!printer) return;
  int current = viewState.currentPage >= 0 ? viewState.currentPage : pageAtReadingLine();
  PageRange range =
      choosePageRange(dialog->Flags, dialog->nFromPage, dialog->nToPage, documentState.pageCount, current);
  int paperWidth = GetDeviceCaps(printer, HORZRES);
  int paperHeight = GetDeviceCaps(printer, VERTRES);
  DOCINFOW info;
  ZeroMemory(&info, sizeof info);
  info.cbSize = sizeof info;
  info.lpszDocName = documentState.fileName;
#ifdef __WINE__
  // Wine hands the document name to CUPS, which types a job by the name's
  // extension before its content: "x.pdf" would send Wine's PostScript through
  // the PDF filters and the job would fail. A suffix keeps the name readable
  // in the queue and lets CUPS see the PostScript.
  wchar_t jobName[MAX_PATH_UNITS + 16];
  wsprintfW(jobName, L"%s - Brisa", documentState.fileName);
  info.lpszDocName = jobName;
#endif
  SetCursor(LoadCursorW(NULL, IDC_WAIT));
  if (StartDocW(printer, &info) <= 0) return;
  for (int i = range.firstIndex; i < range.endIndex && i < documentState.pageCount; i++)
    if (!printPage(printer, i, paperWidth, paperHeight)) break;
  EndDoc(printer);
}

// Without the dialog function (comdlg32 missing or stripped) there is no
// printer to choose: nothing happens, as when the dialog is cancelled.
void printDocument() {
  if (!documentIsOpen()) return;
  PrintDlgProc showPrintDialog = (PrintDlgProc)loadProc("comdlg32", "PrintDlgW");
  if (!showPrintDialog) return;
  PRINTDLGW dialog;
  preparePrintDialog(&dialog);
  if (showPrintDialog(&dialog)) printChosenPages(&dialog);
  releasePrintDialog(&dialog);
}
