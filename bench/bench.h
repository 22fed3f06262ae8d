// What the benchmarks share: a millisecond clock, the median of a run, and the
// program's messages run until its windows are painted.
#ifndef BRISA_BENCH_BENCH_H
#define BRISA_BENCH_BENCH_H

#include <windows.h>
#include <algorithm>
#include <vector>
#include "app/app.h"

static inline double nowMs() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * now.QuadPart / frequency.QuadPart;
}

static inline double elapsedMs(LARGE_INTEGER start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * (now.QuadPart - start.QuadPart) / frequency.QuadPart;
}

static inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Until neither the view nor the frame has anything left to paint, and GDI has
// drawn it.
static inline void runUntilPainted() {
  MSG msg;
  while (GetUpdateRect(viewWindow, NULL, FALSE) || GetUpdateRect(frameWindow, NULL, FALSE)) {
    if (!PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
      UpdateWindow(frameWindow);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  GdiFlush();
}

#endif
