// The About window and the default-reader question, in this process: what
// another process cannot see (focus, layout records, the cursor a message
// sets, the posted request) and the cases that need the registry arranged.
#include "app/app.h"
#include "about/about.h"
#include "tests/inproc/gtest.h"
#include "tests/support/inproc.h"
#include "viewer/viewer.h"

#include <string>
#include <vector>

namespace {

std::string windowText(HWND window) {
  wchar_t text[512] = {0};
  GetWindowTextW(window, text, 512);
  return narrow(text);
}

// Takes a posted default-reader request off the queue; true when there was one.
bool takeAskDefault() {
  MSG msg;
  bool found = false;
  while (PeekMessageW(&msg, frameWindow, WM_APP_ASK_DEFAULT, WM_APP_ASK_DEFAULT, PM_REMOVE)) found = true;
  return found;
}

// Answers the message boxes this process shows and keeps their texts.
struct BoxAnswerer {
  HANDLE thread;
  volatile bool stop;
  int answer;
  std::string texts;
  int boxes;
};

BOOL CALLBACK collectBoxText(HWND child, LPARAM lParam) {
  wchar_t name[32];
  GetClassNameW(child, name, 32);
  if (!lstrcmpiW(name, L"Static") && GetWindowTextLengthW(child) > 0)
    ((BoxAnswerer*)lParam)->texts += windowText(child);
  return TRUE;
}

DWORD WINAPI answerBoxes(void* parameter) {
  BoxAnswerer* answerer = (BoxAnswerer*)parameter;
  while (!answerer->stop) {
    HWND box = FindWindowW(L"#32770", NULL);
    DWORD pid = 0;
    if (box) GetWindowThreadProcessId(box, &pid);
    if (box && pid == GetCurrentProcessId() && IsWindowVisible(box)) {
      answerer->boxes++;
      answerer->texts += windowText(box) + "|";
      EnumChildWindows(box, collectBoxText, (LPARAM)answerer);
      PostMessageW(box, WM_COMMAND, answerer->answer, 0);
      while (IsWindow(box) && !answerer->stop) Sleep(10);
    }
    Sleep(10);
  }
  return 0;
}

// The client area as the screen shows it, 0x00RRGGBB per pixel.
struct Capture {
  int width = 0, height = 0;
  std::vector<unsigned> pixels;
  unsigned at(int x, int y) const {
    return pixels[(size_t)y * width + x];
  }
};

Capture captureClient(HWND window) {
  UpdateWindow(window);
  GdiFlush();
  Capture capture;
  RECT client;
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  capture.width = client.right;
  capture.height = client.bottom;
  HDC screen = GetDC(NULL);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = capture.width;
  info.bmiHeader.biHeight = -capture.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = NULL;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, capture.width, capture.height, screen, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  const unsigned* p = (const unsigned*)bits;
  capture.pixels.assign(p, p + (size_t)capture.width * capture.height);
  for (unsigned& pixel : capture.pixels) pixel &= 0xFFFFFF;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
  return capture;
}

unsigned rgb(int r, int g, int b) {
  return (unsigned)(r << 16 | g << 8 | b);
}

const unsigned SEPARATOR_PIXEL = rgb(221, 225, 235);
const unsigned LINK_PIXEL = rgb(30, 58, 138);
const unsigned PANEL_PIXEL = rgb(247, 247, 248);

// Rows of the separator lines, read down one column inside the content.
std::vector<std::pair<int, int>> separatorRuns(const Capture& capture, int x) {
  std::vector<std::pair<int, int>> runs;   // (first row, height)
  for (int y = 0; y < capture.height; y++) {
    if (capture.at(x, y) != SEPARATOR_PIXEL) continue;
    if (!runs.empty() && runs.back().first + runs.back().second == y)
      runs.back().second++;
    else
      runs.push_back({y, 1});
  }
  return runs;
}

RECT windowRect(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return r;
}

RECT childRect(HWND child) {
  RECT r = windowRect(child);
  MapWindowPoints(NULL, GetParent(child), (POINT*)&r, 2);
  return r;
}

int countAboutWindows() {
  struct Counter {
    static BOOL CALLBACK count(HWND window, LPARAM lParam) {
      wchar_t name[64];
      GetClassNameW(window, name, 64);
      if (!lstrcmpW(name, L"BrisaAbout")) ++*(int*)lParam;
      return TRUE;
    }
  };
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), Counter::count, (LPARAM)&count);
  return count;
}

const wchar_t CAPABILITIES[] = L"Software\\Brisa\\Capabilities";
const wchar_t PDF_PROGID[] = L"BrisaTest.Document";

void registerApplication(HKEY hive) {
  RegSetKeyValueW(hive, CAPABILITIES, L"ApplicationName", REG_SZ, L"Brisa", 12);
}

// Makes ".pdf" open with the given command (Wine reads associations from the classes root only).
void associatePdf(const wchar_t* command) {
  RegSetKeyValueW(HKEY_CLASSES_ROOT, L".pdf", NULL, REG_SZ, PDF_PROGID, (lstrlenW(PDF_PROGID) + 1) * 2);
  RegSetKeyValueW(HKEY_CLASSES_ROOT, L"BrisaTest.Document\\shell\\open\\command", NULL, REG_SZ, command,
                  (lstrlenW(command) + 1) * 2);
}

struct About : ::testing::Test {
  BoxAnswerer answerer = {NULL, false, IDNO, "", 0};

  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brisa");
    writeSetting(L"HideAboutOnStartup", 1);
    defaultPromptShown = false;
  }
  void start() {
    wchar_t line[] = L"brisa";
    startBrisa(GetModuleHandleW(NULL), line);
    pumpMessages(&aboutWindow);
  }
  void TearDown() override {
    stopAnswering();
    if (frameWindow) DestroyWindow(frameWindow);
    pumpMessages(&aboutWindow);
    stopBrisa();
    frameWindow = viewWindow = searchBox = thumbnailWindow = NULL;
    closeDocument();
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brisa");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Brisa");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L".pdf");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, PDF_PROGID);
  }
  void answerBoxesWith(int answer) {
    answerer.answer = answer;
    answerer.stop = false;
    answerer.thread = CreateThread(NULL, 0, answerBoxes, &answerer, 0, NULL);
  }
  void stopAnswering() {
    if (!answerer.thread) return;
    answerer.stop = true;
    WaitForSingleObject(answerer.thread, 5000);
    CloseHandle(answerer.thread);
    answerer.thread = NULL;
  }
  HWND checkBox() {
    return GetDlgItem(aboutWindow, ABOUT_HIDE_AT_START_ID);
  }
  HWND closeButton() {
    return GetDlgItem(aboutWindow, ABOUT_CLOSE_ID);
  }
  void openAbout() {
    showAboutWindow();
    pumpMessages(&aboutWindow);
    ASSERT_TRUE(aboutWindow != NULL);
  }
};

const char QUESTION_ENGLISH[] =
    "Brisa is not your default PDF reader.\n\nWindows does not let an application make itself the default. Open "
    "Brisa's page in Settings? Just click \".pdf\" there and choose Brisa.\n\nNo: do not ask again. The window menu "
    "(right-click the title bar) still offers it.";
const char QUESTION_FRENCH[] =
    "Brisa n'est pas votre lecteur PDF par d\xc3\xa9"
    "faut.\n\nWindows ne laisse pas une application se "
    "d\xc3\xa9signer elle-m\xc3\xaame. Ouvrir la page de Brisa dans les param\xc3\xa8tres ? Il suffira d'y cliquer "
    "sur \xc2\xab .pdf \xc2\xbb puis de choisir Brisa.\n\nNon : ne plus demander. Le menu de la fen\xc3\xaatre (clic "
    "droit sur la barre de titre) le propose toujours.";

}   // namespace

// A first start: the window in front, owned by a frame that takes no input,
// the focus on Close, centred on the frame; asking again only brings it forward.
TEST_F(About, FirstStartShowsItInFrontOfADisabledFrame) {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Brisa", L"HideAboutOnStartup");
  start();
  ASSERT_TRUE(aboutWindow != NULL);
  EXPECT_TRUE(IsWindowVisible(aboutWindow));
  EXPECT_EQ(frameWindow, GetWindow(aboutWindow, GW_OWNER));
  EXPECT_FALSE(IsWindowEnabled(frameWindow));
  EXPECT_EQ(closeButton(), GetFocus());
  bool french = UiLanguage == UI_FRENCH;
  EXPECT_EQ(french ? "\xc3\x80 propos de Brisa" : "About Brisa", windowText(aboutWindow));
  EXPECT_EQ(french ? "Ne plus afficher au d\xc3\xa9marrage" : "Do not show at startup", windowText(checkBox()));
  EXPECT_EQ(french ? "Fermer" : "Close", windowText(closeButton()));
  EXPECT_EQ((DWORD)BST_UNCHECKED, (DWORD)SendMessageW(checkBox(), BM_GETCHECK, 0, 0));
  DWORD style = GetWindowLongW(aboutWindow, GWL_STYLE);
  EXPECT_EQ(0x80C80000u, style & 0xFFFF0000u & ~(DWORD)(WS_CLIPSIBLINGS | WS_VISIBLE));
  EXPECT_TRUE(GetWindowLongW(aboutWindow, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);

  // Buttons on one row below the content; the client area closes 16 px under them.
  RECT client, box = childRect(checkBox()), close = childRect(closeButton());
  GetClientRect(aboutWindow, &client);
  EXPECT_EQ(548, client.right);
  EXPECT_EQ(24, box.left);
  EXPECT_EQ(380, box.right - box.left);
  EXPECT_EQ(424, close.left);
  EXPECT_EQ(524, close.right);
  EXPECT_EQ(box.top, close.top);
  EXPECT_EQ(28, close.bottom - close.top);
  EXPECT_EQ(close.bottom + 16, client.bottom);

  RECT frame = windowRect(frameWindow), about = windowRect(aboutWindow);
  EXPECT_NEAR((frame.left + frame.right) / 2, (about.left + about.right) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, (about.top + about.bottom) / 2, 1);

  HWND first = aboutWindow;
  showAboutWindow();
  pumpMessages(&aboutWindow);
  EXPECT_EQ(first, aboutWindow);
  EXPECT_EQ(1, countAboutWindows());
}

// Close, Enter, Esc, the caption's close box and WM_CLOSE: each one enables the
// frame, frees the fonts and asks the frame to run the default-reader check.
TEST_F(About, EveryWayOfClosingEnablesTheFrameAndPostsTheCheck) {
  start();
  enum Way { CLOSE_BUTTON, ENTER, ESCAPE, CLOSE_BOX, CLOSE_MESSAGE, WAY_COUNT };
  for (int way = 0; way < WAY_COUNT; way++) {
    openAbout();
    takeAskDefault();
    ASSERT_FALSE(IsWindowEnabled(frameWindow));
    MSG key = {GetFocus(), WM_KEYDOWN, 0, 0};
    switch (way) {
      case CLOSE_BUTTON:
        SendMessageW(closeButton(), BM_CLICK, 0, 0);
        break;
      case ENTER:
        key.wParam = VK_RETURN;
        EXPECT_TRUE(IsDialogMessageW(aboutWindow, &key));
        break;
      case ESCAPE:
        key.wParam = VK_ESCAPE;
        EXPECT_TRUE(IsDialogMessageW(aboutWindow, &key));
        break;
      case CLOSE_BOX:
        SendMessageW(aboutWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
      case CLOSE_MESSAGE:
        SendMessageW(aboutWindow, WM_CLOSE, 0, 0);
        break;
    }
    EXPECT_TRUE(aboutWindow == NULL) << way;
    EXPECT_TRUE(IsWindowEnabled(frameWindow)) << way;
    EXPECT_TRUE(takeAskDefault()) << way;
    for (HFONT font : aboutState.fonts) EXPECT_TRUE(font == NULL) << way;
  }
  EXPECT_EQ(0, countAboutWindows());
}

// Tab moves between the two buttons; Enter on the check box still closes.
TEST_F(About, TabMovesBetweenTheButtons) {
  start();
  openAbout();
  MSG tab = {GetFocus(), WM_KEYDOWN, VK_TAB, 0};
  EXPECT_TRUE(IsDialogMessageW(aboutWindow, &tab));
  EXPECT_EQ(checkBox(), GetFocus());
  MSG back = {GetFocus(), WM_KEYDOWN, VK_TAB, 0};
  EXPECT_TRUE(IsDialogMessageW(aboutWindow, &back));
  EXPECT_EQ(closeButton(), GetFocus());
}

// Every click writes the value at once; the next opening reads it into the box.
TEST_F(About, CheckBoxWritesTheSettingAtOnce) {
  start();
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Brisa", L"HideAboutOnStartup");
  openAbout();
  const DWORD expected[] = {1, 0, 1};
  for (DWORD value : expected) {
    SendMessageW(checkBox(), BM_CLICK, 0, 0);
    EXPECT_EQ(value, readSetting(L"HideAboutOnStartup"));
  }
  SendMessageW(aboutWindow, WM_CLOSE, 0, 0);
  openAbout();
  EXPECT_EQ((DWORD)BST_CHECKED, (DWORD)SendMessageW(checkBox(), BM_GETCHECK, 0, 0));
  SendMessageW(aboutWindow, WM_CLOSE, 0, 0);
  writeSetting(L"HideAboutOnStartup", 0);
  openAbout();
  EXPECT_EQ((DWORD)BST_UNCHECKED, (DWORD)SendMessageW(checkBox(), BM_GETCHECK, 0, 0));
}

// The two recorded areas are where the link text is painted: the link colour
// below the title appears only inside them, and each holds a full underline.
TEST_F(About, LinkAreasAreWhereTheLinksAreDrawn) {
  start();
  openAbout();
  ASSERT_EQ(2, aboutState.linkCount);
  EXPECT_EQ("https://www.brisa-software.example/", narrow(aboutState.linkAreas[0].url));
  EXPECT_EQ("https://torvane.example/", narrow(aboutState.linkAreas[1].url));
  Capture capture = captureClient(aboutWindow);
  std::vector<std::pair<int, int>> separators = separatorRuns(capture, 30);
  ASSERT_EQ(5u, separators.size());
  int belowTitle = separators[0].first;   // the product name shares the link colour
  int strays = 0;
  for (int y = belowTitle; y < capture.height; y++)
    for (int x = 0; x < capture.width; x++) {
      POINT point = {x, y};
      if (capture.at(x, y) == LINK_PIXEL && !PtInRect(&aboutState.linkAreas[0].rect, point) &&
          !PtInRect(&aboutState.linkAreas[1].rect, point))
        strays++;
    }
  EXPECT_EQ(0, strays);
  for (int i = 0; i < 2; i++) {
    const RECT& area = aboutState.linkAreas[i].rect;
    EXPECT_GT(area.right - area.left, 40);
    EXPECT_NEAR(548 - area.right, area.left, 1) << "centred";   // up to the odd pixel of the division
    int longest = 0;
    for (int y = area.top; y < area.bottom; y++) {
      int run = 0;
      for (int x = area.left; x < area.right; x++) run += capture.at(x, y) == LINK_PIXEL;
      longest = run > longest ? run : longest;
    }
    EXPECT_GE(longest, area.right - area.left - 2) << "underline of link " << i;
  }
}

// The hand over the two link texts, the class arrow everywhere else.
TEST_F(About, HandCursorOnlyOverTheLinks) {
  start();
  openAbout();
  HCURSOR hand = LoadCursorW(NULL, (LPCWSTR)IDC_HAND), arrow = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  auto cursorAt = [&](int x, int y) {
    POINT point = {x, y};
    ClientToScreen(aboutWindow, &point);
    SetCursorPos(point.x, point.y);
    SetCursor(NULL);
    SendMessageW(aboutWindow, WM_SETCURSOR, (WPARAM)aboutWindow, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
  };
  for (int i = 0; i < aboutState.linkCount; i++) {
    const RECT& area = aboutState.linkAreas[i].rect;
    EXPECT_EQ(hand, cursorAt((area.left + area.right) / 2, (area.top + area.bottom) / 2)) << i;
    EXPECT_EQ(hand, cursorAt(area.left, area.top)) << i;
    EXPECT_EQ(arrow, cursorAt(area.left - 1, area.top)) << i;
    EXPECT_EQ(arrow, cursorAt(area.right, area.bottom - 1)) << i;
    EXPECT_EQ(arrow, cursorAt(area.left + 2, area.bottom)) << i;
  }
  EXPECT_EQ(arrow, cursorAt(274, 30));   // the product name, in the same colour
}

// Without a picture (this test program carries none) the panel stays empty
// and everything else is laid out as usual.
TEST_F(About, PanelWithoutAPictureIsPlain) {
  start();
  openAbout();
  EXPECT_TRUE(aboutState.picture == NULL);
  Capture capture = captureClient(aboutWindow);
  std::vector<std::pair<int, int>> separators = separatorRuns(capture, 30);
  ASSERT_EQ(5u, separators.size());
  int panelTop = separators[3].first + 9;
  int left = 24 + (500 - 284) / 2;
  int plain = 0;
  for (int y = panelTop + 10; y < panelTop + 10 + 57; y++)
    for (int x = left + 12; x < left + 12 + 260; x++) plain += capture.at(x, y) == PANEL_PIXEL;
  EXPECT_EQ(260 * 57, plain);
  EXPECT_EQ(PANEL_PIXEL, capture.at(left + 1, panelTop + 38));          // the rounded panel itself
  EXPECT_EQ(rgb(253, 252, 250), capture.at(left - 2, panelTop + 38));   // the window around it
  EXPECT_EQ(rgb(253, 252, 250), capture.at(left, panelTop));            // outside a rounded corner
}

// At 144 dpi every length and font is half as large again; the separators
// stay one pixel high.
TEST_F(About, At144DpiEverythingIsOneAndAHalfTimesLarger) {
  start();
  openAbout();
  RECT normal;
  GetClientRect(aboutWindow, &normal);
  RECT normalLink = aboutState.linkAreas[0].rect;
  SendMessageW(aboutWindow, WM_CLOSE, 0, 0);

  int screenDpi = dpiY;
  dpiY = 144;
  openAbout();
  dpiY = screenDpi;
  RECT large;
  GetClientRect(aboutWindow, &large);
  EXPECT_EQ(822, large.right);
  // Text may wrap differently, so the height grows by about half.
  EXPECT_NEAR(1.5, (double)large.bottom / normal.bottom, 0.12);
  const int sizes[ABOUT_FONT_COUNT] = {26, 13, 13, 12, 12, 13};
  for (int i = 0; i < ABOUT_FONT_COUNT; i++) {
    LOGFONTW font = {};
    GetObjectW(aboutState.fonts[i], sizeof font, &font);
    EXPECT_EQ(-sizes[i] * 3 / 2 - (sizes[i] % 2), font.lfHeight) << "font " << i;   // 19.5 rounds to 20
  }
  const RECT& largeLink = aboutState.linkAreas[0].rect;
  EXPECT_NEAR(1.5, (double)(largeLink.right - largeLink.left) / (normalLink.right - normalLink.left), 0.12);
  EXPECT_NEAR(1.5, (double)(largeLink.bottom - largeLink.top) / (normalLink.bottom - normalLink.top), 0.15);
  RECT close = childRect(closeButton());
  EXPECT_EQ(36 + 750 - 150, close.left);
  EXPECT_EQ(150, close.right - close.left);
  EXPECT_EQ(42, close.bottom - close.top);
  EXPECT_EQ(close.bottom + 24, large.bottom);

  Capture capture = captureClient(aboutWindow);
  std::vector<std::pair<int, int>> separators = separatorRuns(capture, 40);
  ASSERT_EQ(5u, separators.size());
  for (const auto& run : separators) EXPECT_EQ(1, run.second) << "at row " << run.first;
  for (int x = 36; x < 36 + 750; x++) EXPECT_EQ(SEPARATOR_PIXEL, capture.at(x, separators[0].first)) << x;
  EXPECT_NE(SEPARATOR_PIXEL, capture.at(35, separators[0].first));
  EXPECT_NE(SEPARATOR_PIXEL, capture.at(36 + 750, separators[0].first));
}

// A frame near an edge of the screen: the window is pushed back inside the work area.
TEST_F(About, WindowStaysInsideTheWorkArea) {
  start();
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  SetWindowPos(frameWindow, NULL, work.right - 150, work.bottom - 120, 900, 1000, SWP_NOZORDER | SWP_NOACTIVATE);
  openAbout();
  RECT about = windowRect(aboutWindow);
  EXPECT_EQ(work.right, about.right);
  EXPECT_EQ(work.bottom, about.bottom);
  SendMessageW(aboutWindow, WM_CLOSE, 0, 0);

  SetWindowPos(frameWindow, NULL, work.left - 850, work.top - 950, 900, 1000, SWP_NOZORDER | SWP_NOACTIVATE);
  openAbout();
  about = windowRect(aboutWindow);
  EXPECT_EQ(work.left, about.left);
  EXPECT_EQ(work.top, about.top);
}

// The registration counts only as a string value, the user's hive first.
TEST_F(About, RegistrationScopeLooksAtTheUserThenTheMachine) {
  EXPECT_TRUE(registrationScope() == NULL);
  DWORD one = 1;
  RegSetKeyValueW(HKEY_CURRENT_USER, CAPABILITIES, L"ApplicationName", REG_DWORD, &one, 4);
  EXPECT_TRUE(registrationScope() == NULL);
  registerApplication(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registrationScope() != NULL);
  EXPECT_EQ("registeredAppMachine", narrow(registrationScope()));
  registerApplication(HKEY_CURRENT_USER);
  EXPECT_EQ("registeredAppUser", narrow(registrationScope()));
}

// The question never comes while the About window is open, without a
// registration, after a No, or when this program already opens ".pdf" (its
// path written in other letter case).
TEST_F(About, NoQuestionWhenItCannotHelp) {
  start();
  answerBoxesWith(IDNO);
  registerApplication(HKEY_CURRENT_USER);
  openAbout();
  SendMessageW(frameWindow, WM_APP_ASK_DEFAULT, 0, 0);
  SendMessageW(aboutWindow, WM_CLOSE, 0, 0);
  takeAskDefault();

  RegDeleteTreeW(HKEY_CURRENT_USER, CAPABILITIES);
  SendMessageW(frameWindow, WM_APP_ASK_DEFAULT, 0, 0);

  registerApplication(HKEY_CURRENT_USER);
  writeSetting(L"NeverAskDefault", 1);
  SendMessageW(frameWindow, WM_APP_ASK_DEFAULT, 0, 0);
  writeSetting(L"NeverAskDefault", 0);

  wchar_t command[400] = L"\"";
  GetModuleFileNameW(NULL, command + 1, 260);
  CharUpperW(command);
  lstrcatW(command, L"\" \"%1\"");
  associatePdf(command);
  SendMessageW(frameWindow, WM_APP_ASK_DEFAULT, 0, 0);
  pumpMessages(&aboutWindow);
  Sleep(200);
  EXPECT_FALSE(defaultPromptShown);
  EXPECT_EQ(0, answerer.boxes) << answerer.texts;

  // Another program opens ".pdf": now it asks.
  associatePdf(L"\"C:\\windows\\notepad.exe\" \"%1\"");
  SendMessageW(frameWindow, WM_APP_ASK_DEFAULT, 0, 0);
  EXPECT_TRUE(defaultPromptShown);
  EXPECT_EQ(1, answerer.boxes);
}

// Once registered and not the default: asked once, in the UI language, with a
// question icon; No is remembered; closing the About window later asks nothing.
TEST_F(About, QuestionIsAskedOnceAndNoIsRemembered) {
  registerApplication(HKEY_CURRENT_USER);
  answerBoxesWith(IDNO);
  start();
  EXPECT_TRUE(defaultPromptShown);
  stopAnswering();
  ASSERT_EQ(1, answerer.boxes);
  std::string expected = std::string("Brisa|") + (UiLanguage == UI_FRENCH ? QUESTION_FRENCH : QUESTION_ENGLISH);
  EXPECT_EQ(expected, answerer.texts);
  EXPECT_EQ(1u, readSetting(L"NeverAskDefault"));

  writeSetting(L"NeverAskDefault", 0);
  answerBoxesWith(IDNO);
  openAbout();
  SendMessageW(aboutWindow, WM_CLOSE, 0, 0);
  pumpMessages(&aboutWindow);
  Sleep(200);
  EXPECT_EQ(1, answerer.boxes);
}
