// The Linux decoding back end: Wine's imaging component lacks WebP, AVIF, HEIF and
// JPEG XR and scales by nearest neighbour, so the Linux builds decode with the
// system's codec libraries and average areas themselves. Like the imaging
// component, it picks the codec by the image's first bytes, not by its name.
#include <string.h>

#include "comics/archive/bytes.h"
#include "comics/codecs/codecs.h"
#include "comics/decode.h"
#include "comics/archive/memory.h"

// No per-thread state is needed: any non-null value serves as the factory.
static int codecFactory;

ImagingFactory createImagingFactory(uint32_t) {
  return &codecFactory;
}

bool acceptImageSize(CodecRequest* request, uint64_t width, uint64_t height) {
  if (width == 0 || height == 0) return false;
  if (width > (uint64_t)LARGEST_IMAGE_SIDE || height > (uint64_t)LARGEST_IMAGE_SIDE) return false;
  if (width * height > LARGEST_IMAGE_PIXELS) return false;
  request->imageWidth = (int32_t)width;
  request->imageHeight = (int32_t)height;
  return true;
}

bool startImageScaling(CodecRequest* request, ImageScaler* scaler) {
  return startScaling(scaler, request->imageWidth, request->imageHeight, request->targetWidth, request->targetHeight,
                      request->target);
}

void* allocPixels(uint64_t count, uint64_t itemSize) {
  if (count == 0 || itemSize == 0 || count > IMAGE_BUDGET_BYTES / itemSize) return NULL;
  return allocBytes((size_t)(count * itemSize));
}

void* allocZeroedPixels(uint64_t count, uint64_t itemSize) {
  if (count == 0 || itemSize == 0 || count > IMAGE_BUDGET_BYTES / itemSize) return NULL;
  return allocZeroed((size_t)(count * itemSize));
}

bool scaleWholeImage(CodecRequest* request, const uint8_t* pixels, size_t stride, RowLayout layout) {
  ImageScaler scaler;
  if (!startImageScaling(request, &scaler)) return false;
  uint64_t rowBytes = (uint64_t)request->imageWidth * 4;
  uint8_t* row = (uint8_t*)allocPixels(rowBytes, 1);
  if (row == NULL) {
    abandonScaling(&scaler);
    return false;
  }
  for (int32_t y = 0; y < request->imageHeight; y++) {
    memcpy(row, pixels + (size_t)y * stride, (size_t)rowBytes);
    scaleRow(&scaler, row, layout);
  }
  freeBytes(row);
  return finishScaling(&scaler);
}

// The formats of the ISO media file family, told apart by the brands of their
// leading "ftyp" box.
enum IsoMediaKind { NOT_ISO_MEDIA, AVIF_MEDIA, HEIF_MEDIA };

static const char* const AVIF_BRANDS[] = {"avif", "avis"};
static const char* const HEIF_BRANDS[] = {"heic", "heix", "hevc", "hevx", "heim",
                                          "heis", "hevm", "hevs", "mif1", "msf1"};

// Does any brand of the "ftyp" box (major at 8, compatible ones from 16 to the
// box's end) appear in `brands`?
static bool hasBrand(const uint8_t* b, uint64_t boxEnd, const char* const* brands, size_t count) {
  for (uint64_t at = 8; at + 4 <= boxEnd; at += at == 8 ? 8 : 4) {
    for (size_t i = 0; i < count; i++) {
      if (memcmp(b + at, brands[i], 4) == 0) return true;
    }
  }
  return false;
}

static IsoMediaKind isoMediaKind(const uint8_t* b, uint64_t n) {
  if (!hasBytes(b, n, 4, "ftyp", 4)) return NOT_ISO_MEDIA;
  uint64_t boxEnd = be32(b, n, 0);
  if (boxEnd < 16 || boxEnd > n) return NOT_ISO_MEDIA;
  if (hasBrand(b, boxEnd, AVIF_BRANDS, sizeof AVIF_BRANDS / sizeof AVIF_BRANDS[0])) return AVIF_MEDIA;
  if (hasBrand(b, boxEnd, HEIF_BRANDS, sizeof HEIF_BRANDS / sizeof HEIF_BRANDS[0])) return HEIF_MEDIA;
  return NOT_ISO_MEDIA;
}

typedef bool (*Decoder)(CodecRequest* request);

// The codec for these bytes, by signature, or null.
static Decoder chooseDecoder(const uint8_t* b, uint64_t n) {
  if (hasBytes(b, n, 0, "\xFF\xD8\xFF", 3)) return decodeJpeg;
  if (hasBytes(b, n, 0, "\x89PNG\r\n\x1A\n", 8)) return decodePng;
  if (hasBytes(b, n, 0, "GIF87a", 6) || hasBytes(b, n, 0, "GIF89a", 6)) return decodeGif;
  if (hasBytes(b, n, 0, "BM", 2)) return decodeBmp;
  if (hasBytes(b, n, 0, "RIFF", 4) && hasBytes(b, n, 8, "WEBP", 4)) return decodeWebp;
  if (hasBytes(b, n, 0, "II\xBC", 3)) return decodeJpegXr;
  if (hasBytes(b, n, 0, "II*\0", 4) || hasBytes(b, n, 0, "MM\0*", 4)) return decodeTiff;
  if (hasBytes(b, n, 0, "II+\0", 4) || hasBytes(b, n, 0, "MM\0+", 4)) return decodeTiff;   // BigTIFF
  switch (isoMediaKind(b, n)) {
    case AVIF_MEDIA:
      return decodeAvif;
    case HEIF_MEDIA:
      return decodeHeif;
    case NOT_ISO_MEDIA:
      break;
  }
  return NULL;
}

bool decodeImage(ImagingFactory factory, const uint8_t* bytes, uint64_t length, int32_t targetWidth,
                 int32_t targetHeight, uint8_t* target, int32_t* imageWidth, int32_t* imageHeight) {
  if (factory == NULL || bytes == NULL || length == 0) return false;
  // A target that is empty or beyond the budget fails, but only after the
  // image's size has been reported, as a decode that fails later would.
  uint64_t targetBytes = imagePixelBytes(targetWidth, targetHeight);
  bool usableTarget = target == NULL || (targetBytes > 0 && targetBytes <= IMAGE_BUDGET_BYTES);
  Decoder decoder = chooseDecoder(bytes, length);
  if (decoder == NULL) return false;
  CodecRequest request = {bytes, length, targetWidth, targetHeight, usableTarget ? target : NULL, 0, 0};
  bool decoded = decoder(&request) && usableTarget;
  if (request.imageWidth > 0) {
    if (imageWidth != NULL) *imageWidth = request.imageWidth;
    if (imageHeight != NULL) *imageHeight = request.imageHeight;
  }
  return decoded;
}
