// Reading through a remembered archive: headers come from its record, and a
// reader starts, fed the record's prefix and then the file from an entry's
// header on, only for an entry not remembered yet or one to be tested.
#include "comics/unrar/rarstate.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

// The reader's stream: the record's prefix, then the file from streamStart.
static int openStream(struct archive* reader, void* data) {
  RarCore* core = ((RarVolume*)data)->core;
  if (core->fd < 0) core->fd = open(core->volumes[0].path, O_RDONLY | O_CLOEXEC);
  if (core->fd >= 0) return ARCHIVE_OK;
  archive_set_error(reader, EIO, "cannot open the archive");
  return ARCHIVE_FATAL;
}

static la_ssize_t readStream(struct archive* reader, void* data, const void** buffer) {
  RarCore* core = ((RarVolume*)data)->core;
  const ArchiveRecord* record = core->record;   // its prefix never changes
  if (refuseOverrunRead(reader, core)) return -1;
  if (core->streamPosition < record->prefixLength) {
    size_t length = record->prefixLength - (size_t)core->streamPosition;
    *buffer = record->prefix + core->streamPosition;
    core->streamPosition += length;
    return (la_ssize_t)length;
  }
  uint64_t offset = core->streamStart + (core->streamPosition - record->prefixLength);
  *buffer = core->buffer;
  if (offset > (uint64_t)INT64_MAX) return 0;
  ssize_t got = pread(core->fd, core->buffer, READ_BUFFER_SIZE, (off_t)offset);
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
  RarCore* core = ((RarVolume*)data)->core;
  const ArchiveRecord* record = core->record;
  if (request <= 0) return 0;
  uint64_t fileRoom = record->size > core->streamStart ? record->size - core->streamStart : 0;
  uint64_t end = record->prefixLength + fileRoom;
  uint64_t room = end > core->streamPosition ? end - core->streamPosition : 0;
  uint64_t step = (uint64_t)request < room ? (uint64_t)request : room;
  core->streamPosition += step;
  return (la_int64_t)step;
}

static const ReaderCallbacks STREAM_CALLBACKS = {openStream, readStream, skipStream, NULL, NULL};

// Starts a reader whose next header read returns entry index.
static bool startReaderAt(RarCore* core, int index) {
  dropReader(core);
  uint64_t offset = 0;
  int start = streamStartFor(core, index, &offset);
  core->streamStart = offset;
  core->streamPosition = 0;
  core->walkVolume = 0;
  core->walkOffset = offset;
  if (startReader(core, &STREAM_CALLBACKS) != RAR_CORE_OK) return false;
  for (core->readerNext = start; core->readerNext < index; core->readerNext++) {
    int r = archive_read_next_header(core->reader, &core->entry);
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) return false;
  }
  return true;
}

static bool positionReader(RarCore* core, int index) {
  if (core->reader && core->readerNext == index) return true;
  return startReaderAt(core, index);
}

RarCore* openThroughRecord(ArchiveRecord* record, RarCoreCallback callback, void* context, int* result,
                           uint32_t* archiveFlags) {
  *archiveFlags = record->archiveFlags;
  RarCore* core = (RarCore*)calloc(1, sizeof(RarCore));
  RarVolume* volume = (RarVolume*)calloc(1, sizeof(RarVolume));
  if (!core || !volume || strlen(record->path) >= MAX_PATH_BYTES) {
    free(core);
    free(volume);
    releaseRecord(record);
    *result = core && volume ? RAR_CORE_OPEN_FAILED : RAR_CORE_NO_MEMORY;
    return NULL;
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
  core->walkBudget = MAX_BLOCKS_WALKED;
  core->utf8Locale = sharedUtf8Locale();
  *result = RAR_CORE_OK;
  return core;
}

// Entry nextIndex from the record, or read by a reader (and remembered).
int readRememberedHeader(RarCore* core, RarEntryInfo* info) {
  int index = core->nextIndex;
  bool complete = false;
  if (!recallEntry(core, index, info, &complete)) {
    if (complete) {
      core->state = STATE_ENDED;
      return RAR_CORE_END_ARCHIVE;
    }
    if (index == INT32_MAX || !positionReader(core, index)) return failArchive(core);
    int r = archive_read_next_header(core->reader, &core->entry);
    if (r == ARCHIVE_EOF) {
      rememberArchiveEnd(core->record, index);
      core->state = STATE_ENDED;
      return RAR_CORE_END_ARCHIVE;
    }
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) return failArchive(core);
    RawHeader raw = {0, false, 0, 0};
    memset(info, 0, sizeof *info);
    bool placed = describeEntry(core, info, &raw);
    uint64_t dataEnd = raw.dataStart + raw.packedSize;
    placed = placed && raw.packedSize <= UINT64_MAX - raw.dataStart;
    rememberEntry(core->record, index, info, core->entrySizeKnown, placed ? &raw.headerOffset : NULL,
                  placed ? &dataEnd : NULL);
    core->readerNext = index + 1;
    core->readerCurrent = index;
    core->entryCutShort = false;   // not asked: the reader stands here
  }
  core->currentIndex = index;
  core->nextIndex = index + 1;
  core->state = STATE_ENTRY_READ;
  return RAR_CORE_OK;
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
int processRememberedEntry(RarCore* core, int operation) {
  bool readerHere = core->reader && core->readerCurrent == core->currentIndex;
  if (operation == RAR_CORE_SKIP && !readerHere && core->entryCutShort) {
    if (!readerToCurrent(core)) return failArchive(core);
    readerHere = true;
  }
  if (operation == RAR_CORE_SKIP) {
    core->readerCurrent = -1;
    if (readerHere && archive_read_data_skip(core->reader) < ARCHIVE_WARN) return failArchive(core);
    return RAR_CORE_OK;
  }
  if (operation != RAR_CORE_TEST) return RAR_CORE_CREATE_FAILED;
  if (core->entryFlags & RAR_CORE_ENTRY_DIRECTORY) return RAR_CORE_OK;
  if (core->entryFlags & RAR_CORE_ENTRY_ENCRYPTED) return askPassword(core);
  if (!readerHere && !readerToCurrent(core)) return failArchive(core);
  core->readerCurrent = -1;
  return testEntry(core);
}
