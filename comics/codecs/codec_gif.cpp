// GIF through giflib: the first image only, placed on the logical screen (the size
// the sniffer reports), everything around it transparent. Interlaced images arrive
// in four passes and are held whole as palette indices; the others stream.
#include <string.h>

#include <gif_lib.h>

#include "comics/codecs/codecs.h"
#include "comics/decode.h"
#include "comics/archive/memory.h"

// Interlaced rows: the passes start at these rows and step by these counts.
static const int INTERLACE_START[] = {0, 4, 2, 1};
static const int INTERLACE_STEP[] = {8, 8, 4, 2};

struct GifDecode {
  GifFileType* gif;
  const uint8_t* bytes;
  uint64_t length;
  uint64_t at;
  int transparentIndex;      // -1: none
  uint8_t palette[256][4];   // straight blue, green, red, alpha
  int32_t canvasWidth, canvasHeight;
  uint8_t* indices;   // one frame row, or the whole frame when interlaced
  uint8_t* row;       // one canvas row of BGRA
  ImageScaler scaler;
};

static int readGifBytes(GifFileType* gif, GifByteType* out, int count) {
  GifDecode* decode = (GifDecode*)gif->UserData;
  uint64_t left = decode->length - decode->at;
  uint64_t taken = count < 0 ? 0 : (uint64_t)count < left ? (uint64_t)count : left;
  memcpy(out, decode->bytes + decode->at, (size_t)taken);
  decode->at += taken;
  return (int)taken;
}

// Reads extension blocks up to the first image descriptor, keeping the
// transparent colour of a graphic control block. False when the file ends first.
static bool findFirstImage(GifDecode* decode) {
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(decode->gif, &type) == GIF_ERROR) return false;
    if (type == IMAGE_DESC_RECORD_TYPE) return DGifGetImageDesc(decode->gif) != GIF_ERROR;
    if (type != EXTENSION_RECORD_TYPE) return false;   // the end, or garbage
    int code = 0;
    GifByteType* block = NULL;
    if (DGifGetExtension(decode->gif, &code, &block) == GIF_ERROR) return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block != NULL && block[0] >= 4) {
      GraphicsControlBlock control;
      if (DGifExtensionToGCB(block[0], block + 1, &control) != GIF_ERROR) {
        decode->transparentIndex = control.TransparentColor;
      }
    }
    while (block != NULL) {
      if (DGifGetExtensionNext(decode->gif, &block) == GIF_ERROR) return false;
    }
  }
}

// The frame's colour table (its own, else the global one) as straight BGRA; colours
// the table lacks are opaque black.
static bool buildGifPalette(GifDecode* decode) {
  const ColorMapObject* map = decode->gif->Image.ColorMap ? decode->gif->Image.ColorMap : decode->gif->SColorMap;
  if (map == NULL || map->Colors == NULL) return false;
  for (int i = 0; i < 256; i++) {
    uint8_t* entry = decode->palette[i];
    bool known = i < map->ColorCount;
    entry[0] = known ? map->Colors[i].Blue : 0;
    entry[1] = known ? map->Colors[i].Green : 0;
    entry[2] = known ? map->Colors[i].Red : 0;
    entry[3] = i == decode->transparentIndex ? 0 : 255;
  }
  return true;
}

// One canvas row: the frame's indices placed at its left edge, clipped to the canvas.
static void paintCanvasRow(GifDecode* decode, const uint8_t* indices) {
  const GifImageDesc* frame = &decode->gif->Image;
  memset(decode->row, 0, (size_t)decode->canvasWidth * 4);
  for (int x = 0; x < frame->Width; x++) {
    int64_t canvasX = (int64_t)frame->Left + x;
    if (canvasX >= decode->canvasWidth) break;
    memcpy(decode->row + canvasX * 4, decode->palette[indices[x]], 4);
  }
}

// Reads the frame's rows and scales the canvas, top to bottom.
static bool scaleGifCanvas(CodecRequest* request, GifDecode* decode) {
  const GifImageDesc* frame = &decode->gif->Image;
  int64_t top = frame->Top, width = frame->Width, height = frame->Height;
  bool interlaced = frame->Interlace;
  decode->indices = (uint8_t*)allocPixels(interlaced ? (uint64_t)width * height : (uint64_t)width, 1);
  decode->row = (uint8_t*)allocPixels((uint64_t)decode->canvasWidth, 4);
  if (decode->indices == NULL || decode->row == NULL) return false;
  if (interlaced) {
    for (int pass = 0; pass < 4; pass++) {
      for (int64_t y = INTERLACE_START[pass]; y < height; y += INTERLACE_STEP[pass]) {
        if (DGifGetLine(decode->gif, decode->indices + y * width, (int)width) == GIF_ERROR) return false;
      }
    }
  }
  if (!startImageScaling(request, &decode->scaler)) return false;
  int64_t rowsAbove = top < decode->canvasHeight ? top : decode->canvasHeight;
  int64_t frameRows = height < decode->canvasHeight - rowsAbove ? height : decode->canvasHeight - rowsAbove;
  scaleTransparentRows(&decode->scaler, rowsAbove);
  for (int64_t y = 0; y < frameRows; y++) {
    uint8_t* indices = decode->indices + (interlaced ? y * width : 0);
    if (!interlaced && DGifGetLine(decode->gif, indices, (int)width) == GIF_ERROR) return false;
    paintCanvasRow(decode, indices);
    scaleRow(&decode->scaler, decode->row, STRAIGHT_BGRA);
  }
  scaleTransparentRows(&decode->scaler, decode->canvasHeight);   // whatever is left below
  return finishScaling(&decode->scaler);
}

static bool runGifDecode(CodecRequest* request, GifDecode* decode) {
  int error = 0;
  decode->gif = DGifOpen(decode, readGifBytes, &error);
  if (decode->gif == NULL || !findFirstImage(decode)) return false;
  const GifImageDesc* frame = &decode->gif->Image;
  if (frame->Width <= 0 || frame->Height <= 0 || frame->Left < 0 || frame->Top < 0) return false;
  // A screen of 0 x 0 (some encoders write it) takes the frame's extent.
  bool screenSet = decode->gif->SWidth > 0 && decode->gif->SHeight > 0;
  uint64_t width = screenSet ? (uint64_t)decode->gif->SWidth : (uint64_t)frame->Left + frame->Width;
  uint64_t height = screenSet ? (uint64_t)decode->gif->SHeight : (uint64_t)frame->Top + frame->Height;
  if (!acceptImageSize(request, width, height)) return false;
  if (request->target == NULL) return true;
  decode->canvasWidth = request->imageWidth;
  decode->canvasHeight = request->imageHeight;
  if (!buildGifPalette(decode)) return false;
  return scaleGifCanvas(request, decode);
}

bool decodeGif(CodecRequest* request) {
  GifDecode* decode = (GifDecode*)allocZeroed(sizeof(GifDecode));
  if (decode == NULL) return false;
  decode->bytes = request->bytes;
  decode->length = request->length;
  decode->transparentIndex = -1;
  bool decoded = runGifDecode(request, decode);
  abandonScaling(&decode->scaler);
  if (decode->gif != NULL) {
    int error = 0;
    DGifCloseFile(decode->gif, &error);
  }
  freeBytes(decode->indices);
  freeBytes(decode->row);
  freeBytes(decode);
  return decoded;
}
