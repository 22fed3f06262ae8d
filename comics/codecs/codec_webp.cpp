// WebP through libwebp. A still image is decoded straight into the target by the
// library's own scaler, which averages areas when it shrinks; an animation's first
// frame is decoded at its own size, placed on the canvas and averaged here.
#include <string.h>

#include <webp/decode.h>
#include <webp/demux.h>

#include "comics/codecs/codecs.h"
#include "comics/decode.h"
#include "comics/archive/memory.h"

// WebPBitstreamFeatures::format of a lossless image: the library then keeps the
// whole image as 32-bit pixels while it decodes.
static const int WEBP_LOSSLESS = 2;

// Decodes `size` bytes of one WebP image, premultiplied, into `pixels` of
// width x height (scaled when that is not the image's own size).
static bool decodeWebpInto(const uint8_t* bytes, size_t size, int32_t width, int32_t height, bool scale,
                           uint8_t* pixels) {
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return false;
  config.options.use_threads = 0;
  if (scale) {
    config.options.use_scaling = 1;
    config.options.scaled_width = width;
    config.options.scaled_height = height;
  }
  config.output.colorspace = MODE_bgrA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = pixels;
  config.output.u.RGBA.stride = width * 4;
  config.output.u.RGBA.size = (size_t)imagePixelBytes(width, height);
  VP8StatusCode status = WebPDecode(bytes, size, &config);
  WebPFreeDecBuffer(&config.output);
  return status == VP8_STATUS_OK;
}

// Would the library's own buffer for this image pass the image budget?
static bool exceedsWebpBudget(const WebPBitstreamFeatures* features) {
  return features->format == WEBP_LOSSLESS && imagePixelBytes(features->width, features->height) > IMAGE_BUDGET_BYTES;
}

static bool decodeStillWebp(CodecRequest* request, const WebPBitstreamFeatures* features) {
  if (!acceptImageSize(request, (uint64_t)features->width, (uint64_t)features->height)) return false;
  if (request->target == NULL) return true;
  if (exceedsWebpBudget(features)) return false;
  bool scale = request->targetWidth != request->imageWidth || request->targetHeight != request->imageHeight;
  if (!decodeWebpInto(request->bytes, (size_t)request->length, request->targetWidth, request->targetHeight, scale,
                      request->target)) {
    return false;
  }
  compositeOverWhite(request->target, (size_t)request->targetWidth * (size_t)request->targetHeight);
  return true;
}

// Scales the canvas with the decoded frame (premultiplied, frameWidth wide) placed
// at (left, top) and transparency around it.
static bool scaleWebpCanvas(CodecRequest* request, const uint8_t* frame, int64_t frameWidth, int64_t frameHeight,
                            int64_t left, int64_t top) {
  int64_t width = request->imageWidth, height = request->imageHeight;
  uint8_t* row = (uint8_t*)allocPixels((uint64_t)width, 4);
  ImageScaler scaler;
  if (row == NULL || !startImageScaling(request, &scaler)) {
    freeBytes(row);
    return false;
  }
  int64_t rowsAbove = top < height ? top : height;
  int64_t frameRows = frameHeight < height - rowsAbove ? frameHeight : height - rowsAbove;
  int64_t copied = left >= width ? 0 : frameWidth < width - left ? frameWidth : width - left;
  scaleTransparentRows(&scaler, rowsAbove);
  for (int64_t y = 0; y < frameRows; y++) {
    memset(row, 0, (size_t)width * 4);
    memcpy(row + left * 4, frame + (size_t)(y * frameWidth * 4), (size_t)copied * 4);
    scaleRow(&scaler, row, PREMULTIPLIED_BGRA);
  }
  scaleTransparentRows(&scaler, height);
  freeBytes(row);
  return finishScaling(&scaler);
}

// The first frame of an animation, on the animation's canvas.
static bool decodeAnimatedWebp(CodecRequest* request) {
  WebPData data = {request->bytes, (size_t)request->length};
  WebPDemuxer* demuxer = WebPDemux(&data);
  if (demuxer == NULL) return false;
  bool decoded = acceptImageSize(request, WebPDemuxGetI(demuxer, WEBP_FF_CANVAS_WIDTH),
                                 WebPDemuxGetI(demuxer, WEBP_FF_CANVAS_HEIGHT));
  WebPIterator frame;
  if (decoded && request->target != NULL) {
    decoded = WebPDemuxGetFrame(demuxer, 1, &frame) != 0;
    uint8_t* pixels = NULL;
    if (decoded) {
      WebPBitstreamFeatures features;
      decoded = WebPGetFeatures(frame.fragment.bytes, frame.fragment.size, &features) == VP8_STATUS_OK &&
                !exceedsWebpBudget(&features) && frame.width > 0 && frame.height > 0;
      if (decoded) pixels = (uint8_t*)allocPixels((uint64_t)frame.width * (uint64_t)frame.height, 4);
      decoded = pixels != NULL &&
                decodeWebpInto(frame.fragment.bytes, frame.fragment.size, frame.width, frame.height, false, pixels) &&
                scaleWebpCanvas(request, pixels, frame.width, frame.height, frame.x_offset, frame.y_offset);
      freeBytes(pixels);
      WebPDemuxReleaseIterator(&frame);
    }
  }
  WebPDemuxDelete(demuxer);
  return decoded;
}

bool decodeWebp(CodecRequest* request) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(request->bytes, (size_t)request->length, &features) != VP8_STATUS_OK) return false;
  if (features.has_animation) return decodeAnimatedWebp(request);
  return decodeStillWebp(request, &features);
}
