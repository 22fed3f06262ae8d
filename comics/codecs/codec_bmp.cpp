// BMP, read here: the format is simple and no Debian library reads it from memory
// without a whole-image buffer. Handles the core (OS/2 1.x) and the Windows info
// headers up to version 5, 1/4/8-bit palettes, 16/24/32-bit pixels with or without
// bit masks, and RLE4/RLE8. Every field comes from the file and is checked where
// it is read; pixel rows are read in place from the bytes, bottom-up or top-down.
#include <limits.h>
#include <string.h>

#include "comics/archive/bytes.h"
#include "comics/codecs/codecs.h"
#include "comics/decode.h"
#include "comics/archive/memory.h"

// Compression values of the info header.
static const uint32_t BMP_UNCOMPRESSED = 0;
static const uint32_t BMP_RLE8 = 1;
static const uint32_t BMP_RLE4 = 2;
static const uint32_t BMP_BIT_FIELDS = 3;
static const uint32_t BMP_ALPHA_BIT_FIELDS = 6;

// Header sizes with a meaning of their own.
static const uint32_t CORE_HEADER_SIZE = 12;         // OS/2 1.x: 16-bit sides, 3-byte palette
static const uint32_t INFO_HEADER_SIZE = 40;         // masks, if any, follow the header
static const uint32_t ALPHA_MASK_HEADER_SIZE = 56;   // from here the header holds an alpha mask
static const uint64_t INFO_HEADER_AT = 14;
static const uint64_t MASKS_AT = INFO_HEADER_AT + INFO_HEADER_SIZE;

// One channel of a bit-field pixel: where it is and how wide.
struct BitField {
  uint32_t mask;
  int shift;
  int bits;
};

// What the headers say about the pixels.
struct BmpLayout {
  int64_t width, height;
  bool topDown;
  uint32_t bitCount;
  uint32_t compression;
  uint64_t pixelsAt;
  uint64_t stride;
  BitField fields[4];        // blue, green, red, alpha (alpha mask 0: opaque)
  uint8_t palette[256][4];   // straight BGRA
};

static BitField makeBitField(uint32_t mask) {
  BitField field = {mask, 0, 0};
  if (mask == 0) return field;
  while (((mask >> field.shift) & 1) == 0) field.shift++;
  while (field.shift + field.bits < 32 && ((mask >> (field.shift + field.bits)) & 1) != 0) field.bits++;
  return field;
}

// A channel's value scaled to 0..255, or `absent` when the mask is empty.
static uint8_t readBitField(uint32_t pixel, const BitField* field, uint8_t absent) {
  if (field->bits == 0) return absent;
  uint64_t largest = ((uint64_t)1 << field->bits) - 1;
  uint64_t value = (pixel & field->mask) >> field->shift;
  if (value > largest) value = largest;   // a mask with holes
  return (uint8_t)((value * 255 + largest / 2) / largest);
}

// Masks of the bit-field compressions: inside a header of 52 bytes or more, else
// right after the 40-byte header. Without them 16 bits are 5-5-5 and 32 bits 8-8-8.
static bool readBitFields(const uint8_t* b, uint64_t n, uint32_t headerSize, BmpLayout* layout) {
  uint32_t masks[4] = {0, 0, 0, 0};
  bool explicitMasks = layout->compression == BMP_BIT_FIELDS || layout->compression == BMP_ALPHA_BIT_FIELDS;
  if (explicitMasks) {
    uint64_t count = (layout->compression == BMP_ALPHA_BIT_FIELDS || headerSize >= ALPHA_MASK_HEADER_SIZE) ? 4 : 3;
    if (!fitsIn(MASKS_AT, count * 4, n)) return false;
    for (uint64_t i = 0; i < count; i++) masks[i] = le32(b, n, MASKS_AT + i * 4);   // red, green, blue, alpha
  } else if (layout->bitCount == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  } else {
    masks[0] = 0xFF0000;
    masks[1] = 0x00FF00;
    masks[2] = 0x0000FF;   // the fourth byte is padding
  }
  layout->fields[0] = makeBitField(masks[2]);
  layout->fields[1] = makeBitField(masks[1]);
  layout->fields[2] = makeBitField(masks[0]);
  layout->fields[3] = makeBitField(masks[3]);
  return true;
}

// The colour table after the headers (and after separate masks): `entrySize`-byte
// entries blue, green, red[, reserved]. Indices past the table are black.
static bool readBmpPalette(const uint8_t* b, uint64_t n, uint32_t headerSize, uint32_t colourCount, BmpLayout* layout) {
  uint64_t entrySize = headerSize == CORE_HEADER_SIZE ? 3 : 4;
  uint64_t at = INFO_HEADER_AT + headerSize;
  if (headerSize == INFO_HEADER_SIZE && layout->compression == BMP_BIT_FIELDS) at += 12;
  if (headerSize == INFO_HEADER_SIZE && layout->compression == BMP_ALPHA_BIT_FIELDS) at += 16;
  uint64_t count = (uint64_t)1 << layout->bitCount;
  if (colourCount != 0 && colourCount < count) count = colourCount;
  if (!fitsIn(at, count * entrySize, n)) return false;
  memset(layout->palette, 0, sizeof layout->palette);
  for (uint64_t i = 0; i < count; i++) {
    memcpy(layout->palette[i], b + at + i * entrySize, 3);
    layout->palette[i][3] = 255;
  }
  for (uint64_t i = count; i < 256; i++) layout->palette[i][3] = 255;
  return true;
}

// Is this combination of depth and compression one we read?
static bool knownBmpEncoding(uint32_t bitCount, uint32_t compression) {
  switch (compression) {
    case BMP_UNCOMPRESSED:
      return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32;
    case BMP_RLE8:
      return bitCount == 8;
    case BMP_RLE4:
      return bitCount == 4;
    case BMP_BIT_FIELDS:
    case BMP_ALPHA_BIT_FIELDS:
      return bitCount == 16 || bitCount == 32;
    default:
      return false;   // embedded JPEG or PNG, Huffman
  }
}

// Reads the file and info headers into `layout`; false for anything unreadable.
static bool readBmpHeaders(const uint8_t* b, uint64_t n, BmpLayout* layout) {
  uint32_t headerSize = le32(b, n, INFO_HEADER_AT);
  if (!fitsIn(INFO_HEADER_AT, headerSize, n)) return false;
  uint32_t colourCount = 0;
  if (headerSize == CORE_HEADER_SIZE) {
    layout->width = le16(b, n, 18);
    layout->height = le16(b, n, 20);
    layout->bitCount = le16(b, n, 24);
    layout->compression = BMP_UNCOMPRESSED;
  } else if (headerSize >= INFO_HEADER_SIZE) {
    int32_t height = (int32_t)le32(b, n, 22);
    if (height == INT_MIN) return false;   // cannot be negated
    layout->width = (int32_t)le32(b, n, 18);
    layout->topDown = height < 0;
    layout->height = height < 0 ? -(int64_t)height : height;
    layout->bitCount = le16(b, n, 28);
    layout->compression = le32(b, n, 30);
    colourCount = le32(b, n, 46);
  } else {
    return false;
  }
  if (layout->width <= 0 || layout->height <= 0) return false;
  if (!knownBmpEncoding(layout->bitCount, layout->compression)) return false;
  if (layout->topDown && layout->compression != BMP_UNCOMPRESSED && layout->compression != BMP_BIT_FIELDS &&
      layout->compression != BMP_ALPHA_BIT_FIELDS) {
    return false;   // RLE is bottom-up only
  }
  layout->pixelsAt = le32(b, n, 10);
  layout->stride = ((uint64_t)layout->width * layout->bitCount + 31) / 32 * 4;
  if (layout->bitCount <= 8) return readBmpPalette(b, n, headerSize, colourCount, layout);
  if (layout->bitCount == 24) return true;
  return readBitFields(b, n, headerSize, layout);
}

// One uncompressed file row to straight BGRA.
static void convertBmpRow(const uint8_t* in, const BmpLayout* layout, uint8_t* out) {
  int64_t width = layout->width;
  uint32_t bits = layout->bitCount;
  for (int64_t x = 0; x < width; x++, out += 4) {
    if (bits <= 8) {
      uint32_t perByte = 8 / bits;
      uint32_t byte = in[x / perByte];
      uint32_t index = (byte >> (8 - bits - (uint32_t)(x % perByte) * bits)) & ((1u << bits) - 1);
      memcpy(out, layout->palette[index], 4);
    } else if (bits == 24) {
      memcpy(out, in + x * 3, 3);
      out[3] = 255;
    } else {
      uint32_t pixel = bits == 16 ? (uint32_t)in[x * 2] | (uint32_t)in[x * 2 + 1] << 8
                                  : (uint32_t)in[x * 4] | (uint32_t)in[x * 4 + 1] << 8 | (uint32_t)in[x * 4 + 2] << 16 |
                                        (uint32_t)in[x * 4 + 3] << 24;
      for (int c = 0; c < 4; c++) out[c] = readBitField(pixel, &layout->fields[c], c == 3 ? 255 : 0);
    }
  }
}

// Uncompressed rows, read in place from the bytes into the scaler, top row first.
static bool scaleBmpRows(CodecRequest* request, const BmpLayout* layout) {
  uint64_t height = (uint64_t)layout->height;
  if (layout->stride == 0 || height > UINT64_MAX / layout->stride) return false;
  if (!fitsIn(layout->pixelsAt, layout->stride * height, request->length)) return false;   // truncated
  uint8_t* row = (uint8_t*)allocPixels((uint64_t)layout->width, 4);
  ImageScaler scaler;
  if (row == NULL || !startImageScaling(request, &scaler)) {
    freeBytes(row);
    return false;
  }
  for (uint64_t y = 0; y < height; y++) {
    uint64_t fileRow = layout->topDown ? y : height - 1 - y;
    convertBmpRow(request->bytes + layout->pixelsAt + fileRow * layout->stride, layout, row);
    scaleRow(&scaler, row, STRAIGHT_BGRA);
  }
  freeBytes(row);
  return finishScaling(&scaler);
}

// Where the RLE decoder writes: the whole image, bottom-up as in the file,
// transparent where the codes skip. A few bytes of codes can claim millions of
// rows; rows no code wrote are passed on as transparent without being read.
struct RleCanvas {
  uint8_t* pixels;        // zero-filled: transparent
  uint8_t* writtenRows;   // per file row: 1 once a pixel was written
  int64_t width, height;
  int64_t x, y;   // y counts file rows: 0 is the bottom row
};

static void putRlePixel(RleCanvas* canvas, const BmpLayout* layout, uint32_t index) {
  if (canvas->x < canvas->width && canvas->y < canvas->height) {
    uint8_t* out = canvas->pixels + ((size_t)canvas->y * (size_t)canvas->width + (size_t)canvas->x) * 4;
    memcpy(out, layout->palette[index], 4);
    canvas->writtenRows[canvas->y] = 1;
  }
  canvas->x++;
}

// Runs the RLE4/RLE8 codes: a count and a value repeat it; 0 then 0 ends the line,
// 0 1 the image, 0 2 dx dy moves; 0 then n >= 3 copies n literal pixels, padded
// to a 16-bit boundary. True when the codes reach the end of the image; false
// when the bytes run out first (a truncated file).
static bool runRleCodes(const uint8_t* b, uint64_t n, uint64_t at, const BmpLayout* layout, RleCanvas* canvas) {
  bool rle4 = layout->compression == BMP_RLE4;
  while (canvas->y < canvas->height) {
    if (at + 2 > n) return false;
    uint32_t count = b[at], value = b[at + 1];
    at += 2;
    if (count > 0) {
      for (uint32_t i = 0; i < count; i++) {
        putRlePixel(canvas, layout, rle4 ? (i % 2 ? value & 15 : value >> 4) : value);
      }
    } else if (value == 0) {
      canvas->x = 0;
      canvas->y++;
    } else if (value == 1) {
      return true;
    } else if (value == 2) {
      if (at + 2 > n) return false;
      canvas->x += b[at];
      canvas->y += b[at + 1];
      at += 2;
    } else {
      uint64_t bytes = rle4 ? (value + 1) / 2 : value;
      if (!fitsIn(at, bytes, n)) return false;
      for (uint32_t i = 0; i < value; i++) {
        uint32_t byte = b[at + (rle4 ? i / 2 : i)];
        putRlePixel(canvas, layout, rle4 ? (i % 2 ? byte & 15 : byte >> 4) : byte);
      }
      at += (bytes + 1) & ~(uint64_t)1;
    }
  }
  return true;
}

static bool scaleRleImage(CodecRequest* request, const BmpLayout* layout) {
  if (layout->pixelsAt >= request->length) return false;
  RleCanvas canvas = {NULL, NULL, layout->width, layout->height, 0, 0};
  uint64_t rowBytes = (uint64_t)layout->width * 4;
  canvas.pixels = (uint8_t*)allocZeroedPixels((uint64_t)layout->width * (uint64_t)layout->height, 4);
  canvas.writtenRows = (uint8_t*)allocZeroedPixels((uint64_t)layout->height, 1);
  ImageScaler scaler;
  bool scaled = canvas.pixels != NULL && canvas.writtenRows != NULL &&
                runRleCodes(request->bytes, request->length, layout->pixelsAt, layout, &canvas) &&
                startImageScaling(request, &scaler);
  for (int64_t y = layout->height - 1; scaled && y >= 0; y--) {
    if (canvas.writtenRows[y]) {
      scaleRow(&scaler, canvas.pixels + (size_t)y * rowBytes, STRAIGHT_BGRA);
    } else {
      scaleTransparentRows(&scaler, 1);
    }
  }
  freeBytes(canvas.pixels);
  freeBytes(canvas.writtenRows);
  return scaled && finishScaling(&scaler);
}

bool decodeBmp(CodecRequest* request) {
  BmpLayout* layout = (BmpLayout*)allocZeroed(sizeof(BmpLayout));
  if (layout == NULL) return false;
  bool decoded = readBmpHeaders(request->bytes, request->length, layout) &&
                 acceptImageSize(request, (uint64_t)layout->width, (uint64_t)layout->height);
  if (decoded && request->target != NULL) {
    bool rle = layout->compression == BMP_RLE8 || layout->compression == BMP_RLE4;
    decoded = rle ? scaleRleImage(request, layout) : scaleBmpRows(request, layout);
  }
  freeBytes(layout);
  return decoded;
}
