// Go to page, in-process: Enter in the Go to page window asking for page 1,999
// of a long document, to the end of the view's paint; beside End, today's
// nearest jump, handled and painted the same way. Each jump starts from the
// first page with everything painted.
//   goto_bench.exe DOCUMENT [runs]  -> the first jump and the median of the others, in ms
#include "app/app.h"
#include "app/commands.h"
#include "viewer/viewer.h"

#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>
#include "bench/bench.h"

// Dispatches messages until neither the view nor the frame has anything left to paint.
static void backToTheStart() {
  SendMessageW(viewWindow, WM_KEYDOWN, VK_HOME, 0);
  runUntilPainted();
}

static double timeEnd() {
  backToTheStart();
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  SendMessageW(viewWindow, WM_KEYDOWN, VK_END, 0);
  runUntilPainted();
  return elapsedMs(start);
}

// Enter reaches the window through IsDialogMessageW, as in the main loop.
static double timeGoTo(const wchar_t* number) {
  backToTheStart();
  showGoToPageWindow();
  HWND edit = FindWindowExW(goToPageWindow, NULL, L"Edit", NULL);
  SetWindowTextW(edit, number);
  runUntilPainted();
  MSG enter = {edit, WM_KEYDOWN, VK_RETURN, 0x001C0001, GetTickCount(), {0, 0}};
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  IsDialogMessageW(goToPageWindow, &enter);
  runUntilPainted();
  return elapsedMs(start);
}

static void printFigures(const char* what, std::vector<double> times) {
  std::vector<double> later(times.begin() + 1, times.end());
  std::sort(later.begin(), later.end());
  printf("%-28s first %6.1f ms, median of the next %d: %6.1f ms\n", what, times[0], (int)later.size(),
         later.empty() ? times[0] : later[later.size() / 2]);
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  int runs = argc > 2 ? atoi(argv[2]) : 7;
  if (runs < 1) runs = 1;
  char narrow[1024];
  wchar_t line[1024];
  snprintf(narrow, sizeof narrow, "brisa \"%s\"", argv[1]);
  MultiByteToWideChar(CP_UTF8, 0, narrow, -1, line, 1024);
  startBrisa(GetModuleHandleW(NULL), line);
  runUntilPainted();
  if (!documentIsOpen() || documentState.pageCount < 1999) return 1;
  std::vector<double> goTo, end;
  for (int i = 0; i < runs; i++) {   // taking turns
    goTo.push_back(timeGoTo(L"1999"));
    if (viewState.currentPage != 1998) return 1;
    end.push_back(timeEnd());
  }
  printFigures("Enter, go to page 1,999:", goTo);
  printFigures("End (the last page):", end);
  DestroyWindow(frameWindow);
  stopBrisa();
  return 0;
}
