// The RAR signatures and main headers: which format, which archive flags.
// Plain byte reading, no libarchive: the open decides from this alone whether
// an archive is read at all and how.
#include "comics/unrar/rarstate.h"

#include <string.h>
#include <zlib.h>

// RAR 5 variable-length integer: 7 bits a byte, low first, high bit = more.
// Returns the bytes used, 0 when it runs past end or beyond 64 bits.
size_t readVint(const uint8_t* p, const uint8_t* end, uint64_t* value) {
  *value = 0;
  for (size_t i = 0; i < 10 && p + i < end; i++) {
    uint64_t bits = p[i] & 0x7F;
    if (i == 9 && bits > 1) return 0;   // more than 64 bits
    *value |= bits << (7 * i);
    if (!(p[i] & 0x80)) return i + 1;
  }
  return 0;
}

// RAR 4: the main header follows the 7-byte marker; its CRC is the low half
// of the CRC32 of the header from its type byte on.
static int probeRar4(const uint8_t* bytes, size_t length, uint32_t* archiveFlags) {
  const uint8_t* head = bytes + sizeof RAR4_SIGNATURE;
  size_t room = length - sizeof RAR4_SIGNATURE;
  if (room < RAR4_BLOCK_HEAD) return RAR_CORE_BAD_ARCHIVE;
  uint32_t size = le16(head + 5);
  if (head[2] != RAR4_MAIN_TYPE) return RAR_CORE_BAD_ARCHIVE;
  if (size < RAR4_BLOCK_HEAD || size > room) return RAR_CORE_BAD_ARCHIVE;
  uint32_t crc = (uint32_t)crc32(0, head + 2, size - 2) & 0xFFFF;
  if (crc != le16(head)) return RAR_CORE_BAD_ARCHIVE;
  *archiveFlags = le16(head + 3) & RAR4_MAIN_FLAGS_KNOWN;
  return RAR_CORE_OK;
}

// RAR 5: CRC32, header size, type; an encryption header first means the
// headers themselves are encrypted. Volumes always use the partN numbering.
static int probeRar5(const uint8_t* bytes, size_t length, uint32_t* archiveFlags) {
  const uint8_t* p = bytes + sizeof RAR5_SIGNATURE;
  const uint8_t* end = bytes + length;
  if (end - p < 5) return RAR_CORE_BAD_ARCHIVE;
  uint32_t storedCrc = le32(p);
  const uint8_t* sized = p + 4;
  uint64_t headerSize = 0;
  size_t used = readVint(sized, end, &headerSize);
  if (!used || headerSize == 0 || headerSize > RAR5_MAX_HEADER) return RAR_CORE_BAD_ARCHIVE;
  if (headerSize > (uint64_t)(end - sized - used)) return RAR_CORE_BAD_ARCHIVE;   // header must be whole
  if ((uint32_t)crc32(0, sized, (uInt)(used + headerSize)) != storedCrc) return RAR_CORE_BAD_ARCHIVE;
  p = sized + used;
  end = p + headerSize;
  uint64_t type = 0, headerFlags = 0, skipped = 0, flags = 0, volumeNumber = 0;
  if (!(used = readVint(p, end, &type))) return RAR_CORE_BAD_ARCHIVE;
  p += used;
  if (type == RAR5_ENCRYPTION_TYPE) {
    *archiveFlags = RAR_CORE_ARCHIVE_ENCRYPTED_HEADERS;
    return RAR_CORE_OK;
  }
  if (type != RAR5_MAIN_TYPE) return RAR_CORE_BAD_ARCHIVE;
  if (!(used = readVint(p, end, &headerFlags))) return RAR_CORE_BAD_ARCHIVE;
  p += used;
  for (uint64_t bit = 1; bit <= 2; bit++) {   // extra area size, data size
    if (!(headerFlags & bit)) continue;
    if (!(used = readVint(p, end, &skipped))) return RAR_CORE_BAD_ARCHIVE;
    p += used;
  }
  if (!(used = readVint(p, end, &flags))) return RAR_CORE_BAD_ARCHIVE;
  p += used;
  if ((flags & 0x0002) && !readVint(p, end, &volumeNumber)) return RAR_CORE_BAD_ARCHIVE;
  uint32_t out = 0;
  if (flags & 0x0001) {
    out |= RAR_CORE_ARCHIVE_VOLUME | RAR_CORE_ARCHIVE_NEW_NUMBERING;
    if (volumeNumber == 0) out |= RAR_CORE_ARCHIVE_FIRST_VOLUME;
  }
  if (flags & 0x0004) out |= RAR_CORE_ARCHIVE_SOLID;
  if (flags & 0x0008) out |= RAR_CORE_ARCHIVE_RECOVERY;
  if (flags & 0x0010) out |= RAR_CORE_ARCHIVE_LOCKED;
  *archiveFlags = out;
  return RAR_CORE_OK;
}

int rarProbeArchive(const uint8_t* bytes, size_t length, uint32_t* archiveFlags) {
  *archiveFlags = 0;
  if (startsWith(bytes, length, RAR5_SIGNATURE, sizeof RAR5_SIGNATURE)) return probeRar5(bytes, length, archiveFlags);
  if (startsWith(bytes, length, RAR4_SIGNATURE, sizeof RAR4_SIGNATURE)) return probeRar4(bytes, length, archiveFlags);
  if (startsWith(bytes, length, RAR14_SIGNATURE, sizeof RAR14_SIGNATURE)) return RAR_CORE_UNKNOWN_FORMAT;
  return RAR_CORE_BAD_ARCHIVE;
}

// Where the main header ends, for the archives read through a record: not
// solid, not a volume, and a main header without a data area.
bool mainHeaderEnd(const uint8_t* bytes, size_t length, bool rar5, uint32_t archiveFlags, uint64_t* end) {
  if (archiveFlags & (RAR_CORE_ARCHIVE_SOLID | RAR_CORE_ARCHIVE_VOLUME | RAR_CORE_ARCHIVE_ENCRYPTED_HEADERS))
    return false;
  if (!rar5) {
    if (length < sizeof RAR4_SIGNATURE + RAR4_BLOCK_HEAD) return false;
    const uint8_t* head = bytes + sizeof RAR4_SIGNATURE;
    if (le16(head + 3) & 0x8000) return false;   // a data area after the main header
    *end = sizeof RAR4_SIGNATURE + le16(head + 5);
    return *end <= length;
  }
  const uint8_t* sized = bytes + sizeof RAR5_SIGNATURE + 4;
  if (length < sizeof RAR5_SIGNATURE + 5) return false;
  uint64_t headerSize = 0, type = 0, flags = 0;
  size_t used = readVint(sized, bytes + length, &headerSize);
  if (!used || headerSize > (uint64_t)(bytes + length - sized - used)) return false;
  const uint8_t* p = sized + used;
  const uint8_t* stop = p + headerSize;
  size_t a = readVint(p, stop, &type);
  if (!a || !readVint(p + a, stop, &flags) || (flags & 2)) return false;
  *end = (uint64_t)(stop - bytes);
  return true;
}
