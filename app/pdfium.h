// The PDFium functions Brisa calls, declared from PDFium's public API reference.
// Every name here is also listed in pdfium.def, from which the Windows build's
// import library is made; the two lists must stay equal.
//
// No calling-convention attribute on purpose: on x86-64 Windows there is only one,
// and the Linux build links the SysV libpdfium.so, where Wine's WINAPI would be wrong.
#ifndef BRISA_PDFIUM_H
#define BRISA_PDFIUM_H

#include <stddef.h>

extern "C" {

typedef struct fpdf_document_t__* FPDF_DOCUMENT;
typedef struct fpdf_page_t__* FPDF_PAGE;
typedef struct fpdf_bitmap_t__* FPDF_BITMAP;
typedef struct fpdf_link_t__* FPDF_LINK;
typedef struct fpdf_action_t__* FPDF_ACTION;
typedef struct fpdf_textpage_t__* FPDF_TEXTPAGE;
typedef struct fpdf_schhandle_t__* FPDF_SCHHANDLE;
typedef const unsigned short* FPDF_WIDESTRING;   // UTF-16LE, NUL-terminated
typedef int FPDF_BOOL;
typedef unsigned long FPDF_DWORD;   // 32-bit on Windows, 64-bit in the Linux library
typedef const char* FPDF_BYTESTRING;

enum {
  FPDF_ERR_SUCCESS = 0,
  FPDF_ERR_PASSWORD = 4,   // the document needs a password we do not have
};

enum { PDFACTION_URI = 3 };

enum {
  FPDF_ANNOT = 0x01,       // draw annotations
  FPDF_LCD_TEXT = 0x02,    // sub-pixel text anti-aliasing
  FPDF_PRINTING = 0x800,
};

// Library set-up, once per process.
void FPDF_InitLibrary(void);
void FPDF_DestroyLibrary(void);

// Documents. The buffer must outlive the document.
FPDF_DOCUMENT FPDF_LoadMemDocument64(const void* data, size_t size, FPDF_BYTESTRING password);
FPDF_DWORD FPDF_GetLastError(void);
void FPDF_CloseDocument(FPDF_DOCUMENT document);
int FPDF_GetPageCount(FPDF_DOCUMENT document);
FPDF_BOOL FPDF_GetPageSizeByIndex(FPDF_DOCUMENT document, int index, double* width, double* height);

// Pages.
FPDF_PAGE FPDF_LoadPage(FPDF_DOCUMENT document, int index);
void FPDF_ClosePage(FPDF_PAGE page);
void FPDF_RenderPageBitmap(FPDF_BITMAP bitmap, FPDF_PAGE page, int startX, int startY,
                           int sizeX, int sizeY, int rotate, int flags);
// Windows' pdfium.dll only: renders straight into a device context (the
// printer's). Linux's libpdfium.so has no such function; nothing calls it there.
void FPDF_RenderPage(struct HDC__* dc, FPDF_PAGE page, int startX, int startY, int sizeX, int sizeY,
                     int rotate, int flags);
FPDF_BOOL FPDF_PageToDevice(FPDF_PAGE page, int startX, int startY, int sizeX, int sizeY,
                            int rotate, double pageX, double pageY, int* deviceX, int* deviceY);

FPDF_BOOL FPDF_DeviceToPage(FPDF_PAGE page, int startX, int startY, int sizeX, int sizeY, int rotate,
                            int deviceX, int deviceY, double* pageX, double* pageY);

// Progressive rendering: PDFium asks the pause record between slices of work
// and returns FPDF_RENDER_TOBECONTINUED when told to pause; Continue picks up
// where it stopped, Close releases the render's state (not the page).
enum {
  FPDF_RENDER_READY = 0,
  FPDF_RENDER_TOBECONTINUED = 1,
  FPDF_RENDER_DONE = 2,
  FPDF_RENDER_FAILED = 3,
};

typedef struct IFSDK_PAUSE {
  int version;   // 1
  FPDF_BOOL (*NeedToPauseNow)(struct IFSDK_PAUSE* pause);
  void* user;
} IFSDK_PAUSE;

int FPDF_RenderPageBitmap_Start(FPDF_BITMAP bitmap, FPDF_PAGE page, int startX, int startY, int sizeX, int sizeY,
                                int rotate, int flags, IFSDK_PAUSE* pause);
int FPDF_RenderPage_Continue(FPDF_PAGE page, IFSDK_PAUSE* pause);
void FPDF_RenderPage_Close(FPDF_PAGE page);

// Links and their actions. A URI comes back as 7-bit ASCII with its NUL;
// the result counts the NUL and may exceed the buffer, which is then untouched.
FPDF_LINK FPDFLink_GetLinkAtPoint(FPDF_PAGE page, double x, double y);
FPDF_ACTION FPDFLink_GetAction(FPDF_LINK link);
FPDF_DWORD FPDFAction_GetType(FPDF_ACTION action);
FPDF_DWORD FPDFAction_GetURIPath(FPDF_DOCUMENT document, FPDF_ACTION action, void* buffer, FPDF_DWORD length);

// Text pages and search. Flags 0: case-insensitive, anywhere in words.
FPDF_TEXTPAGE FPDFText_LoadPage(FPDF_PAGE page);
void FPDFText_ClosePage(FPDF_TEXTPAGE textPage);
FPDF_SCHHANDLE FPDFText_FindStart(FPDF_TEXTPAGE textPage, FPDF_WIDESTRING text, FPDF_DWORD flags, int startIndex);
FPDF_BOOL FPDFText_FindNext(FPDF_SCHHANDLE search);
int FPDFText_GetSchResultIndex(FPDF_SCHHANDLE search);
int FPDFText_GetSchCount(FPDF_SCHHANDLE search);
void FPDFText_FindClose(FPDF_SCHHANDLE search);
int FPDFText_CountRects(FPDF_TEXTPAGE textPage, int startIndex, int count);
FPDF_BOOL FPDFText_GetRect(FPDF_TEXTPAGE textPage, int rectIndex, double* left, double* top, double* right,
                           double* bottom);

// Bitmaps: alpha 0 gives 4 bytes per pixel, blue, green, red, unused; stride 4 x width.
FPDF_BITMAP FPDFBitmap_Create(int width, int height, int alpha);
void FPDFBitmap_FillRect(FPDF_BITMAP bitmap, int left, int top, int width, int height, FPDF_DWORD color);
void* FPDFBitmap_GetBuffer(FPDF_BITMAP bitmap);
int FPDFBitmap_GetStride(FPDF_BITMAP bitmap);
void FPDFBitmap_Destroy(FPDF_BITMAP bitmap);

}  // extern "C"

#endif
