// Replays the reader's listing of a RAR over the core. Non-solid: test each
// entry with a callback that stops after 64 KiB, then reopen and skip back
// past it. Solid: test every entry whole, in one pass. Prints the time of the
// whole listing, first run and later runs.
#include "comics/unrar/rarcore.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static const uint64_t prefixBytes = 65536;

struct Prefix {
  uint64_t received;
  bool whole;   // a solid archive: every entry is unpacked whole
};

static int stopAfterPrefix(void* context, int message, const void*, uint64_t length) {
  Prefix* prefix = (Prefix*)context;
  if (message != RAR_CORE_MESSAGE_DATA) return message == RAR_CORE_MESSAGE_VOLUME ? 1 : -1;
  prefix->received += length;
  return prefix->received >= prefixBytes && !prefix->whole ? -1 : 1;
}

static RarCore* reopenAfter(const char* path, Prefix* prefix, int index) {
  int result = 0;
  uint32_t flags = 0;
  RarCore* core = rarCoreOpen(path, stopAfterPrefix, prefix, &result, &flags);
  prefix->whole = flags & RAR_CORE_ARCHIVE_SOLID;
  RarEntryInfo info;
  for (int i = 0; core && i <= index; i++) {
    if (rarCoreReadHeader(core, &info) != RAR_CORE_OK || rarCoreProcess(core, RAR_CORE_SKIP) != RAR_CORE_OK) {
      rarCoreClose(core);
      return nullptr;
    }
  }
  return core;
}

// Returns the entries listed, or -1 when the archive does not open.
static int listOnce(const char* path) {
  Prefix prefix = {0, false};
  RarCore* core = reopenAfter(path, &prefix, -1);
  if (!core) return -1;
  static RarEntryInfo info;
  int index = -1, listed = 0;
  while (core && rarCoreReadHeader(core, &info) == RAR_CORE_OK) {
    index++;
    prefix.received = 0;
    int result = rarCoreProcess(core, RAR_CORE_TEST);
    if (prefix.received > 0) listed++;
    if (result != RAR_CORE_OK) {
      rarCoreClose(core);
      core = reopenAfter(path, &prefix, index);
    }
  }
  rarCoreClose(core);
  return listed;
}

static double secondsNow() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: rar_bench archive.cbr [runs]\n");
    return 2;
  }
  int runs = argc > 2 ? atoi(argv[2]) : 5;
  for (int run = 0; run < runs; run++) {
    double start = secondsNow();
    int listed = listOnce(argv[1]);
    printf("run %d: %d entries in %.1f ms\n", run + 1, listed, (secondsNow() - start) * 1000.0);
  }
  return 0;
}
