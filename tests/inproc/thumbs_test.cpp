// The thumbnail panel in this process, with the program's real windows: its
// width and placement, the slots and the cache behind the pictures, the
// render that gives way to waiting messages, and the main loop that works
// while miniatures remain and sleeps once they are done or hidden.
#include "app/app.h"
#include "thumbs/thumbs.h"

#include "tests/inproc/gtest.h"
#include "tests/support/inproc.h"
#include "tests/support/pdfwriter.h"
#include "viewer/viewer.h"

#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

std::string tempFolder() {
  char pattern[] = "/tmp/brisa-thumbs-XXXXXX";
  return std::string(mkdtemp(pattern));
}

// The idle steps as the main loop runs them, messages first, until the
// thumbnail step asks to sleep; the number of steps taken.
int runIdleWork(int limit = 100000) {
  int steps = 0;
  MSG msg;
  for (; steps < limit; steps++) {
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    prefetchStep();
    if (!renderNextThumbnail()) break;
  }
  return steps;
}

int s(int length) {
  return MulDiv(length, dpiY, 96);
}

RECT placement(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  MapWindowPoints(NULL, frameWindow, (POINT*)&r, 2);
  return r;
}

// One pixel (blue, green, red) of a Ready miniature.
unsigned pixelOf(int page, int x, int y) {
  DIBSECTION section = {};
  HBITMAP bitmap = (HBITMAP)thumbnailPanel.thumbnailSlots[page].bitmap;
  if (!bitmap || GetObjectW(bitmap, sizeof(section), &section) != sizeof(section)) return 0xDEAD;
  const unsigned char* bits = (const unsigned char*)section.dsBm.bmBits;
  const unsigned char* p = bits + (size_t)y * section.dsBm.bmWidthBytes + 4 * (size_t)x;
  return p[0] | p[1] << 8 | p[2] << 16;
}

int countInState(ThumbnailState state) {
  int n = 0;
  for (int i = 0; i < thumbnailPanel.thumbnailCount; i++) n += thumbnailPanel.thumbnailSlots[i].state == state;
  return n;
}

std::pair<int, int> inSight() {
  int first, last;
  visibleThumbnails(&first, &last);
  return {first, last};
}

// CPU time of a thread, in 100 ns units.
unsigned long long cpuTime(HANDLE thread) {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0;
  return ((unsigned long long)kernel.dwHighDateTime << 32 | kernel.dwLowDateTime) +
         ((unsigned long long)user.dwHighDateTime << 32 | user.dwLowDateTime);
}

// Watches the UI thread from outside while it runs the real main loop: once
// its CPU time has stood still for a while (it sleeps in GetMessageW), ends
// the loop. Gives up after a deadline: the loop never went to sleep.
struct LoopWatch {
  HANDLE uiThread;
  DWORD uiThreadId;
  DWORD quietMilliseconds;
  DWORD deadlineMilliseconds;
  bool sawSleep;
};

DWORD WINAPI watchLoop(void* parameter) {
  LoopWatch* watch = (LoopWatch*)parameter;
  DWORD start = GetTickCount(), quietSince = GetTickCount();
  unsigned long long last = cpuTime(watch->uiThread);
  while (GetTickCount() - start < watch->deadlineMilliseconds) {
    Sleep(50);
    unsigned long long now = cpuTime(watch->uiThread);
    if (now != last) {
      last = now;
      quietSince = GetTickCount();
    } else if (GetTickCount() - quietSince >= watch->quietMilliseconds) {
      watch->sawSleep = true;
      break;
    }
  }
  PostThreadMessageW(watch->uiThreadId, WM_QUIT, 0, 0);
  return 0;
}

// Runs the program's main loop until the watcher ends it; true when the loop
// was seen asleep (rather than stopped at the deadline).
bool runMainLoopUntilAsleep(DWORD deadline = 30000) {
  HANDLE self;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE, DUPLICATE_SAME_ACCESS);
  EXPECT_NE(0u, cpuTime(self)) << "the thread's CPU time cannot be read: the watch would see sleep everywhere";
  LoopWatch watch = {self, GetCurrentThreadId(), 1500, deadline, false};
  HANDLE watcher = CreateThread(NULL, 0, watchLoop, &watch, 0, NULL);
  runMainLoop();
  WaitForSingleObject(watcher, INFINITE);
  CloseHandle(watcher);
  CloseHandle(self);
  return watch.sawSleep;
}

struct Thumbs : ::testing::Test {
  std::string folder = tempFolder();

  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brisa");
    writeSetting(L"HideAboutOnStartup", 1);
  }
  void start() {
    wchar_t line[] = L"brisa";
    startBrisa(GetModuleHandleW(NULL), line);
    pumpMessages();
  }
  void TearDown() override {
    if (frameWindow) DestroyWindow(frameWindow);
    pumpMessages();
    stopBrisa();
    frameWindow = viewWindow = searchBox = thumbnailWindow = NULL;
    closeDocument();
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brisa");
    writeSetting(L"HideAboutOnStartup", 1);
    writeSetting(L"HideThumbs", 1);
  }
  std::string pdf(const std::string& name, const std::string& bytes) {
    return writeFile(folder + "/" + name, bytes);
  }
  void open(const std::string& path) {
    openDocument(wide(path).text);
    pumpMessages();
  }
  void openLetters(int count) {
    open(pdf("letters.pdf", makeTestPdf(letterPages(count))));
  }
  int panelWidth() {
    return s(96) + 2 * s(12) + GetSystemMetrics(SM_CXVSCROLL);
  }
  void click(int clientY) {
    SendMessageW(thumbnailWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, clientY));
    SendMessageW(thumbnailWindow, WM_LBUTTONUP, 0, MAKELPARAM(30, clientY));
  }
  SCROLLINFO panelBar() {
    SCROLLINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    GetScrollInfo(thumbnailWindow, SB_VERT, &info);
    return info;
  }
};

}   // namespace

// No document: no width, hidden; with one, the panel takes its band at the
// left and the view the rest, below the search strip when it shows.
TEST_F(Thumbs, PanelTakesItsWidthOnlyWithADocument) {
  start();
  RECT client;
  GetClientRect(frameWindow, &client);
  EXPECT_EQ(0, thumbnailPanelWidth());
  EXPECT_FALSE(IsWindowVisible(thumbnailWindow));
  EXPECT_EQ(client.right, placement(viewWindow).right - placement(viewWindow).left);
  RedrawWindow(thumbnailWindow, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);   // paints nothing, crashes nothing

  openLetters(5);
  int width = panelWidth();
  EXPECT_EQ(width, thumbnailPanelWidth());
  EXPECT_TRUE(IsWindowVisible(thumbnailWindow));
  RECT panel = placement(thumbnailWindow), view = placement(viewWindow);
  EXPECT_EQ(0, panel.left);
  EXPECT_EQ(0, panel.top);
  EXPECT_EQ(width, panel.right);
  EXPECT_EQ(client.bottom, panel.bottom);
  EXPECT_EQ(width, view.left);
  EXPECT_EQ(client.right, view.right);
  EXPECT_EQ(client.bottom, thumbnailPanel.panelHeight);

  ShowWindow(searchBox, SW_SHOW);
  relayoutFrame();
  panel = placement(thumbnailWindow);
  EXPECT_EQ(searchBarHeight, panel.top);
  EXPECT_EQ(client.bottom - searchBarHeight, thumbnailPanel.panelHeight);
  ShowWindow(searchBox, SW_HIDE);

  closeDocument();
  EXPECT_EQ(0, thumbnailPanelWidth());
  EXPECT_FALSE(IsWindowVisible(thumbnailWindow));
  EXPECT_TRUE(thumbnailPanelIsConsistent());
}

// A document without pages leaves the panel inactive.
TEST_F(Thumbs, DocumentWithoutPagesHasNoPanel) {
  start();
  open(pdf("nothing.pdf", makeTestPdf(std::vector<std::pair<int, int>>())));
  ASSERT_TRUE(documentIsOpen());
  EXPECT_FALSE(thumbnailPanel.panelActive);
  EXPECT_EQ(0, thumbnailPanelWidth());
  EXPECT_EQ(0, renderNextThumbnail());
}

// F4 and the system-menu command flip the panel and store HideThumbs; the
// frame's layout follows. HideThumbs = 1 at start keeps it hidden.
TEST_F(Thumbs, F4AndTheMenuToggleAndRemember) {
  start();
  openLetters(5);
  int width = panelWidth();
  ASSERT_TRUE(IsWindowVisible(thumbnailWindow));
  SendMessageW(viewWindow, WM_KEYDOWN, VK_F4, 0);
  EXPECT_EQ(1u, readSetting(L"HideThumbs"));
  EXPECT_FALSE(IsWindowVisible(thumbnailWindow));
  EXPECT_EQ(0, placement(viewWindow).left);
  SendMessageW(frameWindow, WM_SYSCOMMAND, IDM_THUMBNAILS, 0);
  EXPECT_EQ(0u, readSetting(L"HideThumbs"));
  EXPECT_TRUE(IsWindowVisible(thumbnailWindow));
  EXPECT_EQ(width, placement(viewWindow).left);
  SendMessageW(frameWindow, WM_SYSCOMMAND, IDM_THUMBNAILS, 0);
  TearDown();

  writeSetting(L"HideThumbs", 1);
  start();
  openLetters(5);
  EXPECT_FALSE(thumbnailPanel.panelShown);
  EXPECT_FALSE(IsWindowVisible(thumbnailWindow));
  EXPECT_EQ(0, placement(viewWindow).left);
  SendMessageW(frameWindow, WM_SYSCOMMAND, IDM_THUMBNAILS, 0);
  EXPECT_TRUE(IsWindowVisible(thumbnailWindow));
  EXPECT_EQ(0u, readSetting(L"HideThumbs"));
}

// Idle work renders what is in sight and the pages near it, and then asks
// the loop to sleep; the pictures are the pages' (the test pages carry a
// square near their top-left corner), not white boxes.
TEST_F(Thumbs, IdleWorkRendersTheMiniatures) {
  start();
  std::string bytes = makeTestPdf(letterPages(40));
  for (size_t at = bytes.find("0 0 0 rg"); at != std::string::npos; at = bytes.find("0 0 0 rg", at))
    bytes.replace(at, 8, "1 0 0 rg");   // red squares: the colour order shows
  open(pdf("red.pdf", bytes));
  EXPECT_EQ(0, thumbnailPanel.thumbnailBitmapCount);
  int steps = runIdleWork();
  auto sight = inSight();
  ASSERT_LE(sight.first, sight.second);
  int n = sight.second - sight.first + 1;
  EXPECT_GE(steps, n);
  for (int i = 0; i < 40; i++) {
    bool inReach = i <= sight.second + thumbnailRenderReach(n);
    EXPECT_EQ(inReach ? ThumbnailState::Ready : ThumbnailState::Empty, thumbnailPanel.thumbnailSlots[i].state) << i;
  }
  EXPECT_EQ(-1, thumbnailRender.pageIndex);
  EXPECT_EQ(0, renderNextThumbnail());
  EXPECT_TRUE(thumbnailPanelIsConsistent());

  int w, h;
  thumbnailSize(0, &w, &h);
  DIBSECTION section = {};
  ASSERT_EQ((int)sizeof(section),
            GetObjectW((HBITMAP)thumbnailPanel.thumbnailSlots[0].bitmap, sizeof(section), &section));
  EXPECT_EQ(w, section.dsBm.bmWidth);
  EXPECT_EQ(h, section.dsBm.bmHeight);
  EXPECT_EQ(32, section.dsBm.bmBitsPixel);
  // The square spans points 20-120 from the left and top of a 612 x 792 page.
  int inSquare = (int)(70.0 / 612 * w);
  EXPECT_EQ(0xFF0000u, pixelOf(0, inSquare, (int)(70.0 / 792 * h)));   // red, in red's byte
  EXPECT_EQ(0xFFFFFFu, pixelOf(0, w / 2, h - 3));
  EXPECT_EQ(0xFFFFFFu, pixelOf(0, w - 3, (int)(70.0 / 792 * h)));
}

// A page PDFium cannot load is marked Failed, not retried; the rest renders.
TEST_F(Thumbs, PageThatCannotLoadFails) {
  start();
  std::string bytes = makeTestPdf(letterPages(3));
  size_t kids = bytes.find("8 0 R");   // the third page's object
  ASSERT_NE(std::string::npos, kids);
  bytes.replace(kids, 5, "99 0 R");   // an object that does not exist
  open(pdf("broken.pdf", bytes));
  ASSERT_EQ(3, documentState.pageCount);
  runIdleWork();
  EXPECT_EQ(ThumbnailState::Ready, thumbnailPanel.thumbnailSlots[0].state);
  EXPECT_EQ(ThumbnailState::Ready, thumbnailPanel.thumbnailSlots[1].state);
  EXPECT_EQ(ThumbnailState::Failed, thumbnailPanel.thumbnailSlots[2].state);
  EXPECT_EQ(2, thumbnailPanel.thumbnailBitmapCount);
  EXPECT_EQ(0, renderNextThumbnail());
  RedrawWindow(thumbnailWindow, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_TRUE(thumbnailPanelIsConsistent());
}

// A waiting message makes PDFium give way at its first check: the render
// stays in flight, its page not yet filed; it finishes once the queue is
// empty. Closing the document in the middle of a render releases it.
TEST_F(Thumbs, RenderGivesWayToWaitingMessages) {
  start();
  std::vector<TestPage> pages(3, TestPage{612, 792, {}});
  for (int l = 0; l < 250; l++) pages[0].lines.push_back("Many lines give PDFium work it can cut into slices");
  open(pdf("text.pdf", makeTestPdf(pages)));
  MSG msg;
  while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  PostMessageW(frameWindow, WM_NULL, 0, 0);
  EXPECT_EQ(1, renderNextThumbnail());
  EXPECT_EQ(0, thumbnailRender.pageIndex);
  EXPECT_EQ(ThumbnailState::Empty, thumbnailPanel.thumbnailSlots[0].state);
  while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  for (int i = 0; i < 1000 && thumbnailRender.pageIndex == 0; i++) renderNextThumbnail();
  EXPECT_EQ(ThumbnailState::Ready, thumbnailPanel.thumbnailSlots[0].state);

  PostMessageW(frameWindow, WM_NULL, 0, 0);
  EXPECT_EQ(1, renderNextThumbnail());
  EXPECT_EQ(1, thumbnailRender.pageIndex);
  closeDocument();   // the render's page goes before its document
  EXPECT_EQ(-1, thumbnailRender.pageIndex);
  EXPECT_FALSE(thumbnailPanel.panelActive);
  EXPECT_EQ(0, renderNextThumbnail());
  while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// Hidden, the panel starts nothing and keeps a render in flight waiting;
// shown again, it resumes where it stopped.
TEST_F(Thumbs, HidingStopsAndShowingResumes) {
  start();
  openLetters(30);
  MSG msg;
  while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  PostMessageW(frameWindow, WM_NULL, 0, 0);
  renderNextThumbnail();
  ASSERT_EQ(0, thumbnailRender.pageIndex);
  SendMessageW(frameWindow, WM_SYSCOMMAND, IDM_THUMBNAILS, 0);
  EXPECT_EQ(0, renderNextThumbnail());
  EXPECT_EQ(0, runIdleWork());
  EXPECT_EQ(0, thumbnailRender.pageIndex);
  EXPECT_EQ(0, thumbnailPanel.thumbnailBitmapCount);
  SendMessageW(frameWindow, WM_SYSCOMMAND, IDM_THUMBNAILS, 0);
  runIdleWork();
  EXPECT_EQ(ThumbnailState::Ready, thumbnailPanel.thumbnailSlots[0].state);
  EXPECT_GT(thumbnailPanel.thumbnailBitmapCount, 1);
}

// With no height there is nothing in sight, so nothing to render.
TEST_F(Thumbs, NothingInSightRendersNothing) {
  start();
  openLetters(10);
  MoveWindow(thumbnailWindow, 0, 0, panelWidth(), 0, TRUE);
  ASSERT_EQ(0, thumbnailPanel.panelHeight);
  EXPECT_EQ(0, renderNextThumbnail());
  EXPECT_EQ(0, thumbnailPanel.thumbnailBitmapCount);
}

// Scrolled from top to bottom, a long document never holds more than 160
// bitmaps; the pages near the view stay, and scrolling back renders again.
TEST_F(Thumbs, CacheNeverHoldsMoreThan160Bitmaps) {
  start();
  openLetters(400);
  int peak = 0;
  for (int step = 0; thumbnailPanel.panelScrollY < thumbnailPanel.columnHeight - thumbnailPanel.panelHeight; step++) {
    SendMessageW(thumbnailWindow, WM_VSCROLL, SB_PAGEDOWN, 0);
    runIdleWork();
    peak = thumbnailPanel.thumbnailBitmapCount > peak ? thumbnailPanel.thumbnailBitmapCount : peak;
    ASSERT_LE(thumbnailPanel.thumbnailBitmapCount, 160) << step;
    ASSERT_LT(step, 1000);
  }
  EXPECT_EQ(160, peak);
  EXPECT_EQ(ThumbnailState::Ready, thumbnailPanel.thumbnailSlots[399].state);
  EXPECT_EQ(ThumbnailState::Empty, thumbnailPanel.thumbnailSlots[0].state);
  EXPECT_EQ(160, countInState(ThumbnailState::Ready));
  SendMessageW(thumbnailWindow, WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(0, thumbnailPanel.panelScrollY);
  runIdleWork();
  EXPECT_EQ(ThumbnailState::Ready, thumbnailPanel.thumbnailSlots[0].state);
  EXPECT_EQ(160, thumbnailPanel.thumbnailBitmapCount);
  EXPECT_TRUE(thumbnailPanelIsConsistent());
}

// The bar spans the column; its requests, the wheel and their limits.
TEST_F(Thumbs, ScrollBarAndWheel) {
  start();
  openLetters(60);
  const ThumbnailPanel& p = thumbnailPanel;
  SCROLLINFO bar = panelBar();
  EXPECT_EQ(0, bar.nMin);
  EXPECT_EQ(p.columnHeight - 1, bar.nMax);
  EXPECT_EQ((UINT)p.panelHeight, bar.nPage);
  EXPECT_EQ(0, bar.nPos);
  SendMessageW(thumbnailWindow, WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(s(40), p.panelScrollY);
  SendMessageW(thumbnailWindow, WM_VSCROLL, SB_PAGEDOWN, 0);
  EXPECT_EQ(s(40) + p.panelHeight, p.panelScrollY);
  EXPECT_EQ(p.panelScrollY, panelBar().nPos);
  SendMessageW(thumbnailWindow, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);   // away from the user: up
  EXPECT_EQ(s(40) + p.panelHeight - s(120), p.panelScrollY);
  SendMessageW(thumbnailWindow, WM_MOUSEWHEEL, MAKEWPARAM(0, -60), 0);   // half a notch down
  EXPECT_EQ(s(40) + p.panelHeight - s(120) + s(120) / 2, p.panelScrollY);
  SendMessageW(thumbnailWindow, WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(p.columnHeight - p.panelHeight, p.panelScrollY);
  SendMessageW(thumbnailWindow, WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(p.columnHeight - p.panelHeight, p.panelScrollY);
  SendMessageW(thumbnailWindow, WM_VSCROLL, SB_TOP, 0);
  SendMessageW(thumbnailWindow, WM_VSCROLL, SB_LINEUP, 0);
  EXPECT_EQ(0, p.panelScrollY);
  TearDown();

  // A column shorter than the panel: the bar stays, disabled, and nothing scrolls.
  start();
  openLetters(2);
  ASSERT_LT(p.columnHeight, p.panelHeight);
  EXPECT_TRUE(GetWindowLongW(thumbnailWindow, GWL_STYLE) & WS_VSCROLL);
  SCROLLBARINFO info = {};
  info.cbSize = sizeof(info);
  GetScrollBarInfo(thumbnailWindow, OBJID_VSCROLL, &info);
  EXPECT_TRUE(info.rgstate[0] & STATE_SYSTEM_UNAVAILABLE);
  SendMessageW(thumbnailWindow, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), 0);
  SendMessageW(thumbnailWindow, WM_VSCROLL, SB_BOTTOM, 0);
  SendMessageW(thumbnailWindow, WM_VSCROLL, SB_PAGEDOWN, 0);
  EXPECT_EQ(0, p.panelScrollY);
}

// A click anywhere in a page's zone scrolls the view to that page; the title
// and the highlight follow, and the keyboard goes back to the view.
TEST_F(Thumbs, ClickGoesToThePage) {
  start();
  openLetters(30);
  const ThumbnailPanel& p = thumbnailPanel;
  EXPECT_EQ(0, p.highlightedPage);
  click(p.thumbnailTops[3] + 5);
  EXPECT_EQ(documentState.pageTops[3] - 8, viewState.scrollY);
  EXPECT_EQ(3, viewState.currentPage);
  EXPECT_EQ(3, p.highlightedPage);
  EXPECT_EQ(viewWindow, GetFocus());
  click(p.thumbnailTops[2] - s(6));   // the gap above page 3's miniature belongs to it
  EXPECT_EQ(2, p.highlightedPage);
  click(p.thumbnailTops[0] - s(6) - 1);   // the top margin
  EXPECT_EQ(2, p.highlightedPage);
  // Scrolled: the panel's position counts.
  SendMessageW(thumbnailWindow, WM_VSCROLL, SB_PAGEDOWN, 0);
  int page = inSight().first + 1;
  click(p.thumbnailTops[page] - p.panelScrollY + 10);
  EXPECT_EQ(page, viewState.currentPage);
  EXPECT_EQ(page, p.highlightedPage);
  // The last page cannot reach the top of the view: scrolling stops at the end.
  SendMessageW(thumbnailWindow, WM_VSCROLL, SB_BOTTOM, 0);
  click(p.thumbnailTops[29] - p.panelScrollY + 10);
  EXPECT_EQ(viewState.layoutHeight - viewState.viewHeight, viewState.scrollY);
}

// The highlight follows the view's current page and brings it into sight;
// the page already highlighted does not pull the panel back.
TEST_F(Thumbs, HighlightFollowsTheView) {
  start();
  openLetters(60);
  const ThumbnailPanel& p = thumbnailPanel;
  for (int i = 0; i < 40; i++) {
    SendMessageW(viewWindow, WM_VSCROLL, SB_PAGEDOWN, 0);
    ASSERT_EQ(viewState.currentPage, p.highlightedPage);
    auto sight = inSight();
    ASSERT_GE(p.highlightedPage, sight.first);
    ASSERT_LE(p.highlightedPage, sight.second);
    int w, h, top = p.thumbnailTops[p.highlightedPage];
    thumbnailSize(p.highlightedPage, &w, &h);
    ASSERT_GE(top - s(6), p.panelScrollY);   // the whole item in sight
    ASSERT_LE(top + s(22) + h, p.panelScrollY + p.panelHeight);
  }
  SendMessageW(thumbnailWindow, WM_VSCROLL, SB_TOP, 0);
  int away = p.panelScrollY;
  setCurrentThumbnail(viewState.currentPage);
  EXPECT_EQ(away, p.panelScrollY);
  SendMessageW(viewWindow, WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(0, p.highlightedPage);
  setCurrentThumbnail(-1);
  setCurrentThumbnail(60);
  EXPECT_EQ(0, p.highlightedPage);
}

// The real main loop: it never sleeps while miniatures remain to be rendered
// (nothing else would wake it), and it sleeps once they are done.
TEST_F(Thumbs, MainLoopWorksUntilDoneThenSleeps) {
  start();
  openLetters(80);
  ASSERT_EQ(0, thumbnailPanel.thumbnailBitmapCount);
  EXPECT_TRUE(runMainLoopUntilAsleep());
  EXPECT_EQ(-1, nextThumbnailToRender());
  EXPECT_EQ(-1, thumbnailRender.pageIndex);
  auto sight = inSight();
  int n = sight.second - sight.first + 1;
  EXPECT_EQ(n + thumbnailRenderReach(n), thumbnailPanel.thumbnailBitmapCount);
}

// Hidden, the loop sleeps at once with nothing rendered.
TEST_F(Thumbs, MainLoopSleepsWhileHidden) {
  writeSetting(L"HideThumbs", 1);
  start();
  openLetters(80);
  EXPECT_TRUE(runMainLoopUntilAsleep());
  EXPECT_EQ(0, thumbnailPanel.thumbnailBitmapCount);
  EXPECT_EQ(0, nextThumbnailToRender());
}

// Comic miniatures come back from the decode worker: a success is kept, a
// failure deleted and marked, and an answer for a page no longer waiting
// (another document, or none) is deleted without changing anything.
TEST_F(Thumbs, ComicAnswersFillOnlyWaitingSlots) {
  start();
  static const double widths[3] = {600, 600, 600}, heights[3] = {900, 900, 900};
  int archive = 0;   // never read: the panel only keeps the reference
  resetThumbnails(NULL, (ComicArchive*)&archive, 3, widths, heights);
  ThumbnailSlot* slots = thumbnailPanel.thumbnailSlots;
  auto section = []() {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 4;
    info.bmiHeader.biHeight = -4;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits;
    return CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  };
  slots[0].state = slots[1].state = ThumbnailState::Pending;
  HBITMAP good = section(), bad = section(), stray = section(), late = section();
  comicThumbnailDecoded(0, good, true);
  EXPECT_EQ(ThumbnailState::Ready, slots[0].state);
  EXPECT_EQ(good, slots[0].bitmap);
  EXPECT_EQ(1, thumbnailPanel.thumbnailBitmapCount);
  comicThumbnailDecoded(1, bad, false);
  EXPECT_EQ(ThumbnailState::Failed, slots[1].state);
  EXPECT_EQ(0, GetObjectType(bad));
  comicThumbnailDecoded(2, stray, true);   // never asked for
  EXPECT_EQ(ThumbnailState::Empty, slots[2].state);
  EXPECT_EQ(0, GetObjectType(stray));
  comicThumbnailDecoded(7, NULL, true);   // outside the document: ignored
  EXPECT_TRUE(thumbnailPanelIsConsistent());
  slots[2].state = ThumbnailState::Pending;
  resetThumbnails(NULL, NULL, 0, NULL, NULL);   // closed while the worker decodes
  EXPECT_EQ(0, GetObjectType(good));
  comicThumbnailDecoded(2, late, true);
  EXPECT_EQ(0, GetObjectType(late));
  EXPECT_FALSE(thumbnailPanel.panelActive);
  EXPECT_TRUE(thumbnailPanelIsConsistent());
}
