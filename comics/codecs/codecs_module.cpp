// The codec library's exported entry points: the decoders' own interface under
// C names. The library is linked with -Bsymbolic, so these calls stay inside it.
#include "comics/codecs/codecs_module.h"

extern "C" __attribute__((visibility("default"))) ImagingFactory brisaCodecsCreateImagingFactory(
    uint32_t apartmentFlags) {
  return createImagingFactory(apartmentFlags);
}

extern "C" __attribute__((visibility("default"))) bool brisaCodecsDecodeImage(ImagingFactory factory,
                                                                              const uint8_t* bytes, uint64_t length,
                                                                              int32_t targetWidth, int32_t targetHeight,
                                                                              uint8_t* target, int32_t* imageWidth,
                                                                              int32_t* imageHeight) {
  return decodeImage(factory, bytes, length, targetWidth, targetHeight, target, imageWidth, imageHeight);
}
