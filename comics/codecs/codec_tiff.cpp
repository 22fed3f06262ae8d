// TIFF through libtiff's RGBA interface, which turns every photometric
// interpretation, depth and layout into premultiplied 8-bit pixels. The first
// directory is the image. It is read in bands of whole strips or tiles, so that
// a large image never has to be held whole.
#include <stdarg.h>
#include <string.h>

#include <tiffio.h>

#include "comics/codecs/codecs.h"
#include "comics/decode.h"
#include "comics/archive/memory.h"

// Pixels of one band, about 16 MiB: large enough that strips are rarely cut,
// small beside the image budget.
static const uint64_t PREFERRED_BAND_PIXELS = (uint64_t)1 << 22;

struct TiffInput {
  const uint8_t* bytes;
  uint64_t length;
  uint64_t at;
};

static tmsize_t readTiffBytes(thandle_t handle, void* out, tmsize_t count) {
  TiffInput* input = (TiffInput*)handle;
  if (count < 0 || input->at > input->length) return 0;
  uint64_t left = input->length - input->at;
  uint64_t taken = (uint64_t)count < left ? (uint64_t)count : left;
  memcpy(out, input->bytes + input->at, (size_t)taken);
  input->at += taken;
  return (tmsize_t)taken;
}

static tmsize_t refuseTiffWrite(thandle_t, void*, tmsize_t) {
  return 0;
}

static toff_t seekTiffBytes(thandle_t handle, toff_t offset, int whence) {
  TiffInput* input = (TiffInput*)handle;
  uint64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? input->at : input->length;
  if (offset > UINT64_MAX - base) return (toff_t)-1;
  input->at = base + offset;
  return input->at;
}

static int closeTiffBytes(thandle_t) {
  return 0;
}

static toff_t tiffByteCount(thandle_t handle) {
  return ((TiffInput*)handle)->length;
}

// The bytes are already in memory: libtiff reads them in place.
static int mapTiffBytes(thandle_t handle, void** base, toff_t* size) {
  TiffInput* input = (TiffInput*)handle;
  *base = (void*)input->bytes;
  *size = input->length;
  return 1;
}

static void unmapTiffBytes(thandle_t, void*, toff_t) {}

static int silenceTiffMessage(TIFF*, void*, const char*, const char*, va_list) {
  return 1;   // handled: nothing printed
}

static TIFF* openTiff(TiffInput* input) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == NULL) return NULL;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, (tmsize_t)IMAGE_BUDGET_BYTES);
  TIFFOpenOptionsSetErrorHandlerExtR(options, silenceTiffMessage, NULL);
  TIFFOpenOptionsSetWarningHandlerExtR(options, silenceTiffMessage, NULL);
  TIFF* tiff = TIFFClientOpenExt("image", "r", (thandle_t)input, readTiffBytes, refuseTiffWrite, seekTiffBytes,
                                 closeTiffBytes, tiffByteCount, mapTiffBytes, unmapTiffBytes, options);
  TIFFOpenOptionsFree(options);
  return tiff;
}

// Rows per band: whole strips or tile rows, about PREFERRED_BAND_PIXELS in all; the
// whole image when its rows would come out in the wrong order across bands.
static uint64_t chooseBandRows(TIFF* tiff, const TIFFRGBAImage* image) {
  uint64_t width = image->width, height = image->height;
  uint32_t unit = 0;
  if (TIFFIsTiled(tiff)) {
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &unit);
  } else {
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &unit);
  }
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
  bool topFirst = orientation == ORIENTATION_TOPLEFT || orientation == ORIENTATION_TOPRIGHT;
  if (!topFirst || unit == 0 || unit >= height) return height;
  uint64_t rows = PREFERRED_BAND_PIXELS / width / unit * unit;
  if (rows < unit) rows = unit;
  return rows < height ? rows : height;
}

static bool scaleTiffBands(CodecRequest* request, TIFF* tiff, TIFFRGBAImage* image) {
  image->req_orientation = ORIENTATION_TOPLEFT;
  uint64_t width = image->width, height = image->height;
  uint64_t bandRows = chooseBandRows(tiff, image);
  uint8_t* band = (uint8_t*)allocPixels(width * bandRows, 4);
  ImageScaler scaler;
  if (band == NULL || !startImageScaling(request, &scaler)) {
    freeBytes(band);
    return false;
  }
  bool read = true;
  for (uint64_t row = 0; read && row < height; row += bandRows) {
    uint64_t rows = height - row < bandRows ? height - row : bandRows;
    image->row_offset = (int)row;
    image->col_offset = 0;
    read = TIFFRGBAImageGet(image, (uint32_t*)band, (uint32_t)width, (uint32_t)rows) != 0;
    for (uint64_t y = 0; read && y < rows; y++) {
      scaleRow(&scaler, band + y * width * 4, PREMULTIPLIED_RGBA);   // bytes R, G, B, A
    }
  }
  freeBytes(band);
  if (!read) {
    abandonScaling(&scaler);
    return false;
  }
  return finishScaling(&scaler);
}

static bool decodeOpenTiff(CodecRequest* request, TIFF* tiff) {
  uint32_t width = 0, height = 0;
  if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height)) {
    return false;
  }
  if (!acceptImageSize(request, width, height)) return false;
  if (request->target == NULL) return true;
  char message[1024];
  TIFFRGBAImage image;
  if (!TIFFRGBAImageOK(tiff, message) || !TIFFRGBAImageBegin(&image, tiff, 1, message)) return false;
  bool decoded = image.width == width && image.height == height && scaleTiffBands(request, tiff, &image);
  TIFFRGBAImageEnd(&image);
  return decoded;
}

bool decodeTiff(CodecRequest* request) {
  TiffInput input = {request->bytes, request->length, 0};
  TIFF* tiff = openTiff(&input);
  if (tiff == NULL) return false;
  bool decoded = decodeOpenTiff(request, tiff);
  TIFFClose(tiff);
  return decoded;
}
