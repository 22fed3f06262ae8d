// Area-averaging resampling. Along one axis, with n source pixels and m target
// pixels, measure positions in units of 1/(n*m) of the image: source pixel s
// covers [s*m, (s+1)*m) and target pixel d covers [d*n, (d+1)*n). The weight of s
// in d is the length of their overlap over n, in fixed point. Taking each weight
// as the difference of two rounded cumulative fractions makes every target
// pixel's weights add up to exactly WEIGHT_ONE, so flat areas stay exact.
#include "comics/codecs/scale.h"

#include <string.h>

#include "comics/decode.h"
#include "comics/archive/memory.h"

// Rounding constant and shift of a sum weighted along both axes.
static const int TOTAL_BITS = 2 * WEIGHT_BITS;
static const uint64_t TOTAL_HALF = (uint64_t)1 << (TOTAL_BITS - 1);

// The weight of the overlap [low, high) inside the target pixel that starts at
// `start` and is n long.
static uint32_t overlapWeight(uint64_t start, uint64_t low, uint64_t high, uint64_t n) {
  uint64_t upTo = ((high - start) << WEIGHT_BITS) / n;
  uint64_t before = ((low - start) << WEIGHT_BITS) / n;
  return (uint32_t)(upTo - before);
}

// A buffer of count items of itemSize bytes, or null past the image budget or
// without memory.
static void* allocWorkBuffer(uint64_t count, uint64_t itemSize) {
  if (count == 0 || count > IMAGE_BUDGET_BYTES / itemSize) return NULL;
  return allocBytes((size_t)(count * itemSize));
}

// Fills the spans and weights of every target column.
static void buildColumnSpans(ImageScaler* scaler) {
  uint64_t n = (uint64_t)scaler->sourceWidth, m = (uint64_t)scaler->targetWidth;
  uint32_t at = 0;
  for (uint64_t d = 0; d < m; d++) {
    uint64_t start = d * n, end = start + n;
    uint64_t first = start / m, last = (end - 1) / m;
    ColumnSpan* span = &scaler->columnSpans[d];
    span->first = (uint32_t)first;
    span->count = (uint32_t)(last - first + 1);
    span->weightAt = at;
    for (uint64_t s = first; s <= last; s++) {
      uint64_t low = s * m > start ? s * m : start;
      uint64_t high = (s + 1) * m < end ? (s + 1) * m : end;
      scaler->columnWeights[at++] = overlapWeight(start, low, high, n);
    }
  }
}

bool startScaling(ImageScaler* scaler, int32_t sourceWidth, int32_t sourceHeight, int32_t targetWidth,
                  int32_t targetHeight, uint8_t* target) {
  memset(scaler, 0, sizeof *scaler);
  if (sourceWidth <= 0 || sourceHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) return false;
  if (sourceWidth > LARGEST_SCALED_SIDE || sourceHeight > LARGEST_SCALED_SIDE) return false;
  scaler->sourceWidth = sourceWidth;
  scaler->sourceHeight = sourceHeight;
  scaler->targetWidth = targetWidth;
  scaler->targetHeight = targetHeight;
  scaler->target = target;
  if (sourceWidth == targetWidth && sourceHeight == targetHeight) return true;   // copied straight
  uint64_t channels = (uint64_t)targetWidth * 4;
  scaler->rowSums = (uint32_t*)allocWorkBuffer(channels, sizeof(uint32_t));
  scaler->rowTotals = (uint64_t*)allocWorkBuffer(channels, sizeof(uint64_t));
  if (sourceWidth != targetWidth) {
    scaler->columnSpans = (ColumnSpan*)allocWorkBuffer((uint64_t)targetWidth, sizeof(ColumnSpan));
    // Every target column takes at most one source column more than it
    // starts in, so the weights number fewer than both widths together.
    scaler->columnWeights = (uint32_t*)allocWorkBuffer((uint64_t)sourceWidth + (uint64_t)targetWidth, sizeof(uint32_t));
    if (scaler->columnSpans == NULL || scaler->columnWeights == NULL) {
      abandonScaling(scaler);
      return false;
    }
    buildColumnSpans(scaler);
  }
  if (scaler->rowSums == NULL || scaler->rowTotals == NULL) {
    abandonScaling(scaler);
    return false;
  }
  memset(scaler->rowTotals, 0, (size_t)channels * sizeof(uint64_t));
  return true;
}

void premultiplyRow(uint8_t* row, size_t pixels, RowLayout layout) {
  bool swap = layout == STRAIGHT_RGBA || layout == PREMULTIPLIED_RGBA;
  bool multiply = layout == STRAIGHT_BGRA || layout == STRAIGHT_RGBA;
  for (size_t i = 0; i < pixels; i++) {
    uint8_t* p = row + i * 4;
    if (swap) {
      uint8_t red = p[0];
      p[0] = p[2];
      p[2] = red;
    }
    uint32_t alpha = p[3];
    if (multiply && alpha != 255) {
      for (int c = 0; c < 3; c++) p[c] = (uint8_t)((p[c] * alpha + 127) / 255);
    }
  }
}

// Resamples one premultiplied source row across into rowSums, in units of WEIGHT_ONE.
static void sumRowAcross(ImageScaler* scaler, const uint8_t* row) {
  uint32_t* sums = scaler->rowSums;
  int32_t width = scaler->targetWidth;
  if (scaler->columnSpans == NULL) {   // same width: whole pixels
    for (int64_t i = 0; i < (int64_t)width * 4; i++) sums[i] = (uint32_t)row[i] << WEIGHT_BITS;
    return;
  }
  for (int32_t d = 0; d < width; d++) {
    const ColumnSpan* span = &scaler->columnSpans[d];
    const uint8_t* source = row + (size_t)span->first * 4;
    const uint32_t* weight = scaler->columnWeights + span->weightAt;
    uint32_t b = 0, g = 0, r = 0, a = 0;
    for (uint32_t k = 0; k < span->count; k++, source += 4) {
      b += source[0] * weight[k];
      g += source[1] * weight[k];
      r += source[2] * weight[k];
      a += source[3] * weight[k];
    }
    uint32_t* out = sums + (size_t)d * 4;
    out[0] = b;
    out[1] = g;
    out[2] = r;
    out[3] = a;
  }
}

// Writes the finished target row from rowTotals, composited over white, and
// clears the totals for the next one.
static void emitTargetRow(ImageScaler* scaler) {
  uint8_t* out = scaler->target + (size_t)scaler->nextTargetRow * (size_t)scaler->targetWidth * 4;
  uint64_t* totals = scaler->rowTotals;
  for (int32_t x = 0; x < scaler->targetWidth; x++, out += 4, totals += 4) {
    uint32_t alpha = (uint32_t)((totals[3] + TOTAL_HALF) >> TOTAL_BITS);
    for (int c = 0; c < 3; c++) {
      uint32_t colour = (uint32_t)((totals[c] + TOTAL_HALF) >> TOTAL_BITS);
      out[c] = (uint8_t)(colour + 255 - alpha);   // colour <= alpha: no wrap
    }
    out[3] = 255;
    totals[0] = totals[1] = totals[2] = totals[3] = 0;
  }
  scaler->nextTargetRow++;
}

// Adds the current source row (in rowSums, or nothing when `transparent`) to the
// target rows it covers, writing out each one it completes.
static void sumRowDown(ImageScaler* scaler, bool transparent) {
  uint64_t n = (uint64_t)scaler->sourceHeight, m = (uint64_t)scaler->targetHeight;
  uint64_t s = (uint64_t)scaler->nextSourceRow;
  uint64_t rowStart = s * m, rowEnd = rowStart + m;
  size_t channels = (size_t)scaler->targetWidth * 4;
  while (scaler->nextTargetRow < scaler->targetHeight) {
    uint64_t start = (uint64_t)scaler->nextTargetRow * n, end = start + n;
    if (start >= rowEnd) break;   // the next target row starts below
    if (!transparent) {
      uint64_t low = rowStart > start ? rowStart : start;
      uint64_t high = rowEnd < end ? rowEnd : end;
      uint64_t weight = overlapWeight(start, low, high, n);
      for (size_t i = 0; i < channels; i++) scaler->rowTotals[i] += scaler->rowSums[i] * weight;
    }
    if (end > rowEnd) break;   // the target row goes on below
    emitTargetRow(scaler);
  }
}

// A row of the same size as its target row: premultiplied and composited straight in.
static void copyRow(ImageScaler* scaler, const uint8_t* row) {
  size_t bytes = (size_t)scaler->targetWidth * 4;
  uint8_t* out = scaler->target + (size_t)scaler->nextTargetRow * bytes;
  memcpy(out, row, bytes);
  compositeOverWhite(out, (size_t)scaler->targetWidth);
  scaler->nextTargetRow++;
}

void scaleRow(ImageScaler* scaler, uint8_t* row, RowLayout layout) {
  if (scaler->nextSourceRow >= scaler->sourceHeight) return;
  premultiplyRow(row, (size_t)scaler->sourceWidth, layout);
  if (scaler->rowSums == NULL) {
    copyRow(scaler, row);
  } else {
    sumRowAcross(scaler, row);
    sumRowDown(scaler, false);
  }
  scaler->nextSourceRow++;
}

void scaleTransparentRows(ImageScaler* scaler, int64_t count) {
  for (; count > 0 && scaler->nextSourceRow < scaler->sourceHeight; count--) {
    if (scaler->rowSums == NULL) {   // same size: white rows
      size_t bytes = (size_t)scaler->targetWidth * 4;
      memset(scaler->target + (size_t)scaler->nextTargetRow * bytes, 255, bytes);
      scaler->nextTargetRow++;
    } else {
      sumRowDown(scaler, true);
    }
    scaler->nextSourceRow++;
  }
}

bool finishScaling(ImageScaler* scaler) {
  bool complete = scaler->nextSourceRow == scaler->sourceHeight && scaler->nextTargetRow == scaler->targetHeight;
  abandonScaling(scaler);
  return complete;
}

void abandonScaling(ImageScaler* scaler) {
  freeBytes(scaler->columnSpans);
  freeBytes(scaler->columnWeights);
  freeBytes(scaler->rowSums);
  freeBytes(scaler->rowTotals);
  scaler->columnSpans = NULL;
  scaler->columnWeights = NULL;
  scaler->rowSums = NULL;
  scaler->rowTotals = NULL;
}
