// A comic's pages as pixels: opening, the image cache, drawing, printing decodes.
#ifndef BRISA_COMICS_PAGES_H
#define BRISA_COMICS_PAGES_H
#include "comics/archive/archive.h"
#include "comics/decode.h"

// Lists, sorts and sizes a comic: a ZIP_ARCHIVE from its directory in the mapped
// view, any other kind as the RAR archive at path (under archiveLock). Null with
// the OpenError in *error.
ComicArchive* openArchive(ArchiveKind kind, const char16_t* path, const uint8_t* fileView, uint64_t fileSize,
                          int* error);

// Extracts an entry whole and decodes it: with no target only its size.
bool decodeEntry(ImagingFactory factory, const ArchiveEntry* entry, int32_t width, int32_t height, uint8_t* target,
                 int32_t* imageWidth, int32_t* imageHeight);

// The size a page shown at (width, height) is decoded and cached at: its own
// size when shown larger, never past the image budget.
void pageDecodeSize(const ArchiveEntry* entry, int32_t width, int32_t height, int32_t* decodeWidth,
                    int32_t* decodeHeight);

ImageSlot* findCachedImage(ComicArchive* archive, int32_t index, int32_t width, int32_t height);
ImageSlot* storeCachedImage(ComicArchive* archive, int32_t index, int32_t width, int32_t height, uint8_t* pixels);
ImageSlot* getPageImage(ComicArchive* archive, int32_t index, int32_t width, int32_t height);
// While held, getPageImage answers from the cache only (null otherwise, the entry
// left decodable): a window repainted in the middle of opening another archive
// must not extract, as the archive lock is then held by the same thread.
void holdPageDecodes(bool held);

// Draws the page into the rectangle (x, y, w, h) of a top-down 32-bit bitmap,
// clipped to it; a page that cannot be decoded is a 0xDD grey rectangle.
void drawComicPage(ComicArchive* archive, int32_t index, uint8_t* bits, int32_t bitmapWidth, int32_t bitmapHeight,
                   int32_t x, int32_t y, int32_t w, int32_t h);

// The page at full size (halved while above 100,000,000 pixels), not cached;
// the caller frees it with freeBytes. Null when it cannot be decoded.
uint8_t* decodeForPrinting(ComicArchive* archive, int32_t index, int32_t* width, int32_t* height);

#endif
