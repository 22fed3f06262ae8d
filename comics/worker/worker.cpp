// The decode worker: one background thread that decodes comic images ahead of
// time, one job at a time, and posts each result back to the frame. It never
// touches a window or a cache, and knows nothing of who asked: the frame hands
// each result to its owner by the job's kind.
#include "base/base.h"
#include "comics/pages.h"
#include "comics/worker/worker.h"
#include "comics/archive/memory.h"

static HANDLE requestEvent;   // auto-reset: a job is waiting
static HANDLE doneEvent;      // manual-reset: the worker is not decoding
static DecodeJob* volatile currentJob;
static HANDLE workerThread;
static volatile LONG workerHasFactory = 1;   // cleared by the worker when it could make none

static DWORD WINAPI decodeWorkerMain(void*) {
  ImagingFactory factory = createImagingFactory(WORKER_APARTMENT);
  if (!factory) InterlockedExchange(&workerHasFactory, 0);
  for (;;) {
    WaitForSingleObject(requestEvent, INFINITE);
    DecodeJob* job = currentJob;
    const ArchiveEntry* entry = &job->archive->entries[job->pageIndex];
    job->succeeded = factory && !entry->undecodable &&
                     decodeTurnedEntry(factory, entry, job->width, job->height, job->quarterTurns, job->pixels) > 0;
    SetEvent(doneEvent);
    PostMessageW(frameWindow, WM_APP_IMAGE_READY, 0, (LPARAM)job);
  }
  return 0;
}

// The events are made once and kept, so a failed thread creation leaks nothing.
static bool startWorker() {
  if (workerThread) return true;
  if (!requestEvent) requestEvent = CreateEventW(NULL, FALSE, FALSE, NULL);
  if (!doneEvent) doneEvent = CreateEventW(NULL, TRUE, TRUE, NULL);
  if (!requestEvent || !doneEvent) return false;
  workerThread = CreateThread(NULL, 0, decodeWorkerMain, NULL, 0, NULL);
  if (!workerThread) return false;
  SetThreadPriority(workerThread, THREAD_PRIORITY_BELOW_NORMAL);
  return true;
}

bool isDecodeBusy() {
  return currentJob != NULL;
}

// False once the worker found no imaging factory: it would fail every job.
bool decodeWorkerCanDecode() {
  return workerHasFactory != 0;
}

int submitDecodeJob(ComicArchive* archive, int pageIndex, int width, int height, unsigned kind, uint8_t* pixels,
                    HBITMAP bitmap) {
  if (currentJob || !startWorker()) return 0;
  DecodeJob* job = (DecodeJob*)allocZeroed(sizeof(DecodeJob));
  if (!job) return 0;
  job->archive = archive;
  job->pageIndex = pageIndex;
  job->width = width;
  job->height = height;
  job->quarterTurns = archive->quarterTurns;
  job->kind = kind;
  job->bitmap = bitmap;
  job->pixels = pixels ? pixels : (uint8_t*)allocBytes(imagePixelBytes(width, height));
  if (!job->pixels) {
    freeBytes(job);
    return 0;
  }
  ResetEvent(doneEvent);
  currentJob = job;
  SetEvent(requestEvent);
  return 1;
}

// The job whose message arrived: the worker is free again before its result is
// filed, since filing it may submit the next job.
DecodeJob* receiveDecodeJob(LPARAM message) {
  DecodeJob* job = (DecodeJob*)message;
  if (job == currentJob) currentJob = NULL;
  return job;
}

// After its owner took (or deleted) the pixels and the bitmap.
void freeDecodeJob(DecodeJob* job) {
  freeBytes(job);
}

// Waits for the worker to finish a decode of this archive and detaches the job,
// whose result is then discarded when its message arrives.
void cancelJobFor(ComicArchive* archive) {
  DecodeJob* job = currentJob;
  if (!job || job->archive != archive) return;
  WaitForSingleObject(doneEvent, INFINITE);
  job->archive = NULL;
}

// The frame is going away: a result posted to it now would be lost with it, and
// the worker would stay busy with a job nobody files. Waits for the decode and
// takes its message off the queue; the job (detached, since its archive is
// closed by now) is returned for filing, or null when none was in flight.
DecodeJob* takeDecodeJobBeforeFrameCloses() {
  if (!currentJob) return NULL;
  WaitForSingleObject(doneEvent, INFINITE);
  MSG msg;
  for (;;) {   // the worker posts just after it says it is done
    if (PeekMessageW(&msg, frameWindow, WM_APP_IMAGE_READY, WM_APP_IMAGE_READY, PM_REMOVE))
      return receiveDecodeJob(msg.lParam);
    Sleep(1);
  }
}

void closeArchive(ComicArchive* archive) {
  if (!archive) return;
  cancelJobFor(archive);
  freeArchive(archive);
}
