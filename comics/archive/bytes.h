// Bounds-checked readers of file bytes. Every offset and length handed to them may
// come from the file itself, so the checks are written so that they cannot wrap.
// A field that would pass the end reads as 0; callers check the bounds they rely on
// first and use these as the last line of defence.
#ifndef BRISA_COMICS_BYTES_H
#define BRISA_COMICS_BYTES_H
#include <stdint.h>
#include <string.h>

// Do `length` bytes at `offset` lie inside a buffer of `size` bytes?
static inline bool fitsIn(uint64_t offset, uint64_t length, uint64_t size) {
  return offset <= size && length <= size - offset;
}

static inline uint32_t le16(const uint8_t* b, uint64_t n, uint64_t at) {
  if (!fitsIn(at, 2, n)) return 0;
  return (uint32_t)b[at] | (uint32_t)b[at + 1] << 8;
}

static inline uint32_t le24(const uint8_t* b, uint64_t n, uint64_t at) {
  if (!fitsIn(at, 3, n)) return 0;
  return (uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16;
}

static inline uint32_t le32(const uint8_t* b, uint64_t n, uint64_t at) {
  if (!fitsIn(at, 4, n)) return 0;
  return (uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}

static inline uint64_t le64(const uint8_t* b, uint64_t n, uint64_t at) {
  if (!fitsIn(at, 8, n)) return 0;
  return (uint64_t)le32(b, n, at) | (uint64_t)le32(b, n, at + 4) << 32;
}

static inline uint32_t be16(const uint8_t* b, uint64_t n, uint64_t at) {
  if (!fitsIn(at, 2, n)) return 0;
  return (uint32_t)b[at] << 8 | (uint32_t)b[at + 1];
}

static inline uint32_t be32(const uint8_t* b, uint64_t n, uint64_t at) {
  if (!fitsIn(at, 4, n)) return 0;
  return (uint32_t)b[at] << 24 | (uint32_t)b[at + 1] << 16 | (uint32_t)b[at + 2] << 8 | (uint32_t)b[at + 3];
}

// Do the bytes at `at` spell `signature` (`length` bytes)? False past the end.
static inline bool hasBytes(const uint8_t* b, uint64_t n, uint64_t at, const char* signature, uint64_t length) {
  return fitsIn(at, length, n) && memcmp(b + at, signature, length) == 0;
}

#endif
