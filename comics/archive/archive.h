// The in-memory model of an open comic: its pages as archive entries in natural
// name order, each with where its bytes are and its pixel size, plus the
// procedures that build and measure it and need nothing of the Windows API.
#ifndef BRISA_COMICS_ARCHIVE_H
#define BRISA_COMICS_ARCHIVE_H
#include <stddef.h>
#include <stdint.h>
#include "comics/archive/opening.h"

// Compression methods as the ZIP directory numbers them, plus the RAR entries that
// are extracted again at every decode. A ZIP entry keeps any other number it has
// and then fails at extraction.
static const int32_t STORED = 0;
static const int32_t DEFLATED = 8;
static const int32_t RAR_ON_DEMAND = 1000;

// One page. Records are stored by value in `ComicArchive::entries` and moved as
// whole records when sorted. Invariant: `width` and `height` are both positive or
// both 0 (not known).
struct ArchiveEntry {
  char16_t* name;                // owned, zero-terminated; the path as stored in the archive
  const uint8_t* data;           // ZIP: compressed bytes inside the mapped file (not owned);
                                 // solid RAR: the extracted content, in the archive's content blocks
  uint64_t storedSize;           // bytes at data (RAR_ON_DEMAND: the uncompressed size)
  uint64_t size;                 // uncompressed size
  int32_t method;                // STORED, DEFLATED, RAR_ON_DEMAND or another ZIP number
  const char16_t* archivePath;   // RAR_ON_DEMAND: the archive's own archivePath (not owned)
  int32_t rarIndex;              // RAR_ON_DEMAND: position among all headers of the archive
  int32_t width;                 // pixels; 0 = not known
  int32_t height;
  int32_t undecodable;      // set once a decode failed; the page shows a placeholder
  int32_t prefetchFailed;   // a background decode failed: not prefetched again
};

// Decoded-image cache. The procedures that fill and evict it live with the page
// drawing; the record is plain data and is freed by `freeArchive`.
static const int IMAGE_CACHE_SLOTS = 12;

struct ImageSlot {
  int32_t pageIndex;
  int32_t width;
  int32_t height;
  uint8_t* pixels;   // owned, width * height * 4 bytes; null = free slot
  uint32_t stamp;    // useCounter at the last use
};

// A solid RAR's images, unpacked one after another at open into a few large
// blocks rather than one heap block each: large blocks can be backed by huge
// pages, and faulting in hundreds of separate blocks a page at a time costs more
// than the unpacking. The content follows the record.
struct ContentBlock {
  ContentBlock* next;   // the block filled before this one
  uint64_t capacity;    // bytes of content room
  uint64_t used;
};

// One open comic, one zero-filled heap record owned by the document.
struct ComicArchive {
  int32_t entryCount;
  int32_t referenceHeight;       // pixel height every page is laid out with
  char16_t* archivePath;         // owned copy of the path, non-solid RAR only
  ArchiveEntry* entries;         // owned, entryCount records in display order
  ContentBlock* contentBlocks;   // solid RAR: owned chain, newest first, holding every entry's data

  // ---- Decoded-image cache: UI thread only ----
  ImageSlot imageSlots[IMAGE_CACHE_SLOTS];
  uint32_t useCounter;
  int64_t cachedBytes;
  int32_t quarterTurns;   // 0-3 clockwise: how the pages are shown, and every cached image is turned
  // ---- Windows-side fields that come later go here (handles as void*) ----
};

// Height in pixels given to every page when no image height is known.
static const int32_t DEFAULT_REFERENCE_HEIGHT = 1400;
// Most image entries one archive may hold: beyond it opening fails as damaged, so
// that a small hostile directory cannot make sorting and sizing run for hours.
static const int32_t MAX_IMAGE_ENTRIES = 100000;
// Prefix of each entry read at open time to learn its pixel size.
static const uint64_t SIZING_PREFIX_BYTES = 65536;
// What is inflated first of a compressed entry before the whole sizing prefix.
static const uint64_t SHORT_SIZING_PREFIX_BYTES = 4096;

// Natural order of entry names: digit runs compare by value, letters without
// regard to case. Negative when a sorts before b, 0 when equal, positive after.
int compareEntryNames(const char16_t* a, const char16_t* b);
// Is this entry name a page? Rejects macOS metadata folders, hidden files and every
// extension outside the 15 image types.
bool isImageEntryName(const char16_t* name);
// The lower case of one UTF-16 unit, independent of its neighbours.
char16_t lowerNameUnit(char16_t unit);

// Puts the entries in compareEntryNames order with a Shell sort (not stable).
void sortEntries(ComicArchive* archive);

// Measures an entry the sniffers could not: true with both sides positive, or false
// when the entry cannot be decoded. The Windows side passes its imaging decoder.
typedef bool (*MeasureByDecoding)(ArchiveEntry* entry, int32_t* width, int32_t* height);
// Learns the pixel size of every entry whose width is still 0 from its first 64 KiB,
// falling back to `measure` (null: no decoder) and marking what stays unknown
// undecodable.
void sizePass(ComicArchive* archive, MeasureByDecoding measure);
// Sets referenceHeight to the upper median of the known heights (1400 if none).
void computeReferenceHeight(ComicArchive* archive);

int32_t archivePageCount(const ComicArchive* archive);
// Page size in points: every page referenceHeight * 0.75 high, as wide as its
// image's aspect ratio (5/7 when unknown) makes it.
void comicPageSize(const ComicArchive* archive, int32_t index, double* width, double* height);

// Frees what the record owns (cache pixels, names, solid RAR data, entries, path)
// and the record itself. Accepts null. Waiting for background work on the archive
// is the caller's business.
void freeArchive(ComicArchive* archive);

#endif
