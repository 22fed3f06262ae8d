// What the files of the RAR core share: its state, its constants and the
// calls they make into one another. Not part of the core's interface.
#ifndef BRISA_COMICS_RARSTATE_H
#define BRISA_COMICS_RARSTATE_H
#include "comics/unrar/rarbudget.h"
#include "comics/unrar/rarcore.h"
#include "comics/unrar/rarhelper.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>

static const size_t READ_BUFFER_SIZE = 65536;
static const size_t MAX_PATH_BYTES = RAR_PATH_CAPACITY;
// The raw header walk (rarwalk.cpp) restarting again and again on a hostile archive
// could grow quadratic: past this many blocks in all, packed sizes go unreported.
static const int MAX_BLOCKS_WALKED = 1 << 22;

enum EntryState { STATE_BETWEEN, STATE_ENTRY_READ, STATE_ENDED, STATE_BROKEN };

struct ArchiveRecord;

struct RarVolume {
  RarCore* core;
  bool missing;     // not found at open: announced with RAR_CORE_VOLUME_MISSING
  uint64_t start;   // where it begins in libarchive's stream of all volumes
  uint64_t size;
  char path[MAX_PATH_BYTES];
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
  // A single-volume, non-solid archive is read through its record (rarrecords.cpp):
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
  uint8_t* buffer;            // READ_BUFFER_SIZE bytes, from the first reader on
  RarHelperArchive* helper;   // a solid RAR 4 archive: read through the helper instead
  int64_t entryDeadline;      // while an entry's data is decoded (rarbudget.h); 0 otherwise
};

// A remembered archive (rarrecords.cpp).
struct CachedEntry;
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
  bool listed;     // in the table of remembered archives
  uint64_t lastUse;
};

struct RawHeader {
  uint64_t packedSize;
  bool encrypted;
  uint64_t headerOffset;   // in its volume: where the header block starts
  uint64_t dataStart;      // and where it ends
};

// ------------------------------------------------------------- formats ---

static const uint8_t RAR4_SIGNATURE[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
static const uint8_t RAR5_SIGNATURE[8] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x01, 0x00};
static const uint8_t RAR14_SIGNATURE[4] = {0x52, 0x45, 0x7E, 0x5E};

static const uint32_t RAR4_MAIN_TYPE = 0x73;
static const uint32_t RAR4_MAIN_FLAGS_KNOWN = 0x01FF;   // these map one to one onto the archive flags
static const size_t RAR4_BLOCK_HEAD = 7;                // CRC, type, flags, size

static const uint32_t RAR5_MAIN_TYPE = 1, RAR5_ENCRYPTION_TYPE = 4;
static const uint64_t RAR5_MAX_HEADER = 2 * 1024 * 1024;

static inline bool startsWith(const uint8_t* bytes, size_t length, const uint8_t* prefix, size_t prefixLength) {
  return length >= prefixLength && memcmp(bytes, prefix, prefixLength) == 0;
}
static inline uint32_t le16(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8);
}
static inline uint32_t le32(const uint8_t* p) {
  return le16(p) | (le16(p + 2) << 16);
}

// RAR 5 variable-length integer: 7 bits a byte, low first, high bit = more.
// Returns the bytes used, 0 when it runs past end or beyond 64 bits.
size_t readVint(const uint8_t* p, const uint8_t* end, uint64_t* value);
// Where the main header ends, for the archives read through a record.
bool mainHeaderEnd(const uint8_t* bytes, size_t length, bool rar5, uint32_t archiveFlags, uint64_t* end);

// ------------------------------------------------------------- the core ---

// The one way a libarchive reader starts (core->reader): RAR 4 and 5, fed
// through the given callbacks, one data item per volume of core->volumes.
// Returns RAR_CORE_OK, RAR_CORE_NO_MEMORY or RAR_CORE_BAD_ARCHIVE.
struct ReaderCallbacks {
  archive_open_callback* open;
  archive_read_callback* read;
  archive_skip_callback* skip;
  archive_close_callback* close;           // may be null
  archive_switch_callback* switchVolume;   // may be null
};
int startReader(RarCore* core, const ReaderCallbacks* callbacks);
void dropReader(RarCore* core);
void countBytes(size_t length);
locale_t sharedUtf8Locale();
locale_t enterUtf8(RarCore* core);
void leaveUtf8(locale_t previous);

// --------------------------------------------------------- the volumes ---

extern const ReaderCallbacks VOLUME_CALLBACKS;
// The volumes after the first that exist, then the first one that does not.
int listVolumes(RarCore* core, const char* path);
int closeVolumeFile(RarCore* core);

// ------------------------------------------------------------- names ---

// Appends one code point as UTF-16 at out[*units], leaving room for the
// terminating zero; false when it does not fit.
bool appendUtf16(uint32_t c, char16_t* out, size_t capacity, size_t* units);

// ------------------------------------------------- remembered archives ---

ArchiveRecord* findRecord(const char* path, const struct stat* info);
// A record for the archive just probed, when it can be read through one.
ArchiveRecord* recordFor(const char* path, const struct stat* info, bool statOk, const uint8_t* probe,
                         size_t probeLength, bool rar5, uint32_t archiveFlags);
void releaseRecord(ArchiveRecord* record);
bool remembering();
void rememberEntry(ArchiveRecord* record, int index, const RarEntryInfo* info, bool sizeKnown,
                   const uint64_t* headerOffset, const uint64_t* dataEnd);
bool recallEntry(RarCore* core, int index, RarEntryInfo* info, bool* complete);
int streamStartFor(RarCore* core, int index, uint64_t* offset);
// Marks the record complete when entry index, the next one missing, is past the end.
void rememberArchiveEnd(ArchiveRecord* record, int index);

RarCore* openThroughRecord(ArchiveRecord* record, RarCoreCallback callback, void* context, int* result,
                           uint32_t* archiveFlags);
int readRememberedHeader(RarCore* core, RarEntryInfo* info);
int processRememberedEntry(RarCore* core, int operation);

// ------------------------------------------------------------- entries ---

// Finds the file header that ends at the stream position dataStart.
bool findRawHeader(RarCore* core, uint64_t dataStart, RawHeader* raw);
bool describeEntry(RarCore* core, RarEntryInfo* info, RawHeader* raw);
int failArchive(RarCore* core);
int askPassword(RarCore* core);
int testEntry(RarCore* core);
// True, with the reader's error set, once the entry being decoded is past its deadline.
bool refuseOverrunRead(struct archive* reader, const RarCore* core);

#endif
