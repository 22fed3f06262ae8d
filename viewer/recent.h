// The reading positions kept for the files a user opened, one registry value
// per file. This core encodes and checks the values and decides which to drop;
// it includes no Windows header, so that hostile values can be tested natively.
#ifndef BRISA_RECENT_H
#define BRISA_RECENT_H

#include <stddef.h>
#include <stdint.h>

// Little-endian: file size 8, last-write time 8, sequence 8, fraction 8 (IEEE double), page 4.
enum { RECENT_ENTRY_BYTES = 36, RECENT_CAPACITY = 64 };

// The values one write looks at, from the last: the list and a few hundred
// foreign ones, so that closing stays quick whatever the key holds.
enum { RECENT_VALUES_PER_WRITE = 256 };

// Honest sequence numbers count writes from 1 and never come near this; a
// larger one is foreign, and refusing it keeps "largest + 1" from wrapping.
static const uint64_t RECENT_SEQUENCE_LIMIT = (uint64_t)1 << 62;

// How far the view's top may be above its page, in page heights. Many short
// pages in a tall view put it above the current page; a farther value is foreign.
#define RECENT_LOWEST_FRACTION -16.0

struct RecentEntry {
  uint64_t fileSize;
  uint64_t writeTime;   // the file's last-write time, as the system states it
  uint64_t sequence;    // larger = written later
  double fraction;      // how far down the page the view's top is, in page heights
  int page;             // zero-based
};

void encodeRecentEntry(const RecentEntry* entry, unsigned char* bytes);
bool decodeRecentEntry(const unsigned char* bytes, size_t length, RecentEntry* entry);
bool entryFitsDocument(const RecentEntry* entry, uint64_t fileSize, uint64_t writeTime, int pageCount);
uint64_t oldestKeptSequence(uint64_t* sequences, size_t count, size_t keep);

// Between the entry and the layout (over the global records).
void currentReadingPosition(int* page, double* fraction);
int scrollForReadingPosition(int page, double fraction);

#endif
