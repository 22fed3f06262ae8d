// The exports the table marks [by hand]: those that take a Windows callback,
// a Windows path or a device context. The others are generated.
#include "tests/bridge/bridge.h"

#include <stdlib.h>

#include <vector>

// Wine's own: a Windows path as a unix one, allocated on the process heap.
extern "C" char* CDECL wine_get_unix_file_name(LPCWSTR path);

// ---- the pause callback ---------------------------------------------------------------------------
// PDFium calls NeedToPauseNow with the SysV convention; the program's function
// expects Windows'. The .so gets a record of our own whose function calls the
// program's with the program's record, so the program sees its own pointer.
struct PauseShim {
  IFSDK_PAUSE linuxSide;   // first: the .so's pointer is the shim's
  IFSDK_PAUSE* windowsSide;
};

typedef FPDF_BOOL(__cdecl* WindowsPauseProc)(IFSDK_PAUSE* pause);

static FPDF_BOOL askWindowsSide(IFSDK_PAUSE* pause) {
  IFSDK_PAUSE* windows = ((PauseShim*)pause)->windowsSide;
  WindowsPauseProc ask = (WindowsPauseProc)(void*)windows->NeedToPauseNow;
  return ask ? ask(windows) : 0;
}

static IFSDK_PAUSE* shimFor(IFSDK_PAUSE* windows, PauseShim* shim) {
  if (!windows) return NULL;
  shim->linuxSide.version = windows->version;
  shim->linuxSide.NeedToPauseNow = askWindowsSide;
  shim->linuxSide.user = windows->user;
  shim->windowsSide = windows;
  return &shim->linuxSide;
}

// PDFium uses the record only during the call that receives it, so one on the stack will do.
extern "C" int __cdecl br_FPDF_RenderPageBitmap_Start(FPDF_BITMAP bitmap, FPDF_PAGE page, int startX, int startY,
                                                      int sizeX, int sizeY, int rotate, int flags, IFSDK_PAUSE* pause) {
  PauseShim shim;
  return FPDF_RenderPageBitmap_Start(bitmap, page, startX, startY, sizeX, sizeY, rotate, flags, shimFor(pause, &shim));
}

// Windows' scheme holds four 32-bit colours; the .so's, four unsigned longs.
struct WindowsColourScheme {
  unsigned int pathFill, pathStroke, textFill, textStroke;
};

extern "C" int __cdecl br_FPDF_RenderPageBitmapWithColorScheme_Start(FPDF_BITMAP bitmap, FPDF_PAGE page, int startX,
                                                                     int startY, int sizeX, int sizeY, int rotate,
                                                                     int flags, const WindowsColourScheme* scheme,
                                                                     IFSDK_PAUSE* pause) {
  PauseShim shim;
  FPDF_COLORSCHEME linuxSide;
  if (scheme) linuxSide = FPDF_COLORSCHEME{scheme->pathFill, scheme->pathStroke, scheme->textFill, scheme->textStroke};
  return FPDF_RenderPageBitmapWithColorScheme_Start(bitmap, page, startX, startY, sizeX, sizeY, rotate, flags,
                                                    scheme ? &linuxSide : NULL, shimFor(pause, &shim));
}

extern "C" int __cdecl br_FPDF_RenderPage_Continue(FPDF_PAGE page, IFSDK_PAUSE* pause) {
  PauseShim shim;
  return FPDF_RenderPage_Continue(page, shimFor(pause, &shim));
}

// ---- the program's file reader --------------------------------------------------------------------
// Windows' record: a 32-bit length, and a reader of 32-bit offsets and sizes with
// Windows' convention (the pointers fall at the same places as in the .so's record).
struct WindowsFileAccess {
  unsigned int fileLength;
  int(__cdecl* getBlock)(void* param, unsigned int position, unsigned char* buffer, unsigned int size);
  void* param;
};

static int readThroughWindowsSide(void* param, unsigned long position, unsigned char* buffer, unsigned long size) {
  WindowsFileAccess* windows = (WindowsFileAccess*)param;
  if (position > 0xFFFFFFFFul || size > 0xFFFFFFFFul) return 0;   // past what the program's length allows
  return windows->getBlock(windows->param, (unsigned int)position, buffer, (unsigned int)size);
}

// PDFium copies the record it is given; the copy points to the program's own
// record, so the bridge asks more than PDFium does: that record must outlive the
// document (Brisa keeps it with its reader), not only the load.
extern "C" FPDF_DOCUMENT __cdecl br_FPDF_LoadCustomDocument(FPDF_FILEACCESS* access, FPDF_BYTESTRING password) {
  if (!access) return FPDF_LoadCustomDocument(access, password);
  WindowsFileAccess* windows = (WindowsFileAccess*)(void*)access;
  FPDF_FILEACCESS linuxSide = {windows->fileLength, readThroughWindowsSide, windows};
  return FPDF_LoadCustomDocument(&linuxSide, password);
}

// ---- a Windows path ------------------------------------------------------------------------------
// The program's path is UTF-8 and Windows-shaped (C:\..., Z:\..., relative);
// the .so opens unix paths.
extern "C" FPDF_DOCUMENT __cdecl br_FPDF_LoadDocument(FPDF_BYTESTRING path, FPDF_BYTESTRING password) {
  if (!path) return FPDF_LoadDocument(path, password);
  int units = MultiByteToWideChar(CP_UTF8, 0, path, -1, NULL, 0);
  if (units <= 0) return FPDF_LoadDocument(path, password);
  std::vector<WCHAR> wide(units);
  MultiByteToWideChar(CP_UTF8, 0, path, -1, wide.data(), units);
  char* unixPath = wine_get_unix_file_name(wide.data());
  if (!unixPath) return FPDF_LoadDocument(path, password);   // PDFium reports the missing file
  FPDF_DOCUMENT document = FPDF_LoadDocument(unixPath, password);
  HeapFree(GetProcessHeap(), 0, unixPath);
  return document;
}

// ---- rendering into a device context -------------------------------------------------------------
// The .so only renders into its own bitmaps: render the page's rectangle into
// one and draw that into the context. PDFium draws over what is there, so the
// bitmap starts as a copy of the context's pixels; a printer's cannot be read
// back, and its sheet starts white.
static bool readableContext(HDC dc) {
  int technology = GetDeviceCaps(dc, TECHNOLOGY);
  return technology == DT_RASDISPLAY;   // screens and memory contexts
}

static BITMAPINFO topDownPixels(int width, int height) {
  BITMAPINFO info;
  ZeroMemory(&info, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// The context's pixels under the rectangle into the bitmap (whose stride is 4 x width).
static bool copyFromContext(HDC dc, int x, int y, int width, int height, void* pixels) {
  BITMAPINFO info = topDownPixels(width, height);
  void* bits = NULL;
  HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  if (!section) return false;
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, section);
  bool copied = BitBlt(memory, 0, 0, width, height, dc, x, y, SRCCOPY) != 0;
  GdiFlush();
  if (copied) memcpy(pixels, bits, (size_t)width * (size_t)height * 4);
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(section);
  return copied;
}

extern "C" void __cdecl br_FPDF_RenderPage(HDC dc, FPDF_PAGE page, int startX, int startY, int sizeX, int sizeY,
                                           int rotate, int flags) {
  if (!dc || !page || sizeX <= 0 || sizeY <= 0) return;
  FPDF_BITMAP bitmap = FPDFBitmap_Create(sizeX, sizeY, 0);
  if (!bitmap) return;
  void* pixels = FPDFBitmap_GetBuffer(bitmap);
  if (pixels && FPDFBitmap_GetStride(bitmap) == sizeX * 4) {
    if (!readableContext(dc) || !copyFromContext(dc, startX, startY, sizeX, sizeY, pixels))
      FPDFBitmap_FillRect(bitmap, 0, 0, sizeX, sizeY, 0xFFFFFFFF);
    FPDF_RenderPageBitmap(bitmap, page, 0, 0, sizeX, sizeY, rotate, flags);
    BITMAPINFO info = topDownPixels(sizeX, sizeY);
    StretchDIBits(dc, startX, startY, sizeX, sizeY, 0, 0, sizeX, sizeY, pixels, &info, DIB_RGB_COLORS, SRCCOPY);
  }
  FPDFBitmap_Destroy(bitmap);
}
