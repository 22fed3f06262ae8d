// The native build has no UnRAR library: RAR archives fail as they do on a
// system without unrar.dll, and there is nothing to lock.
#include "comics/rar/rar.h"

void acquireArchiveLock() {}

void releaseArchiveLock() {}

void setRarListingProgress(ListingProgress) {}

void setRarEntryTimeBudgetForTest(int64_t) {}

int listRarEntries(ComicArchive*, const char16_t*) {
  return OPEN_RAR_LIBRARY_MISSING;
}

bool extractRarEntry(const ArchiveEntry*, uint64_t, ExtractedBytes* out) {
  out->bytes = NULL;
  out->length = 0;
  out->owned = NULL;
  return false;
}
