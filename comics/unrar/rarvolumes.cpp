// The volumes of an archive: found beside the first at open, and fed to
// libarchive one after the other, asking the caller about each next one.
#include "comics/unrar/rarstate.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <zlib.h>

static const int MAX_VOLUMES = 4096;

static bool fileExists(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

static int openVolumeFile(RarCore* core, const char* path) {
  core->file = fopen(path, "rb");
  return core->file ? ARCHIVE_OK : ARCHIVE_FATAL;
}

int closeVolumeFile(RarCore* core) {
  if (core->file) fclose(core->file);
  core->file = NULL;
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
  if (refuseOverrunRead(reader, core)) return -1;
  if (!core->file) return 0;
  size_t got = fread(core->buffer, 1, READ_BUFFER_SIZE, core->file);
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
  if (!core->callback) return found == RAR_CORE_VOLUME_FOUND ? 1 : -1;
  return core->callback(core->context, RAR_CORE_MESSAGE_VOLUME, volume->path, found);
}

// libarchive moves on to the next volume: announce it, or ask for it when it
// was missing at open (once more after the caller's answer, then give up).
static int switchVolume(struct archive* reader, void* fromData, void* toData) {
  if (fromData == toData) return ARCHIVE_OK;
  RarVolume* volume = (RarVolume*)toData;
  RarCore* core = volume->core;
  closeVolumeFile(core);
  if (volume->missing || !fileExists(volume->path)) {
    if (askForVolume(core, volume, RAR_CORE_VOLUME_MISSING) == -1 || !fileExists(volume->path)) {
      archive_set_error(reader, EIO, "missing volume");
      return ARCHIVE_FATAL;
    }
  } else if (askForVolume(core, volume, RAR_CORE_VOLUME_FOUND) == -1) {
    archive_set_error(reader, EIO, "volume refused");
    return ARCHIVE_FATAL;
  }
  if (openVolumeFile(core, volume->path) == ARCHIVE_OK) return ARCHIVE_OK;
  archive_set_error(reader, EIO, "cannot open volume");
  return ARCHIVE_FATAL;
}

const ReaderCallbacks VOLUME_CALLBACKS = {openFirstVolume, readVolume, skipVolume, closeVolume, switchVolume};

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
int listVolumes(RarCore* core, const char* path) {
  int capacity = 0;
  if (!growVolumes(core, &capacity)) return RAR_CORE_NO_MEMORY;
  size_t length = strlen(path);
  if (length >= MAX_PATH_BYTES) return RAR_CORE_OPEN_FAILED;
  memcpy(core->volumes[0].path, path, length + 1);
  core->volumeCount = 1;
  bool newNumbering = core->archiveFlags & RAR_CORE_ARCHIVE_NEW_NUMBERING;
  while (core->archiveFlags & RAR_CORE_ARCHIVE_VOLUME && core->volumeCount < MAX_VOLUMES) {
    if (!growVolumes(core, &capacity)) return RAR_CORE_NO_MEMORY;
    RarVolume* previous = &core->volumes[core->volumeCount - 1];
    RarVolume* next = &core->volumes[core->volumeCount];
    if (!rarNextVolumeName(previous->path, newNumbering, next->path, MAX_PATH_BYTES)) break;
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
  return RAR_CORE_OK;
}
