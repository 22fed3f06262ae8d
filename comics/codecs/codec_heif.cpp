// AVIF through libavif and HEIF through libheif. Both hand back the whole image
// at once, so the image, as 32-bit pixels, must fit the image budget.
//
// The two libraries bring the AV1 and HEVC codecs with them, some forty shared
// libraries that would cost about 15 ms at every start of the program if it were
// linked with them. They are loaded at the first AVIF or HEIF image instead, and
// stay loaded.
#include <dlfcn.h>
#include <string.h>

#include <avif/avif.h>
#include <libheif/heif.h>

#include "comics/codecs/codecs.h"
#include "comics/decode.h"
#include "comics/archive/memory.h"

// The libraries' run-time names (their sonames, matching the headers above); the
// build passes the ones it found.
#ifndef BRISA_AVIF_LIBRARY
#define BRISA_AVIF_LIBRARY "libavif.so.15"
#endif
#ifndef BRISA_HEIF_LIBRARY
#define BRISA_HEIF_LIBRARY "libheif.so.1"
#endif

// The functions this file calls, with the headers' own types.
struct AvifLibrary {
  decltype(&avifDecoderCreate) decoderCreate;
  decltype(&avifDecoderDestroy) decoderDestroy;
  decltype(&avifDecoderSetIOMemory) decoderSetIOMemory;
  decltype(&avifDecoderParse) decoderParse;
  decltype(&avifDecoderNextImage) decoderNextImage;
  decltype(&avifRGBImageSetDefaults) rgbImageSetDefaults;
  decltype(&avifImageYUVToRGB) imageYUVToRGB;
};

struct HeifLibrary {
  decltype(&heif_context_alloc) contextAlloc;
  decltype(&heif_context_free) contextFree;
  decltype(&heif_context_set_maximum_image_size_limit) setMaximumImageSizeLimit;
  decltype(&heif_context_set_max_decoding_threads) setMaxDecodingThreads;
  decltype(&heif_context_read_from_memory_without_copy) readFromMemoryWithoutCopy;
  decltype(&heif_context_get_primary_image_handle) getPrimaryImageHandle;
  decltype(&heif_image_handle_get_width) handleGetWidth;
  decltype(&heif_image_handle_get_height) handleGetHeight;
  decltype(&heif_image_handle_release) handleRelease;
  decltype(&heif_decoding_options_alloc) decodingOptionsAlloc;
  decltype(&heif_decoding_options_free) decodingOptionsFree;
  decltype(&heif_decode_image) decodeImage;
  decltype(&heif_image_get_plane_readonly) imageGetPlaneReadonly;
  decltype(&heif_image_get_width) imageGetWidth;
  decltype(&heif_image_get_height) imageGetHeight;
  decltype(&heif_image_get_bits_per_pixel) imageGetBitsPerPixel;
  decltype(&heif_image_is_premultiplied_alpha) imageIsPremultipliedAlpha;
  decltype(&heif_image_release) imageRelease;
};

struct NamedProc {
  const char* name;
  void** slot;
};

// Opens the library and fills every slot; false when it or any function is missing.
static bool loadLibraryProcs(const char* library, const NamedProc* procs, size_t count) {
  void* module = dlopen(library, RTLD_NOW | RTLD_LOCAL);
  if (module == NULL) return false;
  for (size_t i = 0; i < count; i++) {
    *procs[i].slot = dlsym(module, procs[i].name);
    if (*procs[i].slot == NULL) return false;
  }
  return true;
}

static AvifLibrary avif;
static HeifLibrary heif;

static bool loadAvif() {
  const NamedProc procs[] = {
      {"avifDecoderCreate", (void**)&avif.decoderCreate},
      {"avifDecoderDestroy", (void**)&avif.decoderDestroy},
      {"avifDecoderSetIOMemory", (void**)&avif.decoderSetIOMemory},
      {"avifDecoderParse", (void**)&avif.decoderParse},
      {"avifDecoderNextImage", (void**)&avif.decoderNextImage},
      {"avifRGBImageSetDefaults", (void**)&avif.rgbImageSetDefaults},
      {"avifImageYUVToRGB", (void**)&avif.imageYUVToRGB},
  };
  return loadLibraryProcs(BRISA_AVIF_LIBRARY, procs, sizeof procs / sizeof procs[0]);
}

static bool loadHeif() {
  const NamedProc procs[] = {
      {"heif_context_alloc", (void**)&heif.contextAlloc},
      {"heif_context_free", (void**)&heif.contextFree},
      {"heif_context_set_maximum_image_size_limit", (void**)&heif.setMaximumImageSizeLimit},
      {"heif_context_set_max_decoding_threads", (void**)&heif.setMaxDecodingThreads},
      {"heif_context_read_from_memory_without_copy", (void**)&heif.readFromMemoryWithoutCopy},
      {"heif_context_get_primary_image_handle", (void**)&heif.getPrimaryImageHandle},
      {"heif_image_handle_get_width", (void**)&heif.handleGetWidth},
      {"heif_image_handle_get_height", (void**)&heif.handleGetHeight},
      {"heif_image_handle_release", (void**)&heif.handleRelease},
      {"heif_decoding_options_alloc", (void**)&heif.decodingOptionsAlloc},
      {"heif_decoding_options_free", (void**)&heif.decodingOptionsFree},
      {"heif_decode_image", (void**)&heif.decodeImage},
      {"heif_image_get_plane_readonly", (void**)&heif.imageGetPlaneReadonly},
      {"heif_image_get_width", (void**)&heif.imageGetWidth},
      {"heif_image_get_height", (void**)&heif.imageGetHeight},
      {"heif_image_get_bits_per_pixel", (void**)&heif.imageGetBitsPerPixel},
      {"heif_image_is_premultiplied_alpha", (void**)&heif.imageIsPremultipliedAlpha},
      {"heif_image_release", (void**)&heif.imageRelease},
  };
  return loadLibraryProcs(BRISA_HEIF_LIBRARY, procs, sizeof procs / sizeof procs[0]);
}

// Loaded once, by whichever thread asks first (a function-local static is
// initialised exactly once even when both threads arrive together).
static bool avifAvailable() {
  static const bool loaded = loadAvif();
  return loaded;
}

static bool heifAvailable() {
  static const bool loaded = loadHeif();
  return loaded;
}

// Turns the decoded picture into premultiplied BGRA and scales it.
static bool scaleAvifImage(CodecRequest* request, avifImage* picture) {
  if (picture->width != (uint32_t)request->imageWidth || picture->height != (uint32_t)request->imageHeight) {
    return false;
  }
  avifRGBImage rgb;
  avif.rgbImageSetDefaults(&rgb, picture);
  rgb.format = AVIF_RGB_FORMAT_BGRA;
  rgb.depth = 8;
  rgb.alphaPremultiplied = AVIF_TRUE;
  rgb.rowBytes = picture->width * 4;
  rgb.pixels = (uint8_t*)allocPixels((uint64_t)picture->width * picture->height, 4);
  if (rgb.pixels == NULL) return false;
  bool scaled = avif.imageYUVToRGB(picture, &rgb) == AVIF_RESULT_OK &&
                scaleWholeImage(request, rgb.pixels, rgb.rowBytes, PREMULTIPLIED_BGRA);
  freeBytes(rgb.pixels);
  return scaled;
}

static bool decodeAvifWith(CodecRequest* request, avifDecoder* decoder) {
  decoder->maxThreads = 1;
  decoder->ignoreExif = AVIF_TRUE;
  decoder->ignoreXMP = AVIF_TRUE;
  decoder->strictFlags = AVIF_STRICT_DISABLED;   // older encoders leave out required boxes
  if (avif.decoderSetIOMemory(decoder, request->bytes, (size_t)request->length) != AVIF_RESULT_OK) return false;
  if (avif.decoderParse(decoder) != AVIF_RESULT_OK) return false;
  if (!acceptImageSize(request, decoder->image->width, decoder->image->height)) return false;
  if (request->target == NULL) return true;
  if (imagePixelBytes(request->imageWidth, request->imageHeight) > IMAGE_BUDGET_BYTES) return false;
  if (avif.decoderNextImage(decoder) != AVIF_RESULT_OK) return false;   // the first frame
  return scaleAvifImage(request, decoder->image);
}

bool decodeAvif(CodecRequest* request) {
  if (!avifAvailable()) return false;
  avifDecoder* decoder = avif.decoderCreate();
  if (decoder == NULL) return false;
  bool decoded = decodeAvifWith(request, decoder);
  avif.decoderDestroy(decoder);
  return decoded;
}

// Decodes the primary image as 8-bit RGBA and scales it.
static bool scaleHeifImage(CodecRequest* request, heif_image_handle* handle) {
  heif_decoding_options* options = heif.decodingOptionsAlloc();
  if (options == NULL) return false;
  options->convert_hdr_to_8bit = 1;
  heif_image* picture = NULL;
  heif_error error = heif.decodeImage(handle, &picture, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options);
  heif.decodingOptionsFree(options);
  if (error.code != heif_error_Ok || picture == NULL) return false;
  int stride = 0;
  const uint8_t* pixels = heif.imageGetPlaneReadonly(picture, heif_channel_interleaved, &stride);
  bool sized = heif.imageGetWidth(picture, heif_channel_interleaved) == request->imageWidth &&
               heif.imageGetHeight(picture, heif_channel_interleaved) == request->imageHeight &&
               heif.imageGetBitsPerPixel(picture, heif_channel_interleaved) == 32;
  RowLayout layout = heif.imageIsPremultipliedAlpha(picture) ? PREMULTIPLIED_RGBA : STRAIGHT_RGBA;
  bool scaled = pixels != NULL && sized && stride >= request->imageWidth * 4 &&
                scaleWholeImage(request, pixels, (size_t)stride, layout);
  heif.imageRelease(picture);
  return scaled;
}

static bool decodeHeifWith(CodecRequest* request, heif_context* context) {
  heif.setMaximumImageSizeLimit(context, LARGEST_IMAGE_SIDE);
  heif.setMaxDecodingThreads(context, 0);   // decode on the calling thread
  if (heif.readFromMemoryWithoutCopy(context, request->bytes, (size_t)request->length, NULL).code != heif_error_Ok) {
    return false;
  }
  heif_image_handle* handle = NULL;
  if (heif.getPrimaryImageHandle(context, &handle).code != heif_error_Ok) return false;
  bool decoded = acceptImageSize(request, (uint64_t)(int64_t)heif.handleGetWidth(handle),
                                 (uint64_t)(int64_t)heif.handleGetHeight(handle));
  if (decoded && request->target != NULL) {
    decoded = imagePixelBytes(request->imageWidth, request->imageHeight) <= IMAGE_BUDGET_BYTES &&
              scaleHeifImage(request, handle);
  }
  heif.handleRelease(handle);
  return decoded;
}

bool decodeHeif(CodecRequest* request) {
  if (!heifAvailable()) return false;
  heif_context* context = heif.contextAlloc();
  if (context == NULL) return false;
  bool decoded = decodeHeifWith(request, context);
  heif.contextFree(context);
  return decoded;
}
