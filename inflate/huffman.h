// The codes of a DEFLATE block as tables (RFC 1951 3.2.2, 3.2.5 to 3.2.7): the
// wire tables, a canonical Huffman table built from code lengths as they
// literally say, the wide decoding tables built from a prefix-free code, and the
// fixed codes, built once by the compiler. Used only by inflate.cpp, which
// decodes through them; everything here is file-private to that one translation
// unit, so the compiler sees the builders and the decoder together.
#ifndef BRISA_INFLATE_HUFFMAN_H
#define BRISA_INFLATE_HUFFMAN_H

#include <stdint.h>

namespace {

// ---------------------------------------------------------------------------
// Wire tables of RFC 1951

const int MAX_CODE_BITS = 15;
const int END_OF_BLOCK = 256;
const int FIRST_LENGTH_SYMBOL = 257;
const int LAST_LENGTH_SYMBOL = 285;
const int DISTANCE_CODES = 30;              // 30 and 31 appear only in fixed blocks, never valid
const int MAX_LITERAL_LENGTH_CODES = 286;   // HLIT limit
const int FIXED_LITERAL_LENGTH_CODES = 288;
const int CODE_LENGTH_CODES = 19;

// Length symbols 257..285 (3.2.5): base length and extra bits; 285 is 258 exactly.
constexpr uint16_t LENGTH_BASE[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// Distance codes 0..29 (3.2.5): base distance and extra bits.
constexpr uint16_t DISTANCE_BASE[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                        33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t DISTANCE_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Order in which the code-length code's lengths are sent (3.2.7).
const uint8_t CODE_LENGTH_ORDER[CODE_LENGTH_CODES] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// ---------------------------------------------------------------------------
// Canonical Huffman codes as their lengths literally say

const int FAST_BITS = 9;
const int FAST_ENTRIES = 1 << FAST_BITS;

// Decoding table of one code: counts per length, symbols in canonical order, and
// a lookup of the next 9 bits giving symbol * 16 + code length (0 = no code).
struct HuffmanTable {
  int16_t counts[MAX_CODE_BITS + 1];   // counts[0] is always 0
  int16_t symbols[320];
  int16_t fast[FAST_ENTRIES];
};
static_assert(FAST_ENTRIES == 512, "the fast area is indexed by 9 bits");
static_assert(sizeof(HuffmanTable) == 848 * sizeof(int16_t), "counts 16 + symbols 320 + fast 512");
static_assert(FIXED_LITERAL_LENGTH_CODES <= 320, "every symbol fits the symbols area");

// The low length bits of code (length 1 to 15) in reverse order.
constexpr uint32_t reverseBits(uint32_t code, int length) {
  uint32_t v = code & ((1u << length) - 1);
  v = (v >> 1 & 0x5555) | (v & 0x5555) << 1;
  v = (v >> 2 & 0x3333) | (v & 0x3333) << 2;
  v = (v >> 4 & 0x0F0F) | (v & 0x0F0F) << 4;
  v = (v >> 8 & 0x00FF) | (v & 0x00FF) << 8;
  return v >> (16 - length);
}

// Canonical code of RFC 1951 3.2.2, first half: counts per length and the
// symbols in canonical order (by length, then by value). count is at most 288,
// every length 0 to 15.
constexpr void sortSymbols(HuffmanTable* table, const uint8_t* lengths, int count) {
  for (int length = 0; length <= MAX_CODE_BITS; length++) table->counts[length] = 0;
  for (int symbol = 0; symbol < count; symbol++) table->counts[lengths[symbol]]++;
  table->counts[0] = 0;

  int offsets[MAX_CODE_BITS + 1] = {};
  for (int length = 1; length < MAX_CODE_BITS; length++) offsets[length + 1] = offsets[length] + table->counts[length];
  for (int symbol = 0; symbol < count; symbol++)
    if (lengths[symbol] != 0) table->symbols[offsets[lengths[symbol]]++] = int16_t(symbol);
}

// Second half: the 9-bit lookup. The lengths are not validated: where the codes
// of an over-subscribed set collide the later symbol keeps the slot.
constexpr void fillFastArea(HuffmanTable* table, const uint8_t* lengths, int count) {
  for (int slot = 0; slot < FAST_ENTRIES; slot++) table->fast[slot] = 0;
  int next[MAX_CODE_BITS + 1] = {};
  int code = 0;
  for (int length = 1; length <= MAX_CODE_BITS; length++) {
    code = (code + table->counts[length - 1]) * 2;
    next[length] = code;
  }
  for (int symbol = 0; symbol < count; symbol++) {
    int length = lengths[symbol];
    if (length == 0) continue;
    int symbolCode = next[length]++;
    if (length > FAST_BITS) continue;
    for (uint32_t slot = reverseBits(uint32_t(symbolCode), length); slot < FAST_ENTRIES; slot += 1u << length)
      table->fast[slot] = int16_t(symbol * 16 + length);
  }
}

// The table decodeSymbol reads. Over-subscribed and incomplete sets are built as
// they come; bit patterns without a code are found only when decoded.
constexpr void buildTable(HuffmanTable* table, const uint8_t* lengths, int count) {
  sortSymbols(table, lengths, count);
  fillFastArea(table, lengths, count);
}

// ---------------------------------------------------------------------------
// Wide tables, fast path
//
// An entry is one 32-bit word:
//   bits 0-7    bits to drop: code bits + extra bits (a sub-table link: the main table's bits)
//   bits 8-23   literal byte, length base, distance base, or sub-table offset
//   bits 24-27  code bits of this table level (a sub-table link: the sub-table's index bits)
//   bits 28-31  flags below; a word with ENTRY_EXCEPTIONAL alone means "no valid symbol here"

const uint32_t ENTRY_LITERAL = 0x80000000u;
const uint32_t ENTRY_EXCEPTIONAL = 0x40000000u;   // end of block, sub-table link, or invalid
const uint32_t ENTRY_SUBTABLE = 0x20000000u;
const uint32_t ENTRY_END_OF_BLOCK = 0x10000000u;
const uint32_t ENTRY_INVALID = ENTRY_EXCEPTIONAL;

const int LITERAL_LENGTH_BITS = 10;
const int DISTANCE_BITS = 8;
const int CODE_LENGTH_BITS = 7;   // every code-length code fits: its lengths are 3-bit fields
// Room for the main table plus sub-tables. Complete codes need at most about
// 1,330 (literal/length) and 400 (distance) entries with these main tables (zlib
// counts the worst cases exhaustively); a code that would need more is left to
// the HuffmanTable path.
const int LITERAL_LENGTH_ENTRIES = 1536;
const int DISTANCE_ENTRIES = 512;
static_assert(LITERAL_LENGTH_ENTRIES >= (1 << LITERAL_LENGTH_BITS) + (1 << (MAX_CODE_BITS - LITERAL_LENGTH_BITS)) &&
                  DISTANCE_ENTRIES >= (1 << DISTANCE_BITS) + (1 << (MAX_CODE_BITS - DISTANCE_BITS)),
              "a main table and its largest sub-table fit");
static_assert(LITERAL_LENGTH_ENTRIES >= (1 << CODE_LENGTH_BITS), "the code-length code shares the literal/length room");
static_assert(LITERAL_LENGTH_ENTRIES < 65536 && DISTANCE_ENTRIES < 65536, "sub-table offsets fit 16 bits");

constexpr uint32_t makeEntry(uint32_t flags, uint32_t value, uint32_t codeBits, uint32_t extraBits) {
  return flags | value << 8 | codeBits << 24 | (codeBits + extraBits);
}
inline uint32_t entryValue(uint32_t entry) {
  return (entry >> 8) & 0xFFFF;
}
inline uint32_t entryCodeBits(uint32_t entry) {
  return (entry >> 24) & 15;
}
inline uint32_t entryDropBits(uint32_t entry) {
  return entry & 0xFF;
}

constexpr uint32_t literalLengthEntry(int symbol, uint32_t codeBits) {
  if (symbol < END_OF_BLOCK) return makeEntry(ENTRY_LITERAL, uint32_t(symbol), codeBits, 0);
  if (symbol == END_OF_BLOCK) return makeEntry(ENTRY_EXCEPTIONAL | ENTRY_END_OF_BLOCK, 0, codeBits, 0);
  if (symbol <= LAST_LENGTH_SYMBOL)
    return makeEntry(0, LENGTH_BASE[symbol - FIRST_LENGTH_SYMBOL], codeBits,
                     LENGTH_EXTRA[symbol - FIRST_LENGTH_SYMBOL]);
  return ENTRY_INVALID;   // 286 and 287 only complete the fixed code
}

constexpr uint32_t distanceEntry(int symbol, uint32_t codeBits) {
  if (symbol < DISTANCE_CODES) return makeEntry(0, DISTANCE_BASE[symbol], codeBits, DISTANCE_EXTRA[symbol]);
  return ENTRY_INVALID;   // 30 and 31 only complete the fixed code
}

// What a code's symbols stand for, and so what its wide entries hold.
enum CodeKind { CODE_LENGTH_CODE, LITERAL_LENGTH_CODE, DISTANCE_CODE };

constexpr uint32_t symbolEntry(CodeKind kind, int symbol, uint32_t codeBits) {
  if (kind == LITERAL_LENGTH_CODE) return literalLengthEntry(symbol, codeBits);
  if (kind == DISTANCE_CODE) return distanceEntry(symbol, codeBits);
  return makeEntry(0, uint32_t(symbol), codeBits, 0);   // a code length or a repeat, 0 to 18
}

constexpr void fillEntries(uint32_t* entries, int count, uint32_t entry) {
  for (int i = 0; i < count; i++) entries[i] = entry;
}

constexpr void copyEntries(uint32_t* to, const uint32_t* from, int count) {
  for (int i = 0; i < count; i++) to[i] = from[i];
}

// Wide table of a code whose symbols sortSymbols has put in order: a main table
// indexed by the next tableBits bits, and for longer codes sub-tables sized as
// zlib sizes them (just big enough for the codes that share their prefix).
// Returns false when the code is over-subscribed or would not fit in capacity
// entries: only its HuffmanTable may decode it then.
constexpr bool buildWideTable(uint32_t* entries, int capacity, int tableBits, const HuffmanTable* table,
                              CodeKind kind) {
  int unused = 1;   // code space left, in units of the current length
  for (int length = 1; length <= MAX_CODE_BITS; length++) {
    unused = unused * 2 - table->counts[length];
    if (unused < 0) return false;   // over-subscribed
  }
  bool complete = unused == 0;
  int mainSize = 1 << tableBits;
  // The main table grows with the code length: codes of length L are written
  // once into the first 2^L slots, which are then doubled for length L + 1. Slots
  // that no code reaches keep the 2 invalid entries they started from.
  fillEntries(entries, 2, ENTRY_INVALID);

  int remaining[MAX_CODE_BITS + 1] = {};
  for (int length = 1; length <= MAX_CODE_BITS; length++) remaining[length] = table->counts[length];
  uint32_t code = 0;   // canonical code, first bit highest
  int index = 0;
  int nextFree = mainSize;
  int prefix = -1, subStart = 0, subBits = 0;
  for (int length = 1; length <= MAX_CODE_BITS; length++, code <<= 1) {
    if (length > 1 && length <= tableBits) copyEntries(entries + (1 << (length - 1)), entries, 1 << (length - 1));
    for (int k = 0; k < table->counts[length]; k++, code++) {
      int symbol = table->symbols[index++];
      uint32_t reversed = reverseBits(code, length);
      if (length <= tableBits) {
        entries[reversed] = symbolEntry(kind, symbol, uint32_t(length));
      } else {
        if (int(reversed & uint32_t(mainSize - 1)) != prefix) {   // first code of a new prefix
          prefix = int(reversed & uint32_t(mainSize - 1));
          subBits = length - tableBits;
          int room = 1 << subBits;
          while (subBits + tableBits < MAX_CODE_BITS) {
            room -= remaining[subBits + tableBits];
            if (room <= 0) break;
            subBits++;
            room <<= 1;
          }
          if (nextFree > capacity - (1 << subBits)) return false;
          subStart = nextFree;
          nextFree += 1 << subBits;
          if (!complete) fillEntries(entries + subStart, 1 << subBits, ENTRY_INVALID);
          entries[prefix] = ENTRY_EXCEPTIONAL | ENTRY_SUBTABLE | uint32_t(subStart) << 8 | uint32_t(subBits) << 24 |
                            uint32_t(tableBits);
        }
        uint32_t subCodeBits = uint32_t(length - tableBits);
        uint32_t entry = symbolEntry(kind, symbol, subCodeBits);
        for (uint32_t slot = reversed >> tableBits; slot < (1u << subBits); slot += 1u << subCodeBits)
          entries[subStart + slot] = entry;
      }
      remaining[length]--;
    }
  }
  return true;
}

// The two codes of a block. Each is decoded through its wide table when it has
// one (prefix-free and small enough), else through its HuffmanTable.
struct BlockCodes {
  const HuffmanTable* literalLength;
  const HuffmanTable* distance;
  const uint32_t* literalLengthWide;
  const uint32_t* distanceWide;
};

// The fixed codes of RFC 1951 3.2.6 never change, so the compiler builds them once.
struct FixedCodes {
  uint32_t literalLengthWide[LITERAL_LENGTH_ENTRIES];
  uint32_t distanceWide[DISTANCE_ENTRIES];
  bool built;
};

constexpr FixedCodes buildFixedCodes() {
  FixedCodes codes{};
  HuffmanTable literalLength{}, distance{};
  uint8_t lengths[FIXED_LITERAL_LENGTH_CODES] = {};
  for (int symbol = 0; symbol < FIXED_LITERAL_LENGTH_CODES; symbol++)
    lengths[symbol] = symbol < 144 ? 8 : symbol < 256 ? 9 : symbol < 280 ? 7 : 8;
  sortSymbols(&literalLength, lengths, FIXED_LITERAL_LENGTH_CODES);
  for (int symbol = 0; symbol < DISTANCE_CODES; symbol++) lengths[symbol] = 5;
  sortSymbols(&distance, lengths, DISTANCE_CODES);
  codes.built = buildWideTable(codes.literalLengthWide, LITERAL_LENGTH_ENTRIES, LITERAL_LENGTH_BITS, &literalLength,
                               LITERAL_LENGTH_CODE) &&
                buildWideTable(codes.distanceWide, DISTANCE_ENTRIES, DISTANCE_BITS, &distance, DISTANCE_CODE);
  return codes;
}

constexpr FixedCodes FIXED_CODES = buildFixedCodes();
static_assert(FIXED_CODES.built, "the fixed codes have wide tables");

// The table block of one call: both codes of the current block and their wide tables.
struct TableBlock {
  HuffmanTable literalLength;   // also the code-length code while a dynamic header is read
  HuffmanTable distance;
  uint32_t literalLengthWide[LITERAL_LENGTH_ENTRIES];
  uint32_t distanceWide[DISTANCE_ENTRIES];
};

}   // namespace

#endif
