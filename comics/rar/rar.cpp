// RAR archives through unrar.dll's published interface. Nothing is ever written
// to disk: entries are processed in test mode and their bytes caught by the
// callback. The library, its open and header records and the prefix buffer are
// single process-wide instances, used only under archiveLock, by the UI thread
// (listing, synchronous decodes) and by the decode worker (on-demand extraction).
#include "comics/rar/rar.h"

#include <string.h>

#include "base/portable.h"
#include "comics/archive/memory.h"
#include "comics/archive/sniff.h"
#include "comics/rar/entrytime.h"
#include "comics/rar/unrar.h"

static_assert(sizeof(WCHAR) == sizeof(char16_t), "paths and names pass between WCHAR and char16_t");

// Entries larger than this are never listed (512 MiB).
static const uint64_t LARGEST_RAR_ENTRY = 0x20000000;
// No image format fits in fewer bytes (the smallest GIF takes 26): a smaller
// entry is never handed to the decompressor, where a few hostile bytes can run
// for seconds.
static const uint64_t SMALLEST_IMAGE_BYTES = 24;
// A solid archive is held in memory whole: past this many bytes of images it
// counts as damaged, so that a small archive of huge entries cannot exhaust memory.
static const uint64_t LARGEST_SOLID_TOTAL = 0x80000000;
// Content room of each block a solid archive is unpacked into; a larger image
// gets a block of its own size.
static const uint64_t CONTENT_BLOCK_BYTES = (uint64_t)64 << 20;
// Room for entries when listing starts; doubled as needed.
static const int32_t INITIAL_ENTRY_CAPACITY = 64;
// Results of the header and processing calls that mean a password is needed.
static const int MISSING_PASSWORD = ERAR_MISSING_PASSWORD;
static const int BAD_PASSWORD = ERAR_BAD_PASSWORD;
// What the callback answers: go on, or abort the current entry.
static const int CALLBACK_CONTINUE = 1;
static const int CALLBACK_ABORT = -1;

// The library's five entry points. openArchive is set last: the library counts as
// loaded only once all five were found.
struct UnrarBinding {
  RarOpenArchiveExProc openArchive;
  RarReadHeaderExProc readHeader;
  RarProcessFileWProc processFile;
  RarCloseArchiveProc closeArchive;
  RarSetCallbackProc setCallback;
};

// Where the callback puts an entry's bytes; one per operation, on its stack.
struct ExtractionSink {
  uint8_t* base;
  uint64_t written;
  uint64_t capacity;
  uint32_t truncate;   // only the first capacity bytes are wanted
  uint32_t filled;     // a truncated extraction was stopped at capacity
  uint32_t passwordAsked;
  uint32_t reportsProgress;   // the listing's sink: the progress hook is called
  uint32_t cancelled;         // the progress hook asked to stop
  uint64_t deadline;          // GetTickCount64 time the entry being tested must be done by; 0: none
};

static SRWLOCK archiveLock = SRWLOCK_INIT;
static UnrarBinding unrar;
static RAROpenArchiveDataEx openRecord;
static RARHeaderDataEx headerRecord;
static uint8_t prefixBuffer[65536];
static ListingProgress listingProgress;
static int64_t entryBudgetForTests = -1;   // milliseconds; -1: rarEntryTimeBudget
static_assert(sizeof(prefixBuffer) == SIZING_PREFIX_BYTES, "the listing reads the same prefix as the size pass");

void acquireArchiveLock() {
  AcquireSRWLockExclusive(&archiveLock);
}

void releaseArchiveLock() {
  ReleaseSRWLockExclusive(&archiveLock);
}

// ---- The library ----

static const WCHAR LIBRARY_NAME[] = L"unrar.dll";

// unrar.dll in the program's own folder; false when the program's path or the
// library's does not fit in MAX_PATH_UNITS.
static bool buildLibraryPath(WCHAR* path) {
  DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH_UNITS);
  if (length == 0 || length >= MAX_PATH_UNITS) return false;   // none, or cut short
  DWORD folderEnd = length;
  while (folderEnd > 0 && path[folderEnd - 1] != L'\\') folderEnd--;
  if (folderEnd == 0) return false;   // no folder at all
  if (folderEnd > MAX_PATH_UNITS - sizeof(LIBRARY_NAME) / sizeof(WCHAR)) return false;
  memcpy(path + folderEnd, LIBRARY_NAME, sizeof(LIBRARY_NAME));
  return true;
}

// Resolves the entry points in a fixed order, RAROpenArchiveEx last.
static bool resolveUnrar(HMODULE library) {
  static const char* const names[] = {"RARReadHeaderEx", "RARProcessFileW", "RARCloseArchive", "RARSetCallback"};
  FARPROC found[4];
  static_assert(sizeof(names) / sizeof(names[0]) == sizeof(found) / sizeof(found[0]), "one slot per name");
  for (int i = 0; i < 4; i++) {
    found[i] = GetProcAddress(library, names[i]);
    if (found[i] == NULL) return false;
  }
  unrar.readHeader = (RarReadHeaderExProc)found[0];
  unrar.processFile = (RarProcessFileWProc)found[1];
  unrar.closeArchive = (RarCloseArchiveProc)found[2];
  unrar.setCallback = (RarSetCallbackProc)found[3];
  FARPROC open = GetProcAddress(library, "RAROpenArchiveEx");
  if (open == NULL) return false;
  unrar.openArchive = (RarOpenArchiveExProc)open;
  return true;
}

// True once the library is bound. Until then every call loads and resolves
// again, so a library put in place later is found. It is never unloaded.
static bool loadUnrar() {
  if (unrar.openArchive) return true;
  WCHAR path[MAX_PATH_UNITS];
  if (!buildLibraryPath(path)) return false;
  HMODULE library = LoadLibraryW(path);
  if (library == NULL) return false;
  return resolveUnrar(library);
}

void setRarListingProgress(ListingProgress progress) {
  listingProgress = progress;
}

void setRarEntryTimeBudgetForTest(int64_t milliseconds) {
  entryBudgetForTests = milliseconds;
}

// ---- The callback ----

// Tests the current entry into the sink within the entry's time budget; the
// deadline holds only while the library works on this entry.
static int testCurrentEntry(HANDLE handle, ExtractionSink* sink, uint64_t declaredSize) {
  int64_t budget = entryBudgetForTests >= 0 ? entryBudgetForTests : rarEntryTimeBudget(declaredSize);
  sink->deadline = GetTickCount64() + (uint64_t)budget;
  int result = unrar.processFile(handle, RAR_TEST, NULL, NULL);
  sink->deadline = 0;
  return result;
}

// Past its deadline the entry is aborted, and fails as a damaged one does.
static bool entryOverran(const ExtractionSink* sink) {
  return sink->deadline != 0 && GetTickCount64() >= sink->deadline;
}

// False once the progress hook asked the listing to stop; it is not asked again.
static bool listingGoesOn(ExtractionSink* sink) {
  if (sink->cancelled) return false;
  if (sink->reportsProgress && listingProgress && !listingProgress()) sink->cancelled = 1;
  return !sink->cancelled;
}

// The next piece of unpacked data. A truncated extraction takes what still fits
// and stops once the wanted beginning is complete; a whole one aborts when the
// entry turns out larger than announced.
static int receiveData(ExtractionSink* sink, const uint8_t* bytes, LPARAM length) {
  if (length < 0 || entryOverran(sink)) return CALLBACK_ABORT;
  uint64_t room = sink->capacity - sink->written;
  uint64_t taken = (uint64_t)length;
  if (taken > room) {
    if (!sink->truncate) return CALLBACK_ABORT;
    taken = room;
  }
  if (taken > 0) memcpy(sink->base + sink->written, bytes, (size_t)taken);
  sink->written += taken;
  if (!listingGoesOn(sink)) return CALLBACK_ABORT;
  if (sink->truncate && sink->written == sink->capacity) {
    sink->filled = 1;
    return CALLBACK_ABORT;
  }
  return CALLBACK_CONTINUE;
}

// No password is ever supplied. A volume the library found goes on, unless the
// entry overran its time; a volume it asks for is missing, and the entry fails.
static int CALLBACK rarCallback(UINT message, LPARAM userData, LPARAM p1, LPARAM p2) {
  ExtractionSink* sink = (ExtractionSink*)userData;
  switch (message) {
    case UCM_PROCESSDATA:
      return receiveData(sink, (const uint8_t*)p1, p2);
    case UCM_NEEDPASSWORD:
    case UCM_NEEDPASSWORDW:
      sink->passwordAsked = 1;
      return CALLBACK_ABORT;
    case UCM_CHANGEVOLUME:
    case UCM_CHANGEVOLUMEW:
      return p2 != RAR_VOL_ASK && !entryOverran(sink) ? CALLBACK_CONTINUE : CALLBACK_ABORT;
    default:
      return CALLBACK_ABORT;
  }
}

// ---- Opening ----

// Opens the archive for test-mode extraction into sink. Null on failure, with
// the reason in openRecord.OpenResult.
static HANDLE openRarArchive(const char16_t* path, ExtractionSink* sink) {
  memset(&openRecord, 0, sizeof(openRecord));
  openRecord.ArcNameW = (WCHAR*)path;
  openRecord.OpenMode = RAR_OM_EXTRACT;
  openRecord.Callback = rarCallback;
  openRecord.UserData = (LPARAM)sink;
  HANDLE handle = unrar.openArchive(&openRecord);
  if (handle == NULL) return NULL;
  if (openRecord.OpenResult != ERAR_SUCCESS) {
    unrar.closeArchive(handle);
    return NULL;
  }
  unrar.setCallback(handle, rarCallback, (LPARAM)sink);
  return handle;
}

static bool isPasswordResult(int result) {
  return result == MISSING_PASSWORD || result == BAD_PASSWORD;
}

// Reads the next header into headerRecord, its name always terminated.
static int readNextHeader(HANDLE handle) {
  int result = unrar.readHeader(handle, &headerRecord);
  const size_t nameUnits = sizeof(headerRecord.FileNameW) / sizeof(WCHAR);
  headerRecord.FileNameW[nameUnits - 1] = 0;
  return result;
}

static uint64_t headerUnpackedSize() {
  return ((uint64_t)headerRecord.UnpSizeHigh << 32) | headerRecord.UnpSize;
}

static char16_t* copyUnits(const char16_t* text) {
  size_t length = 0;
  while (text[length]) length++;
  char16_t* copy = (char16_t*)allocBytes((length + 1) * sizeof(char16_t));
  if (copy) memcpy(copy, text, (length + 1) * sizeof(char16_t));
  return copy;
}

// ---- Listing ----

// One listing in progress.
struct RarListing {
  ComicArchive* archive;
  const char16_t* path;
  HANDLE handle;   // null once a reopen failed
  ExtractionSink sink;
  bool solid;
  int32_t headerIndex;   // every header counts: directories and rejected names too
  int32_t capacity;      // records allocated in archive->entries
  int code;              // why nothing may have been kept
  bool damaged;          // the archive fails as damaged whatever was kept
  uint64_t heldBytes;    // solid: bytes of the entries kept so far
};

// Directories, names that are not images, entries too small to be one and huge ones are skipped.
static bool isListedHeader(uint64_t size) {
  if (headerRecord.Flags & RHDF_DIRECTORY) return false;
  if (!isImageEntryName((const char16_t*)headerRecord.FileNameW)) return false;
  return size >= SMALLEST_IMAGE_BYTES && size <= LARGEST_RAR_ENTRY;
}

// Closes and reopens the archive, then skips the headers up to and including the
// current one: an extraction stopped midway leaves the library's position
// undefined. False when the listing must end.
static bool repositionAfterCurrent(RarListing* listing) {
  unrar.closeArchive(listing->handle);
  listing->handle = openRarArchive(listing->path, &listing->sink);
  if (listing->handle == NULL) return false;
  for (int32_t i = 0; i <= listing->headerIndex; i++) {
    if (readNextHeader(listing->handle) != ERAR_SUCCESS) return false;
    if (unrar.processFile(listing->handle, RAR_SKIP, NULL, NULL) != ERAR_SUCCESS) return false;
  }
  return true;
}

// Gives the entry array room for one more record, doubling it; the new records
// start zeroed.
static bool growEntries(RarListing* listing) {
  ComicArchive* archive = listing->archive;
  if (archive->entryCount < listing->capacity) return true;
  int32_t capacity = listing->capacity * 2;
  void* grown = resizeBytes(archive->entries, (size_t)capacity * sizeof(ArchiveEntry));
  if (grown == NULL) return false;
  archive->entries = (ArchiveEntry*)grown;
  memset(archive->entries + listing->capacity, 0, (size_t)(capacity - listing->capacity) * sizeof(ArchiveEntry));
  listing->capacity = capacity;
  return true;
}

// Appends the current header as an entry: a solid one keeps the bytes received at
// buffer (the next one follows them), a non-solid one is sized from the prefix
// buffer. False leaves the listing.
static bool appendRarEntry(RarListing* listing, uint64_t size, uint8_t* buffer) {
  ComicArchive* archive = listing->archive;
  if (archive->entryCount >= MAX_IMAGE_ENTRIES) {   // a hostile number of images
    listing->damaged = true;
    return false;
  }
  if (!growEntries(listing)) return false;
  char16_t* name = copyUnits((const char16_t*)headerRecord.FileNameW);
  if (name == NULL) return false;
  ArchiveEntry* entry = &archive->entries[archive->entryCount];
  entry->name = name;
  uint64_t written = listing->sink.written;
  if (listing->solid) {
    ContentBlock* block = archive->contentBlocks;
    block->used += written;
    if (block->capacity > CONTENT_BLOCK_BYTES && block->used == written && written < block->capacity) {
      // A block of its own, announced larger than what arrived: give the rest back.
      ContentBlock* shrunk = (ContentBlock*)resizeBytes(block, (size_t)(sizeof(ContentBlock) + written));
      if (shrunk) {
        shrunk->capacity = written;
        archive->contentBlocks = shrunk;
        buffer = (uint8_t*)(shrunk + 1);
      }
    }
    entry->data = buffer;
    entry->storedSize = entry->size = written;
    entry->method = STORED;
    listing->heldBytes += written;
  } else {
    entry->rarIndex = listing->headerIndex;
    entry->storedSize = entry->size = size;
    entry->archivePath = archive->archivePath;
    entry->method = RAR_ON_DEMAND;
    int32_t width = 0, height = 0;
    if (sniffImageSize(prefixBuffer, written, &width, &height)) {
      entry->width = width;
      entry->height = height;
    }
  }
  archive->entryCount += 1;
  return true;
}

// Room for size bytes after the content of the archive's newest block, in a new
// block when that one is full; null without memory. Taken only by appending.
static uint8_t* reserveContent(ComicArchive* archive, uint64_t size) {
  ContentBlock* newest = archive->contentBlocks;
  if (newest && newest->capacity - newest->used >= size) return (uint8_t*)(newest + 1) + newest->used;
  uint64_t capacity = size > CONTENT_BLOCK_BYTES ? size : CONTENT_BLOCK_BYTES;
  ContentBlock* block = (ContentBlock*)allocBytes((size_t)(sizeof(ContentBlock) + capacity));
  if (block == NULL) return NULL;
  block->next = newest;
  block->capacity = capacity;
  block->used = 0;
  archive->contentBlocks = block;
  return (uint8_t*)(block + 1);
}

// Points the sink at where the current entry goes: the prefix buffer, or room for
// the whole entry in a solid archive (returned in *buffer; null when there is no
// memory for it).
static void prepareSink(RarListing* listing, uint64_t size, uint8_t** buffer) {
  ExtractionSink* sink = &listing->sink;
  sink->written = 0;
  sink->filled = 0;
  sink->passwordAsked = 0;
  *buffer = NULL;
  if (!listing->solid) {
    sink->base = prefixBuffer;
    sink->capacity = size < SIZING_PREFIX_BYTES ? size : SIZING_PREFIX_BYTES;
    sink->truncate = size > SIZING_PREFIX_BYTES;
    return;
  }
  *buffer = reserveContent(listing->archive, size);
  sink->base = *buffer;
  sink->capacity = size;
  sink->truncate = 0;
}

// Lists the next header. False ends the listing.
static bool listNextHeader(RarListing* listing) {
  if (!listingGoesOn(&listing->sink)) return false;
  int result = readNextHeader(listing->handle);
  if (result != ERAR_SUCCESS) {   // normally the end of the archive
    if (isPasswordResult(result)) listing->code = OPEN_PASSWORD_PROTECTED;
    return false;
  }
  if (listing->headerIndex == INT32_MAX) return false;   // positions no longer fit
  listing->headerIndex += 1;
  uint64_t size = headerUnpackedSize();
  bool listed = isListedHeader(size);
  if (listed && listing->solid && listing->heldBytes + size > LARGEST_SOLID_TOTAL) {
    listing->damaged = true;
    return false;
  }
  uint8_t* buffer = NULL;
  if (listed) prepareSink(listing, size, &buffer);
  if (!listed || (listing->solid && buffer == NULL)) {   // no memory: only this entry is lost
    unrar.processFile(listing->handle, RAR_SKIP, NULL, NULL);
    return true;
  }
  result = testCurrentEntry(listing->handle, &listing->sink, size);
  if (listing->sink.cancelled) return false;
  // Room reserved in a content block and not appended is simply reused.
  if (listing->sink.passwordAsked || isPasswordResult(result)) {
    listing->code = OPEN_PASSWORD_PROTECTED;
    return false;
  }
  if (result != ERAR_SUCCESS && !listing->sink.filled)   // the image's data failed to unpack
    return !listing->solid && repositionAfterCurrent(listing);
  if (!appendRarEntry(listing, size, buffer)) return false;
  return result == ERAR_SUCCESS || repositionAfterCurrent(listing);
}

int listRarEntries(ComicArchive* archive, const char16_t* path) {
  if (!loadUnrar()) return OPEN_RAR_LIBRARY_MISSING;
  RarListing listing = {};
  listing.archive = archive;
  listing.path = path;
  listing.headerIndex = -1;
  listing.sink.reportsProgress = 1;
  listing.handle = openRarArchive(path, &listing.sink);
  if (listing.handle == NULL)
    return isPasswordResult((int)openRecord.OpenResult) ? OPEN_PASSWORD_PROTECTED : OPEN_DAMAGED;
  listing.solid = (openRecord.Flags & ROADF_SOLID) != 0;
  if (!listing.solid) {
    archive->archivePath = copyUnits(path);
    if (archive->archivePath == NULL) {
      unrar.closeArchive(listing.handle);
      return OPEN_DAMAGED;
    }
  }
  archive->entries = (ArchiveEntry*)allocZeroed((size_t)INITIAL_ENTRY_CAPACITY * sizeof(ArchiveEntry));
  if (archive->entries == NULL) {   // as for a ZIP: the archive cannot be read
    unrar.closeArchive(listing.handle);
    return OPEN_DAMAGED;
  }
  listing.capacity = INITIAL_ENTRY_CAPACITY;
  while (listNextHeader(&listing)) {}
  if (listing.handle) unrar.closeArchive(listing.handle);
  if (listing.sink.cancelled) return OPEN_CANCELLED;
  if (listing.damaged) return OPEN_DAMAGED;
  if (archive->entryCount > 0) return 0;
  return listing.code ? listing.code : OPEN_NO_IMAGE;
}

// ---- On-demand extraction ----

// Skips to the entry's header by its position and extracts it into a new
// buffer. Null when the header is not there or the data fails.
static uint8_t* extractAtPosition(HANDLE handle, const ArchiveEntry* entry, uint64_t limit, ExtractionSink* sink) {
  for (int32_t i = 0;; i++) {
    if (readNextHeader(handle) != ERAR_SUCCESS) return NULL;
    if (i < entry->rarIndex) {
      unrar.processFile(handle, RAR_SKIP, NULL, NULL);
      continue;
    }
    sink->capacity = (limit > 0 && limit < entry->size) ? limit : entry->size;
    sink->truncate = sink->capacity < entry->size;
    uint8_t* base = (uint8_t*)allocBytes((size_t)(sink->capacity ? sink->capacity : 1));
    if (base == NULL) return NULL;
    sink->base = base;
    int result = testCurrentEntry(handle, sink, entry->size);
    if (result != ERAR_SUCCESS && !sink->filled) {
      freeBytes(base);
      return NULL;
    }
    return base;
  }
}

bool extractRarEntry(const ArchiveEntry* entry, uint64_t limit, ExtractedBytes* out) {
  out->bytes = NULL;
  out->length = 0;
  out->owned = NULL;
  // Everything the callback reads starts from zero: the sink lives on this stack.
  ExtractionSink sink = {};
  uint8_t* buffer = NULL;
  acquireArchiveLock();
  if (loadUnrar() && entry->archivePath) {
    HANDLE handle = openRarArchive(entry->archivePath, &sink);
    if (handle) {
      buffer = extractAtPosition(handle, entry, limit, &sink);
      unrar.closeArchive(handle);
    }
  }
  releaseArchiveLock();
  if (buffer == NULL) return false;
  out->bytes = buffer;
  out->length = sink.written;
  out->owned = buffer;
  return true;
}
