// The page view: relayout, scrolling, zoom, page mode, scroll bars and title.
// The geometry itself is computed by layout.cpp; this file applies it to the
// windows.
#include "base/base.h"
#include "viewer/recent.h"
#include "viewer/viewer.h"
#include "thumbs/thumbs.h"
#include "comics/pages.h"

void paintView(HWND window);
bool handleViewInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

void initViewState() {
  viewState.zoom = 1.0;
  viewState.fitWidth = true;
  viewState.currentPage = -1;
}

// Scroll bars, title and a full repaint after the pages were placed again.
static void showNewLayout() {
  updateScrollBars();
  viewState.currentPage = -1;
  updateTitle();
  InvalidateRect(viewWindow, NULL, FALSE);
}

// Re-places every page and keeps the document point under (anchorX, anchorY)
// in place, as fractions of the canvas. Nothing to do before the view exists:
// start-up lays out again once it does. While presenting, the row on screen
// is fitted again instead.
void layoutPages(int anchorX, int anchorY) {
  if (!viewWindow) return;
  if (viewState.presenting) {
    presentPage(viewState.presentedPage);
    return;
  }
  ViewState& v = viewState;
  // The anchor in the old canvas; a centred canvas has no pixels left of its offset.
  double fx = v.layoutWidth ? (double)(anchorX - centringOffset() + v.scrollX) / v.layoutWidth : 0;
  double fy = v.layoutHeight ? (double)(anchorY + v.scrollY) / v.layoutHeight : 0;
  placePages();
  v.scrollX = clampScroll((int)(v.layoutWidth * fx) - anchorX, v.layoutWidth, v.viewWidth);
  v.scrollY = clampScroll((int)(v.layoutHeight * fy) - anchorY, v.layoutHeight, v.viewHeight);
  showNewLayout();
}

// A fresh layout (a document just opened) shown from a kept reading
// position, so that the first paint is already the right page.
void layoutPagesAtPosition(int page, double fraction) {
  if (!viewWindow || page < 0 || page >= documentState.pageCount) return;
  placePages();
  viewState.scrollX = 0;
  viewState.scrollY = scrollForReadingPosition(page, fraction);
  showNewLayout();
}

// The top of the page (of its spread) at the top of the view, with the
// margin above it, as when the page mode changes.
void goToPage(int page) {
  if (page < 0 || page >= documentState.pageCount) return;
  if (viewState.presenting) {
    presentPage(page);
    return;
  }
  scrollTo(viewState.scrollX, documentState.pageTops[page] - LAYOUT_MARGIN);
}

// Moves the screen pixels and lets painting fill only the uncovered strip.
// A presented row does not scroll.
void scrollTo(int x, int y) {
  ViewState& v = viewState;
  if (v.presenting) return;
  x = clampScroll(x, v.layoutWidth, v.viewWidth);
  y = clampScroll(y, v.layoutHeight, v.viewHeight);
  if (x == v.scrollX && y == v.scrollY) return;
  ScrollWindowEx(viewWindow, v.scrollX - x, v.scrollY - y, NULL, NULL, NULL, NULL, SW_INVALIDATE);
  v.scrollX = x;
  v.scrollY = y;
  updateScrollBars();
  updateTitle();
}

// An explicit zoom, bounded, about a point of the view.
void zoomAt(int anchorX, int anchorY, double zoom) {
  if (!documentIsOpen()) return;
  viewState.zoom = zoom < MIN_ZOOM ? MIN_ZOOM : (zoom < MAX_ZOOM ? zoom : MAX_ZOOM);
  viewState.fitWidth = false;
  viewState.fitPage = false;
  layoutPages(anchorX, anchorY);
}

void zoomBy(double factor) {
  zoomAt(viewState.viewWidth / 2, viewState.viewHeight / 2, viewState.zoom * factor);
}

void zoomToActualSize() {
  zoomAt(viewState.viewWidth / 2, viewState.viewHeight / 2, dpiY / 72.0);
}

// Also with no document: it then re-lays out an empty canvas.
void fitToWidth() {
  viewState.fitWidth = true;
  viewState.fitPage = false;
  layoutPages(0, viewState.viewHeight / 2);
}

// Lays the pages out again after a change of mode and puts the page that was
// current (before the change) at the top of the view.
static void relayoutKeepingPage(int current) {
  if (!documentIsOpen()) return;
  layoutPages(0, 0);
  if (current >= 0 && current < documentState.pageCount)
    scrollTo(viewState.scrollX, documentState.pageTops[current] - LAYOUT_MARGIN);
}

static void refitPage() {
  int current = viewState.currentPage;
  relayoutKeepingPage(current);
  scrollTo((viewState.layoutWidth - viewState.viewWidth) / 2, viewState.scrollY);
}

// The current page (its row) whole in the view, its top at the top, centred
// across; kept so through every resize until another zoom command.
void fitToPage() {
  if (!documentIsOpen()) return;
  viewState.fitWidth = false;
  viewState.fitPage = true;
  refitPage();
}

// Single or two-page view, cover alone or paired; the page that was current
// stays at the top of the view.
void setPageMode(bool doublePage, bool coverPaired, bool persist) {
  int current = viewState.currentPage;
  viewState.doublePage = doublePage;
  viewState.coverPaired = coverPaired;
  if (persist) {
    writeSetting(L"DoublePage", doublePage);
    writeSetting(L"CoverPaired", coverPaired);
  }
  HMENU menu = GetSystemMenu(frameWindow, FALSE);
  CheckMenuItem(menu, IDM_DOUBLE_PAGE, MF_BYCOMMAND | (doublePage ? MF_CHECKED : MF_UNCHECKED));
  CheckMenuItem(menu, IDM_COVER_ALONE, MF_BYCOMMAND | (coverPaired ? MF_UNCHECKED : MF_CHECKED));
  relayoutKeepingPage(current);
}

// The check mark of one on/off item of the window menu.
void checkWindowMenuItem(unsigned id, bool on) {
  CheckMenuItem(GetSystemMenu(frameWindow, FALSE), id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

// Right-to-left reading mirrors each two-page row; single pages do not change.
void setRightToLeft(bool rightToLeft, bool persist) {
  int current = viewState.currentPage;
  viewState.rightToLeft = rightToLeft;
  if (persist) writeSetting(L"RightToLeft", rightToLeft);
  checkWindowMenuItem(IDM_RIGHT_TO_LEFT, rightToLeft);
  relayoutKeepingPage(current);
}

// Wide pages alone changes the rows of spreads; the current page stays at the top.
void setWidePagesAlone(bool on, bool persist) {
  int current = viewState.currentPage;
  viewState.widePagesAlone = on;
  if (persist) writeSetting(L"WidePagesAlone", on);
  checkWindowMenuItem(IDM_WIDE_PAGES_ALONE, on);
  relayoutKeepingPage(current);
}

// Night mode repaints the view and the PDF miniatures; the layout stays.
void setNightMode(bool on, bool persist) {
  viewState.nightMode = on;
  if (persist) writeSetting(L"NightMode", on);
  checkWindowMenuItem(IDM_NIGHT_MODE, on);
  redrawPdfThumbnails();
  InvalidateRect(viewWindow, NULL, FALSE);
}

// Every page turned by quarter turns clockwise (negative: counter-clockwise):
// sizes, comic images and miniatures follow; the current page stays at the top.
void rotatePages(int quarterTurns) {
  if (!documentIsOpen()) return;
  int current = viewState.currentPage;
  turnPageSizes(quarterTurns);
  if (documentState.comicArchive) turnComicPages(documentState.comicArchive, viewState.quarterTurns);
  turnThumbnails();
  if (viewState.fitPage)
    refitPage();
  else
    relayoutKeepingPage(current);
}

// Presentation: the row of `page` alone, fitted whole. The scroll follows
// that row, so that the title, the current miniature and the comic
// look-ahead all see it.
void presentPage(int page) {
  ViewState& v = viewState;
  if (!v.presenting || documentState.pageCount <= 0) return;
  v.presentedPage = page;   // any page of a row fits that row
  placePages();
  v.presentedPage = rowStartOf(page);   // the rows as now placed
  v.scrollX = clampScroll((v.layoutWidth - v.viewWidth) / 2, v.layoutWidth, v.viewWidth);
  v.scrollY = clampScroll(documentState.pageTops[v.presentedPage] - LAYOUT_MARGIN, v.layoutHeight, v.viewHeight);
  showNewLayout();
}

// The layout at the present zoom, shown from the given scroll position.
void showPlace(int scrollX, int scrollY) {
  if (!viewWindow) return;
  placePages();
  viewState.scrollX = clampScroll(scrollX, viewState.layoutWidth, viewState.viewWidth);
  viewState.scrollY = clampScroll(scrollY, viewState.layoutHeight, viewState.viewHeight);
  showNewLayout();
}

// The vertical bar is always there (disabled when all fits); the horizontal
// one only while the canvas is wider than the view. None while presenting.
void updateScrollBars() {
  if (viewState.presenting) return;
  SCROLLINFO info = {};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL | SIF_TRACKPOS;
  info.nMax = viewState.layoutHeight - 1;
  info.nPage = viewState.viewHeight;
  info.nPos = viewState.scrollY;
  SetScrollInfo(viewWindow, SB_VERT, &info, TRUE);
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
  info.nMax = viewState.layoutWidth - 1;
  info.nPage = viewState.viewWidth;
  info.nPos = viewState.scrollX;
  SetScrollInfo(viewWindow, SB_HORZ, &info, TRUE);
}

void handleScrollBar(int bar, int code) {
  SCROLLINFO info = {};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
  GetScrollInfo(viewWindow, bar, &info);
  int pos = info.nPos;
  int page = (bar == SB_VERT ? viewState.viewHeight : viewState.viewWidth) - lineStep();
  if (page < 1) page = 1;   // a view shorter than one step still moves forward
  switch (code) {
    case SB_LINEUP:
      pos -= lineStep();
      break;
    case SB_LINEDOWN:
      pos += lineStep();
      break;
    case SB_PAGEUP:
      pos -= page;
      break;
    case SB_PAGEDOWN:
      pos += page;
      break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
      pos = info.nTrackPos;
      break;
    case SB_TOP:
      pos = 0;
      break;
    case SB_BOTTOM:
      pos = info.nMax;
      break;
  }
  if (bar == SB_VERT)
    scrollTo(viewState.scrollX, pos);
  else
    scrollTo(pos, viewState.scrollY);
}

// "name - page/count - Brisa", or "name - left-right/count - Brisa" for a spread.
void updateTitle() {
  int page = documentState.pageCount > 0 ? pageAtReadingLine() : 0;
  if (documentIsOpen() && page == viewState.currentPage) return;
  viewState.currentPage = page;
  setCurrentThumbnail(page);
  setCurrentOutlineItem(page);
  releaseReadComicBytes();
  wchar_t title[324];
  const DocumentState& d = documentState;
  if (!documentIsOpen())
    lstrcpyW(title, L"Brisa");
  else if (d.pageCount == 0)
    wsprintfW(title, L"%s - 0/0 - Brisa", d.fileName);
  else if (pageStartsSpread(page))
    wsprintfW(title, L"%s - %d-%d/%d - Brisa", d.fileName, page + 1, page + 2, d.pageCount);
  else
    wsprintfW(title, L"%s - %d/%d - Brisa", d.fileName, page + 1, d.pageCount);
  SetWindowTextW(frameWindow, title);
}

static const WPARAM SCROLLING_KEYS[] = {VK_SPACE, VK_NEXT, VK_PRIOR, VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT};

static bool isScrollingKey(WPARAM key) {
  for (WPARAM scrolling : SCROLLING_KEYS)
    if (key == scrolling) return true;
  return false;
}

// A scrolling key held down repeats faster than a large page can be decoded and
// painted: a repeat that arrives before the previous step is on screen is
// dropped, so no backlog of steps keeps the view moving once the key is let go.
// Separate presses always count.
static bool repeatsAStepNotYetPainted(WPARAM key, LPARAM keyData) {
  bool repeat = (keyData & (1 << 30)) != 0;
  return repeat && isScrollingKey(key) && GetUpdateRect(viewWindow, NULL, FALSE);
}

LRESULT CALLBACK viewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      // While minimised nothing is laid out: page, title and scroll stay as they were.
      if (wParam == SIZE_MINIMIZED || IsIconic(frameWindow)) return 0;
      viewState.viewWidth = LOWORD(lParam);
      viewState.viewHeight = HIWORD(lParam);
      if (viewState.fitPage)
        refitPage();
      else
        layoutPages(0, 0);
      return 0;
    case WM_HSCROLL:
      handleScrollBar(SB_HORZ, LOWORD(wParam));
      return 0;
    case WM_VSCROLL:
      handleScrollBar(SB_VERT, LOWORD(wParam));
      return 0;
    case WM_PAINT:
      paintView(window);
      return 0;
    case WM_KEYDOWN:
      if (repeatsAStepNotYetPainted(wParam, lParam)) return 0;
      if (!handleCommandKey(wParam)) handleViewKey(wParam);
      return 0;
    case WM_SYSKEYDOWN:
      handleAltKey(wParam);
      break;
  }
  LRESULT result;
  if (handleViewInput(window, message, wParam, lParam, &result)) return result;
  return DefWindowProcW(window, message, wParam, lParam);
}
