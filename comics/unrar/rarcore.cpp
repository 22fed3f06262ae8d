// RAR reading over libarchive, bounded so that a hostile archive fails instead
// of spinning. libarchive never retries for us: once a header read, a skip or
// a data read fails, the archive counts as damaged and every later call fails
// at once. That matters because libarchive 3.6.2, asked for the next header
// after a failed skip, tries the same skip again and fails again without
// moving (a solid RAR 5 directory entry with data does that forever).
#include "comics/unrar/rarstate.h"

#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const size_t PROBE_SIZE = 65536 + 16;   // a RAR 4 main header (with an old comment) up to 64 KiB

// The work counters of rarCoreWorkSoFar.
static uint64_t readersStarted, bytesRead;   // changed atomically

static void countReader() {
  __atomic_fetch_add(&readersStarted, 1, __ATOMIC_RELAXED);
}
void countBytes(size_t length) {
  __atomic_fetch_add(&bytesRead, (uint64_t)length, __ATOMIC_RELAXED);
}

void rarCoreWorkSoFar(RarCoreWork* work) {
  work->readersStarted = __atomic_load_n(&readersStarted, __ATOMIC_RELAXED);
  work->bytesRead = __atomic_load_n(&bytesRead, __ATOMIC_RELAXED);
}

// -------------------------------------------------------------- reader ---

int startReader(RarCore* core, const ReaderCallbacks* callbacks) {
  if (!core->buffer) core->buffer = (uint8_t*)malloc(READ_BUFFER_SIZE);
  struct archive* reader = core->buffer ? archive_read_new() : NULL;
  if (!reader) return RAR_CORE_NO_MEMORY;
  core->reader = reader;
  countReader();
  archive_read_support_format_rar(reader);
  archive_read_support_format_rar5(reader);
  archive_read_set_open_callback(reader, callbacks->open);
  archive_read_set_read_callback(reader, callbacks->read);
  archive_read_set_skip_callback(reader, callbacks->skip);
  archive_read_set_close_callback(reader, callbacks->close);
  archive_read_set_switch_callback(reader, callbacks->switchVolume);
  if (archive_read_set_callback_data(reader, &core->volumes[0]) != ARCHIVE_OK) return RAR_CORE_NO_MEMORY;
  for (int i = 1; i < core->volumeCount; i++)
    if (archive_read_append_callback_data(reader, &core->volumes[i]) != ARCHIVE_OK) return RAR_CORE_NO_MEMORY;
  return archive_read_open1(reader) == ARCHIVE_OK ? RAR_CORE_OK : RAR_CORE_BAD_ARCHIVE;
}

void dropReader(RarCore* core) {
  if (core->reader) archive_read_free(core->reader);
  core->reader = NULL;
  core->entry = NULL;
  core->readerNext = -1;
  core->readerCurrent = -1;
}

// ---------------------------------------------------------------- open ---

// Reads the first bytes of path for the probe; false when it cannot be read.
static bool readProbe(const char* path, uint8_t* bytes, size_t* length) {
  FILE* file = fopen(path, "rb");
  if (!file) return false;
  *length = fread(bytes, 1, PROBE_SIZE, file);
  bool failed = ferror(file);
  fclose(file);
  return !failed;
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
  if (archiveFlags & RAR_CORE_ARCHIVE_VOLUME) {
    *result = RAR_CORE_BAD_ARCHIVE;
    return NULL;
  }
  RarCore* core = (RarCore*)calloc(1, sizeof(RarCore));
  if (!core) {
    *result = RAR_CORE_NO_MEMORY;
    return NULL;
  }
  core->helper = rarHelperOpen(path, archiveFlags & RAR_CORE_ARCHIVE_SOLID, result);
  if (!core->helper) {
    free(core);
    return NULL;
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
  ArchiveRecord* record = statOk && remembering() && !helperForEveryRar4 ? findRecord(path, &info) : NULL;
  if (record) return openThroughRecord(record, callback, context, result, archiveFlags);
  uint8_t* probe = (uint8_t*)malloc(PROBE_SIZE);
  if (!probe) {
    *result = RAR_CORE_NO_MEMORY;
    return NULL;
  }
  if (!readProbe(path, probe, &probeLength)) {
    free(probe);
    *result = RAR_CORE_OPEN_FAILED;
    return NULL;
  }
  *result = rarProbeArchive(probe, probeLength, archiveFlags);
  bool rar5 = startsWith(probe, probeLength, RAR5_SIGNATURE, sizeof RAR5_SIGNATURE);
  bool helped = !rar5 && (helperForEveryRar4 || (*archiveFlags & RAR_CORE_ARCHIVE_SOLID));
  if (*result == RAR_CORE_OK && !(*archiveFlags & RAR_CORE_ARCHIVE_ENCRYPTED_HEADERS) && !helped)
    record = recordFor(path, &info, statOk, probe, probeLength, rar5, *archiveFlags);
  free(probe);
  if (record) return openThroughRecord(record, callback, context, result, archiveFlags);
  if (*result != RAR_CORE_OK) return NULL;
  if (*archiveFlags & RAR_CORE_ARCHIVE_ENCRYPTED_HEADERS) {   // no password is ever given
    *result = RAR_CORE_MISSING_PASSWORD;
    return NULL;
  }
  if (helped) return openThroughHelper(path, callback, context, result, *archiveFlags);
  RarCore* core = (RarCore*)calloc(1, sizeof(RarCore));
  if (!core) {
    *result = RAR_CORE_NO_MEMORY;
    return NULL;
  }
  core->callback = callback;
  core->context = context;
  core->archiveFlags = *archiveFlags;
  core->rar5 = rar5;
  core->peekVolume = -1;
  core->walkBudget = MAX_BLOCKS_WALKED;
  core->utf8Locale = sharedUtf8Locale();
  *result = listVolumes(core, path);
  if (*result == RAR_CORE_OK) {
    locale_t previous = enterUtf8(core);
    *result = startReader(core, &VOLUME_CALLBACKS);
    leaveUtf8(previous);
  }
  if (*result != RAR_CORE_OK) {
    rarCoreClose(core);
    return NULL;
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

locale_t sharedUtf8Locale() {
  pthread_once(&utf8LocaleOnce, makeUtf8Locale);
  return utf8Locale;
}

// Entered around every libarchive call: under the "C" locale of a plain
// process, libarchive cannot express a non-ASCII name at all.
locale_t enterUtf8(RarCore* core) {
  return core->utf8Locale ? uselocale(core->utf8Locale) : (locale_t)0;
}

void leaveUtf8(locale_t previous) {
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
