// RAR reading over libarchive, shaped like the UnRAR library's calls: open,
// read the next header, then skip or test that entry, close. Plain C types,
// no Windows header: the Linux unrar.dll maps its records onto this, and the
// native tests call it directly. Unix paths and UTF-8 in, UTF-16 names out.
#ifndef BRISA_COMICS_RARCORE_H
#define BRISA_COMICS_RARCORE_H
#include <stddef.h>
#include <stdint.h>

// Results: the same numbers as the library's ERAR_ codes.
enum {
  RAR_CORE_OK = 0,
  RAR_CORE_END_ARCHIVE = 10,
  RAR_CORE_NO_MEMORY = 11,
  RAR_CORE_BAD_DATA = 12,
  RAR_CORE_BAD_ARCHIVE = 13,
  RAR_CORE_UNKNOWN_FORMAT = 14,
  RAR_CORE_OPEN_FAILED = 15,
  RAR_CORE_CREATE_FAILED = 16,
  RAR_CORE_UNKNOWN = 21,
  RAR_CORE_MISSING_PASSWORD = 22,
  RAR_CORE_BAD_PASSWORD = 24,
};

// Operations of rarProcessEntry, as RAR_SKIP, RAR_TEST and RAR_EXTRACT.
enum { RAR_CORE_SKIP = 0, RAR_CORE_TEST = 1, RAR_CORE_EXTRACT = 2 };

// Archive flags, as the library's ROADF_ bits.
enum {
  RAR_CORE_ARCHIVE_VOLUME = 0x0001,
  RAR_CORE_ARCHIVE_COMMENT = 0x0002,
  RAR_CORE_ARCHIVE_LOCKED = 0x0004,
  RAR_CORE_ARCHIVE_SOLID = 0x0008,
  RAR_CORE_ARCHIVE_NEW_NUMBERING = 0x0010,
  RAR_CORE_ARCHIVE_RECOVERY = 0x0040,
  RAR_CORE_ARCHIVE_ENCRYPTED_HEADERS = 0x0080,
  RAR_CORE_ARCHIVE_FIRST_VOLUME = 0x0100,
};

// Entry flags, as the library's RHDF_ bits.
enum { RAR_CORE_ENTRY_ENCRYPTED = 0x04, RAR_CORE_ENTRY_SOLID = 0x10, RAR_CORE_ENTRY_DIRECTORY = 0x20 };

// Messages to the caller's callback, as the library's UCM_ numbers.
// data: p1 = the bytes, p2 = their count; return -1 to stop the entry.
// volume: p1 = the next volume's unix path (UTF-8, in a buffer of
// RAR_PATH_CAPACITY bytes), p2 = RAR_CORE_VOLUME_FOUND or RAR_CORE_VOLUME_MISSING; return -1
// to give up; after RAR_CORE_VOLUME_MISSING the callback may write another path there.
// password: return -1 (no password is ever used: libarchive cannot decrypt RAR).
enum { RAR_CORE_MESSAGE_DATA = 1, RAR_CORE_MESSAGE_VOLUME = 3, RAR_CORE_MESSAGE_PASSWORD = 4 };
enum { RAR_CORE_VOLUME_MISSING = 0, RAR_CORE_VOLUME_FOUND = 1 };
typedef int (*RarCoreCallback)(void* context, int message, const void* p1, uint64_t p2);

static const size_t RAR_NAME_CAPACITY = 1024;   // UTF-16 units, terminating zero included
static const size_t RAR_PATH_CAPACITY = 4096;   // bytes of a volume path, terminating zero included

struct RarEntryInfo {
  char16_t name[RAR_NAME_CAPACITY];   // '/' separated, zero-terminated, cut to fit
  uint32_t flags;                     // rarEntry* bits
  uint64_t unpackedSize;
  uint64_t packedSize;   // 0: not known (libarchive does not say)
  uint32_t dosTime;      // modification time, MS-DOS format, local time
  int64_t unixTime;      // modification time, seconds since 1970 (UTC)
  uint32_t mode;         // Unix mode bits
};

struct RarCore;

// Opens the archive at path (and finds its further volumes beside it).
// Returns null with *result saying why (RAR_CORE_MISSING_PASSWORD for encrypted
// headers, RAR_CORE_BAD_ARCHIVE for no RAR signature, RAR_CORE_OPEN_FAILED when the file
// cannot be read); *archiveFlags gets the rarArchive* bits when known.
RarCore* rarCoreOpen(const char* path, RarCoreCallback callback, void* context, int* result, uint32_t* archiveFlags);
void rarCoreSetCallback(RarCore* core, RarCoreCallback callback, void* context);
// RAR_CORE_OK with info filled, RAR_CORE_END_ARCHIVE after the last entry, or a failure.
// After a failure every further call fails too: nothing is retried.
int rarCoreReadHeader(RarCore* core, RarEntryInfo* info);
// Skips or tests (delivers through RAR_CORE_MESSAGE_DATA) the entry just read.
int rarCoreProcess(RarCore* core, int operation);
void rarCoreClose(RarCore* core);

// Work done so far by every core of the process: libarchive readers started
// and archive bytes read for them. The reader's pattern (reopen, skip back to
// an entry, test it) must stay cheap: this is how that is measured.
struct RarCoreWork {
  uint64_t readersStarted;
  uint64_t bytesRead;
};
void rarCoreWorkSoFar(RarCoreWork* work);

// Whether single-volume, non-solid archives are remembered between opens
// (their headers and where each entry starts, keyed by path, size and
// times): on by default. Turning it off forgets every archive remembered.
// Returns the previous setting.
bool rarCoreRememberArchives(bool enabled);
// How long ago a file must have last changed for it to be remembered past
// the open that read it (default two seconds: coarse timestamps could not
// tell a rewrite within the same tick). Tests that write their archives
// just before reading them set 0.
void rarCoreSetSettlingTime(int64_t nanoseconds);

// The decode of each tested entry is bounded in time: a few seconds plus time
// for its declared size; past it the entry fails with RAR_CORE_BAD_DATA, as a
// damaged one. Tests set a budget of their own in milliseconds, whatever the
// size (-1: the normal budget again).
void rarCoreSetEntryTimeBudget(int64_t milliseconds);

// Reads the archive flags from the archive's first bytes: the signature and
// the main header (RAR 4) or the first header (RAR 5). Returns RAR_CORE_OK,
// RAR_CORE_BAD_ARCHIVE (not RAR, or a damaged main header) or RAR_CORE_UNKNOWN_FORMAT.
int rarProbeArchive(const uint8_t* bytes, size_t length, uint32_t* archiveFlags);

// The name of the volume after path: "x.part1.rar" -> "x.part2.rar" when
// newNumbering, else "x.rar" -> "x.r00" -> "x.r01"... Returns false when path
// has no number to advance (or it would overflow). out holds capacity bytes.
bool rarNextVolumeName(const char* path, bool newNumbering, char* out, size_t capacity);

// UTF-8 to UTF-16, malformed bytes becoming U+FFFD as in ZIP names (comics/archive/utf8.h);
// always zero-terminated (capacity >= 1), cut at a code point boundary. Returns
// the units written.
size_t rarUtf8ToUtf16(const char* text, char16_t* out, size_t capacity);

#endif
