// The decode worker and the comic prefetch of the main loop's idle time.
#ifndef BRISA_WORKER_H
#define BRISA_WORKER_H

#include <windows.h>
#include "comics/archive/archive.h"

enum { ThumbnailJob = 0, PageJob = 1 };

// One job of the worker: made by submitDecodeJob, freed by onImageReady.
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
void onImageReady(DecodeJob* job);
void cancelJobFor(ComicArchive* archive);
void closeArchive(ComicArchive* archive);
void fileDecodeResultBeforeFrameCloses();
int prefetchStep();

#endif
