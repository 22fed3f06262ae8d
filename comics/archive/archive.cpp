// The parts of opening a comic that need no platform: the page order, the size
// pass, the common page height and the page sizes, and freeing the record.
#include "comics/archive/archive.h"

#include <algorithm>

#include "comics/archive/extract.h"
#include "comics/archive/memory.h"
#include "comics/archive/sniff.h"

// Shell sort with the gaps n/2, n/4, …, 1, moving whole records. It sorts in
// place without extra memory; names that compare equal (01.jpg and 1.jpg) end in
// the order this exact procedure leaves them.
void sortEntries(ComicArchive* archive) {
  ArchiveEntry* entries = archive->entries;
  int32_t n = archive->entryCount;
  for (int32_t gap = n / 2; gap > 0; gap /= 2) {
    for (int32_t i = gap; i < n; i++) {
      ArchiveEntry taken = entries[i];
      int32_t j = i;
      while (j >= gap && compareEntryNames(entries[j - gap].name, taken.name) > 0) {
        entries[j] = entries[j - gap];
        j -= gap;
      }
      entries[j] = taken;
    }
  }
}

// Sniffs the size from the entry's first `length` bytes. False when no bytes came
// back or no sniffer knows them.
static bool sniffEntryPrefix(ArchiveEntry* entry, uint64_t length) {
  ExtractedBytes prefix;
  if (!extractEntry(entry, length, &prefix)) return false;
  int32_t width = 0, height = 0;
  bool found = prefix.length > 0 && sniffImageSize(prefix.bytes, prefix.length, &width, &height);
  releaseExtractedBytes(&prefix);
  if (!found) return false;
  entry->width = width;
  entry->height = height;
  return true;
}

// Reads the size from the entry's first 64 KiB. A compressed entry is first
// inflated only as far as a short prefix, which holds the header of nearly every
// image: inflating 64 KiB of each of hundreds of pages is most of the cost of
// opening a deflated comic. The sniffers read from the start and stop at the
// first size they find, so a size found in the short prefix is the one the long
// prefix gives; when the short one is not enough the 64 KiB are read as usual.
static bool sniffEntrySize(ArchiveEntry* entry) {
  if (entry->method == DEFLATED && entry->size > SHORT_SIZING_PREFIX_BYTES &&
      sniffEntryPrefix(entry, SHORT_SIZING_PREFIX_BYTES))
    return true;
  return sniffEntryPrefix(entry, SIZING_PREFIX_BYTES);
}

void sizePass(ComicArchive* archive, MeasureByDecoding measure) {
  for (int32_t i = 0; i < archive->entryCount; i++) {
    ArchiveEntry* entry = &archive->entries[i];
    if (entry->width != 0) continue;   // sized while listing
    if (sniffEntrySize(entry)) continue;
    entry->width = 0;
    entry->height = 0;
    int32_t width = 0, height = 0;
    if (measure != NULL && measure(entry, &width, &height) && width > 0 && height > 0) {
      entry->width = width;
      entry->height = height;
    } else {
      entry->undecodable = 1;
    }
  }
}

// The upper median of the known heights, from a sorted copy: with k heights,
// sorted[k / 2]. 1400 when none is known or the copy cannot be made.
void computeReferenceHeight(ComicArchive* archive) {
  archive->referenceHeight = DEFAULT_REFERENCE_HEIGHT;
  int32_t* heights = (int32_t*)allocBytes((size_t)archive->entryCount * sizeof(int32_t));
  if (heights == NULL) return;
  int32_t known = 0;
  for (int32_t i = 0; i < archive->entryCount; i++) {
    if (archive->entries[i].height > 0) heights[known++] = archive->entries[i].height;
  }
  if (known > 0) {
    std::sort(heights, heights + known);
    archive->referenceHeight = heights[known / 2];
  }
  freeBytes(heights);
}

int32_t archivePageCount(const ComicArchive* archive) {
  return archive ? archive->entryCount : 0;
}

// Aspect of a page whose image size is unknown: a typical comic page.
static const double DEFAULT_ASPECT = 5.0 / 7.0;
// Image pixels are taken at 96 dpi: points per pixel.
static const double POINTS_PER_PIXEL = 0.75;

void comicPageSize(const ComicArchive* archive, int32_t index, double* width, double* height) {
  double aspect = DEFAULT_ASPECT;
  if (index >= 0 && index < archive->entryCount) {
    const ArchiveEntry* entry = &archive->entries[index];
    if (entry->width > 0 && entry->height > 0) aspect = (double)entry->width / entry->height;
  }
  *height = archive->referenceHeight * POINTS_PER_PIXEL;
  *width = *height * aspect;
}

void freeArchive(ComicArchive* archive) {
  if (archive == NULL) return;
  for (ImageSlot& slot : archive->imageSlots) freeBytes(slot.pixels);
  for (int32_t i = 0; i < archive->entryCount; i++) freeBytes(archive->entries[i].name);
  freeBytes(archive->entries);
  while (archive->contentBlocks) {
    ContentBlock* next = archive->contentBlocks->next;
    freeBytes(archive->contentBlocks);
    archive->contentBlocks = next;
  }
  freeBytes(archive->archivePath);
  freeBytes(archive);
}
