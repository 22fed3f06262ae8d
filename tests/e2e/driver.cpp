// A console program that drives Brisa from outside, as a user would, and reads
// back what a user sees: windows, titles, message boxes and screen pixels.
// Each command prints one line (or writes one file) and exits 0, or 1 on failure.
//
//   driver find CLASS [timeout_ms]        -> "hwnd pid" of the first visible top-level window
//   driver title HWND                     -> the window text
//   driver child HWND CLASS               -> the first child window of that class
//   driver text HWND                      -> the text of a control (WM_GETTEXT)
//   driver truncate PATH LENGTH           -> cuts a file shared with its readers (exit 1 and the error if refused)
//   driver rects HWND                     -> window rect, client size, and each child: class visible x y w h
//   driver capture HWND FILE.ppm          -> the window's client area from the screen, as a binary PPM
//   driver post HWND MESSAGE WPARAM LPARAM
//   driver send HWND MESSAGE WPARAM LPARAM -> the result
//   driver redraw HWND                    -> invalidates the whole window and repaints it now
//   driver move HWND X Y W H              -> places a top-level window
//   driver key HWND VK [VK...]            -> presses the keys together (modifiers first), releases in reverse
//   driver msgbox [timeout_ms] [answer]   -> "caption|text|icon" of a message box, then closes it with
//                                            the button of that id (default IDOK; IDYES 6, IDNO 7)
//   driver nomsgbox [wait_ms]             -> succeeds when no message box shows up within the wait
//   driver origin HWND                    -> screen position of the window's client area
//   driver state HWND                     -> "enabled owner foreground": 1/0, the owner and the foreground window
//   driver count CLASS                    -> how many visible top-level windows of that class exist
//   driver keep [MARK]                    -> stays running with a hidden window (keeps the desktop);
//                                            creates the file MARK once that window is there
//   driver dpi                            -> the screen's LOGPIXELSY
//   driver cursor                         -> 1 while the foreground window's thread shows a cursor, else 0
//   driver tree HWND                      -> a tree view's unfolded items, one a line: depth, 1 when
//                                            selected, title
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

static std::string utf8(const wchar_t* text) {
  char buffer[4096];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
  return n > 0 ? std::string(buffer) : std::string();
}

static HWND parseWindow(const char* text) {
  return (HWND)(uintptr_t)strtoull(text, NULL, 0);
}

struct FindRequest {
  const wchar_t* className;
  HWND found;
};

static BOOL CALLBACK findVisibleWindow(HWND window, LPARAM lParam) {
  FindRequest* request = (FindRequest*)lParam;
  wchar_t name[256];
  if (!IsWindowVisible(window) || !GetClassNameW(window, name, 256)) return TRUE;
  if (lstrcmpW(name, request->className) != 0) return TRUE;
  request->found = window;
  return FALSE;
}

static HWND waitForWindow(const wchar_t* className, DWORD timeout) {
  DWORD start = GetTickCount();
  for (;;) {
    FindRequest request = {className, NULL};
    EnumWindows(findVisibleWindow, (LPARAM)&request);
    if (request.found) return request.found;
    if (GetTickCount() - start > timeout) return NULL;
    Sleep(20);
  }
}

static int commandFind(int argc, char** argv) {
  wchar_t className[256];
  MultiByteToWideChar(CP_UTF8, 0, argv[2], -1, className, 256);
  HWND window = waitForWindow(className, argc > 3 ? atoi(argv[3]) : 10000);
  if (!window) return 1;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  printf("%llu %lu\n", (unsigned long long)(uintptr_t)window, (unsigned long)pid);
  return 0;
}

static int commandTitle(char** argv) {
  wchar_t title[1024];
  GetWindowTextW(parseWindow(argv[2]), title, 1024);
  printf("%s\n", utf8(title).c_str());
  return 0;
}

// Cuts a file to a length as another Windows program would, sharing it with every
// reader; exit 1 when the system refuses (a file mapped by a reader cannot be cut).
static int commandTruncate(char** argv) {
  wchar_t path[1024];
  MultiByteToWideChar(CP_UTF8, 0, argv[2], -1, path, 1024);
  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                            OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return 1;
  LARGE_INTEGER length;
  length.QuadPart = strtoll(argv[3], NULL, 10);
  bool cut = SetFilePointerEx(file, length, NULL, FILE_BEGIN) && SetEndOfFile(file);
  if (!cut) printf("%u\n", (unsigned)GetLastError());
  CloseHandle(file);
  return cut ? 0 : 1;
}

// The text of a control of another process (GetWindowTextW would not ask it).
static int commandText(char** argv) {
  wchar_t text[1024] = {0};
  SendMessageW(parseWindow(argv[2]), WM_GETTEXT, 1024, (LPARAM)text);
  printf("%s\n", utf8(text).c_str());
  return 0;
}

static BOOL CALLBACK printChild(HWND child, LPARAM parent) {
  if (GetParent(child) != (HWND)parent) return TRUE;
  wchar_t name[256];
  GetClassNameW(child, name, 256);
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(NULL, (HWND)parent, (POINT*)&r, 2);
  printf("child %s %d %d %d %d %d\n", utf8(name).c_str(), IsWindowVisible(child) ? 1 : 0, (int)r.left, (int)r.top,
         (int)(r.right - r.left), (int)(r.bottom - r.top));
  return TRUE;
}

static int commandChild(char** argv) {
  wchar_t className[256];
  MultiByteToWideChar(CP_UTF8, 0, argv[3], -1, className, 256);
  HWND child = FindWindowExW(parseWindow(argv[2]), NULL, className, NULL);
  if (!child) return 1;
  printf("%llu\n", (unsigned long long)(uintptr_t)child);
  return 0;
}

static int commandRects(char** argv) {
  HWND window = parseWindow(argv[2]);
  RECT w, c;
  GetWindowRect(window, &w);
  GetClientRect(window, &c);
  printf("window %d %d %d %d\n", (int)w.left, (int)w.top, (int)(w.right - w.left), (int)(w.bottom - w.top));
  printf("client %d %d\n", (int)c.right, (int)c.bottom);
  EnumChildWindows(window, printChild, (LPARAM)window);
  return 0;
}

// Reads the client area back from the screen (PrintWindow gives black under Wine).
static int commandCapture(char** argv) {
  HWND window = parseWindow(argv[2]);
  RECT client;
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  int width = client.right, height = client.bottom;
  if (width <= 0 || height <= 0) return 1;
  HDC screen = GetDC(NULL);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = NULL;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  FILE* out = fopen(argv[3], "wb");
  if (!out) return 1;
  fprintf(out, "P6\n%d %d\n255\n", width, height);
  const unsigned char* p = (const unsigned char*)bits;
  for (int i = 0; i < width * height; i++, p += 4) {
    unsigned char rgb[3] = {p[2], p[1], p[0]};
    fwrite(rgb, 1, 3, out);
  }
  fclose(out);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
  return 0;
}

static int commandPost(char** argv, bool wait) {
  HWND window = parseWindow(argv[2]);
  UINT message = (UINT)strtoul(argv[3], NULL, 0);
  WPARAM wParam = (WPARAM)strtoull(argv[4], NULL, 0);
  LPARAM lParam = (LPARAM)strtoll(argv[5], NULL, 0);
  if (!wait) return PostMessageW(window, message, wParam, lParam) ? 0 : 1;
  printf("%lld\n", (long long)SendMessageW(window, message, wParam, lParam));
  return 0;
}

static int commandKey(int argc, char** argv) {
  HWND window = parseWindow(argv[2]);
  // Keys go to the foreground window: wait until it is ours (a fresh window may take a moment).
  for (int i = 0; i < 100 && GetForegroundWindow() != window; i++) {
    SetForegroundWindow(window);
    Sleep(10);
  }
  Sleep(20);
  INPUT inputs[16] = {};
  int count = 0, keys = argc - 3 < 8 ? argc - 3 : 8;
  for (int i = 0; i < keys; i++, count++) {
    inputs[count].type = INPUT_KEYBOARD;
    inputs[count].ki.wVk = (WORD)strtoul(argv[3 + i], NULL, 0);
  }
  for (int i = keys - 1; i >= 0; i--, count++) {
    inputs[count].type = INPUT_KEYBOARD;
    inputs[count].ki.wVk = (WORD)strtoul(argv[3 + i], NULL, 0);
    inputs[count].ki.dwFlags = KEYEVENTF_KEYUP;
  }
  for (int attempt = 0; attempt < 5; attempt++) {
    if (SendInput(count, inputs, sizeof(INPUT)) == (UINT)count) return 0;
    Sleep(50);
  }
  return 1;
}

// Icon handles of another process cannot be drawn here: compare the pixels
// the box shows with our own rendering of each candidate on the same ground.
static std::string drawnPixels(HICON icon, HWND shownIn) {
  RECT r;
  GetWindowRect(shownIn, &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(NULL);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = NULL;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  if (icon) {
    HBRUSH ground = CreateSolidBrush(GetPixel(memory, 0, 0));
    RECT all = {0, 0, w, h};
    FillRect(memory, &all, ground);
    DeleteObject(ground);
    DrawIconEx(memory, 0, 0, icon, 0, 0, 0, NULL, DI_NORMAL);
  }
  GdiFlush();
  std::string pixels((const char*)bits, (size_t)w * h * 4);
  for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 0;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
  return pixels;
}

struct BoxText {
  std::string text;
  bool hasIcon, error, information, question;
};

static BOOL CALLBACK readBoxChild(HWND child, LPARAM lParam) {
  BoxText* box = (BoxText*)lParam;
  wchar_t name[64], text[2048];
  GetClassNameW(child, name, 64);
  if (lstrcmpiW(name, L"Static") != 0) return TRUE;
  LONG style = GetWindowLongW(child, GWL_STYLE);
  if ((style & SS_TYPEMASK) == SS_ICON) {
    box->hasIcon = true;
    std::string shown = drawnPixels(NULL, child);
    box->error |= shown == drawnPixels(LoadIconW(NULL, (LPCWSTR)IDI_HAND), child);
    box->information |= shown == drawnPixels(LoadIconW(NULL, (LPCWSTR)IDI_ASTERISK), child);
    box->question |= shown == drawnPixels(LoadIconW(NULL, (LPCWSTR)IDI_QUESTION), child);
    return TRUE;
  }
  GetWindowTextW(child, text, 2048);
  if (text[0]) box->text = utf8(text);
  return TRUE;
}

// What is on screen instead, for the test's failure message.
static BOOL CALLBACK describeVisibleWindow(HWND window, LPARAM lParam) {
  wchar_t name[256], title[256];
  if (IsWindowVisible(window) && GetClassNameW(window, name, 256)) {
    *(int*)lParam += 1;
    GetWindowTextW(window, title, 256);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    fprintf(stderr, "shown: %s \"%s\" (process %lu)\n", utf8(name).c_str(), utf8(title).c_str(),
            (unsigned long)process);
  }
  return TRUE;
}

static int commandMessageBox(int argc, char** argv) {
  HWND box = waitForWindow(L"#32770", argc > 2 ? atoi(argv[2]) : 10000);
  if (!box) {
    int shown = 0;
    EnumWindows(describeVisibleWindow, (LPARAM)&shown);
    if (!shown) fprintf(stderr, "shown: no window\n");
    return 1;
  }
  Sleep(100);
  wchar_t caption[256];
  GetWindowTextW(box, caption, 256);
  // A busy machine may show the box before its icon is drawn: look again for a while.
  BoxText content;
  for (int attempt = 0; attempt < 30; attempt++) {
    content = {"", false, false, false, false};
    EnumChildWindows(box, readBoxChild, (LPARAM)&content);
    if (!content.hasIcon || content.error || content.information || content.question) break;
    Sleep(100);
  }
  const char* icon = content.error         ? "error"
                     : content.information ? "information"
                     : content.question    ? "question"
                                           : "none";
  printf("%s|%s|%s\n", utf8(caption).c_str(), content.text.c_str(), icon);
  PostMessageW(box, WM_COMMAND, argc > 3 ? atoi(argv[3]) : IDOK, 0);
  return 0;
}

struct CountRequest {
  const wchar_t* className;
  int count;
};

static BOOL CALLBACK countVisibleWindow(HWND window, LPARAM lParam) {
  CountRequest* request = (CountRequest*)lParam;
  wchar_t name[256];
  if (IsWindowVisible(window) && GetClassNameW(window, name, 256) && !lstrcmpW(name, request->className))
    request->count++;
  return TRUE;
}

static int commandCount(char** argv) {
  wchar_t className[256];
  MultiByteToWideChar(CP_UTF8, 0, argv[2], -1, className, 256);
  CountRequest request = {className, 0};
  EnumWindows(countVisibleWindow, (LPARAM)&request);
  printf("%d\n", request.count);
  return 0;
}

// Enabled or not, the owner, and the window in front (as handles).
static int commandState(char** argv) {
  HWND window = parseWindow(argv[2]);
  HWND owner = GetWindow(window, GW_OWNER), front = GetForegroundWindow();
  printf("%d %llu %llu\n", IsWindowEnabled(window) ? 1 : 0, (unsigned long long)(uintptr_t)owner,
         (unsigned long long)(uintptr_t)front);
  return 0;
}

// A tree view of another process answers TVM_GETITEMW into that process's
// memory: the request and its text buffer are written and read back there.
static int commandTree(char** argv) {
  HWND tree = parseWindow(argv[2]);
  DWORD pid = 0;
  GetWindowThreadProcessId(tree, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return 1;
  enum { TEXT_UNITS = 1024 };
  char* remote = (char*)VirtualAllocEx(process, NULL, sizeof(TVITEMW) + 2 * TEXT_UNITS, MEM_COMMIT, PAGE_READWRITE);
  if (!remote) return 1;
  for (LPARAM item = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0); item;
       item = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, item)) {
    TVITEMW request = {};
    request.mask = TVIF_TEXT | TVIF_STATE;
    request.hItem = (HTREEITEM)item;
    request.stateMask = TVIS_SELECTED;
    request.pszText = (LPWSTR)(remote + sizeof(TVITEMW));
    request.cchTextMax = TEXT_UNITS;
    wchar_t text[TEXT_UNITS] = {0};
    WriteProcessMemory(process, remote, &request, sizeof request, NULL);
    WriteProcessMemory(process, remote + sizeof(TVITEMW), text, sizeof text, NULL);
    SendMessageW(tree, TVM_GETITEMW, 0, (LPARAM)remote);
    ReadProcessMemory(process, remote, &request, sizeof request, NULL);
    ReadProcessMemory(process, remote + sizeof(TVITEMW), text, sizeof text, NULL);
    text[TEXT_UNITS - 1] = 0;
    int depth = 0;
    for (LPARAM p = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_PARENT, item); p;
         p = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_PARENT, p))
      depth++;
    printf("%d %d %s\n", depth, (request.state & TVIS_SELECTED) ? 1 : 0, utf8(text).c_str());
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return 0;
}

static int commandNoMessageBox(int argc, char** argv) {
  return waitForWindow(L"#32770", argc > 2 ? atoi(argv[2]) : 1000) ? 1 : 0;
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const char* command = argv[1];
  if (!strcmp(command, "find") && argc > 2) return commandFind(argc, argv);
  if (!strcmp(command, "title") && argc > 2) return commandTitle(argv);
  if (!strcmp(command, "text") && argc > 2) return commandText(argv);
  if (!strcmp(command, "truncate") && argc > 3) return commandTruncate(argv);
  if (!strcmp(command, "rects") && argc > 2) return commandRects(argv);
  if (!strcmp(command, "child") && argc > 3) return commandChild(argv);
  if (!strcmp(command, "capture") && argc > 3) return commandCapture(argv);
  if (!strcmp(command, "post") && argc > 5) return commandPost(argv, false);
  if (!strcmp(command, "send") && argc > 5) return commandPost(argv, true);
  if (!strcmp(command, "redraw") && argc > 2)
    return RedrawWindow(parseWindow(argv[2]), NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN) ? 0 : 1;
  if (!strcmp(command, "move") && argc > 6)
    return SetWindowPos(parseWindow(argv[2]), NULL, atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), atoi(argv[6]),
                        SWP_NOZORDER | SWP_NOACTIVATE)
               ? 0
               : 1;
  if (!strcmp(command, "key") && argc > 3) return commandKey(argc, argv);
  if (!strcmp(command, "msgbox")) return commandMessageBox(argc, argv);
  if (!strcmp(command, "nomsgbox")) return commandNoMessageBox(argc, argv);
  if (!strcmp(command, "count") && argc > 2) return commandCount(argv);
  if (!strcmp(command, "state") && argc > 2) return commandState(argv);
  if (!strcmp(command, "tree") && argc > 2) return commandTree(argv);
  if (!strcmp(command, "origin") && argc > 2) {
    POINT origin = {0, 0};
    ClientToScreen(parseWindow(argv[2]), &origin);
    printf("%d %d\n", (int)origin.x, (int)origin.y);
    return 0;
  }
  if (!strcmp(command, "keep")) {
    // Holds the desktop open for the whole test run: Wine closes it shortly
    // after its last window goes, and a program starting during that shutdown
    // can wait for a long time.
    GetDesktopWindow();
    if (!CreateWindowExW(0, L"STATIC", L"keeper", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL)) return 1;
    // The desktop is up and has a window of ours: the mark says so.
    FILE* mark = argc > 2 ? fopen(argv[2], "w") : NULL;
    if (mark) fclose(mark);
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
  }
  if (!strcmp(command, "cursor")) {
    CURSORINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetCursorInfo(&info)) return 1;
    printf("%d\n", info.hCursor && (info.flags & CURSOR_SHOWING) ? 1 : 0);
    return 0;
  }
  if (!strcmp(command, "dpi")) {
    HDC screen = GetDC(NULL);
    printf("%d\n", GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(NULL, screen);
    return 0;
  }
  return 2;
}
