// The outline panel in this process, with the program's real windows: one
// left panel at a time, jumps from the tree, the selection in a folded
// branch, the menu item and the tree filled in slices.
#include "app/app.h"
#include "thumbs/outline.h"
#include "thumbs/thumbs.h"

#include <commctrl.h>
#include "tests/inproc/gtest.h"
#include "tests/support/inproc.h"
#include "tests/support/pdfwriter.h"
#include "viewer/viewer.h"

#include <stdlib.h>
#include <string>
#include <vector>

namespace {

// 1 (p1) > 1.1 (p2, a point 300 pt above the bottom) > 1.1.1 (p4), 1.2 (GoTo p5);
// 2 (web link) > 2.1 (p8); 3 (p9).
TestOutline threeLevels() {
  TestOutline o;
  int one = o.add(-1, "1 Start", destFit(0));
  int oneOne = o.add(one, "1.1 Point", destAt(1, 300));
  o.add(oneOne, "1.1.1 Deep", destFit(3));
  o.add(one, "1.2 Action", goToAction(4, 792));
  int two = o.add(-1, "2 Web", uriAction("http://example.com/"));
  o.add(two, "2.1 Late", destFit(7));
  o.add(-1, "3 End", destFit(8));
  return o;
}

struct OutlinePanelTest : ::testing::Test {
  std::string folder;

  void SetUp() override {
    char pattern[] = "/tmp/brisa-outline-XXXXXX";
    folder = mkdtemp(pattern);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brisa");
    writeSetting(L"HideAboutOnStartup", 1);   // the miniatures shown, as on a first run
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
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brisa");
    writeSetting(L"HideAboutOnStartup", 1);
    writeSetting(L"HideThumbs", 1);
  }
  void open(const TestOutline& outline, int pages = 10) {
    std::string bytes = makeTestPdf(std::vector<TestPage>(pages, TestPage{612, 792, {}}), "Helvetica", outline);
    openDocument(wide(writeFile(folder + "/outline.pdf", bytes)).text);
    pumpMessages();
  }
  void key(WPARAM key, HWND window = NULL) {
    SendMessageW(window ? window : GetFocus(), WM_KEYDOWN, key, 0);
    pumpMessages();
  }
  HWND tree() {
    return outlineWindow ? FindWindowExW(outlineWindow, NULL, WC_TREEVIEWW, NULL) : NULL;
  }
  std::string text(HTREEITEM handle) {
    wchar_t buffer[600] = {0};
    TVITEMW item = {};
    item.mask = TVIF_TEXT;
    item.hItem = handle;
    item.pszText = buffer;
    item.cchTextMax = 600;
    SendMessageW(tree(), TVM_GETITEMW, 0, (LPARAM)&item);
    return narrow(buffer);
  }
  std::string selected() {
    HTREEITEM item = TreeView_GetSelection(tree());
    return item ? text(item) : "";
  }
  void select(const std::string& title) {
    for (HTREEITEM i = TreeView_GetRoot(tree()); i; i = TreeView_GetNextVisible(tree(), i))
      if (text(i) == title) TreeView_SelectItem(tree(), i);
    ASSERT_EQ(title, selected());
  }
  int left(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(NULL, frameWindow, (POINT*)&r, 2);
    return r.right - r.left > 0 && IsWindowVisible(window) ? r.right : 0;
  }
};

}   // namespace

// F9 puts the outline in the miniatures' place and F4 swaps them back; Enter
// brings a point or a GoTo action's page to the top and ignores a web link;
// inside a folded branch the branch is selected.
TEST_F(OutlinePanelTest, PlaceJumpsAndSelection) {
  start();
  open(threeLevels());
  int thumbnails = thumbnailPanelWidth();
  key(VK_F9, viewWindow);
  ASSERT_TRUE(tree());
  EXPECT_EQ(thumbnails, left(outlineWindow));
  EXPECT_EQ(0, left(thumbnailWindow));
  select("1.1 Point");
  TreeView_Expand(tree(), TreeView_GetSelection(tree()), TVE_EXPAND);
  const struct {
    const char* title;
    int page, below;   // the view's top, in pixels below the page's
  } jumps[] = {{"1.1.1 Deep", 3, -LAYOUT_MARGIN}, {"1.1 Point", 1, pagePixels(792 - 300)}, {"1.2 Action", 4, 0}};
  for (const auto& jump : jumps) {
    select(jump.title);
    key(VK_RETURN);
    EXPECT_NEAR(documentState.pageTops[jump.page] + jump.below, viewState.scrollY, 1) << jump.title;
  }
  int before = viewState.scrollY;
  select("2 Web");
  key(VK_RETURN);
  EXPECT_EQ(before, viewState.scrollY);
  TreeView_Expand(tree(), TreeView_GetRoot(tree()), TVE_COLLAPSE);
  goToPage(3);
  EXPECT_EQ("1 Start", selected());
  key(VK_F4);
  EXPECT_EQ(0, left(outlineWindow));
  EXPECT_EQ(thumbnails, left(thumbnailWindow));
  EXPECT_EQ(viewWindow, GetFocus());
}

// The menu item after right-to-left reading; a huge outline shown at open
// from ShowOutline, filled in idle slices up to the limit.
TEST_F(OutlinePanelTest, MenuItemAndSlicesUpToTheLimit) {
  writeSetting(L"ShowOutline", 1);
  start();
  HMENU menu = GetSystemMenu(frameWindow, FALSE);
  int rightToLeft = 0;
  while (rightToLeft < GetMenuItemCount(menu) && GetMenuItemID(menu, rightToLeft) != IDM_RIGHT_TO_LEFT) rightToLeft++;
  EXPECT_EQ((UINT)IDM_OUTLINE, GetMenuItemID(menu, rightToLeft + 1));
  wchar_t label[64] = {0};
  GetMenuStringW(menu, IDM_OUTLINE, label, 64, MF_BYCOMMAND);
  EXPECT_EQ(UiLanguage == UI_FRENCH ? "Sommaire" : "Outline", narrow(label));
  TestOutline huge;
  for (int i = 0; i < OUTLINE_MAX_ITEMS + 500; i++) huge.add(-1, "item", destFit(i % 10));
  open(huge);
  ASSERT_TRUE(tree());
  EXPECT_LE((int)TreeView_GetCount(tree()), 200);   // the rest comes in idle time
  while (loadOutlineSlice()) {}
  EXPECT_EQ(OUTLINE_MAX_ITEMS, (int)TreeView_GetCount(tree()));
}

// Idle time makes the panel ready while it is hidden; F9 then shows it in its
// place with the section of the page the view moved to meanwhile.
TEST_F(OutlinePanelTest, MadeReadyWhileHidden) {
  start();
  open(threeLevels());
  while (loadOutlineSlice()) {}
  ASSERT_TRUE(tree());
  EXPECT_FALSE(IsWindowVisible(outlineWindow));
  EXPECT_EQ(6, (int)TreeView_GetCount(tree()));   // the top level unfolded
  goToPage(7);
  int thumbnails = thumbnailPanelWidth();
  key(VK_F9, viewWindow);
  EXPECT_EQ(thumbnails, left(outlineWindow));
  EXPECT_EQ("2.1 Late", selected());
}
