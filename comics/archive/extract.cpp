// Entry extraction: stored ZIP data straight from the mapped file, deflated data
// through the DEFLATE decoder, whole or as a prefix.
#include "comics/archive/extract.h"

#include "comics/archive/memory.h"
#include "comics/rar/rar.h"
#include "inflate/inflate.h"

// Inflates the first `length` bytes of a deflated entry. The decoder stops when
// the buffer is full, so a prefix costs only the input that produces it.
static bool inflateEntry(const ArchiveEntry* entry, uint64_t length, ExtractedBytes* out) {
  if (entry->size > LARGEST_DEFLATED_ENTRY) return false;   // even when a prefix is asked for
  uint8_t* buffer = (uint8_t*)allocBytes((size_t)(length ? length : 1));
  if (buffer == NULL) return false;
  int64_t written = inflate(entry->data, entry->storedSize, buffer, length);
  if (written <= 0) {   // damaged, or nothing at all
    freeBytes(buffer);
    return false;
  }
  out->bytes = buffer;
  out->length = (uint64_t)written;
  out->owned = buffer;
  return true;
}

bool extractEntry(const ArchiveEntry* entry, uint64_t limit, ExtractedBytes* out) {
  out->bytes = NULL;
  out->length = 0;
  out->owned = NULL;
  uint64_t length = (limit > 0 && limit < entry->size) ? limit : entry->size;
  switch (entry->method) {
    case STORED:
      out->bytes = entry->data;
      out->length = length < entry->storedSize ? length : entry->storedSize;
      return true;
    case DEFLATED:
      return inflateEntry(entry, length, out);
    case RAR_ON_DEMAND:
      return extractRarEntry(entry, limit, out);
    default:   // bzip2, LZMA… are not supported
      return false;
  }
}

void releaseExtractedBytes(ExtractedBytes* extracted) {
  freeBytes(extracted->owned);
  extracted->bytes = NULL;
  extracted->length = 0;
  extracted->owned = NULL;
}
