// libFuzzer target: the ZIP directory reader over arbitrary bytes, then what opening
// does with its result: the page order, a small extraction of every entry, the size
// pass without a decoder and the page sizes.
#include <stdlib.h>

#include "comics/archive/archive.h"
#include "comics/archive/extract.h"
#include "comics/archive/memory.h"
#include "comics/archive/zip.h"

// Capacities small enough to keep each run fast; a limit of 0 would inflate whole
// entries of up to 512 MiB.
static const uint64_t fuzzLimits[] = {1, 300, 4096, 70000};

// Touching the bytes lets the sanitizers check that every one of them is readable.
static volatile uint8_t touched;

static void extractEveryEntry(const ComicArchive* archive) {
  for (int32_t i = 0; i < archive->entryCount; i++) {
    const ArchiveEntry* entry = &archive->entries[i];
    ExtractedBytes bytes;
    if (!extractEntry(entry, fuzzLimits[i % 4], &bytes)) continue;
    if (bytes.length > fuzzLimits[i % 4]) abort();
    for (uint64_t k = 0; k < bytes.length; k += 1 + bytes.length / 16) touched ^= bytes.bytes[k];
    if (bytes.length > 0) touched ^= bytes.bytes[bytes.length - 1];
    releaseExtractedBytes(&bytes);
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ComicArchive* archive = (ComicArchive*)allocZeroed(sizeof(ComicArchive));
  if (archive == nullptr) return 0;
  if (listZipEntries(archive, data, size) == 0) {
    if (archive->entryCount < 1 || archive->entryCount > MAX_IMAGE_ENTRIES) abort();
    sortEntries(archive);
    for (int32_t i = 0; i < archive->entryCount; i++) {
      if (!isImageEntryName(archive->entries[i].name)) abort();
    }
    extractEveryEntry(archive);
    sizePass(archive, nullptr);
    computeReferenceHeight(archive);
    double width, height;
    comicPageSize(archive, archive->entryCount - 1, &width, &height);
    if (!(height > 0 && width > 0)) abort();
  }
  freeArchive(archive);
  return 0;
}
