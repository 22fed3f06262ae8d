#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_inflate to tests/fuzz/corpus/inflate/.

Each seed is 2 bytes of output capacity (little-endian) followed by a raw
DEFLATE stream: streams from zlib at every strategy, and small hand-made ones
for the format's corners (stored blocks, fixed codes, one-code and
over-subscribed dynamic codes, repeats, cut streams).

Usage: scripts/make-inflate-corpus.py [output folder]
"""
import os
import sys
import zlib


class BitWriter:
    """Fields go first bit lowest, Huffman codes first bit highest."""

    def __init__(self):
        self.bits = []

    def field(self, value, n):
        self.bits += [(value >> i) & 1 for i in range(n)]

    def code(self, value, n):
        self.bits += [(value >> i) & 1 for i in reversed(range(n))]

    def pad(self):
        self.bits += [0] * (-len(self.bits) % 8)

    def data(self):
        self.pad()
        return bytes(sum(b << i for i, b in enumerate(self.bits[k:k + 8])) for k in range(0, len(self.bits), 8))


def fixed_symbol(w, s):
    if s < 144:
        w.code(0x30 + s, 8)
    elif s < 256:
        w.code(0x190 + s - 144, 9)
    elif s < 280:
        w.code(s - 256, 7)
    else:
        w.code(0xC0 + s - 280, 8)


# Code-length code used by the hand-made dynamic blocks: 0-15 in 5 bits, 16 and 17 in 3, 18 in 2.
CODE_LENGTH_CODES = [(16 + i, 5) for i in range(16)] + [(2, 3), (3, 3), (0, 2)]
ORDER = [16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15]


def dynamic_header(w, final, literal_lengths, distance_lengths):
    w.field(final, 1)
    w.field(2, 2)
    w.field(len(literal_lengths) - 257, 5)
    w.field(len(distance_lengths) - 1, 5)
    w.field(15, 4)
    for s in ORDER:
        w.field(CODE_LENGTH_CODES[s][1], 3)
    for length in literal_lengths + distance_lengths:
        w.code(*CODE_LENGTH_CODES[length])


def canonical(lengths):
    counts = [0] * 16
    for n in lengths:
        counts[n] += 1
    counts[0] = 0
    code, nxt = 0, [0] * 16
    for n in range(1, 16):
        code = (code + counts[n - 1]) << 1
        nxt[n] = code
    codes = {}
    for s, n in enumerate(lengths):
        if n:
            codes[s] = (nxt[n], n)
            nxt[n] += 1
    return codes


def hand_made():
    seeds = {}

    w = BitWriter()  # stored LEN 0, stored with wrong NLEN, fixed "x" + match
    w.field(0, 1); w.field(0, 2); w.pad(); w.field(0, 16); w.field(0xFFFF, 16)
    w.field(0, 1); w.field(0, 2); w.pad(); w.field(3, 16); w.field(0x1234, 16)
    for b in b"abc":
        w.field(b, 8)
    w.field(1, 1); w.field(1, 2)
    fixed_symbol(w, ord("x"))
    fixed_symbol(w, 285); w.code(0, 5)  # length 258, distance code 0: distance 1
    fixed_symbol(w, 256)
    seeds["stored-and-fixed"] = (300, w.data())

    w = BitWriter()  # fixed block with forbidden symbols after a literal
    w.field(1, 1); w.field(1, 2)
    fixed_symbol(w, ord("a")); fixed_symbol(w, 286)
    seeds["fixed-286"] = (64, w.data())

    w = BitWriter()  # fixed block, distance code 30
    w.field(1, 1); w.field(1, 2)
    fixed_symbol(w, ord("a")); fixed_symbol(w, 257); w.code(30, 5)
    seeds["fixed-distance-30"] = (64, w.data())

    # dynamic block, one 1-bit distance code
    lit = [0] * 286
    lit[ord("m")] = lit[256] = lit[257] = 2
    codes = canonical(lit)
    w = BitWriter()
    dynamic_header(w, 1, lit, [1])
    w.code(*codes[ord("m")]); w.code(*codes[257]); w.code(0, 1); w.code(*codes[256])
    seeds["one-distance-code"] = (16, w.data())

    # over-subscribed: three 1-bit codes
    lit = [0] * 257
    lit[ord("A")] = lit[ord("B")] = lit[256] = 1
    w = BitWriter()
    dynamic_header(w, 1, lit, [0])
    w.field(0b011, 3)
    seeds["over-subscribed"] = (16, w.data())

    # repeats 16, 17, 18 and a repeat cut short
    w = BitWriter()
    w.field(1, 1); w.field(2, 2); w.field(0, 5); w.field(0, 5); w.field(15, 4)
    for s in ORDER:
        w.field(CODE_LENGTH_CODES[s][1], 3)
    w.code(0, 2); w.field(54, 7)          # 18: 65 zeros
    w.code(*CODE_LENGTH_CODES[3])         # 'A' 3
    w.code(2, 3); w.field(0, 2)           # 16: 3 more
    w.code(3, 3); w.field(7, 3)           # 17: 10 zeros
    w.code(0, 2); w.field(127, 7)         # 18: 138 zeros
    w.code(0, 2); w.field(28, 7)          # 18: 39 zeros
    w.code(*CODE_LENGTH_CODES[3])         # 256
    w.code(*CODE_LENGTH_CODES[1])         # distance 0
    w.code(3, 3); w.code(0, 3); w.code(4, 3)  # D, A, end of block
    seeds["repeats"] = (16, w.data())
    seeds["repeat-cut"] = (16, w.data()[:10])

    w = BitWriter()  # reserved block type
    w.field(1, 1); w.field(3, 2); w.field(0, 13)
    seeds["reserved-type"] = (16, w.data())
    return seeds


def samples():
    text = b"".join(b"line %d of the page, with a comic and a reader\n" % (i * 7 % 13) for i in range(300))
    binary = bytes((i * i + (i >> 3)) & 0xFF for i in range(3000))
    runs = b"".join(bytes([i & 3]) * (i % 40) for i in range(200))
    return {"text": text, "binary": binary, "runs": runs}


def zlib_streams():
    seeds = {}
    strategies = {"default": zlib.Z_DEFAULT_STRATEGY, "filtered": zlib.Z_FILTERED,
                  "huffman": zlib.Z_HUFFMAN_ONLY, "rle": zlib.Z_RLE, "fixed": zlib.Z_FIXED}
    for name, data in samples().items():
        for level in (0, 1, 6, 9):
            for sname, strategy in strategies.items():
                if level == 0 and sname != "default":
                    continue
                if sname not in ("default", "fixed", "huffman") and name != "text":
                    continue
                c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
                stream = c.compress(data) + c.flush()
                seeds["zlib-%s-%d-%s" % (name, level, sname)] = (len(data), stream)
    c = zlib.compressobj(6, zlib.DEFLATED, -15)
    text = samples()["text"]
    flushed = c.compress(text[:500]) + c.flush(zlib.Z_SYNC_FLUSH) + c.compress(text[500:1500]) + c.flush()
    seeds["zlib-sync-flush"] = (1500, flushed)
    seeds["zlib-cut"] = (1500, flushed[: len(flushed) // 2])
    seeds["zlib-small-capacity"] = (77, flushed)
    return seeds


def main():
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(top, "tests", "fuzz", "corpus", "inflate")
    os.makedirs(folder, exist_ok=True)
    seeds = {**hand_made(), **zlib_streams()}
    for name, (capacity, stream) in sorted(seeds.items()):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(capacity.to_bytes(2, "little") + stream)
    print("%d seeds in %s" % (len(seeds), folder))


if __name__ == "__main__":
    main()
