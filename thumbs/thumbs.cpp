// The thumbnail panel's window. Until miniatures are drawn the panel takes no
// width, so the frame gives the whole client area to the view.
#include "app/app.h"
#include "thumbs/thumbs.h"

static bool panelShown;

static LRESULT CALLBACK thumbnailWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

// Registers the class and creates the panel hidden and empty; HideThumbs
// decides whether it will show once it has pages.
HWND createThumbnailPanel() {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = thumbnailWindowProc;
  windowClass.hInstance = GetModuleHandleW(NULL);
  windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_HAND);
  windowClass.lpszClassName = L"BrisaThumbs";
  RegisterClassExW(&windowClass);
  panelShown = readSetting(L"HideThumbs") == 0;
  thumbnailWindow = CreateWindowExW(0, L"BrisaThumbs", NULL, WS_CHILD | WS_VSCROLL, 0, 0, 0, 0,
                                    frameWindow, NULL, windowClass.hInstance, NULL);
  return thumbnailWindow;
}

int thumbnailPanelWidth() {
  return 0;
}

void toggleThumbnails() {
  panelShown = !panelShown;
  writeSetting(L"HideThumbs", panelShown ? 0 : 1);
  ShowWindow(thumbnailWindow, thumbnailPanelWidth() != 0 ? SW_SHOWNA : SW_HIDE);
}

void resetThumbnails(FPDF_DOCUMENT, ComicArchive*, int, const double*, const double*) {}

void setCurrentThumbnail(int) {}

// Nothing to render while the panel has no miniatures: let the loop sleep.
int renderNextThumbnail() {
  return 0;
}

