// Pixel sizes read from the first bytes of an image, without decoding it.
#ifndef BRISA_COMICS_SNIFF_H
#define BRISA_COMICS_SNIFF_H
#include <stdint.h>

// Largest side a sniffed size may have; a header claiming more is treated as not
// sniffed, and the decoder is asked instead.
static const int32_t LARGEST_SNIFFED_SIDE = 65535;

// True with both sides in 1..65535 for PNG, GIF, BMP, WebP (VP8X, VP8L, VP8) and
// JPEG; false for every other format (TIFF, AVIF, HEIF, JPEG XR are never sniffed)
// and when the header that matched holds no usable size.
bool sniffImageSize(const uint8_t* bytes, uint64_t length, int32_t* width, int32_t* height);

#endif
