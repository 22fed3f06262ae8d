// JPEG XR through jxrlib, set up as its own command-line decoder does: the whole
// image in its stored pixel format, then turned into BGRA here. Only the 8- and
// 16-bit integer formats are read; the floating-point, fixed-point, packed and
// CMYK ones fail like a missing codec.
#include <string.h>

#include "comics/codecs/codecs.h"
#include "comics/decode.h"
#include "comics/archive/memory.h"

// Last: jxrlib's headers define min and max as macros.
#include <JXRGlue.h>

// The codec writes whole macroblock rows of 16 lines.
static const uint64_t MACROBLOCK_LINES = 16;

// How one stored pixel format becomes BGRA: bytes per pixel, whether each channel
// is 16 bits, where blue, green, red and alpha sit (-1: none), and whether the
// colour is premultiplied.
struct JxrFormat {
  const PKPixelFormatGUID* guid;
  uint32_t bytesPerPixel;
  bool sixteenBits;
  int blue, green, red, alpha;
  bool premultiplied;
};

static const JxrFormat JXR_FORMATS[] = {
    {&GUID_PKPixelFormat24bppBGR, 3, false, 0, 1, 2, -1, false},
    {&GUID_PKPixelFormat24bppRGB, 3, false, 2, 1, 0, -1, false},
    {&GUID_PKPixelFormat32bppBGR, 4, false, 0, 1, 2, -1, false},
    {&GUID_PKPixelFormat32bppRGB, 4, false, 2, 1, 0, -1, false},
    {&GUID_PKPixelFormat32bppBGRA, 4, false, 0, 1, 2, 3, false},
    {&GUID_PKPixelFormat32bppRGBA, 4, false, 2, 1, 0, 3, false},
    {&GUID_PKPixelFormat32bppPBGRA, 4, false, 0, 1, 2, 3, true},
    {&GUID_PKPixelFormat32bppPRGBA, 4, false, 2, 1, 0, 3, true},
    {&GUID_PKPixelFormat8bppGray, 1, false, 0, 0, 0, -1, false},
    {&GUID_PKPixelFormat16bppGray, 2, true, 0, 0, 0, -1, false},
    {&GUID_PKPixelFormat48bppRGB, 6, true, 2, 1, 0, -1, false},
    {&GUID_PKPixelFormat64bppRGBA, 8, true, 2, 1, 0, 3, false},
    {&GUID_PKPixelFormat64bppPRGBA, 8, true, 2, 1, 0, 3, true},
};

static const JxrFormat* findJxrFormat(const PKPixelFormatGUID* guid) {
  for (const JxrFormat& format : JXR_FORMATS) {
    if (memcmp(format.guid, guid, sizeof *guid) == 0) return &format;
  }
  return NULL;
}

// One channel of a stored pixel as 8 bits: the high byte of a 16-bit one.
static uint8_t jxrChannel(const uint8_t* pixel, const JxrFormat* format, int channel) {
  if (!format->sixteenBits) return pixel[channel];
  return pixel[channel * 2 + 1];   // little-endian 16-bit values
}

static void convertJxrRow(const uint8_t* in, uint32_t width, const JxrFormat* format, uint8_t* out) {
  for (uint32_t x = 0; x < width; x++, in += format->bytesPerPixel, out += 4) {
    out[0] = jxrChannel(in, format, format->blue);
    out[1] = jxrChannel(in, format, format->green);
    out[2] = jxrChannel(in, format, format->red);
    out[3] = format->alpha < 0 ? 255 : jxrChannel(in, format, format->alpha);
  }
}

// The fields the decoder reads at Copy and that only its callers fill: the stored
// format's layout, the whole image as region, no thumbnail scaling, no rotation.
static void prepareJxrDecoder(PKImageDecode* decoder, const PKPixelInfo* info) {
  CWMImageInfo* image = &decoder->WMP.wmiI;
  decoder->WMP.wmiSCP.uAlphaMode = (info->grBit & PK_pixfmtHasAlpha) ? 2 : 0;
  decoder->WMP.wmiSCP.bVerbose = FALSE;
  image->cfColorFormat = info->cfColorFormat;
  image->bdBitDepth = info->bdBitDepth;
  image->cBitsPerUnit = info->cbitUnit;
  image->cThumbnailWidth = image->cWidth;
  image->cThumbnailHeight = image->cHeight;
  image->bSkipFlexbits = FALSE;
  image->cROILeftX = 0;
  image->cROITopY = 0;
  image->cROIWidth = image->cWidth;
  image->cROIHeight = image->cHeight;
  image->oOrientation = O_NONE;
  image->cPostProcStrength = 0;
}

// Decodes the whole image into `stored`. When the codec fails halfway it returns
// without ending its decoding session, and the session's buffers would leak: end
// the one left open (the colour planes' session ends before the alpha plane's
// begins, so an open alpha session means the other is already gone).
static bool copyJxrImage(PKImageDecode* decoder, const PKRect* whole, uint8_t* stored, U32 stride) {
  decoder->WMP.ctxSC = NULL;
  decoder->WMP.ctxSC_Alpha = NULL;
  if (decoder->Copy(decoder, whole, stored, stride) == WMP_errSuccess) return true;
  if (decoder->WMP.ctxSC_Alpha != NULL) {
    ImageStrDecTerm(decoder->WMP.ctxSC_Alpha);
  } else if (decoder->WMP.ctxSC != NULL) {
    ImageStrDecTerm(decoder->WMP.ctxSC);
  }
  decoder->WMP.ctxSC = NULL;
  decoder->WMP.ctxSC_Alpha = NULL;
  return false;
}

static bool scaleJxrImage(CodecRequest* request, PKImageDecode* decoder, const JxrFormat* format) {
  uint64_t width = (uint64_t)request->imageWidth, height = (uint64_t)request->imageHeight;
  uint64_t stride = width * format->bytesPerPixel;
  uint64_t lines = (height + MACROBLOCK_LINES - 1) / MACROBLOCK_LINES * MACROBLOCK_LINES;
  uint8_t* stored = (uint8_t*)allocPixels(stride * lines, 1);
  uint8_t* row = (uint8_t*)allocPixels(width, 4);
  ImageScaler scaler;
  bool scaled = stored != NULL && row != NULL && stride <= UINT32_MAX;
  if (scaled) {
    PKRect whole = {0, 0, request->imageWidth, request->imageHeight};
    scaled = copyJxrImage(decoder, &whole, stored, (U32)stride) && startImageScaling(request, &scaler);
  }
  for (uint64_t y = 0; scaled && y < height; y++) {
    convertJxrRow(stored + y * stride, (uint32_t)width, format, row);
    scaleRow(&scaler, row, format->premultiplied ? PREMULTIPLIED_BGRA : STRAIGHT_BGRA);
  }
  if (scaled) scaled = finishScaling(&scaler);
  freeBytes(stored);
  freeBytes(row);
  return scaled;
}

static bool decodeJxrWith(CodecRequest* request, PKImageDecode* decoder) {
  uint64_t width = decoder->WMP.wmiI.cWidth, height = decoder->WMP.wmiI.cHeight;
  if (!acceptImageSize(request, width, height)) return false;
  if (request->target == NULL) return true;
  const JxrFormat* format = findJxrFormat(&decoder->guidPixFormat);
  if (format == NULL) return false;
  PKPixelInfo info;
  memset(&info, 0, sizeof info);
  info.pGUIDPixFmt = &decoder->guidPixFormat;
  if (PixelFormatLookup(&info, LOOKUP_FORWARD) != WMP_errSuccess) return false;
  if (info.cbitUnit != format->bytesPerPixel * 8) return false;
  prepareJxrDecoder(decoder, &info);
  return scaleJxrImage(request, decoder, format);
}

bool decodeJpegXr(CodecRequest* request) {
  struct WMPStream* stream = NULL;
  if (CreateWS_Memory(&stream, (void*)request->bytes, (size_t)request->length) != WMP_errSuccess) return false;
  PKImageDecode* decoder = NULL;
  bool decoded = false;
  if (PKImageDecode_Create_WMP(&decoder) == WMP_errSuccess) {
    decoded = decoder->Initialize(decoder, stream) == WMP_errSuccess && decodeJxrWith(request, decoder);
    decoder->Release(&decoder);
  }
  CloseWS_Memory(&stream);
  return decoded;
}
