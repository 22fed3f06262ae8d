// The outline panel: the PDF's bookmarks in a common-controls tree, in the
// thumbnail panel's place and at its width, on its dark ground. F9 and the
// window menu show or hide it (ShowOutline); F4 gives the place back to the
// miniatures. Branches are read as they unfold (outline.cpp), the top level
// unfolded. Enter or a click jumps to an item's place; as the view scrolls,
// the item of the section being read is selected.
//
// Under Wine, loading the common controls, making the tree, sizing it and
// filling its first screen cost more than the 50 ms a key may take. So once a
// PDF with an outline is open, idle time does all of that with the panel
// hidden, one step per slice, and F9 only shows and paints it.
#include "base/base.h"
#include "thumbs/outline.h"
#include "thumbs/thumbs.h"
#include "viewer/viewer.h"

#include <commctrl.h>

enum { WM_FOCUS_VIEW = WM_USER + 1 };   // after a click, once the tree has taken the focus for itself

struct OutlinePanel {
  bool shown;               // the user wants it (ShowOutline)
  bool active;              // the open document has an outline
  bool loaded;              // its top level is read
  bool unavailable;         // no tree or no memory for this document: not tried again in idle time
  int nextToInsert;         // the first read item that may not be in the tree yet
  FPDF_DOCUMENT document;   // not owned
  HWND tree;
  HFONT font;
};

static OutlinePanel outlinePanel;
static WNDPROC treeWindowProc;

static LRESULT CALLBACK outlineWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
static LRESULT CALLBACK outlineTreeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void initOutlinePanel() {
  outlinePanel.shown = readSetting(L"ShowOutline") != 0;
}

bool outlineShowing() {
  return outlinePanel.shown && outlinePanel.active;
}

static int shownPanelWidth() {
  return scaledLength(THUMBNAIL_WIDTH) + 2 * scaledLength(THUMBNAIL_MARGIN) + GetSystemMetrics(SM_CXVSCROLL);
}

int outlinePanelWidth() {
  if (!outlineShowing() || !outlineWindow || viewState.presenting) return 0;
  return shownPanelWidth();
}

static bool classesRegistered;

// The tree's class comes from the common controls, loaded here rather than at start-up.
static bool registerOutlineClasses() {
  if (classesRegistered) return true;
  typedef BOOL(WINAPI * InitControlsProc)(const INITCOMMONCONTROLSEX*);
  InitControlsProc initControls = (InitControlsProc)loadProc("comctl32", "InitCommonControlsEx");
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES};
  if (!initControls || !initControls(&controls)) return false;
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = outlineWindowProc;
  windowClass.hInstance = GetModuleHandleW(NULL);
  windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  windowClass.lpszClassName = L"BrisaOutline";
  classesRegistered = RegisterClassExW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  return classesRegistered;
}

// The panel and its tree in the panel's colours and font; false when the
// common controls cannot give a tree.
static bool createOutlineWindow() {
  if (outlineWindow) return true;
  if (!registerOutlineClasses()) {
    outlinePanel.unavailable = true;
    return false;
  }
  HINSTANCE instance = GetModuleHandleW(NULL);
  outlineWindow = CreateWindowExW(0, L"BrisaOutline", NULL, WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0, frameWindow, NULL,
                                  instance, NULL);
  if (!outlineWindow) return false;
  DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP | TVS_NOHSCROLL;
  HWND tree = CreateWindowExW(0, WC_TREEVIEWW, NULL, style, 0, 0, 0, 0, outlineWindow, NULL, instance, NULL);
  if (!tree) {
    DestroyWindow(outlineWindow);
    outlinePanel.unavailable = true;
    return false;
  }
  outlinePanel.tree = tree;
  outlinePanel.font = createPanelFont();
  SendMessageW(tree, WM_SETFONT, (WPARAM)outlinePanel.font, 0);
  SendMessageW(tree, TVM_SETBKCOLOR, 0, (LPARAM)PANEL_BACKGROUND);
  SendMessageW(tree, TVM_SETTEXTCOLOR, 0, (LPARAM)NUMBER_COLOUR);
  SendMessageW(tree, TVM_SETLINECOLOR, 0, (LPARAM)NUMBER_COLOUR);
  SendMessageW(tree, TVM_SETINDENT, scaledLength(THUMBNAIL_MARGIN), 0);
  treeWindowProc = (WNDPROC)SetWindowLongPtrW(tree, GWLP_WNDPROC, (LONG_PTR)outlineTreeProc);
  return true;
}

// Items put in the tree at once when the panel shows or a branch unfolds
// (a screenful), and bookmarks read at once from one row; the rest follow
// in idle time, in slices that end after SLICE_MS, so that a long outline
// never holds the window.
enum { OUTLINE_SLICE = 100, OUTLINE_READ_SLICE = 200, SLICE_MS = 15 };

// The tree item of one read item, under its parent's, after its elder
// siblings (items are read parent first, siblings in order). The top level
// shows unfolded: its children are read as each of its items goes in.
static void insertOutlineItem(int i) {
  OutlineItem& item = outlineModel.items[i];
  Utf16 title[OUTLINE_TITLE_UNITS + 1];
  outlineTitle(i, title);
  bool unfold = item.depth == 0 && item.mayHaveChildren && readSomeOutlineChildren(i, OUTLINE_READ_SLICE) > 0;
  TVINSERTSTRUCTW insert = {};
  insert.hParent = item.parent >= 0 ? (HTREEITEM)outlineModel.items[item.parent].treeItem : TVI_ROOT;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN | TVIF_STATE;
  insert.item.pszText = title;
  insert.item.cChildren = item.mayHaveChildren ? 1 : 0;
  insert.item.state = unfold ? TVIS_EXPANDED : 0;
  insert.item.stateMask = TVIS_EXPANDED;
  insert.item.lParam = i;
  item.treeItem = (void*)SendMessageW(outlinePanel.tree, TVM_INSERTITEMW, 0, (LPARAM)&insert);
}

// Up to count read items not yet in the tree, in the order they were read,
// for SLICE_MS at most; true while some remain.
static bool insertPendingItems(int count) {
  OutlinePanel& panel = outlinePanel;
  DWORD start = GetTickCount();
  for (; panel.nextToInsert < outlineModel.itemCount && count > 0; panel.nextToInsert++) {
    if (outlineModel.items[panel.nextToInsert].treeItem) continue;   // its branch was unfolded by the user
    insertOutlineItem(panel.nextToInsert);
    if (GetTickCount() - start >= SLICE_MS) count = 0;
    count--;
  }
  return panel.nextToInsert < outlineModel.itemCount;
}

// More of the long rows begun: the top level's, a branch's that unfolded.
// The section being read may be among them. False once every row is read.
static bool readPendingRows() {
  DWORD start = GetTickCount();
  int read = 0;
  for (int row; GetTickCount() - start < SLICE_MS && (row = outlineBranchToRead()) != -2;)
    read += readSomeOutlineChildren(row, OUTLINE_READ_SLICE);
  if (read > 0) setCurrentOutlineItem(viewState.currentPage);
  return outlineBranchToRead() != -2 || outlinePanel.nextToInsert < outlineModel.itemCount;
}

static void loadOutline();

// Hidden, the panel takes the place it will show in, beside the view: shown,
// it then needs no sizing, which costs the tree as much as painting it.
static void placeHiddenPanel() {
  RECT view;
  if (!GetWindowRect(viewWindow, &view)) return;
  MapWindowPoints(NULL, frameWindow, (POINT*)&view, 2);
  MoveWindow(outlineWindow, 0, view.top, shownPanelWidth(), view.bottom - view.top, FALSE);
  MoveWindow(outlinePanel.tree, 0, 0, shownPanelWidth(), view.bottom - view.top, FALSE);
}

// The panel made ready while hidden, one step per slice: the common
// controls, the window, then the top level and the first screen of items.
// The rest waits for a showing.
static bool prepareHiddenPanel() {
  OutlinePanel& panel = outlinePanel;
  if (!panel.active || panel.unavailable || (outlineWindow && panel.loaded)) return false;
  if (!classesRegistered) {
    if (!registerOutlineClasses()) panel.unavailable = true;
  } else if (!outlineWindow) {
    if (createOutlineWindow()) placeHiddenPanel();
  } else {
    loadOutline();
    panel.unavailable = !panel.loaded;   // no memory for it: not tried again for this document
  }
  return true;
}

// One idle slice; non-zero while there is more to do.
int loadOutlineSlice() {
  if (!outlineShowing()) return prepareHiddenPanel() ? 1 : 0;
  if (!outlinePanel.loaded) return 0;
  if (outlinePanel.nextToInsert >= outlineModel.itemCount) return readPendingRows() ? 1 : 0;
  // Redrawn once a slice: item by item, each insertion would redraw the tree and its bar.
  SendMessageW(outlinePanel.tree, WM_SETREDRAW, FALSE, 0);
  bool more = insertPendingItems(OUTLINE_SLICE);
  SendMessageW(outlinePanel.tree, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(outlinePanel.tree, NULL, TRUE);
  return more || outlineBranchToRead() != -2 ? 1 : 0;
}

// A branch the user unfolds: its first screen of children read and shown at
// once. One that turns out to have none loses its button.
static void showOutlineChildren(int parent) {
  int first = outlineModel.itemCount;
  int added = readSomeOutlineChildren(parent, OUTLINE_SLICE);   // the rest in idle time
  for (int i = first; i < first + added; i++) insertOutlineItem(i);
  if (added > 0) return;
  TVITEMW item = {};
  item.mask = TVIF_CHILDREN;
  item.hItem = (HTREEITEM)outlineModel.items[parent].treeItem;
  SendMessageW(outlinePanel.tree, TVM_SETITEMW, 0, (LPARAM)&item);
}

// The top level, and the first slice of items, drawn once at the end (if shown).
static void loadOutline() {
  outlinePanel.loaded = beginOutline(outlinePanel.document);
  outlinePanel.nextToInsert = 0;
  if (!outlinePanel.loaded) return;
  HWND tree = outlinePanel.tree;
  SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
  readSomeOutlineChildren(-1, OUTLINE_READ_SLICE);
  insertPendingItems(OUTLINE_SLICE);
  SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(tree, NULL, TRUE);
  setCurrentOutlineItem(viewState.currentPage);
}

static bool treeHasFocus() {
  return outlinePanel.tree && GetFocus() == outlinePanel.tree;
}

// On screen exactly while wanted with an outline to show; the menu item
// follows, and the miniatures give way or come back. The caller re-lays out
// the frame.
static void showOutlineWindow() {
  bool on = outlineShowing() && createOutlineWindow();
  bool wasShown = outlineWindow && IsWindowVisible(outlineWindow);
  if (on && !outlinePanel.loaded) loadOutline();
  if (!on && treeHasFocus()) SetFocus(viewWindow);
  if (outlineWindow) ShowWindow(outlineWindow, on ? SW_SHOWNA : SW_HIDE);
  if (on && !wasShown) {
    setCurrentOutlineItem(viewState.currentPage);   // the view may have moved since it was filled
    RECT place;
    GetWindowRect(outlineWindow, &place);
    // Already in its place: painted before the view narrows, as a sizing would.
    if (place.right - place.left == shownPanelWidth()) UpdateWindow(outlinePanel.tree);
  }
  CheckMenuItem(GetSystemMenu(frameWindow, FALSE), IDM_OUTLINE, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  showThumbnailWindow();
}

// A new document (null: none): its outline is read again when the panel shows.
void resetOutline(FPDF_DOCUMENT document) {
  if (outlinePanel.tree && outlinePanel.loaded) {
    SendMessageW(outlinePanel.tree, WM_SETREDRAW, FALSE, 0);
    SendMessageW(outlinePanel.tree, TVM_DELETEITEM, 0, (LPARAM)TVI_ROOT);
    SendMessageW(outlinePanel.tree, WM_SETREDRAW, TRUE, 0);
  }
  endOutline();
  outlinePanel.loaded = false;
  outlinePanel.unavailable = false;
  outlinePanel.document = document;
  outlinePanel.active = documentHasOutline(document);
  showOutlineWindow();
}

// F9 and the menu. Without an outline to show (a comic, a PDF without one): a
// beep, nothing else. Shown, the tree takes the keyboard.
void toggleOutline() {
  if (!outlinePanel.active) {
    MessageBeep(MB_ICONEXCLAMATION);
    return;
  }
  outlinePanel.shown = !outlinePanel.shown;
  writeSetting(L"ShowOutline", outlinePanel.shown ? 1 : 0);
  showOutlineWindow();
  if (outlineShowing()) SetFocus(outlinePanel.tree);
}

// F4 while the outline shows: the outline goes, the caller shows the miniatures.
void hideOutlineForThumbnails() {
  outlinePanel.shown = false;
  writeSetting(L"ShowOutline", 0);
  showOutlineWindow();
}

// The point of the page to the top of the view, or the page's top as Go to
// page puts it. Every jump from the outline goes through here.
static void goToOutlineTarget(const OutlineTarget& target) {
  const DocumentState& d = documentState;
  if (!documentIsOpen() || target.page < 0 || target.page >= d.pageCount) return;
  recordJumpPlace();
  FPDF_PAGE page = target.hasY ? getCachedPage(target.page) : NULL;
  int width = pagePixels(d.pageWidths[target.page]), height = pagePixels(d.pageHeights[target.page]);
  int x, y;
  if (!page || !FPDF_PageToDevice(page, 0, 0, width, height, viewState.quarterTurns, 0, target.y, &x, &y)) {
    goToPage(target.page);
    return;
  }
  y = y < 0 ? 0 : (y > height ? height : y);
  scrollTo(viewState.scrollX, d.pageTops[target.page] + y);
}

// An item that leads nowhere usable (a web link, a script, no destination) beeps.
static void jumpToItem(HTREEITEM handle) {
  if (!handle) return;
  TVITEMW item = {};
  item.mask = TVIF_PARAM;
  item.hItem = handle;
  if (!SendMessageW(outlinePanel.tree, TVM_GETITEMW, 0, (LPARAM)&item)) return;
  OutlineTarget target = outlineTarget((int)item.lParam);
  if (target.page < 0) {
    MessageBeep(MB_ICONEXCLAMATION);
    return;
  }
  goToOutlineTarget(target);
}

static HTREEITEM selectedItem() {
  return (HTREEITEM)SendMessageW(outlinePanel.tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
}

// Only a click on an item's text jumps, not on its button or beside it.
static HTREEITEM clickedItem() {
  TVHITTESTINFO hit = {};
  GetCursorPos(&hit.pt);
  ScreenToClient(outlinePanel.tree, &hit.pt);
  HTREEITEM item = (HTREEITEM)SendMessageW(outlinePanel.tree, TVM_HITTEST, 0, (LPARAM)&hit);
  return (hit.flags & TVHT_ONITEM) ? item : NULL;
}

static bool isExpanded(int item) {
  UINT state =
      (UINT)SendMessageW(outlinePanel.tree, TVM_GETITEMSTATE, (WPARAM)outlineModel.items[item].treeItem, TVIS_EXPANDED);
  return (state & TVIS_EXPANDED) != 0;
}

// The item, or its highest folded ancestor: selecting never unfolds a
// branch. An item not in the tree yet gives its nearest ancestor that is, or -1.
static int shownItemFor(int item) {
  while (item >= 0 && !outlineModel.items[item].treeItem) item = outlineModel.items[item].parent;
  int shown = item;
  for (int i = item; i >= 0 && outlineModel.items[i].parent >= 0; i = outlineModel.items[i].parent)
    if (!isExpanded(outlineModel.items[i].parent)) shown = outlineModel.items[i].parent;
  return shown;
}

// Follows the view without taking the focus. An item the user chose that
// leads to the same page as the section found stays selected.
void setCurrentOutlineItem(int page) {
  if (!outlinePanel.loaded || !outlineShowing()) return;
  int item = outlineItemForPage(page);
  if (item < 0) return;
  int shown = shownItemFor(item);
  if (shown < 0) return;
  TVITEMW selected = {};
  selected.mask = TVIF_PARAM;
  selected.hItem = selectedItem();
  if (selected.hItem && SendMessageW(outlinePanel.tree, TVM_GETITEMW, 0, (LPARAM)&selected)) {
    int current = (int)selected.lParam;
    if (current == shown || (shown == item && outlineModel.items[current].page == outlineModel.items[item].page))
      return;
  }
  SendMessageW(outlinePanel.tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)outlineModel.items[shown].treeItem);
}

static LRESULT onOutlineNotify(const NMHDR* header, LPARAM lParam) {
  switch (header->code) {
    case TVN_ITEMEXPANDINGW: {
      const NMTREEVIEWW* change = (const NMTREEVIEWW*)lParam;
      int item = (int)change->itemNew.lParam;
      if ((change->action & TVE_EXPAND) && item >= 0 && item < outlineModel.itemCount &&
          !outlineModel.items[item].childrenRead)
        showOutlineChildren(item);
      return FALSE;
    }
    case NM_CLICK:
    case NM_DBLCLK:
      if (HTREEITEM item = clickedItem()) {
        jumpToItem(item);
        PostMessageW(outlineWindow, WM_FOCUS_VIEW, 0, 0);
      }
      return 0;
  }
  return 0;
}

static LRESULT CALLBACK outlineWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      // Painted at once, before the frame narrows the view and its pages are drawn again.
      if (outlinePanel.tree) {
        MoveWindow(outlinePanel.tree, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        if (IsWindowVisible(window)) UpdateWindow(outlinePanel.tree);
      }
      return 0;
    case WM_SETFOCUS:
      if (outlinePanel.tree) SetFocus(outlinePanel.tree);
      return 0;
    case WM_NOTIFY:
      return onOutlineNotify((const NMHDR*)lParam, lParam);
    case WM_FOCUS_VIEW:
      SetFocus(viewWindow);
      return 0;
    case WM_DESTROY:
      endOutline();
      DeleteObject(outlinePanel.font);
      outlinePanel.font = NULL;
      outlinePanel.tree = NULL;
      outlinePanel.loaded = false;
      outlineWindow = NULL;
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The tree's own keys (arrows, folding, Home, End, typing to find), Enter to
// jump, Esc and Tab back to the view, and the command keys.
static LRESULT CALLBACK outlineTreeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN) {
    switch (wParam) {
      case VK_RETURN:
        jumpToItem(selectedItem());
        return 0;
      case VK_ESCAPE:
      case VK_TAB:
        SetFocus(viewWindow);
        return 0;
    }
    if (handleCommandKey(wParam)) return 0;
  } else if (message == WM_SYSKEYDOWN) {
    handleAltKey(wParam);   // Alt+Left and Alt+Right; the rest as the tree does
  } else if (message == WM_CHAR && wParam < 0x20) {
    return 0;   // Enter, Esc, Tab and Ctrl+letters: neither a search nor a beep
  }
  return CallWindowProcW(treeWindowProc, window, message, wParam, lParam);
}
