// The ZIP directory of a CBZ, read in place from the read-only view of the file.
#ifndef BRISA_COMICS_ZIP_H
#define BRISA_COMICS_ZIP_H
#include "comics/archive/archive.h"

// Fills archive->entries and entryCount with the image entries of the ZIP file in
// view (size bytes), in central directory order; entry data points into the view,
// which must outlive the archive. Returns 0 when at least one entry was kept, else
// OPEN_NO_IMAGE, OPEN_PASSWORD_PROTECTED (only encrypted images) or OPEN_DAMAGED. On
// failure the archive may hold a partial list: freeArchive releases it.
int listZipEntries(ComicArchive* archive, const uint8_t* view, uint64_t size);

// Entry names as stored: UTF-8 when the entry's flag bit 11 says so, else code page
// 437. Both return an owned zero-terminated string (freeBytes), or null without
// memory. Malformed UTF-8 becomes U+FFFD, one per maximal ill-formed subsequence.
char16_t* utf8ToUtf16(const uint8_t* bytes, uint32_t length);
char16_t* codePage437ToUtf16(const uint8_t* bytes, uint32_t length);

#endif
