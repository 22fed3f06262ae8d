// A comic of thousands of pages on the real windows, in a 1920 x 1080 frame:
// start-up to the first page painted; Page Down held through 200 pages, its
// repeats arriving 30 times a second as X sends them whatever the program is
// doing; how far the view goes on once the key is released; End to the last
// page painted; the most bytes the image cache held; the peak resident memory.
//   comic_scale_bench.exe COMIC [pages]
#include "app/app.h"
#include "comics/archive/archive.h"
#include "comics/worker/worker.h"
#include "thumbs/thumbs.h"
#include "viewer/viewer.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "bench/bench.h"

static const double REPEAT_INTERVAL_MS = 1000.0 / 30;

static long residentKiB(const char* field) {
  FILE* f = fopen("/proc/self/status", "r");
  char line[256];
  long kib = -1;
  while (f && fgets(line, sizeof line, f))
    if (!strncmp(line, field, strlen(field))) kib = atol(line + strlen(field));
  if (f) fclose(f);
  return kib;
}

static int64_t mostCachedBytes;

static void noteCache() {
  ComicArchive* archive = documentState.comicArchive;
  if (archive && archive->cachedBytes > mostCachedBytes) mostCachedBytes = archive->cachedBytes;
}

// One turn of the main loop: a message if one is queued, else an idle step;
// false when there was nothing to do.
static bool loopOnce() {
  MSG msg;
  noteCache();
  if (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
  }
  prefetchStep();
  return renderNextThumbnail() != 0;
}

static void runFor(double ms) {
  double end = nowMs() + ms;
  while (nowMs() < end)
    if (!loopOnce()) MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  int pages = argc > 2 ? atoi(argv[2]) : 200;
  wchar_t line[1024];
  char narrow[1024];
  snprintf(narrow, sizeof narrow, "brisa \"%s\"", argv[1]);
  MultiByteToWideChar(CP_UTF8, 0, narrow, -1, line, 1024);
  writeSetting(L"HideAboutOnStartup", 1);
  double start = nowMs();
  startBrisa(GetModuleHandleW(NULL), line);   // opens and paints the first page
  double firstPage = nowMs() - start;
  if (!documentIsOpen() || !documentState.comicArchive) return 1;
  SetWindowPos(frameWindow, NULL, 0, 0, 1920, 1080, SWP_NOZORDER);
  UpdateWindow(frameWindow);
  runFor(500);

  // Held: the first press, then repeats (bit 30 set) due every 33 ms; a slow
  // paint lets them queue up, as they would in the program's real queue.
  int target = pages < documentState.pageCount - 1 ? pages : documentState.pageCount - 1;
  int repeats = 0;
  PostMessageW(viewWindow, WM_KEYDOWN, VK_NEXT, 1);
  start = nowMs();
  double nextRepeat = start + 500;   // the usual delay before a key repeats
  while (viewState.currentPage < target && nowMs() - start < 300000) {
    for (; nowMs() >= nextRepeat; nextRepeat += REPEAT_INTERVAL_MS, repeats++)
      PostMessageW(viewWindow, WM_KEYDOWN, VK_NEXT, 1 | (1 << 30));
    if (!loopOnce()) MsgWaitForMultipleObjects(0, NULL, FALSE, 2, QS_ALLINPUT);
  }
  double held = nowMs() - start;
  int reached = viewState.currentPage;
  PostMessageW(viewWindow, WM_KEYUP, VK_NEXT, 1 | (3 << 30));
  runFor(2000);
  int afterRelease = viewState.currentPage;

  start = nowMs();
  SendMessageW(viewWindow, WM_KEYDOWN, VK_END, 1);
  UpdateWindow(viewWindow);
  GdiFlush();
  double end = nowMs() - start;
  int lastShown = viewState.currentPage + 1;
  runFor(1000);
  start = nowMs();
  releaseReadComicBytes();   // as at each page turn
  double release = nowMs() - start;

  printf("%d pages\n", documentState.pageCount);
  printf("  start-up to first page painted  %8.0f ms\n", firstPage);
  printf("  Page Down held to page %-4d     %8.0f ms (%.1f pages/s, %d repeats sent)\n", reached + 1, held,
         reached * 1000.0 / held, repeats);
  printf("  pages scrolled after release    %8d\n", afterRelease - reached);
  printf("  End to last page painted        %8.0f ms (page %d shown)\n", end, lastShown);
  printf("  file pages let go at a turn     %8.2f ms\n", release);
  printf("  image cache, most held          %8.1f MiB\n", mostCachedBytes / 1048576.0);
  // The resident figure counts the pages of the mapped comic that were read;
  // the private part is the program's own memory.
  printf("  resident now / peak             %8.1f / %.1f MiB (%.1f MiB private)\n", residentKiB("VmRSS:") / 1024.0,
         residentKiB("VmHWM:") / 1024.0, residentKiB("RssAnon:") / 1024.0);
  DestroyWindow(frameWindow);
  stopBrisa();
  return 0;
}
