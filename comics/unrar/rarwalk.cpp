// The raw header walk: what libarchive does not tell about an entry, read
// from the entry's own header block.
#include "comics/unrar/rarstate.h"

#include <stdio.h>
#include <stdlib.h>

// libarchive tells neither an entry's packed size nor, for RAR 5, whether its
// data is encrypted. Both sit in the entry's own header, which ends where
// libarchive's stream stands once it has read that header: walk the blocks of
// that volume up to there. Every size read is checked against the volume.

static const uint64_t MAX_RAW_HEADER = 1 << 20;
static const uint32_t RAR4_FILE_TYPE = 0x74, RAR4_END_TYPE = 0x7B;
static const uint32_t RAR4_LONG_BLOCK = 0x8000, RAR4_LARGE = 0x0100, RAR4_PASSWORD = 0x0004;
static const uint64_t RAR5_FILE_TYPE = 2, RAR5_END_TYPE = 5, RAR5_ENCRYPTION_RECORD = 1;
static const size_t RAR4_FILE_FIXED = 32;   // block head + the fixed file fields before the name

// Reads length bytes at offset of a volume; false when they are not all there.
static bool peek(RarCore* core, int volume, uint64_t offset, uint8_t* out, size_t length) {
  RarVolume* v = &core->volumes[volume];
  if (offset > v->size || length > v->size - offset) return false;
  if (core->peekVolume != volume) {
    if (core->peekFile) fclose(core->peekFile);
    core->peekFile = fopen(v->path, "rb");
    core->peekVolume = core->peekFile ? volume : -1;
    if (!core->peekFile) return false;
  }
  if (fseeko(core->peekFile, (off_t)offset, SEEK_SET) != 0) return false;
  return fread(out, 1, length, core->peekFile) == length;
}

// RAR 4 block at offset: its header size, and the data after it (the
// packed size for a file, 64-bit with the large flag).
static bool walkRar4Block(RarCore* core, int volume, uint64_t offset, uint64_t end, RawHeader* raw, uint64_t* next) {
  uint8_t head[RAR4_FILE_FIXED + 8];
  if (!peek(core, volume, offset, head, 7)) return false;
  uint32_t type = head[2], flags = le16(head + 3), size = le16(head + 5);
  if (size < 7 || type == RAR4_END_TYPE) return false;
  uint64_t data = 0;
  if (type == RAR4_FILE_TYPE) {
    if (size < RAR4_FILE_FIXED || !peek(core, volume, offset, head, RAR4_FILE_FIXED)) return false;
    data = le32(head + 7);
    if (flags & RAR4_LARGE) {
      if (size < RAR4_FILE_FIXED + 8 || !peek(core, volume, offset + RAR4_FILE_FIXED, head, 4)) return false;
      data |= (uint64_t)le32(head) << 32;
    }
    raw->encrypted = flags & RAR4_PASSWORD;
  } else if (flags & RAR4_LONG_BLOCK) {
    if (!peek(core, volume, offset + 7, head, 4)) return false;
    data = le32(head);
  }
  raw->packedSize = data;
  if (offset + size == end) return type == RAR4_FILE_TYPE;
  if (data > UINT64_MAX - offset - size) return false;
  *next = offset + size + data;
  return true;
}

// Whether a RAR 5 extra area holds an encryption record.
static bool hasEncryptionRecord(const uint8_t* p, const uint8_t* end) {
  while (p < end) {
    uint64_t size = 0, type = 0;
    size_t used = readVint(p, end, &size);
    if (!used || size == 0 || size > (uint64_t)(end - p - used)) return false;
    if (readVint(p + used, end, &type) && type == RAR5_ENCRYPTION_RECORD) return true;
    p += used + size;
  }
  return false;
}

// RAR 5 block at offset: CRC, header size, type, flags, extra area size,
// data size; the extra area is the header's last bytes.
static bool walkRar5Block(RarCore* core, int volume, uint64_t offset, uint64_t end, RawHeader* raw, uint64_t* next) {
  uint8_t head[16];
  uint64_t headerSize = 0, type = 0, flags = 0, extra = 0, data = 0;
  size_t have =
      core->volumes[volume].size - offset < sizeof head ? (size_t)(core->volumes[volume].size - offset) : sizeof head;
  if (have < 5 || !peek(core, volume, offset, head, have)) return false;
  size_t used = readVint(head + 4, head + have, &headerSize);
  if (!used || headerSize == 0 || headerSize > MAX_RAW_HEADER) return false;
  uint64_t headerStart = offset + 4 + used;
  if (headerSize > core->volumes[volume].size - headerStart) return false;
  uint8_t* header = (uint8_t*)malloc((size_t)headerSize);
  if (!header || !peek(core, volume, headerStart, header, (size_t)headerSize)) {
    free(header);
    return false;
  }
  const uint8_t* p = header;
  const uint8_t* stop = header + headerSize;
  bool ok = (used = readVint(p, stop, &type)) != 0;
  if (ok) ok = (used = readVint(p += used, stop, &flags)) != 0;
  p += used;
  if (ok && (flags & 1)) ok = (used = readVint(p, stop, &extra)) != 0, p += used;
  if (ok && (flags & 2)) ok = (used = readVint(p, stop, &data)) != 0, p += used;
  ok = ok && type != RAR5_END_TYPE && extra <= (uint64_t)(stop - p);
  if (ok && type == RAR5_FILE_TYPE) raw->encrypted = hasEncryptionRecord(stop - extra, stop);
  free(header);
  if (!ok) return false;
  raw->packedSize = data;
  uint64_t headerEnd = headerStart + headerSize;
  if (headerEnd == end) return type == RAR5_FILE_TYPE;
  if (data > UINT64_MAX - headerEnd) return false;
  *next = headerEnd + data;
  return true;
}

// Finds the file header that ends at the stream position dataStart.
bool findRawHeader(RarCore* core, uint64_t dataStart, RawHeader* raw) {
  int volume = core->volumeCount - 1;
  while (volume > 0 && core->volumes[volume].start >= dataStart) volume--;
  RarVolume* v = &core->volumes[volume];
  if (dataStart < v->start || dataStart - v->start > v->size) return false;
  uint64_t end = dataStart - v->start;
  if (core->walkVolume != volume || core->walkOffset >= end) {
    core->walkVolume = volume;
    core->walkOffset = 0;
  }
  uint64_t offset = core->walkOffset;
  if (offset == 0) offset = core->rar5 ? sizeof RAR5_SIGNATURE : sizeof RAR4_SIGNATURE;
  for (; core->walkBudget > 0 && offset < end; core->walkBudget--) {
    uint64_t next = 0;
    raw->encrypted = false;
    bool found = core->rar5 ? walkRar5Block(core, volume, offset, end, raw, &next)
                            : walkRar4Block(core, volume, offset, end, raw, &next);
    if (found && next == 0) {
      raw->headerOffset = offset;
      raw->dataStart = end;
      core->walkOffset = raw->packedSize <= UINT64_MAX - end ? end + raw->packedSize : 0;
      return true;
    }
    if (!found || next <= offset) break;
    offset = next;
  }
  core->walkOffset = 0;
  return false;
}
