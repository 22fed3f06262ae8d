// Entry extraction: stored ZIP data from the comic's file, deflated data through
// the DEFLATE decoder, whole or as a prefix. The file is read, not its mapping,
// so that a file cut while open fails the entry instead of faulting.
#include "comics/archive/extract.h"

#include "comics/archive/memory.h"
#include "comics/rar/rar.h"
#include "inflate/inflate.h"

// The first `length` of the entry's stored bytes, read from the file into a new
// buffer (to freeBytes), or null when the file no longer holds them.
static uint8_t* readFromFile(const ArchiveEntry* entry, uint64_t length) {
  uint8_t* copy = (uint8_t*)allocBytes((size_t)(length ? length : 1));
  if (copy && !copyFileBytes(copy, entry->data, length)) {
    freeBytes(copy);
    return NULL;
  }
  return copy;
}

// How much of the compressed bytes a prefix of `length` is tried with first:
// image data barely compresses, so a little more than the prefix is enough.
static uint64_t prefixInput(const ArchiveEntry* entry, uint64_t length) {
  uint64_t input = length < entry->size ? length + length / 8 + 4096 : entry->storedSize;
  return input < entry->storedSize ? input : entry->storedSize;
}

// Inflates `length` bytes from `inputSize` bytes of the entry's data, read from
// the file first when the comic's file is watched.
static int64_t inflateFrom(const ArchiveEntry* entry, uint64_t inputSize, uint8_t* buffer, uint64_t length) {
  if (!inWatchedFile(entry->data)) return inflate(entry->data, inputSize, buffer, length);
  uint8_t* input = readFromFile(entry, inputSize);
  if (input == NULL) return -1;
  int64_t written = inflate(input, inputSize, buffer, length);
  freeBytes(input);
  return written;
}

// Inflates the first `length` bytes of a deflated entry. The decoder stops when
// the buffer is full, so a prefix costs only the input that produces it.
static bool inflateEntry(const ArchiveEntry* entry, uint64_t length, ExtractedBytes* out) {
  if (entry->size > LARGEST_DEFLATED_ENTRY) return false;   // even when a prefix is asked for
  uint8_t* buffer = (uint8_t*)allocBytes((size_t)(length ? length : 1));
  if (buffer == NULL) return false;
  uint64_t input = inWatchedFile(entry->data) ? prefixInput(entry, length) : entry->storedSize;
  int64_t written = inflateFrom(entry, input, buffer, length);
  if (written < (int64_t)length && input < entry->storedSize)   // the input ran out first
    written = inflateFrom(entry, entry->storedSize, buffer, length);
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
      out->length = length < entry->storedSize ? length : entry->storedSize;
      if (!inWatchedFile(entry->data)) {
        out->bytes = entry->data;
        return true;
      }
      out->owned = readFromFile(entry, out->length);
      out->bytes = out->owned;
      if (!out->owned) out->length = 0;
      return out->owned != NULL;
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
