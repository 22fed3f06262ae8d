// Raw DEFLATE (RFC 1951) from one memory buffer into another, in one call.
#ifndef BRISA_INFLATE_H
#define BRISA_INFLATE_H

#include <stddef.h>
#include <stdint.h>

// Expands the raw DEFLATE stream in input (no zlib or gzip wrapper, no checksum)
// into output. Decoding ends at the end of the final block or as soon as a byte
// does not fit in outputCapacity, whichever comes first; a full buffer is a
// success. Input left after the final block is ignored.
//
// Returns the number of bytes written (0 to outputCapacity), or -1 on any failure
// (see the list above the definition). Output written before a failure stays in
// the buffer; nothing past the bytes a byte-by-byte decoder would have written is
// ever touched. Keeps no state between calls and may run on several threads at
// once. Input and output must not overlap.
int64_t inflate(const uint8_t* input, uint64_t inputSize, uint8_t* output, uint64_t outputCapacity);

#ifndef _WIN32
// Native builds take each call's table block from this allocator (malloc unless
// changed) and give it back with free; tests swap in one that refuses.
extern void* (*inflateAllocateTables)(size_t size);
#endif

#endif
