// libFuzzer target: the Linux decoding back end over arbitrary bytes, asked for the
// size alone and then for pixels at a small and an odd size. A successful decode
// leaves every alpha byte at 255; nothing is written outside the target.
#include <stdlib.h>
#include <string.h>

#include "comics/decode.h"

// Guard bytes on each side of the target.
static const size_t guardBytes = 64;
static const uint8_t guardValue = 0xA5;

// Decodes at width x height into a guarded buffer and checks the rules above.
static void decodeAt(ImagingFactory factory, const uint8_t* data, size_t size, int32_t width, int32_t height) {
  size_t targetBytes = (size_t)width * (size_t)height * 4;
  static uint8_t buffer[guardBytes + 64 * 64 * 4 + guardBytes];
  memset(buffer, guardValue, sizeof buffer);
  uint8_t* target = buffer + guardBytes;
  if (decodeImage(factory, data, size, width, height, target, nullptr, nullptr)) {
    for (size_t i = 3; i < targetBytes; i += 4) {
      if (target[i] != 255) abort();
    }
  }
  for (size_t i = 0; i < guardBytes; i++) {
    if (buffer[i] != guardValue || target[targetBytes + i] != guardValue) abort();
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // jxrlib is not hardened against hostile input (it asserts and reads out of
  // bounds on damaged streams): leave JPEG XR out rather than fuzz the library.
  if (size >= 3 && memcmp(data, "II\xBC", 3) == 0) return 0;
  ImagingFactory factory = createImagingFactory(WORKER_APARTMENT);
  int32_t width = 0, height = 0;
  bool sized = decodeImage(factory, data, size, 0, 0, nullptr, &width, &height);
  if (sized && (width <= 0 || height <= 0)) abort();
  decodeAt(factory, data, size, 16, 12);
  decodeAt(factory, data, size, 61, 3);
  return 0;
}
