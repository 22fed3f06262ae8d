// Shared by the Linux decoding back end's files: one decode in progress and the
// limits every codec is held to. Portable: no Windows header.
#ifndef BRISA_COMICS_CODECS_H
#define BRISA_COMICS_CODECS_H
#include <stddef.h>
#include <stdint.h>

#include "comics/codecs/scale.h"

// The largest image any codec is asked to decode: a side the scaler's weights stay
// exact for, and an area that a hostile header cannot turn into minutes of work.
static const int32_t LARGEST_IMAGE_SIDE = LARGEST_SCALED_SIDE;
static const uint64_t LARGEST_IMAGE_PIXELS = (uint64_t)1 << 31;

// One decodeImage call as the codecs see it.
struct CodecRequest {
  const uint8_t* bytes;
  uint64_t length;
  int32_t targetWidth;   // positive when target is set
  int32_t targetHeight;
  uint8_t* target;      // null: the size is all that is asked
  int32_t imageWidth;   // set by acceptImageSize
  int32_t imageHeight;
};

// Records the image's own size after checking it against the limits above; false
// for a side that is not positive or an image beyond them.
bool acceptImageSize(CodecRequest* request, uint64_t width, uint64_t height);
// Starts scaling the whole image (its accepted size) into the target.
bool startImageScaling(CodecRequest* request, ImageScaler* scaler);
// A buffer for working pixels: `count` items of `itemSize` bytes, or null beyond
// the image budget or without memory. Freed with freeBytes.
void* allocPixels(uint64_t count, uint64_t itemSize);
// The same, zero-filled (pages the system zeroes lazily, so untouched parts cost nothing).
void* allocZeroedPixels(uint64_t count, uint64_t itemSize);
// Scales a whole decoded image held in memory (rows `stride` bytes apart, each
// width * 4 bytes of the given layout) into the target; rows are copied before
// they are rewritten, so the image may be read-only.
bool scaleWholeImage(CodecRequest* request, const uint8_t* pixels, size_t stride, RowLayout layout);

// One decoder per format: true when the size was accepted and, if a target was
// asked for, filled completely.
bool decodeJpeg(CodecRequest* request);
bool decodePng(CodecRequest* request);
bool decodeGif(CodecRequest* request);
bool decodeBmp(CodecRequest* request);
bool decodeWebp(CodecRequest* request);
bool decodeTiff(CodecRequest* request);
bool decodeAvif(CodecRequest* request);
bool decodeHeif(CodecRequest* request);
bool decodeJpegXr(CodecRequest* request);

#endif
