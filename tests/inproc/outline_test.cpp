// The outline panel in this process, with the program's real windows: F9,
// the menu item and ShowOutline, one left panel at a time, the tree's items,
// jumps from it, and the selection that follows the view.
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
  // The unfolded items top to bottom, each title after its depth in spaces.
  std::string shownItems() {
    std::string out;
    for (HTREEITEM i = TreeView_GetRoot(tree()); i; i = TreeView_GetNextVisible(tree(), i)) {
      int depth = 0;
      for (HTREEITEM p = TreeView_GetParent(tree(), i); p; p = TreeView_GetParent(tree(), p)) depth++;
      out += std::string(depth, ' ') + text(i) + "|";
    }
    return out;
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
  int viewLeft() {
    RECT r;
    GetWindowRect(viewWindow, &r);
    MapWindowPoints(NULL, frameWindow, (POINT*)&r, 2);
    return r.left;
  }
  int left(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(NULL, frameWindow, (POINT*)&r, 2);
    return r.right - r.left > 0 && IsWindowVisible(window) ? r.right : 0;
  }
  bool menuChecked() {
    return (GetMenuState(GetSystemMenu(frameWindow, FALSE), IDM_OUTLINE, MF_BYCOMMAND) & MF_CHECKED) != 0;
  }
  bool showOutlineStored() {
    return RegGetValueW(HKEY_CURRENT_USER, L"Software\\Brisa", L"ShowOutline", RRF_RT_REG_DWORD, NULL, NULL, NULL) ==
           ERROR_SUCCESS;
  }
};

}   // namespace

// F9 puts the outline in the miniatures' place at their width, top level
// unfolded, and takes the keyboard; F4 and F9 give the place back.
TEST_F(OutlinePanelTest, F9AndF4ShareTheLeftPlace) {
  start();
  open(threeLevels());
  int thumbnails = thumbnailPanelWidth();
  ASSERT_GT(thumbnails, 0);
  EXPECT_FALSE(showOutlineStored());
  key(VK_F9, viewWindow);
  ASSERT_TRUE(tree());
  EXPECT_EQ(thumbnails, left(outlineWindow));
  EXPECT_EQ(0, left(thumbnailWindow));
  EXPECT_EQ(thumbnails, viewLeft());
  EXPECT_EQ(tree(), GetFocus());
  EXPECT_TRUE(menuChecked());
  EXPECT_EQ(1u, readSetting(L"ShowOutline"));
  EXPECT_EQ("1 Start| 1.1 Point| 1.2 Action|2 Web| 2.1 Late|3 End|", shownItems());

  key(VK_F4);   // from the tree: the miniatures come back
  EXPECT_EQ(0, left(outlineWindow));
  EXPECT_EQ(thumbnails, left(thumbnailWindow));
  EXPECT_EQ(viewWindow, GetFocus());
  EXPECT_FALSE(menuChecked());
  EXPECT_EQ(0u, readSetting(L"ShowOutline"));
  EXPECT_EQ(0u, readSetting(L"HideThumbs"));

  SendMessageW(frameWindow, WM_SYSCOMMAND, IDM_OUTLINE, 0);
  EXPECT_EQ(thumbnails, left(outlineWindow));
  key(VK_F9);   // hidden again: the miniatures had not been turned off
  EXPECT_EQ(0, left(outlineWindow));
  EXPECT_EQ(thumbnails, left(thumbnailWindow));
}

// With nothing to show, F9 only beeps: no window, no setting, no new layout.
TEST_F(OutlinePanelTest, F9WithoutAnOutlineChangesNothing) {
  start();
  for (int withDocument = 0; withDocument < 2; withDocument++) {
    if (withDocument) open(TestOutline());
    int width = viewState.viewWidth;
    key(VK_F9, viewWindow);
    EXPECT_EQ(NULL, outlineWindow) << withDocument;
    EXPECT_FALSE(showOutlineStored()) << withDocument;
    EXPECT_EQ(width, viewState.viewWidth) << withDocument;
    EXPECT_FALSE(menuChecked()) << withDocument;
  }
}

// Enter on an item brings its place to the top; a web link does nothing but beep.
TEST_F(OutlinePanelTest, EnterJumpsToTheItemsPlace) {
  start();
  open(threeLevels());
  key(VK_F9, viewWindow);
  ASSERT_TRUE(tree());
  select("1.1 Point");
  TreeView_Expand(tree(), TreeView_GetSelection(tree()), TVE_EXPAND);
  struct Jump {
    const char* title;
    int page;
    int below;   // pixels from the page's top to the view's
  };
  const Jump jumps[] = {
      {"1.1.1 Deep", 3, -LAYOUT_MARGIN},
      {"1.1 Point", 1, pagePixels(792 - 300)},
      {"1.2 Action", 4, 0},
      {"3 End", 8, -LAYOUT_MARGIN},
  };
  for (const Jump& jump : jumps) {
    select(jump.title);
    key(VK_RETURN);
    EXPECT_NEAR(documentState.pageTops[jump.page] + jump.below, viewState.scrollY, 1) << jump.title;
    EXPECT_EQ(tree(), GetFocus()) << jump.title;
  }
  int before = viewState.scrollY;
  select("2 Web");
  key(VK_RETURN);
  EXPECT_EQ(before, viewState.scrollY);
  key(VK_ESCAPE);
  EXPECT_EQ(viewWindow, GetFocus());
}

// The section being read is selected as the view moves, the focus staying
// where it is; inside a folded branch, the branch itself.
TEST_F(OutlinePanelTest, SelectionFollowsTheView) {
  start();
  open(threeLevels());
  key(VK_F9, viewWindow);
  ASSERT_TRUE(tree());
  SetFocus(viewWindow);
  select("1.1 Point");
  TreeView_Expand(tree(), TreeView_GetSelection(tree()), TVE_EXPAND);
  const struct {
    int page;
    const char* section;
  } steps[] = {{2, "1.1 Point"}, {3, "1.1.1 Deep"}, {6, "1.2 Action"}, {7, "2.1 Late"}, {0, "1 Start"}, {9, "3 End"}};
  for (const auto& step : steps) {
    goToPage(step.page);
    EXPECT_EQ(step.section, selected()) << "page " << step.page + 1;
    EXPECT_EQ(viewWindow, GetFocus());
  }
  TreeView_Expand(tree(), TreeView_GetRoot(tree()), TVE_COLLAPSE);
  goToPage(3);
  EXPECT_EQ("1 Start", selected());
}

// The item after right-to-left reading; ShowOutline kept across starts, and
// a huge outline filled in slices up to the item limit.
TEST_F(OutlinePanelTest, MenuItemAndSettingAcrossStarts) {
  start();
  HMENU menu = GetSystemMenu(frameWindow, FALSE);
  int position = -1, rightToLeft = -1;
  for (int i = 0; i < GetMenuItemCount(menu); i++) {
    if (GetMenuItemID(menu, i) == IDM_OUTLINE) position = i;
    if (GetMenuItemID(menu, i) == IDM_RIGHT_TO_LEFT) rightToLeft = i;
  }
  EXPECT_EQ(rightToLeft + 1, position);
  wchar_t label[64] = {0};
  GetMenuStringW(menu, IDM_OUTLINE, label, 64, MF_BYCOMMAND);
  EXPECT_EQ(UiLanguage == UI_FRENCH ? "Sommaire" : "Outline", narrow(label));
  TearDown();

  SetUp();
  writeSetting(L"ShowOutline", 1);
  start();
  TestOutline huge;
  for (int i = 0; i < OUTLINE_MAX_ITEMS + 500; i++) huge.add(-1, "item", destFit(i % 10));
  open(huge);
  ASSERT_TRUE(tree());
  EXPECT_TRUE(IsWindowVisible(outlineWindow));
  EXPECT_TRUE(menuChecked());
  EXPECT_LE((int)TreeView_GetCount(tree()), 200);   // the rest comes in idle time
  int slices = 0;
  while (loadOutlineSlice()) slices++;
  EXPECT_GT(slices, 10);
  EXPECT_EQ(OUTLINE_MAX_ITEMS, (int)TreeView_GetCount(tree()));
  open(TestOutline());   // a document without one: hidden, still wanted
  EXPECT_FALSE(IsWindowVisible(outlineWindow));
  EXPECT_FALSE(menuChecked());
  EXPECT_EQ(1u, readSetting(L"ShowOutline"));
}
