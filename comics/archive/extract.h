// An entry's bytes, whole or only their beginning.
#ifndef BRISA_COMICS_EXTRACT_H
#define BRISA_COMICS_EXTRACT_H
#include "comics/archive/archive.h"

// Largest uncompressed size of a deflated entry that is ever inflated (512 MiB).
static const uint64_t LARGEST_DEFLATED_ENTRY = 0x20000000;

struct ExtractedBytes {
  const uint8_t* bytes;
  uint64_t length;
  uint8_t* owned;   // the buffer to freeBytes afterwards; null when borrowed
};

// limit 0 asks for the whole entry, a limit below the entry's size for that many
// bytes from its beginning. Stored ZIP entries are borrowed from the mapped file;
// deflated ones are inflated into a new buffer, RAR_ON_DEMAND ones extracted again
// from their archive into a new buffer. False for any other method, an
// oversized or damaged deflated entry, an entry that inflates to nothing, a RAR
// entry that cannot be extracted, or no memory; `out` is then cleared.
bool extractEntry(const ArchiveEntry* entry, uint64_t limit, ExtractedBytes* out);
// Frees what extractEntry allocated and clears the record.
void releaseExtractedBytes(ExtractedBytes* extracted);

#endif
