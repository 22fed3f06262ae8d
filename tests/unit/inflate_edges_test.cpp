// Edge cases of the raw DEFLATE decoder, on streams written field by field.
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "inflate/inflate.h"
#include "tests/support/bitwriter.h"

namespace {

const int lengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                            31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const int lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const int distanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                              193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const int distanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                               6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Canonical codes (RFC 1951 3.2.2) of a set of code lengths.
std::vector<uint32_t> canonicalCodes(const std::vector<int>& lengths) {
  int counts[16] = {}, next[16] = {};
  for (int length : lengths) counts[length]++;
  counts[0] = 0;
  for (int length = 1, code = 0; length < 16; length++) next[length] = code = (code + counts[length - 1]) << 1;
  std::vector<uint32_t> codes(lengths.size());
  for (size_t symbol = 0; symbol < lengths.size(); symbol++)
    if (lengths[symbol]) codes[symbol] = uint32_t(next[lengths[symbol]]++);
  return codes;
}

// One code the tests write symbols with.
struct Code {
  std::vector<int> lengths;
  std::vector<uint32_t> codes;
  explicit Code(std::vector<int> l) : lengths(std::move(l)), codes(canonicalCodes(lengths)) {}
  void put(BitWriter& w, int symbol) const {
    w.code(codes[size_t(symbol)], lengths[size_t(symbol)]);
  }
};

Code fixedLiteralLengthCode() {
  std::vector<int> lengths(288);
  for (int s = 0; s < 288; s++) lengths[size_t(s)] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  return Code(lengths);
}
const Code fixedCode = fixedLiteralLengthCode();
const Code fixedDistanceCode(std::vector<int>(32, 5));

// A length or distance as its symbol and extra bits.
void putLength(BitWriter& w, const Code& code, int length) {
  int i = 28;
  while (lengthBase[i] > length) i--;
  code.put(w, 257 + i);
  w.field(uint32_t(length - lengthBase[i]), lengthExtra[i]);
}
void putDistance(BitWriter& w, const Code& code, int distance) {
  int i = 29;
  while (distanceBase[i] > distance) i--;
  code.put(w, i);
  w.field(uint32_t(distance - distanceBase[i]), distanceExtra[i]);
}

// The code-length code these tests send: lengths 0-15 in 5 bits, repeats 16 and 17 in 3, repeat 18 in 2.
const Code codeLengthCode(std::vector<int>{5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 3, 3, 2});
const int codeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Dynamic block header up to its code lengths, which the caller sends.
void dynamicHeaderFields(BitWriter& w, bool final, int literalCodes, int distanceCodes) {
  w.field(final, 1);                          // BFINAL
  w.field(2, 2);                              // BTYPE: dynamic codes
  w.field(uint32_t(literalCodes - 257), 5);   // HLIT
  w.field(uint32_t(distanceCodes - 1), 5);    // HDIST
  w.field(19 - 4, 4);                         // HCLEN: all 19 code-length code lengths follow
  for (int i = 0; i < 19; i++) w.field(uint32_t(codeLengthCode.lengths[size_t(codeLengthOrder[i])]), 3);
}

// A whole dynamic header sending each length as itself.
void dynamicHeader(BitWriter& w, bool final, const Code& literalLength, const Code& distance) {
  dynamicHeaderFields(w, final, int(literalLength.lengths.size()), int(distance.lengths.size()));
  for (int length : literalLength.lengths) codeLengthCode.put(w, length);
  for (int length : distance.lengths) codeLengthCode.put(w, length);
}

// Lengths for a dynamic code: the listed symbols get the listed lengths, the rest 0.
std::vector<int> lengthsOf(size_t count, std::vector<std::pair<int, int>> symbolLengths) {
  std::vector<int> lengths(count, 0);
  for (auto [symbol, length] : symbolLengths) lengths[size_t(symbol)] = length;
  return lengths;
}

void fixedHeader(BitWriter& w, bool final) {
  w.field(final, 1);   // BFINAL
  w.field(1, 2);       // BTYPE: fixed codes
}

void storedHeader(BitWriter& w, bool final, uint16_t length, uint16_t lengthComplement) {
  w.field(final, 1);   // BFINAL
  w.field(0, 2);       // BTYPE: stored
  w.padToByte();
  w.field(length, 16);             // LEN
  w.field(lengthComplement, 16);   // NLEN
}

void fixedLiterals(BitWriter& w, const std::string& text) {
  for (unsigned char c : text) fixedCode.put(w, c);
}

// Decodes into a buffer of capacity bytes followed by guard bytes; the guards must survive.
struct Decoded {
  int64_t result;
  std::string bytes;   // the first max(result, 0) bytes
};

// The table block comes from the heap uncleared: hand out blocks full of junk.
void* junkBlock(size_t size) {
  static uint8_t junk = 0;
  void* block = malloc(size);
  if (block) memset(block, junk += 0x5B, size);
  return block;
}

Decoded decode(const std::vector<uint8_t>& stream, size_t capacity) {
  std::vector<uint8_t> buffer(capacity + 16, 0xA5);
  void* (*saved)(size_t) = inflateAllocateTables;
  inflateAllocateTables = junkBlock;
  int64_t result = inflate(stream.data(), stream.size(), buffer.data(), capacity);
  inflateAllocateTables = saved;
  for (size_t i = capacity; i < buffer.size(); i++) EXPECT_EQ(buffer[i], 0xA5) << "wrote past the capacity at " << i;
  return {result, std::string(buffer.begin(), buffer.begin() + (result > 0 ? result : 0))};
}

Decoded decode(const BitWriter& w, size_t capacity = 1024) {
  return decode(w.bytes, capacity);
}

// "abc" then a match of 6 from 3 back, in one final fixed block.
BitWriter abcStream() {
  BitWriter w;
  fixedHeader(w, true);
  fixedLiterals(w, "abc");
  putLength(w, fixedCode, 6);
  putDistance(w, fixedDistanceCode, 3);
  fixedCode.put(w, 256);   // end of block
  return w;
}

TEST(InflateEdges, EmptyOrTooShortInputFails) {
  EXPECT_EQ(decode(std::vector<uint8_t>{}, 16).result, -1);
  BitWriter w;
  w.field(1, 1);   // BFINAL
  w.field(0, 2);   // BTYPE: stored, and the input ends before LEN
  EXPECT_EQ(decode(w).result, -1);
}

TEST(InflateEdges, FullBufferReturnsTheCapacity) {
  BitWriter w = abcStream();
  EXPECT_EQ(decode(w).bytes, "abcabcabc");
  for (size_t capacity = 0; capacity < 9; capacity++) {
    Decoded d = decode(w, capacity);
    EXPECT_EQ(d.result, int64_t(capacity));
    EXPECT_EQ(d.bytes, std::string("abcabcabc").substr(0, capacity));
  }
  BitWriter stored;
  storedHeader(stored, true, 2, 0xFFFD);
  stored.byte('x');
  stored.byte('y');
  EXPECT_EQ(decode(stored, 0).result, 0);
}

// A stream cannot begin with a match: its distance reaches before the output,
// and that is found before the buffer is found full.
TEST(InflateEdges, LeadingMatchFailsEvenWithNoRoom) {
  BitWriter w;
  fixedHeader(w, true);
  putLength(w, fixedCode, 3);
  putDistance(w, fixedDistanceCode, 1);
  fixedCode.put(w, 256);
  EXPECT_EQ(decode(w, 0).result, -1);
  EXPECT_EQ(decode(w, 10).result, -1);
}

TEST(InflateEdges, StreamEndingExactlyAtTheCapacity) {
  BitWriter w = abcStream();
  EXPECT_EQ(decode(w, 9).result, 9);
  // Filling the buffer is not enough: without its end-of-block the stream is cut short.
  BitWriter cut;
  fixedHeader(cut, true);
  fixedLiterals(cut, "abc");
  ASSERT_LT(cut.bytes.size() * 8 - cut.bitCount, 7u);   // too few padding bits for a 7-bit end of block
  EXPECT_EQ(decode(cut, 3).result, -1);
  EXPECT_EQ(decode(cut, 2).result, 2);   // the third literal did not fit
}

TEST(InflateEdges, StoredBlocks) {
  BitWriter w;
  storedHeader(w, false, 0, 0xFFFF);   // LEN 0: nothing, and on to the next block
  w.field(0, 1);                       // BFINAL
  w.field(0, 2);                       // BTYPE: stored
  w.field(0x1F, 5);                    // padding bits, which are dropped whatever they hold
  w.field(3, 16);                      // LEN
  w.field(0x1234, 16);                 // NLEN, not the complement of LEN: accepted
  w.byte('a');
  w.byte('b');
  w.byte('c');
  fixedHeader(w, true);   // a fixed block starting on a byte boundary
  fixedLiterals(w, "d");
  fixedCode.put(w, 256);
  EXPECT_EQ(decode(w).bytes, "abcd");

  BitWriter mid;   // a stored block after a fixed block, from the middle of a byte
  fixedHeader(mid, false);
  fixedLiterals(mid, "x");
  fixedCode.put(mid, 256);
  storedHeader(mid, true, 2, 0xFFFD);
  mid.byte('y');
  mid.byte('z');
  EXPECT_EQ(decode(mid).bytes, "xyz");
}

TEST(InflateEdges, StoredBlockCutShortOrOverflowing) {
  BitWriter w;
  storedHeader(w, true, 5, 0xFFFA);
  for (char c : std::string("hello")) w.byte(uint8_t(c));
  EXPECT_EQ(decode(w).bytes, "hello");
  EXPECT_EQ(decode(w, 3).result, 3);   // the 4th byte is there but does not fit
  std::vector<uint8_t> bytes = w.bytes;
  bytes.resize(bytes.size() - 2);           // 3 data bytes left
  EXPECT_EQ(decode(bytes, 3).result, -1);   // the byte that would not fit is not there either
  EXPECT_EQ(decode(bytes, 16).result, -1);
  bytes.resize(6);   // LEN and half of NLEN
  EXPECT_EQ(decode(bytes, 16).result, -1);
}

TEST(InflateEdges, TrailingBytesIgnoredAndNonFinalEndFails) {
  BitWriter w = abcStream();
  w.byte(0xFF);
  w.byte(0x07);   // would be a reserved block type if read
  EXPECT_EQ(decode(w).bytes, "abcabcabc");

  BitWriter open;
  fixedHeader(open, false);
  fixedLiterals(open, "abc");
  fixedCode.put(open, 256);
  EXPECT_EQ(decode(open).result, -1);
}

TEST(InflateEdges, ReservedBlockTypeFails) {
  BitWriter w;
  w.field(1, 1);   // BFINAL
  w.field(3, 2);   // BTYPE 3
  w.field(0, 16);
  EXPECT_EQ(decode(w).result, -1);
}

TEST(InflateEdges, DistanceUpToTheBytesWritten) {
  for (int distance : {4, 5}) {
    BitWriter w;
    fixedHeader(w, true);
    fixedLiterals(w, "wxyz");
    putLength(w, fixedCode, 5);
    putDistance(w, fixedDistanceCode, distance);
    fixedCode.put(w, 256);
    if (distance == 4) {
      EXPECT_EQ(decode(w).bytes, "wxyzwxyzw");
      EXPECT_EQ(decode(w, 4).result, 4);
    } else {
      EXPECT_EQ(decode(w).result, -1);
      EXPECT_EQ(decode(w, 4).result, -1);   // checked even when the buffer is already full
    }
  }
}

TEST(InflateEdges, LongestMatchAtDistanceOne) {
  for (int viaSymbol284 : {0, 1}) {
    BitWriter w;
    fixedHeader(w, true);
    fixedLiterals(w, "q");
    if (viaSymbol284) {
      fixedCode.put(w, 284);
      w.field(31, 5);   // 227 + 31 = 258
    } else {
      putLength(w, fixedCode, 258);   // symbol 285
    }
    putDistance(w, fixedDistanceCode, 1);
    fixedCode.put(w, 256);
    EXPECT_EQ(decode(w).bytes, std::string(259, 'q'));
  }
}

TEST(InflateEdges, FixedBlockForbiddenSymbols) {
  for (int symbol : {286, 287}) {
    BitWriter w;
    fixedHeader(w, true);
    fixedLiterals(w, "ab");
    fixedCode.put(w, symbol);
    w.field(0, 16);
    EXPECT_EQ(decode(w).result, -1) << symbol;
  }
  for (int code : {30, 31}) {
    BitWriter w;
    fixedHeader(w, true);
    fixedLiterals(w, "ab");
    putLength(w, fixedCode, 3);
    fixedDistanceCode.put(w, code);
    w.field(0, 16);
    EXPECT_EQ(decode(w).result, -1) << code;
  }
}

TEST(InflateEdges, DynamicHeaderCountLimits) {
  const Code distance(std::vector<int>(30, 5));
  for (int literalField : {29, 30, 31}) {
    for (int distanceField : {29, 30, 31}) {
      std::vector<int> lengths(size_t(257 + literalField), 0);
      lengths[0] = lengths[256] = 1;   // 'NUL' and end of block
      BitWriter w;
      dynamicHeader(w, true, Code(lengths), Code(std::vector<int>(size_t(1 + distanceField), 5)));
      w.field(0, 1);   // NUL
      w.field(1, 1);   // end of block
      int64_t expected = literalField <= 29 && distanceField <= 29 ? 1 : -1;
      EXPECT_EQ(decode(w).result, expected) << literalField << " " << distanceField;
    }
  }
}

TEST(InflateEdges, SingleOneBitDistanceCode) {
  const Code literals(lengthsOf(286, {{'m', 2}, {256, 2}, {257, 2}}));   // 257 is length 3
  const Code distance(std::vector<int>{1});                              // distance 1 only, code "0"
  BitWriter w;
  dynamicHeader(w, true, literals, distance);
  literals.put(w, 'm');
  literals.put(w, 257);
  distance.put(w, 0);
  literals.put(w, 256);
  EXPECT_EQ(decode(w).bytes, "mmmm");

  BitWriter other;
  dynamicHeader(other, true, literals, distance);
  literals.put(other, 'm');
  literals.put(other, 257);
  other.code(1, 1);   // the 1-bit pattern without a code
  literals.put(other, 256);
  EXPECT_EQ(decode(other).result, -1);
}

TEST(InflateEdges, CodeLengthRepeats) {
  BitWriter w;
  dynamicHeaderFields(w, true, 257, 1);
  codeLengthCode.put(w, 18);   // 0..64: 11 + 54 zeros
  w.field(54, 7);
  codeLengthCode.put(w, 3);    // 'A': 3
  codeLengthCode.put(w, 16);   // 'B'..'D': the previous length, 3 + 0 times
  w.field(0, 2);
  codeLengthCode.put(w, 17);   // 69..78: 3 + 7 zeros
  w.field(7, 3);
  codeLengthCode.put(w, 18);   // 79..216: 11 + 127 zeros
  w.field(127, 7);
  codeLengthCode.put(w, 18);   // 217..255: 11 + 28 zeros
  w.field(28, 7);
  codeLengthCode.put(w, 3);   // 256: 3
  codeLengthCode.put(w, 1);   // distance code 0: 1
  const Code literals(lengthsOf(257, {{'A', 3}, {'B', 3}, {'C', 3}, {'D', 3}, {256, 3}}));
  literals.put(w, 'D');
  literals.put(w, 'A');
  literals.put(w, 256);
  EXPECT_EQ(decode(w).bytes, "DA");

  // 256 zeros, 256 gets 2, then a repeat of that 2 three times: across the border
  // into the distance lengths, ending exactly at the last of 3 or one past 2.
  for (int distanceCodes : {2, 3}) {
    BitWriter across;
    dynamicHeaderFields(across, true, 257, distanceCodes);
    codeLengthCode.put(across, 18);   // 0..137
    across.field(127, 7);
    codeLengthCode.put(across, 18);   // 138..255
    across.field(118 - 11, 7);
    codeLengthCode.put(across, 2);    // 256
    codeLengthCode.put(across, 16);   // 3 more 2s
    across.field(0, 2);
    across.code(0, 2);   // end of block: "00"
    EXPECT_EQ(decode(across).result, distanceCodes == 3 ? 0 : -1) << distanceCodes;
  }

  BitWriter first;
  dynamicHeaderFields(first, true, 257, 1);
  codeLengthCode.put(first, 16);   // nothing to repeat yet
  first.field(0, 2);
  first.field(0, 16);
  EXPECT_EQ(decode(first).result, -1);

  BitWriter cut;
  dynamicHeaderFields(cut, true, 257, 1);
  codeLengthCode.put(cut, 18);   // and the input ends before its 7 repeat bits
  ASSERT_LT(cut.bytes.size() * 8 - cut.bitCount, 7u);
  EXPECT_EQ(decode(cut).result, -1);
}

// Over-subscribed and incomplete codes are not rejected: they decode as far as
// their bits lead.
TEST(InflateEdges, UnvalidatedCodeLengths) {
  // Three 1-bit codes: 'A' = 0, 'B' = 1, end of block = "0" again (its code 2 keeps
  // only its low bit). The later symbol keeps the shared pattern.
  BitWriter over;
  dynamicHeader(over, true, Code(lengthsOf(257, {{'A', 1}, {'B', 1}, {256, 1}})), Code({0}));
  over.field(0b011, 3);   // B, B, end of block
  EXPECT_EQ(decode(over).bytes, "BB");

  // 'A' = 00 and end of block = 01; 10 and 11 have no code.
  const Code incomplete(lengthsOf(257, {{'A', 2}, {256, 2}}));
  BitWriter gap;
  dynamicHeader(gap, true, incomplete, Code({0}));
  incomplete.put(gap, 'A');
  gap.code(2, 2);
  EXPECT_EQ(decode(gap).result, -1);

  // No end-of-block code: the block ends only with the buffer.
  const Code endless(lengthsOf(257, {{'A', 1}, {'B', 1}}));
  BitWriter noEnd;
  dynamicHeader(noEnd, true, endless, Code({0}));
  noEnd.field(0b10101010, 8);
  EXPECT_EQ(decode(noEnd, 5).bytes, "ABABA");
  EXPECT_EQ(decode(noEnd, 100).result, -1);   // the input runs out first
}

TEST(InflateEdges, TableBlockRefusedFails) {
  BitWriter w = abcStream();
  void* (*saved)(size_t) = inflateAllocateTables;
  inflateAllocateTables = [](size_t) -> void* { return nullptr; };
  int64_t refused = inflate(w.bytes.data(), w.bytes.size(), nullptr, 0);
  inflateAllocateTables = saved;
  EXPECT_EQ(refused, -1);
  EXPECT_EQ(decode(w).result, 9);
}

// The most bits one step can take: two 15-bit literals, then a 15-bit length
// code with 5 extra bits and a 15-bit distance code with 13, at every alignment.
TEST(InflateEdges, LongestCodesBackToBack) {
  // Literal/length: 'a' 1 bit, 285 2, end of block 3, 'b'..'k' 4 to 13, and four 15-bit codes.
  std::vector<std::pair<int, int>> literalLengths = {{'a', 1},  {285, 2},  {256, 3}, {'X', 15},
                                                     {'Y', 15}, {'Z', 15}, {284, 15}};
  for (int i = 0; i < 10; i++) literalLengths.push_back({'b' + i, 4 + i});
  // Distance: codes 0..12 in 1 to 13 bits, 26..29 in 15.
  std::vector<std::pair<int, int>> distanceLengths = {{26, 15}, {27, 15}, {28, 15}, {29, 15}};
  for (int i = 0; i < 13; i++) distanceLengths.push_back({i, 1 + i});
  const Code literals(lengthsOf(286, literalLengths)), distances(lengthsOf(30, distanceLengths));

  BitWriter w;
  dynamicHeader(w, true, literals, distances);
  std::string expected = "a";
  literals.put(w, 'a');
  for (int i = 0; i < 130; i++) {   // 33,540 more bytes of history
    literals.put(w, 285);
    distances.put(w, 0);
    expected += std::string(258, 'a');
  }
  for (int k = 0; k < 8; k++) {
    for (int i = 0; i < k; i++) literals.put(w, 'b' + i);
    literals.put(w, 'X');
    literals.put(w, 'Y');
    literals.put(w, 284);
    w.field(31, 5);   // length 258
    distances.put(w, 29);
    w.field(uint32_t(k * 1000), 13);   // distance 24577 + k * 1000
    expected += std::string("bcdefghijk").substr(0, size_t(k)) + "XY";
    for (int i = 0; i < 258; i++) expected += expected[expected.size() - size_t(24577 + k * 1000)];
  }
  literals.put(w, 256);
  for (int i = 0; i < 32; i++) w.byte(0);   // room for the fast path to the end
  EXPECT_TRUE(decode(w, expected.size()).bytes == expected);
}

// Every match distance up to 40 with lengths 3 to 258, whole and cut by the
// buffer, against a byte-by-byte copy; nothing past the match may change.
TEST(InflateMatches, CopiesExactlyTheMatchBytes) {
  std::string prefix;
  for (int i = 0; i < 40; i++) prefix += char('A' + (i * 7) % 26);
  std::vector<int> lengths = {50, 64, 100, 127, 128, 129, 200, 257, 258};
  for (int length = 3; length <= 40; length++) lengths.push_back(length);
  for (int distance = 1; distance <= 40; distance++) {
    for (int length : lengths) {
      BitWriter w;
      fixedHeader(w, true);
      fixedLiterals(w, prefix);
      putLength(w, fixedCode, length);
      putDistance(w, fixedDistanceCode, distance);
      fixedCode.put(w, 256);
      std::string expected = prefix;
      for (int i = 0; i < length; i++) expected += expected[expected.size() - size_t(distance)];
      ASSERT_EQ(decode(w, expected.size() + 20).bytes, expected) << distance << " " << length;
      size_t cut = prefix.size() + size_t(length) / 2;
      ASSERT_EQ(decode(w, cut).bytes, expected.substr(0, cut)) << distance << " " << length;
    }
  }
}

}   // namespace
