// The time the decode of one RAR entry may take, the same for the reader over
// any unrar.dll (rar.cpp) and for the Linux build's own library (comics/unrar):
// past it the entry fails as damaged, so that a hostile entry whose decoder
// spins cannot hold the window. Plain C types, no Windows header.
#ifndef BRISA_COMICS_ENTRYTIME_H
#define BRISA_COMICS_ENTRYTIME_H
#include <stdint.h>

// A few seconds, plus a second per 16 MiB the entry declares: decoders run far
// faster than 16 MiB/s, so only one that spins or starves comes near it, while
// a slow or busy machine keeps room. Sizes count up to the largest entry the
// reader lists (512 MiB: 35 s), so that a declared size cannot buy more.
static const int64_t RAR_ENTRY_BASE_MILLISECONDS = 3000;
static const uint64_t RAR_ENTRY_BYTES_PER_SECOND = (uint64_t)16 << 20;
static const uint64_t RAR_LARGEST_TIMED_ENTRY = (uint64_t)512 << 20;

static inline int64_t rarEntryTimeBudget(uint64_t declaredSize) {
  uint64_t counted = declaredSize < RAR_LARGEST_TIMED_ENTRY ? declaredSize : RAR_LARGEST_TIMED_ENTRY;
  return RAR_ENTRY_BASE_MILLISECONDS + (int64_t)(counted * 1000 / RAR_ENTRY_BYTES_PER_SECOND);
}

#endif
