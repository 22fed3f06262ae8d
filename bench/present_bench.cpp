// Presentation page turn, in-process: Page Down or Page Up in the full-screen
// presentation, key to the end of the view's paint, on pages already shown
// once (loaded in the page cache, a comic's pages decoded at their size);
// beside a full repaint of the same page, which is what a turn must cost at
// least. The first showing of each page is given apart.
//   present_bench.exe DOCUMENT [turns]  -> medians, 95th percentiles and maxima, in ms
#include "app/app.h"
#include "viewer/viewer.h"

#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>
#include "bench/bench.h"

enum { CACHED_PAGES = 8 };   // swept forward and back: well within the 16 cached PDF pages

// Dispatches messages until neither the view nor the frame has anything left to paint.
static double timeKey(WPARAM key) {
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  SendMessageW(viewWindow, WM_KEYDOWN, key, 0);
  runUntilPainted();
  GdiFlush();
  return elapsedMs(start);
}

static double timeRepaint() {
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  InvalidateRect(viewWindow, NULL, FALSE);
  UpdateWindow(viewWindow);
  GdiFlush();
  return elapsedMs(start);
}

static double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[(size_t)(p * (v.size() - 1))];
}

static void printRow(const char* what, const std::vector<double>& times) {
  printf("%-44s %8.2f %8.2f %8.2f\n", what, percentile(times, 0.5), percentile(times, 0.95), percentile(times, 1.0));
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  int turns = argc > 2 ? atoi(argv[2]) : 140;
  if (turns < 1) turns = 1;
  char narrow[1024];
  wchar_t line[1024];
  snprintf(narrow, sizeof narrow, "brisa \"%s\"", argv[1]);
  MultiByteToWideChar(CP_UTF8, 0, narrow, -1, line, 1024);
  startBrisa(GetModuleHandleW(NULL), line);
  runUntilPainted();
  if (!documentIsOpen() || documentState.pageCount < 2) return 1;
  timeKey(VK_F5);
  if (!viewState.presenting) return 1;

  int sweep = std::min((int)CACHED_PAGES, documentState.pageCount);
  std::vector<double> first, cached, repaint;
  for (int i = 1; i < sweep; i++) first.push_back(timeKey(VK_NEXT));
  for (int i = 0; i < turns; i++) {   // back and forth over the pages shown once
    bool back = (i / (sweep - 1)) % 2 == 0;
    cached.push_back(timeKey(back ? VK_PRIOR : VK_NEXT));
    if (i % 10 == 0) repaint.push_back(timeRepaint());
  }
  printf("%s: %d pages, presented at %d x %d, zoom %.3f\n", argv[1], documentState.pageCount, viewState.viewWidth,
         viewState.viewHeight, viewState.zoom);
  printf("%-44s %8s %8s %8s\n", "", "median", "p95", "max");
  printRow("page turn, first showing of the page (ms)", first);
  printRow("page turn, page shown before (ms)", cached);
  printRow("full repaint of the same view (ms)", repaint);
  timeKey(VK_ESCAPE);
  DestroyWindow(frameWindow);
  stopBrisa();
  return 0;
}
