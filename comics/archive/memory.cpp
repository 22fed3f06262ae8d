#include "comics/archive/memory.h"

#include <string.h>

#if !defined(_WIN32) || defined(__WINE__)
// The tests' failing allocation (the builds the tests run); allocations left
// before the one they asked to fail, -1 = none asked.
static int64_t allocationsBeforeFailure = -1;

void failNthAllocation(int64_t n) {
  allocationsBeforeFailure = n < 0 ? -1 : n;
}

// Is this the allocation the tests asked to fail?
static bool injectedFailure() {
  if (allocationsBeforeFailure < 0) return false;
  if (allocationsBeforeFailure-- > 0) return false;
  return true;   // now -1: later ones succeed
}
#endif

#ifdef _WIN32
#include <windows.h>

#ifdef __WINE__
// The Linux build. Wine hands every large heap block fresh pages from the system
// and gives them back when the block is freed, so each page image, inflated entry
// or solid archive's content is faulted in 4 KiB at a time, again at every decode;
// on a virtual machine that costs as much as the decoding itself. Blocks of 2 MiB
// and more are mapped here instead, aligned so that the kernel backs them with
// transparent huge pages. Every block starts with a head saying what it is.
#include <string.h>
#include <sys/mman.h>

struct BlockHead {
  size_t mappedBytes;   // length of its own mapping, or 0 when on the process heap
  size_t size;          // what was asked for
};
static_assert(sizeof(BlockHead) == 16, "blocks stay 16-byte aligned");

static const size_t HUGE_PAGE_BYTES = (size_t)2 << 20;
static const size_t SMALL_PAGE_BYTES = 4096;
// Smaller blocks could not hold a whole huge page.
static const size_t MAPPED_BLOCK_MINIMUM = HUGE_PAGE_BYTES;

static BlockHead* headOf(void* block) {
  return (BlockHead*)block - 1;
}

// Anonymous zero-filled memory starting on a huge-page boundary, or null.
static void* mapAlignedBytes(size_t length) {
  size_t reservedLength = length + HUGE_PAGE_BYTES;
  void* mapped = mmap(NULL, reservedLength, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return NULL;
  uintptr_t reserved = (uintptr_t)mapped;
  uintptr_t base = (reserved + HUGE_PAGE_BYTES - 1) & ~(uintptr_t)(HUGE_PAGE_BYTES - 1);
  if (base > reserved) munmap(mapped, base - reserved);
  size_t tail = reserved + reservedLength - (base + length);
  if (tail > 0) munmap((void*)(base + length), tail);
  madvise((void*)base, length, MADV_HUGEPAGE);   // a hint: without it, plain pages
  return (void*)base;
}

static void* allocBlock(size_t size, bool zeroed) {
  if (injectedFailure()) return NULL;
  if (size == 0) size = 1;
  if (size > SIZE_MAX - HUGE_PAGE_BYTES - sizeof(BlockHead)) return NULL;
  size_t total = size + sizeof(BlockHead);
  BlockHead* head;
  if (size >= MAPPED_BLOCK_MINIMUM) {
    size_t length = (total + SMALL_PAGE_BYTES - 1) & ~(SMALL_PAGE_BYTES - 1);
    head = (BlockHead*)mapAlignedBytes(length);   // already zero
    if (head == NULL) return NULL;
    head->mappedBytes = length;
  } else {
    head = (BlockHead*)HeapAlloc(GetProcessHeap(), zeroed ? HEAP_ZERO_MEMORY : 0, total);
    if (head == NULL) return NULL;
    head->mappedBytes = 0;
  }
  head->size = size;
  return head + 1;
}

void* allocBytes(size_t size) {
  return allocBlock(size, false);
}

void* allocZeroed(size_t size) {
  return allocBlock(size, true);
}

void freeBytes(void* block) {
  if (block == NULL) return;
  BlockHead* head = headOf(block);
  if (head->mappedBytes)
    munmap(head, head->mappedBytes);
  else
    HeapFree(GetProcessHeap(), 0, head);
}

void* resizeBytes(void* block, size_t size) {
  if (block == NULL) return allocBytes(size);
  if (injectedFailure()) return NULL;
  BlockHead* head = headOf(block);
  if (size == 0) size = 1;
  if (head->mappedBytes == 0 && size < MAPPED_BLOCK_MINIMUM) {
    BlockHead* moved = (BlockHead*)HeapReAlloc(GetProcessHeap(), 0, head, size + sizeof(BlockHead));
    if (moved == NULL) return NULL;
    moved->size = size;
    return moved + 1;
  }
  if (head->mappedBytes && size <= head->size && size >= MAPPED_BLOCK_MINIMUM) {
    head->size = size;   // shrunk in place
    return block;
  }
  void* copy = allocBytes(size);
  if (copy == NULL) return NULL;
  memcpy(copy, block, head->size < size ? head->size : size);
  freeBytes(block);
  return copy;
}

#else
void* allocBytes(size_t size) {
  return HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
}

void* allocZeroed(size_t size) {
  return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size ? size : 1);
}

void freeBytes(void* block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

void* resizeBytes(void* block, size_t size) {
  if (block == NULL) return allocBytes(size);
  return HeapReAlloc(GetProcessHeap(), 0, block, size ? size : 1);
}
#endif

#else
#include <stdlib.h>

void* allocBytes(size_t size) {
  if (injectedFailure()) return NULL;
  return malloc(size ? size : 1);
}

void* allocZeroed(size_t size) {
  if (injectedFailure()) return NULL;
  return calloc(1, size ? size : 1);
}

void freeBytes(void* block) {
  free(block);
}

void* resizeBytes(void* block, size_t size) {
  if (injectedFailure()) return NULL;
  return realloc(block, size ? size : 1);
}
#endif

// Written by the UI thread at open and close only: the open comic's file, and
// while another opens, that one too. The decode worker may still be reading
// the open comic's entries during that open; the open comic's slot does not
// change until its archive is closed, which waits for the worker.
struct WatchedFile {
  const uint8_t* view;
  uint64_t size;
  void* file;
};
enum { OPEN_COMIC, OPENING_COMIC, WATCHED_FILES };
static WatchedFile watchedFiles[WATCHED_FILES];

void watchMappedFile(const void* view, uint64_t size, void* file) {
  watchedFiles[OPENING_COMIC] = WatchedFile();
  watchedFiles[OPEN_COMIC] = view ? WatchedFile{(const uint8_t*)view, size, file} : WatchedFile();
}

void watchOpeningFile(const void* view, uint64_t size, void* file) {
  watchedFiles[OPENING_COMIC] = view ? WatchedFile{(const uint8_t*)view, size, file} : WatchedFile();
}

static const WatchedFile* watchedFileHolding(const void* bytes) {
  const uint8_t* at = (const uint8_t*)bytes;
  for (const WatchedFile& w : watchedFiles)
    if (w.view && at >= w.view && (uint64_t)(at - w.view) < w.size) return &w;
  return NULL;
}

bool inWatchedFile(const void* bytes) {
  return watchedFileHolding(bytes) != NULL;
}

#ifdef _WIN32
// Reads at the offset without the file pointer, so that both threads may read at once.
static bool readWholeAt(HANDLE file, uint64_t offset, uint8_t* to, uint64_t length) {
  while (length > 0) {
    DWORD piece = length < 0x40000000 ? (DWORD)length : 0x40000000, got = 0;
    OVERLAPPED at;
    ZeroMemory(&at, sizeof at);
    at.Offset = (DWORD)offset;
    at.OffsetHigh = (DWORD)(offset >> 32);
    if (!ReadFile(file, to, piece, &got, &at) || got != piece) return false;   // cut since the open
    offset += got;
    to += got;
    length -= got;
  }
  return true;
}
#endif

bool copyFileBytes(void* to, const void* from, uint64_t length) {
  if (length == 0) return true;
  const WatchedFile* watched = watchedFileHolding(from);
  if (!watched) {
    memcpy(to, from, (size_t)length);
    return true;
  }
  uint64_t offset = (uint64_t)((const uint8_t*)from - watched->view);
  if (length > watched->size - offset) return false;   // past the file's end at open
#ifdef _WIN32
  return readWholeAt((HANDLE)watched->file, offset, (uint8_t*)to, length);
#else
  memcpy(to, from, (size_t)length);   // native builds read the view: their tests' buffers
  return true;
#endif
}

#if !defined(_WIN32) || defined(__WINE__)
#include <stdio.h>
#include <sys/mman.h>

// Is every part of [start, end) a read-only mapping of a file? Dropping the
// pages of an anonymous mapping would zero them (a system that cannot map a
// file may have read it into anonymous memory instead), and those of a private
// writable one would silently drop what was written there.
static bool mapsOnlyReadOnlyFile(uintptr_t start, uintptr_t end) {
  FILE* maps = fopen("/proc/self/maps", "r");
  if (maps == NULL) return false;
  char line[512];
  uintptr_t covered = start;
  bool file = true;
  while (file && covered < end && fgets(line, sizeof line, maps)) {
    unsigned long low, high, inode;
    char access[8];
    if (sscanf(line, "%lx-%lx %7s %*s %*s %lu", &low, &high, access, &inode) != 4) continue;
    if (high <= covered || low >= end) continue;
    if (low > covered || inode == 0 || access[1] == 'w') file = false;
    covered = high;
  }
  fclose(maps);
  return file && covered >= end;
}
#endif

void releaseMappedPages(const void* view, uint64_t size) {
  if (view == NULL || size == 0) return;
#if defined(_WIN32) && !defined(__WINE__)
  VirtualUnlock((void*)view, (SIZE_T)size);   // on pages not locked: out of the working set
#else
  // The pages leave the process but stay in the system's file cache, so going
  // back a page or opening the comic again reads no disk. Whole pages only.
  uintptr_t start = ((uintptr_t)view + 4095) & ~(uintptr_t)4095;
  uintptr_t end = (uintptr_t)view + (uintptr_t)size;
  if (end > start && mapsOnlyReadOnlyFile(start, end)) madvise((void*)start, end - start, MADV_DONTNEED);
#endif
}
