// Reading positions: the bytes of one entry, what makes an entry usable, which
// entries go when the list is full, and the position as the layout sees it.
#include "viewer/recent.h"

#include <math.h>
#include <string.h>
#include <algorithm>
#include "viewer/viewer.h"

static void putLe(unsigned char* bytes, uint64_t value, int length) {
  for (int i = 0; i < length; i++) bytes[i] = (unsigned char)(value >> (8 * i));
}

static uint64_t getLe(const unsigned char* bytes, int length) {
  uint64_t value = 0;
  for (int i = length - 1; i >= 0; i--) value = value << 8 | bytes[i];
  return value;
}

void encodeRecentEntry(const RecentEntry* entry, unsigned char* bytes) {
  uint64_t fraction;
  memcpy(&fraction, &entry->fraction, 8);
  putLe(bytes, entry->fileSize, 8);
  putLe(bytes + 8, entry->writeTime, 8);
  putLe(bytes + 16, entry->sequence, 8);
  putLe(bytes + 24, fraction, 8);
  putLe(bytes + 32, (uint32_t)entry->page, 4);
}

// False for anything but the exact size of an entry, a page past the int
// range, a fraction that is not a number or out of its range, or a sequence
// number no honest list reaches.
bool decodeRecentEntry(const unsigned char* bytes, size_t length, RecentEntry* entry) {
  if (!bytes || length != RECENT_ENTRY_BYTES) return false;
  uint64_t fraction = getLe(bytes + 24, 8);
  uint64_t page = getLe(bytes + 32, 4);
  RecentEntry e;
  e.fileSize = getLe(bytes, 8);
  e.writeTime = getLe(bytes + 8, 8);
  e.sequence = getLe(bytes + 16, 8);
  memcpy(&e.fraction, &fraction, 8);
  if (page > 0x7FFFFFFF) return false;
  e.page = (int)page;
  if (!(e.fraction >= RECENT_LOWEST_FRACTION && e.fraction <= 1)) return false;   // NaN fails both
  if (e.sequence >= RECENT_SEQUENCE_LIMIT) return false;
  *entry = e;
  return true;
}

// The file is the one the entry was written for (same size and last-write
// time) and still has the page.
bool entryFitsDocument(const RecentEntry* entry, uint64_t fileSize, uint64_t writeTime, int pageCount) {
  return entry->fileSize == fileSize && entry->writeTime == writeTime && entry->page < pageCount;
}

// The entries whose sequence is below the result are the ones to drop so that
// at most `keep` remain: the newest. Sorts the array. Honest sequences are
// distinct; foreign ties at the limit are all dropped rather than one kept too many.
uint64_t oldestKeptSequence(uint64_t* sequences, size_t count, size_t keep) {
  if (count <= keep) return 0;
  std::sort(sequences, sequences + count);
  if (keep == 0) return sequences[count - 1] + 1;   // decoded sequences are below the limit: no wrap
  uint64_t oldest = sequences[count - keep];
  if (sequences[count - keep - 1] == oldest) oldest++;
  return oldest;
}

// The page in the title and how far down it the view's top is.
void currentReadingPosition(int* page, double* fraction) {
  const DocumentState& d = documentState;
  int current = viewState.currentPage;
  if (current < 0 || current >= d.pageCount) current = d.pageCount > 0 ? pageAtReadingLine() : 0;
  *page = current;
  *fraction = 0;
  if (current >= d.pageCount) return;
  int height = pagePixels(d.pageHeights[current]);
  if (height <= 0) return;
  double f = (double)((int64_t)viewState.scrollY - d.pageTops[current]) / height;
  *fraction = f < RECENT_LOWEST_FRACTION ? RECENT_LOWEST_FRACTION : (f > 1 ? 1 : f);
}

// The scroll position that puts the view's top that far down the page,
// within the canvas. The page must exist.
int scrollForReadingPosition(int page, double fraction) {
  const DocumentState& d = documentState;
  double y = d.pageTops[page] + fraction * pagePixels(d.pageHeights[page]);
  if (!(y > 0)) return 0;
  if (y > viewState.layoutHeight)
    return clampScroll(viewState.layoutHeight, viewState.layoutHeight, viewState.viewHeight);
  return clampScroll((int)(y + 0.5), viewState.layoutHeight, viewState.viewHeight);
}
