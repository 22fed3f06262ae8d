// A scripted stand-in for unrar.dll: the tests describe an archive header by
// header (names, sizes, flags, data, failures, callback messages) and read back
// what the reader asked of the library, as a log of calls and a few counters.
// Shared by the fake library (tests/support/fakeunrar.cpp) and the tests.
#ifndef BRISA_TEST_FAKEUNRAR_H
#define BRISA_TEST_FAKEUNRAR_H

#include <stdint.h>
#include "comics/rar/unrar.h"

// A callback message the fake sends while testing an entry, before its data.
enum FakeEvent {
  FakeNoEvent = 0,
  FakeAsksPassword,        // UCM_NEEDPASSWORDW; answered -1: ERAR_MISSING_PASSWORD
  FakeAsksPasswordAnsi,    // UCM_NEEDPASSWORD
  FakeVolumeMissing,       // UCM_CHANGEVOLUMEW with RAR_VOL_ASK; answered -1: ERAR_EOPEN
  FakeVolumeMissingAnsi,   // UCM_CHANGEVOLUME with RAR_VOL_ASK
  FakeVolumeFound,         // UCM_CHANGEVOLUMEW with RAR_VOL_NOTIFY; answered -1: ERAR_EOPEN
  FakeUnknownMessage,      // message 9; answered -1: ERAR_UNKNOWN
};

struct FakeHeader {
  const WCHAR* name;
  unsigned flags;        // RHDF_*
  uint64_t size;         // announced unpacked size (UnpSize, UnpSizeHigh)
  const uint8_t* data;   // what test mode delivers through UCM_PROCESSDATA
  uint64_t dataLength;
  int headerResult;   // nonzero: reading this header fails with it
  int testResult;     // nonzero: test mode fails with it after the data
  FakeEvent event;
};

struct FakeScript {
  unsigned openResult;        // nonzero: the open fails with it
  int handleDespiteFailure;   // with openResult: a handle is returned all the same
  int opensAllowed;           // 0: any number; else later opens fail with ERAR_EOPEN
  unsigned archiveFlags;      // ROADF_*
  uint64_t chunk;             // bytes per UCM_PROCESSDATA; 0: 65,536
  int slow;                   // each call sleeps a little, to widen races
  const FakeHeader* headers;
  int headerCount;
};

// Calls are logged one letter each: O open, X failed open, B callback set,
// H header read, E header read failed or end, S skip, T test, C close.
static const int fakeLogSize = 8192;

struct FakeCounters {
  char log[fakeLogSize];
  int logLength;
  int opens, closes, tests, skips;
  uint64_t bytesDelivered;
  int protocolErrors;     // calls out of order, bad records, other operations
  int overlaps;           // calls made while another call was running
  int lastAnswer;         // the callback's answer to the last FakeEvent
  int answers;            // FakeEvents answered
  WCHAR lastPath[1024];   // ArcNameW of the last open
};

typedef void(CDECL* FakeScriptProc)(const FakeScript* script);
typedef FakeCounters*(CDECL* FakeCountersProc)();

#endif
