// Writes a DEFLATE stream bit by bit, for the decoder's tests to build blocks
// that no compressor would make.
#ifndef BRISA_TEST_BITWRITER_H
#define BRISA_TEST_BITWRITER_H

#include <stddef.h>
#include <stdint.h>
#include <vector>

// Bits in the order DEFLATE sends them: fields first bit lowest, Huffman codes
// first bit highest.
struct BitWriter {
  std::vector<uint8_t> bytes;
  size_t bitCount = 0;

  void bit(uint32_t b) {
    if (bitCount % 8 == 0) bytes.push_back(0);
    bytes.back() |= uint8_t((b & 1) << (bitCount % 8));
    bitCount++;
  }
  void field(uint32_t value, int n) {
    for (int i = 0; i < n; i++) bit(value >> i);
  }
  void code(uint32_t value, int length) {
    for (int i = length - 1; i >= 0; i--) bit(value >> i);
  }
  void padToByte() {
    bitCount = bytes.size() * 8;
  }
  void byte(uint8_t b) {
    padToByte();
    bytes.push_back(b);
    bitCount += 8;
  }
};

#endif
