// In-process start-up time: from the entry of the program's own start-up code
// to the end of the first page's paint, on the real windows and PDFium.
//   firstpaint.exe DOCUMENT [runs]  -> prints the first run, the median of the others, every run in ms
#include "app/app.h"
#include "viewer/viewer.h"
#include "comics/worker/worker.h"

#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>
#include "bench/bench.h"

// Dispatches messages until the view has nothing left to paint.
// A comic page turn (Space) once the idle prefetch has run: the time to handle
// the key and paint, and whether the page came from the cache.
static void measurePageTurn() {
  MSG msg;
  for (int i = 0; i < 200; i++) {   // idle passes until the worker has nothing more to do
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (!prefetchStep()) break;
    while (isDecodeBusy() && GetMessageW(&msg, NULL, 0, 0) > 0) DispatchMessageW(&msg);
  }
  int64_t cachedBefore = documentState.comicArchive->cachedBytes;
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  SendMessageW(viewWindow, WM_KEYDOWN, VK_SPACE, 0);
  UpdateWindow(viewWindow);
  double turn = elapsedMs(start);
  printf("page turn to a prefetched page: %.1f ms (%s)\n", turn,
         documentState.comicArchive->cachedBytes == cachedBefore ? "from the cache, no decode"
                                                                 : "decoded on the UI thread");
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  int runs = argc > 2 ? atoi(argv[2]) : 5;
  wchar_t line[1024];
  std::vector<double> times;
  for (int i = 0; i < runs; i++) {
    char narrow[1024];
    snprintf(narrow, sizeof narrow, "brisa \"%s\"", argv[1]);
    MultiByteToWideChar(CP_UTF8, 0, narrow, -1, line, 1024);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    startBrisa(GetModuleHandleW(NULL), line);
    runUntilPainted();
    times.push_back(elapsedMs(start));
    if (!documentIsOpen()) return 1;
    if (i == runs - 1 && documentState.comicArchive) measurePageTurn();
    DestroyWindow(frameWindow);
    stopBrisa();
  }
  // The first run is the one a real start pays (fonts and libraries load then).
  std::vector<double> later(times.begin() + 1, times.end());
  std::sort(later.begin(), later.end());
  printf("first_ms=%.1f later_median_ms=%.1f runs=", times[0], later.empty() ? times[0] : later[later.size() / 2]);
  for (double t : times) printf("%.1f ", t);
  printf("\n");
  return 0;
}
