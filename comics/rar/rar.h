// RAR archives (CBR), read through the UnRAR library that the program loads from
// its own folder. The Windows builds implement these in rar.cpp; the native build
// has no library and answers as if unrar.dll were missing.
#ifndef BRISA_COMICS_RAR_H
#define BRISA_COMICS_RAR_H
#include "comics/archive/archive.h"
#include "comics/archive/extract.h"

// archiveLock: the one exclusive lock that every use of the UnRAR library, its
// process-wide records and the listing's prefix buffer happens under. Never held
// while waiting for the decode worker.
void acquireArchiveLock();
void releaseArchiveLock();

// Lists the image entries of the RAR archive at path into the archive, with
// archiveLock already held. A non-solid archive keeps only the first 64 KiB of
// each image, long enough to learn its size, and its entries are extracted again
// at every decode (RAR_ON_DEMAND); a solid one is unpacked completely now and its
// entries own their bytes (STORED). Returns 0 when at least one entry was kept,
// else OPEN_NO_IMAGE, OPEN_PASSWORD_PROTECTED, OPEN_RAR_LIBRARY_MISSING, OPEN_DAMAGED
// or OPEN_CANCELLED (the progress hook said stop);
// on failure freeArchive releases what was listed.
int listRarEntries(ComicArchive* archive, const char16_t* path);

// Called on the listing's thread between headers and between pieces of a
// solid archive's data, which can take seconds to unpack: the caller may
// repaint its window there. False stops the listing with OPEN_CANCELLED.
typedef bool (*ListingProgress)();
void setRarListingProgress(ListingProgress progress);

// Each entry's test is bounded in time (comics/rar/entrytime.h): past it the
// library is told to abort and the entry fails as damaged. Tests set a budget
// of their own in milliseconds, whatever the size (-1: the normal budget).
void setRarEntryTimeBudgetForTest(int64_t milliseconds);

// A RAR_ON_DEMAND entry's bytes, whole (limit 0 or not below its size) or their
// first `limit` bytes, in a new buffer that `out` owns. Takes archiveLock itself.
// False, with `out` cleared, when the library is missing or the archive is gone,
// changed or damaged.
bool extractRarEntry(const ArchiveEntry* entry, uint64_t limit, ExtractedBytes* out);

#endif
