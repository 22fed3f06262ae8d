// The outline panel, in-process: F9 in the view to the panel painted, and to
// the view painted again at its new width, the outline read from the
// document each time (the document opened again with the panel hidden before
// each run, and idle time given as the main loop gives it); the first open's
// idle time also loads the common controls and makes the window.
//   outline_bench.exe DOCUMENT [runs]  -> the first F9 and the median of the others, in ms
#include "app/app.h"
#include "thumbs/outline.h"
#include "thumbs/thumbs.h"
#include "viewer/viewer.h"

#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>
#include "bench/bench.h"

static bool somethingToPaint() {
  HWND tree = outlineWindow ? FindWindowExW(outlineWindow, NULL, L"SysTreeView32", NULL) : NULL;
  for (HWND window : {viewWindow, frameWindow, outlineWindow, tree})
    if (window && GetUpdateRect(window, NULL, FALSE)) return true;
  return false;
}

// Dispatches messages until no window of the frame has anything left to paint.
static void runUntilPanelsPainted() {
  MSG msg;
  while (somethingToPaint()) {
    if (!PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
      RedrawWindow(frameWindow, NULL, NULL, RDW_UPDATENOW | RDW_ALLCHILDREN);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

struct F9Times {
  double panel;      // the key to the end of the tree's first paint
  double panelCpu;   // the UI thread's CPU time for the same
  double all;        // the view, narrowed, painted again too
  double filled;     // every item read in the tree, by idle slices between messages
};

static LARGE_INTEGER pressed;
static double treePainted, treePaintedCpu;
static double cpuAtPress;

// The UI thread's CPU time in ms: on a busy machine, what the work itself costs.
static double cpuMs() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  unsigned long long k = (unsigned long long)kernel.dwHighDateTime << 32 | kernel.dwLowDateTime;
  unsigned long long u = (unsigned long long)user.dwHighDateTime << 32 | user.dwLowDateTime;
  return (k + u) / 10000.0;
}

static LRESULT CALLBACK watchTreePaint(int code, WPARAM wParam, LPARAM lParam) {
  const CWPRETSTRUCT* call = (const CWPRETSTRUCT*)lParam;
  wchar_t name[32];
  if (code == HC_ACTION && call->message == WM_PAINT && treePainted < 0 && GetClassNameW(call->hwnd, name, 32) &&
      !lstrcmpW(name, L"SysTreeView32")) {
    treePainted = elapsedMs(pressed);
    treePaintedCpu = cpuMs() - cpuAtPress;
  }
  return CallNextHookEx(NULL, code, wParam, lParam);
}

// Idle slices as the main loop runs them after an open, messages first; the
// longest, the time the window may not answer.
static double runIdleSlices() {
  double longest = 0;
  for (;;) {
    runUntilPanelsPainted();
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    int more = loadOutlineSlice();
    longest = std::max(longest, elapsedMs(start));
    if (!more) return longest;
  }
}

static F9Times timeF9() {
  treePainted = -1;
  cpuAtPress = cpuMs();
  QueryPerformanceCounter(&pressed);
  SendMessageW(viewWindow, WM_KEYDOWN, VK_F9, 0);
  runUntilPanelsPainted();
  F9Times times = {treePainted, treePaintedCpu, elapsedMs(pressed), 0};
  while (loadOutlineSlice()) runUntilPanelsPainted();
  times.filled = elapsedMs(pressed);
  return times;
}

static void printFigures(const char* what, int items, std::vector<double> times) {
  std::vector<double> later(times.begin() + 1, times.end());
  std::sort(later.begin(), later.end());
  printf("%5d items read, %-26s first %6.1f ms, median of the next %d: %6.1f ms\n", items, what, times[0],
         (int)later.size(), later.empty() ? times[0] : later[later.size() / 2]);
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  int runs = argc > 2 ? atoi(argv[2]) : 7;
  if (runs < 1) runs = 1;
  wchar_t path[1024], line[1100];
  MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, path, 1024);
  wsprintfW(line, L"brisa \"%s\"", path);
  writeSetting(L"ShowOutline", 0);
  startBrisa(GetModuleHandleW(NULL), line);
  runUntilPanelsPainted();
  if (!documentIsOpen()) return 1;
  SetWindowsHookExW(WH_CALLWNDPROCRET, watchTreePaint, NULL, GetCurrentThreadId());
  std::vector<double> panel, panelCpu, all, filled, idle;
  for (int i = 0; i < runs; i++) {
    if (i > 0) {
      SendMessageW(viewWindow, WM_KEYDOWN, VK_F9, 0);   // hidden: the next open reads nothing
      openDocument(path);
      runUntilPanelsPainted();
    }
    idle.push_back(runIdleSlices());
    F9Times times = timeF9();
    if (!outlineShowing()) return 1;
    panel.push_back(times.panel);
    panelCpu.push_back(times.panelCpu);
    all.push_back(times.all);
    filled.push_back(times.filled);
  }
  std::vector<double> f4;
  SendMessageW(viewWindow, WM_KEYDOWN, VK_F9, 0);
  runUntilPanelsPainted();
  for (int i = 0; i < runs; i++) {   // the miniatures' panel shown, then hidden: the same narrowing
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    SendMessageW(viewWindow, WM_KEYDOWN, VK_F4, 0);
    runUntilPanelsPainted();
    if (thumbnailPanelWidth() > 0) f4.push_back(elapsedMs(start));
  }
  printFigures("longest idle slice before:", outlineModel.itemCount, idle);
  printFigures("F9 to the panel painted:", outlineModel.itemCount, panel);
  printFigures("  the same in CPU time:", outlineModel.itemCount, panelCpu);
  printFigures("F9 to everything painted:", outlineModel.itemCount, all);
  printFigures("F9 to the whole outline in:", outlineModel.itemCount, filled);
  if (!f4.empty()) printFigures("F4 to everything painted:", 0, f4);
  DestroyWindow(frameWindow);
  stopBrisa();
  writeSetting(L"ShowOutline", 0);
  return 0;
}
