// PNG through libpng: every colour type expanded to 8-bit blue-green-red-alpha and
// streamed row by row into the scaler. Interlaced images need every pass before
// any row is final, so they alone are held whole, within the image budget.
#include <setjmp.h>
#include <string.h>

#include <png.h>

#include "comics/codecs/codecs.h"
#include "comics/decode.h"
#include "comics/archive/memory.h"

struct PngDecode {
  png_structp png;
  png_infop info;
  const uint8_t* bytes;
  uint64_t length;
  uint64_t at;   // next byte libpng reads
  ImageScaler scaler;
  uint8_t* pixels;   // one row, or the whole image when interlaced
};

// libpng's input: the bytes in memory; running out is an error.
static void readPngBytes(png_structp png, png_bytep out, size_t count) {
  PngDecode* decode = (PngDecode*)png_get_io_ptr(png);
  if (count > decode->length - decode->at) png_error(png, "truncated");
  memcpy(out, decode->bytes + decode->at, count);
  decode->at += count;
}

[[noreturn]] static void escapePng(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

static void ignorePngWarning(png_structp, png_const_charp) {}

// Asks libpng for 8-bit BGRA whatever the file holds: palettes and small grey
// depths expanded, transparency chunks turned into alpha, 16 bits scaled down.
static void requestBgra(png_structp png, png_infop info) {
  int colourType = png_get_color_type(png, info);
  png_set_expand(png);
  png_set_scale_16(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_bgr(png);
  bool hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS);
  if (!hasAlpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
}

static bool readPngRows(CodecRequest* request, PngDecode* decode) {
  png_structp png = decode->png;
  uint64_t width = (uint64_t)request->imageWidth, height = (uint64_t)request->imageHeight;
  requestBgra(png, decode->info);
  int passes = png_set_interlace_handling(png);
  png_read_update_info(png, decode->info);
  if (png_get_rowbytes(png, decode->info) != width * 4) return false;
  decode->pixels = (uint8_t*)allocPixels(passes > 1 ? width * height : width, 4);
  if (decode->pixels == NULL) return false;
  if (!startImageScaling(request, &decode->scaler)) return false;
  size_t stride = (size_t)width * 4;
  if (passes > 1) {
    for (int pass = 0; pass < passes; pass++) {
      for (uint64_t y = 0; y < height; y++) png_read_row(png, decode->pixels + y * stride, NULL);
    }
    for (uint64_t y = 0; y < height; y++) scaleRow(&decode->scaler, decode->pixels + y * stride, STRAIGHT_BGRA);
  } else {
    for (uint64_t y = 0; y < height; y++) {
      png_read_row(png, decode->pixels, NULL);
      scaleRow(&decode->scaler, decode->pixels, STRAIGHT_BGRA);
    }
  }
  return finishScaling(&decode->scaler);
}

// Text, profiles and other metadata: a page is drawn without them. Five bytes
// per name, as libpng reads the list.
static const png_byte UNUSED_PNG_CHUNKS[] = "tEXt\0zTXt\0iTXt\0iCCP\0eXIf\0sPLT\0pCAL\0sCAL\0tIME\0hIST";
// The largest ancillary chunk libpng may allocate (its own default, which
// Debian's build leaves unlimited).
static const png_alloc_size_t LARGEST_PNG_CHUNK = 8000000;

// The part that may be left by longjmp: it touches state only through `decode`.
static bool runPngDecode(CodecRequest* request, PngDecode* decode) {
  if (setjmp(png_jmpbuf(decode->png))) return false;
  png_set_user_limits(decode->png, (png_uint_32)LARGEST_IMAGE_SIDE, (png_uint_32)LARGEST_IMAGE_SIDE);
  // A chunk's length comes from the file, and libpng only warns when it passes
  // the malloc limit: a text chunk claiming 1.7 GB was allocated whole before its
  // CRC was read. The chunks a page does not need are skipped unread instead.
  png_set_keep_unknown_chunks(decode->png, PNG_HANDLE_CHUNK_NEVER, UNUSED_PNG_CHUNKS,
                              (int)(sizeof UNUSED_PNG_CHUNKS / 5));
  png_set_chunk_malloc_max(decode->png, LARGEST_PNG_CHUNK);
  png_set_read_fn(decode->png, decode, readPngBytes);
  png_read_info(decode->png, decode->info);
  png_uint_32 width = png_get_image_width(decode->png, decode->info);
  png_uint_32 height = png_get_image_height(decode->png, decode->info);
  if (!acceptImageSize(request, width, height)) return false;
  if (request->target == NULL) return true;
  return readPngRows(request, decode);
}

bool decodePng(CodecRequest* request) {
  PngDecode* decode = (PngDecode*)allocZeroed(sizeof(PngDecode));
  if (decode == NULL) return false;
  decode->bytes = request->bytes;
  decode->length = request->length;
  decode->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, NULL, escapePng, ignorePngWarning);
  if (decode->png != NULL) decode->info = png_create_info_struct(decode->png);
  bool decoded = decode->info != NULL && runPngDecode(request, decode);
  abandonScaling(&decode->scaler);
  png_destroy_read_struct(decode->png ? &decode->png : NULL, decode->info ? &decode->info : NULL, NULL);
  freeBytes(decode->pixels);
  freeBytes(decode);
  return decoded;
}
