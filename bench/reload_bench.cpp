// Reloading a long PDF rewritten while open, in-process, with AutoReload on:
// from the file written whole (as a build on Linux writes it, past Wine) to
// the page repainted at the same place, through the main loop's own wait on
// the folder's change notification and the settling time; beside the reload
// itself (what Ctrl+R runs), call to painted. Then the CPU time the process
// takes over 2 s of waiting with the file watched and nothing changing.
//   reload_bench.exe DOCUMENT VERSION_A VERSION_B [runs]
// The two versions differ in size; DOCUMENT starts as VERSION_A.
#include "app/app.h"
#include "viewer/viewer.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <algorithm>
#include <string>
#include <vector>
#include "bench/bench.h"

enum { PAGE = 1499 };

static std::string readWhole(const char* path) {
  std::string bytes;
  FILE* f = fopen(path, "rb");
  if (!f) return bytes;
  char buffer[65536];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
  fclose(f);
  return bytes;
}

static bool writeWhole(const char* path, const std::string& bytes) {
  int fd = open(path, O_WRONLY | O_TRUNC);
  if (fd < 0) return false;
  bool whole = write(fd, bytes.data(), bytes.size()) == (ssize_t)bytes.size();
  return close(fd) == 0 && whole;
}

static bool painted() {
  return !GetUpdateRect(viewWindow, NULL, FALSE) && !GetUpdateRect(frameWindow, NULL, FALSE);
}

// The main loop's waiting, until the document read from a file of `size`
// bytes is painted at PAGE, or the time is up. False on time up.
static bool runUntilReloaded(uint64_t size, double until) {
  while (!(documentState.fileSize == size && painted() && viewState.currentPage == PAGE)) {
    double left = until - nowMs();
    if (left <= 0) return false;
    HANDLE change = watchedFolderChange();
    DWORD woken = MsgWaitForMultipleObjectsEx(change ? 1 : 0, &change, (DWORD)left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (change && woken == WAIT_OBJECT_0) onWatchedFolderChanged();
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (painted()) UpdateWindow(frameWindow);
  }
  return true;
}

static double cpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}}, u = {{user.dwLowDateTime, user.dwHighDateTime}};
  return (k.QuadPart + u.QuadPart) / 10000.0;
}

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  int runs = argc > 4 ? atoi(argv[4]) : 7;
  if (runs < 1) runs = 1;
  const std::string versions[2] = {readWhole(argv[2]), readWhole(argv[3])};
  wchar_t line[1024];
  MultiByteToWideChar(CP_UTF8, 0, (std::string("brisa \"") + argv[1] + "\"").c_str(), -1, line, 1024);
  writeSetting(L"AutoReload", 1);
  startBrisa(GetModuleHandleW(NULL), line);
  goToPage(PAGE);
  if (!runUntilReloaded(versions[0].size(), nowMs() + 10000)) return 1;
  std::vector<double> stableToPainted, reload;
  for (int i = 1; i <= runs; i++) {
    if (!writeWhole(argv[1], versions[i % 2])) return 1;
    double stable = nowMs();
    if (!runUntilReloaded(versions[i % 2].size(), stable + 10000)) {
      fprintf(stderr, "run %d: not reloaded at page %d within 10 s\n", i, PAGE + 1);
      return 1;
    }
    stableToPainted.push_back(nowMs() - stable);
    double start = nowMs();
    reloadDocument(false);
    runUntilReloaded(versions[i % 2].size(), start + 10000);
    reload.push_back(nowMs() - start);
  }
  double cpu = cpuMs(), idleUntil = nowMs() + 2000;
  runUntilReloaded(UINT64_MAX, idleUntil);
  printf("%d pages, page %d, median of %d runs:\n", documentState.pageCount, PAGE + 1, runs);
  printf("  file stable -> repainted, AutoReload (500 ms settling): %7.1f ms\n", median(stableToPainted));
  printf("  the reload itself (Ctrl+R), call -> painted:            %7.1f ms\n", median(reload));
  printf("  CPU over 2 s idle with the file watched:                %7.1f ms\n", cpuMs() - cpu);
  writeSetting(L"AutoReload", 0);
  DestroyWindow(frameWindow);
  stopBrisa();
  return 0;
}
