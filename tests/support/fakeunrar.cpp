// The scripted unrar.dll of the RAR reader's tests. It behaves as the published
// interface says (test mode delivers data in order through UCM_PROCESSDATA, a -1
// answer aborts the entry with a nonzero result, the header read is nonzero at
// the end) and is strict where the real library is vague: after an aborted or
// failed entry its position is undefined, so every later header read fails until
// the archive is reopened.
#include "tests/support/fakeunrar.h"

#include <string.h>

namespace {

const unsigned handleMagic = 0x52415246;

struct FakeHandle {
  unsigned magic;
  int position;   // next header to read
  bool pending;   // a header was read and not yet processed
  bool lost;      // an entry was aborted or failed: position undefined
  UNRARCALLBACK callback;
  LPARAM userData;
};

const FakeScript* script;
FakeCounters counters;
volatile LONG callsRunning;

void logCall(char letter) {
  if (counters.logLength < fakeLogSize - 1) counters.log[counters.logLength++] = letter;
  counters.log[counters.logLength] = 0;
}

// Counts calls that overlap another (the reader must serialise them) and, for a
// slow script, leaves time for another thread to try.
struct CallGuard {
  CallGuard() {
    if (InterlockedIncrement(&callsRunning) > 1) counters.overlaps++;
    if (script && script->slow) Sleep(2);
  }
  ~CallGuard() {
    InterlockedDecrement(&callsRunning);
  }
};

FakeHandle* checkedHandle(HANDLE handle) {
  FakeHandle* fake = (FakeHandle*)handle;
  if (fake == nullptr || fake->magic != handleMagic) {
    counters.protocolErrors++;
    return nullptr;
  }
  return fake;
}

// Sends the entry's callback message; the result of the entry when the answer
// stops it, else 0.
int sendEvent(FakeHandle* fake, FakeEvent event) {
  static const WCHAR nextVolumeW[] = L"comic.part2.rar";
  static const char nextVolume[] = "comic.part2.rar";
  UINT message = 0;
  LPARAM p1 = 0, p2 = 0;
  int failure = ERAR_UNKNOWN;
  switch (event) {
    case FakeNoEvent:
      return 0;
    case FakeAsksPassword:
      message = UCM_NEEDPASSWORDW;
      failure = ERAR_MISSING_PASSWORD;
      break;
    case FakeAsksPasswordAnsi:
      message = UCM_NEEDPASSWORD;
      failure = ERAR_MISSING_PASSWORD;
      break;
    case FakeVolumeMissing:
      message = UCM_CHANGEVOLUMEW;
      p1 = (LPARAM)nextVolumeW;
      p2 = RAR_VOL_ASK;
      failure = ERAR_EOPEN;
      break;
    case FakeVolumeMissingAnsi:
      message = UCM_CHANGEVOLUME;
      p1 = (LPARAM)nextVolume;
      p2 = RAR_VOL_ASK;
      failure = ERAR_EOPEN;
      break;
    case FakeVolumeFound:
      message = UCM_CHANGEVOLUMEW;
      p1 = (LPARAM)nextVolumeW;
      p2 = RAR_VOL_NOTIFY;
      failure = ERAR_EOPEN;
      break;
    case FakeUnknownMessage:
      message = 9;
      break;
  }
  static WCHAR passwordBuffer[128];
  if (message == UCM_NEEDPASSWORDW || message == UCM_NEEDPASSWORD) {
    p1 = (LPARAM)passwordBuffer;
    p2 = 128;
  }
  int answer = fake->callback(message, fake->userData, p1, p2);
  counters.lastAnswer = answer;
  counters.answers++;
  return answer == -1 ? failure : 0;
}

// Test mode: the event, then the data in chunks, then the scripted result.
int testEntry(FakeHandle* fake, const FakeHeader* header) {
  if (fake->callback == nullptr) {
    counters.protocolErrors++;
    return ERAR_UNKNOWN;
  }
  int stopped = sendEvent(fake, header->event);
  if (stopped) return stopped;
  uint64_t chunk = script->chunk ? script->chunk : 65536;
  for (uint64_t at = 0; at < header->dataLength; at += chunk) {
    uint64_t length = header->dataLength - at < chunk ? header->dataLength - at : chunk;
    counters.bytesDelivered += length;
    if (fake->callback(UCM_PROCESSDATA, fake->userData, (LPARAM)(header->data + at), (LPARAM)length) == -1)
      return ERAR_UNKNOWN;
  }
  return header->testResult;
}

}   // namespace

extern "C" {

HANDLE PASCAL RAROpenArchiveEx(RAROpenArchiveDataEx* data) {
  CallGuard guard;
  if (data->OpenMode != RAR_OM_EXTRACT || data->ArcName != nullptr || data->ArcNameW == nullptr ||
      data->CmtBuf != nullptr || data->CmtBufW != nullptr)
    counters.protocolErrors++;
  if (data->ArcNameW) lstrcpynW(counters.lastPath, data->ArcNameW, 1024);
  unsigned failure = script ? script->openResult : ERAR_EOPEN;
  if (script && script->opensAllowed && counters.opens >= script->opensAllowed) failure = ERAR_EOPEN;
  data->OpenResult = failure;
  data->Flags = script ? script->archiveFlags : 0;
  if (failure && !(script && script->handleDespiteFailure && failure == script->openResult)) {
    logCall('X');
    return nullptr;
  }
  logCall('O');
  counters.opens++;
  FakeHandle* fake = (FakeHandle*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FakeHandle));
  fake->magic = handleMagic;
  fake->callback = data->Callback;
  fake->userData = data->UserData;
  return fake;
}

int PASCAL RARReadHeaderEx(HANDLE handle, RARHeaderDataEx* header) {
  CallGuard guard;
  FakeHandle* fake = checkedHandle(handle);
  if (!fake) return ERAR_BAD_ARCHIVE;
  if (fake->pending) counters.protocolErrors++;   // the previous header was never processed
  fake->pending = false;
  if (fake->lost || fake->position >= script->headerCount) {
    logCall('E');
    return fake->lost ? ERAR_BAD_DATA : ERAR_END_ARCHIVE;
  }
  const FakeHeader* next = &script->headers[fake->position];
  if (next->headerResult) {
    logCall('E');
    return next->headerResult;
  }
  logCall('H');
  memset(header, 0x5A, sizeof(*header));   // what the reader must not rely on
  lstrcpynW(header->FileNameW, next->name, 1024);
  header->Flags = next->flags;
  header->UnpSize = (unsigned)(next->size & 0xFFFFFFFF);
  header->UnpSizeHigh = (unsigned)(next->size >> 32);
  fake->pending = true;
  return ERAR_SUCCESS;
}

int PASCAL RARProcessFileW(HANDLE handle, int operation, WCHAR* destPath, WCHAR* destName) {
  CallGuard guard;
  FakeHandle* fake = checkedHandle(handle);
  if (!fake) return ERAR_BAD_ARCHIVE;
  if (!fake->pending || destPath || destName || (operation != RAR_SKIP && operation != RAR_TEST)) {
    counters.protocolErrors++;
    return ERAR_BAD_DATA;
  }
  const FakeHeader* header = &script->headers[fake->position];
  fake->pending = false;
  fake->position++;
  if (operation == RAR_SKIP) {
    logCall('S');
    counters.skips++;
    return ERAR_SUCCESS;
  }
  logCall('T');
  counters.tests++;
  int result = testEntry(fake, header);
  if (result) fake->lost = true;
  return result;
}

int PASCAL RARCloseArchive(HANDLE handle) {
  CallGuard guard;
  FakeHandle* fake = checkedHandle(handle);
  if (!fake) return ERAR_ECLOSE;
  logCall('C');
  counters.closes++;
  fake->magic = 0;
  HeapFree(GetProcessHeap(), 0, fake);
  return ERAR_SUCCESS;
}

void PASCAL RARSetCallback(HANDLE handle, UNRARCALLBACK callback, LPARAM userData) {
  CallGuard guard;
  FakeHandle* fake = checkedHandle(handle);
  if (!fake) return;
  logCall('B');
  fake->callback = callback;
  fake->userData = userData;
}

// A new script; the log and the counters start again.
void CDECL fakeUnrarScript(const FakeScript* newScript) {
  script = newScript;
  memset(&counters, 0, sizeof(counters));
}

FakeCounters* CDECL fakeUnrarCounters() {
  return &counters;
}

}   // extern "C"
