// Entries read through libarchive: their headers as RarEntryInfo, and their
// data handed to the caller, bounded.
#include "comics/unrar/rarstate.h"

#include "comics/rar/entrytime.h"

#include <errno.h>
#include <string.h>
#include <time.h>

static const int MAX_STALLS = 16;   // data reads in a row that deliver nothing

static int64_t entryBudgetForTests = -1;   // milliseconds; -1: rarEntryTimeBudget

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
bool describeEntry(RarCore* core, RarEntryInfo* info, RawHeader* raw) {
  struct archive_entry* entry = core->entry;
  const wchar_t* wide = archive_entry_pathname_w(entry);   // needs no locale, unlike the narrow name
  const char* name = wide ? NULL : archive_entry_pathname_utf8(entry);
  if (wide) {
    copyWideName(wide, info->name, RAR_NAME_CAPACITY);
  } else {
    rarUtf8ToUtf16(name ? name : "", info->name, RAR_NAME_CAPACITY);
  }
  bool directory = archive_entry_filetype(entry) == AE_IFDIR;
  info->flags = directory ? RAR_CORE_ENTRY_DIRECTORY : 0;
  if (archive_entry_is_data_encrypted(entry)) info->flags |= RAR_CORE_ENTRY_ENCRYPTED;
  if ((core->archiveFlags & RAR_CORE_ARCHIVE_SOLID) && !directory && core->filesSeen > 0)
    info->flags |= RAR_CORE_ENTRY_SOLID;
  int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
  info->unpackedSize = size > 0 ? (uint64_t)size : 0;
  uint64_t position = 0;
  bool placed = streamPositionOf(core, &position) && findRawHeader(core, position, raw);
  if (placed) {
    info->packedSize = raw->packedSize;
    if (raw->encrypted && !directory) info->flags |= RAR_CORE_ENTRY_ENCRYPTED;
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

int failArchive(RarCore* core) {
  core->state = STATE_BROKEN;
  return RAR_CORE_BAD_DATA;
}

int rarCoreReadHeader(RarCore* core, RarEntryInfo* info) {
  if (core->helper) return rarHelperReadHeader(core->helper, info);
  if (core->state == STATE_BROKEN) return RAR_CORE_BAD_DATA;
  if (core->state == STATE_ENDED) return RAR_CORE_END_ARCHIVE;
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
    core->state = STATE_ENDED;
    return RAR_CORE_END_ARCHIVE;
  }
  if (r < ARCHIVE_WARN) return failArchive(core);   // never asked again: it would not move
  core->state = STATE_ENTRY_READ;
  return RAR_CORE_OK;
}

// -------------------------------------------------------- time budget ---

int64_t monotonicMilliseconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000 + 1;   // + 1: never 0
}

int64_t deadlineForEntry(uint64_t declaredSize) {
  int64_t budget = entryBudgetForTests >= 0 ? entryBudgetForTests : rarEntryTimeBudget(declaredSize);
  return monotonicMilliseconds() + budget;
}

void rarCoreSetEntryTimeBudget(int64_t milliseconds) {
  entryBudgetForTests = milliseconds;
}

// Whether a read callback must refuse: the entry being decoded is past its
// time, and a decoder that keeps reading without handing out data stops too.
bool refuseOverrunRead(struct archive* reader, const RarCore* core) {
  if (!deadlinePassed(core->entryDeadline)) return false;
  archive_set_error(reader, ETIMEDOUT, "the entry overran its time");
  return true;
}

// --------------------------------------------------------------- data ---

static int deliver(RarCore* core, const void* bytes, size_t length) {
  if (!core->callback) return 1;
  return core->callback(core->context, RAR_CORE_MESSAGE_DATA, bytes, length);
}

// Hands the entry's bytes to the callback in order. Bounded: no more than the
// declared size, no endless run of reads that deliver nothing, no block past
// the entry's deadline.
static int deliverEntry(RarCore* core) {
  uint64_t delivered = 0;
  int stalls = 0;
  for (;;) {
    const void* block = NULL;
    size_t length = 0;
    la_int64_t offset = 0;
    int r = archive_read_data_block(core->reader, &block, &length, &offset);
    if (r == ARCHIVE_EOF) break;
    if (r != ARCHIVE_OK) return failArchive(core);
    if (deadlinePassed(core->entryDeadline)) return failArchive(core);
    if (offset < 0 || (uint64_t)offset != delivered) return failArchive(core);
    if (core->entrySizeKnown && length > core->entrySize - delivered) return failArchive(core);
    if (length == 0) {
      if (++stalls > MAX_STALLS) return failArchive(core);
      continue;
    }
    stalls = 0;
    delivered += length;
    if (deliver(core, block, length) == -1) return RAR_CORE_UNKNOWN;
  }
  if (core->entrySizeKnown && delivered != core->entrySize) return failArchive(core);
  return RAR_CORE_OK;
}

// The entry's deadline holds only while its data is decoded: header reads
// and skips are bounded otherwise.
int testEntry(RarCore* core) {
  core->entryDeadline = deadlineForEntry(core->entrySize);
  int result = deliverEntry(core);
  core->entryDeadline = 0;
  return result;
}

int askPassword(RarCore* core) {
  int answer = core->callback ? core->callback(core->context, RAR_CORE_MESSAGE_PASSWORD, NULL, 0) : -1;
  return answer == -1 ? RAR_CORE_MISSING_PASSWORD : RAR_CORE_BAD_PASSWORD;   // libarchive cannot decrypt RAR
}

static int processEntry(RarCore* core, int operation) {
  if (operation == RAR_CORE_SKIP) {
    if (archive_read_data_skip(core->reader) < ARCHIVE_WARN) return failArchive(core);
    return RAR_CORE_OK;
  }
  if (operation != RAR_CORE_TEST) return RAR_CORE_CREATE_FAILED;   // nothing is ever written to disk
  if (core->entryFlags & RAR_CORE_ENTRY_DIRECTORY) return RAR_CORE_OK;
  if (core->entryFlags & RAR_CORE_ENTRY_ENCRYPTED) return askPassword(core);
  return testEntry(core);
}

int rarCoreProcess(RarCore* core, int operation) {
  if (core->helper) return rarHelperProcess(core->helper, operation, core->callback, core->context);
  if (core->state == STATE_BROKEN) return RAR_CORE_BAD_DATA;
  if (core->state != STATE_ENTRY_READ) return RAR_CORE_UNKNOWN;
  core->state = STATE_BETWEEN;
  locale_t previous = enterUtf8(core);
  int result = core->record ? processRememberedEntry(core, operation) : processEntry(core, operation);
  leaveUtf8(previous);
  return result;
}
