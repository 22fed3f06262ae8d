// Raw DEFLATE decoder (RFC 1951), whole buffer to whole buffer.
//
// Each code of a block is decoded in one of two ways. A prefix-free code - what
// every real encoder sends - gets a wide table: 10 bits (8 for distances, 7 for
// the code-length code) looked up at once, longer codes through a sub-table, and
// entries that carry the length or distance base with its extra-bit count. An
// over-subscribed code, which only a damaged or hostile stream declares, is
// decoded as its lengths literally say, through a HuffmanTable: a 9-bit lookup,
// then a canonical walk bit by bit, the later symbol keeping a shared slot. For a
// prefix-free code every correct decoder finds the same symbol in the same bits,
// so the choice never shows in a result.
//
// Block data runs through a fast loop while both codes have wide tables and the
// input and output have room to spare, then symbol by symbol with every check in
// the order the stream's fields are read. Matches are copied a word at a time but
// write exactly the bytes a byte-by-byte copy writes, so nothing past the bytes
// written so far is ever touched, on success or failure.
#include "inflate/inflate.h"
#include "inflate/huffman.h"

#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#endif

namespace {

// ---------------------------------------------------------------------------
// Decoder state and bit input

// One call's state. Bits are consumed from bit 0 of bitBuffer. bitCount is the
// number of bits counted in (0 to 63); the bits above it are zero or, after a
// word-wide refill, already the bits of the next input bytes, which a later
// refill ORs in again at the same place.
struct Inflater {
  const uint8_t* in;   // next input byte not yet counted into bitBuffer
  const uint8_t* inEnd;
  uint64_t bitBuffer;
  uint32_t bitCount;
  uint8_t* outStart;   // output so far is also the whole history window
  uint8_t* out;
  uint8_t* outEnd;
};

inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  memcpy(&v, p, sizeof(v));
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  return v;
}

// Tops up bitBuffer to 56 bits or more, or to everything left of the input. With
// eight bytes to spare one unaligned load does it and may count 0 bytes.
inline void refill(Inflater* s) {
  if (s->inEnd - s->in >= 8) {
    s->bitBuffer |= load64(s->in) << s->bitCount;
    s->in += (63 - s->bitCount) >> 3;
    s->bitCount |= 56;
    return;
  }
  while (s->in < s->inEnd && s->bitCount <= 55) {   // keeps bitCount below 64
    s->bitBuffer |= uint64_t(*s->in++) << s->bitCount;
    s->bitCount += 8;
  }
}

inline void dropBits(Inflater* s, uint32_t n) {
  s->bitBuffer >>= n;
  s->bitCount -= n;
}

// The next n bits (0 to 16) as a number whose first bit is bit 0, or -1 with
// nothing consumed when fewer than n bits are left in the whole input.
inline int32_t getBits(Inflater* s, uint32_t n) {
  if (s->bitCount < n) {
    refill(s);
    if (s->bitCount < n) return -1;
  }
  int32_t value = int32_t(s->bitBuffer & ((1u << n) - 1));
  dropBits(s, n);
  return value;
}

// ---------------------------------------------------------------------------
// Decoding through a HuffmanTable

// The next symbol, or -1 when no code of 15 bits or fewer matches the input
// (incomplete or empty code, or the input ends inside the code). Bits taken by
// the bit-by-bit walk stay consumed.
int decodeSymbol(Inflater* s, const HuffmanTable* table) {
  refill(s);
  int entry = table->fast[s->bitBuffer & (FAST_ENTRIES - 1)];
  if (entry != 0 && uint32_t(entry & 15) <= s->bitCount) {
    dropBits(s, entry & 15);
    return entry >> 4;
  }
  int code = 0, first = 0, index = 0;   // code - first stays >= 0, so index + code - first is a filled slot
  for (int length = 1; length <= MAX_CODE_BITS; length++) {
    int bit = getBits(s, 1);
    if (bit < 0) return -1;   // input ends inside the code
    code |= bit;
    int count = table->counts[length];
    if (code - count < first) return table->symbols[index + code - first];
    index += count;
    first = (first + count) * 2;
    code *= 2;
  }
  return -1;   // no code matches
}

// ---------------------------------------------------------------------------
// Output

inline uint64_t loadWord(const uint8_t* p) {
  uint64_t v;
  memcpy(&v, p, sizeof(v));
  return v;
}
inline void storeWord(uint8_t* p, uint64_t v) {
  memcpy(p, &v, sizeof(v));
}
inline void copyWord(uint8_t* to, const uint8_t* from) {
  storeWord(to, loadWord(from));
}
inline void copy4(uint8_t* to, const uint8_t* from) {
  uint32_t v;
  memcpy(&v, from, sizeof(v));
  memcpy(to, &v, sizeof(v));
}

// Copies length bytes from distance (8 or more) bytes back. Stores go up in
// address and each reads only bytes below its own start, so overlapping stores
// rewrite bytes with the values they already hold.
inline void copyFar(uint8_t* out, uint32_t distance, uint32_t length) {
  uint8_t* end = out + length;
  if (length <= 16) {
    if (length >= 8) {
      copyWord(out, out - distance);
      copyWord(end - 8, end - 8 - distance);
    } else if (length >= 4) {
      copy4(out, out - distance);
      copy4(end - 4, end - 4 - distance);
    } else if (length > 0) {   // 1 to 3 bytes: first, middle, last
      out[0] = out[-ptrdiff_t(distance)];
      out[length / 2] = out[length / 2 - ptrdiff_t(distance)];
      end[-1] = end[-1 - ptrdiff_t(distance)];
    }
    return;
  }
  do {
    copyWord(out, out - distance);
    copyWord(out + 8, out + 8 - distance);
    out += 16;
  } while (end - out > 16);
  copyWord(end - 16, end - 16 - distance);
  copyWord(end - 8, end - 8 - distance);
}

// length copies of the byte before out.
inline void fillRun(uint8_t* out, uint32_t length) {
  uint8_t* end = out + length;
  uint64_t pattern = out[-1] * 0x0101010101010101ull;
  if (length < 8) {
    if (length >= 4) {
      memcpy(out, &pattern, 4);
      memcpy(end - 4, &pattern, 4);
    } else if (length > 0) {   // first, middle, last
      out[0] = out[length / 2] = end[-1] = uint8_t(pattern);
    }
    return;
  }
  for (; end - out > 8; out += 8) storeWord(out, pattern);
  storeWord(end - 8, pattern);
}

// Writes the length bytes of a match exactly as copying them one at a time from
// distance bytes back would, and nothing past them. distance is at least 1 and
// at most the bytes before out.
inline void copyMatch(uint8_t* out, uint32_t distance, uint32_t length) {
  if (distance >= 8) {
    copyFar(out, distance, length);
    return;
  }
  if (distance == 1) {
    fillRun(out, length);
    return;
  }
  // The output repeats every distance bytes, so a multiple of distance of 8 or
  // more serves as well once it reaches back no further than the match's source.
  uint32_t period = distance * ((8 + distance - 1) / distance);
  uint32_t head = period - distance;
  if (head > length) head = length;
  for (uint32_t i = 0; i < head; i++) out[i] = out[i - ptrdiff_t(distance)];
  copyFar(out + head, period, length - head);
}

// ---------------------------------------------------------------------------
// Blocks

enum BlockResult { BLOCK_ERROR = -1, BLOCK_END = 0, BLOCK_OUTPUT_FULL = 1, BLOCK_MARGIN_REACHED = 2 };

// The fast path stops with fewer than these bytes left: one refill after another
// may read 16 bytes ahead, and one step may write 2 literals and a 258-byte match.
const ptrdiff_t FAST_INPUT_MARGIN = 16;
const ptrdiff_t FAST_OUTPUT_MARGIN = 2 + 258 + 1;

inline void dropEntryBits(uint64_t& bits, uint32_t& count, uint32_t entry) {
  bits >>= entryDropBits(entry);
  count -= entryDropBits(entry);
}

// The entry's base plus its extra bits, which follow its code bits in bits.
inline uint32_t baseWithExtra(uint32_t entry, uint64_t bits) {
  return entryValue(entry) + uint32_t((bits & ((uint64_t(1) << entryDropBits(entry)) - 1)) >> entryCodeBits(entry));
}

// The entry for the next bits, through a sub-table when the main entry links to one.
inline uint32_t lookupWide(const uint32_t* table, uint32_t tableBits, uint64_t& bits, uint32_t& count) {
  uint32_t entry = table[bits & ((1u << tableBits) - 1)];
  if (entry & ENTRY_SUBTABLE) {
    bits >>= tableBits;
    count -= tableBits;
    entry = table[entryValue(entry) + (bits & ((1u << entryCodeBits(entry)) - 1))];
  }
  return entry;
}

// Decodes symbols with the wide tables while the margins hold, without a bounds
// check per symbol. Returns BLOCK_END, BLOCK_ERROR, or BLOCK_MARGIN_REACHED with
// the state ready for the symbol-by-symbol loop.
int inflateFast(Inflater* s, const uint32_t* literalLengthTable, const uint32_t* distanceTable) {
  if (s->inEnd - s->in < FAST_INPUT_MARGIN || s->outEnd - s->out < FAST_OUTPUT_MARGIN) return BLOCK_MARGIN_REACHED;
  const uint8_t* in = s->in;
  const uint8_t* inLast = s->inEnd - FAST_INPUT_MARGIN;
  uint8_t* out = s->out;
  uint8_t* outLast = s->outEnd - FAST_OUTPUT_MARGIN;
  uint64_t bits = s->bitBuffer;
  uint32_t count = s->bitCount;
  int result = BLOCK_MARGIN_REACHED;

  while (in <= inLast && out <= outLast) {
    bits |= load64(in) << count;   // 56 bits or more: a literal/length and a distance with their extra bits
    in += (63 - count) >> 3;
    count |= 56;
    uint32_t entry = lookupWide(literalLengthTable, LITERAL_LENGTH_BITS, bits, count);
    if (entry & ENTRY_LITERAL) {   // up to three literals per refill (15 bits each at most)
      *out++ = uint8_t(entryValue(entry));
      dropEntryBits(bits, count, entry);
      entry = lookupWide(literalLengthTable, LITERAL_LENGTH_BITS, bits, count);
      if (entry & ENTRY_LITERAL) {
        *out++ = uint8_t(entryValue(entry));
        dropEntryBits(bits, count, entry);
        entry = lookupWide(literalLengthTable, LITERAL_LENGTH_BITS, bits, count);
        if (entry & ENTRY_LITERAL) {
          *out++ = uint8_t(entryValue(entry));
          dropEntryBits(bits, count, entry);
          continue;
        }
      }
      bits |= load64(in) << count;   // the looked-up entry keeps its bits: only higher ones are added
      in += (63 - count) >> 3;
      count |= 56;
    }
    if (entry & ENTRY_EXCEPTIONAL) {
      if (entry & ENTRY_END_OF_BLOCK) {
        dropEntryBits(bits, count, entry);
        result = BLOCK_END;
      } else {
        result = BLOCK_ERROR;   // no code, or length symbol 286/287
      }
      break;
    }
    uint32_t length = baseWithExtra(entry, bits);
    dropEntryBits(bits, count, entry);

    entry = lookupWide(distanceTable, DISTANCE_BITS, bits, count);
    if (entry & ENTRY_EXCEPTIONAL) {
      result = BLOCK_ERROR;   // no code, or distance symbol 30/31
      break;
    }
    uint32_t distance = baseWithExtra(entry, bits);
    dropEntryBits(bits, count, entry);
    if (distance > uint64_t(out - s->outStart)) {
      result = BLOCK_ERROR;   // reaches before the first byte of the output
      break;
    }
    copyMatch(out, distance, length);
    out += length;
  }
  s->in = in;
  s->out = out;
  s->bitBuffer = bits;
  s->bitCount = count;
  return result;
}

// One symbol through a wide table, checking everything: the next code's entry
// with its code bits dropped, or ENTRY_INVALID when no code matches or the input
// ends inside the code. For a prefix-free code this is what decodeSymbol finds.
uint32_t decodeEntry(Inflater* s, const uint32_t* table, uint32_t tableBits) {
  refill(s);   // bits past the end of the input read as 0
  uint32_t entry = table[s->bitBuffer & ((1u << tableBits) - 1)];
  uint32_t codeBits = entryCodeBits(entry);
  if (entry & ENTRY_SUBTABLE) {
    entry = table[entryValue(entry) + ((s->bitBuffer >> tableBits) & ((1u << entryCodeBits(entry)) - 1))];
    codeBits = tableBits + entryCodeBits(entry);
  }
  if ((entry & ENTRY_EXCEPTIONAL) && !(entry & ENTRY_END_OF_BLOCK)) return ENTRY_INVALID;
  if (codeBits > s->bitCount) return ENTRY_INVALID;   // input ends inside the code
  dropBits(s, codeBits);
  return entry;
}

// The next literal/length or distance as an entry (code bits dropped, extra
// bits still to read), or ENTRY_INVALID.
uint32_t nextLiteralLength(Inflater* s, const BlockCodes* codes) {
  if (codes->literalLengthWide) return decodeEntry(s, codes->literalLengthWide, LITERAL_LENGTH_BITS);
  int symbol = decodeSymbol(s, codes->literalLength);
  return symbol < 0 ? ENTRY_INVALID : literalLengthEntry(symbol, 0);
}

uint32_t nextDistance(Inflater* s, const BlockCodes* codes) {
  if (codes->distanceWide) return decodeEntry(s, codes->distanceWide, DISTANCE_BITS);
  int symbol = decodeSymbol(s, codes->distance);
  return symbol < 0 ? ENTRY_INVALID : distanceEntry(symbol, 0);
}

// The next symbol of the code-length code, or -1.
int nextCodeLength(Inflater* s, const uint32_t* wide, const HuffmanTable* table) {
  if (!wide) return decodeSymbol(s, table);
  uint32_t entry = decodeEntry(s, wide, CODE_LENGTH_BITS);
  return entry == ENTRY_INVALID ? -1 : int(entryValue(entry));
}

inline uint32_t entryExtraBits(uint32_t entry) {
  return entryDropBits(entry) - entryCodeBits(entry);
}

// Symbols up to and including the end of the block (RFC 1951 3.2.5). Returns
// BLOCK_END, BLOCK_OUTPUT_FULL (a byte did not fit) or BLOCK_ERROR.
int inflateBlockData(Inflater* s, const BlockCodes* codes) {
  if (codes->literalLengthWide && codes->distanceWide) {
    int result = inflateFast(s, codes->literalLengthWide, codes->distanceWide);
    if (result != BLOCK_MARGIN_REACHED) return result;
  }
  for (;;) {
    uint32_t entry = nextLiteralLength(s, codes);
    if (entry & ENTRY_LITERAL) {
      if (s->out == s->outEnd) return BLOCK_OUTPUT_FULL;
      *s->out++ = uint8_t(entryValue(entry));
      continue;
    }
    if (entry & ENTRY_END_OF_BLOCK) return BLOCK_END;
    if (entry & ENTRY_EXCEPTIONAL) return BLOCK_ERROR;   // no code, or 286/287
    int32_t extra = getBits(s, entryExtraBits(entry));
    if (extra < 0) return BLOCK_ERROR;
    uint32_t length = entryValue(entry) + uint32_t(extra);
    entry = nextDistance(s, codes);
    if (entry & ENTRY_EXCEPTIONAL) return BLOCK_ERROR;   // no code, or 30/31
    extra = getBits(s, entryExtraBits(entry));
    if (extra < 0) return BLOCK_ERROR;
    uint32_t distance = entryValue(entry) + uint32_t(extra);
    if (distance > uint64_t(s->out - s->outStart)) return BLOCK_ERROR;   // before the first byte
    uint64_t room = uint64_t(s->outEnd - s->out);
    uint32_t fits = room < length ? uint32_t(room) : length;
    copyMatch(s->out, distance, fits);
    s->out += fits;
    if (fits < length) return BLOCK_OUTPUT_FULL;
  }
}

// Stored block (3.2.4): LEN bytes copied as they are. NLEN is read but not
// compared with LEN's complement.
int copyStoredBlock(Inflater* s) {
  dropBits(s, s->bitCount % 8);   // rest of the partly read byte
  int32_t length = getBits(s, 16);
  int32_t lengthComplement = getBits(s, 16);
  if (length < 0 || lengthComplement < 0) return BLOCK_ERROR;
  uint64_t available = s->bitCount / 8 + uint64_t(s->inEnd - s->in);
  uint64_t room = uint64_t(s->outEnd - s->out);
  uint64_t n = uint64_t(length);
  if (n > room) n = room;
  if (n > available) n = available;
  uint64_t left = n;
  for (; left > 0 && s->bitCount >= 8; left--) {   // bytes already in the bit buffer first
    *s->out++ = uint8_t(s->bitBuffer);
    dropBits(s, 8);
  }
  if (left > 0) {
    memcpy(s->out, s->in, left);
    s->out += left;
    s->in += left;
    s->bitBuffer = 0;   // it was empty; drop bits of bytes now copied
  }
  if (n == uint64_t(length)) return BLOCK_END;
  // A byte did not fit: a success only if that byte was there to be read.
  return n == room && n < available ? BLOCK_OUTPUT_FULL : BLOCK_ERROR;
}

// Builds one code of a dynamic block: its wide table, returned, or when it has
// none (over-subscribed, or too many sub-tables) the full HuffmanTable and null.
const uint32_t* buildCode(HuffmanTable* table, uint32_t* wide, int capacity, int tableBits, const uint8_t* lengths,
                          int count, CodeKind kind) {
  sortSymbols(table, lengths, count);
  if (buildWideTable(wide, capacity, tableBits, table, kind)) return wide;
  buildTable(table, lengths, count);
  return NULL;
}

// Dynamic block (3.2.7): the code-length code, the literal/length and distance
// code lengths it encodes, then the block's data.
int readDynamicHeader(Inflater* s, TableBlock* tables) {
  int32_t literalCodes = getBits(s, 5);
  int32_t distanceCodes = getBits(s, 5);
  int32_t codeLengthCodes = getBits(s, 4);
  if (literalCodes < 0 || distanceCodes < 0 || codeLengthCodes < 0) return BLOCK_ERROR;
  literalCodes += 257;
  distanceCodes += 1;
  codeLengthCodes += 4;
  if (literalCodes > MAX_LITERAL_LENGTH_CODES) return BLOCK_ERROR;   // HLIT field 30 or 31
  if (distanceCodes > DISTANCE_CODES) return BLOCK_ERROR;            // HDIST field 30 or 31

  uint8_t lengths[MAX_LITERAL_LENGTH_CODES + DISTANCE_CODES] = {};
  uint8_t codeLengthLengths[CODE_LENGTH_CODES] = {};
  for (int i = 0; i < codeLengthCodes; i++) {
    int32_t length = getBits(s, 3);
    if (length < 0) return BLOCK_ERROR;
    codeLengthLengths[CODE_LENGTH_ORDER[i]] = uint8_t(length);
  }
  const uint32_t* codeLengthWide = buildCode(&tables->literalLength, tables->literalLengthWide, LITERAL_LENGTH_ENTRIES,
                                             CODE_LENGTH_BITS, codeLengthLengths, CODE_LENGTH_CODES, CODE_LENGTH_CODE);

  int total = literalCodes + distanceCodes;
  for (int i = 0; i < total;) {
    int symbol = nextCodeLength(s, codeLengthWide, &tables->literalLength);
    if (symbol < 0) return BLOCK_ERROR;
    if (symbol < 16) {
      lengths[i++] = uint8_t(symbol);
      continue;
    }
    uint8_t value = 0;
    int32_t repeat;
    if (symbol == 16) {
      if (i == 0) return BLOCK_ERROR;   // nothing to repeat
      value = lengths[i - 1];
      repeat = getBits(s, 2);
      if (repeat >= 0) repeat += 3;
    } else if (symbol == 17) {
      repeat = getBits(s, 3);
      if (repeat >= 0) repeat += 3;
    } else {   // 18
      repeat = getBits(s, 7);
      if (repeat >= 0) repeat += 11;
    }
    if (repeat < 0) return BLOCK_ERROR;
    if (repeat > total - i) return BLOCK_ERROR;   // runs past the last length
    memset(lengths + i, value, size_t(repeat));
    i += repeat;
  }

  BlockCodes codes = {&tables->literalLength, &tables->distance,
                      buildCode(&tables->literalLength, tables->literalLengthWide, LITERAL_LENGTH_ENTRIES,
                                LITERAL_LENGTH_BITS, lengths, literalCodes, LITERAL_LENGTH_CODE),
                      buildCode(&tables->distance, tables->distanceWide, DISTANCE_ENTRIES, DISTANCE_BITS,
                                lengths + literalCodes, distanceCodes, DISTANCE_CODE)};
  return inflateBlockData(s, &codes);
}

// The block loop: returns the bytes written or -1.
int64_t inflateBlocks(Inflater* s, TableBlock* tables) {
  static const BlockCodes fixed = {NULL, NULL, FIXED_CODES.literalLengthWide, FIXED_CODES.distanceWide};
  for (;;) {
    int32_t final = getBits(s, 1);
    int32_t type = getBits(s, 2);
    if (final < 0 || type < 0) return -1;
    int result;
    if (type == 0)
      result = copyStoredBlock(s);
    else if (type == 1)
      result = inflateBlockData(s, &fixed);
    else if (type == 2)
      result = readDynamicHeader(s, tables);
    else
      return -1;   // reserved block type
    if (result == BLOCK_ERROR) return -1;
    if (result == BLOCK_OUTPUT_FULL || final == 1) return s->out - s->outStart;
  }
}

#ifdef _WIN32
TableBlock* obtainTables() {
  return static_cast<TableBlock*>(HeapAlloc(GetProcessHeap(), 0, sizeof(TableBlock)));
}
void releaseTables(TableBlock* tables) {
  HeapFree(GetProcessHeap(), 0, tables);
}
#else
TableBlock* obtainTables() {
  return static_cast<TableBlock*>(inflateAllocateTables(sizeof(TableBlock)));
}
void releaseTables(TableBlock* tables) {
  free(tables);
}
#endif

}   // namespace

#ifndef _WIN32
void* (*inflateAllocateTables)(size_t size) = malloc;
#endif

// Rejected, with -1:
//  1. the table block cannot be obtained;
//  2. the input ends before the final block is complete (any read that lacks bits);
//  3. block type 3;
//  4. HLIT above 286 or HDIST above 30 in a dynamic header;
//  5. code-length repeat 16 with no previous length, or a repeat past the last length;
//  6. a bit sequence that matches no code within 15 bits (incomplete or empty code);
//  7. literal/length symbol 286 or 287, distance symbol 30 or 31;
//  8. a distance greater than the bytes written so far by this call, checked before
//     a full buffer ends the match (a stream opening with a match fails even into 0 bytes).
// Not rejected: NLEN that is not LEN's complement, over-subscribed or incomplete
// code lengths (decoded as far as they go), a missing end-of-block code.
int64_t inflate(const uint8_t* input, uint64_t inputSize, uint8_t* output, uint64_t outputCapacity) {
  TableBlock* tables = obtainTables();
  if (!tables) return -1;
  Inflater state = {input, input + inputSize, 0, 0, output, output, output + outputCapacity};
  int64_t result = inflateBlocks(&state, tables);
  releaseTables(tables);
  return result;
}
