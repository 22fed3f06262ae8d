// libFuzzer target for inflate(): arbitrary bytes at an arbitrary capacity.
//
// Input: 2 bytes of capacity (little-endian, up to 64 KiB), then the stream.
// Checks, on top of ASan and UBSan:
//  - the result and every byte of the guarded buffer equal the plain decoder's,
//    with the table block handed out full of junk, as an uncleared heap block may be;
//  - where zlib's raw inflate reaches the end of the stream within the capacity,
//    the same length and bytes; where zlib writes past the capacity, exactly the
//    capacity and the same bytes; otherwise any success agrees with the bytes zlib
//    wrote before it stopped.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <vector>

#include "inflate/inflate.h"

int64_t referenceInflate(const uint8_t* input, uint64_t inputSize, uint8_t* output, uint64_t outputCapacity);

namespace {

const uint8_t GUARD = 0xC3;
const size_t GUARD_BYTES = 16;

// The table block comes from the heap uncleared: hand out blocks full of junk.
uint8_t junk = 0;
void* junkBlock(size_t size) {
  void* block = malloc(size);
  if (block) memset(block, junk, size);
  return block;
}

void fail(const char* what, int64_t ours, int64_t other) {
  fprintf(stderr, "fuzz_inflate: %s (ours %lld, other %lld)\n", what, (long long)ours, (long long)other);
  abort();
}

// zlib into capacity + 1 bytes: what it wrote, and whether it reached the stream's end.
size_t zlibInflate(const uint8_t* data, size_t size, uint8_t* out, size_t capacity, bool* ended) {
  z_stream z = {};
  *ended = false;
  if (inflateInit2(&z, -15) != Z_OK) abort();
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = uInt(size);
  z.next_out = out;
  z.avail_out = uInt(capacity + 1);
  *ended = inflate(&z, Z_FINISH) == Z_STREAM_END;
  size_t written = z.total_out;
  inflateEnd(&z);
  return written;
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t capacity = data[0] | size_t(data[1]) << 8;
  const uint8_t* stream = data + 2;
  size_t streamSize = size - 2;

  std::vector<uint8_t> ours(capacity + GUARD_BYTES, GUARD), plain(capacity + GUARD_BYTES, GUARD);
  junk = uint8_t(size * 0x9D + data[size - 1]);
  inflateAllocateTables = junkBlock;
  int64_t result = inflate(stream, streamSize, ours.data(), capacity);
  int64_t plainResult = referenceInflate(stream, streamSize, plain.data(), capacity);
  if (result != plainResult) fail("result differs from the plain decoder", result, plainResult);
  if (ours != plain) fail("buffer differs from the plain decoder", result, plainResult);
  if (result < -1 || result > int64_t(capacity)) fail("result out of range", result, int64_t(capacity));

  std::vector<uint8_t> reference(capacity + 1);
  bool ended = false;
  size_t written = zlibInflate(stream, streamSize, reference.data(), capacity, &ended);
  if (ended && written <= capacity) {
    if (result != int64_t(written)) fail("zlib ends the stream within the capacity", result, int64_t(written));
  } else if (written > capacity) {
    if (result != int64_t(capacity)) fail("zlib fills the buffer", result, int64_t(capacity));
  }
  size_t common = result < 0 ? 0 : (size_t(result) < written ? size_t(result) : written);
  if (memcmp(ours.data(), reference.data(), common) != 0) fail("bytes differ from zlib", result, int64_t(written));
  return 0;
}
