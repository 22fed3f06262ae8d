// libFuzzer target: the Linux unrar.dll's core over arbitrary archives, walked
// as the reader walks them (every header, a test of each entry, the callback
// stopping some), twice: the second walk reads through what the first
// remembered. Plus the probe, the volume naming and the name conversion.
// The first byte picks a prefix: a RAR 5 or RAR 4 signature with a valid main
// header in front of the rest, or nothing, so that most runs reach the entries.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "comics/unrar/rarcore.h"
#include "comics/unrar/rarhelper.h"

// The signatures and empty main headers that scripts/makerar.py writes.
static const uint8_t rar5Prefix[] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00,
                                     0xC5, 0x1A, 0x33, 0x32, 0x03, 0x01, 0x00, 0x00};
static const uint8_t rar4Prefix[] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00, 0xCF, 0x90, 0x73,
                                     0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

static volatile uint8_t touched;
static char archivePath[64];

static int fuzzCallback(void* context, int message, const void* p1, uint64_t p2) {
  uint64_t* budget = (uint64_t*)context;
  if (message != RAR_CORE_MESSAGE_DATA) return -1;
  const uint8_t* bytes = (const uint8_t*)p1;
  if (p2 > 0) touched ^= bytes[0] ^ bytes[p2 - 1];
  if (p2 >= *budget) return -1;   // keeps each run short, and tests the stop
  *budget -= p2;
  return 1;
}

static void walkArchive(int operationSeed) {
  int result = 0;
  uint32_t flags = 0;
  uint64_t budget = 1 << 20;
  RarCore* core = rarCoreOpen(archivePath, fuzzCallback, &budget, &result, &flags);
  if (!core) return;
  RarEntryInfo info;
  for (int i = 0; i < 4096 && rarCoreReadHeader(core, &info) == RAR_CORE_OK; i++) {
    if (info.name[RAR_NAME_CAPACITY - 1] != 0) abort();
    rarCoreProcess(core, (operationSeed >> (i % 8)) & 1 ? RAR_CORE_TEST : RAR_CORE_SKIP);
  }
  rarCoreClose(core);
}

static void removeArchive() {
  unlink(archivePath);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (!archivePath[0]) {
    snprintf(archivePath, sizeof archivePath, "/tmp/fuzz_unrar_%d.part1.rar", (int)getpid());
    atexit(removeArchive);
  }
  FILE* file = fopen(archivePath, "wb");
  if (!file) return 0;
  if (data[0] % 3 == 1) fwrite(rar5Prefix, 1, sizeof rar5Prefix, file);
  if (data[0] % 3 == 2) fwrite(rar4Prefix, 1, sizeof rar4Prefix, file);
  fwrite(data + 1, 1, size - 1, file);
  fclose(file);

  uint32_t flags = 0;
  rarProbeArchive(data, size, &flags);
  // The second walk reads through what the first remembered; nothing of
  // the previous input may be remembered in its place.
  rarCoreRememberArchives(false);
  rarCoreRememberArchives(true);
  rarCoreSetSettlingTime(0);
  rarHelperSetProgram("/bin/false", 0, 0);   // solid RAR 4: the headers are fuzzed, not unar
  walkArchive(data[0]);
  walkArchive(data[0] >> 1);

  char text[256];
  size_t length = size - 1 < sizeof text - 1 ? size - 1 : sizeof text - 1;
  memcpy(text, data + 1, length);
  text[length] = 0;
  char next[260];
  if (rarNextVolumeName(text, data[0] & 1, next, sizeof next) && strlen(next) >= sizeof next) abort();
  char16_t name[16];
  size_t units = rarUtf8ToUtf16(text, name, 16);
  if (units >= 16 || name[units] != 0) abort();
  return 0;
}
