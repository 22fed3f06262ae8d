// Solid RAR 4 through a helper process: the headers walked here, the data
// from one unar run writing every file to a pipe, in archive order.
#include "comics/unrar/rarhelper.h"

#include "comics/unrar/rarbudget.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

extern char** environ;

// The helper and its bounds. A run that writes nothing for the stall time, or
// is not done within the base time plus a second per 16 MiB of archive, is
// killed and the archive counts as damaged. Its address space and CPU time are
// capped too, so that a hostile archive cannot make it eat the machine.
static const char DEFAULT_HELPER[] = "/usr/bin/unar";
static const char LIMITER[] = "/usr/bin/prlimit";
static const int DEFAULT_STALL_MILLISECONDS = 10000;
static const int DEFAULT_BASE_MILLISECONDS = 60000;
static const uint64_t ARCHIVE_BYTES_PER_SECOND = (uint64_t)16 << 20;
static const char ADDRESS_SPACE_LIMIT[] = "--as=1073741824";
static const char CPU_LIMIT[] = "--cpu=600";
// Past this many bytes from the helper the run stops: the reader keeps at
// most 2 GiB of a solid archive, and skips little besides.
static const uint64_t MAX_HELPER_BYTES = (uint64_t)4 << 30;
// The reader keeps no more than 100,000 images, and the header list must stay
// small beside what it describes: past either bound the walk stops there, as
// at a damaged block, instead of holding a hostile archive's million names.
static const int MAX_ENTRIES = 100000;
static const size_t MAX_LIST_BYTES = (size_t)32 << 20;
static const size_t PIPE_BUFFER_SIZE = 65536;
// The helper reads the archive through the descriptor its headers came from.
static const int ARCHIVE_DESCRIPTOR = 3;
static const char ARCHIVE_DESCRIPTOR_PATH[] = "/dev/fd/3";
// While the run is awaited the idle hook is called this often, so that a
// window waiting on it can keep painting.
static const int IDLE_MILLISECONDS = 50;

static char helperPath[4096] = "";
static int stallMilliseconds = DEFAULT_STALL_MILLISECONDS;
static int baseMilliseconds = DEFAULT_BASE_MILLISECONDS;
static RarHelperIdle idleHook;

void rarHelperSetProgram(const char* path, int stall, int total) {
  helperPath[0] = 0;
  if (path && strlen(path) < sizeof helperPath) strcpy(helperPath, path);
  stallMilliseconds = stall > 0 ? stall : DEFAULT_STALL_MILLISECONDS;
  baseMilliseconds = total > 0 ? total : DEFAULT_BASE_MILLISECONDS;
}

static const char* helperProgram() {
  return helperPath[0] ? helperPath : DEFAULT_HELPER;
}

void rarHelperSetIdle(RarHelperIdle idle) {
  idleHook = idle;
}

// ------------------------------------------------------------ headers ---

static const uint8_t RAR4_SIGNATURE[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
static const uint32_t MAIN_TYPE = 0x73, FILE_TYPE = 0x74, SUB_TYPE = 0x7A, END_TYPE = 0x7B;
static const uint32_t LONG_BLOCK = 0x8000;
static const uint32_t SPLIT_BEFORE = 0x01, SPLIT_AFTER = 0x02, PASSWORD_FLAG = 0x04, LARGE_FLAG = 0x100,
                      UNICODE_FLAG = 0x200;
static const uint32_t DIRECTORY_BITS = 0xE0;
static const size_t BLOCK_HEAD = 7, FILE_FIXED = 32, MAX_HEADER_SIZE = 65535;
static const uint32_t HOST_UNIX = 3;
static const uint32_t WINDOWS_DIRECTORY = 0x10;

struct HelperEntry {
  char16_t* name;   // as long as it is, zero-terminated
  uint32_t flags;   // rarEntry* bits
  uint64_t unpackedSize;
  uint64_t packedSize;
  uint32_t crc;
  uint32_t dosTime;
  uint32_t mode;
};

struct RarHelperArchive {
  int fd;   // the archive, kept open for the run
  uint64_t fileSize;
  HelperEntry* entries;
  int count;
  size_t listBytes;   // held by the entries and their names
  bool damaged;       // the walk stopped at a block it could not read
  int next;           // the entry the next header read returns
  int current;        // the entry whose header was read last, -1 none
  bool processed;     // the current entry was skipped or tested
  bool broken;        // the data stream failed: every later call fails
  // The run: started at the first entry that needs its data.
  pid_t pid;
  int pipe;
  bool started;
  bool ended;              // the pipe reached its end
  int streamed;            // entries whose data the pipe has passed, or is passing
  uint64_t owed;           // bytes of the entry the pipe is in that are still to come
  uint64_t received;       // bytes from the helper so far
  int64_t deadline;        // of the run: milliseconds on the monotonic clock
  int64_t entryDeadline;   // of the entry the pipe is in (rarbudget.h)
  int64_t lastIdle;        // when the idle hook was last called
  uint8_t* buffer;
  RarHelperArchive* nextRunning;   // the list of runs under way, for rarHelperEndRuns
};

static uint32_t le16(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8);
}
static uint32_t le32(const uint8_t* p) {
  return le16(p) | (le16(p + 2) << 16);
}

static bool readAt(int fd, uint64_t offset, uint8_t* out, size_t length) {
  while (length > 0) {
    ssize_t got = pread(fd, out, length, (off_t)offset);
    if (got <= 0) return false;
    out += got;
    offset += (uint64_t)got;
    length -= (size_t)got;
  }
  return true;
}

// RAR's compact Unicode names: the ASCII name, a zero, then the UTF-16 name
// coded against it (a high byte, then two flag bits a unit).
static size_t decodeRarUnicode(const uint8_t* name, size_t nameLength, const uint8_t* coded, size_t codedLength,
                               char16_t* out, size_t capacity) {
  size_t in = 0, units = 0;
  if (codedLength == 0) return 0;
  uint32_t high = coded[in++];
  uint32_t flags = 0;
  int flagBits = 0;
  while (in < codedLength && units + 1 < capacity) {
    if (flagBits == 0) {
      flags = coded[in++];
      flagBits = 8;
    }
    flagBits -= 2;
    switch ((flags >> flagBits) & 3) {
      case 0:
        if (in >= codedLength) return units;
        out[units++] = coded[in++];
        break;
      case 1:
        if (in >= codedLength) return units;
        out[units++] = (char16_t)(coded[in++] | (high << 8));
        break;
      case 2:
        if (in + 1 >= codedLength) return units;
        out[units++] = (char16_t)le16(coded + in);
        in += 2;
        break;
      default: {
        if (in >= codedLength) return units;
        uint32_t length = coded[in++];
        bool corrected = length & 0x80;
        uint32_t correction = 0;
        if (corrected) {
          if (in >= codedLength) return units;
          correction = coded[in++];
        }
        // A run of units taken from the ASCII name, corrected or not.
        for (length = (length & 0x7F) + 2; length > 0 && units + 1 < capacity; length--, units++) {
          uint32_t base = units < nameLength ? name[units] : 0;
          out[units] = corrected ? (char16_t)(((base + correction) & 0xFF) | (high << 8)) : (char16_t)base;
        }
        break;
      }
    }
  }
  return units;
}

// The entry's name as UTF-16 with '/' separators: RAR's compact Unicode after
// a zero byte, else UTF-8 (what RAR writes with the Unicode flag and no zero,
// and the best guess for the oldest names).
static char16_t* decodeName(const uint8_t* raw, size_t length, uint32_t flags, size_t* units) {
  char16_t name[RAR_NAME_CAPACITY];
  const uint8_t* zero = (flags & UNICODE_FLAG) ? (const uint8_t*)memchr(raw, 0, length) : NULL;
  size_t count = 0;
  if (zero) {
    size_t ascii = (size_t)(zero - raw);
    count = decodeRarUnicode(raw, ascii, zero + 1, length - ascii - 1, name, RAR_NAME_CAPACITY);
    name[count] = 0;
  } else {
    char text[RAR_NAME_CAPACITY * 3];
    size_t kept = length < sizeof text - 1 ? length : sizeof text - 1;
    memcpy(text, raw, kept);
    text[kept] = 0;
    count = rarUtf8ToUtf16(text, name, RAR_NAME_CAPACITY);
  }
  for (size_t i = 0; i < count; i++)
    if (name[i] == u'\\') name[i] = u'/';
  *units = count;
  char16_t* kept = (char16_t*)malloc((count + 1) * sizeof(char16_t));
  if (kept) memcpy(kept, name, (count + 1) * sizeof(char16_t));
  return kept;
}

static uint32_t modeOf(uint32_t host, uint32_t attributes, bool directory) {
  if (host == HOST_UNIX) return attributes;
  if (directory || (attributes & WINDOWS_DIRECTORY)) return 040755;
  return 0100644;
}

// False past the entry cap or the list's byte budget (the entry is not added).
static bool addEntry(RarHelperArchive* archive, int* capacity, const HelperEntry* entry, size_t nameUnits) {
  size_t bytes = sizeof(HelperEntry) + (nameUnits + 1) * sizeof(char16_t);
  if (archive->count >= MAX_ENTRIES || archive->listBytes + bytes > MAX_LIST_BYTES) return false;
  if (archive->count == *capacity) {
    int grown = *capacity ? *capacity * 2 : 64;
    if (grown > MAX_ENTRIES) grown = MAX_ENTRIES;
    HelperEntry* entries = (HelperEntry*)realloc(archive->entries, (size_t)grown * sizeof(HelperEntry));
    if (!entries) return false;
    archive->entries = entries;
    *capacity = grown;
  }
  archive->entries[archive->count++] = *entry;
  archive->listBytes += bytes;
  return true;
}

// A file block: its entry, and the size of its data area.
static bool readFileBlock(int fd, uint64_t offset, const uint8_t* head, uint32_t flags, uint32_t size, uint8_t* header,
                          HelperEntry* entry, size_t* nameUnits, uint64_t* data) {
  if (size < FILE_FIXED || !readAt(fd, offset, header, size)) return false;
  if (((uint32_t)crc32(0, header + 2, size - 2) & 0xFFFF) != le16(head)) return false;
  uint64_t packed = le32(header + 7), unpacked = le32(header + 11);
  size_t nameStart = FILE_FIXED;
  if (flags & LARGE_FLAG) {
    if (size < FILE_FIXED + 8) return false;
    packed |= (uint64_t)le32(header + 32) << 32;
    unpacked |= (uint64_t)le32(header + 36) << 32;
    nameStart += 8;
  }
  uint32_t nameLength = le16(header + 26);
  if (nameLength > size - nameStart) return false;
  bool directory = (flags & DIRECTORY_BITS) == DIRECTORY_BITS;
  memset(entry, 0, sizeof *entry);
  entry->name = decodeName(header + nameStart, nameLength, flags, nameUnits);
  if (!entry->name) return false;
  entry->flags = (directory ? RAR_CORE_ENTRY_DIRECTORY : 0) | ((flags & PASSWORD_FLAG) ? RAR_CORE_ENTRY_ENCRYPTED : 0);
  entry->unpackedSize = directory ? 0 : unpacked;
  entry->packedSize = packed;
  entry->crc = le32(header + 16);
  entry->dosTime = le32(header + 20);
  entry->mode = modeOf(header[15], le32(header + 28), directory);
  *data = packed;
  return true;
}

// Walks the blocks from the main header on; a block that cannot be read ends
// the walk, and the archive with it, as damaged there. The end block, or the
// file's end between two blocks, ends it cleanly.
static void walkHeaders(RarHelperArchive* archive, int fd, bool solid) {
  archive->damaged = true;                               // until the end block is reached
  uint8_t* header = (uint8_t*)malloc(MAX_HEADER_SIZE);   // a whole file header
  if (!header) return;
  int capacity = 0;
  uint64_t offset = sizeof RAR4_SIGNATURE;
  int filesSeen = 0;
  while (offset + BLOCK_HEAD <= archive->fileSize) {
    uint8_t head[BLOCK_HEAD + 4];
    if (!readAt(fd, offset, head, BLOCK_HEAD)) break;
    uint32_t type = head[2], flags = le16(head + 3), size = le16(head + 5);
    if (type == END_TYPE) {
      archive->damaged = false;
      break;
    }
    if (size < BLOCK_HEAD || size > archive->fileSize - offset) break;
    uint64_t data = 0;
    if (type == FILE_TYPE) {
      HelperEntry entry;
      size_t nameUnits = 0;
      if (flags & (SPLIT_BEFORE | SPLIT_AFTER)) break;   // volumes are not read this way
      if (!readFileBlock(fd, offset, head, flags, size, header, &entry, &nameUnits, &data)) break;
      if (!(entry.flags & RAR_CORE_ENTRY_DIRECTORY) && filesSeen++ > 0 && solid) entry.flags |= RAR_CORE_ENTRY_SOLID;
      if (!addEntry(archive, &capacity, &entry, nameUnits)) {
        free(entry.name);
        break;
      }
    } else if (type == SUB_TYPE || (flags & LONG_BLOCK)) {
      if (size < BLOCK_HEAD + 4 || !readAt(fd, offset + BLOCK_HEAD, head + BLOCK_HEAD, 4)) break;
      data = le32(head + BLOCK_HEAD);
    } else if (type < MAIN_TYPE || type > END_TYPE) {
      break;
    }
    if (data > archive->fileSize - offset - size) break;   // the data runs past the end
    offset += size + data;
  }
  if (offset == archive->fileSize) archive->damaged = false;   // no end block, nothing cut either
  free(header);
}

RarHelperArchive* rarHelperOpen(const char* path, bool solid, int* result) {
  // Nothing could unpack it: say damaged rather than show a part of it.
  if (access(helperProgram(), X_OK) != 0 || access(LIMITER, X_OK) != 0) {
    *result = RAR_CORE_BAD_ARCHIVE;
    return NULL;
  }
  int opened = open(path, O_RDONLY | O_CLOEXEC);
  // Above the descriptors the run is given, so that handing it over never
  // lands on itself (a descriptor dup'ed onto itself keeps its close-on-exec).
  int fd = opened >= 0 ? fcntl(opened, F_DUPFD_CLOEXEC, ARCHIVE_DESCRIPTOR + 1) : -1;
  if (opened >= 0) close(opened);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0) {
    if (fd >= 0) close(fd);
    *result = RAR_CORE_OPEN_FAILED;
    return NULL;
  }
  RarHelperArchive* archive = (RarHelperArchive*)calloc(1, sizeof(RarHelperArchive));
  if (!archive) {
    close(fd);
    *result = RAR_CORE_NO_MEMORY;
    return NULL;
  }
  archive->fd = fd;
  archive->fileSize = (uint64_t)info.st_size;
  archive->current = -1;
  archive->pipe = -1;
  // The zone is read once here; each header's time is then converted without
  // mktime, which looks at the zone file again at every call.
  tzset();
  walkHeaders(archive, fd, solid);
  *result = RAR_CORE_OK;
  return archive;
}

// ---------------------------------------------------------- the run ---

// Whether entry index has data in the helper's stream.
static bool carriesData(const HelperEntry* entry) {
  return !(entry->flags & RAR_CORE_ENTRY_DIRECTORY);
}

// The first encrypted file: the run ends before it (unar, without the
// password, stops there; what it would write after is never read).
static int firstEncrypted(const RarHelperArchive* archive) {
  for (int i = 0; i < archive->count; i++)
    if ((archive->entries[i].flags & RAR_CORE_ENTRY_ENCRYPTED) && carriesData(&archive->entries[i])) return i;
  return -1;
}

// argv of the run, the same for every archive: the limiter and its caps, the
// helper writing every file to standard output, no nested archives, no
// resource forks, the archive read from the descriptor handed over (its path
// could be a name the helper cannot take, or name another file by now).
static char* const* runArguments() {
  static const char* argv[] = {LIMITER, ADDRESS_SPACE_LIMIT,     CPU_LIMIT, "--", NULL, "-q", "-nr", "-k", "skip", "-o",
                               "-",     ARCHIVE_DESCRIPTOR_PATH, NULL};
  argv[4] = helperProgram();
  return (char* const*)argv;
}

// The runs under way, so that a program ending at once can end them too.
static pthread_mutex_t runningLock = PTHREAD_MUTEX_INITIALIZER;
static RarHelperArchive* running;

static void listRunning(RarHelperArchive* archive) {
  pthread_mutex_lock(&runningLock);
  archive->nextRunning = running;
  running = archive;
  pthread_mutex_unlock(&runningLock);
}

static void unlistRunning(RarHelperArchive* archive) {
  pthread_mutex_lock(&runningLock);
  for (RarHelperArchive** link = &running; *link; link = &(*link)->nextRunning) {
    if (*link == archive) {
      *link = archive->nextRunning;
      break;
    }
  }
  archive->nextRunning = NULL;
  pthread_mutex_unlock(&runningLock);
}

// Starts the run: standard input and error on /dev/null, standard output the
// pipe, the archive as descriptor 3, nothing else of this process inherited,
// default signals.
static bool startRun(RarHelperArchive* archive) {
  archive->started = true;
  if (firstEncrypted(archive) == 0) return false;
  int fds[2] = {-1, -1};
  archive->buffer = (uint8_t*)malloc(PIPE_BUFFER_SIZE);
  bool ok = archive->buffer && pipe2(fds, O_CLOEXEC) == 0;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (ok) {
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, archive->fd, ARCHIVE_DESCRIPTOR);
    posix_spawn_file_actions_addclosefrom_np(&actions, ARCHIVE_DESCRIPTOR + 1);
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    ok = posix_spawn(&archive->pid, LIMITER, &actions, &attributes, runArguments(), environ) == 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  }
  if (fds[1] >= 0) close(fds[1]);
  if (!ok) {
    if (fds[0] >= 0) close(fds[0]);
    archive->pid = 0;
    return false;
  }
  archive->pipe = fds[0];
  archive->lastIdle = monotonicMilliseconds();
  archive->deadline =
      archive->lastIdle + baseMilliseconds + (int64_t)(archive->fileSize / ARCHIVE_BYTES_PER_SECOND) * 1000;
  listRunning(archive);
  return true;
}

// Kills the run unless it has ended (a run reaped already, by us or by an
// ignored SIGCHLD, is never signalled: its number may be another's now).
static void killRun(RarHelperArchive* archive) {
  if (archive->pid > 0 && waitpid(archive->pid, NULL, WNOHANG) == 0) {
    kill(archive->pid, SIGKILL);
    while (waitpid(archive->pid, NULL, 0) < 0 && errno == EINTR) {}
  }
  archive->pid = 0;
}

static void endRun(RarHelperArchive* archive) {
  if (archive->pipe >= 0) {
    unlistRunning(archive);
    close(archive->pipe);
  }
  archive->pipe = -1;
  killRun(archive);
}

void rarHelperEndRuns() {
  pthread_mutex_lock(&runningLock);
  for (RarHelperArchive* archive = running; archive; archive = archive->nextRunning) killRun(archive);
  pthread_mutex_unlock(&runningLock);
}

static int failStream(RarHelperArchive* archive) {
  archive->broken = true;
  endRun(archive);
  return RAR_CORE_BAD_DATA;
}

// Calls the idle hook when its time has come.
static void idleIfDue(RarHelperArchive* archive) {
  if (!idleHook) return;
  int64_t now = monotonicMilliseconds();
  if (now - archive->lastIdle < IDLE_MILLISECONDS) return;
  archive->lastIdle = now;
  idleHook();
}

// Up to length bytes from the pipe into the buffer, waiting no longer than
// the stall time and the run's and the entry's deadlines, the idle hook called in between;
// 0 at the end, -1 on failure.
static ssize_t readPipe(RarHelperArchive* archive, size_t length) {
  int64_t quietSince = monotonicMilliseconds();
  for (;;) {
    idleIfDue(archive);
    int64_t now = monotonicMilliseconds();
    int64_t entry = archive->entryDeadline;   // 0: between entries, the run's alone
    int64_t deadline = entry != 0 && entry < archive->deadline ? entry : archive->deadline;
    int64_t left = deadline - now;
    int64_t stall = quietSince + stallMilliseconds - now;
    if (left <= 0 || stall <= 0) return -1;   // overran, or stalled
    int64_t wait = left < stall ? left : stall;
    if (idleHook && wait > IDLE_MILLISECONDS) wait = IDLE_MILLISECONDS;
    struct pollfd ready = {archive->pipe, POLLIN, 0};
    int count = poll(&ready, 1, (int)wait);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return -1;
    if (count == 0) continue;
    ssize_t got = read(archive->pipe, archive->buffer, length);
    if (got < 0 && errno == EINTR) continue;
    return got;
  }
}

// Passes the rest of the current entry's data to the callback (none: drops
// it). RAR_CORE_OK when all of it came and matched its CRC; RAR_CORE_UNKNOWN when the
// callback stopped it (the rest is dropped at the next call).
static int streamEntry(RarHelperArchive* archive, RarCoreCallback callback, void* context, uint32_t* crc) {
  while (archive->owed > 0) {
    size_t want = archive->owed < PIPE_BUFFER_SIZE ? (size_t)archive->owed : PIPE_BUFFER_SIZE;
    ssize_t got = readPipe(archive, want);
    if (got <= 0) return failStream(archive);
    archive->owed -= (uint64_t)got;
    archive->received += (uint64_t)got;
    if (archive->received > MAX_HELPER_BYTES) return failStream(archive);
    if (crc) *crc = (uint32_t)crc32(*crc, archive->buffer, (uInt)got);
    if (callback && callback(context, RAR_CORE_MESSAGE_DATA, archive->buffer, (uint64_t)got) == -1) {
      return RAR_CORE_UNKNOWN;
    }
  }
  return RAR_CORE_OK;
}

// The pipe starts on the entry's data: all of it is owed, within the entry's time.
static void enterEntry(RarHelperArchive* archive, const HelperEntry* entry) {
  archive->owed = entry->unpackedSize;
  archive->entryDeadline = deadlineForEntry(entry->unpackedSize);
}

// Brings the pipe to the start of entry index's data, dropping what comes
// before it.
static int streamTo(RarHelperArchive* archive, int index) {
  if (archive->broken) return RAR_CORE_BAD_DATA;
  if (!archive->started && !startRun(archive)) return failStream(archive);
  if (archive->pipe < 0) return RAR_CORE_BAD_DATA;
  if (archive->owed > 0 && streamEntry(archive, NULL, NULL, NULL) != RAR_CORE_OK) return RAR_CORE_BAD_DATA;
  while (archive->streamed < index) {
    const HelperEntry* entry = &archive->entries[archive->streamed++];
    if (!carriesData(entry)) continue;
    enterEntry(archive, entry);
    if (streamEntry(archive, NULL, NULL, NULL) != RAR_CORE_OK) return RAR_CORE_BAD_DATA;
  }
  return RAR_CORE_OK;
}

static int testEntry(RarHelperArchive* archive, int index, RarCoreCallback callback, void* context) {
  const HelperEntry* entry = &archive->entries[index];
  if (streamTo(archive, index) != RAR_CORE_OK) return RAR_CORE_BAD_DATA;
  archive->streamed = index + 1;
  enterEntry(archive, entry);
  uint32_t crc = 0;
  int result = streamEntry(archive, callback, context, &crc);
  if (result != RAR_CORE_OK) return result;
  if (crc != entry->crc) return failStream(archive);
  if (archive->streamed == archive->count || index + 1 == firstEncrypted(archive)) endRun(archive);
  return RAR_CORE_OK;
}

// -------------------------------------------------------- the reader ---

static long zoneOffsetAt(time_t seconds) {
  struct tm local;
  return localtime_r(&seconds, &local) ? local.tm_gmtoff : 0;
}

// Local time fields as seconds since 1970, through the zone read at open:
// mktime would read the zone file again for every header. The fields read
// as UTC, less the offset in force then, corrected once for an offset that
// changes in between (a daylight-saving switch). 0 when they do not fit.
static int64_t localToUnix(struct tm* local) {
  time_t asUtc = timegm(local);
  if (asUtc == (time_t)-1) return 0;
  time_t guess = asUtc - zoneOffsetAt(asUtc);
  return (int64_t)(asUtc - zoneOffsetAt(guess));
}

int rarHelperReadHeader(RarHelperArchive* archive, RarEntryInfo* info) {
  if (archive->broken) return RAR_CORE_BAD_DATA;
  if (archive->next >= archive->count) {
    if (archive->damaged) {
      archive->broken = true;
      endRun(archive);
      return RAR_CORE_BAD_DATA;
    }
    endRun(archive);
    return RAR_CORE_END_ARCHIVE;
  }
  const HelperEntry* entry = &archive->entries[archive->next];
  memset(info, 0, sizeof *info);
  size_t units = 0;
  while (entry->name[units]) units++;
  memcpy(info->name, entry->name, (units + 1) * sizeof(char16_t));
  info->flags = entry->flags;
  info->unpackedSize = entry->unpackedSize;
  info->packedSize = entry->packedSize;
  info->dosTime = entry->dosTime;
  struct tm local = {};
  local.tm_year = (int)(entry->dosTime >> 25) + 80;
  local.tm_mon = (int)((entry->dosTime >> 21) & 15) - 1;
  local.tm_mday = (int)((entry->dosTime >> 16) & 31);
  local.tm_hour = (int)((entry->dosTime >> 11) & 31);
  local.tm_min = (int)((entry->dosTime >> 5) & 63);
  local.tm_sec = (int)(entry->dosTime & 31) * 2;
  info->unixTime = localToUnix(&local);
  info->mode = entry->mode;
  archive->current = archive->next++;
  archive->processed = false;
  return RAR_CORE_OK;
}

static int askPassword(RarCoreCallback callback, void* context) {
  int answer = callback ? callback(context, RAR_CORE_MESSAGE_PASSWORD, NULL, 0) : -1;
  return answer == -1 ? RAR_CORE_MISSING_PASSWORD : RAR_CORE_BAD_PASSWORD;   // no password is ever used
}

int rarHelperProcess(RarHelperArchive* archive, int operation, RarCoreCallback callback, void* context) {
  if (archive->broken) return RAR_CORE_BAD_DATA;
  if (archive->current < 0 || archive->processed) return RAR_CORE_UNKNOWN;
  archive->processed = true;
  const HelperEntry* entry = &archive->entries[archive->current];
  if (operation == RAR_CORE_SKIP) return RAR_CORE_OK;   // the data is dropped when a later entry is streamed
  if (operation != RAR_CORE_TEST) return RAR_CORE_CREATE_FAILED;
  if (entry->flags & RAR_CORE_ENTRY_DIRECTORY) return RAR_CORE_OK;
  if (entry->flags & RAR_CORE_ENTRY_ENCRYPTED) return askPassword(callback, context);
  return testEntry(archive, archive->current, callback, context);
}

void rarHelperClose(RarHelperArchive* archive) {
  if (!archive) return;
  endRun(archive);
  for (int i = 0; i < archive->count; i++) free(archive->entries[i].name);
  free(archive->entries);
  free(archive->buffer);
  close(archive->fd);
  free(archive);
}
