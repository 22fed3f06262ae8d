// The decode worker: comic images decoded on a background thread, one job at a
// time, each result posted to the frame as WM_APP_IMAGE_READY.
#ifndef BRISA_WORKER_H
#define BRISA_WORKER_H

#include <windows.h>
#include "comics/archive/archive.h"

// Who asked, and so who files the result: the frame hands a PAGE_JOB to the
// view's look-ahead and a THUMBNAIL_JOB to the thumbnail panel.
enum { THUMBNAIL_JOB = 0, PAGE_JOB = 1 };

// One job of the worker: made by submitDecodeJob, received by the frame with
// receiveDecodeJob, filed by its owner, freed with freeDecodeJob.
struct DecodeJob {
  ComicArchive* archive;   // null once the archive was closed meanwhile
  int pageIndex;
  int width, height;   // as shown
  int quarterTurns;    // the archive's turn when the job was made: the pixels come turned so
  unsigned kind;
  uint8_t* pixels;   // PAGE_JOB: owned until the cache takes it; THUMBNAIL_JOB: the bitmap's bits
  HBITMAP bitmap;    // THUMBNAIL_JOB only
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
