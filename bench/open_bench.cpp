// Opening a PDF as the program does (the document loaded, its page count and
// every page's size read), three ways taking turns: through the program's reader
// over a shared handle (viewer/pdffile.cpp, with its read-ahead block), the same
// reader without its block (every piece PDFium asks for read on its own), and
// from a read-only mapping of the whole file, as before.
//   open_bench.exe FILE.pdf [rounds]  -> each one's median wall time and mean CPU time, in ms
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>
#include "bench/bench.h"
#include "viewer/pdffile.h"

// This thread's user and kernel time so far, in ms: under load the wall time
// mostly measures the other processes (Wine counts in 10 ms ticks: summed over rounds).
static double threadCpuMs() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  uint64_t k = (uint64_t)kernel.dwHighDateTime << 32 | kernel.dwLowDateTime;
  uint64_t u = (uint64_t)user.dwHighDateTime << 32 | user.dwLowDateTime;
  return (k + u) / 1e4;
}

static HANDLE openShared(const wchar_t* path, uint64_t* size) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                            OPEN_EXISTING, 0, NULL);
  LARGE_INTEGER length;
  *size = file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &length) ? (uint64_t)length.QuadPart : 0;
  return file;
}

static int readPageSizes(FPDF_DOCUMENT document) {
  int pages = FPDF_GetPageCount(document);
  for (int i = 0; i < pages; i++) {
    double width, height;
    FPDF_GetPageSizeByIndex(document, i, &width, &height);
  }
  return pages;
}

// Every piece read on its own, at its offset, as the reader reads.
static int readPiece(void* param, unsigned long position, unsigned char* buffer, unsigned long size) {
  LARGE_INTEGER at;
  at.QuadPart = (LONGLONG)position;
  DWORD got = 0;
  return SetFilePointerEx((HANDLE)param, at, NULL, FILE_BEGIN) &&
         ReadFile((HANDLE)param, buffer, (DWORD)size, &got, NULL) && got == size;
}

enum Way { READER, UNBUFFERED, MAPPING, WAYS };
static const char* const WAY_NAMES[WAYS] = {"reader", "reader, no block", "mapping (before)"};

static double openOnce(const wchar_t* path, Way way, int* pages) {
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  uint64_t size;
  HANDLE file = openShared(path, &size);
  HANDLE mapping = NULL;
  const void* view = NULL;
  PdfFileReader* reader = NULL;
  FPDF_DOCUMENT document = NULL;
  if (way == READER) {
    document = loadPdfFromHandle(file, size, &reader);
  } else if (way == UNBUFFERED) {
    FPDF_FILEACCESS access = {(unsigned long)size, readPiece, file};
    document = FPDF_LoadCustomDocument(&access, NULL);
  } else {
    mapping = CreateFileMappingW(file, NULL, PAGE_READONLY, 0, 0, NULL);
    view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : NULL;
    document = view ? FPDF_LoadMemDocument64(view, (size_t)size, NULL) : NULL;
  }
  *pages = document ? readPageSizes(document) : -1;
  double ms = elapsedMs(start);
  if (document) FPDF_CloseDocument(document);
  freePdfFileReader(reader);
  if (view) UnmapViewOfFile(view);
  if (mapping) CloseHandle(mapping);
  CloseHandle(file);
  return ms;
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  int rounds = argc > 2 ? atoi(argv[2]) : 15;
  if (rounds < 1) rounds = 1;
  WCHAR path[1024];
  MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, path, 1024);
  FPDF_InitLibrary();
  std::vector<double> times[WAYS];
  double cpu[WAYS] = {0, 0, 0};
  int pages[WAYS] = {0, 0, 0};
  for (int way = 0; way < WAYS; way++) openOnce(path, (Way)way, &pages[way]);   // warm the file cache
  for (int round = 0; round < rounds; round++)
    for (int way = 0; way < WAYS; way++) {
      double before = threadCpuMs();
      times[way].push_back(openOnce(path, (Way)way, &pages[way]));
      cpu[way] += threadCpuMs() - before;
    }
  for (int way = 0; way < WAYS; way++) {
    std::sort(times[way].begin(), times[way].end());
    printf("  %-18s %8.2f ms wall (median), %8.2f ms CPU (mean)  (%d pages)\n", WAY_NAMES[way],
           times[way][times[way].size() / 2], cpu[way] / rounds, pages[way]);
  }
  double reader = times[READER][rounds / 2], mapped = times[MAPPING][rounds / 2];
  printf("  reader vs mapping: %+.1f %% wall, %+.1f %% CPU\n", 100.0 * (reader - mapped) / mapped,
         100.0 * (cpu[READER] - cpu[MAPPING]) / cpu[MAPPING]);
  FPDF_DestroyLibrary();
  return 0;
}
