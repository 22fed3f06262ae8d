// Heap blocks shared by the comic code and its callers. The program's builds take
// them from the process heap, so that a buffer handed to another subsystem (for
// example printing) is freed the same way; the native build uses malloc.
#pragma once
#include <stddef.h>
#include <stdint.h>

// A block of at least one byte, or null. Its content is undefined.
void* allocBytes(size_t size);
// A zero-filled block of at least one byte, or null.
void* allocZeroed(size_t size);
// Accepts null.
void freeBytes(void* block);

#ifndef _WIN32
// Native tests only: the allocation `n` calls from now fails (0: the next one),
// once; a negative n cancels a failure not yet reached.
void failNthAllocation(int64_t n);
#endif
