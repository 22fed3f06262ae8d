// Keeping the reading position when Software\Brisa\Recent holds many foreign
// values, in-process: the write that closing a document makes, timed one
// after another until the key holds no more than a full list.
//   recent_bench.exe DOCUMENT [values]  -> the first write, the slowest, and how many writes it took
#include "app/app.h"
#include "viewer/recent.h"
#include "viewer/viewer.h"

#include <stdio.h>
#include <stdlib.h>
#include "bench/bench.h"

static const wchar_t RECENT[] = L"Software\\Brisa\\Recent";

static DWORD recentValues() {
  HKEY key;
  DWORD count = 0;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, RECENT, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  RegQueryInfoKeyW(key, NULL, NULL, NULL, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL);
  RegCloseKey(key);
  return count;
}

// Numbers, strings, binary values too short, and entries that do not decode or
// whose name is longer than any path.
static void putForeignValues(int count) {
  RegDeleteTreeW(HKEY_CURRENT_USER, RECENT);
  DWORD twelve = 12;
  RecentEntry entry = {1000, 2000, 7, 0, 3};
  unsigned char good[RECENT_ENTRY_BYTES], bad[RECENT_ENTRY_BYTES];
  encodeRecentEntry(&entry, good);
  entry.sequence = RECENT_SEQUENCE_LIMIT;
  encodeRecentEntry(&entry, bad);
  for (int i = 0; i < count; i++) {
    wchar_t name[400];
    int length = wsprintfW(name, L"junk %d", i);
    if (i % 5 == 0) RegSetKeyValueW(HKEY_CURRENT_USER, RECENT, name, REG_DWORD, &twelve, 4);
    if (i % 5 == 1) RegSetKeyValueW(HKEY_CURRENT_USER, RECENT, name, REG_SZ, L"x", 4);
    if (i % 5 == 2) RegSetKeyValueW(HKEY_CURRENT_USER, RECENT, name, REG_BINARY, bad, sizeof bad);
    if (i % 5 == 3) RegSetKeyValueW(HKEY_CURRENT_USER, RECENT, name, REG_BINARY, good, 3);
    if (i % 5 == 4) {
      while (length < 300) name[length++] = 'n';
      name[length] = 0;
      RegSetKeyValueW(HKEY_CURRENT_USER, RECENT, name, REG_BINARY, good, sizeof good);
    }
  }
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  int values = argc > 2 ? atoi(argv[2]) : 10000;
  char narrow[1024];
  wchar_t line[1024];
  snprintf(narrow, sizeof narrow, "brisa \"%s\"", argv[1]);
  MultiByteToWideChar(CP_UTF8, 0, narrow, -1, line, 1024);
  writeSetting(L"ResumePosition", 1);
  writeSetting(L"HideAboutOnStartup", 1);
  putForeignValues(values);
  startBrisa(GetModuleHandleW(NULL), line);
  if (!documentIsOpen()) return 1;
  double first = 0, slowest = 0;
  DWORD afterFirst = 0;
  int writes = 0;
  while (writes < 1000 && (writes == 0 || recentValues() > RECENT_CAPACITY)) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    rememberReadingPosition();
    double ms = elapsedMs(start);
    if (writes++ == 0) first = ms, afterFirst = recentValues();
    if (ms > slowest) slowest = ms;
  }
  printf("%d foreign values: first write %.1f ms (%lu values left), slowest %.1f ms, %d writes to %lu values\n", values,
         first, (unsigned long)afterFirst, slowest, writes, (unsigned long)recentValues());
  DestroyWindow(frameWindow);
  stopBrisa();
  RegDeleteTreeW(HKEY_CURRENT_USER, RECENT);
  writeSetting(L"ResumePosition", 0);
  return 0;
}
