// Start-up, the frame window, its children and the one message loop.
#include "app/app.h"
#include "about/about.h"
#include "viewer/viewer.h"
#include "search/search.h"
#include "thumbs/thumbs.h"
#include "comics/worker/worker.h"

LRESULT CALLBACK viewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

static void placeSearchBox(int width, BOOL repaint) {
  int inset = searchBarHeight / 6;
  MoveWindow(searchBox, inset, inset, width - 2 * inset, searchBarHeight - 2 * inset, repaint);
}

// Search strip on top (when shown), thumbnails or the outline on the left (at
// most one of them has a width), the view takes the rest.
static void placeChildren(int width, int height) {
  bool searching = IsWindowVisible(searchBox) != FALSE;
  int thumbnails = thumbnailPanelWidth(), outline = outlinePanelWidth();
  int panel = thumbnails + outline;
  placeSearchBox(width, TRUE);
  int top = searching ? searchBarHeight : 0;
  int rest = height - top;
  MoveWindow(thumbnailWindow, 0, top, thumbnails, rest, TRUE);
  // A hidden outline keeps the place it was made ready in.
  if (outlineWindow && (outline > 0 || IsWindowVisible(outlineWindow)))
    MoveWindow(outlineWindow, 0, top, outline, rest, TRUE);
  MoveWindow(viewWindow, panel, top, width - panel, rest, TRUE);
}

static bool toggleMenuOption(WPARAM command);

static bool runSystemCommand(WPARAM command) {
  switch (command & 0xFFF0) {
    case IDM_ABOUT:
      showAboutWindow();
      return true;
    case IDM_DEFAULT_READER:
      openDefaultAppsSettings();
      return true;
    case IDM_THUMBNAILS:
      toggleThumbnails();
      relayoutFrame();
      return true;
    case IDM_DOUBLE_PAGE:
      setPageMode(!viewState.doublePage, viewState.coverPaired, true);
      return true;
    case IDM_COVER_ALONE:
      setPageMode(true, !viewState.coverPaired, true);
      return true;
    case IDM_RIGHT_TO_LEFT:
      setRightToLeft(!viewState.rightToLeft, true);
      return true;
    case IDM_OUTLINE:
      toggleOutline();
      relayoutFrame();
      return true;
    case IDM_NIGHT_MODE:
      setNightMode(!viewState.nightMode, true);
      return true;
    case IDM_WIDE_PAGES_ALONE:
      setWidePagesAlone(!viewState.widePagesAlone, true);
      return true;
    case IDM_AUTO_RELOAD:
      setAutoReload(!autoReloadIsOn(), true);
      return true;
  }
  return toggleMenuOption(command & 0xFFF0);
}

// The frame's style and placement before full screen, put back as they were.
struct FullScreenState {
  bool on;
  LONG style;
  WINDOWPLACEMENT placement;
};

static FullScreenState fullScreen;

bool isFullScreen() {
  return fullScreen.on;
}

// Without caption and borders over the whole monitor the frame is on, or back
// to the placement it had. The children keep their state; the view's new size
// lays the pages out again.
void toggleFullScreen() {
  if (fullScreen.on) {
    fullScreen.on = false;
    SetWindowLongW(frameWindow, GWL_STYLE, fullScreen.style);
    SetWindowPlacement(frameWindow, &fullScreen.placement);
    SetWindowPos(frameWindow, NULL, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
    return;
  }
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  fullScreen.placement.length = sizeof(fullScreen.placement);
  if (!GetWindowPlacement(frameWindow, &fullScreen.placement) ||
      !GetMonitorInfoW(MonitorFromWindow(frameWindow, MONITOR_DEFAULTTONEAREST), &monitor))
    return;
  fullScreen.style = GetWindowLongW(frameWindow, GWL_STYLE);
  fullScreen.on = true;
  SetWindowLongW(frameWindow, GWL_STYLE, fullScreen.style & ~(WS_CAPTION | WS_THICKFRAME));
  const RECT& area = monitor.rcMonitor;
  SetWindowPos(frameWindow, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
               SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
}

// Opens the first file of a drop; the others are ignored.
static void openDroppedFile(HDROP drop) {
  typedef UINT(WINAPI * DragQueryFileProc)(HDROP, UINT, LPWSTR, UINT);
  typedef void(WINAPI * DragFinishProc)(HDROP);
  DragQueryFileProc query = (DragQueryFileProc)loadProc("shell32", "DragQueryFileW");
  DragFinishProc finish = (DragFinishProc)loadProc("shell32", "DragFinish");
  wchar_t path[MAX_PATH_UNITS];
  if (isPresenting()) togglePresentation();   // the place kept belongs to this document
  if (query && query(drop, 0, path, MAX_PATH_UNITS) != 0) openDocument(path);
  if (finish) finish(drop);
}

// A finished decode goes to whoever asked for it: a page to the view's
// look-ahead, a miniature to the thumbnail panel.
static void fileDecodedImage(DecodeJob* job) {
  if (job->kind == PAGE_JOB)
    filePrefetchedPage(job);
  else
    fileComicThumbnail(job);
  freeDecodeJob(job);
}

// Back and forward; false for the application commands left to the system.
static bool runAppCommand(int command) {
  if (command != APPCOMMAND_BROWSER_BACKWARD && command != APPCOMMAND_BROWSER_FORWARD) return false;
  stepThroughPlaces(command == APPCOMMAND_BROWSER_BACKWARD ? -1 : +1);
  return true;
}

LRESULT CALLBACK frameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      if (stopOpeningAndClose()) return 0;
      break;
    case WM_DESTROY:
      rememberReadingPosition();
      closeDocument();   // while the windows it touches still exist
      if (DecodeJob* job = takeDecodeJobBeforeFrameCloses()) fileDecodedImage(job);
      PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      placeChildren(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_SETFOCUS:
      SetFocus(IsWindowVisible(searchBox) ? searchBox : viewWindow);
      return 0;
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(window, &client);
      FillRect((HDC)wParam, &client, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_SYSCOMMAND:
      if (runSystemCommand(wParam)) return 0;
      break;
    case WM_DROPFILES:
      openDroppedFile((HDROP)wParam);
      return 0;
    case WM_APPCOMMAND:   // the mouse's side buttons, from whichever child they were pressed over
      if (runAppCommand(GET_APPCOMMAND_LPARAM(lParam))) return TRUE;
      break;
    case WM_TIMER:
      onSettleTimer(wParam);
      return 0;
    case WM_APP_ASK_DEFAULT:
      checkDefaultReader();
      return 0;
    case WM_APP_IMAGE_READY:
      fileDecodedImage(receiveDecodeJob(lParam));
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

struct MenuItemText {
  UINT id;
  const wchar_t* french;
  const wchar_t* english;
};

static const MenuItemText MENU_ITEMS[] = {
    {IDM_THUMBNAILS, L"Miniatures\tF4", L"Thumbnails\tF4"},
    {IDM_DOUBLE_PAGE, L"Double page\tD", L"Two-page view\tD"},
    {IDM_COVER_ALONE, L"Couverture seule\tMaj+D", L"Cover alone\tShift+D"},
    {IDM_DEFAULT_READER, L"Lecteur PDF par d\u00e9faut\u2026", L"Default PDF reader\u2026"},
    {IDM_ABOUT, L"\u00c0 propos de Brisa\u2026\tF1", L"About Brisa\u2026\tF1"},
    {0, NULL, NULL},   // a second separator, before the reading options
    {IDM_RESUME_POSITION, L"Reprendre l\u00e0 o\u00f9 j'en \u00e9tais", L"Resume where I left off"},
    {IDM_RIGHT_TO_LEFT, L"Lecture de droite \u00e0 gauche", L"Right-to-left reading"},
    {IDM_OUTLINE, L"Sommaire", L"Outline"},
    {IDM_NIGHT_MODE, L"Mode nuit", L"Night mode"},
    {IDM_WIDE_PAGES_ALONE, L"Pages larges seules", L"Wide pages alone"},
    {IDM_AUTO_RELOAD, L"Recharger si le fichier change", L"Reload when the file changes"},
};

enum { MENU_ITEM_COUNT = sizeof MENU_ITEMS / sizeof MENU_ITEMS[0] };

// On/off options checked while their DWORD setting is nonzero; choosing one
// flips the setting at once.
struct MenuOption {
  UINT id;
  const wchar_t* setting;
};

static const MenuOption MENU_OPTIONS[] = {
    {IDM_RESUME_POSITION, L"ResumePosition"},
};

// Rows first to last; a row without an id is a separator.
static void appendMenuItems(HMENU menu, int first, int last) {
  for (int i = first; i <= last; i++) {
    if (MENU_ITEMS[i].id == 0)
      AppendMenuW(menu, MF_SEPARATOR, 0, NULL);
    else
      AppendMenuW(menu, MF_STRING, MENU_ITEMS[i].id, pickText(MENU_ITEMS[i].french, MENU_ITEMS[i].english));
  }
}

static void checkMenuOption(const MenuOption& option, bool on) {
  CheckMenuItem(GetSystemMenu(frameWindow, FALSE), option.id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

// False when the command is not one of the options.
static bool toggleMenuOption(WPARAM command) {
  for (const MenuOption& option : MENU_OPTIONS) {
    if (option.id != command) continue;
    bool on = readSetting(option.setting) == 0;
    writeSetting(option.setting, on ? 1 : 0);
    checkMenuOption(option, on);
    return true;
  }
  return false;
}

// Separator and the program's five commands; the stored page mode sets the
// check marks between the two halves. The reading options follow, each
// checked from its stored value.
static void extendSystemMenu() {
  HMENU menu = GetSystemMenu(frameWindow, FALSE);
  AppendMenuW(menu, MF_SEPARATOR, 0, NULL);
  appendMenuItems(menu, 0, 2);
  setPageMode(readSetting(L"DoublePage") != 0, readSetting(L"CoverPaired") != 0, false);
  appendMenuItems(menu, 3, MENU_ITEM_COUNT - 1);
  setRightToLeft(readSetting(L"RightToLeft") != 0, false);
  setNightMode(readSetting(L"NightMode") != 0, false);
  setWidePagesAlone(readSetting(L"WidePagesAlone") != 0, false);
  setAutoReload(readSetting(L"AutoReload") != 0, false);
  for (const MenuOption& option : MENU_OPTIONS) checkMenuOption(option, readSetting(option.setting) != 0);
}

static void registerWindowClasses(HINSTANCE instance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.hInstance = instance;
  windowClass.hIcon = (HICON)LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                        GetSystemMetrics(SM_CYICON), 0);
  windowClass.hIconSm = (HICON)LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                          GetSystemMetrics(SM_CYSMICON), 0);
  windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  windowClass.lpfnWndProc = frameWindowProc;
  windowClass.lpszClassName = L"Brisa";
  RegisterClassExW(&windowClass);
  windowClass.lpfnWndProc = viewWindowProc;
  windowClass.lpszClassName = L"BrisaView";
  RegisterClassExW(&windowClass);
}

static void createWindows(HINSTANCE instance) {
  frameWindow =
      CreateWindowExW(WS_EX_ACCEPTFILES, L"Brisa", L"Brisa", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, 0,
                      MulDiv(900, dpiY, 96), MulDiv(1000, dpiY, 96), NULL, NULL, instance, NULL);
  viewWindow = CreateWindowExW(0, L"BrisaView", NULL, WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0, 0, 0,
                               frameWindow, NULL, instance, NULL);
  createThumbnailPanel();
  initOutlinePanel();
}

// The hidden search box. Its class comes from the common controls library,
// whose loading (with the COM libraries it pulls in) is the largest cost of
// start-up, so it is created once the first page is on screen.
static void createSearchBox(HINSTANCE instance) {
  searchBox = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", NULL, WS_CHILD | ES_AUTOHSCROLL, 0, 0, 0, 0, frameWindow, NULL,
                              instance, NULL);
  SendMessageW(searchBox, WM_SETFONT, (WPARAM)uiFont, 0);
  installSearchBox();
  RECT client;
  GetClientRect(frameWindow, &client);
  placeSearchBox(client.right, FALSE);
}

// The document named on the command line, painted at once: before the About
// window starts GDI+, and before the default-reader question, a posted message
// that would otherwise be handled ahead of the paint, loads the shell's
// association functions. The view does not draw while the document is laid
// out: its scroll bars, drawn straight away by every change and costly the
// first time with a visual style, come once the page is painted.
static void openFirstDocument(const wchar_t* path) {
  SendMessageW(viewWindow, WM_SETREDRAW, FALSE, 0);
  openDocument(path);
  SendMessageW(viewWindow, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(viewWindow, NULL, NULL, RDW_VALIDATE | RDW_NOFRAME);
  RedrawWindow(viewWindow, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
  SendMessageW(viewWindow, WM_NCPAINT, 1, 0);   // 1: the whole frame of the view
}

// Everything up to the message loop, in the order that lets the window appear
// at once: PDFium before the windows, the document only after the window's first
// paint, the search box and the About window only after the document's.
void startBrisa(HINSTANCE instance, wchar_t* commandLine) {
  HDC screen = GetDC(NULL);
  UiLanguage = chooseUiLanguage();
  dpiY = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(NULL, screen);

  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  uiFont = CreateFontIndirectW(&metrics.lfMessageFont);
  searchBarHeight = MulDiv(36, dpiY, 96);

  initViewState();
  registerWindowClasses(instance);
  FPDF_InitLibrary();
  useBuiltInStandardFonts();
  createWindows(instance);
  relayoutFrame();
  extendSystemMenu();

  wchar_t* path = findDocumentPath(commandLine);
  ShowWindow(frameWindow, SW_SHOWDEFAULT);
  UpdateWindow(frameWindow);
  if (*path) {
    openFirstDocument(path);
    if (!IsWindow(frameWindow)) return;   // closed during a long open: the loop ends at once
  } else {
    updateTitle();
    UpdateWindow(frameWindow);
  }
  createSearchBox(instance);
  if (readSetting(L"HideAboutOnStartup") == 0) showAboutWindow();
  PostMessageW(frameWindow, WM_APP_ASK_DEFAULT, 0, 0);   // asks once the loop runs, or when the About window closes
}

// Sleeps until a message comes, in GetMessageW or, while the open file is
// watched, beside its folder's change notification (handled here, then back
// to sleep). False at WM_QUIT or an error.
static bool waitForMessage(MSG* msg) {
  for (;;) {
    HANDLE change = watchedFolderChange();
    if (!change) return GetMessageW(msg, NULL, 0, 0) > 0;
    DWORD woken = MsgWaitForMultipleObjectsEx(1, &change, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0) {
      onWatchedFolderChanged();
    } else if (woken == WAIT_FAILED) {
      return GetMessageW(msg, NULL, 0, 0) > 0;
    } else if (PeekMessageW(msg, NULL, 0, 0, PM_REMOVE)) {
      return msg->message != WM_QUIT;
    }
  }
}

// One message at a time; between messages, one slice of idle work. The loop
// sleeps as soon as the idle steps have nothing more to do.
void runMainLoop() {
  MSG msg;
  for (;;) {
    if (!PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
      prefetchStep();
      if (loadOutlineSlice()) continue;
      if (renderNextThumbnail()) continue;
      if (!waitForMessage(&msg)) break;
    } else if (msg.message == WM_QUIT) {
      break;
    }
    if (aboutWindow && IsDialogMessageW(aboutWindow, &msg)) continue;
    if (goToPageWindow && IsDialogMessageW(goToPageWindow, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void stopBrisa() {
  stopWatchingFile();
  closeDocument();
  FPDF_DestroyLibrary();
}
