// inflate() against the plain decoder in inflate_reference.cpp on hostile input:
// damaged zlib streams, dynamic blocks with arbitrary (over-subscribed, incomplete,
// empty) codes, and noise. Both must give the same result and leave the same bytes
// in the whole buffer, guards past the capacity included.
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "inflate/inflate.h"
#include "tests/support/bitwriter.h"
#include "tests/support/rawdeflate.h"

int64_t referenceInflate(const uint8_t* input, uint64_t inputSize, uint8_t* output, uint64_t outputCapacity);

namespace {

typedef std::vector<uint8_t> Bytes;

// The table block comes from the heap uncleared: hand out blocks full of junk.
void* junkBlock(size_t size) {
  static uint8_t junk = 0;
  void* block = malloc(size);
  if (block) memset(block, junk += 0x5B, size);
  return block;
}

// Decodes with both decoders into identical guarded buffers and compares everything.
::testing::AssertionResult sameAsReference(const Bytes& stream, size_t capacity) {
  Bytes ours(capacity + 8, 0x3C), reference(capacity + 8, 0x3C);
  void* (*saved)(size_t) = inflateAllocateTables;
  inflateAllocateTables = junkBlock;
  int64_t ourResult = inflate(stream.data(), stream.size(), ours.data(), capacity);
  inflateAllocateTables = saved;
  int64_t referenceResult = referenceInflate(stream.data(), stream.size(), reference.data(), capacity);
  if (ourResult != referenceResult)
    return ::testing::AssertionFailure() << "result " << ourResult << ", reference " << referenceResult;
  for (size_t i = 0; i < ours.size(); i++)
    if (ours[i] != reference[i]) return ::testing::AssertionFailure() << "byte " << i << " differs";
  return ::testing::AssertionSuccess();
}

std::string hex(const Bytes& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

// Code-length code used to send arbitrary lengths: 0-15 in 5 bits, 16 and 17 in 3, 18 in 2.
void putCodeLength(BitWriter& w, int length) {
  static const uint32_t codes[19] = {16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 2, 3, 0};
  static const int lengths[19] = {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 3, 3, 2};
  w.code(codes[length], lengths[length]);
}

// A dynamic block whose literal/length and distance codes are arbitrary, then noise.
Bytes arbitraryDynamicBlock(std::mt19937* random) {
  static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  static const int codeLengthLengths[19] = {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 3, 3, 2};
  BitWriter w;
  w.field((*random)() % 4 != 0, 1);   // BFINAL
  w.field(2, 2);                      // BTYPE
  int literalCodes = 257 + int((*random)() % 30), distanceCodes = 1 + int((*random)() % 30);
  w.field(uint32_t(literalCodes - 257), 5);
  w.field(uint32_t(distanceCodes - 1), 5);
  w.field(15, 4);
  for (int i = 0; i < 19; i++) w.field(uint32_t(codeLengthLengths[order[i]]), 3);
  // A few favourite lengths make complete, incomplete and over-subscribed codes all likely.
  int favourites[3] = {int((*random)() % 16), int(1 + (*random)() % 15), int(1 + (*random)() % 15)};
  for (int i = 0; i < literalCodes + distanceCodes; i++)
    putCodeLength(w, (*random)() % 4 ? favourites[(*random)() % 3] : int((*random)() % 16));
  for (int n = int((*random)() % 400); n > 0; n--) w.field((*random)(), 8);
  return w.bytes;
}

TEST(InflateReference, DamagedZlibStreams) {
  std::mt19937 random(7);
  std::string text;
  while (text.size() < 6000) text += "stream " + std::to_string(random() % 1000) + (random() % 3 ? " of text\n" : " ");
  Bytes data(text.begin(), text.end());
  static const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  for (int level = 0; level <= 9; level++)
    for (int strategy : strategies) {
      Bytes clean = rawDeflate(data, level, strategy);
      for (int trial = 0; trial < 200; trial++) {
        Bytes stream = clean;
        for (int flips = 1 + int(random() % 3); flips > 0; flips--) {
          size_t at = random() % 2 ? random() % std::min<size_t>(stream.size(), 64) : random() % stream.size();
          stream[at] ^= uint8_t(1 << (random() % 8));
        }
        if (random() % 3 == 0) stream.resize(random() % stream.size());
        size_t capacity = random() % 2 ? data.size() + 10 : random() % data.size();
        ASSERT_TRUE(sameAsReference(stream, capacity)) << hex(stream) << " capacity " << capacity;
      }
    }
}

// A non-final stored block of noise, so that most distances have bytes to reach.
Bytes storedNoise(std::mt19937* random) {
  uint16_t length = uint16_t((*random)() % 3000);
  Bytes block = {0, uint8_t(length), uint8_t(length >> 8), uint8_t(~length), uint8_t(~length >> 8)};
  for (int i = 0; i < length; i++) block.push_back(uint8_t((*random)()));
  return block;
}

TEST(InflateReference, ArbitraryCodes) {
  std::mt19937 random(1996);
  for (int trial = 0; trial < 6000; trial++) {
    Bytes stream = trial % 4 ? storedNoise(&random) : Bytes();
    Bytes block = arbitraryDynamicBlock(&random);
    stream.insert(stream.end(), block.begin(), block.end());
    if (trial % 2) {   // another block after the first, when the first is not final
      block = arbitraryDynamicBlock(&random);
      stream.insert(stream.end(), block.begin(), block.end());
    }
    size_t capacity = random() % 3 ? random() % 9000 : random() % 40;
    ASSERT_TRUE(sameAsReference(stream, capacity)) << hex(stream) << " capacity " << capacity;
  }
}

TEST(InflateReference, Noise) {
  std::mt19937 random(2024);
  for (int trial = 0; trial < 20000; trial++) {
    Bytes stream(random() % 300);
    for (uint8_t& b : stream) b = uint8_t(random());
    if (!stream.empty() && random() % 2) stream[0] = uint8_t((stream[0] & ~6) | 2);   // a fixed block first
    size_t capacity = random() % 3 ? random() % 3000 : random() % 20;
    ASSERT_TRUE(sameAsReference(stream, capacity)) << hex(stream) << " capacity " << capacity;
  }
}

}   // namespace
