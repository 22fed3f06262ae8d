// Heap blocks shared by the comic code and its callers, who free them here too
// (for example printing). The Windows build takes them from the process heap,
// the Linux build maps the large ones itself, the native build uses malloc.
#ifndef BRISA_COMICS_MEMORY_H
#define BRISA_COMICS_MEMORY_H
#include <stddef.h>
#include <stdint.h>

// A block of at least one byte, or null. Its content is undefined.
void* allocBytes(size_t size);
// A zero-filled block of at least one byte, or null.
void* allocZeroed(size_t size);
// Accepts null.
void freeBytes(void* block);
// The block grown or shrunk, its content kept up to the smaller size (the rest
// undefined); null leaves the block as it was. A null block is allocated.
void* resizeBytes(void* block, size_t size);

// Lets the system take back the pages of a read-only file mapping that were
// read, which otherwise stay counted in the process's memory until it needs
// them; they are read again from the file when touched. Only for a view of a
// file: never heap memory.
void releaseMappedPages(const void* view, uint64_t size);

// The comic file's mapped view and the handle of the file it maps, while a comic
// is open (a null view: none). Entries inside the view are then read from the
// file itself, never through the mapping: another program may cut or rewrite the
// file meanwhile, and touching mapped bytes past its new end faults.
void watchMappedFile(const void* view, uint64_t size, void* file);
// The same for a comic being opened while another is still open (and read by
// the decode worker): both are watched until watchMappedFile names one.
void watchOpeningFile(const void* view, uint64_t size, void* file);
// Is this pointer inside a watched view?
bool inWatchedFile(const void* bytes);
// Copies `length` bytes at `from` (inside the watched view: read from the file at
// the same offset) to `to`. False when the file no longer holds them all.
bool copyFileBytes(void* to, const void* from, uint64_t length);

#if !defined(_WIN32) || defined(__WINE__)
// Tests only (native and Linux builds): the allocation `n` calls from now fails
// (0: the next one), once; a negative n cancels a failure not yet reached.
void failNthAllocation(int64_t n);
#endif

#endif
