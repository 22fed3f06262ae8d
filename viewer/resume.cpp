// Resuming where the user left off: while the ResumePosition setting is on,
// the position in a document is kept under HKCU\Software\Brisa\Recent when the
// document is replaced or the program ends, one binary value per file named by
// its full path, and a document opens at its kept position when the file has
// not changed since. Whatever else is found under the key is ignored when read
// and deleted by the next writes, a bounded number of values at each.
#include "base/base.h"

#include "viewer/recent.h"
#include "viewer/viewer.h"

static const wchar_t RECENT_KEY[] = L"Software\\Brisa\\Recent";
enum { REGISTRY_NAME_UNITS = 16384 };   // the longest value name the registry allows, and its terminator

bool resumeIsOn() {
  return readSetting(L"ResumePosition") != 0;
}

// The kept entry of a path; false when there is none or it is not one of ours
// (another type, another length, values out of range).
static bool readRecentEntry(const wchar_t* path, RecentEntry* entry) {
  unsigned char bytes[RECENT_ENTRY_BYTES + 1];   // one more, so that a longer value cannot pass
  DWORD size = sizeof bytes;
  if (RegGetValueW(HKEY_CURRENT_USER, RECENT_KEY, path, RRF_RT_REG_BINARY, NULL, bytes, &size) != ERROR_SUCCESS)
    return false;
  return decodeRecentEntry(bytes, size, entry);
}

// Lays the document just opened out at its kept position. False (nothing
// done) when the option is off, nothing usable is kept, or the file changed.
bool resumeReadingPosition() {
  const DocumentState& d = documentState;
  RecentEntry entry;
  if (!d.fullPath[0] || d.pageCount <= 0 || !resumeIsOn() || !readRecentEntry(d.fullPath, &entry)) return false;
  if (!entryFitsDocument(&entry, d.fileSize, d.fileWriteTime, d.pageCount)) return false;
  layoutPagesAtPosition(entry.page, entry.fraction);
  return true;
}

// One of our entries, other than the one of `path`: a name that can be a path
// and a value of an entry's type and length whose content decodes.
static bool readEnumeratedEntry(HKEY key, const wchar_t* name, DWORD nameUnits, DWORD type, DWORD size,
                                RecentEntry* entry) {
  if (type != REG_BINARY || size != RECENT_ENTRY_BYTES || nameUnits == 0 || nameUnits >= MAX_PATH_UNITS) return false;
  unsigned char bytes[RECENT_ENTRY_BYTES];
  DWORD read = sizeof bytes;
  if (RegQueryValueExW(key, name, NULL, &type, bytes, &read) != ERROR_SUCCESS || type != REG_BINARY) return false;
  return decodeRecentEntry(bytes, read, entry);
}

static DWORD countValues(HKEY key) {
  DWORD count = 0;
  if (RegQueryInfoKeyW(key, NULL, NULL, NULL, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
    return 0;
  return count;
}

// Deletes what is not an entry, then the oldest entries until one more fits
// in the list; returns the sequence number the next entry takes. Values are
// visited from the last index down, so that a deletion never moves one not
// visited yet. One write visits the last RECENT_VALUES_PER_WRITE values only:
// a key someone else filled costs each close a bounded time and empties over
// the next writes, while an honest list is always seen whole. Until then the
// newest entry may be out of sight, and the next one taken for older than it
// is: it can lose its place in the list, never the list its shape.
static uint64_t pruneRecentEntries(HKEY key, const wchar_t* path) {
  DWORD count = countValues(key);
  DWORD lowest = count > RECENT_VALUES_PER_WRITE ? count - RECENT_VALUES_PER_WRITE : 0;   // the first index visited
  wchar_t* name = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, REGISTRY_NAME_UNITS * sizeof(wchar_t));
  uint64_t* sequences = (uint64_t*)HeapAlloc(GetProcessHeap(), 0, (count - lowest + 1) * sizeof(uint64_t));
  uint64_t newest = 0;
  size_t kept = 0;
  if (name && sequences) {
    for (DWORD i = count; i-- > lowest;) {
      DWORD units = REGISTRY_NAME_UNITS, type = 0, size = 0;
      if (RegEnumValueW(key, i, name, &units, NULL, &type, NULL, &size) != ERROR_SUCCESS) continue;
      RecentEntry entry;
      if (!readEnumeratedEntry(key, name, units, type, size, &entry)) {
        RegDeleteValueW(key, name);
        continue;
      }
      if (entry.sequence > newest) newest = entry.sequence;
      if (lstrcmpW(name, path) != 0) sequences[kept++] = entry.sequence;   // the path's own is rewritten
    }
    uint64_t oldestKept = oldestKeptSequence(sequences, kept, RECENT_CAPACITY - 1);
    if (newest >= RECENT_SEQUENCE_LIMIT - 1) {   // only a foreign entry gets there: the list starts over
      oldestKept = RECENT_SEQUENCE_LIMIT;
      newest = 0;
    }
    for (DWORD i = oldestKept ? countValues(key) : 0; i-- > lowest;) {   // the values below did not move
      DWORD units = REGISTRY_NAME_UNITS, type = 0, size = 0;
      RecentEntry entry;
      if (RegEnumValueW(key, i, name, &units, NULL, &type, NULL, &size) == ERROR_SUCCESS &&
          readEnumeratedEntry(key, name, units, type, size, &entry) && entry.sequence < oldestKept)
        RegDeleteValueW(key, name);
    }
  }
  if (sequences) HeapFree(GetProcessHeap(), 0, sequences);
  if (name) HeapFree(GetProcessHeap(), 0, name);
  return newest + 1;
}

// Keeps the position in the open document, when the option is on. A failed
// registry call only means the position is not kept.
void rememberReadingPosition() {
  const DocumentState& d = documentState;
  if (!documentIsOpen() || d.pageCount <= 0 || !d.fullPath[0] || !resumeIsOn()) return;
  RecentEntry entry;
  entry.fileSize = d.fileSize;
  entry.writeTime = d.fileWriteTime;
  currentReadingPosition(&entry.page, &entry.fraction);
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, RECENT_KEY, 0, NULL, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, NULL, &key, NULL) !=
      ERROR_SUCCESS)
    return;
  entry.sequence = pruneRecentEntries(key, d.fullPath);
  unsigned char bytes[RECENT_ENTRY_BYTES];
  encodeRecentEntry(&entry, bytes);
  RegSetValueExW(key, d.fullPath, 0, REG_BINARY, bytes, sizeof bytes);
  RegCloseKey(key);
}
