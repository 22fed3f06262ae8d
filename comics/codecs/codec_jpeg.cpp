// JPEG through libjpeg-turbo, reduced in the DCT to the smallest of its eighths
// that still covers the target, then averaged to the exact size.
#include <setjmp.h>
#include <stdio.h>
#include <string.h>

#include <jerror.h>
#include <jpeglib.h>

#include "comics/codecs/codecs.h"
#include "comics/decode.h"
#include "comics/archive/memory.h"

// More scans than any real progressive file has; a hostile one with thousands of
// tiny scans would otherwise take minutes.
static const int LARGEST_JPEG_SCAN_COUNT = 500;
// DCT scaling offers num/8 for num 1..8.
static const unsigned JPEG_SCALE_DENOMINATOR = 8;

struct JpegFailure {
  jpeg_error_mgr manager;
  jmp_buf escape;
};

// Everything a JPEG decode holds, kept outside the frame that calls setjmp so that
// it is still valid after a longjmp.
struct JpegDecode {
  jpeg_decompress_struct info;
  JpegFailure failure;
  jpeg_progress_mgr progress;
  ImageScaler scaler;
  uint8_t* row;
};

[[noreturn]] static void escapeJpeg(j_common_ptr info) {
  longjmp(((JpegFailure*)info->err)->escape, 1);
}

// Whether the image can be shown although its coded data ended early. libjpeg
// then decodes every missing row as grey, at full cost whatever size the header
// claims, so a tiny file could cost a whole decode of a huge image: a baseline
// image is kept only when more rows arrived than are missing (the grey part never
// costs more than the data paid for), a progressive one only when the data ended in
// a refinement scan (every part of the image arrived, some of it coarsely).
static bool enoughJpegArrived(j_decompress_ptr info) {
  if (info->output_height == 0) return false;   // still in the header
  if (info->progressive_mode) return info->input_scan_number > 1 && info->Ss > 0 && info->Ah > 0;
  return (uint64_t)info->output_scanline * 2 >= info->output_height;
}

// Warnings are silent, except those that say the coded data ended early (the file
// ends, or a marker stands where data should be), which end the decode unless
// enough of the image arrived.
static void noteJpegWarning(j_common_ptr info, int level) {
  if (level >= 0) return;   // trace messages
  int code = info->err->msg_code;
  if ((code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) &&
      !(info->is_decompressor && enoughJpegArrived((j_decompress_ptr)info))) {
    escapeJpeg(info);
  }
  info->err->num_warnings++;
}

static void watchJpegScans(j_common_ptr info) {
  if (info->is_decompressor && ((j_decompress_ptr)info)->input_scan_number > LARGEST_JPEG_SCAN_COUNT) {
    escapeJpeg(info);
  }
}

// The smallest DCT scale num/8 whose output still covers the target on both axes.
static unsigned chooseJpegScale(uint32_t width, uint32_t height, int32_t targetWidth, int32_t targetHeight) {
  for (unsigned num = 1; num < JPEG_SCALE_DENOMINATOR; num++) {
    uint64_t scaledWidth = ((uint64_t)width * num + JPEG_SCALE_DENOMINATOR - 1) / JPEG_SCALE_DENOMINATOR;
    uint64_t scaledHeight = ((uint64_t)height * num + JPEG_SCALE_DENOMINATOR - 1) / JPEG_SCALE_DENOMINATOR;
    if (scaledWidth >= (uint64_t)targetWidth && scaledHeight >= (uint64_t)targetHeight) return num;
  }
  return JPEG_SCALE_DENOMINATOR;
}

// Four-colour rows to blue-green-red. Adobe's files store the inks inverted, the
// others as plain amounts of ink.
static void convertCmykRow(uint8_t* row, uint32_t width, bool inverted) {
  for (uint32_t x = 0; x < width; x++) {
    uint8_t* p = row + (size_t)x * 4;
    uint32_t c = p[0], m = p[1], y = p[2], k = p[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    p[0] = (uint8_t)((y * k + 127) / 255);
    p[1] = (uint8_t)((m * k + 127) / 255);
    p[2] = (uint8_t)((c * k + 127) / 255);
    p[3] = 255;
  }
}

// Reads the scaled scan lines into the scaler. Called with the header read.
static bool readJpegRows(CodecRequest* request, JpegDecode* decode) {
  jpeg_decompress_struct* info = &decode->info;
  bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
  info->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  info->scale_num = chooseJpegScale(info->image_width, info->image_height, request->targetWidth, request->targetHeight);
  info->scale_denom = JPEG_SCALE_DENOMINATOR;
  if (!jpeg_start_decompress(info)) return false;
  if (info->output_components != 4) return false;
  decode->row = (uint8_t*)allocPixels(info->output_width, 4);
  if (decode->row == NULL) return false;
  if (!startScaling(&decode->scaler, (int32_t)info->output_width, (int32_t)info->output_height, request->targetWidth,
                    request->targetHeight, request->target)) {
    return false;
  }
  while (info->output_scanline < info->output_height) {
    JSAMPROW rows[1] = {decode->row};
    if (jpeg_read_scanlines(info, rows, 1) != 1) return false;
    if (cmyk) convertCmykRow(decode->row, info->output_width, info->saw_Adobe_marker);
    scaleRow(&decode->scaler, decode->row, STRAIGHT_BGRA);
  }
  return finishScaling(&decode->scaler);
}

// The part that may be left by longjmp: it touches state only through `decode`.
static bool runJpegDecode(CodecRequest* request, JpegDecode* decode) {
  if (setjmp(decode->failure.escape)) return false;
  jpeg_create_decompress(&decode->info);
  decode->info.mem->max_memory_to_use = (long)IMAGE_BUDGET_BYTES;
  decode->info.progress = &decode->progress;
  jpeg_mem_src(&decode->info, request->bytes, (unsigned long)request->length);
  if (jpeg_read_header(&decode->info, TRUE) != JPEG_HEADER_OK) return false;
  if (!acceptImageSize(request, decode->info.image_width, decode->info.image_height)) return false;
  if (request->target == NULL) return true;
  return readJpegRows(request, decode);
}

bool decodeJpeg(CodecRequest* request) {
  JpegDecode* decode = (JpegDecode*)allocZeroed(sizeof(JpegDecode));
  if (decode == NULL) return false;
  decode->info.err = jpeg_std_error(&decode->failure.manager);
  decode->failure.manager.error_exit = escapeJpeg;
  decode->failure.manager.emit_message = noteJpegWarning;
  decode->progress.progress_monitor = watchJpegScans;
  bool decoded = runJpegDecode(request, decode);
  abandonScaling(&decode->scaler);
  jpeg_destroy_decompress(&decode->info);
  freeBytes(decode->row);
  freeBytes(decode);
  return decoded;
}
