// Raw DEFLATE made by zlib (no zlib header or trailer), as ZIP entries and gzip
// members store it: the reference input for the decoder's tests and benchmark.
#ifndef BRISA_TEST_RAWDEFLATE_H
#define BRISA_TEST_RAWDEFLATE_H

#include <stdint.h>
#include <zlib.h>

// Bytes is std::string or std::vector<uint8_t>. The result is empty when zlib
// fails: a stream never is, as even no input ends with a final block.
template <typename Bytes>
Bytes rawDeflate(const Bytes& data, int level = 9, int strategy = Z_DEFAULT_STRATEGY) {
  z_stream z = {};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy) != Z_OK) return Bytes();
  Bytes out(deflateBound(&z, uLong(data.size())), 0);
  z.next_in = (Bytef*)data.data();
  z.avail_in = uInt(data.size());
  z.next_out = (Bytef*)&out[0];
  z.avail_out = uInt(out.size());
  int result = deflate(&z, Z_FINISH);
  out.resize(result == Z_STREAM_END ? z.total_out : 0);
  deflateEnd(&z);
  return out;
}

#endif
