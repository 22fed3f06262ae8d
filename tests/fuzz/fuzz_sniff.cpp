// libFuzzer target: the image size sniffers over arbitrary bytes. A size they report
// is always within 1..65535 on both sides.
#include <stdlib.h>

#include "comics/archive/sniff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int32_t width = -1, height = -1;
  if (sniffImageSize(data, size, &width, &height)) {
    if (width < 1 || height < 1 || width > LARGEST_SNIFFED_SIDE || height > LARGEST_SNIFFED_SIDE) abort();
  }
  return 0;
}
