// Image size sniffers. The formats are tried in a fixed order and the first whose
// signature matches decides, except a WebP file with an unknown first chunk, which
// falls through (and then fails).
#include "comics/archive/sniff.h"

#include <limits.h>

#include "comics/archive/bytes.h"

// What one sniffer concluded: its signature did not match, or it decided.
enum SniffResult { NOT_THIS_FORMAT, SNIFFED, UNSIZED };

// PNG: the IHDR chunk follows the 8-byte signature, width and height big-endian.
static SniffResult sniffPng(const uint8_t* b, uint64_t n, int64_t* w, int64_t* h) {
  if (n < 24 || !hasBytes(b, n, 0, "\x89PNG", 4)) return NOT_THIS_FORMAT;
  *w = (int32_t)be32(b, n, 16);
  *h = (int32_t)be32(b, n, 20);
  return (*w > 0 && *h > 0) ? SNIFFED : UNSIZED;
}

// GIF: the logical screen size, little-endian 16-bit.
static SniffResult sniffGif(const uint8_t* b, uint64_t n, int64_t* w, int64_t* h) {
  if (n < 10 || !hasBytes(b, n, 0, "GIF8", 4)) return NOT_THIS_FORMAT;
  *w = le16(b, n, 6);
  *h = le16(b, n, 8);
  return (*w != 0 && *h != 0) ? SNIFFED : UNSIZED;
}

// BMP: the info header's signed width and height; a negative height means rows
// stored top-down. INT_MIN has no positive counterpart.
static SniffResult sniffBmp(const uint8_t* b, uint64_t n, int64_t* w, int64_t* h) {
  if (n < 26 || !hasBytes(b, n, 0, "BM", 2)) return NOT_THIS_FORMAT;
  int32_t width = (int32_t)le32(b, n, 18);
  int32_t height = (int32_t)le32(b, n, 22);
  if (height == INT_MIN) return UNSIZED;
  if (height < 0) height = -height;
  *w = width;
  *h = height;
  return (width > 0 && height > 0) ? SNIFFED : UNSIZED;
}

// WebP: the first chunk after the RIFF header: extended (VP8X, canvas size minus
// one in 24 bits), lossless (VP8L, 14-bit sides minus one after the 0x2F
// signature byte) or lossy (VP8 key frame, 14-bit sides after its start code).
static SniffResult sniffWebp(const uint8_t* b, uint64_t n, int64_t* w, int64_t* h) {
  if (n < 30 || !hasBytes(b, n, 0, "RIFF", 4) || !hasBytes(b, n, 8, "WEBP", 4)) {
    return NOT_THIS_FORMAT;
  }
  if (hasBytes(b, n, 12, "VP8X", 4)) {
    *w = 1 + (int64_t)le24(b, n, 24);
    *h = 1 + (int64_t)le24(b, n, 27);
    return SNIFFED;
  }
  if (hasBytes(b, n, 12, "VP8L", 4) && b[20] == 0x2F) {
    uint32_t v = le32(b, n, 21);
    *w = (v & 0x3FFF) + 1;
    *h = ((v >> 14) & 0x3FFF) + 1;
    return SNIFFED;
  }
  if (hasBytes(b, n, 12, "VP8 ", 4) && hasBytes(b, n, 23, "\x9D\x01\x2A", 3)) {
    *w = le16(b, n, 26) & 0x3FFF;
    *h = le16(b, n, 28) & 0x3FFF;
    return (*w != 0 && *h != 0) ? SNIFFED : UNSIZED;
  }
  return NOT_THIS_FORMAT;   // another chunk: not decided here
}

// Is this JPEG marker a start of frame? C0-CF are, except DHT (C4), JPG (C8) and
// DAC (CC).
static bool isStartOfFrame(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// JPEG: walks the markers from the start of image to the first start of frame,
// skipping each other segment by its length.
static SniffResult sniffJpeg(const uint8_t* b, uint64_t n, int64_t* w, int64_t* h) {
  if (n < 4 || b[0] != 0xFF || b[1] != 0xD8) return NOT_THIS_FORMAT;
  uint64_t p = 2;
  while (p + 9 < n) {   // a frame header fits from p
    uint8_t marker = b[p + 1];
    if (b[p] != 0xFF) {
      p += 1;
    } else if (marker == 0xFF) {   // fill byte
      p += 1;
    } else if ((marker >= 0xD0 && marker <= 0xD8) || marker == 0x01) {
      p += 2;   // no length field
    } else if (isStartOfFrame(marker)) {
      *h = be16(b, n, p + 5);
      *w = be16(b, n, p + 7);
      return (*w != 0 && *h != 0) ? SNIFFED : UNSIZED;
    } else {
      p += 2 + (uint64_t)be16(b, n, p + 2);
    }
  }
  return UNSIZED;
}

typedef SniffResult (*Sniffer)(const uint8_t* b, uint64_t n, int64_t* w, int64_t* h);
static const Sniffer SNIFFERS[] = {sniffPng, sniffGif, sniffBmp, sniffWebp, sniffJpeg};

bool sniffImageSize(const uint8_t* bytes, uint64_t length, int32_t* width, int32_t* height) {
  if (bytes == NULL) return false;
  for (Sniffer sniffer : SNIFFERS) {
    int64_t w = 0, h = 0;
    SniffResult result = sniffer(bytes, length, &w, &h);
    if (result == NOT_THIS_FORMAT) continue;
    if (result == UNSIZED) return false;
    if (w < 1 || h < 1 || w > LARGEST_SNIFFED_SIDE || h > LARGEST_SNIFFED_SIDE) return false;
    *width = (int32_t)w;
    *height = (int32_t)h;
    return true;
  }
  return false;
}
