// The decode worker: one background thread that decodes comic images ahead of
// time, one job at a time, and posts each result back to the frame. It never
// touches a window or a cache; the UI thread files its results.
#include "app/app.h"
#include "comics/pages.h"
#include "comics/worker/worker.h"
#include "comics/archive/memory.h"
#include "viewer/viewer.h"
#include "thumbs/thumbs.h"

static HANDLE requestEvent;   // auto-reset: a job is waiting
static HANDLE doneEvent;      // manual-reset: the worker is not decoding
static DecodeJob* volatile currentJob;
static HANDLE workerThread;
static volatile LONG workerHasFactory = 1;   // cleared by the worker when it could make none

static DWORD WINAPI decodeWorkerMain(void*) {
  ImagingFactory factory = createImagingFactory(workerApartment);
  if (!factory) InterlockedExchange(&workerHasFactory, 0);
  for (;;) {
    WaitForSingleObject(requestEvent, INFINITE);
    DecodeJob* job = currentJob;
    const ArchiveEntry* entry = &job->archive->entries[job->pageIndex];
    job->succeeded =
        factory && !entry->undecodable && decodeEntry(factory, entry, job->width, job->height, job->pixels, NULL, NULL);
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

int submitDecodeJob(ComicArchive* archive, int pageIndex, int width, int height, unsigned kind, uint8_t* pixels,
                    HBITMAP bitmap) {
  if (currentJob || !startWorker()) return 0;
  DecodeJob* job = (DecodeJob*)allocZeroed(sizeof(DecodeJob));
  if (!job) return 0;
  job->archive = archive;
  job->pageIndex = pageIndex;
  job->width = width;
  job->height = height;
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

void onImageReady(DecodeJob* job) {
  if (job == currentJob) currentJob = NULL;
  if (job->kind == PageJob) {
    if (job->archive && job->succeeded && !findCachedImage(job->archive, job->pageIndex, job->width, job->height))
      storeCachedImage(job->archive, job->pageIndex, job->width, job->height, job->pixels);
    else
      freeBytes(job->pixels);
    // A page the worker cannot decode is not asked for again in the background.
    if (job->archive && !job->succeeded) job->archive->entries[job->pageIndex].prefetchFailed = 1;
  } else if (job->archive) {
    comicThumbnailDecoded(job->pageIndex, job->bitmap, job->succeeded != 0);   // takes the bitmap
  } else if (job->bitmap) {
    DeleteObject(job->bitmap);
  }
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
// files its result here (detached, since its archive is closed by now).
void fileDecodeResultBeforeFrameCloses() {
  if (!currentJob) return;
  WaitForSingleObject(doneEvent, INFINITE);
  MSG msg;
  while (currentJob) {   // the worker posts just after it says it is done
    if (PeekMessageW(&msg, frameWindow, WM_APP_IMAGE_READY, WM_APP_IMAGE_READY, PM_REMOVE))
      onImageReady((DecodeJob*)msg.lParam);
    else
      Sleep(1);
  }
}

void closeArchive(ComicArchive* archive) {
  if (!archive) return;
  cancelJobFor(archive);
  freeArchive(archive);
}

// A page's size on screen, exactly as the painting computes it.
static void pageScreenSize(int index, int* width, int* height) {
  *width = pagePixels(documentState.pageWidths[index]);
  *height = pagePixels(documentState.pageHeights[index]);
}

struct PrefetchBudget {
  int64_t bytes;   // decoded bytes the visible pages and the neighbours so far need
  int images;
};

// Submits the page unless it is cached, marked, or would push the view's own
// pages out of the cache. 1 when a job was submitted (or tried), 0 otherwise.
static int prefetchPage(ComicArchive* archive, int index, int width, int height, PrefetchBudget* budget) {
  ArchiveEntry* entry = &archive->entries[index];
  int w, h;
  pageDecodeSize(entry, width, height, &w, &h);
  if (entry->undecodable || entry->prefetchFailed || w <= 0 || h <= 0) return 0;
  budget->bytes += (int64_t)imagePixelBytes(w, h);
  budget->images += 1;
  if (findCachedImage(archive, index, w, h)) return 0;
  if (budget->bytes > (int64_t)imageBudgetBytes || budget->images > imageCacheSlots) return 0;
  submitDecodeJob(archive, index, w, h, PageJob, NULL, NULL);
  return 1;
}

// One idle step: hands the worker the next neighbour of the view that is not
// decoded yet, forward first. Nonzero when it submitted a job or the worker is busy.
int prefetchStep() {
  ComicArchive* archive = documentState.comicArchive;
  if (!archive) return 0;
  if (isDecodeBusy()) return 1;
  if (documentState.pageCount <= 0 || !workerHasFactory) return 0;
  const ViewState& v = viewState;
  int first = -1, last = -1;
  PrefetchBudget budget = {0, 0};
  for (int i = 0; i < documentState.pageCount; i++) {
    int w, h;
    pageScreenSize(i, &w, &h);
    if ((int64_t)documentState.pageTops[i] + h > v.scrollY &&
        documentState.pageTops[i] < (int64_t)v.scrollY + v.viewHeight) {
      if (first < 0) first = i;
      last = i;
      int dw, dh;
      pageDecodeSize(&archive->entries[i], w, h, &dw, &dh);
      budget.bytes += (int64_t)imagePixelBytes(dw, dh);
      budget.images += 1;
    }
  }
  if (first < 0) return 0;
  int distance = v.doublePage ? 2 : 1;
  for (int i = last + 1; i <= last + distance && i < documentState.pageCount; i++) {
    int w, h;
    pageScreenSize(i, &w, &h);
    if (prefetchPage(archive, i, w, h, &budget)) return 1;
  }
  for (int j = first - 1; j >= first - distance && j >= 0; j--) {
    int w, h;
    pageScreenSize(j, &w, &h);
    if (prefetchPage(archive, j, w, h, &budget)) return 1;
  }
  return 0;
}
