// Area-averaging resampling of 32-bit rows to an exact size, fed one source row at
// a time, so that a large image shown small never exists at full size in memory.
// Each target pixel is the average of the source area it covers, partial pixels
// counted by the fraction covered (the Fant filter's rule), computed on
// premultiplied colour; the result is composited over white as it is written.
#ifndef BRISA_COMICS_SCALE_H
#define BRISA_COMICS_SCALE_H
#include <stddef.h>
#include <stdint.h>

// How a source row arrives; every layout is turned into premultiplied
// blue-green-red-alpha in place before it is averaged.
enum RowLayout {
  STRAIGHT_BGRA,
  PREMULTIPLIED_BGRA,
  STRAIGHT_RGBA,
  PREMULTIPLIED_RGBA,
};

// Fixed-point fraction bits of the weights: each target pixel's weights along one
// axis add up to exactly 1 << WEIGHT_BITS.
static const int WEIGHT_BITS = 24;
static const uint32_t WEIGHT_ONE = 1u << WEIGHT_BITS;
// Largest source side the weights stay exact for: (side << WEIGHT_BITS) must fit in
// 64 bits with room for a target coordinate product.
static const int32_t LARGEST_SCALED_SIDE = 1 << 24;
static_assert((uint64_t)255 * WEIGHT_ONE < ((uint64_t)1 << 32), "a row sum fits in 32 bits");

// The source columns one target column averages: `count` columns from `first`,
// with their weights at `weightAt` in ImageScaler::columnWeights.
struct ColumnSpan {
  uint32_t first;
  uint32_t count;
  uint32_t weightAt;
};

// One scaling in progress; zero-filled before startScaling, released by
// finishScaling or abandonScaling.
struct ImageScaler {
  int32_t sourceWidth, sourceHeight;
  int32_t targetWidth, targetHeight;
  uint8_t* target;   // not owned
  int32_t nextSourceRow;
  int32_t nextTargetRow;
  ColumnSpan* columnSpans;   // owned, targetWidth entries; null when the widths match
  uint32_t* columnWeights;   // owned
  uint32_t* rowSums;         // owned, targetWidth * 4: the current source row, resampled across
  uint64_t* rowTotals;       // owned, targetWidth * 4: the target row being summed down
};

// Prepares the scaling of a sourceWidth x sourceHeight image into the target of
// targetWidth x targetHeight pixels. False (nothing held) for a side that is not
// positive, a source side above LARGEST_SCALED_SIDE, a working buffer larger than
// the image budget, or no memory.
bool startScaling(ImageScaler* scaler, int32_t sourceWidth, int32_t sourceHeight, int32_t targetWidth,
                  int32_t targetHeight, uint8_t* target);
// Takes the next source row (sourceWidth pixels), which it may rewrite in place.
// Rows past the last are ignored.
void scaleRow(ImageScaler* scaler, uint8_t* row, RowLayout layout);
// Takes `count` fully transparent source rows without averaging them pixel by pixel.
void scaleTransparentRows(ImageScaler* scaler, int64_t count);
// Releases the working buffers; true when every source row was taken, so that the
// whole target is written.
bool finishScaling(ImageScaler* scaler);
// Releases the working buffers after a failed decode.
void abandonScaling(ImageScaler* scaler);

// Turns one row of pixels in the given layout into premultiplied blue-green-red-alpha.
void premultiplyRow(uint8_t* row, size_t pixels, RowLayout layout);

#endif
