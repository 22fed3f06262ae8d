// Remembered archives: the table of archives read before, each with its
// headers and where each entry starts and ends. Shared by every core of the
// process, under one lock.
#include "comics/unrar/rarstate.h"

#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

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

static const int RECORD_SLOTS = 4;
static const int MAX_REMEMBERED_ENTRIES = 1 << 16;
static pthread_mutex_t recordLock = PTHREAD_MUTEX_INITIALIZER;
static ArchiveRecord* records[RECORD_SLOTS];
static uint64_t recordClock;
static bool rememberArchives = true;
static int64_t settlingTime = 2000000000;   // nanoseconds

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
  records[slot] = NULL;
  record->listed = false;
  if (record->users == 0) freeRecord(record);
}

static bool isSameFile(const ArchiveRecord* record, const struct stat* info) {
  return record->device == info->st_dev && record->inode == info->st_ino && record->size == (uint64_t)info->st_size &&
         record->modified == nanosecondsOf(&info->st_mtim) && record->changed == nanosecondsOf(&info->st_ctim);
}

// The record of path when the file is still the one it describes; a record
// of an older file by that name is forgotten.
ArchiveRecord* findRecord(const char* path, const struct stat* info) {
  ArchiveRecord* found = NULL;
  pthread_mutex_lock(&recordLock);
  for (int slot = 0; slot < RECORD_SLOTS && !found; slot++) {
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
  for (int slot = 0; slot < RECORD_SLOTS; slot++) {
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

void releaseRecord(ArchiveRecord* record) {
  pthread_mutex_lock(&recordLock);
  if (--record->users == 0 && !record->listed) freeRecord(record);
  pthread_mutex_unlock(&recordLock);
}

bool rarCoreRememberArchives(bool enabled) {
  pthread_mutex_lock(&recordLock);
  bool previous = rememberArchives;
  rememberArchives = enabled;
  if (!enabled)
    for (int slot = 0; slot < RECORD_SLOTS; slot++)
      if (records[slot]) unlistRecord(slot);
  pthread_mutex_unlock(&recordLock);
  return previous;
}

bool remembering() {
  pthread_mutex_lock(&recordLock);
  bool enabled = rememberArchives;
  pthread_mutex_unlock(&recordLock);
  return enabled;
}

static ArchiveRecord* newRecord(const char* path, const struct stat* info, uint32_t archiveFlags, bool rar5,
                                const uint8_t* prefix, size_t prefixLength) {
  ArchiveRecord* record = (ArchiveRecord*)calloc(1, sizeof(ArchiveRecord));
  if (!record) return NULL;
  record->path = strdup(path);
  record->prefix = (uint8_t*)malloc(prefixLength);
  if (!record->path || !record->prefix) {
    freeRecord(record);
    return NULL;
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
void rememberEntry(ArchiveRecord* record, int index, const RarEntryInfo* info, bool sizeKnown,
                   const uint64_t* headerOffset, const uint64_t* dataEnd) {
  pthread_mutex_lock(&recordLock);
  if (index == record->count && !record->frozen) {
    record->frozen = !headerOffset || record->count >= MAX_REMEMBERED_ENTRIES;
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
    char16_t* name = record->frozen ? NULL : (char16_t*)malloc(units * sizeof(char16_t));
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
bool recallEntry(RarCore* core, int index, RarEntryInfo* info, bool* complete) {
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
int streamStartFor(RarCore* core, int index, uint64_t* offset) {
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

void rememberArchiveEnd(ArchiveRecord* record, int index) {
  pthread_mutex_lock(&recordLock);
  if (index == record->count) record->complete = true;
  pthread_mutex_unlock(&recordLock);
}

// A record for the archive just probed, when it can be read through one.
ArchiveRecord* recordFor(const char* path, const struct stat* info, bool statOk, const uint8_t* probe,
                         size_t probeLength, bool rar5, uint32_t archiveFlags) {
  uint64_t prefixLength = 0;
  if (!statOk || !remembering() || !mainHeaderEnd(probe, probeLength, rar5, archiveFlags, &prefixLength)) return NULL;
  ArchiveRecord* record = newRecord(path, info, archiveFlags, rar5, probe, (size_t)prefixLength);
  if (record) listRecord(record);
  return record;
}
