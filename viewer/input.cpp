// The page view's mouse: drag to pan, click to follow a link, wheel to scroll
// or zoom, and the hand cursor over links.
#include "base/base.h"
#include "viewer/links.h"
#include "viewer/viewer.h"

#include <windowsx.h>

static POINT dragStart;    // view point of the last left-button press
static POINT dragAnchor;   // canvas point under the mouse at that press

static int wheelStep() {
  return MulDiv(96, dpiY, 96);
}

// The arrow for the whole drag, even one that begins on a link: while the view
// holds the mouse the system asks it for no cursor, so the hand would stay.
static void pressLeftButton(HWND window, int x, int y) {
  SetFocus(window);
  SetCapture(window);
  SetCursor(LoadCursorW(NULL, (LPCWSTR)IDC_ARROW));
  dragStart.x = x;
  dragStart.y = y;
  dragAnchor.x = x + viewState.scrollX;
  dragAnchor.y = y + viewState.scrollY;
}

// The grabbed canvas point stays under the mouse as far as the limits allow.
static void dragTo(HWND window, int x, int y) {
  if (GetCapture() != window) return;
  scrollTo(dragAnchor.x - x, dragAnchor.y - y);
}

// A release within the system's drag distance of the press is a click.
static void releaseLeftButton(HWND window, int x, int y) {
  if (GetCapture() != window) return;
  ReleaseCapture();
  if (abs(x - dragStart.x) > GetSystemMetrics(SM_CXDRAG)) return;
  if (abs(y - dragStart.y) > GetSystemMetrics(SM_CYDRAG)) return;
  FPDF_LINK link = hitTestLink(x, y);
  if (link) followLink(link);
}

// One zoom step per message; otherwise a scroll proportional to the delta
// (the product first, so small high-resolution deltas still move).
static void turnWheel(HWND window, WPARAM wParam, LPARAM lParam) {
  int delta = GET_WHEEL_DELTA_WPARAM(wParam);
  WPARAM keys = GET_KEYSTATE_WPARAM(wParam);
  if (keys & MK_CONTROL) {
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(window, &point);
    zoomAt(point.x, point.y, delta > 0 ? viewState.zoom * 1.1 : viewState.zoom / 1.1);
  } else if (keys & MK_SHIFT) {
    scrollTo(viewState.scrollX - wheelStep() * delta / 120, viewState.scrollY);
  } else {
    scrollTo(viewState.scrollX, viewState.scrollY - wheelStep() * delta / 120);
  }
}

// The hand over links of PDF pages only, never while dragging.
static bool setLinkCursor(HWND window, LPARAM lParam) {
  if (LOWORD(lParam) != HTCLIENT || GetCapture() == window || !documentState.pdfDocument) return false;
  POINT point;
  GetCursorPos(&point);
  ScreenToClient(window, &point);
  if (!hitTestLink(point.x, point.y)) return false;
  SetCursor(LoadCursorW(NULL, (LPCWSTR)IDC_HAND));
  return true;
}

// Presentation hides the cursor after this long without motion.
enum { CURSOR_TIMER = 1, CURSOR_HIDE_MS = 2000 };

static bool cursorHidden;
static LPARAM lastMotion;   // client position of the last mouse move seen

// Shows the cursor; while presenting it hides again once it has not moved for
// CURSOR_HIDE_MS.
void wakeCursor() {
  if (cursorHidden) SetCursor(LoadCursorW(NULL, (LPCWSTR)IDC_ARROW));
  cursorHidden = false;
  if (viewState.presenting)
    SetTimer(viewWindow, CURSOR_TIMER, CURSOR_HIDE_MS, NULL);
  else
    KillTimer(viewWindow, CURSOR_TIMER);
}

static void hideCursor(HWND window) {
  KillTimer(window, CURSOR_TIMER);
  if (!viewState.presenting) return;
  cursorHidden = true;
  SetCursor(NULL);
}

// A wheel turns one page per notch; the deltas of a fine wheel add up to one.
static void turnPresentationWheel(WPARAM wParam) {
  static int turned;
  turned += GET_WHEEL_DELTA_WPARAM(wParam);
  for (; turned >= WHEEL_DELTA; turned -= WHEEL_DELTA) presentPage(neighbourRow(viewState.presentedPage, -1));
  for (; turned <= -WHEEL_DELTA; turned += WHEEL_DELTA) presentPage(neighbourRow(viewState.presentedPage, +1));
}

// While presenting the mouse only turns pages: the left button and the wheel
// toward the user forward, the right button back. A move message without
// motion (the system sends some when a window changes under the cursor)
// leaves the cursor hidden.
static bool handlePresentationInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (message) {
    case WM_LBUTTONDOWN:
      presentPage(neighbourRow(viewState.presentedPage, +1));
      return true;
    case WM_RBUTTONDOWN:
      presentPage(neighbourRow(viewState.presentedPage, -1));
      return true;
    case WM_MOUSEWHEEL:
      turnPresentationWheel(wParam);
      return true;
    case WM_MOUSEMOVE:
      if (lParam != lastMotion) wakeCursor();
      lastMotion = lParam;
      return true;
    case WM_TIMER:
      if (wParam == CURSOR_TIMER) hideCursor(window);
      return true;
    case WM_SETCURSOR:
      if (LOWORD(lParam) != HTCLIENT) return false;
      SetCursor(cursorHidden ? NULL : LoadCursorW(NULL, (LPCWSTR)IDC_ARROW));
      *result = TRUE;
      return true;
    case WM_LBUTTONUP:   // a drag begun before the presentation ends here
      if (GetCapture() == window) ReleaseCapture();
      return true;
    case WM_RBUTTONUP:
    case WM_MOUSEHWHEEL:
      return true;
  }
  return false;
}

// The mouse messages of the view; false for anything else.
bool handleViewInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  *result = 0;
  if (viewState.presenting) return handlePresentationInput(window, message, wParam, lParam, result);
  switch (message) {
    case WM_LBUTTONDOWN:
      pressLeftButton(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return true;
    case WM_MOUSEMOVE:
      dragTo(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return true;
    case WM_LBUTTONUP:
      releaseLeftButton(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return true;
    case WM_MOUSEWHEEL:
      turnWheel(window, wParam, lParam);
      return true;
    case WM_MOUSEHWHEEL:
      scrollTo(viewState.scrollX + wheelStep() * GET_WHEEL_DELTA_WPARAM(wParam) / 120, viewState.scrollY);
      return true;
    case WM_SETCURSOR:
      if (!setLinkCursor(window, lParam)) return false;
      *result = TRUE;
      return true;
  }
  return false;
}
