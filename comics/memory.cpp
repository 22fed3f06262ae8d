#include "comics/memory.h"

#ifdef _WIN32
#include <windows.h>

void* allocBytes(size_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
}

void* allocZeroed(size_t size)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size ? size : 1);
}

void freeBytes(void* block)
{
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

#else
#include <stdlib.h>

// Allocations left before the one the tests asked to fail; -1 = none asked.
static int64_t allocationsBeforeFailure = -1;

void failNthAllocation(int64_t n)
{
    allocationsBeforeFailure = n < 0 ? -1 : n;
}

// Is this the allocation the tests asked to fail?
static bool injectedFailure()
{
    if (allocationsBeforeFailure < 0) return false;
    if (allocationsBeforeFailure-- > 0) return false;
    return true;                                   // now -1: later ones succeed
}

void* allocBytes(size_t size)
{
    if (injectedFailure()) return nullptr;
    return malloc(size ? size : 1);
}

void* allocZeroed(size_t size)
{
    if (injectedFailure()) return nullptr;
    return calloc(1, size ? size : 1);
}

void freeBytes(void* block)
{
    free(block);
}
#endif
