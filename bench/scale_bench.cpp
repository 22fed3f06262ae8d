// A document of thousands of pages on the real windows, in a 1920 x 1080 frame:
// start-up to the first page painted, End to the last page painted, a search
// for a word found nowhere (every page examined), and the peak resident memory.
//   scale_bench.exe DOCUMENT
#include "app/app.h"
#include "search/search.h"
#include "viewer/viewer.h"

#include <stdio.h>
#include <string.h>
#include "bench/bench.h"

static long peakResidentKiB() {
  FILE* f = fopen("/proc/self/status", "r");
  char line[256];
  long kib = -1;
  while (f && fgets(line, sizeof line, f))
    if (!strncmp(line, "VmHWM:", 6)) kib = atol(line + 6);
  if (f) fclose(f);
  return kib;
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  wchar_t line[1024];
  char narrow[1024];
  snprintf(narrow, sizeof narrow, "brisa \"%s\"", argv[1]);
  MultiByteToWideChar(CP_UTF8, 0, narrow, -1, line, 1024);
  writeSetting(L"HideAboutOnStartup", 1);
  double start = nowMs();
  startBrisa(GetModuleHandleW(NULL), line);   // opens and paints the first page
  double firstPage = nowMs() - start;
  if (!documentIsOpen()) return 1;
  SetWindowPos(frameWindow, NULL, 0, 0, 1920, 1080, SWP_NOZORDER);
  UpdateWindow(frameWindow);

  start = nowMs();
  SendMessageW(viewWindow, WM_KEYDOWN, VK_END, 1);
  UpdateWindow(viewWindow);
  GdiFlush();
  double end = nowMs() - start;
  int lastShown = viewState.currentPage + 1;

  SetWindowTextW(searchBox, L"qxzqxzq");
  start = nowMs();
  findText(+1);
  double search = nowMs() - start;

  printf("%d pages\n", documentState.pageCount);
  printf("  start-up to first page painted  %8.0f ms\n", firstPage);
  printf("  End to last page painted        %8.0f ms (page %d shown)\n", end, lastShown);
  printf("  search miss through all pages   %8.0f ms\n", search);
  printf("  peak resident                   %8.1f MiB\n", peakResidentKiB() / 1024.0);
  DestroyWindow(frameWindow);
  stopBrisa();
  return 0;
}
