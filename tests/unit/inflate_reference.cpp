// A deliberately plain raw DEFLATE decoder for the tests: 32-bit bit buffer
// filled a byte at a time, 9-bit lookup then a bit-by-bit canonical walk, every
// match byte by byte, tables rebuilt for every block. inflate() must agree with
// it on every input: result and every byte of the output buffer, including the
// bytes written before a failure and the bytes left untouched after them.
#include <stdint.h>
#include <string.h>

#include <vector>

int64_t referenceInflate(const uint8_t* input, uint64_t inputSize, uint8_t* output, uint64_t outputCapacity);

namespace {

const uint16_t lengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t distanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                   33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                   1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t distanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                   6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint8_t codeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct State {
  const uint8_t* in;
  const uint8_t* inEnd;
  uint32_t bitBuffer;
  int bitCount;
  uint8_t* outStart;
  uint8_t* out;
  uint8_t* outEnd;
};

struct Table {
  int16_t counts[16];
  int16_t symbols[320];
  int16_t fast[512];
};

void refill(State* s) {
  while (s->bitCount <= 24 && s->in < s->inEnd) {
    s->bitBuffer |= uint32_t(*s->in++) << s->bitCount;
    s->bitCount += 8;
  }
}

int getBits(State* s, int n) {
  if (s->bitCount < n) refill(s);
  if (s->bitCount < n) return -1;
  int value = int(s->bitBuffer & ((1u << n) - 1));
  s->bitBuffer = n == 32 ? 0 : s->bitBuffer >> n;
  s->bitCount -= n;
  return value;
}

void build(Table* t, const uint8_t* lengths, int count) {
  memset(t->counts, 0, sizeof(t->counts));
  for (int i = 0; i < count; i++) t->counts[lengths[i]]++;
  t->counts[0] = 0;
  int offset[16] = {};
  for (int len = 1; len < 15; len++) offset[len + 1] = offset[len] + t->counts[len];
  for (int i = 0; i < count; i++)
    if (lengths[i]) t->symbols[offset[lengths[i]]++] = int16_t(i);
  memset(t->fast, 0, sizeof(t->fast));
  int next[16] = {}, code = 0;
  for (int len = 1; len <= 15; len++) {
    code = (code + t->counts[len - 1]) * 2;
    next[len] = code;
  }
  for (int i = 0; i < count; i++) {
    int len = lengths[i];
    if (!len) continue;
    int c = next[len]++;
    if (len > 9) continue;
    int r = 0;
    for (int b = 0; b < len; b++) r |= ((c >> b) & 1) << (len - 1 - b);
    for (int slot = r; slot < 512; slot += 1 << len) t->fast[slot] = int16_t(i * 16 + len);
  }
}

int decode(State* s, const Table* t) {
  refill(s);
  int e = t->fast[s->bitBuffer & 511];
  if (e != 0 && (e & 15) <= s->bitCount) {
    s->bitBuffer >>= e & 15;
    s->bitCount -= e & 15;
    return e >> 4;
  }
  int code = 0, first = 0, index = 0;
  for (int len = 1; len <= 15; len++) {
    int bit = getBits(s, 1);
    if (bit < 0) return -1;
    code |= bit;
    int count = t->counts[len];
    if (code - count < first) return t->symbols[index + code - first];
    index += count;
    first = (first + count) * 2;
    code *= 2;
  }
  return -1;
}

int blockData(State* s, const Table* lit, const Table* dist) {
  for (;;) {
    int sym = decode(s, lit);
    if (sym < 0) return -1;
    if (sym < 256) {
      if (s->out == s->outEnd) return 1;
      *s->out++ = uint8_t(sym);
    } else if (sym == 256) {
      return 0;
    } else if (sym > 285) {
      return -1;
    } else {
      int extra = getBits(s, lengthExtra[sym - 257]);
      if (extra < 0) return -1;
      int length = lengthBase[sym - 257] + extra;
      int d = decode(s, dist);
      if (d < 0 || d > 29) return -1;
      extra = getBits(s, distanceExtra[d]);
      if (extra < 0) return -1;
      int64_t distance = distanceBase[d] + extra;
      if (distance > s->out - s->outStart) return -1;
      for (int i = 0; i < length; i++) {
        if (s->out == s->outEnd) return 1;
        *s->out = *(s->out - distance);
        s->out++;
      }
    }
  }
}

int dynamicBlock(State* s, Table* lit, Table* dist) {
  int hlit = getBits(s, 5), hdist = getBits(s, 5), hclen = getBits(s, 4);
  if (hlit < 0 || hdist < 0 || hclen < 0) return -1;
  hlit += 257;
  hdist += 1;
  hclen += 4;
  if (hlit > 286 || hdist > 30) return -1;
  uint8_t lengths[320] = {};
  for (int i = 0; i < hclen; i++) {
    int len = getBits(s, 3);
    if (len < 0) return -1;
    lengths[codeLengthOrder[i]] = uint8_t(len);
  }
  build(lit, lengths, 19);
  memset(lengths, 0, sizeof(lengths));
  int i = 0;
  while (i < hlit + hdist) {
    int sym = decode(s, lit);
    if (sym < 0) return -1;
    if (sym < 16) {
      lengths[i++] = uint8_t(sym);
      continue;
    }
    int value = 0, repeat;
    if (sym == 16) {
      if (i == 0) return -1;
      value = lengths[i - 1];
      repeat = getBits(s, 2);
      if (repeat < 0) return -1;
      repeat += 3;
    } else if (sym == 17) {
      repeat = getBits(s, 3);
      if (repeat < 0) return -1;
      repeat += 3;
    } else {
      repeat = getBits(s, 7);
      if (repeat < 0) return -1;
      repeat += 11;
    }
    if (i + repeat > hlit + hdist) return -1;
    while (repeat--) lengths[i++] = uint8_t(value);
  }
  build(lit, lengths, hlit);
  build(dist, lengths + hlit, hdist);
  return blockData(s, lit, dist);
}

}   // namespace

int64_t referenceInflate(const uint8_t* input, uint64_t inputSize, uint8_t* output, uint64_t outputCapacity) {
  std::vector<Table> tables(2);
  Table* lit = &tables[0];
  Table* dist = &tables[1];
  State s = {input, input + inputSize, 0, 0, output, output, output + outputCapacity};
  for (;;) {
    int final = getBits(&s, 1), type = getBits(&s, 2);
    if (final < 0 || type < 0) return -1;
    int result;
    if (type == 0) {
      int drop = s.bitCount % 8;
      s.bitBuffer >>= drop;
      s.bitCount -= drop;
      int len = getBits(&s, 16), nlen = getBits(&s, 16);
      if (len < 0 || nlen < 0) return -1;
      result = 0;
      for (int i = 0; i < len; i++) {
        int b = getBits(&s, 8);
        if (b < 0) return -1;
        if (s.out == s.outEnd) return s.out - s.outStart;
        *s.out++ = uint8_t(b);
      }
    } else if (type == 1) {
      uint8_t lengths[288];
      for (int i = 0; i < 288; i++) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
      build(lit, lengths, 288);
      for (int i = 0; i < 30; i++) lengths[i] = 5;
      build(dist, lengths, 30);
      result = blockData(&s, lit, dist);
    } else if (type == 2) {
      result = dynamicBlock(&s, lit, dist);
    } else {
      return -1;
    }
    if (result < 0) return -1;
    if (result == 1 || final) return s.out - s.outStart;
  }
}
