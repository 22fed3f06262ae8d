// Opening a comic, and its pages as pixels: the per-archive image cache, the
// synchronous decodes of the pages in sight, their drawing (copied, or enlarged
// bilinearly when shown larger than the image), and the full-size decode for
// printing. UI thread only; nothing here needs the Windows API.
#include "comics/pages.h"

#include "comics/decode.h"
#include "comics/archive/extract.h"
#include "comics/archive/memory.h"
#include "comics/rar/rar.h"
#include "comics/archive/zip.h"

#include <string.h>

static ImagingFactory uiImagingFactory;
static bool uiFactoryTried;

// The UI thread's imaging factory, made on first need and kept.
static ImagingFactory uiFactory() {
  if (!uiFactoryTried) {
    uiFactoryTried = true;
    uiImagingFactory = createImagingFactory(UI_THREAD_APARTMENT);
  }
  return uiImagingFactory;
}

bool decodeEntry(ImagingFactory factory, const ArchiveEntry* entry, int32_t width, int32_t height, uint8_t* target,
                 int32_t* imageWidth, int32_t* imageHeight) {
  if (factory == NULL) return false;
  ExtractedBytes bytes;
  if (!extractEntry(entry, 0, &bytes)) return false;
  bool decoded = decodeImage(factory, bytes.bytes, bytes.length, width, height, target, imageWidth, imageHeight);
  releaseExtractedBytes(&bytes);
  return decoded;
}

// The size pass's fallback for formats without a sniffer: ask the decoder.
static bool measureWithUiFactory(ArchiveEntry* entry, int32_t* width, int32_t* height) {
  return decodeEntry(uiFactory(), entry, 0, 0, NULL, width, height);
}

// The reader of the archive's kind; 0 or an OpenError.
static int listEntries(ComicArchive* archive, ArchiveKind kind, const char16_t* path, const uint8_t* fileView,
                       uint64_t fileSize) {
  if (kind == ZIP_ARCHIVE) return listZipEntries(archive, fileView, fileSize);
  acquireArchiveLock();
  int code = listRarEntries(archive, path);
  releaseArchiveLock();
  return code;
}

ComicArchive* openArchive(ArchiveKind kind, const char16_t* path, const uint8_t* fileView, uint64_t fileSize,
                          int* error) {
  ComicArchive* archive = (ComicArchive*)allocZeroed(sizeof(ComicArchive));
  if (archive == NULL) {
    *error = OPEN_DAMAGED;
    return NULL;
  }
  int code = listEntries(archive, kind, path, fileView, fileSize);
  if (code != 0) {
    freeArchive(archive);
    *error = code;
    return NULL;
  }
  sortEntries(archive);
  sizePass(archive, measureWithUiFactory);
  computeReferenceHeight(archive);
  *error = 0;
  return archive;
}

ImageSlot* findCachedImage(ComicArchive* archive, int32_t index, int32_t width, int32_t height) {
  for (int i = 0; i < IMAGE_CACHE_SLOTS; i++) {
    ImageSlot* slot = &archive->imageSlots[i];
    if (slot->pixels && slot->pageIndex == index && slot->width == width && slot->height == height) {
      slot->stamp = ++archive->useCounter;
      return slot;
    }
  }
  return NULL;
}

static void freeSlot(ComicArchive* archive, ImageSlot* slot) {
  archive->cachedBytes -= (int64_t)imagePixelBytes(slot->width, slot->height);
  freeBytes(slot->pixels);
  slot->pixels = NULL;
}

// Files an image, evicting the least recently used ones until it fits the
// budget; an image larger than the whole budget is still kept alone.
ImageSlot* storeCachedImage(ComicArchive* archive, int32_t index, int32_t width, int32_t height, uint8_t* pixels) {
  int64_t need = (int64_t)imagePixelBytes(width, height);
  for (;;) {
    ImageSlot* free = NULL;
    ImageSlot* victim = NULL;
    for (int i = 0; i < IMAGE_CACHE_SLOTS; i++) {
      ImageSlot* slot = &archive->imageSlots[i];
      if (!slot->pixels) {
        if (!free) free = slot;
      } else if (!victim || slot->stamp < victim->stamp) {
        victim = slot;
      }
    }
    if (free && (archive->cachedBytes + need <= (int64_t)IMAGE_BUDGET_BYTES || !victim)) {
      free->pageIndex = index;
      free->width = width;
      free->height = height;
      free->pixels = pixels;
      free->stamp = ++archive->useCounter;
      archive->cachedBytes += need;
      return free;
    }
    if (!victim) {   // no slot at all (cannot happen with a free list of 12)
      freeBytes(pixels);
      return NULL;
    }
    freeSlot(archive, victim);
  }
}

static bool pageDecodesHeld;

void holdPageDecodes(bool held) {
  pageDecodesHeld = held;
}

// A page image at exactly (width, height), from the cache or decoded now. A
// failed decode marks the entry for good; no memory leaves it decodable.
ImageSlot* getPageImage(ComicArchive* archive, int32_t index, int32_t width, int32_t height) {
  ArchiveEntry* entry = &archive->entries[index];
  if (width <= 0 || height <= 0 || entry->undecodable) return NULL;
  ImageSlot* cached = findCachedImage(archive, index, width, height);
  if (cached || pageDecodesHeld) return cached;
  uint8_t* pixels = (uint8_t*)allocBytes(imagePixelBytes(width, height));
  if (!pixels) return NULL;
  if (!decodeEntry(uiFactory(), entry, width, height, pixels, NULL, NULL)) {
    freeBytes(pixels);
    entry->undecodable = 1;
    return NULL;
  }
  return storeCachedImage(archive, index, width, height, pixels);
}

void pageDecodeSize(const ArchiveEntry* entry, int32_t width, int32_t height, int32_t* decodeWidth,
                    int32_t* decodeHeight) {
  int32_t w = width, h = height;
  if (entry->width > 0 && width > entry->width) {   // shown larger: decode once at the image's own size
    w = entry->width;
    h = entry->height;
  }
  fitImageBudget(w, h, decodeWidth, decodeHeight);
}

static void fillPlaceholder(uint8_t* bits, int32_t bitmapWidth, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  for (int32_t r = y0; r < y1; r++) memset(bits + ((size_t)r * bitmapWidth + x0) * 4, 0xDD, (size_t)(x1 - x0) * 4);
}

// Enlarges the image into the clipped rectangle: 16.16 fixed point, pixel
// centres aligned, arithmetic shifts.
static void drawEnlarged(const ImageSlot* image, uint8_t* bits, int32_t bitmapWidth, int32_t x, int32_t y, int32_t w,
                         int32_t h, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  const int64_t sw = image->width, sh = image->height;
  const uint8_t* pixels = image->pixels;
  for (int32_t r = y0; r < y1; r++) {
    int64_t i = r - y;
    int64_t fy = ((2 * i + 1) * sh * 65536) / (2 * (int64_t)h) - 32768;
    if (fy < 0) fy = 0;
    int64_t row0 = fy >> 16, row1, ty;
    if (row0 < sh - 1) {
      ty = fy & 0xFFFF;
      row1 = row0 + 1;
    } else {
      row0 = row1 = sh - 1;
      ty = 0;
    }
    const uint8_t* top = pixels + (size_t)row0 * sw * 4;
    const uint8_t* bottom = pixels + (size_t)row1 * sw * 4;
    uint8_t* out = bits + ((size_t)r * bitmapWidth + x0) * 4;
    for (int32_t c = x0; c < x1; c++, out += 4) {
      int64_t j = c - x;
      int64_t fx = ((2 * j + 1) * sw * 65536) / (2 * (int64_t)w) - 32768;
      if (fx < 0) fx = 0;
      int64_t col0 = fx >> 16, col1, tx;
      if (col0 < sw - 1) {
        tx = fx & 0xFFFF;
        col1 = col0 + 1;
      } else {
        col0 = col1 = sw - 1;
        tx = 0;
      }
      for (int k = 0; k < 3; k++) {
        int64_t p00 = top[col0 * 4 + k], p01 = top[col1 * 4 + k];
        int64_t p10 = bottom[col0 * 4 + k], p11 = bottom[col1 * 4 + k];
        int64_t upper = p00 + (((p01 - p00) * tx) >> 16);
        int64_t lower = p10 + (((p11 - p10) * tx) >> 16);
        out[k] = (uint8_t)(upper + (((lower - upper) * ty) >> 16));
      }
      out[3] = 255;
    }
  }
}

void drawComicPage(ComicArchive* archive, int32_t index, uint8_t* bits, int32_t bitmapWidth, int32_t bitmapHeight,
                   int32_t x, int32_t y, int32_t w, int32_t h) {
  int32_t x0 = x > 0 ? x : 0, y0 = y > 0 ? y : 0;
  int32_t x1 = (int64_t)x + w < bitmapWidth ? x + w : bitmapWidth;
  int32_t y1 = (int64_t)y + h < bitmapHeight ? y + h : bitmapHeight;
  if (x0 >= x1 || y0 >= y1) return;
  int32_t sw, sh;
  pageDecodeSize(&archive->entries[index], w, h, &sw, &sh);
  ImageSlot* image = getPageImage(archive, index, sw, sh);
  if (!image) {
    fillPlaceholder(bits, bitmapWidth, x0, y0, x1, y1);
    return;
  }
  if (sw != w || sh != h) {
    drawEnlarged(image, bits, bitmapWidth, x, y, w, h, x0, y0, x1, y1);
    return;
  }
  for (int32_t r = y0; r < y1; r++)
    memcpy(bits + ((size_t)r * bitmapWidth + x0) * 4, image->pixels + ((size_t)(r - y) * w + (x0 - x)) * 4,
           (size_t)(x1 - x0) * 4);
}

uint8_t* decodeForPrinting(ComicArchive* archive, int32_t index, int32_t* width, int32_t* height) {
  ArchiveEntry* entry = &archive->entries[index];
  if (entry->undecodable || entry->width <= 0 || entry->height <= 0) return NULL;
  int32_t w = entry->width, h = entry->height;
  while ((int64_t)w * h > 100000000) {
    w /= 2;
    h /= 2;
  }
  fitImageBudget(w, h, &w, &h);
  uint8_t* pixels = (uint8_t*)allocBytes(imagePixelBytes(w, h));
  if (!pixels) return NULL;
  if (!decodeEntry(uiFactory(), entry, w, h, pixels, NULL, NULL)) {
    freeBytes(pixels);
    return NULL;
  }
  *width = w;
  *height = h;
  return pixels;
}
