// The decode worker: comic images decoded on a background thread, one job at a
// time, each result posted to the frame as WM_APP_IMAGE_READY.
#ifndef BRISA_WORKER_H
#define BRISA_WORKER_H

#include <windows.h>
#include "comics/archive.h"

// Who asked, and so who files the result: the frame hands a PageJob to the
// view's look-ahead and a ThumbnailJob to the thumbnail panel.
enum { ThumbnailJob = 0, PageJob = 1 };

// One job of the worker: made by submitDecodeJob, received by the frame with
// receiveDecodeJob, filed by its owner, freed with freeDecodeJob.
struct DecodeJob {
  ComicArchive* archive;   // null once the archive was closed meanwhile
  int pageIndex;
  int width, height;
  unsigned kind;
  uint8_t* pixels;   // PageJob: owned until the cache takes it; ThumbnailJob: the bitmap's bits
  HBITMAP bitmap;    // ThumbnailJob only
  unsigned succeeded;
};

int submitDecodeJob(ComicArchive* archive, int pageIndex, int width, int height, unsigned kind, uint8_t* pixels,
                    HBITMAP bitmap);
bool isDecodeBusy();
bool decodeWorkerCanDecode();
DecodeJob* receiveDecodeJob(LPARAM message);
void freeDecodeJob(DecodeJob* job);
void cancelJobFor(ComicArchive* archive);
void closeArchive(ComicArchive* archive);
DecodeJob* takeDecodeJobBeforeFrameCloses();

#endif
