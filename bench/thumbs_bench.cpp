// The thumbnail panel at work, in-process on the real windows (1920 x 1080 frame):
//   thumbs_bench.exe keys DOCUMENT [samples]
//     the delay from a key press to the end of the view's repaint while the
//     panel renders miniatures, beside the same keys with the panel hidden;
//   thumbs_bench.exe rate DOCUMENT [limit]
//     the time from start-up until the miniatures in sight are all drawn, then
//     miniatures per second while the panel is paged down through the document.
#include "app/app.h"
#include "viewer/viewer.h"
#include "thumbs/thumbs.h"
#include "comics/worker/worker.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <vector>
#include "bench/bench.h"

static double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[(size_t)(p * (v.size() - 1) + 0.5)];
}

static bool startWith(const char* document, bool panelShown) {
  wchar_t line[1024];
  char narrow[1024];
  snprintf(narrow, sizeof narrow, "brisa \"%s\"", document);
  MultiByteToWideChar(CP_UTF8, 0, narrow, -1, line, 1024);
  startBrisa(GetModuleHandleW(NULL), line);
  if (thumbnailPanel.panelShown != panelShown) {
    toggleThumbnails();
    relayoutFrame();
  }
  SetWindowPos(frameWindow, NULL, 0, 0, 1920, 1080, SWP_NOZORDER);
  return documentIsOpen();
}

// Closing the frame posts WM_QUIT: it is taken off the queue here, so that the
// next run's main loop does not end at once.
static void finish() {
  DestroyWindow(frameWindow);
  stopBrisa();
  MSG msg;
  while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {}
}

// ---- keys: a pacing thread presses keys while the real main loop runs.

static WNDPROC viewProcedure;
static volatile LONG keyPending;
static volatile double keyReceivedAt;
static volatile double keyPaintedAt;
static HANDLE keyPainted;

// The view's own procedure, timed: the end of the first paint after a key.
static LRESULT CALLBACK timedViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN && keyPending) keyReceivedAt = nowMs();
  LRESULT result = CallWindowProcW(viewProcedure, window, message, wParam, lParam);
  if (message == WM_PAINT && InterlockedCompareExchange(&keyPending, 0, 1) == 1) {
    GdiFlush();
    keyPaintedAt = nowMs();
    SetEvent(keyPainted);
  }
  return result;
}

struct KeyRun {
  int samples;
  WPARAM keys[2];     // pressed in turn, so that the view goes back and forth
  bool scrollPanel;   // pages the panel down before each key: new miniatures to render
  DWORD mainThread;
  std::vector<double> delays;    // key posted -> the view's paint done
  std::vector<double> pickups;   // key posted -> the view's procedure has it
  int duringRender;              // keys pressed while miniatures in reach remained to be rendered
  int lost;                      // keys without a repaint within a second
};

static DWORD WINAPI pressKeys(void* parameter) {
  KeyRun& run = *(KeyRun*)parameter;
  Sleep(500);
  srand(7);
  const int warmUp = 6;   // the first pages the keys reach are rendered once, outside the figures
  for (int i = -warmUp; i < run.samples; i++) {
    if (run.scrollPanel) {
      const ThumbnailPanel& p = thumbnailPanel;
      bool atEnd = p.panelScrollY >= p.columnHeight - p.panelHeight;
      PostMessageW(thumbnailWindow, WM_VSCROLL, atEnd ? SB_TOP : SB_PAGEDOWN, 0);
    }
    Sleep(2 + rand() % 30);   // somewhere inside the rendering it started
    // Read across threads, for the statistics only; nothing is reallocated during the run.
    bool rendering = thumbnailRender.pageIndex >= 0 || (run.scrollPanel && nextThumbnailToRender() >= 0);
    ResetEvent(keyPainted);
    InterlockedExchange(&keyPending, 1);
    double pressed = nowMs();
    PostMessageW(viewWindow, WM_KEYDOWN, run.keys[(i + warmUp) % 2], 1);
    bool painted = WaitForSingleObject(keyPainted, 1000) == WAIT_OBJECT_0;
    if (i < 0) {
    } else if (painted) {
      run.delays.push_back(keyPaintedAt - pressed);
      run.pickups.push_back(keyReceivedAt - pressed);
      run.duringRender += rendering;
    } else {
      run.lost++;
    }
    InterlockedExchange(&keyPending, 0);
    Sleep(15);
  }
  PostThreadMessageW(run.mainThread, WM_QUIT, 0, 0);
  return 0;
}

static void measureKeys(const char* document, bool panelShown, WPARAM forward, WPARAM back, const char* what,
                        int samples) {
  if (!startWith(document, panelShown)) {
    printf("cannot open %s\n", document);
    exit(1);
  }
  UpdateWindow(frameWindow);
  keyPainted = CreateEventW(NULL, TRUE, FALSE, NULL);
  viewProcedure = (WNDPROC)SetWindowLongPtrW(viewWindow, GWLP_WNDPROC, (LONG_PTR)timedViewProc);
  KeyRun run = {};
  run.samples = samples;
  run.keys[0] = forward;
  run.keys[1] = back;
  run.scrollPanel = panelShown;
  run.mainThread = GetCurrentThreadId();
  HANDLE pacer = CreateThread(NULL, 0, pressKeys, &run, 0, NULL);
  runMainLoop();
  WaitForSingleObject(pacer, INFINITE);
  CloseHandle(pacer);
  SetWindowLongPtrW(viewWindow, GWLP_WNDPROC, (LONG_PTR)viewProcedure);
  CloseHandle(keyPainted);
  printf("%-32s %7.2f %7.2f %7.2f %7.2f %9.2f %7.2f   %3d/%d while rendering, %d lost\n", what,
         percentile(run.delays, 0.5), percentile(run.delays, 0.9), percentile(run.delays, 0.99),
         percentile(run.delays, 1.0), percentile(run.pickups, 0.5), percentile(run.pickups, 0.99), run.duringRender,
         samples, run.lost);
  fflush(stdout);
  finish();
}

// ---- rate: the real loop's steps, with the panel paged down whenever its reach is drawn.

static bool settled(int first, int last) {
  for (int i = first; i <= last; i++) {
    ThumbnailState state = thumbnailPanel.thumbnailSlots[i].state;
    if (state == ThumbnailState::Empty || state == ThumbnailState::Pending) return false;
  }
  return true;
}

// The longest stretches the loop spends away from its queue: idle slices and panel paints.
static std::vector<double> sliceTimes, panelPaintTimes;

static void dispatch(MSG* msg) {
  TranslateMessage(msg);
  double start = nowMs();
  DispatchMessageW(msg);
  if (msg->message == WM_PAINT && msg->hwnd == thumbnailWindow) panelPaintTimes.push_back(nowMs() - start);
}

// Counts the miniatures finished around the view since the last call.
static int countFinished(std::vector<char>& seen) {
  int first, last, added = 0;
  visibleThumbnails(&first, &last);
  int reach = last - first + 1;
  for (int i = std::max(0, first - reach); i <= std::min(thumbnailPanel.thumbnailCount - 1, last + reach); i++) {
    ThumbnailState state = thumbnailPanel.thumbnailSlots[i].state;
    if (!seen[i] && (state == ThumbnailState::Ready || state == ThumbnailState::Failed)) {
      seen[i] = 1;
      added++;
    }
  }
  return added;
}

static void measureRate(const char* document, int limit) {
  double start = nowMs();
  if (!startWith(document, true)) {
    printf("cannot open %s\n", document);
    exit(1);
  }
  const ThumbnailPanel& p = thumbnailPanel;
  std::vector<char> seen(p.thumbnailCount, 0);
  MSG msg;
  double visibleAt = 0, rateStart = 0;
  int finished = 0, visibleCount = 0, failed = 0;
  for (;;) {
    if (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
      dispatch(&msg);
      continue;
    }
    int first, last;
    visibleThumbnails(&first, &last);
    if (!visibleAt && last >= first && settled(first, last) && !GetUpdateRect(thumbnailWindow, NULL, FALSE)) {
      visibleAt = nowMs();
      visibleCount = last - first + 1;
      rateStart = visibleAt;
      finished = 0;
      std::fill(seen.begin(), seen.end(), 0);
      countFinished(seen);   // those in sight and already around them start the count
    }
    double sliceStart = nowMs();
    prefetchStep();
    int more = renderNextThumbnail();
    sliceTimes.push_back(nowMs() - sliceStart);
    int added = countFinished(seen);
    if (visibleAt) finished += added;
    if (visibleAt && (finished >= limit || nowMs() - rateStart > 60000)) break;
    if (more) continue;
    if (isDecodeBusy()) {
      if (GetMessageW(&msg, NULL, 0, 0) > 0) dispatch(&msg);
      continue;
    }
    if (!visibleAt) {   // nothing to do yet the view's miniatures are not all drawn: a message is due
      if (MsgWaitForMultipleObjects(0, NULL, FALSE, 5000, QS_ALLINPUT) == WAIT_TIMEOUT) break;
      continue;
    }
    if (p.panelScrollY >= p.columnHeight - p.panelHeight) break;   // the whole column is drawn
    scrollThumbnailsTo(p.panelScrollY + p.panelHeight);
    UpdateWindow(thumbnailWindow);
  }
  double rateEnd = nowMs();
  for (int i = 0; i < p.thumbnailCount; i++) failed += p.thumbnailSlots[i].state == ThumbnailState::Failed;
  if (!visibleAt) {
    printf("visible miniatures never completed\n");
    exit(1);
  }
  printf(
      "visible_ms=%.1f visible_count=%d miniatures=%d seconds=%.2f per_second=%.1f failed=%d pages=%d "
      "slice_p99_ms=%.2f slice_max_ms=%.2f panel_paint_median_ms=%.2f\n",
      visibleAt - start, visibleCount, finished, (rateEnd - rateStart) / 1000,
      finished * 1000.0 / (rateEnd - rateStart), failed, p.thumbnailCount, percentile(sliceTimes, 0.99),
      percentile(sliceTimes, 1.0), percentile(panelPaintTimes, 0.5));
  finish();
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: thumbs_bench.exe keys|rate DOCUMENT [count]\n");
    return 2;
  }
  if (!strcmp(argv[1], "keys")) {
    int samples = argc > 3 ? atoi(argv[3]) : 200;
    printf("%-32s %31s %17s\n", "", "key -> view repainted (ms)", "key -> handled");
    printf("%-32s %7s %7s %7s %7s %9s %7s\n", "", "median", "p90", "p99", "max", "median", "p99");
    measureKeys(argv[2], false, VK_DOWN, VK_UP, "Down/Up, panel hidden", samples);
    measureKeys(argv[2], true, VK_DOWN, VK_UP, "Down/Up, panel rendering", samples);
    measureKeys(argv[2], false, VK_NEXT, VK_PRIOR, "Page Down/Up, panel hidden", samples);
    measureKeys(argv[2], true, VK_NEXT, VK_PRIOR, "Page Down/Up, panel rendering", samples);
    return 0;
  }
  if (!strcmp(argv[1], "rate")) {
    measureRate(argv[2], argc > 3 ? atoi(argv[3]) : 400);
    return 0;
  }
  return 2;
}
