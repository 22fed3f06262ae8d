// PDFium asks for small pieces, many of them at open (the cross-reference data,
// then every page's dictionary for its size): each is served from one 16 KiB
// block read ahead, so that opening costs about as few reads as the file has
// blocks. Larger blocks cost more than they save where the objects are sparse (a
// file of large images): each page's dictionary then brings in a whole block.
#include "viewer/pdffile.h"

#include <windows.h>

enum { READ_BLOCK_BYTES = 16384 };
static const uint64_t READ_BLOCK_MASK = ~(uint64_t)(READ_BLOCK_BYTES - 1);
// Larger reads are made in pieces of this many bytes (ReadFile takes 32 bits).
static const uint64_t LARGEST_SINGLE_READ = (uint64_t)1 << 30;

struct PdfFileReader {
  FPDF_FILEACCESS access;   // kept with the document, as the test bridge needs
  HANDLE file;
  uint64_t blockStart;    // file offset of block[0]
  uint64_t blockLength;   // bytes of block that hold file bytes; 0 before the first read
  unsigned char block[READ_BLOCK_BYTES];
};

// Reads at an offset: the bytes read, fewer at the file's end (a file truncated
// since the open ends earlier), 0 on an error. A seek then a plain read: under
// Wine a read at an OVERLAPPED offset costs tens of times more, a trip through
// its server each. The file pointer is the reader's alone (PDFium reads on one thread).
static uint64_t readAt(HANDLE file, uint64_t offset, unsigned char* to, uint64_t length) {
  LARGE_INTEGER start;
  start.QuadPart = (LONGLONG)offset;
  if (offset > (uint64_t)INT64_MAX || !SetFilePointerEx(file, start, NULL, FILE_BEGIN)) return 0;
  uint64_t done = 0;
  while (done < length) {
    uint64_t piece = length - done < LARGEST_SINGLE_READ ? length - done : LARGEST_SINGLE_READ;
    DWORD got = 0;
    if (!ReadFile(file, to + done, (DWORD)piece, &got, NULL)) break;
    done += got;
    if (got < piece) break;   // the end of the file
  }
  return done;
}

int readPdfFile(PdfFileReader* reader, uint64_t position, unsigned char* buffer, uint64_t size) {
  uint64_t at = position, left = size, length = reader->access.m_FileLen;
  if (size > length || position > length - size) return 0;   // past the length at open
  while (left > 0) {
    bool held = at >= reader->blockStart && at < reader->blockStart + reader->blockLength;
    if (!held && left >= READ_BLOCK_BYTES) return readAt(reader->file, at, buffer, left) == left;
    if (!held) {
      reader->blockStart = at & READ_BLOCK_MASK;
      reader->blockLength = readAt(reader->file, reader->blockStart, reader->block, READ_BLOCK_BYTES);
      if (at >= reader->blockStart + reader->blockLength) return 0;   // cut short since the open
    }
    uint64_t offset = at - reader->blockStart;
    uint64_t piece = reader->blockLength - offset < left ? reader->blockLength - offset : left;
    CopyMemory(buffer, reader->block + offset, (SIZE_T)piece);
    buffer += piece;
    at += piece;
    left -= piece;
  }
  return 1;
}

static int readBlock(void* param, unsigned long position, unsigned char* buffer, unsigned long size) {
  return readPdfFile((PdfFileReader*)param, position, buffer, size);
}

FPDF_DOCUMENT loadPdfFromHandle(void* file, uint64_t size, PdfFileReader** reader) {
  *reader = NULL;
  if (size > (unsigned long)-1) return NULL;   // Windows' 32-bit length; the caller maps such a file
  PdfFileReader* r = (PdfFileReader*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(PdfFileReader));
  if (!r) return NULL;
  r->file = (HANDLE)file;
  r->access.m_FileLen = (unsigned long)size;
  r->access.m_GetBlock = readBlock;
  r->access.m_Param = r;
  FPDF_DOCUMENT document = FPDF_LoadCustomDocument(&r->access, NULL);
  if (!document) {
    HeapFree(GetProcessHeap(), 0, r);
    return NULL;
  }
  *reader = r;
  return document;
}

void freePdfFileReader(PdfFileReader* reader) {
  if (reader) HeapFree(GetProcessHeap(), 0, reader);
}
