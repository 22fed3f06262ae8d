// The Linux build's unrar.dll: the UnRAR library's published entry points,
// records and callback, over the portable core. Windows paths in, the core's
// Unix paths out; names go back with '\' separators, as the library gives them.
#include "comics/rar/unrar.h"
#include "comics/unrar/rarcore.h"

#include <string.h>

static_assert(sizeof(WCHAR) == sizeof(char16_t), "names are copied unit for unit");
static_assert(ERAR_END_ARCHIVE == RAR_CORE_END_ARCHIVE && ERAR_BAD_DATA == RAR_CORE_BAD_DATA &&
                  ERAR_MISSING_PASSWORD == RAR_CORE_MISSING_PASSWORD && ERAR_ECREATE == RAR_CORE_CREATE_FAILED &&
                  ERAR_UNKNOWN == RAR_CORE_UNKNOWN && ERAR_BAD_PASSWORD == RAR_CORE_BAD_PASSWORD,
              "the core's results are the library's");
static_assert(RAR_SKIP == RAR_CORE_SKIP && RAR_TEST == RAR_CORE_TEST, "operations pass through");
static_assert(ROADF_SOLID == RAR_CORE_ARCHIVE_SOLID && ROADF_VOLUME == RAR_CORE_ARCHIVE_VOLUME &&
                  ROADF_ENCHEADERS == RAR_CORE_ARCHIVE_ENCRYPTED_HEADERS,
              "archive flags pass through");
static_assert(RHDF_DIRECTORY == RAR_CORE_ENTRY_DIRECTORY && RHDF_ENCRYPTED == RAR_CORE_ENTRY_ENCRYPTED &&
                  RHDF_SOLID == RAR_CORE_ENTRY_SOLID,
              "entry flags pass through");
static_assert(UCM_PROCESSDATA == RAR_CORE_MESSAGE_DATA && UCM_CHANGEVOLUMEW == RAR_CORE_MESSAGE_VOLUME &&
                  UCM_NEEDPASSWORDW == RAR_CORE_MESSAGE_PASSWORD,
              "callback messages pass through");

// One open archive: the core, and the caller's callback with its user data.
struct UnrarHandle {
  RarCore* core;
  UNRARCALLBACK callback;
  LPARAM userData;
  WCHAR volumeName[1024];    // the Windows path offered with UCM_CHANGEVOLUMEW
  WCHAR password[128];       // offered with UCM_NEEDPASSWORDW; never used
  WCHAR archiveName[1024];   // as given to the open, returned in every header
};

// After RAR_VOL_ASK the caller may have put another path in the buffer.
static void takeAnswer(UnrarHandle* handle, char* unixPath) {
  char* answer = wine_get_unix_file_name(handle->volumeName);
  if (!answer) return;
  if (strlen(answer) < RAR_PATH_CAPACITY) strcpy(unixPath, answer);
  HeapFree(GetProcessHeap(), 0, answer);
}

// The core's volume paths are Unix paths; the caller sees Windows ones.
static void windowsPathOf(const char* unixPath, WCHAR* out, size_t capacity) {
  WCHAR* dos = wine_get_dos_file_name(unixPath);
  out[0] = 0;
  if (dos) {
    lstrcpynW(out, dos, (int)capacity);
    HeapFree(GetProcessHeap(), 0, dos);
  } else {
    rarUtf8ToUtf16(unixPath, (char16_t*)out, capacity);
  }
}

static int relayMessage(void* context, int message, const void* p1, uint64_t p2) {
  UnrarHandle* handle = (UnrarHandle*)context;
  if (!handle->callback) return message == RAR_CORE_MESSAGE_VOLUME && p2 == RAR_CORE_VOLUME_FOUND ? 1 : -1;
  if (message == RAR_CORE_MESSAGE_VOLUME) {
    windowsPathOf((const char*)p1, handle->volumeName, 1024);
    int answer = handle->callback(UCM_CHANGEVOLUMEW, handle->userData, (LPARAM)handle->volumeName, (LPARAM)p2);
    if (answer != -1 && p2 == RAR_CORE_VOLUME_MISSING) takeAnswer(handle, (char*)p1);
    return answer;
  }
  if (message == RAR_CORE_MESSAGE_PASSWORD) {
    handle->password[0] = 0;
    return handle->callback(UCM_NEEDPASSWORDW, handle->userData, (LPARAM)handle->password,
                            (LPARAM)(sizeof handle->password / sizeof(WCHAR)));
  }
  return handle->callback(UCM_PROCESSDATA, handle->userData, (LPARAM)p1, (LPARAM)p2);
}

extern "C" HANDLE PASCAL RAROpenArchiveEx(RAROpenArchiveDataEx* data) {
  data->OpenResult = ERAR_EOPEN;
  data->Flags = 0;
  if (!data->ArcNameW) return NULL;   // only wide names: Brisa gives no other
  char* unixPath = wine_get_unix_file_name(data->ArcNameW);
  if (!unixPath) return NULL;
  UnrarHandle* handle = (UnrarHandle*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(UnrarHandle));
  if (!handle) {
    HeapFree(GetProcessHeap(), 0, unixPath);
    data->OpenResult = ERAR_NO_MEMORY;
    return NULL;
  }
  handle->callback = data->Callback;
  handle->userData = data->UserData;
  lstrcpynW(handle->archiveName, data->ArcNameW, 1024);
  int result = RAR_CORE_OK;
  uint32_t flags = 0;
  handle->core = rarCoreOpen(unixPath, relayMessage, handle, &result, &flags);
  HeapFree(GetProcessHeap(), 0, unixPath);
  data->OpenResult = (unsigned)result;
  data->Flags = flags;
  data->CmtSize = 0;
  data->CmtState = 0;
  if (!handle->core) {
    HeapFree(GetProcessHeap(), 0, handle);
    return NULL;
  }
  return handle;
}

static void copyName(const char16_t* name, RARHeaderDataEx* header) {
  size_t i = 0;
  for (; name[i] && i + 1 < sizeof header->FileNameW / sizeof(WCHAR); i++) {
    WCHAR c = name[i] == u'/' ? L'\\' : (WCHAR)name[i];
    header->FileNameW[i] = c;
    header->FileName[i] = c < 0x80 ? (char)c : '?';   // the narrow name is for ASCII callers only
  }
  header->FileNameW[i] = 0;
  header->FileName[i] = 0;
}

extern "C" int PASCAL RARReadHeaderEx(HANDLE archive, RARHeaderDataEx* header) {
  UnrarHandle* handle = (UnrarHandle*)archive;
  if (!handle || !header) return ERAR_EREFERENCE;
  RarEntryInfo info;
  int result = rarCoreReadHeader(handle->core, &info);
  if (result != RAR_CORE_OK) return result;
  copyName(info.name, header);
  lstrcpynW(header->ArcNameW, handle->archiveName, 1024);
  for (int i = 0; i < 1024; i++) {
    WCHAR c = header->ArcNameW[i];
    header->ArcName[i] = c < 0x80 ? (char)c : '?';
    if (!c) break;
  }
  header->Flags = info.flags;
  header->PackSize = (unsigned)info.packedSize;
  header->PackSizeHigh = (unsigned)(info.packedSize >> 32);
  header->UnpSize = (unsigned)info.unpackedSize;
  header->UnpSizeHigh = (unsigned)(info.unpackedSize >> 32);
  header->HostOS = 3;   // Unix: FileAttr holds the mode bits
  header->FileAttr = info.mode;
  header->FileTime = info.dosTime;
  header->Method = 0x30;
  header->UnpVer = 29;
  uint64_t fileTime = (uint64_t)(info.unixTime + 11644473600LL) * 10000000ULL;
  header->MtimeLow = (unsigned)fileTime;
  header->MtimeHigh = (unsigned)(fileTime >> 32);
  header->CmtSize = 0;
  header->CmtState = 0;
  return ERAR_SUCCESS;
}

extern "C" int PASCAL RARProcessFileW(HANDLE archive, int operation, WCHAR*, WCHAR*) {
  UnrarHandle* handle = (UnrarHandle*)archive;
  if (!handle) return ERAR_EREFERENCE;
  return rarCoreProcess(handle->core, operation);
}

extern "C" void PASCAL RARSetCallback(HANDLE archive, UNRARCALLBACK callback, LPARAM userData) {
  UnrarHandle* handle = (UnrarHandle*)archive;
  if (!handle) return;
  handle->callback = callback;
  handle->userData = userData;
}

extern "C" int PASCAL RARCloseArchive(HANDLE archive) {
  UnrarHandle* handle = (UnrarHandle*)archive;
  if (!handle) return ERAR_ECLOSE;
  rarCoreClose(handle->core);
  HeapFree(GetProcessHeap(), 0, handle);
  return ERAR_SUCCESS;
}
