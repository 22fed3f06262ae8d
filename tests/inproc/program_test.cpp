// The program's own windows, created in this process, for what another process
// cannot read: system-menu states, scroll-bar ranges, child placement, the
// records behind the view, registry writes.
#include "app/app.h"
#include "viewer/links.h"

#include <shlobj.h>
#include <fcntl.h>
#include <sys/fanotify.h>
#include <unistd.h>
#include "search/search.h"
#include "tests/inproc/gtest.h"
#include "tests/support/inproc.h"
#include "tests/support/pdfwriter.h"
#include "viewer/recent.h"
#include "viewer/viewer.h"

#include <algorithm>
#include <limits>
#include <stdio.h>
#include <string>
#include <vector>

namespace {

std::string tempFolder() {
  char pattern[] = "/tmp/brisa-inproc-XXXXXX";
  return std::string(mkdtemp(pattern));
}

std::string frameTitle() {
  wchar_t title[400];
  GetWindowTextW(frameWindow, title, 400);
  return narrow(title);
}

// Closes the message boxes this process shows and remembers their texts.
struct BoxCloser {
  HANDLE thread;
  volatile bool stop;
  std::string texts;
};

BOOL CALLBACK collectStaticText(HWND child, LPARAM lParam) {
  wchar_t name[32], text[512];
  GetClassNameW(child, name, 32);
  GetWindowTextW(child, text, 512);
  if (!lstrcmpiW(name, L"Static") && text[0]) ((BoxCloser*)lParam)->texts += narrow(text) + "|";
  return TRUE;
}

DWORD WINAPI closeBoxes(void* parameter) {
  BoxCloser* closer = (BoxCloser*)parameter;
  while (!closer->stop) {
    HWND box = FindWindowW(L"#32770", NULL);
    DWORD pid = 0;
    if (box) GetWindowThreadProcessId(box, &pid);
    if (box && pid == GetCurrentProcessId() && IsWindowVisible(box)) {
      EnumChildWindows(box, collectStaticText, (LPARAM)closer);
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      Sleep(200);
    }
    Sleep(20);
  }
  return 0;
}

struct Program : ::testing::Test {
  std::string folder = tempFolder();
  BoxCloser closer = {NULL, false, ""};

  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brisa");
    writeSetting(L"HideAboutOnStartup", 1);
    writeSetting(L"HideThumbs", 1);   // the view fills the frame
  }
  void start(const std::string& arguments = "") {
    Wide line = wide("brisa " + arguments);
    startBrisa(GetModuleHandleW(NULL), line.text);
    pumpMessages();
  }
  void TearDown() override {
    if (closer.thread) {
      closer.stop = true;
      WaitForSingleObject(closer.thread, 5000);
      CloseHandle(closer.thread);
    }
    if (frameWindow) DestroyWindow(frameWindow);
    pumpMessages();
    stopBrisa();
    frameWindow = viewWindow = searchBox = thumbnailWindow = NULL;
    closeDocument();   // a second close with nothing open releases nothing
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brisa");
    writeSetting(L"HideAboutOnStartup", 1);
    writeSetting(L"HideThumbs", 1);
  }
  void closeMessageBoxes() {
    closer.thread = CreateThread(NULL, 0, closeBoxes, &closer, 0, NULL);
  }
  std::string pdf(const std::string& name, const std::vector<std::pair<int, int>>& pages) {
    return writeFile(folder + "/" + name, makeTestPdf(pages));
  }
  void open(const std::string& path) {
    openDocument(wide(path).c_str());
    pumpMessages();
  }
  void resizeFrame(int width, int height) {
    SetWindowPos(frameWindow, NULL, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    pumpMessages();
  }
  SCROLLINFO scrollInfo(int bar) {
    SCROLLINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    GetScrollInfo(viewWindow, bar, &info);
    return info;
  }
};

std::string menuText(HMENU menu, UINT id) {
  wchar_t text[128] = {0};
  GetMenuStringW(menu, id, text, 128, MF_BYCOMMAND);
  return narrow(text);
}

bool isChecked(UINT id) {
  return (GetMenuState(GetSystemMenu(frameWindow, FALSE), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

}   // namespace

// The position of a window-menu item, or -1.
static int menuPosition(HMENU menu, UINT id) {
  for (int i = 0; i < GetMenuItemCount(menu); i++)
    if (GetMenuItemID(menu, i) == id) return i;
  return -1;
}

static bool isMenuSeparator(HMENU menu, int position) {
  MENUITEMINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_FTYPE;
  return GetMenuItemInfoW(menu, position, TRUE, &info) && (info.fType & MFT_SEPARATOR);
}

// The standard entries, then a separator and our five in order, in the UI language.
TEST_F(Program, SystemMenuHasTheFiveItemsInOrder) {
  start();
  HMENU menu = GetSystemMenu(frameWindow, FALSE);
  int count = GetMenuItemCount(menu);
  int first = menuPosition(menu, IDM_THUMBNAILS) - 1;   // our separator
  ASSERT_GE(first, 1);
  ASSERT_GE(count, first + 6);
  const UINT ids[] = {0, IDM_THUMBNAILS, IDM_DOUBLE_PAGE, IDM_COVER_ALONE, IDM_DEFAULT_READER, IDM_ABOUT};
  for (int i = 0; i < 6; i++) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_ID;
    ASSERT_TRUE(GetMenuItemInfoW(menu, first + i, TRUE, &info));
    if (i == 0)
      EXPECT_TRUE(info.fType & MFT_SEPARATOR);
    else
      EXPECT_EQ(ids[i], info.wID);
  }
  bool standardFirst = false;   // the standard items stay first
  for (int i = 0; i < first; i++) standardFirst |= GetMenuItemID(menu, i) == SC_CLOSE;
  EXPECT_TRUE(standardFirst);
  bool french = UiLanguage == UI_FRENCH;
  EXPECT_EQ(french ? "Miniatures\tF4" : "Thumbnails\tF4", menuText(menu, IDM_THUMBNAILS));
  EXPECT_EQ(french ? "Double page\tD" : "Two-page view\tD", menuText(menu, IDM_DOUBLE_PAGE));
  EXPECT_EQ(french ? "Couverture seule\tMaj+D" : "Cover alone\tShift+D", menuText(menu, IDM_COVER_ALONE));
  EXPECT_EQ(french ? "Lecteur PDF par d\xc3\xa9"
                     "faut\xe2\x80\xa6"
                   : "Default PDF reader\xe2\x80\xa6",
            menuText(menu, IDM_DEFAULT_READER));
  EXPECT_EQ(french ? "\xc3\x80 propos de Brisa\xe2\x80\xa6\tF1" : "About Brisa\xe2\x80\xa6\tF1",
            menuText(menu, IDM_ABOUT));
}

// Two-page view checked when on; cover alone checked while CoverPaired is 0 or absent.
TEST_F(Program, CheckMarksFollowTheStoredPageMode) {
  start();
  EXPECT_FALSE(isChecked(IDM_DOUBLE_PAGE));
  EXPECT_TRUE(isChecked(IDM_COVER_ALONE));
  TearDown();
  for (int doublePage = 0; doublePage < 2; doublePage++)
    for (int coverPaired = 0; coverPaired < 2; coverPaired++) {
      writeSetting(L"DoublePage", doublePage);
      writeSetting(L"CoverPaired", coverPaired);
      start();
      EXPECT_EQ(doublePage == 1, isChecked(IDM_DOUBLE_PAGE)) << doublePage << coverPaired;
      EXPECT_EQ(coverPaired == 0, isChecked(IDM_COVER_ALONE)) << doublePage << coverPaired;
      EXPECT_EQ(doublePage == 1, viewState.doublePage);
      TearDown();
    }
}

// After the five, a second separator; right-to-left reading is the last item,
// checked from RightToLeft, and the menu toggles and stores it.
TEST_F(Program, RightToLeftItemAfterASecondSeparator) {
  writeSetting(L"RightToLeft", 1);
  start();
  HMENU menu = GetSystemMenu(frameWindow, FALSE);
  int about = menuPosition(menu, IDM_ABOUT);
  ASSERT_GT(about, 0);
  MENUITEMINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_FTYPE;
  ASSERT_TRUE(GetMenuItemInfoW(menu, about + 1, TRUE, &info));
  EXPECT_TRUE(info.fType & MFT_SEPARATOR);
  EXPECT_EQ(menuPosition(menu, IDM_RESUME_POSITION) + 1, menuPosition(menu, IDM_RIGHT_TO_LEFT));
  EXPECT_EQ(UiLanguage == UI_FRENCH ? "Lecture de droite \xc3\xa0 gauche" : "Right-to-left reading",
            menuText(menu, IDM_RIGHT_TO_LEFT));
  EXPECT_TRUE(isChecked(IDM_RIGHT_TO_LEFT));
  EXPECT_TRUE(viewState.rightToLeft);
  SendMessageW(frameWindow, WM_SYSCOMMAND, IDM_RIGHT_TO_LEFT, 0);
  EXPECT_FALSE(isChecked(IDM_RIGHT_TO_LEFT));
  EXPECT_FALSE(viewState.rightToLeft);
  EXPECT_EQ(0u, readSetting(L"RightToLeft"));
  TearDown();
  start();   // absent: off
  EXPECT_FALSE(isChecked(IDM_RIGHT_TO_LEFT));
  SendMessageW(frameWindow, WM_SYSCOMMAND, IDM_RIGHT_TO_LEFT, 0);
  EXPECT_EQ(1u, readSetting(L"RightToLeft"));
}

// Each menu change writes both values; cover alone also switches two-page view on.
TEST_F(Program, MenuCommandsWriteBothSettings) {
  start();
  SendMessageW(frameWindow, WM_SYSCOMMAND, IDM_DOUBLE_PAGE, 0);
  EXPECT_EQ(1u, readSetting(L"DoublePage"));
  DWORD type = 0;
  EXPECT_EQ(ERROR_SUCCESS,
            RegGetValueW(HKEY_CURRENT_USER, L"Software\\Brisa", L"CoverPaired", RRF_RT_ANY, &type, NULL, NULL));
  EXPECT_EQ((DWORD)REG_DWORD, type);
  SendMessageW(frameWindow, WM_SYSCOMMAND, IDM_DOUBLE_PAGE, 0);
  EXPECT_EQ(0u, readSetting(L"DoublePage"));
  SendMessageW(frameWindow, WM_SYSCOMMAND, IDM_COVER_ALONE, 0);
  EXPECT_EQ(1u, readSetting(L"DoublePage"));
  EXPECT_EQ(1u, readSetting(L"CoverPaired"));
  EXPECT_TRUE(isChecked(IDM_DOUBLE_PAGE));
  EXPECT_FALSE(isChecked(IDM_COVER_ALONE));
}

// A value of another type reads as the default, never as its bytes.
TEST_F(Program, SettingOfAnotherTypeReadsAsZero) {
  RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Brisa", L"DoublePage", REG_SZ, L"1", 4);
  EXPECT_EQ(0u, readSetting(L"DoublePage"));
  RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Brisa", L"DoublePage", REG_BINARY, "\x01\x02\x03\x04\x05", 5);
  EXPECT_EQ(0u, readSetting(L"DoublePage"));
  EXPECT_EQ(0u, readSetting(L"Missing"));
}

TEST_F(Program, ChildrenArePlacedAroundTheSearchStrip) {
  start();
  RECT client;
  GetClientRect(frameWindow, &client);
  auto placement = [](HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(NULL, frameWindow, (POINT*)&r, 2);
    return r;
  };
  int inset = searchBarHeight / 6;
  RECT box = placement(searchBox), view = placement(viewWindow);
  EXPECT_EQ(inset, box.left);
  EXPECT_EQ(inset, box.top);
  EXPECT_EQ(client.right - 2 * inset, box.right - box.left);
  EXPECT_EQ(searchBarHeight - 2 * inset, box.bottom - box.top);
  EXPECT_EQ(0, view.top);
  EXPECT_EQ(client.bottom, view.bottom);
  EXPECT_EQ(client.right, view.right - view.left);
  ShowWindow(searchBox, SW_SHOW);
  relayoutFrame();
  view = placement(viewWindow);
  EXPECT_EQ(searchBarHeight, view.top);
  EXPECT_EQ(client.bottom - searchBarHeight, viewState.viewHeight);
}

// The view's size as the layout knows it is its real client size, with or
// without a document (the scroll bars take their room first).
TEST_F(Program, ViewSizeMatchesTheClientArea) {
  start();
  RECT client;
  GetClientRect(viewWindow, &client);
  EXPECT_EQ(client.right, viewState.viewWidth);
  EXPECT_EQ(client.bottom, viewState.viewHeight);
  open(pdf("five.pdf", letterPages(5)));
  GetClientRect(viewWindow, &client);
  EXPECT_EQ(client.right, viewState.viewWidth);
  EXPECT_EQ(client.bottom, viewState.viewHeight);
}

// The vertical bar spans the canvas; the horizontal one hides while all fits.
TEST_F(Program, ScrollBarsDescribeTheCanvas) {
  start();
  open(pdf("five.pdf", letterPages(5)));
  SCROLLINFO vertical = scrollInfo(SB_VERT);
  EXPECT_EQ(0, vertical.nMin);
  EXPECT_EQ(viewState.layoutHeight - 1, vertical.nMax);
  EXPECT_EQ((UINT)viewState.viewHeight, vertical.nPage);
  EXPECT_EQ(0, vertical.nPos);
  EXPECT_FALSE(GetWindowLongW(viewWindow, GWL_STYLE) & WS_HSCROLL);
  SendMessageW(viewWindow, WM_VSCROLL, SB_PAGEDOWN, 0);
  EXPECT_EQ(viewState.viewHeight - MulDiv(48, dpiY, 96), viewState.scrollY);
  EXPECT_EQ(viewState.scrollY, scrollInfo(SB_VERT).nPos);
  SendMessageW(viewWindow, WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(viewState.layoutHeight - viewState.viewHeight, viewState.scrollY);
  zoomAt(0, 0, 4);   // wider than the view: the horizontal bar appears
  EXPECT_TRUE(GetWindowLongW(viewWindow, GWL_STYLE) & WS_HSCROLL);
  EXPECT_EQ(viewState.layoutWidth - 1, scrollInfo(SB_HORZ).nMax);
}

// A view shorter than one line step still pages forward.
TEST_F(Program, PageStepInATinyViewMovesForward) {
  start();
  open(pdf("three.pdf", letterPages(3)));
  RECT frame, client;
  GetWindowRect(frameWindow, &frame);
  GetClientRect(frameWindow, &client);
  resizeFrame(400, (frame.bottom - frame.top) - client.bottom + MulDiv(30, dpiY, 96));
  ASSERT_LT(viewState.viewHeight, MulDiv(48, dpiY, 96));
  ASSERT_GT(viewState.viewHeight, 0);
  SendMessageW(viewWindow, WM_VSCROLL, SB_PAGEDOWN, 0);
  EXPECT_GT(viewState.scrollY, 0);
}

// A failed open keeps the document, its scroll position and its title.
TEST_F(Program, FailedOpenLeavesThePreviousDocument) {
  start();
  std::string good = pdf("good.pdf", letterPages(8));
  open(good);
  SendMessageW(viewWindow, WM_VSCROLL, SB_PAGEDOWN, 0);
  SendMessageW(viewWindow, WM_VSCROLL, SB_PAGEDOWN, 0);
  FPDF_DOCUMENT before = documentState.pdfDocument;
  int scroll = viewState.scrollY;
  std::string title = frameTitle();
  ASSERT_EQ("good.pdf - 2/8 - Brisa", title);
  closeMessageBoxes();
  open(folder + "/missing.pdf");
  open(writeFile(folder + "/garbage.pdf", "%PDF-1.4\nthis is not a document"));
  open(writeFile(folder + "/empty.pdf", ""));
  open(folder);
  EXPECT_EQ(before, documentState.pdfDocument);
  EXPECT_EQ(scroll, viewState.scrollY);
  EXPECT_EQ(title, frameTitle());
  EXPECT_EQ(8, documentState.pageCount);
  const char* expected = UiLanguage == UI_FRENCH ? "Impossible d'ouvrir ce fichier.|" : "Cannot open this file.|";
  std::string four;
  for (int i = 0; i < 4; i++) four += expected;
  EXPECT_EQ(four, closer.texts);
}

TEST_F(Program, DocumentWithoutPagesIsTitledZeroOfZero) {
  start();
  open(pdf("nothing.pdf", {}));
  EXPECT_TRUE(documentIsOpen());
  EXPECT_EQ(0, documentState.pageCount);
  EXPECT_EQ("nothing.pdf - 0/0 - Brisa", frameTitle());
}

TEST_F(Program, LongPathIsCutInTheRecord) {
  start();
  std::string deep = folder;
  while (deep.size() < 300) {
    deep += "/abcdefghijklmnopqrstuvwxyz0123456789";
    CreateDirectoryW(wide(deep).c_str(), NULL);
  }
  std::string path = pdf(deep.substr(folder.size() + 1) + "/long.pdf", letterPages(1));
  open(path);
  ASSERT_TRUE(documentIsOpen());
  EXPECT_EQ(259, lstrlenW(documentState.filePath));
}

// Resizing with fit width keeps the view's top at the same place in the document.
TEST_F(Program, ResizeKeepsTheRelativePosition) {
  start();
  open(pdf("ten.pdf", letterPages(10)));
  for (int i = 0; i < 5; i++) SendMessageW(viewWindow, WM_VSCROLL, SB_PAGEDOWN, 0);
  double before = (double)viewState.scrollY / viewState.layoutHeight;
  int page = viewState.currentPage;
  RECT frame;
  GetWindowRect(frameWindow, &frame);
  resizeFrame(frame.right - frame.left - 250, frame.bottom - frame.top);
  double after = (double)viewState.scrollY / viewState.layoutHeight;
  EXPECT_NEAR(before, after, 1.0 / viewState.layoutHeight + 1e-9);
  EXPECT_EQ(page, viewState.currentPage);
  EXPECT_DOUBLE_EQ((viewState.viewWidth - 16) / 612.0, viewState.zoom);
}

// Zooming about a point keeps the document point under it, also while the
// canvas is narrower than the view and centred in it.
TEST_F(Program, ZoomKeepsThePointUnderTheAnchor) {
  start();
  open(pdf("two.pdf", letterPages(2)));
  zoomAt(0, 0, 0.3);
  ASSERT_LT(viewState.layoutWidth, viewState.viewWidth);
  auto canvasFraction = [](int x) {
    int centring = (viewState.viewWidth > viewState.layoutWidth ? viewState.viewWidth - viewState.layoutWidth : 0) / 2;
    if (centring < 0) centring = 0;
    return (double)(x - centring + viewState.scrollX) / viewState.layoutWidth;
  };
  int anchorX = viewState.viewWidth / 2 + 37;
  double before = canvasFraction(anchorX);
  zoomAt(anchorX, 10, 3);
  ASSERT_GT(viewState.layoutWidth, viewState.viewWidth);
  EXPECT_NEAR(before, canvasFraction(anchorX), 2.0 / viewState.layoutWidth);
}

TEST_F(Program, ZoomIsBounded) {
  start();
  open(pdf("one.pdf", letterPages(1)));
  zoomAt(0, 0, 39);
  zoomBy(1.25);
  EXPECT_EQ(MAX_ZOOM, viewState.zoom);
  zoomAt(0, 0, 0.06);
  zoomBy(1 / 1.25);
  EXPECT_EQ(MIN_ZOOM, viewState.zoom);
  EXPECT_FALSE(viewState.fitWidth);
  fitToWidth();
  EXPECT_DOUBLE_EQ((viewState.viewWidth - 16) / 612.0, viewState.zoom);
}

// Switching two-page view keeps the current page at the top of the view.
TEST_F(Program, PageModeKeepsTheCurrentPageOnTop) {
  start();
  open(pdf("twelve.pdf", letterPages(12)));
  for (int i = 0; i < 8; i++) SendMessageW(viewWindow, WM_VSCROLL, SB_PAGEDOWN, 0);
  int page = viewState.currentPage;
  ASSERT_GT(page, 2);
  setPageMode(true, false, false);
  EXPECT_EQ(documentState.pageTops[page] - 8, viewState.scrollY);
}

// Painting loads the visible pages through the cache, and only those.
TEST_F(Program, PaintingLoadsOnlyVisiblePages) {
  start();
  open(pdf("forty.pdf", letterPages(40)));
  RedrawWindow(viewWindow, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
  int loaded = 0;
  for (const CacheSlot& slot : documentState.pageCache.slots)
    if (slot.page) {
      loaded++;
      EXPECT_LT(documentState.pageTops[slot.pageIndex] - viewState.scrollY, viewState.viewHeight);
    }
  EXPECT_GE(loaded, 1);
  EXPECT_LE(loaded, 3);
}

// The view's client area as it was painted, 0xRRGGBB per pixel, row by row.
static std::vector<uint32_t> viewPixels(int* width, int* height) {
  RECT client;
  GetClientRect(viewWindow, &client);
  *width = client.right;
  *height = client.bottom;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = *width;
  info.bmiHeader.biHeight = -*height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  HDC window = GetDC(viewWindow);
  HDC memory = CreateCompatibleDC(window);
  void* bits = NULL;
  HBITMAP section = CreateDIBSection(window, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  std::vector<uint32_t> pixels;
  if (section) {
    HGDIOBJ old = SelectObject(memory, section);
    BitBlt(memory, 0, 0, *width, *height, window, 0, 0, SRCCOPY);
    const uint32_t* rows = (const uint32_t*)bits;
    for (int i = 0; i < *width * *height; i++) pixels.push_back(rows[i] & 0xFFFFFF);
    SelectObject(memory, old);
    DeleteObject(section);
  }
  DeleteDC(memory);
  ReleaseDC(viewWindow, window);
  return pixels;
}

// Whatever the order of the view's sizes, growing and shrinking, every pixel
// of the view is painted: pages white with their black corner mark, on the
// grey background.
TEST_F(Program, EveryPaintCoversTheWholeView) {
  start();
  resizeFrame(300, 300);
  open(pdf("blank.pdf", letterPages(6)));
  const struct { int width, height; } sizes[] = {{300, 300}, {1600, 1500}, {420, 260}, {1700, 1550}};
  for (const auto& size : sizes) {
    resizeFrame(size.width, size.height);
    RedrawWindow(viewWindow, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
    int width = 0, height = 0;
    std::vector<uint32_t> pixels = viewPixels(&width, &height);
    ASSERT_EQ((size_t)width * height, pixels.size());
    int white = 0, grey = 0, black = 0, other = 0;
    for (uint32_t pixel : pixels) {
      if (pixel == 0xFFFFFF)
        white++;
      else if (pixel == 0x808080)
        grey++;
      else if (pixel == 0)
        black++;
      else
        other++;
    }
    SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
    EXPECT_EQ(0, other);
    EXPECT_GT(white, width * height / 2) << "pages";
    EXPECT_GT(grey, 0) << "the background around them";
    EXPECT_GT(black, 0) << "the marks";
  }
}

// A document named on the command line is painted before start-up returns:
// the About window and the posted default-reader question come after it.
TEST_F(Program, FirstPageIsPaintedBeforeTheLoopRuns) {
  std::string path = pdf("first.pdf", letterPages(3));
  Wide line = wide("brisa \"" + path + "\"");
  startBrisa(GetModuleHandleW(NULL), line.text);
  EXPECT_FALSE(GetUpdateRect(viewWindow, NULL, FALSE)) << "the view waits for the loop to paint";
  bool loaded = false;
  for (const CacheSlot& slot : documentState.pageCache.slots) loaded = loaded || (slot.page && slot.pageIndex == 0);
  EXPECT_TRUE(loaded) << "page 1 was rendered";
  pumpMessages();
}

static bool firstPageLoaded() {
  for (const CacheSlot& slot : documentState.pageCache.slots)
    if (slot.page && slot.pageIndex == 0) return true;
  return false;
}

// What start-up does to windows, in order: "paint" for each WM_PAINT of the view,
// "bars" for each drawing of its frame (the scroll bars) once a document is open,
// "bars before the page" if that comes before the first page is rendered, "edit"
// for the creation of an EDIT window.
static std::vector<std::string> startupEvents;

static LRESULT CALLBACK recordStartupEvent(int code, WPARAM wParam, LPARAM lParam) {
  const CWPSTRUCT* message = (const CWPSTRUCT*)lParam;
  if (code == HC_ACTION) {
    wchar_t name[16] = L"";
    if (message->message == WM_PAINT && message->hwnd == viewWindow) startupEvents.push_back("paint");
    if (message->message == WM_NCPAINT && message->hwnd == viewWindow && documentIsOpen())
      startupEvents.push_back(firstPageLoaded() ? "bars" : "bars before the page");
    if (message->message == WM_NCCREATE && GetClassNameW(message->hwnd, name, 16) && !lstrcmpiW(name, L"Edit"))
      startupEvents.push_back("edit");
  }
  return CallNextHookEx(NULL, code, wParam, lParam);
}

// Starts the program on a document named on its command line, recording what
// start-up does.
static void startRecordingEvents(const std::string& path) {
  Wide line = wide("brisa \"" + path + "\"");
  startupEvents.clear();
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, recordStartupEvent, NULL, GetCurrentThreadId());
  EXPECT_NE((HHOOK)NULL, hook);
  startBrisa(GetModuleHandleW(NULL), line.text);
  if (hook) UnhookWindowsHookEx(hook);
}

// The search box's class loads the common controls library and the COM
// libraries with it: the first page comes first.
TEST_F(Program, SearchBoxIsCreatedOnceTheFirstPageIsPainted) {
  startRecordingEvents(pdf("early.pdf", letterPages(2)));
  ASSERT_FALSE(startupEvents.empty());
  EXPECT_EQ("paint", startupEvents.front());
  EXPECT_EQ(1, std::count(startupEvents.begin(), startupEvents.end(), "edit"));
  ASSERT_NE((HWND)NULL, searchBox);
  EXPECT_FALSE(IsWindowVisible(searchBox));
  RECT box;
  GetWindowRect(searchBox, &box);
  EXPECT_EQ(searchBarHeight - 2 * (searchBarHeight / 6), box.bottom - box.top) << "placed as the frame places it";
  pumpMessages();
}

// Font files of a system folder this process opened since the last call. The
// pid fanotify reports tells this process's opens from those of other programs
// (other tests, other Brisas) reading the same fonts meanwhile; without the
// right to watch others, the kernel reports theirs with no pid at all.
static const char* const FONT_FOLDER = "/usr/share/fonts/truetype/dejavu";

static int watchFontFolder() {
  int watch = fanotify_init(FAN_CLASS_NOTIF | FAN_REPORT_FID | FAN_NONBLOCK, O_RDONLY);
  if (watch < 0) return -1;
  if (fanotify_mark(watch, FAN_MARK_ADD, FAN_OPEN | FAN_EVENT_ON_CHILD, AT_FDCWD, FONT_FOLDER) == 0) return watch;
  close(watch);
  return -1;
}

static int fontFilesOpened(int watch) {
  char events[4096] __attribute__((aligned(__alignof__(struct fanotify_event_metadata))));
  int opened = 0;
  for (;;) {
    ssize_t length = read(watch, events, sizeof events);
    if (length <= 0) return opened;
    const struct fanotify_event_metadata* event = (const struct fanotify_event_metadata*)events;
    for (; FAN_EVENT_OK(event, length); event = FAN_EVENT_NEXT(event, length))
      opened += event->pid == getpid();   // files only: the mark has no FAN_ONDIR
  }
}

// Dark pixels of the current document's first page right of its black square,
// where its lines of text are, rendered at 72 dpi.
static int darkTextPixels() {
  FPDF_PAGE page = getCachedPage(0);
  if (!page) return -1;
  int width = 612, height = 200;
  FPDF_BITMAP bitmap = FPDFBitmap_Create(width, height, 0);
  FPDFBitmap_FillRect(bitmap, 0, 0, width, height, 0xFFFFFFFF);
  FPDF_RenderPageBitmap(bitmap, page, 0, 0, 612, 792, 0, 0);
  const unsigned char* bits = (const unsigned char*)FPDFBitmap_GetBuffer(bitmap);
  int dark = 0;
  for (int y = 0; y < height; y++)
    for (int x = 130; x < width; x++) dark += bits[(y * width + x) * 4 + 1] < 128;
  FPDFBitmap_Destroy(bitmap);
  return dark;
}

// The standard 14 fonts, and the names that stand for them (Arial for
// Helvetica), are drawn with PDFium's own faces: the system's fonts are listed
// (every file opened) only for a font the system must supply.
TEST_F(Program, SystemFontsAreListedOnlyForAFontTheSystemMustSupply) {
  std::vector<TestPage> pages = {{612, 792, {"The quick brown fox", "jumps over the lazy dog"}}};
  start();
  int watch = watchFontFolder();
  ASSERT_GE(watch, 0) << FONT_FOLDER;
  for (const char* font : {"Helvetica", "Times-Bold", "Arial", "Courier"}) {
    open(writeFile(folder + "/" + font + ".pdf", makeTestPdf(pages, font)));
    EXPECT_GT(darkTextPixels(), 200) << font << " is drawn";
    EXPECT_EQ(0, fontFilesOpened(watch)) << font;
    EXPECT_FALSE(systemFontsWereListed()) << font;
  }
  open(writeFile(folder + "/dejavu.pdf", makeTestPdf(pages, "DejaVuSans")));
  EXPECT_GT(darkTextPixels(), 200) << "DejaVuSans is drawn";
  EXPECT_GT(fontFilesOpened(watch), 0) << "listed then";
  EXPECT_TRUE(systemFontsWereListed());
  close(watch);
}

// The scroll bars change as the document is laid out, and drawing them with a
// visual style is slow the first time: the first page is painted before them.
TEST_F(Program, ScrollBarsAreDrawnOnceTheFirstPageIsPainted) {
  startRecordingEvents(pdf("bars.pdf", letterPages(4)));
  EXPECT_EQ(0, std::count(startupEvents.begin(), startupEvents.end(), "bars before the page"));
  ASSERT_GE(startupEvents.size(), 3u);
  EXPECT_EQ((std::vector<std::string>{"paint", "bars", "edit"}),
            std::vector<std::string>(startupEvents.end() - 3, startupEvents.end()));
  SCROLLINFO info = {sizeof(info), SIF_ALL};
  ASSERT_TRUE(GetScrollInfo(viewWindow, SB_VERT, &info));
  EXPECT_EQ(viewState.layoutHeight - 1, info.nMax);
  EXPECT_EQ((UINT)viewState.viewHeight, info.nPage);
  EXPECT_TRUE(IsWindowVisible(viewWindow)) << "drawing is on again";
  pumpMessages();
}

// Before the view exists a relayout must not touch other windows.
TEST_F(Program, LayoutWaitsForTheView) {
  start();
  HWND view = viewWindow;
  viewWindow = NULL;
  viewState.layoutWidth = 1234;
  layoutPages(0, 0);
  EXPECT_EQ(1234, viewState.layoutWidth);
  viewWindow = view;
}

// A drop handle as the shell makes it: DROPFILES, then the paths, then an empty one.
static HDROP makeDrop(const std::vector<std::string>& paths) {
  std::vector<wchar_t> names;
  for (const std::string& path : paths) {
    Wide w = wide(path);
    for (int i = 0; w.text[i]; i++) names.push_back(w.text[i]);
    names.push_back(0);
  }
  names.push_back(0);
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
  DROPFILES* drop = (DROPFILES*)GlobalLock(memory);
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return (HDROP)memory;
}

// Of three dropped files only the first opens.
TEST_F(Program, DropOpensTheFirstFileOnly) {
  start();
  std::string first = pdf("first.pdf", letterPages(2)), second = pdf("second.pdf", letterPages(3));
  SendMessageW(frameWindow, WM_DROPFILES, (WPARAM)makeDrop({first, second, second}), 0);
  pumpMessages();
  EXPECT_EQ("first.pdf - 1/2 - Brisa", frameTitle());
}

TEST_F(Program, DroppedFolderCannotBeOpened) {
  start();
  open(pdf("kept.pdf", letterPages(2)));
  closeMessageBoxes();
  SendMessageW(frameWindow, WM_DROPFILES, (WPARAM)makeDrop({folder}), 0);
  pumpMessages();
  EXPECT_EQ("kept.pdf - 1/2 - Brisa", frameTitle());
  EXPECT_EQ(UiLanguage == UI_FRENCH ? "Impossible d'ouvrir ce fichier.|" : "Cannot open this file.|", closer.texts);
}

// The link under a point is found on the page at its place, also partly scrolled.
TEST_F(Program, LinksAreFoundWhereTheyAreDrawnAndTheHandShowsOverThem) {
  start();
  std::string path = folder + "/links.pdf";
  std::string command = "python3 " + std::string(BRISA_SOURCE_DIR) + "/scripts/makepdf.py " + path +
                        " --pages 3 --size 600x400 --link 2:100,100,200,150:https://example.org/x";
  ASSERT_EQ(0, system(command.c_str()));
  open(path);
  const DocumentState& d = documentState;
  double zoom = viewState.zoom;
  // Canvas point of the link's centre: page 2's box, y measured from the page's top.
  int x = d.pageLefts[1] + (int)(150 * zoom), y = d.pageTops[1] + (int)((400 - 125) * zoom);
  scrollTo(0, y - 30);   // page 2 only partly visible, its top above the view
  ASSERT_LT(d.pageTops[1], viewState.scrollY);
  EXPECT_NE(nullptr, hitTestLink(x - viewState.scrollX, y - viewState.scrollY));
  EXPECT_EQ(nullptr, hitTestLink(x - viewState.scrollX, y - viewState.scrollY + (int)(60 * zoom)));
  EXPECT_EQ(nullptr, hitTestLink(2, y - viewState.scrollY));   // in the margin

  POINT screen = {x - viewState.scrollX, y - viewState.scrollY};
  ClientToScreen(viewWindow, &screen);
  SetCursorPos(screen.x, screen.y);
  SendMessageW(viewWindow, WM_SETCURSOR, (WPARAM)viewWindow, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(LoadCursorW(NULL, (LPCWSTR)IDC_HAND), GetCursor());
  SetCursorPos(screen.x, screen.y + (int)(60 * zoom));
  SendMessageW(viewWindow, WM_SETCURSOR, (WPARAM)viewWindow, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(LoadCursorW(NULL, (LPCWSTR)IDC_ARROW), GetCursor());
  // Not while dragging.
  SetCursorPos(screen.x, screen.y);
  SetCapture(viewWindow);
  SendMessageW(viewWindow, WM_SETCURSOR, (WPARAM)viewWindow, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_NE(LoadCursorW(NULL, (LPCWSTR)IDC_HAND), GetCursor());
  ReleaseCapture();
}

// Real mouse input, through the system's queue, at a point of the view.
static void sendMouse(DWORD flags, POINT screen) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = MulDiv(screen.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 32;
  input.mi.dy = MulDiv(screen.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 32;
  input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
  pumpMessages();
}

// A drag that begins on a link shows the arrow from the press to the release:
// while the view holds the mouse, the system asks it for no cursor.
TEST_F(Program, DragFromALinkShowsTheArrowUntilRelease) {
  start();
  std::string path = folder + "/drag.pdf";
  std::string command = "python3 " + std::string(BRISA_SOURCE_DIR) + "/scripts/makepdf.py " + path +
                        " --pages 3 --size 600x400 --link 1:100,100,200,150:https://example.org/x";
  ASSERT_EQ(0, system(command.c_str()));
  open(path);
  SetForegroundWindow(frameWindow);
  pumpMessages();
  double zoom = viewState.zoom;
  POINT link = {documentState.pageLefts[0] + (int)(150 * zoom) - viewState.scrollX,
                documentState.pageTops[0] + (int)((400 - 125) * zoom) - viewState.scrollY};
  ClientToScreen(viewWindow, &link);
  POINT beside = {link.x + 5, link.y - 5};   // the system moves the mouse only when it changes
  sendMouse(0, beside);
  sendMouse(0, link);
  ASSERT_EQ(LoadCursorW(NULL, (LPCWSTR)IDC_HAND), GetCursor()) << "the hand over the link";
  sendMouse(MOUSEEVENTF_LEFTDOWN, link);
  EXPECT_EQ(viewWindow, GetCapture());
  EXPECT_EQ(LoadCursorW(NULL, (LPCWSTR)IDC_ARROW), GetCursor()) << "pressed on the link";
  // Past the click distance, and the dragged page keeps the link under the mouse.
  POINT along = {link.x + 20, link.y + 12};
  sendMouse(0, along);
  EXPECT_EQ(LoadCursorW(NULL, (LPCWSTR)IDC_ARROW), GetCursor()) << "dragging over the link";
  sendMouse(MOUSEEVENTF_LEFTUP, along);
  EXPECT_EQ(nullptr, GetCapture());
}

// Right to left, page 2 stands right of page 3: its link is found there, and
// nothing where it stood left to right.
TEST_F(Program, LinksFollowTheMirroredSpread) {
  writeSetting(L"DoublePage", 1);
  writeSetting(L"RightToLeft", 1);
  start();
  std::string path = folder + "/manga-links.pdf";
  std::string command = "python3 " + std::string(BRISA_SOURCE_DIR) + "/scripts/makepdf.py " + path +
                        " --pages 3 --size 600x400 --link 2:100,100,200,150:https://example.org/x";
  ASSERT_EQ(0, system(command.c_str()));
  open(path);
  const DocumentState& d = documentState;
  double zoom = viewState.zoom;
  ASSERT_GT(d.pageLefts[1], d.pageLefts[2]);   // page 2 on the right
  int y = d.pageTops[1] + (int)((400 - 125) * zoom) - viewState.scrollY;
  int centring = (viewState.viewWidth > viewState.layoutWidth ? viewState.viewWidth - viewState.layoutWidth : 0) / 2;
  EXPECT_NE(nullptr, hitTestLink(centring + d.pageLefts[1] + (int)(150 * zoom) - viewState.scrollX, y));
  EXPECT_EQ(nullptr, hitTestLink(centring + d.pageLefts[2] + (int)(150 * zoom) - viewState.scrollX, y));
}

// Ctrl+wheel keeps the document point under the mouse, up to rounding.
TEST_F(Program, WheelZoomKeepsThePointUnderTheMouse) {
  start();
  open(pdf("wheel.pdf", letterPages(6)));
  SendMessageW(viewWindow, WM_VSCROLL, SB_PAGEDOWN, 0);
  POINT mouse = {viewState.viewWidth / 3, viewState.viewHeight / 2};
  double fx = (double)(mouse.x + viewState.scrollX) / viewState.layoutWidth;
  double fy = (double)(mouse.y + viewState.scrollY) / viewState.layoutHeight;
  POINT screen = mouse;
  ClientToScreen(viewWindow, &screen);
  double zoom = viewState.zoom;
  SendMessageW(viewWindow, WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, 120), MAKELPARAM(screen.x, screen.y));
  EXPECT_NEAR(zoom * 1.1, viewState.zoom, 1e-9);   // one notch: one step of 1.1
  EXPECT_NEAR(fx, (double)(mouse.x + viewState.scrollX) / viewState.layoutWidth, 1.5 / viewState.layoutWidth);
  EXPECT_NEAR(fy, (double)(mouse.y + viewState.scrollY) / viewState.layoutHeight, 1.5 / viewState.layoutHeight);
  // A small high-resolution delta scrolls in proportion: 30 of 120 is a quarter notch.
  int before = viewState.scrollY;
  SendMessageW(viewWindow, WM_MOUSEWHEEL, MAKEWPARAM(0, -30), MAKELPARAM(screen.x, screen.y));
  EXPECT_EQ(before + MulDiv(96, dpiY, 96) / 4, viewState.scrollY);
  SendMessageW(viewWindow, WM_MOUSEHWHEEL, MAKEWPARAM(0, -120), MAKELPARAM(screen.x, screen.y));
  EXPECT_EQ(0, viewState.scrollX);   // tilting left from the left edge
  zoomAt(0, 0, 6);
  SendMessageW(viewWindow, WM_MOUSEHWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(screen.x, screen.y));
  EXPECT_EQ(MulDiv(96, dpiY, 96), viewState.scrollX);   // tilting right scrolls right
}

// Clicking the view takes the focus from the search box, which stays visible.
TEST_F(Program, ClickMovesTheFocusToTheView) {
  start();
  open(pdf("focus.pdf", letterPages(2)));
  showSearchBar(true);
  ASSERT_EQ(searchBox, GetFocus());
  SendMessageW(viewWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
  SendMessageW(viewWindow, WM_LBUTTONUP, 0, MAKELPARAM(50, 50));
  EXPECT_EQ(viewWindow, GetFocus());
  EXPECT_TRUE(IsWindowVisible(searchBox));
}

// After the five, a second separator and the resume option, checked while its
// setting is on; choosing it flips the setting at once.
TEST_F(Program, ResumeOptionFollowsASecondSeparator) {
  start();
  HMENU menu = GetSystemMenu(frameWindow, FALSE);
  int about = menuPosition(menu, IDM_ABOUT);
  ASSERT_GT(about, 0);
  EXPECT_TRUE(isMenuSeparator(menu, about + 1));
  EXPECT_EQ(about + 2, menuPosition(menu, IDM_RESUME_POSITION));
  EXPECT_EQ(UiLanguage == UI_FRENCH ? "Reprendre l\xc3\xa0 o\xc3\xb9 j'en \xc3\xa9tais" : "Resume where I left off",
            menuText(menu, IDM_RESUME_POSITION));
  EXPECT_FALSE(isChecked(IDM_RESUME_POSITION));
  SendMessageW(frameWindow, WM_SYSCOMMAND, IDM_RESUME_POSITION, 0);
  EXPECT_EQ(1u, readSetting(L"ResumePosition"));
  EXPECT_TRUE(isChecked(IDM_RESUME_POSITION));
  SendMessageW(frameWindow, WM_SYSCOMMAND, IDM_RESUME_POSITION, 0);
  EXPECT_EQ(0u, readSetting(L"ResumePosition"));
  EXPECT_FALSE(isChecked(IDM_RESUME_POSITION));
  TearDown();
  writeSetting(L"ResumePosition", 1);
  start();
  EXPECT_TRUE(isChecked(IDM_RESUME_POSITION));
}

namespace {

const wchar_t RECENT[] = L"Software\\Brisa\\Recent";

void putRecentEntry(const wchar_t* name, uint64_t size, uint64_t time, int page, double fraction, uint64_t sequence,
                    DWORD length = RECENT_ENTRY_BYTES) {
  RecentEntry entry = {size, time, sequence, fraction, page};
  unsigned char bytes[RECENT_ENTRY_BYTES + 1] = {0};
  encodeRecentEntry(&entry, bytes);
  RegSetKeyValueW(HKEY_CURRENT_USER, RECENT, name, REG_BINARY, bytes, length);
}

// The names of the values under Recent.
std::vector<std::string> recentNames() {
  std::vector<std::string> names;
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, RECENT, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  wchar_t name[16384];
  for (DWORD i = 0;; i++) {
    DWORD units = 16384;
    if (RegEnumValueW(key, i, name, &units, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
    names.push_back(narrow(name));
  }
  RegCloseKey(key);
  std::sort(names.begin(), names.end());
  return names;
}

// How many values there are under Recent.
size_t recentCount() {
  HKEY key;
  DWORD count = 0;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, RECENT, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  RegQueryInfoKeyW(key, NULL, NULL, NULL, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL);
  RegCloseKey(key);
  return count;
}

}   // namespace

// Foreign values under Recent are ignored (the document opens at page 1), a
// matching entry is used, and the next writes, each deleting a bounded number
// of values, leave only the newest 64 of our entries. Opening a document keeps the position in the one it replaces.
TEST_F(Program, ResumeIgnoresForeignValuesAndRepairsTheList) {
  writeSetting(L"ResumePosition", 1);
  std::string thirty = pdf("thirty.pdf", letterPages(30)), other = pdf("other.pdf", letterPages(3));
  Wide full;
  GetFullPathNameW(wide(thirty).c_str(), 1024, full.text, NULL);
  start();
  open(thirty);
  ASSERT_EQ("thirty.pdf - 1/30 - Brisa", frameTitle());
  EXPECT_EQ(narrow(full.text), narrow(documentState.fullPath));
  uint64_t size = documentState.fileSize, time = documentState.fileWriteTime;
  ASSERT_NE(0u, time);
  const double nan = std::numeric_limits<double>::quiet_NaN();

  struct Case {
    const char* what;
    int page;
    double fraction;
    uint64_t size, time;
    DWORD length;
  } cases[] = {
      {"one byte short", 11, 0, size, time, RECENT_ENTRY_BYTES - 1},
      {"one byte long", 11, 0, size, time, RECENT_ENTRY_BYTES + 1},
      {"page past the end", 30, 0, size, time, RECENT_ENTRY_BYTES},
      {"NaN fraction", 11, nan, size, time, RECENT_ENTRY_BYTES},
      {"file of another size", 11, 0, size + 1, time, RECENT_ENTRY_BYTES},
      {"file written since", 11, 0, size, time - 1, RECENT_ENTRY_BYTES},
  };
  for (const Case& c : cases) {
    open(other);   // keeps thirty's position: the case's value comes after
    putRecentEntry(full.text, c.size, c.time, c.page, c.fraction, 5, c.length);
    open(thirty);
    EXPECT_EQ("thirty.pdf - 1/30 - Brisa", frameTitle()) << c.what;
  }
  open(other);
  RegSetKeyValueW(HKEY_CURRENT_USER, RECENT, full.text, REG_SZ, L"12", 6);
  open(thirty);
  EXPECT_EQ("thirty.pdf - 1/30 - Brisa", frameTitle()) << "a string";
  open(other);
  DWORD twelve = 12;
  RegSetKeyValueW(HKEY_CURRENT_USER, RECENT, full.text, REG_DWORD, &twelve, 4);
  open(thirty);
  EXPECT_EQ("thirty.pdf - 1/30 - Brisa", frameTitle()) << "a number";

  // 10,000 foreign values, 70 entries of other files and thirty's own.
  open(other);
  RegDeleteTreeW(HKEY_CURRENT_USER, RECENT);
  for (int i = 0; i < 10000; i++) {
    wchar_t name[400];
    wsprintfW(name, L"junk %d", i);
    switch (i % 5) {
      case 0:
        RegSetKeyValueW(HKEY_CURRENT_USER, RECENT, name, REG_DWORD, &twelve, 4);
        break;
      case 1:
        RegSetKeyValueW(HKEY_CURRENT_USER, RECENT, name, REG_SZ, L"x", 4);
        break;
      case 2:
        putRecentEntry(name, size, time, 3, nan, 7);
        break;
      case 3:
        putRecentEntry(name, size, time, 3, 0, 7, 3);
        break;
      case 4:   // a name no path has: too long
        for (int j = lstrlenW(name); j < 300; j++) name[j] = 'n';
        name[300] = 0;
        putRecentEntry(name, size, time, 3, 0, 7);
        break;
    }
  }
  std::vector<std::string> expected = {narrow(full.text)};
  for (int i = 1; i <= 70; i++) {
    wchar_t name[64];
    wsprintfW(name, L"C:\\documents\\%d.pdf", i);
    putRecentEntry(name, 1000, 2000, 0, 0, i);
    if (i > 8) expected.push_back(narrow(name));   // the 62 newest; with thirty's and other's, 64
  }
  putRecentEntry(full.text, size, time, 11, 0.5, 500);
  size_t before = recentCount();
  open(thirty);   // keeps other's position, then resumes thirty's
  EXPECT_EQ("thirty.pdf - 12/30 - Brisa", frameTitle());
  int height = pagePixels(792);
  EXPECT_NEAR(documentState.pageTops[11] + height / 2, viewState.scrollY, 1);
  size_t after = recentCount();
  EXPECT_LT(after, before);
  EXPECT_LE(before + 1, after + RECENT_VALUES_PER_WRITE) << "one write deletes no more than it visits";
  for (int round = 0; after > RECENT_CAPACITY && round < 50; round++) {
    for (const std::string& path : {other, thirty}) {
      before = after;
      open(path);
      after = recentCount();
      EXPECT_LE(before + 1, after + RECENT_VALUES_PER_WRITE) << "round " << round;
    }
  }
  EXPECT_EQ("thirty.pdf - 12/30 - Brisa", frameTitle());
  Wide otherFull;
  GetFullPathNameW(wide(other).c_str(), 1024, otherFull.text, NULL);
  expected.push_back(narrow(otherFull.text));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, recentNames());

  // A foreign entry at the top of the sequence range: the list starts over,
  // and what is written next is read back.
  putRecentEntry(L"C:\\foreign.pdf", 1, 1, 0, 0, RECENT_SEQUENCE_LIMIT - 1);
  open(other);
  EXPECT_EQ(std::vector<std::string>{narrow(full.text)}, recentNames());
  open(thirty);
  EXPECT_EQ("thirty.pdf - 12/30 - Brisa", frameTitle());
}

// Off (the default), nothing is written and a kept entry is not used.
TEST_F(Program, ResumeOffReadsAndWritesNothing) {
  std::string thirty = pdf("thirty.pdf", letterPages(30)), other = pdf("other.pdf", letterPages(3));
  start();
  open(thirty);
  putRecentEntry(documentState.fullPath, documentState.fileSize, documentState.fileWriteTime, 11, 0, 1);
  open(other);
  open(thirty);
  EXPECT_EQ("thirty.pdf - 1/30 - Brisa", frameTitle());
  DestroyWindow(frameWindow);
  frameWindow = NULL;
  EXPECT_EQ(1u, recentNames().size());
}

// The window holds the range and the current page, selected; a page of the
// document closes it and puts that page on top; anything else beeps and the
// window stays with its text selected.
TEST_F(Program, GoToPageJumpsOrStays) {
  start();
  open(pdf("thirty.pdf", letterPages(30)));
  for (int i = 0; i < 3; i++) SendMessageW(viewWindow, WM_VSCROLL, SB_PAGEDOWN, 0);
  int current = viewState.currentPage;
  ASSERT_GT(current, 0);
  showGoToPageWindow();
  ASSERT_TRUE(goToPageWindow != NULL);
  EXPECT_EQ(frameWindow, GetWindow(goToPageWindow, GW_OWNER));
  EXPECT_FALSE(IsWindowEnabled(frameWindow));
  wchar_t text[128];
  GetWindowTextW(FindWindowExW(goToPageWindow, NULL, L"Static", NULL), text, 128);
  EXPECT_EQ(UiLanguage == UI_FRENCH ? "Aller \xc3\xa0 la page (1\xe2\x80\x93"
                                      "30) :"
                                    : "Go to page (1\xe2\x80\x93"
                                      "30):",
            narrow(text));
  HWND edit = FindWindowExW(goToPageWindow, NULL, L"Edit", NULL);
  GetWindowTextW(edit, text, 128);
  EXPECT_EQ(std::to_string(current + 1), narrow(text));
  DWORD from = 1, to = 0;
  SendMessageW(edit, EM_GETSEL, (WPARAM)&from, (LPARAM)&to);
  EXPECT_EQ(0u, from);
  EXPECT_EQ((DWORD)lstrlenW(text), to);
  EXPECT_EQ(edit, GetFocus());
  for (const wchar_t* wrong : {L"0", L"31", L"", L"99999999"}) {
    SetWindowTextW(edit, wrong);
    SendMessageW(goToPageWindow, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(goToPageWindow != NULL) << narrow(wrong);
    SendMessageW(edit, EM_GETSEL, (WPARAM)&from, (LPARAM)&to);
    EXPECT_EQ(0u, from);
    EXPECT_EQ((DWORD)lstrlenW(wrong), to);
  }
  SetWindowTextW(edit, L"25");
  SendMessageW(goToPageWindow, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(goToPageWindow == NULL);
  EXPECT_TRUE(IsWindowEnabled(frameWindow));
  EXPECT_EQ(documentState.pageTops[24] - 8, viewState.scrollY);
  EXPECT_EQ("thirty.pdf - 25/30 - Brisa", frameTitle());
  showGoToPageWindow();
  SendMessageW(goToPageWindow, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(goToPageWindow == NULL);
  EXPECT_EQ("thirty.pdf - 25/30 - Brisa", frameTitle());
}

static std::vector<int> paintedScrolls;

static LRESULT CALLBACK recordPaintedScroll(int code, WPARAM wParam, LPARAM lParam) {
  const CWPSTRUCT* message = (const CWPSTRUCT*)lParam;
  if (code == HC_ACTION && message->message == WM_PAINT && message->hwnd == viewWindow && documentIsOpen())
    paintedScrolls.push_back(viewState.scrollY);
  return CallNextHookEx(NULL, code, wParam, lParam);
}

// A resumed start paints the kept page first: no paint of page 1 before it.
TEST_F(Program, ResumedStartPaintsTheKeptPageFirst) {
  writeSetting(L"ResumePosition", 1);
  std::string path = pdf("kept.pdf", letterPages(40));
  Wide full;
  GetFullPathNameW(wide(path).c_str(), 1024, full.text, NULL);
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(full.text, GetFileExInfoStandard, &data));
  uint64_t size = (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
  uint64_t time = (uint64_t)data.ftLastWriteTime.dwHighDateTime << 32 | data.ftLastWriteTime.dwLowDateTime;
  putRecentEntry(full.text, size, time, 29, 0.25, 1);
  paintedScrolls.clear();
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, recordPaintedScroll, NULL, GetCurrentThreadId());
  ASSERT_NE((HHOOK)NULL, hook);
  start("\"" + path + "\"");
  UnhookWindowsHookEx(hook);
  EXPECT_EQ("kept.pdf - 30/40 - Brisa", frameTitle());
  int kept = documentState.pageTops[29] + pagePixels(792) / 4;
  EXPECT_NEAR(kept, viewState.scrollY, 1);
  ASSERT_FALSE(paintedScrolls.empty());
  for (int scroll : paintedScrolls) EXPECT_NEAR(kept, scroll, 1);
}

// The display options of the window menu: each after the reading options,
// checked while its setting is 1, stored when toggled, off when absent.
TEST_F(Program, DisplayOptionItemsToggleAndStoreTheirSettings) {
  struct DisplayItem {
    int id;
    const wchar_t* setting;
    const char* french;
    const char* english;
    const bool* state;
  };
  const DisplayItem items[] = {
      {IDM_NIGHT_MODE, L"NightMode", "Mode nuit", "Night mode", &viewState.nightMode},
      {IDM_WIDE_PAGES_ALONE, L"WidePagesAlone", "Pages larges seules", "Wide pages alone", &viewState.widePagesAlone},
  };
  for (const DisplayItem& item : items) {
    if (&item != items) TearDown();
    writeSetting(item.setting, 1);
    start();
    HMENU menu = GetSystemMenu(frameWindow, FALSE);
    EXPECT_GT(menuPosition(menu, item.id), menuPosition(menu, IDM_RIGHT_TO_LEFT));
    EXPECT_EQ(UiLanguage == UI_FRENCH ? item.french : item.english, menuText(menu, item.id));
    EXPECT_TRUE(isChecked(item.id)) << item.english;
    EXPECT_TRUE(*item.state) << item.english;
    SendMessageW(frameWindow, WM_SYSCOMMAND, item.id, 0);
    EXPECT_FALSE(isChecked(item.id)) << item.english;
    EXPECT_FALSE(*item.state) << item.english;
    EXPECT_EQ(0u, readSetting(item.setting)) << item.english;
    TearDown();
    start();   // absent: off
    EXPECT_FALSE(isChecked(item.id)) << item.english;
    EXPECT_FALSE(*item.state) << item.english;
    SendMessageW(frameWindow, WM_SYSCOMMAND, item.id, 0);
    EXPECT_EQ(1u, readSetting(item.setting)) << item.english;
    EXPECT_TRUE(isChecked(item.id)) << item.english;
  }
}

// Reload when the file changes: after the display options, checked while
// AutoReload is 1, stored when chosen, off when absent.
TEST_F(Program, AutoReloadItemFollowsTheDisplayOptions) {
  writeSetting(L"AutoReload", 1);
  start();
  HMENU menu = GetSystemMenu(frameWindow, FALSE);
  EXPECT_EQ(menuPosition(menu, IDM_WIDE_PAGES_ALONE) + 1, menuPosition(menu, IDM_AUTO_RELOAD));
  EXPECT_EQ(UiLanguage == UI_FRENCH ? "Recharger si le fichier change" : "Reload when the file changes",
            menuText(menu, IDM_AUTO_RELOAD));
  EXPECT_TRUE(isChecked(IDM_AUTO_RELOAD));
  SendMessageW(frameWindow, WM_SYSCOMMAND, IDM_AUTO_RELOAD, 0);
  EXPECT_EQ(0u, readSetting(L"AutoReload"));
  EXPECT_FALSE(isChecked(IDM_AUTO_RELOAD));
  TearDown();
  start();
  EXPECT_FALSE(isChecked(IDM_AUTO_RELOAD));
}
