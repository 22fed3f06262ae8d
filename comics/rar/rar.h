// RAR archives (CBR), read through the UnRAR library that the program loads from
// its own folder. The Windows builds implement these in rar.cpp; the native build
// has no library and answers as if unrar.dll were missing.
#pragma once
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
// at every decode (RarOnDemand); a solid one is unpacked completely now and its
// entries own their bytes (Stored). Returns 0 when at least one entry was kept,
// else OpenNoImage, OpenPasswordProtected, OpenRarLibraryMissing or OpenDamaged;
// on failure freeArchive releases what was listed.
int listRarEntries(ComicArchive* archive, const char16_t* path);

// A RarOnDemand entry's bytes, whole (limit 0 or not below its size) or their
// first `limit` bytes, in a new buffer that `out` owns. Takes archiveLock itself.
// False, with `out` cleared, when the library is missing or the archive is gone,
// changed or damaged.
bool extractRarEntry(const ArchiveEntry* entry, uint64_t limit, ExtractedBytes* out);
