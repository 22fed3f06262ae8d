// The globals of the UI thread and the small helpers every part uses.
#include "base/base.h"

HWND frameWindow;
HWND viewWindow;
HWND searchBox;
HWND thumbnailWindow;
HWND outlineWindow;
HWND aboutWindow;
HWND goToPageWindow;
HFONT uiFont;
int dpiY = 96;
int searchBarHeight;
UiLanguageKind UiLanguage;

// Loads a system library by name (kept loaded for good) and returns one of its
// functions, or null: the caller then skips what needed it. Used for what only
// some features need, so that start-up does not pay for it.
FARPROC loadProc(const char* library, const char* function) {
  HMODULE module = LoadLibraryA(library);
  if (!module) return NULL;
  return GetProcAddress(module, function);
}

// Hands a link or a settings page to the shell (verb null: its default verb).
// Without shell32's ShellExecuteW nothing happens.
void openInShell(HWND owner, const wchar_t* verb, const wchar_t* target) {
  typedef HINSTANCE(WINAPI * ShellExecuteProc)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
  ShellExecuteProc shellExecute = (ShellExecuteProc)loadProc("shell32", "ShellExecuteW");
  if (shellExecute) shellExecute(owner, verb, target, NULL, NULL, SW_SHOWNORMAL);
}

// A 32-bit device-independent bitmap of width x height whose rows run top down,
// as PDFium and the comic decoder lay out their pixels.
BITMAPINFO topDownBitmapInfo(int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;   // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// Places the children again at once, e.g. after the search box was shown.
void relayoutFrame() {
  RECT client;
  GetClientRect(frameWindow, &client);
  SendMessageW(frameWindow, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
}

// Centres a popup of the given outer size on the frame, then pushes it back
// inside the work area, the top-left corner winning when it is larger.
void placeOverFrame(HWND window, int width, int height) {
  RECT frame, work;
  GetWindowRect(frameWindow, &frame);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  int x = (frame.left + frame.right - width) / 2;
  int y = (frame.top + frame.bottom - height) / 2;
  if (x + width > work.right) x = work.right - width;
  if (y + height > work.bottom) y = work.bottom - height;
  if (x < work.left) x = work.left;
  if (y < work.top) y = work.top;
  SetWindowPos(window, NULL, x, y, width, height, SWP_NOZORDER);
}

// One line of scrolling: an arrow key, a scroll bar arrow.
int lineStep() {
  return MulDiv(48, dpiY, 96);
}
