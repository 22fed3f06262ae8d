// The first comic page can be asked for by the UI thread and the decode worker at
// the same moment: both must come away with a decoder. A program of its own, so
// that nothing has loaded the codec library before the threads race for it.
#include <windows.h>

#include "comics/decode.h"
#include "tests/inproc/gtest.h"

namespace {

const int racingThreads = 4;
HANDLE startTogether;
ImagingFactory factories[racingThreads];

DWORD WINAPI askForAFactory(void* slot) {
  WaitForSingleObject(startTogether, INFINITE);
  factories[(INT_PTR)slot] = createImagingFactory(WORKER_APARTMENT);
  return 0;
}

TEST(CodecLoad, ThreadsAskingAtOnceAllGetADecoder) {
  startTogether = CreateEventW(NULL, TRUE, FALSE, NULL);
  HANDLE threads[racingThreads];
  for (int i = 0; i < racingThreads; i++) {
    threads[i] = CreateThread(NULL, 0, askForAFactory, (void*)(INT_PTR)i, 0, NULL);
    ASSERT_NE(nullptr, threads[i]);
  }
  Sleep(50);   // every thread waits at the start line
  SetEvent(startTogether);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(racingThreads, threads, TRUE, 10000));
  // A 1 x 1 BMP decodes with each thread's factory.
  static const unsigned char pixel[] = {
      'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0,    54,   0, 0, 0,    40,   0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0,    1,    0,    24,
      0,   0,   0,  0, 0, 4, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0x20, 0x30, 0};
  for (int i = 0; i < racingThreads; i++) {
    EXPECT_NE(nullptr, factories[i]) << "thread " << i;
    uint8_t bgra[4] = {0, 0, 0, 0};
    EXPECT_TRUE(decodeImage(factories[i], pixel, sizeof pixel, 1, 1, bgra, NULL, NULL)) << "thread " << i;
    EXPECT_EQ(0x30, bgra[2]) << "thread " << i;
    CloseHandle(threads[i]);
  }
  CloseHandle(startTogether);
}

}   // namespace
