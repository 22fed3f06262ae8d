// Scrolling speed: one wheel notch handled and painted, on the real windows at
// fit width in a 1920 x 1080 frame, beside a full repaint of the same view.
//   scroll_bench.exe DOCUMENT [notches]
#include "app/app.h"
#include "viewer/viewer.h"

#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>
#include "bench/bench.h"

static void drainMessages() {
  MSG msg;
  while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

static double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[(size_t)(p * (v.size() - 1))];
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  int notches = argc > 2 ? atoi(argv[2]) : 200;
  wchar_t line[1024];
  char narrow[1024];
  snprintf(narrow, sizeof narrow, "brisa \"%s\"", argv[1]);
  MultiByteToWideChar(CP_UTF8, 0, narrow, -1, line, 1024);
  startBrisa(GetModuleHandleW(NULL), line);
  SetWindowPos(frameWindow, NULL, 0, 0, 1920, 1080, SWP_NOZORDER);
  drainMessages();
  UpdateWindow(frameWindow);
  if (!documentIsOpen()) return 1;

  POINT centre = {viewState.viewWidth / 2, viewState.viewHeight / 2};
  ClientToScreen(viewWindow, &centre);
  std::vector<double> scrollTimes, fullTimes;
  int tallestStrip = 0;
  for (int i = 0; i < notches; i++) {
    double start = nowMs();
    SendMessageW(viewWindow, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), MAKELPARAM(centre.x, centre.y));
    RECT strip;
    if (GetUpdateRect(viewWindow, &strip, FALSE))
      tallestStrip = std::max(tallestStrip, (int)(strip.bottom - strip.top));
    UpdateWindow(viewWindow);
    GdiFlush();
    scrollTimes.push_back(nowMs() - start);
    if (i % 10 == 0) {
      start = nowMs();
      InvalidateRect(viewWindow, NULL, FALSE);
      UpdateWindow(viewWindow);
      GdiFlush();
      fullTimes.push_back(nowMs() - start);
    }
  }
  printf("view %d x %d, zoom %.3f, %d notches of %d pixels\n", viewState.viewWidth, viewState.viewHeight,
         viewState.zoom, notches, MulDiv(96, dpiY, 96));
  printf("%-36s %8s %8s %8s\n", "", "median", "p95", "max");
  printf("%-36s %8.2f %8.2f %8.2f\n", "one wheel notch, painted (ms)", percentile(scrollTimes, 0.5),
         percentile(scrollTimes, 0.95), percentile(scrollTimes, 1.0));
  printf("%-36s %8.2f %8.2f %8.2f\n", "full repaint of the view (ms)", percentile(fullTimes, 0.5),
         percentile(fullTimes, 0.95), percentile(fullTimes, 1.0));
  printf("tallest repainted strip: %d of %d rows\n", tallestStrip, viewState.viewHeight);
  DestroyWindow(frameWindow);
  stopBrisa();
  return 0;
}
