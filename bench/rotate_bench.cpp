// Rotation, in-process: R (a quarter turn clockwise) handled, laid out and
// painted on the real windows at fit width in a 1920 x 1080 frame, beside a
// full repaint of the same view. Four presses make a round, back to unturned;
// a comic's turn decodes the pages in sight again, its repaint does not.
//   rotate_bench.exe DOCUMENT [rounds]  -> median and worst of each, in ms
#include "app/app.h"
#include "viewer/viewer.h"

#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>
#include "bench/bench.h"

// Dispatches messages until neither the view nor the frame has anything left to paint.
static double timeTurn() {
  double start = nowMs();
  SendMessageW(viewWindow, WM_KEYDOWN, 'R', 0);
  runUntilPainted();
  return nowMs() - start;
}

static double timeRepaint() {
  double start = nowMs();
  InvalidateRect(viewWindow, NULL, FALSE);
  runUntilPainted();
  return nowMs() - start;
}

static void printFigures(const char* what, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  printf("%-40s median %7.1f ms, worst %7.1f ms (%d)\n", what, times[times.size() / 2], times.back(),
         (int)times.size());
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  int rounds = argc > 2 ? atoi(argv[2]) : 5;
  if (rounds < 1) rounds = 1;
  char narrow[1024];
  wchar_t line[1024];
  snprintf(narrow, sizeof narrow, "brisa \"%s\"", argv[1]);
  MultiByteToWideChar(CP_UTF8, 0, narrow, -1, line, 1024);
  startBrisa(GetModuleHandleW(NULL), line);
  SetWindowPos(frameWindow, NULL, 0, 0, 1920, 1080, SWP_NOZORDER);
  runUntilPainted();
  if (!documentIsOpen()) return 1;
  std::vector<double> sideways, upright, repaint;
  for (int i = 0; i < rounds; i++) {
    for (int turn = 0; turn < 4; turn++) {
      (turn % 2 == 0 ? sideways : upright).push_back(timeTurn());
      repaint.push_back(timeRepaint());
    }
    if (viewState.quarterTurns != 0 || viewState.currentPage != 0) return 1;
  }
  printf("view %d x %d, %d pages\n", viewState.viewWidth, viewState.viewHeight, documentState.pageCount);
  printFigures("R, turned sideways, painted:", sideways);
  printFigures("R, turned upright or upside down:", upright);
  printFigures("full repaint of the view:", repaint);
  DestroyWindow(frameWindow);
  stopBrisa();
  return 0;
}
