// The thumbnail panel's window: one column of miniatures with their page
// numbers on a dark ground, the current page highlighted and kept in sight;
// a click scrolls the view to that page. Shown or hidden with F4 and the
// system menu, a choice kept in HideThumbs. The pictures come from render.cpp.
#include "base/base.h"
#include "thumbs/thumbs.h"
#include "viewer/viewer.h"

static const COLORREF HIGHLIGHT_COLOUR = RGB(91, 132, 232);
static const int NUMBER_FONT_HEIGHT = 12;   // character height at 96 dpi

void invalidateThumbnails() {
  if (thumbnailWindow) InvalidateRect(thumbnailWindow, NULL, FALSE);
}

// Band, margins and the system's scroll bar while the panel shows a document
// (and neither a presentation nor the outline hides it); else 0.
int thumbnailPanelWidth() {
  const ThumbnailPanel& p = thumbnailPanel;
  if (!p.panelShown || !p.panelActive || viewState.presenting || outlineShowing()) return 0;
  return scaledLength(THUMBNAIL_WIDTH) + 2 * scaledLength(THUMBNAIL_MARGIN) + GetSystemMetrics(SM_CXVSCROLL);
}

// On screen exactly while it has a width; the caller re-lays out the frame.
void showThumbnailWindow() {
  if (thumbnailWindow) ShowWindow(thumbnailWindow, thumbnailPanelWidth() != 0 ? SW_SHOWNA : SW_HIDE);
}

// The bar stays visible, disabled, when the whole column fits.
void updateThumbnailScrollBar() {
  if (!thumbnailWindow) return;
  SCROLLINFO info = {};
  info.cbSize = sizeof(info);
  info.fMask = SIF_ALL | SIF_DISABLENOSCROLL;
  info.nMin = 0;
  info.nMax = thumbnailPanel.columnHeight - 1;
  info.nPage = thumbnailPanel.panelHeight > 0 ? (UINT)thumbnailPanel.panelHeight : 0;
  info.nPos = thumbnailPanel.panelScrollY;
  SetScrollInfo(thumbnailWindow, SB_VERT, &info, TRUE);
}

// Scrolling repaints the whole panel through its double buffer.
void scrollThumbnailsTo(int position) {
  position = clampThumbnailScroll(position);
  if (position == thumbnailPanel.panelScrollY) return;
  thumbnailPanel.panelScrollY = position;
  updateThumbnailScrollBar();
  invalidateThumbnails();
}

// Highlights the view's current page and brings it into sight. The page
// already highlighted does not scroll the panel, so that the user may look
// elsewhere in it while reading.
void setCurrentThumbnail(int page) {
  ThumbnailPanel& p = thumbnailPanel;
  if (!p.panelActive || page == p.highlightedPage || page < 0 || page >= p.thumbnailCount) return;
  p.highlightedPage = page;
  int width, height;
  thumbnailSize(page, &width, &height);
  int top = p.thumbnailTops[page];
  if (top - scaledLength(THUMBNAIL_GAP) < p.panelScrollY)
    scrollThumbnailsTo(top - scaledLength(THUMBNAIL_MARGIN));
  else if (top + scaledLength(THUMBNAIL_LABEL) + height > p.panelScrollY + p.panelHeight)
    scrollThumbnailsTo(top + scaledLength(THUMBNAIL_LABEL) + scaledLength(THUMBNAIL_MARGIN) + height - p.panelHeight);
  invalidateThumbnails();
}

// The view scrolls to the page; its title update then moves the highlight here.
void goToPageFromThumbnail(int page) {
  if (!documentIsOpen() || page < 0 || page >= documentState.pageCount) return;
  recordJumpPlace();
  scrollTo(viewState.scrollX, documentState.pageTops[page] - LAYOUT_MARGIN);
  SetFocus(viewWindow);
}

// With the outline in its place, F4 brings the miniatures back instead.
void toggleThumbnails() {
  if (outlineShowing()) {
    hideOutlineForThumbnails();
    if (thumbnailPanel.panelShown) {
      showThumbnailWindow();
      return;
    }
  }
  thumbnailPanel.panelShown = !thumbnailPanel.panelShown;
  writeSetting(L"HideThumbs", thumbnailPanel.panelShown ? 0 : 1);
  showThumbnailWindow();
}

static void fillBox(HDC dc, int left, int top, int right, int bottom, HBRUSH brush) {
  RECT box = {left, top, right, bottom};
  FillRect(dc, &box, brush);
}

// One item: the highlight under the current page, the picture or a white box,
// and the page number centred under it across the whole panel.
static void paintThumbnail(HDC dc, HDC source, int page, int clientWidth, HBRUSH highlight) {
  const ThumbnailPanel& p = thumbnailPanel;
  int w, h;
  thumbnailSize(page, &w, &h);
  int x = scaledLength(THUMBNAIL_MARGIN) + (scaledLength(THUMBNAIL_WIDTH) - w) / 2;
  int y = p.thumbnailTops[page] - p.panelScrollY;
  int frame = scaledLength(THUMBNAIL_HIGHLIGHT);
  if (page == p.highlightedPage) fillBox(dc, x - frame, y - frame, x + frame + w, y + frame + h, highlight);
  const ThumbnailSlot& slot = p.thumbnailSlots[page];
  if (slot.state == ThumbnailState::Ready) {
    HGDIOBJ old = SelectObject(source, (HBITMAP)slot.bitmap);
    BitBlt(dc, x, y, w, h, source, 0, 0, SRCCOPY);
    SelectObject(source, old);
  } else {
    fillBox(dc, x, y, x + w, y + h, (HBRUSH)GetStockObject(WHITE_BRUSH));
  }
  wchar_t number[16];
  wsprintfW(number, L"%d", page + 1);
  RECT label = {0, y + h + scaledLength(THUMBNAIL_HIGHLIGHT), clientWidth, 0};
  label.bottom = label.top + scaledLength(THUMBNAIL_LABEL);
  DrawTextW(dc, number, -1, &label, DT_SINGLELINE | DT_CENTER);
}

// The caller deletes it.
HFONT createPanelFont() {
  return CreateFontW(-scaledLength(NUMBER_FONT_HEIGHT), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Segoe UI");
}

// The visible items drawn into a bitmap of the client size, copied to the
// window in one go: scrolling never shows a half-drawn panel.
void paintThumbnails(HDC dc) {
  HBRUSH background = CreateSolidBrush(PANEL_BACKGROUND);
  HBRUSH highlight = CreateSolidBrush(HIGHLIGHT_COLOUR);
  HFONT font = createPanelFont();
  RECT client;
  GetClientRect(thumbnailWindow, &client);
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP canvas = CreateCompatibleBitmap(dc, client.right, client.bottom);
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ oldCanvas = SelectObject(memory, canvas);

  FillRect(memory, &client, background);
  HGDIOBJ oldFont = SelectObject(memory, font);
  SetBkMode(memory, TRANSPARENT);
  SetTextColor(memory, NUMBER_COLOUR);
  int first, last;
  visibleThumbnails(&first, &last);
  for (int i = first; i <= last; i++) paintThumbnail(memory, source, i, client.right, highlight);
  BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);

  SelectObject(memory, oldFont);
  SelectObject(memory, oldCanvas);
  DeleteDC(source);
  DeleteObject(canvas);
  DeleteDC(memory);
  DeleteObject(font);
  DeleteObject(highlight);
  DeleteObject(background);
}

static void onThumbnailScrollBar(int code) {
  SCROLLINFO info = {};
  info.cbSize = sizeof(info);
  info.fMask = SIF_ALL;
  GetScrollInfo(thumbnailWindow, SB_VERT, &info);
  const ThumbnailPanel& p = thumbnailPanel;
  int position = p.panelScrollY;
  switch (code) {
    case SB_LINEUP:
      position = info.nPos - scaledLength(THUMBNAIL_LINE_STEP);
      break;
    case SB_LINEDOWN:
      position = info.nPos + scaledLength(THUMBNAIL_LINE_STEP);
      break;
    case SB_PAGEUP:
      position = info.nPos - p.panelHeight;
      break;
    case SB_PAGEDOWN:
      position = info.nPos + p.panelHeight;
      break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
      position = info.nTrackPos;
      break;
    case SB_TOP:
      position = 0;
      break;
    case SB_BOTTOM:
      position = p.columnHeight;
      break;
  }
  scrollThumbnailsTo(position);
}

// Only the vertical position counts: the whole width of an item is its zone.
static void onThumbnailClick(LPARAM lParam) {
  int page = thumbnailAtPoint(thumbnailPanel.panelScrollY + (short)HIWORD(lParam));
  if (page >= 0) goToPageFromThumbnail(page);
}

// One notch away from the user scrolls up; the product before the division
// lets fine-grained wheels move in proportion.
static void onThumbnailWheel(WPARAM wParam) {
  int delta = (short)HIWORD(wParam);
  scrollThumbnailsTo(thumbnailPanel.panelScrollY - scaledLength(THUMBNAIL_WHEEL_STEP) * delta / 120);
}

static LRESULT CALLBACK thumbnailWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      thumbnailPanel.panelHeight = HIWORD(lParam);
      updateThumbnailScrollBar();
      scrollThumbnailsTo(thumbnailPanel.panelScrollY);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      if (thumbnailPanel.panelActive) paintThumbnails(dc);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_VSCROLL:
      onThumbnailScrollBar(LOWORD(wParam));
      return 0;
    case WM_LBUTTONDOWN:
      onThumbnailClick(lParam);
      return 0;
    case WM_MOUSEWHEEL:
      onThumbnailWheel(wParam);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Registers the class and creates the panel hidden and empty; HideThumbs
// decides whether it shows once it has pages.
HWND createThumbnailPanel() {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = thumbnailWindowProc;
  windowClass.hInstance = GetModuleHandleW(NULL);
  windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_HAND);
  windowClass.lpszClassName = L"BrisaThumbs";
  RegisterClassExW(&windowClass);
  thumbnailPanel.dpi = dpiY;
  thumbnailPanel.panelShown = readSetting(L"HideThumbs") == 0;
  thumbnailPanel.highlightedPage = -1;
  thumbnailWindow = CreateWindowExW(0, L"BrisaThumbs", NULL, WS_CHILD | WS_VSCROLL, 0, 0, 0, 0, frameWindow, NULL,
                                    windowClass.hInstance, NULL);
  return thumbnailWindow;
}
