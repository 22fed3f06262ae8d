// RAR reading over libarchive, bounded so that a hostile archive fails instead
// of spinning. libarchive never retries for us: once a header read, a skip or
// a data read fails, the archive counts as damaged and every later call fails
// at once. That matters because libarchive 3.6.2, asked for the next header
// after a failed skip, tries the same skip again and fails again without
// moving (a solid RAR 5 directory entry with data does that forever).
#include "comics/unrar/rarcore.h"
#include "comics/unrar/rarhelper.h"

#include <archive.h>
#include <archive_entry.h>
#include <errno.h>
#include <fcntl.h>
#include <locale.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

static const size_t readBufferSize = 65536;
static const size_t probeSize = 65536 + 16;   // a RAR 4 main header (with an old comment) up to 64 KiB
static const int maxVolumes = 4096;
static const int maxStalls = 16;   // data reads in a row that deliver nothing
static const size_t maxPathBytes = rarPathCapacity;
// The raw header walk (below) restarting again and again on a hostile archive
// could grow quadratic: past this many blocks in all, packed sizes go unreported.
static const int maxBlocksWalked = 1 << 22;

enum EntryState { stateBetween, stateEntryRead, stateEnded, stateBroken };

struct ArchiveRecord;

struct RarVolume {
  RarCore* core;
  bool missing;     // not found at open: announced with rarVolumeMissing
  uint64_t start;   // where it begins in libarchive's stream of all volumes
  uint64_t size;
  char path[maxPathBytes];
};

struct RarCore {
  struct archive* reader;
  struct archive_entry* entry;
  RarCoreCallback callback;
  void* context;
  FILE* file;
  RarVolume* volumes;
  int volumeCount;
  uint32_t archiveFlags;
  EntryState state;
  uint32_t entryFlags;
  uint64_t entrySize;
  bool entrySizeKnown;
  int filesSeen;
  bool rar5;
  FILE* peekFile;   // our own look at the raw headers, apart from libarchive's reads
  int peekVolume;
  int walkVolume;   // where the header walk goes on: volume, next block's offset
  uint64_t walkOffset;
  int walkBudget;        // blocks left to walk for the whole archive
  locale_t utf8Locale;   // libarchive converts names to the thread's locale: make it UTF-8
  // A single-volume, non-solid archive is read through its record (below):
  // headers come from there, and a reader starts at the entry it must read.
  ArchiveRecord* record;      // null: one reader walks the whole archive in order
  int nextIndex;              // the entry the next header read returns
  int currentIndex;           // the entry whose header was read last
  int readerNext;             // the entry the reader's next header read returns (-1: no reader)
  int readerCurrent;          // the entry whose data the reader stands before (-1: none)
  int fd;                     // the archive, for the reader's stream
  uint64_t streamStart;       // where in the file the reader's stream goes on after the prefix
  uint64_t streamPosition;    // bytes of the reader's stream handed over or skipped
  bool entryCutShort;         // the remembered entry's data runs past the file's end
  uint8_t* buffer;            // readBufferSize bytes, from the first reader on
  RarHelperArchive* helper;   // a solid RAR 4 archive: read through the helper instead
};

static locale_t enterUtf8(RarCore* core);
static locale_t sharedUtf8Locale();
static void leaveUtf8(locale_t previous);
static int readRememberedHeader(RarCore* core, RarEntryInfo* info);
static int processRememberedEntry(RarCore* core, int operation);

// The work counters of rarCoreWorkSoFar.
static uint64_t readersStarted, bytesRead;   // changed atomically

static void countReader() {
  __atomic_fetch_add(&readersStarted, 1, __ATOMIC_RELAXED);
}
static void countBytes(size_t length) {
  __atomic_fetch_add(&bytesRead, (uint64_t)length, __ATOMIC_RELAXED);
}

// ------------------------------------------------------------ the probe ---

static const uint8_t rar4Signature[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
static const uint8_t rar5Signature[8] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};
static const uint8_t rar14Signature[4] = {0x52, 0x45, 0x7E, 0x5E};

static const uint32_t rar4MainType = 0x73;
static const uint32_t rar4MainFlagsKnown = 0x01FF;   // these map one to one onto the archive flags
static const size_t rar4BlockHead = 7;               // CRC, type, flags, size

static const uint32_t rar5MainType = 1, rar5EncryptionType = 4;
static const uint64_t rar5MaxHeader = 2 * 1024 * 1024;

static bool startsWith(const uint8_t* bytes, size_t length, const uint8_t* prefix, size_t prefixLength) {
  return length >= prefixLength && memcmp(bytes, prefix, prefixLength) == 0;
}

static uint32_t le16(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8);
}
static uint32_t le32(const uint8_t* p) {
  return le16(p) | (le16(p + 2) << 16);
}

// RAR 5 variable-length integer: 7 bits a byte, low first, high bit = more.
// Returns the bytes used, 0 when it runs past end or beyond 64 bits.
static size_t readVint(const uint8_t* p, const uint8_t* end, uint64_t* value) {
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
  const uint8_t* head = bytes + sizeof rar4Signature;
  size_t room = length - sizeof rar4Signature;
  if (room < rar4BlockHead) return rarBadArchive;
  uint32_t size = le16(head + 5);
  if (head[2] != rar4MainType) return rarBadArchive;
  if (size < rar4BlockHead || size > room) return rarBadArchive;
  uint32_t crc = (uint32_t)crc32(0, head + 2, size - 2) & 0xFFFF;
  if (crc != le16(head)) return rarBadArchive;
  *archiveFlags = le16(head + 3) & rar4MainFlagsKnown;
  return rarOk;
}

// RAR 5: CRC32, header size, type; an encryption header first means the
// headers themselves are encrypted. Volumes always use the partN numbering.
static int probeRar5(const uint8_t* bytes, size_t length, uint32_t* archiveFlags) {
  const uint8_t* p = bytes + sizeof rar5Signature;
  const uint8_t* end = bytes + length;
  if (end - p < 5) return rarBadArchive;
  uint32_t storedCrc = le32(p);
  const uint8_t* sized = p + 4;
  uint64_t headerSize = 0;
  size_t used = readVint(sized, end, &headerSize);
  if (!used || headerSize == 0 || headerSize > rar5MaxHeader) return rarBadArchive;
  if (headerSize > (uint64_t)(end - sized - used)) return rarBadArchive;   // header must be whole
  if ((uint32_t)crc32(0, sized, (uInt)(used + headerSize)) != storedCrc) return rarBadArchive;
  p = sized + used;
  end = p + headerSize;
  uint64_t type = 0, headerFlags = 0, skipped = 0, flags = 0, volumeNumber = 0;
  if (!(used = readVint(p, end, &type))) return rarBadArchive;
  p += used;
  if (type == rar5EncryptionType) {
    *archiveFlags = rarArchiveEncryptedHeaders;
    return rarOk;
  }
  if (type != rar5MainType) return rarBadArchive;
  if (!(used = readVint(p, end, &headerFlags))) return rarBadArchive;
  p += used;
  for (uint64_t bit = 1; bit <= 2; bit++) {   // extra area size, data size
    if (!(headerFlags & bit)) continue;
    if (!(used = readVint(p, end, &skipped))) return rarBadArchive;
    p += used;
  }
  if (!(used = readVint(p, end, &flags))) return rarBadArchive;
  p += used;
  if ((flags & 0x0002) && !readVint(p, end, &volumeNumber)) return rarBadArchive;
  uint32_t out = 0;
  if (flags & 0x0001) {
    out |= rarArchiveVolume | rarArchiveNewNumbering;
    if (volumeNumber == 0) out |= rarArchiveFirstVolume;
  }
  if (flags & 0x0004) out |= rarArchiveSolid;
  if (flags & 0x0008) out |= rarArchiveRecovery;
  if (flags & 0x0010) out |= rarArchiveLocked;
  *archiveFlags = out;
  return rarOk;
}

int rarProbeArchive(const uint8_t* bytes, size_t length, uint32_t* archiveFlags) {
  *archiveFlags = 0;
  if (startsWith(bytes, length, rar5Signature, sizeof rar5Signature)) return probeRar5(bytes, length, archiveFlags);
  if (startsWith(bytes, length, rar4Signature, sizeof rar4Signature)) return probeRar4(bytes, length, archiveFlags);
  if (startsWith(bytes, length, rar14Signature, sizeof rar14Signature)) return rarUnknownFormat;
  return rarBadArchive;
}

// ------------------------------------------------------- volume names ---

static bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Where the extension starts (its '.'), or the end when the name has none.
static size_t extensionStart(const char* path, size_t length) {
  for (size_t i = length; i > 0; i--) {
    if (path[i - 1] == '/') break;
    if (path[i - 1] == '.') return i - 1;
  }
  return length;
}

// partN numbering: add one to the last run of digits before the extension,
// growing the run when it overflows (part9 -> part10).
static bool nextNewNumber(char* name, size_t length, size_t capacity) {
  size_t ext = extensionStart(name, length);
  size_t last = ext;
  while (last > 0 && !isDigit(name[last - 1]) && name[last - 1] != '/') last--;
  if (last == 0 || !isDigit(name[last - 1])) return false;
  size_t i = last;
  while (i > 0 && isDigit(name[i - 1])) {
    if (name[i - 1] != '9') {
      name[i - 1]++;
      return true;
    }
    name[i - 1] = '0';
    i--;
  }
  if (length + 2 > capacity) return false;
  memmove(name + i + 1, name + i, length - i + 1);
  name[i] = '1';
  return true;
}

// Old numbering: x.rar, x.r00, x.r01 ... x.r99, x.s00.
static bool nextOldNumber(char* name, size_t length) {
  size_t ext = extensionStart(name, length);
  if (length - ext != 4) return false;
  char* e = name + ext;
  if (!isDigit(e[2]) || !isDigit(e[3])) {
    e[2] = '0';
    e[3] = '0';
    return true;
  }
  if (++e[3] <= '9') return true;
  e[3] = '0';
  if (++e[2] <= '9') return true;
  e[2] = '0';
  return ++e[1] != 0 && e[1] != '.' && e[1] != '/';
}

bool rarNextVolumeName(const char* path, bool newNumbering, char* out, size_t capacity) {
  size_t length = strlen(path);
  if (length + 1 > capacity) return false;
  memcpy(out, path, length + 1);
  return newNumbering ? nextNewNumber(out, length, capacity) : nextOldNumber(out, length);
}

// ------------------------------------------------------------- UTF-16 ---

// Decodes one UTF-8 sequence; returns its length (1 for an invalid byte,
// which becomes U+FFFD).
static size_t decodeUtf8(const unsigned char* p, uint32_t* codePoint) {
  static const uint32_t minimum[4] = {0, 0x80, 0x800, 0x10000};
  size_t extra = p[0] >= 0xF0 ? 3 : p[0] >= 0xE0 ? 2 : p[0] >= 0xC0 ? 1 : 0;
  *codePoint = 0xFFFD;
  if (p[0] < 0x80) {
    *codePoint = p[0];
    return 1;
  }
  if ((p[0] & 0xC0) == 0x80 || p[0] >= 0xF8) return 1;
  uint32_t value = p[0] & (0x3F >> extra);
  for (size_t i = 1; i <= extra; i++) {
    if ((p[i] & 0xC0) != 0x80) return 1;   // stops at the terminating zero too
    value = (value << 6) | (p[i] & 0x3F);
  }
  if (value < minimum[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 1;
  *codePoint = value;
  return extra + 1;
}

// Appends one code point as UTF-16 at out[*units], leaving room for the
// terminating zero; false when it does not fit.
static bool appendUtf16(uint32_t c, char16_t* out, size_t capacity, size_t* units) {
  size_t need = c >= 0x10000 ? 2 : 1;
  if (*units + need + 1 > capacity) return false;
  if (need == 2) {
    out[(*units)++] = (char16_t)(0xD800 + ((c - 0x10000) >> 10));
    out[(*units)++] = (char16_t)(0xDC00 + ((c - 0x10000) & 0x3FF));
  } else {
    out[(*units)++] = (char16_t)c;
  }
  return true;
}

size_t rarUtf8ToUtf16(const char* text, char16_t* out, size_t capacity) {
  const unsigned char* p = (const unsigned char*)text;
  size_t units = 0;
  while (*p) {
    uint32_t c = 0;
    p += decodeUtf8(p, &c);
    if (!appendUtf16(c, out, capacity, &units)) break;
  }
  out[units] = 0;
  return units;
}

// ------------------------------------------------ libarchive callbacks ---

static bool fileExists(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

static int openVolumeFile(RarCore* core, const char* path) {
  core->file = fopen(path, "rb");
  return core->file ? ARCHIVE_OK : ARCHIVE_FATAL;
}

static int closeVolumeFile(RarCore* core) {
  if (core->file) fclose(core->file);
  core->file = nullptr;
  return ARCHIVE_OK;
}

static int openFirstVolume(struct archive* reader, void* data) {
  RarVolume* volume = (RarVolume*)data;
  if (openVolumeFile(volume->core, volume->path) == ARCHIVE_OK) return ARCHIVE_OK;
  archive_set_error(reader, EIO, "cannot open the archive");
  return ARCHIVE_FATAL;
}

static la_ssize_t readVolume(struct archive* reader, void* data, const void** buffer) {
  RarCore* core = ((RarVolume*)data)->core;
  *buffer = core->buffer;
  if (!core->file) return 0;
  size_t got = fread(core->buffer, 1, readBufferSize, core->file);
  if (got == 0 && ferror(core->file)) {
    archive_set_error(reader, EIO, "read error");
    return -1;
  }
  countBytes(got);
  return (la_ssize_t)got;
}

// Skips forward within the current volume, never past its end.
static la_int64_t skipVolume(struct archive*, void* data, la_int64_t request) {
  RarCore* core = ((RarVolume*)data)->core;
  if (!core->file || request <= 0) return 0;
  off_t here = ftello(core->file);
  if (here < 0 || fseeko(core->file, 0, SEEK_END) != 0) return 0;
  off_t end = ftello(core->file);
  off_t target = request < end - here ? here + request : end;
  if (fseeko(core->file, target, SEEK_SET) != 0) return 0;
  return target - here;
}

static int closeVolume(struct archive*, void* data) {
  return closeVolumeFile(((RarVolume*)data)->core);
}

static int askForVolume(RarCore* core, RarVolume* volume, uint64_t found) {
  if (!core->callback) return found == rarVolumeFound ? 1 : -1;
  return core->callback(core->context, rarMessageVolume, volume->path, found);
}

// libarchive moves on to the next volume: announce it, or ask for it when it
// was missing at open (once more after the caller's answer, then give up).
static int switchVolume(struct archive* reader, void* fromData, void* toData) {
  if (fromData == toData) return ARCHIVE_OK;
  RarVolume* volume = (RarVolume*)toData;
  RarCore* core = volume->core;
  closeVolumeFile(core);
  if (volume->missing || !fileExists(volume->path)) {
    if (askForVolume(core, volume, rarVolumeMissing) == -1 || !fileExists(volume->path)) {
      archive_set_error(reader, EIO, "missing volume");
      return ARCHIVE_FATAL;
    }
  } else if (askForVolume(core, volume, rarVolumeFound) == -1) {
    archive_set_error(reader, EIO, "volume refused");
    return ARCHIVE_FATAL;
  }
  if (openVolumeFile(core, volume->path) == ARCHIVE_OK) return ARCHIVE_OK;
  archive_set_error(reader, EIO, "cannot open volume");
  return ARCHIVE_FATAL;
}

// ---------------------------------------------------------------- open ---

// Reads the first bytes of path for the probe; false when it cannot be read.
static bool readProbe(const char* path, uint8_t* bytes, size_t* length) {
  FILE* file = fopen(path, "rb");
  if (!file) return false;
  *length = fread(bytes, 1, probeSize, file);
  bool failed = ferror(file);
  fclose(file);
  return !failed;
}

// Whether the end-of-archive header closing this volume says another follows
// (RAR 4: ENDARC flag 0x0001; RAR 5: end of archive flag 0x0001). When the end
// cannot be found, assume one does: asking costs less than a silent cut.
static bool volumeSaysMoreFollow(const char* path) {
  static const size_t tailSize = 64;
  uint8_t tail[tailSize];
  FILE* file = fopen(path, "rb");
  if (!file) return true;
  size_t length = 0;
  if (fseeko(file, 0, SEEK_END) == 0) {
    off_t size = ftello(file);
    off_t start = size > (off_t)tailSize ? size - (off_t)tailSize : 0;
    if (size >= 0 && fseeko(file, start, SEEK_SET) == 0) length = fread(tail, 1, tailSize, file);
  }
  fclose(file);
  for (size_t start = length >= 7 ? length - 7 : 0; start + 7 <= length; start--) {
    const uint8_t* p = tail + start;
    size_t size = length - start;
    if (p[2] == 0x7B && le16(p + 5) == size && ((uint32_t)crc32(0, p + 2, (uInt)size - 2) & 0xFFFF) == le16(p))
      return le16(p + 3) & 0x0001;
    uint64_t headerSize = 0, type = 0, flags = 0, endFlags = 0;
    size_t used = size > 4 ? readVint(p + 4, tail + length, &headerSize) : 0;
    if (used && headerSize == size - 4 - used && (uint32_t)crc32(0, p + 4, (uInt)(size - 4)) == le32(p)) {
      const uint8_t* q = p + 4 + used;
      size_t a = readVint(q, tail + length, &type);
      size_t b = a ? readVint(q + a, tail + length, &flags) : 0;
      if (type == 5 && b && readVint(q + a + b, tail + length, &endFlags)) return endFlags & 0x0001;
    }
    if (start == 0) break;
  }
  return true;
}

// Room for one more volume record: a single-volume archive must not pay for
// thousands of paths at every open.
static bool growVolumes(RarCore* core, int* capacity) {
  if (core->volumeCount < *capacity) return true;
  int grown = *capacity ? *capacity * 2 : 1;
  RarVolume* volumes = (RarVolume*)realloc(core->volumes, (size_t)grown * sizeof(RarVolume));
  if (!volumes) return false;
  memset(volumes + *capacity, 0, (size_t)(grown - *capacity) * sizeof(RarVolume));
  core->volumes = volumes;
  *capacity = grown;
  return true;
}

// The volumes after the first that exist, then the first one that does not
// (libarchive only moves to it when the archive says more follow).
static int listVolumes(RarCore* core, const char* path) {
  int capacity = 0;
  if (!growVolumes(core, &capacity)) return rarNoMemory;
  size_t length = strlen(path);
  if (length >= maxPathBytes) return rarOpenFailed;
  memcpy(core->volumes[0].path, path, length + 1);
  core->volumeCount = 1;
  bool newNumbering = core->archiveFlags & rarArchiveNewNumbering;
  while (core->archiveFlags & rarArchiveVolume && core->volumeCount < maxVolumes) {
    if (!growVolumes(core, &capacity)) return rarNoMemory;
    RarVolume* previous = &core->volumes[core->volumeCount - 1];
    RarVolume* next = &core->volumes[core->volumeCount];
    if (!rarNextVolumeName(previous->path, newNumbering, next->path, maxPathBytes)) break;
    if (!fileExists(next->path)) {
      if (!volumeSaysMoreFollow(previous->path)) break;
      next->missing = true;
      core->volumeCount++;
      break;
    }
    core->volumeCount++;
  }
  uint64_t start = 0;
  for (int i = 0; i < core->volumeCount; i++) {
    RarVolume* volume = &core->volumes[i];
    struct stat info;
    volume->core = core;
    volume->start = start;
    volume->size = !volume->missing && stat(volume->path, &info) == 0 ? (uint64_t)info.st_size : 0;
    start += volume->size;
  }
  return rarOk;
}

static int startReader(RarCore* core) {
  core->buffer = (uint8_t*)malloc(readBufferSize);
  if (!core->buffer) return rarNoMemory;
  struct archive* reader = archive_read_new();
  if (!reader) return rarNoMemory;
  core->reader = reader;
  countReader();
  archive_read_support_format_rar(reader);
  archive_read_support_format_rar5(reader);
  archive_read_set_open_callback(reader, openFirstVolume);
  archive_read_set_read_callback(reader, readVolume);
  archive_read_set_skip_callback(reader, skipVolume);
  archive_read_set_close_callback(reader, closeVolume);
  archive_read_set_switch_callback(reader, switchVolume);
  if (archive_read_set_callback_data(reader, &core->volumes[0]) != ARCHIVE_OK) return rarNoMemory;
  for (int i = 1; i < core->volumeCount; i++)
    if (archive_read_append_callback_data(reader, &core->volumes[i]) != ARCHIVE_OK) return rarNoMemory;
  return archive_read_open1(reader) == ARCHIVE_OK ? rarOk : rarBadArchive;
}

// ------------------------------------------------- remembered archives ---
// The reader reopens a non-solid archive and skips back to an entry once per
// page. Walking the headers through libarchive each time costs the whole
// archive per open, so a single-volume, non-solid archive is remembered: its
// headers as first read, where each entry's header starts and where its data
// ends. A reopen answers header reads and skips from there; only a test
// starts a reader, fed the signature and main header and then the file from
// that entry's header on. A changed file (size, times, inode) is read anew.
// Timestamps are coarse (a clock tick; two seconds on FAT): a file changed
// within the settling time could change again with the same times, so it is
// remembered for that one open only.

struct CachedEntry {
  char16_t* name;
  uint32_t flags;
  uint64_t unpackedSize;
  uint64_t packedSize;
  uint32_t dosTime;
  int64_t unixTime;
  uint32_t mode;
  bool sizeKnown;
  uint64_t headerOffset;   // where its header block starts in the file
  uint64_t dataEnd;        // where its data ends: the next block starts there
};

struct ArchiveRecord {
  char* path;
  dev_t device;
  ino_t inode;
  uint64_t size;
  int64_t modified;   // nanoseconds
  int64_t changed;
  uint32_t archiveFlags;
  bool rar5;
  uint8_t* prefix;   // the signature and main header
  size_t prefixLength;
  CachedEntry* entries;   // the entries read so far, in order
  int count;
  int capacity;
  bool complete;   // past the last entry the archive ends
  bool frozen;     // an entry's place was not found: nothing more is added
  int users;       // open cores reading through it
  bool listed;     // in the table below
  uint64_t lastUse;
};

static const int recordSlots = 4;
static const int maxRememberedEntries = 1 << 16;
static pthread_mutex_t recordLock = PTHREAD_MUTEX_INITIALIZER;
static ArchiveRecord* records[recordSlots];
static uint64_t recordClock;
static bool rememberArchives = true;
static int64_t settlingTime = 2000000000;   // nanoseconds

void rarCoreWorkSoFar(RarCoreWork* work) {
  work->readersStarted = __atomic_load_n(&readersStarted, __ATOMIC_RELAXED);
  work->bytesRead = __atomic_load_n(&bytesRead, __ATOMIC_RELAXED);
}

static int64_t nanosecondsOf(const struct timespec* time) {
  return (int64_t)time->tv_sec * 1000000000 + time->tv_nsec;
}

static void freeRecord(ArchiveRecord* record) {
  for (int i = 0; i < record->count; i++) free(record->entries[i].name);
  free(record->entries);
  free(record->prefix);
  free(record->path);
  free(record);
}

// Takes a record out of the table (under the lock); freed once unused.
static void unlistRecord(int slot) {
  ArchiveRecord* record = records[slot];
  records[slot] = nullptr;
  record->listed = false;
  if (record->users == 0) freeRecord(record);
}

static bool isSameFile(const ArchiveRecord* record, const struct stat* info) {
  return record->device == info->st_dev && record->inode == info->st_ino && record->size == (uint64_t)info->st_size &&
         record->modified == nanosecondsOf(&info->st_mtim) && record->changed == nanosecondsOf(&info->st_ctim);
}

// The record of path when the file is still the one it describes; a record
// of an older file by that name is forgotten.
static ArchiveRecord* findRecord(const char* path, const struct stat* info) {
  ArchiveRecord* found = nullptr;
  pthread_mutex_lock(&recordLock);
  for (int slot = 0; slot < recordSlots && !found; slot++) {
    ArchiveRecord* record = records[slot];
    if (!record || strcmp(record->path, path) != 0) continue;
    if (!isSameFile(record, info)) {
      unlistRecord(slot);
      continue;
    }
    record->users++;
    record->lastUse = ++recordClock;
    found = record;
  }
  pthread_mutex_unlock(&recordLock);
  return found;
}

void rarCoreSetSettlingTime(int64_t nanoseconds) {
  pthread_mutex_lock(&recordLock);
  settlingTime = nanoseconds;
  pthread_mutex_unlock(&recordLock);
}

// Whether the file's last change is older than the settling time (under the lock).
static bool hasSettled(const ArchiveRecord* record) {
  struct timespec now;
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
  int64_t changed = record->modified > record->changed ? record->modified : record->changed;
  int64_t age = nanosecondsOf(&now) - changed;
  return age >= settlingTime;
}

// A free slot, else the least recently used record nobody reads; -1 when
// all are in use (under the lock).
static int slotForNewRecord() {
  int chosen = -1;
  for (int slot = 0; slot < recordSlots; slot++) {
    ArchiveRecord* other = records[slot];
    if (!other) return slot;
    if (other->users == 0 && (chosen < 0 || other->lastUse < records[chosen]->lastUse)) chosen = slot;
  }
  return chosen;
}

// Gives a new record its first user and puts it in the table; one of a file
// that has not settled, or with the table all in use, stays private.
static void listRecord(ArchiveRecord* record) {
  pthread_mutex_lock(&recordLock);
  record->users = 1;
  record->lastUse = ++recordClock;
  int slot = hasSettled(record) ? slotForNewRecord() : -1;
  if (slot >= 0) {
    if (records[slot]) unlistRecord(slot);
    records[slot] = record;
    record->listed = true;
  }
  pthread_mutex_unlock(&recordLock);
}

static void releaseRecord(ArchiveRecord* record) {
  pthread_mutex_lock(&recordLock);
  if (--record->users == 0 && !record->listed) freeRecord(record);
  pthread_mutex_unlock(&recordLock);
}

bool rarCoreRememberArchives(bool enabled) {
  pthread_mutex_lock(&recordLock);
  bool previous = rememberArchives;
  rememberArchives = enabled;
  if (!enabled)
    for (int slot = 0; slot < recordSlots; slot++)
      if (records[slot]) unlistRecord(slot);
  pthread_mutex_unlock(&recordLock);
  return previous;
}

static bool remembering() {
  pthread_mutex_lock(&recordLock);
  bool enabled = rememberArchives;
  pthread_mutex_unlock(&recordLock);
  return enabled;
}

// Where the main header ends, for the archives read through a record: not
// solid, not a volume, and a main header without a data area.
static bool mainHeaderEnd(const uint8_t* bytes, size_t length, bool rar5, uint32_t archiveFlags, uint64_t* end) {
  if (archiveFlags & (rarArchiveSolid | rarArchiveVolume | rarArchiveEncryptedHeaders)) return false;
  if (!rar5) {
    if (length < sizeof rar4Signature + rar4BlockHead) return false;
    const uint8_t* head = bytes + sizeof rar4Signature;
    if (le16(head + 3) & 0x8000) return false;   // a data area after the main header
    *end = sizeof rar4Signature + le16(head + 5);
    return *end <= length;
  }
  const uint8_t* sized = bytes + sizeof rar5Signature + 4;
  if (length < sizeof rar5Signature + 5) return false;
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

static ArchiveRecord* newRecord(const char* path, const struct stat* info, uint32_t archiveFlags, bool rar5,
                                const uint8_t* prefix, size_t prefixLength) {
  ArchiveRecord* record = (ArchiveRecord*)calloc(1, sizeof(ArchiveRecord));
  if (!record) return nullptr;
  record->path = strdup(path);
  record->prefix = (uint8_t*)malloc(prefixLength);
  if (!record->path || !record->prefix) {
    freeRecord(record);
    return nullptr;
  }
  memcpy(record->prefix, prefix, prefixLength);
  record->prefixLength = prefixLength;
  record->device = info->st_dev;
  record->inode = info->st_ino;
  record->size = (uint64_t)info->st_size;
  record->modified = nanosecondsOf(&info->st_mtim);
  record->changed = nanosecondsOf(&info->st_ctim);
  record->archiveFlags = archiveFlags;
  record->rar5 = rar5;
  return record;
}

static size_t nameLength(const char16_t* name) {
  size_t length = 0;
  while (name[length]) length++;
  return length;
}

// Adds entry index, read through a reader, when it is the next one missing.
// headerOffset and dataEnd are null when the entry's place is not known.
static void rememberEntry(ArchiveRecord* record, int index, const RarEntryInfo* info, bool sizeKnown,
                          const uint64_t* headerOffset, const uint64_t* dataEnd) {
  pthread_mutex_lock(&recordLock);
  if (index == record->count && !record->frozen) {
    record->frozen = !headerOffset || record->count >= maxRememberedEntries;
    if (!record->frozen && record->count == record->capacity) {
      int grown = record->capacity ? record->capacity * 2 : 64;
      CachedEntry* entries = (CachedEntry*)realloc(record->entries, (size_t)grown * sizeof(CachedEntry));
      if (entries) {
        record->entries = entries;
        record->capacity = grown;
      }
      record->frozen = !entries;
    }
    size_t units = nameLength(info->name) + 1;
    char16_t* name = record->frozen ? nullptr : (char16_t*)malloc(units * sizeof(char16_t));
    if (name) {
      memcpy(name, info->name, units * sizeof(char16_t));
      CachedEntry* entry = &record->entries[record->count++];
      entry->name = name;
      entry->flags = info->flags;
      entry->unpackedSize = info->unpackedSize;
      entry->packedSize = info->packedSize;
      entry->dosTime = info->dosTime;
      entry->unixTime = info->unixTime;
      entry->mode = info->mode;
      entry->sizeKnown = sizeKnown;
      entry->headerOffset = *headerOffset;
      entry->dataEnd = *dataEnd;
    } else {
      record->frozen = true;
    }
  }
  pthread_mutex_unlock(&recordLock);
}

// Copies entry index out of the record; false when it is not there (yet).
static bool recallEntry(RarCore* core, int index, RarEntryInfo* info, bool* complete) {
  ArchiveRecord* record = core->record;
  pthread_mutex_lock(&recordLock);
  bool found = index < record->count;
  *complete = record->complete && index >= record->count;
  if (found) {
    const CachedEntry* entry = &record->entries[index];
    memcpy(info->name, entry->name, (nameLength(entry->name) + 1) * sizeof(char16_t));
    info->flags = entry->flags;
    info->unpackedSize = entry->unpackedSize;
    info->packedSize = entry->packedSize;
    info->dosTime = entry->dosTime;
    info->unixTime = entry->unixTime;
    info->mode = entry->mode;
    core->entryFlags = entry->flags;
    core->entrySize = entry->unpackedSize;
    core->entrySizeKnown = entry->sizeKnown;
    core->entryCutShort = entry->dataEnd > record->size;
  }
  pthread_mutex_unlock(&recordLock);
  return found;
}

// Where a reader must start to reach entry index: the entry itself when it is
// remembered, else after the last one remembered (or at the first block).
// An entry whose data runs past the end is read again, so that its damage is
// reported as it was the first time.
static int streamStartFor(RarCore* core, int index, uint64_t* offset) {
  ArchiveRecord* record = core->record;
  pthread_mutex_lock(&recordLock);
  int start = index < record->count ? index : record->count;
  if (start == record->count && start > 0 && record->entries[start - 1].dataEnd > record->size) start--;
  if (start < record->count) {
    *offset = record->entries[start].headerOffset;
  } else {
    *offset = start > 0 ? record->entries[start - 1].dataEnd : record->prefixLength;
  }
  pthread_mutex_unlock(&recordLock);
  return start;
}

// The reader's stream: the record's prefix, then the file from streamStart.
static int openStream(struct archive* reader, void* data) {
  RarCore* core = (RarCore*)data;
  if (core->fd < 0) core->fd = open(core->volumes[0].path, O_RDONLY | O_CLOEXEC);
  if (core->fd >= 0) return ARCHIVE_OK;
  archive_set_error(reader, EIO, "cannot open the archive");
  return ARCHIVE_FATAL;
}

static la_ssize_t readStream(struct archive* reader, void* data, const void** buffer) {
  RarCore* core = (RarCore*)data;
  const ArchiveRecord* record = core->record;   // its prefix never changes
  if (core->streamPosition < record->prefixLength) {
    size_t length = record->prefixLength - (size_t)core->streamPosition;
    *buffer = record->prefix + core->streamPosition;
    core->streamPosition += length;
    return (la_ssize_t)length;
  }
  uint64_t offset = core->streamStart + (core->streamPosition - record->prefixLength);
  *buffer = core->buffer;
  if (offset > (uint64_t)INT64_MAX) return 0;
  ssize_t got = pread(core->fd, core->buffer, readBufferSize, (off_t)offset);
  if (got < 0) {
    archive_set_error(reader, EIO, "read error");
    return -1;
  }
  core->streamPosition += (uint64_t)got;
  countBytes((size_t)got);
  return (la_ssize_t)got;
}

// Skips forward, never past the file's end.
static la_int64_t skipStream(struct archive*, void* data, la_int64_t request) {
  RarCore* core = (RarCore*)data;
  const ArchiveRecord* record = core->record;
  if (request <= 0) return 0;
  uint64_t fileRoom = record->size > core->streamStart ? record->size - core->streamStart : 0;
  uint64_t end = record->prefixLength + fileRoom;
  uint64_t room = end > core->streamPosition ? end - core->streamPosition : 0;
  uint64_t step = (uint64_t)request < room ? (uint64_t)request : room;
  core->streamPosition += step;
  return (la_int64_t)step;
}

static void dropReader(RarCore* core) {
  if (core->reader) archive_read_free(core->reader);
  core->reader = nullptr;
  core->entry = nullptr;
  core->readerNext = -1;
  core->readerCurrent = -1;
}

// Starts a reader whose next header read returns entry index.
static bool startReaderAt(RarCore* core, int index) {
  dropReader(core);
  uint64_t offset = 0;
  int start = streamStartFor(core, index, &offset);
  core->streamStart = offset;
  core->streamPosition = 0;
  core->walkVolume = 0;
  core->walkOffset = offset;
  if (!core->buffer) core->buffer = (uint8_t*)malloc(readBufferSize);
  struct archive* reader = core->buffer ? archive_read_new() : nullptr;
  if (!reader) return false;
  core->reader = reader;
  countReader();
  archive_read_support_format_rar(reader);
  archive_read_support_format_rar5(reader);
  archive_read_set_open_callback(reader, openStream);
  archive_read_set_read_callback(reader, readStream);
  archive_read_set_skip_callback(reader, skipStream);
  if (archive_read_set_callback_data(reader, core) != ARCHIVE_OK || archive_read_open1(reader) != ARCHIVE_OK)
    return false;
  for (core->readerNext = start; core->readerNext < index; core->readerNext++) {
    int r = archive_read_next_header(reader, &core->entry);
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) return false;
  }
  return true;
}

static bool positionReader(RarCore* core, int index) {
  if (core->reader && core->readerNext == index) return true;
  return startReaderAt(core, index);
}

static RarCore* openThroughRecord(ArchiveRecord* record, RarCoreCallback callback, void* context, int* result,
                                  uint32_t* archiveFlags) {
  *archiveFlags = record->archiveFlags;
  RarCore* core = (RarCore*)calloc(1, sizeof(RarCore));
  RarVolume* volume = (RarVolume*)calloc(1, sizeof(RarVolume));
  if (!core || !volume || strlen(record->path) >= maxPathBytes) {
    free(core);
    free(volume);
    releaseRecord(record);
    *result = core && volume ? rarOpenFailed : rarNoMemory;
    return nullptr;
  }
  strcpy(volume->path, record->path);
  volume->core = core;
  volume->size = record->size;
  core->volumes = volume;
  core->volumeCount = 1;
  core->record = record;
  core->callback = callback;
  core->context = context;
  core->archiveFlags = record->archiveFlags;
  core->rar5 = record->rar5;
  core->fd = -1;
  core->readerNext = -1;
  core->readerCurrent = -1;
  core->peekVolume = -1;
  core->walkBudget = maxBlocksWalked;
  core->utf8Locale = sharedUtf8Locale();
  *result = rarOk;
  return core;
}

// A record for the archive just probed, when it can be read through one.
static ArchiveRecord* recordFor(const char* path, const struct stat* info, bool statOk, const uint8_t* probe,
                                size_t probeLength, bool rar5, uint32_t archiveFlags) {
  uint64_t prefixLength = 0;
  if (!statOk || !remembering() || !mainHeaderEnd(probe, probeLength, rar5, archiveFlags, &prefixLength))
    return nullptr;
  ArchiveRecord* record = newRecord(path, info, archiveFlags, rar5, probe, (size_t)prefixLength);
  if (record) listRecord(record);
  return record;
}

// libarchive refuses every RAR 4 file flagged as continuing a solid stream,
// so a solid RAR 4 archive is read through the helper (rarhelper.cpp). Its
// volumes are not: refused whole rather than shown in part.
static bool helperForEveryRar4 = false;

bool rarCoreHelperForEveryRar4(bool enabled) {
  bool previous = helperForEveryRar4;
  helperForEveryRar4 = enabled;
  return previous;
}

static RarCore* openThroughHelper(const char* path, RarCoreCallback callback, void* context, int* result,
                                  uint32_t archiveFlags) {
  if (archiveFlags & rarArchiveVolume) {
    *result = rarBadArchive;
    return nullptr;
  }
  RarCore* core = (RarCore*)calloc(1, sizeof(RarCore));
  if (!core) {
    *result = rarNoMemory;
    return nullptr;
  }
  core->helper = rarHelperOpen(path, archiveFlags & rarArchiveSolid, result);
  if (!core->helper) {
    free(core);
    return nullptr;
  }
  core->callback = callback;
  core->context = context;
  core->archiveFlags = archiveFlags;
  return core;
}

RarCore* rarCoreOpen(const char* path, RarCoreCallback callback, void* context, int* result, uint32_t* archiveFlags) {
  size_t probeLength = 0;
  *archiveFlags = 0;
  struct stat info;
  bool statOk = stat(path, &info) == 0 && S_ISREG(info.st_mode);
  ArchiveRecord* record = statOk && remembering() && !helperForEveryRar4 ? findRecord(path, &info) : nullptr;
  if (record) return openThroughRecord(record, callback, context, result, archiveFlags);
  uint8_t* probe = (uint8_t*)malloc(probeSize);
  if (!probe) {
    *result = rarNoMemory;
    return nullptr;
  }
  if (!readProbe(path, probe, &probeLength)) {
    free(probe);
    *result = rarOpenFailed;
    return nullptr;
  }
  *result = rarProbeArchive(probe, probeLength, archiveFlags);
  bool rar5 = startsWith(probe, probeLength, rar5Signature, sizeof rar5Signature);
  bool helped = !rar5 && (helperForEveryRar4 || (*archiveFlags & rarArchiveSolid));
  if (*result == rarOk && !(*archiveFlags & rarArchiveEncryptedHeaders) && !helped)
    record = recordFor(path, &info, statOk, probe, probeLength, rar5, *archiveFlags);
  free(probe);
  if (record) return openThroughRecord(record, callback, context, result, archiveFlags);
  if (*result != rarOk) return nullptr;
  if (*archiveFlags & rarArchiveEncryptedHeaders) {   // no password is ever given
    *result = rarMissingPassword;
    return nullptr;
  }
  if (helped) return openThroughHelper(path, callback, context, result, *archiveFlags);
  RarCore* core = (RarCore*)calloc(1, sizeof(RarCore));
  if (!core) {
    *result = rarNoMemory;
    return nullptr;
  }
  core->callback = callback;
  core->context = context;
  core->archiveFlags = *archiveFlags;
  core->rar5 = rar5;
  core->peekVolume = -1;
  core->walkBudget = maxBlocksWalked;
  core->utf8Locale = sharedUtf8Locale();
  *result = listVolumes(core, path);
  if (*result == rarOk) {
    locale_t previous = enterUtf8(core);
    *result = startReader(core);
    leaveUtf8(previous);
  }
  if (*result != rarOk) {
    rarCoreClose(core);
    return nullptr;
  }
  return core;
}

// One for the whole process, made once: loading it costs more than the
// rest of a remembered archive's open.
static locale_t utf8Locale;
static pthread_once_t utf8LocaleOnce = PTHREAD_ONCE_INIT;

static void makeUtf8Locale() {
  utf8Locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
}

static locale_t sharedUtf8Locale() {
  pthread_once(&utf8LocaleOnce, makeUtf8Locale);
  return utf8Locale;
}

// Entered around every libarchive call: under the "C" locale of a plain
// process, libarchive cannot express a non-ASCII name at all.
static locale_t enterUtf8(RarCore* core) {
  return core->utf8Locale ? uselocale(core->utf8Locale) : (locale_t)0;
}

static void leaveUtf8(locale_t previous) {
  if (previous) uselocale(previous);
}

void rarCoreSetCallback(RarCore* core, RarCoreCallback callback, void* context) {
  core->callback = callback;
  core->context = context;
}

void rarCoreClose(RarCore* core) {
  if (!core) return;
  rarHelperClose(core->helper);
  locale_t previous = enterUtf8(core);
  if (core->reader) archive_read_free(core->reader);   // closes the open volume
  leaveUtf8(previous);
  if (core->record) {
    if (core->fd >= 0) close(core->fd);
    releaseRecord(core->record);
  }
  if (core->peekFile) fclose(core->peekFile);
  closeVolumeFile(core);
  free(core->volumes);
  free(core->buffer);
  free(core);
}

// ------------------------------------------------------ the raw header ---
// libarchive tells neither an entry's packed size nor, for RAR 5, whether its
// data is encrypted. Both sit in the entry's own header, which ends where
// libarchive's stream stands once it has read that header: walk the blocks of
// that volume up to there. Every size read is checked against the volume.

struct RawHeader {
  uint64_t packedSize;
  bool encrypted;
  uint64_t headerOffset;   // in its volume: where the header block starts
  uint64_t dataStart;      // and where it ends
};

static const uint64_t maxRawHeader = 1 << 20;
static const uint32_t rar4FileType = 0x74, rar4EndType = 0x7B;
static const uint32_t rar4LongBlock = 0x8000, rar4Large = 0x0100, rar4Password = 0x0004;
static const uint64_t rar5FileType = 2, rar5EndType = 5, rar5EncryptionRecord = 1;
static const size_t rar4FileFixed = 32;   // block head + the fixed file fields before the name

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
  uint8_t head[rar4FileFixed + 8];
  if (!peek(core, volume, offset, head, 7)) return false;
  uint32_t type = head[2], flags = le16(head + 3), size = le16(head + 5);
  if (size < 7 || type == rar4EndType) return false;
  uint64_t data = 0;
  if (type == rar4FileType) {
    if (size < rar4FileFixed || !peek(core, volume, offset, head, rar4FileFixed)) return false;
    data = le32(head + 7);
    if (flags & rar4Large) {
      if (size < rar4FileFixed + 8 || !peek(core, volume, offset + rar4FileFixed, head, 4)) return false;
      data |= (uint64_t)le32(head) << 32;
    }
    raw->encrypted = flags & rar4Password;
  } else if (flags & rar4LongBlock) {
    if (!peek(core, volume, offset + 7, head, 4)) return false;
    data = le32(head);
  }
  raw->packedSize = data;
  if (offset + size == end) return type == rar4FileType;
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
    if (readVint(p + used, end, &type) && type == rar5EncryptionRecord) return true;
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
  if (!used || headerSize == 0 || headerSize > maxRawHeader) return false;
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
  ok = ok && type != rar5EndType && extra <= (uint64_t)(stop - p);
  if (ok && type == rar5FileType) raw->encrypted = hasEncryptionRecord(stop - extra, stop);
  free(header);
  if (!ok) return false;
  raw->packedSize = data;
  uint64_t headerEnd = headerStart + headerSize;
  if (headerEnd == end) return type == rar5FileType;
  if (data > UINT64_MAX - headerEnd) return false;
  *next = headerEnd + data;
  return true;
}

// Finds the file header that ends at the stream position dataStart.
static bool findRawHeader(RarCore* core, uint64_t dataStart, RawHeader* raw) {
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
  if (offset == 0) offset = core->rar5 ? sizeof rar5Signature : sizeof rar4Signature;
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

// ------------------------------------------------------------- headers ---

static uint32_t dosTimeOf(int64_t unixTime) {
  time_t seconds = (time_t)unixTime;
  struct tm local;
  if (!localtime_r(&seconds, &local) || local.tm_year < 80 || local.tm_year > 207) return 0;
  return (uint32_t)(local.tm_year - 80) << 25 | (uint32_t)(local.tm_mon + 1) << 21 | (uint32_t)local.tm_mday << 16 |
         (uint32_t)local.tm_hour << 11 | (uint32_t)local.tm_min << 5 | (uint32_t)(local.tm_sec / 2);
}

// libarchive's wide names are UTF-32 here (this file is built with 4-byte wchar_t).
static_assert(sizeof(wchar_t) == 4, "wide names are UTF-32");
static void copyWideName(const wchar_t* wide, char16_t* out, size_t capacity) {
  size_t units = 0;
  for (; *wide; wide++) {
    uint32_t c = (uint32_t)*wide;
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (!appendUtf16(c, out, capacity, &units)) break;
  }
  out[units] = 0;
}

// Where libarchive's stream stands, as a position in the stream of all
// volumes; a reader started at an entry was given the prefix first.
static bool streamPositionOf(RarCore* core, uint64_t* position) {
  uint64_t read = (uint64_t)archive_filter_bytes(core->reader, -1);
  if (!core->record) {
    *position = read;
    return true;
  }
  if (read < core->record->prefixLength) return false;
  *position = core->streamStart + (read - core->record->prefixLength);
  return true;
}

// Fills info for the entry libarchive just read; true with raw filled when
// its own header was found.
static bool describeEntry(RarCore* core, RarEntryInfo* info, RawHeader* raw) {
  struct archive_entry* entry = core->entry;
  const wchar_t* wide = archive_entry_pathname_w(entry);   // needs no locale, unlike the narrow name
  const char* name = wide ? nullptr : archive_entry_pathname_utf8(entry);
  if (wide) {
    copyWideName(wide, info->name, rarNameCapacity);
  } else {
    rarUtf8ToUtf16(name ? name : "", info->name, rarNameCapacity);
  }
  bool directory = archive_entry_filetype(entry) == AE_IFDIR;
  info->flags = directory ? rarEntryDirectory : 0;
  if (archive_entry_is_data_encrypted(entry)) info->flags |= rarEntryEncrypted;
  if ((core->archiveFlags & rarArchiveSolid) && !directory && core->filesSeen > 0) info->flags |= rarEntrySolid;
  int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
  info->unpackedSize = size > 0 ? (uint64_t)size : 0;
  uint64_t position = 0;
  bool placed = streamPositionOf(core, &position) && findRawHeader(core, position, raw);
  if (placed) {
    info->packedSize = raw->packedSize;
    if (raw->encrypted && !directory) info->flags |= rarEntryEncrypted;
  }
  info->unixTime = archive_entry_mtime_is_set(entry) ? archive_entry_mtime(entry) : 0;
  info->dosTime = dosTimeOf(info->unixTime);
  info->mode = archive_entry_mode(entry);
  core->entryFlags = info->flags;
  core->entrySize = info->unpackedSize;
  core->entrySizeKnown = archive_entry_size_is_set(entry) && !directory;
  if (!directory) core->filesSeen++;
  return placed;
}

static int failArchive(RarCore* core) {
  core->state = stateBroken;
  return rarBadData;
}

int rarCoreReadHeader(RarCore* core, RarEntryInfo* info) {
  if (core->helper) return rarHelperReadHeader(core->helper, info);
  if (core->state == stateBroken) return rarBadData;
  if (core->state == stateEnded) return rarEndArchive;
  if (core->record) {
    locale_t previous = enterUtf8(core);
    int result = readRememberedHeader(core, info);
    leaveUtf8(previous);
    return result;
  }
  locale_t previous = enterUtf8(core);
  int r = archive_read_next_header(core->reader, &core->entry);
  if (r == ARCHIVE_OK || r == ARCHIVE_WARN) {
    RawHeader raw = {0, false, 0, 0};
    memset(info, 0, sizeof *info);
    describeEntry(core, info, &raw);
  }
  leaveUtf8(previous);
  if (r == ARCHIVE_EOF) {
    core->state = stateEnded;
    return rarEndArchive;
  }
  if (r < ARCHIVE_WARN) return failArchive(core);   // never asked again: it would not move
  core->state = stateEntryRead;
  return rarOk;
}

// --------------------------------------------------------------- data ---

static int deliver(RarCore* core, const void* bytes, size_t length) {
  if (!core->callback) return 1;
  return core->callback(core->context, rarMessageData, bytes, length);
}

// Hands the entry's bytes to the callback in order. Bounded: no more than the
// declared size, and no endless run of reads that deliver nothing.
static int testEntry(RarCore* core) {
  uint64_t delivered = 0;
  int stalls = 0;
  for (;;) {
    const void* block = nullptr;
    size_t length = 0;
    la_int64_t offset = 0;
    int r = archive_read_data_block(core->reader, &block, &length, &offset);
    if (r == ARCHIVE_EOF) break;
    if (r != ARCHIVE_OK) return failArchive(core);
    if (offset < 0 || (uint64_t)offset != delivered) return failArchive(core);
    if (core->entrySizeKnown && length > core->entrySize - delivered) return failArchive(core);
    if (length == 0) {
      if (++stalls > maxStalls) return failArchive(core);
      continue;
    }
    stalls = 0;
    delivered += length;
    if (deliver(core, block, length) == -1) return rarUnknown;
  }
  if (core->entrySizeKnown && delivered != core->entrySize) return failArchive(core);
  return rarOk;
}

static int askPassword(RarCore* core) {
  int answer = core->callback ? core->callback(core->context, rarMessagePassword, nullptr, 0) : -1;
  return answer == -1 ? rarMissingPassword : rarBadPassword;   // libarchive cannot decrypt RAR
}

static int processEntry(RarCore* core, int operation) {
  if (operation == rarSkip) {
    if (archive_read_data_skip(core->reader) < ARCHIVE_WARN) return failArchive(core);
    return rarOk;
  }
  if (operation != rarTest) return rarCreateFailed;   // nothing is ever written to disk
  if (core->entryFlags & rarEntryDirectory) return rarOk;
  if (core->entryFlags & rarEntryEncrypted) return askPassword(core);
  return testEntry(core);
}

int rarCoreProcess(RarCore* core, int operation) {
  if (core->helper) return rarHelperProcess(core->helper, operation, core->callback, core->context);
  if (core->state == stateBroken) return rarBadData;
  if (core->state != stateEntryRead) return rarUnknown;
  core->state = stateBetween;
  locale_t previous = enterUtf8(core);
  int result = core->record ? processRememberedEntry(core, operation) : processEntry(core, operation);
  leaveUtf8(previous);
  return result;
}

// -------------------------------------------- through a remembered archive ---

// Entry nextIndex from the record, or read by a reader (and remembered).
static int readRememberedHeader(RarCore* core, RarEntryInfo* info) {
  int index = core->nextIndex;
  bool complete = false;
  if (!recallEntry(core, index, info, &complete)) {
    if (complete) {
      core->state = stateEnded;
      return rarEndArchive;
    }
    if (index == INT32_MAX || !positionReader(core, index)) return failArchive(core);
    int r = archive_read_next_header(core->reader, &core->entry);
    if (r == ARCHIVE_EOF) {
      pthread_mutex_lock(&recordLock);
      if (index == core->record->count) core->record->complete = true;
      pthread_mutex_unlock(&recordLock);
      core->state = stateEnded;
      return rarEndArchive;
    }
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) return failArchive(core);
    RawHeader raw = {0, false, 0, 0};
    memset(info, 0, sizeof *info);
    bool placed = describeEntry(core, info, &raw);
    uint64_t dataEnd = raw.dataStart + raw.packedSize;
    placed = placed && raw.packedSize <= UINT64_MAX - raw.dataStart;
    rememberEntry(core->record, index, info, core->entrySizeKnown, placed ? &raw.headerOffset : nullptr,
                  placed ? &dataEnd : nullptr);
    core->readerNext = index + 1;
    core->readerCurrent = index;
    core->entryCutShort = false;   // not asked: the reader stands here
  }
  core->currentIndex = index;
  core->nextIndex = index + 1;
  core->state = stateEntryRead;
  return rarOk;
}

// Brings a reader to the data of the entry just read.
static bool readerToCurrent(RarCore* core) {
  if (!positionReader(core, core->currentIndex)) return false;
  int r = archive_read_next_header(core->reader, &core->entry);
  if (r != ARCHIVE_OK && r != ARCHIVE_WARN) return false;
  core->readerNext = core->currentIndex + 1;
  return true;
}

// A skip only moves on, unless the entry was cut short: then libarchive
// fails it, as it did the first time. A test starts a reader at the entry
// unless one already stands before its data.
static int processRememberedEntry(RarCore* core, int operation) {
  bool readerHere = core->reader && core->readerCurrent == core->currentIndex;
  if (operation == rarSkip && !readerHere && core->entryCutShort) {
    if (!readerToCurrent(core)) return failArchive(core);
    readerHere = true;
  }
  if (operation == rarSkip) {
    core->readerCurrent = -1;
    if (readerHere && archive_read_data_skip(core->reader) < ARCHIVE_WARN) return failArchive(core);
    return rarOk;
  }
  if (operation != rarTest) return rarCreateFailed;
  if (core->entryFlags & rarEntryDirectory) return rarOk;
  if (core->entryFlags & rarEntryEncrypted) return askPassword(core);
  if (!readerHere && !readerToCurrent(core)) return failArchive(core);
  core->readerCurrent = -1;
  return testEntry(core);
}
