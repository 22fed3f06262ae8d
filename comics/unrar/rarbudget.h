// The time one entry's decode may take, the same for libarchive's decoders and
// for the helper's: a hostile entry whose decoder spins, or keeps reading its
// input without handing out data, fails as damaged instead of holding the
// window. Not part of the core's interface.
#ifndef BRISA_COMICS_RARBUDGET_H
#define BRISA_COMICS_RARBUDGET_H
#include <stdint.h>

// Milliseconds on the monotonic clock; never 0, which means no deadline.
int64_t monotonicMilliseconds();
// When the decode of an entry declaring declaredSize bytes, starting now, must be done.
int64_t deadlineForEntry(uint64_t declaredSize);

static inline bool deadlinePassed(int64_t deadline) {
  return deadline != 0 && monotonicMilliseconds() >= deadline;
}

#endif
