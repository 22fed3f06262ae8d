// ZIP directory reader (APPNOTE 6.3): end of central directory, ZIP64 records, the
// central directory and the local headers, all read in place from the mapped file.
// Nothing is decompressed or copied; only the entry names are allocated.
#include "comics/archive/zip.h"

#include "comics/archive/bytes.h"
#include "comics/archive/memory.h"
#include "comics/archive/utf8.h"

static const uint64_t END_RECORD_SIZE = 22;
static const uint64_t LONGEST_COMMENT = 65535;
static const uint64_t ZIP64_LOCATOR_SIZE = 20;
static const uint64_t ZIP64_RECORD_SIZE = 56;
static const uint64_t CENTRAL_HEADER_SIZE = 46;
static const uint64_t LOCAL_HEADER_SIZE = 30;
static const uint32_t SATURATED16 = 0xFFFF;
static const uint32_t SATURATED32 = 0xFFFFFFFF;
static const uint32_t ENCRYPTED_FLAG = 0x0001;
static const uint32_t UTF8_NAME_FLAG = 0x0800;
static const uint32_t ZIP64_EXTRA_ID = 0x0001;

// Where the central directory is, as the end records describe it.
struct DirectoryLocation {
  uint64_t count;
  uint64_t size;
  uint64_t offset;
};

// The fields of one central directory record that the listing uses.
struct CentralRecord {
  uint32_t flags;
  int32_t method;
  uint64_t compressedSize;
  uint64_t uncompressedSize;
  uint64_t localOffset;
  uint64_t nameAt;   // file offset of the name
  uint32_t nameLength;
  uint32_t extraLength;
  uint64_t recordLength;   // fixed part, name, extra field and comment
};

// The end-of-central-directory record nearest to the end of the file, searched
// back over the longest possible comment. Returns its offset, or -1.
static int64_t findEndRecord(const uint8_t* view, uint64_t size) {
  if (size < END_RECORD_SIZE) return -1;
  uint64_t last = size - END_RECORD_SIZE;
  uint64_t first = last > LONGEST_COMMENT ? last - LONGEST_COMMENT : 0;
  for (uint64_t at = last + 1; at-- > first;) {
    if (hasBytes(view, size, at, "PK\x05\x06", 4)) return (int64_t)at;
  }
  return -1;
}

// Saturated 32-bit values ask for the ZIP64 record, found through the locator
// right before the end record. Without a valid locator and record the 32-bit
// values stand (and then fail the plausibility checks).
static void applyZip64Record(const uint8_t* view, uint64_t size, uint64_t endAt, DirectoryLocation* location) {
  if (location->count != SATURATED16 && location->size != SATURATED32 && location->offset != SATURATED32) return;
  if (endAt < ZIP64_LOCATOR_SIZE) return;   // no room for a locator
  uint64_t locatorAt = endAt - ZIP64_LOCATOR_SIZE;
  if (!hasBytes(view, size, locatorAt, "PK\x06\x07", 4)) return;
  uint64_t recordAt = le64(view, size, locatorAt + 8);
  if (!fitsIn(recordAt, ZIP64_RECORD_SIZE, size)) return;   // offset from the file: no wrap
  if (!hasBytes(view, size, recordAt, "PK\x06\x06", 4)) return;
  location->count = le64(view, size, recordAt + 32);
  location->size = le64(view, size, recordAt + 40);
  location->offset = le64(view, size, recordAt + 48);
}

// The directory must lie in the file and hold room for its records.
static bool isPlausible(const DirectoryLocation* location, uint64_t size) {
  if (!fitsIn(location->offset, location->size, size)) return false;
  return location->count <= location->size / CENTRAL_HEADER_SIZE;
}

// ZIP64 extended information (extra block 0x0001): 8-byte values, in the order
// uncompressed size, compressed size, local header offset, each present only when
// the central record saturates it. A block too short for a value leaves it as is.
static void readZip64Extra(const uint8_t* view, uint64_t size, uint64_t extraAt, uint32_t extraLength,
                           CentralRecord* record) {
  bool wantUncompressed = record->uncompressedSize == SATURATED32;
  bool wantCompressed = record->compressedSize == SATURATED32;
  bool wantOffset = record->localOffset == SATURATED32;
  uint64_t extraEnd = extraAt + extraLength;   // inside the checked record
  uint64_t p = extraAt;
  while (extraEnd - p >= 4) {   // a block header fits?
    uint32_t id = le16(view, size, p);
    uint32_t dataLength = le16(view, size, p + 2);
    uint64_t dataAt = p + 4;
    if (id == ZIP64_EXTRA_ID && dataLength <= extraEnd - dataAt) {
      uint64_t q = dataAt;
      uint64_t dataEnd = dataAt + dataLength;
      if (wantUncompressed && dataEnd - q >= 8) {
        record->uncompressedSize = le64(view, size, q);
        q += 8;
      }
      if (wantCompressed && dataEnd - q >= 8) {
        record->compressedSize = le64(view, size, q);
        q += 8;
      }
      if (wantOffset && dataEnd - q >= 8) {
        record->localOffset = le64(view, size, q);
      }
    }
    if (dataLength > extraEnd - dataAt) break;   // the block runs past the field
    p = dataAt + dataLength;
  }
}

// Reads the central record at `at`, which must end before `directoryEnd`.
// False is structural damage.
static bool readCentralRecord(const uint8_t* view, uint64_t size, uint64_t at, uint64_t directoryEnd,
                              CentralRecord* record) {
  if (directoryEnd - at < CENTRAL_HEADER_SIZE) return false;      // truncated
  if (!hasBytes(view, size, at, "PK\x01\x02", 4)) return false;   // unsigned
  record->flags = le16(view, size, at + 8);
  record->method = (int32_t)le16(view, size, at + 10);
  record->compressedSize = le32(view, size, at + 20);
  record->uncompressedSize = le32(view, size, at + 24);
  record->nameLength = le16(view, size, at + 28);
  record->extraLength = le16(view, size, at + 30);
  uint32_t commentLength = le16(view, size, at + 32);
  record->localOffset = le32(view, size, at + 42);
  record->nameAt = at + CENTRAL_HEADER_SIZE;
  record->recordLength = CENTRAL_HEADER_SIZE + record->nameLength + record->extraLength + commentLength;
  if (record->recordLength > directoryEnd - at) return false;   // runs past the directory
  readZip64Extra(view, size, record->nameAt + record->nameLength, record->extraLength, record);
  return true;
}

// Follows the local header to the entry's data. False when the header or the
// data lies outside the file: the entry is skipped, the listing goes on.
static bool locateEntryData(const uint8_t* view, uint64_t size, const CentralRecord* record, uint64_t* dataAt) {
  if (size < LOCAL_HEADER_SIZE || record->localOffset > size - LOCAL_HEADER_SIZE) return false;
  uint64_t headerAt = record->localOffset;
  if (!hasBytes(view, size, headerAt, "PK\x03\x04", 4)) return false;
  uint64_t start = headerAt + LOCAL_HEADER_SIZE + le16(view, size, headerAt + 26) +
                   le16(view, size, headerAt + 28);   // no wrap: all terms are small
  if (start > size) return false;
  if (record->compressedSize > size - start) return false;
  *dataAt = start;
  return true;
}

// Code page 437's upper half (bytes 0x80-0xFF); the lower half is ASCII.
static const char16_t CODE_PAGE_437_HIGH[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,   // 80-87
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,   // 88-8F
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,   // 90-97
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,   // 98-9F
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,   // A0-A7
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,   // A8-AF
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,   // B0-B7
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,   // B8-BF
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,   // C0-C7
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,   // C8-CF
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,   // D0-D7
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,   // D8-DF
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,   // E0-E7
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,   // E8-EF
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,   // F0-F7
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,   // F8-FF
};

// Room for the name and its terminating zero: never more UTF-16 units than bytes.
static char16_t* allocName(uint32_t length) {
  return (char16_t*)allocBytes(((size_t)length + 1) * sizeof(char16_t));
}

char16_t* codePage437ToUtf16(const uint8_t* bytes, uint32_t length) {
  char16_t* name = allocName(length);
  if (name == NULL) return NULL;
  for (uint32_t i = 0; i < length; i++) {
    name[i] = bytes[i] < 0x80 ? (char16_t)bytes[i] : CODE_PAGE_437_HIGH[bytes[i] - 0x80];
  }
  name[length] = 0;
  return name;
}

char16_t* utf8ToUtf16(const uint8_t* bytes, uint32_t length) {
  char16_t* name = allocName(length);
  if (name == NULL) return NULL;
  uint32_t in = 0, out = 0;
  while (in < length) {
    size_t used;
    uint32_t codePoint = decodeUtf8(bytes + in, length - in, &used);
    in += (uint32_t)used;
    if (codePoint >= 0x10000) {   // 4 bytes in, 2 units out
      codePoint -= 0x10000;
      name[out++] = (char16_t)(0xD800 + (codePoint >> 10));
      name[out++] = (char16_t)(0xDC00 + (codePoint & 0x3FF));
    } else {
      name[out++] = (char16_t)codePoint;
    }
  }
  name[out] = 0;
  return name;
}

// Appends an image entry; false when the archive already holds the most entries
// it may (the caller's array has exactly that room).
static bool appendEntry(ComicArchive* archive, int32_t capacity, char16_t* name, const uint8_t* data,
                        const CentralRecord* record) {
  if (archive->entryCount >= capacity) return false;
  ArchiveEntry* entry = &archive->entries[archive->entryCount];
  entry->name = name;
  entry->data = data;
  entry->storedSize = record->compressedSize;
  entry->size = record->uncompressedSize;
  entry->method = record->method;
  archive->entryCount += 1;
  return true;
}

int listZipEntries(ComicArchive* archive, const uint8_t* view, uint64_t size) {
  int64_t endAt = findEndRecord(view, size);
  if (endAt < 0) return OPEN_DAMAGED;
  DirectoryLocation location;
  location.count = le16(view, size, (uint64_t)endAt + 10);
  location.size = le32(view, size, (uint64_t)endAt + 12);
  location.offset = le32(view, size, (uint64_t)endAt + 16);
  applyZip64Record(view, size, (uint64_t)endAt, &location);
  if (!isPlausible(&location, size)) return OPEN_DAMAGED;

  // Room for every record up to the entry limit; more images than that is damage.
  int32_t capacity = location.count < (uint64_t)MAX_IMAGE_ENTRIES ? (int32_t)location.count : MAX_IMAGE_ENTRIES;
  if (capacity < 1) capacity = 1;
  archive->entries = (ArchiveEntry*)allocZeroed((size_t)capacity * sizeof(ArchiveEntry));
  if (archive->entries == NULL) return OPEN_DAMAGED;

  bool encryptedImageSeen = false;
  uint64_t at = location.offset;
  uint64_t directoryEnd = location.offset + location.size;   // checked by isPlausible
  for (uint64_t i = 0; i < location.count; i++) {
    CentralRecord record;
    if (!readCentralRecord(view, size, at, directoryEnd, &record)) return OPEN_DAMAGED;
    at += record.recordLength;
    const uint8_t* nameBytes = view + record.nameAt;
    char16_t* name = (record.flags & UTF8_NAME_FLAG) ? utf8ToUtf16(nameBytes, record.nameLength)
                                                     : codePage437ToUtf16(nameBytes, record.nameLength);
    if (name == NULL) continue;   // no memory for this name only
    if (!isImageEntryName(name)) {
      freeBytes(name);
      continue;
    }
    if (record.flags & ENCRYPTED_FLAG) {
      encryptedImageSeen = true;
      freeBytes(name);
      continue;
    }
    uint64_t dataAt;
    if (!locateEntryData(view, size, &record, &dataAt)) {
      freeBytes(name);
      continue;
    }
    if (!appendEntry(archive, capacity, name, view + dataAt, &record)) {
      freeBytes(name);
      return OPEN_DAMAGED;   // too many images
    }
  }
  if (archive->entryCount > 0) return 0;
  return encryptedImageSeen ? OPEN_PASSWORD_PROTECTED : OPEN_NO_IMAGE;
}
