// Image decoding behind one interface: the Windows build asks the Windows Imaging
// Component, the Linux builds the codec libraries. Either way the result is
// 32-bit pixels, bytes blue, green, red, alpha, rows top down, stride width * 4
// with no padding, premultiplied and composited over white, so that every alpha
// byte is 255.
#ifndef BRISA_COMICS_DECODE_H
#define BRISA_COMICS_DECODE_H
#include <math.h>
#include <stddef.h>
#include <stdint.h>

// Most bytes of pixels any one decode fills (256 MiB): a page or print asked for
// beyond it is decoded at fitImageBudget's size instead. The image cache of an
// archive holds the same amount.
static const uint64_t IMAGE_BUDGET_BYTES = 0x10000000;

// One thread's imaging factory: opaque, made once per thread, never released.
typedef void* ImagingFactory;

// Apartment flags: the UI thread's single-threaded apartment without OLE 1
// (COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE), the worker's multithreaded one.
static const uint32_t UI_THREAD_APARTMENT = 6;
static const uint32_t WORKER_APARTMENT = 0;

// The calling thread's factory, or null when the platform has none (COM or the
// imaging component missing). The flags matter to the Windows build only.
ImagingFactory createImagingFactory(uint32_t apartmentFlags);

// Decodes the first frame of the image in `bytes`. With no target it only reports
// the image's own size; with a target of targetWidth * targetHeight * 4 bytes it
// fills it, scaled to exactly that size. imageWidth and imageHeight, which may be
// null, receive the image's size as soon as it is known, even if the decode fails
// afterwards. False, with every resource released, for no factory, no bytes, an
// unknown or damaged image, a missing codec, a target that is not positive or
// larger than IMAGE_BUDGET_BYTES, or no memory; the target may then be half written.
bool decodeImage(ImagingFactory factory, const uint8_t* bytes, uint64_t length, int32_t targetWidth,
                 int32_t targetHeight, uint8_t* target, int32_t* imageWidth, int32_t* imageHeight);

// Bytes of a width x height image of 32-bit pixels, in 64 bits; 0 when a side is
// not positive.
static inline uint64_t imagePixelBytes(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  return (uint64_t)width * (uint64_t)height * 4;
}

// The size to decode a width x height image at so that its pixels stay within
// IMAGE_BUDGET_BYTES: the size itself when it fits, else the largest size within the
// budget with the same aspect (each side at least 1). Sides that are not positive
// come back unchanged.
static inline void fitImageBudget(int32_t width, int32_t height, int32_t* fittedWidth, int32_t* fittedHeight) {
  *fittedWidth = width;
  *fittedHeight = height;
  uint64_t bytes = imagePixelBytes(width, height);
  if (bytes <= IMAGE_BUDGET_BYTES) return;
  const uint64_t budgetPixels = IMAGE_BUDGET_BYTES / 4;
  double shrink = sqrt((double)budgetPixels / ((double)width * (double)height));
  uint64_t w = (uint64_t)(width * shrink);
  uint64_t h = (uint64_t)(height * shrink);
  if (w < 1) {   // a thin column: keep it 1 wide
    w = 1;
    h = (uint64_t)height < budgetPixels ? (uint64_t)height : budgetPixels;
  }
  if (h < 1) {   // a thin row
    h = 1;
    w = (uint64_t)width < budgetPixels ? (uint64_t)width : budgetPixels;
  }
  while (w * h > budgetPixels) {   // the square root rounded up
    if (w >= h)
      w--;
    else
      h--;
  }
  *fittedWidth = (int32_t)w;
  *fittedHeight = (int32_t)h;
}

// Composites `count` premultiplied pixels over white: where alpha is not 255, each
// colour byte c becomes (c + 255 - alpha) mod 256 and alpha becomes 255.
static inline void compositeOverWhite(uint8_t* pixels, size_t count) {
  for (size_t i = 0; i < count; i++) {
    uint8_t* p = pixels + i * 4;
    uint8_t alpha = p[3];
    if (alpha == 255) continue;
    for (int c = 0; c < 3; c++) p[c] = (uint8_t)(p[c] + 255 - alpha);
    p[3] = 255;
  }
}

#endif
