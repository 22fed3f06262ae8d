// The page view's look-ahead for comics: in the main loop's idle time the
// decode worker is handed the pages next to the view, so that a page turn
// finds them decoded, and its results are filed in the archive's image cache.
#include "base/base.h"
#include "viewer/viewer.h"
#include "comics/pages.h"
#include "comics/worker/worker.h"
#include "comics/archive/memory.h"

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
  shownDecodeSize(archive, index, width, height, &w, &h);
  if (entry->undecodable || entry->prefetchFailed || w <= 0 || h <= 0) return 0;
  budget->bytes += (int64_t)imagePixelBytes(w, h);
  budget->images += 1;
  if (findCachedImage(archive, index, w, h)) return 0;
  if (budget->bytes > (int64_t)IMAGE_BUDGET_BYTES || budget->images > IMAGE_CACHE_SLOTS) return 0;
  submitDecodeJob(archive, index, w, h, PAGE_JOB, NULL, NULL);
  return 1;
}

// One idle step: hands the worker the next neighbour of the view that is not
// decoded yet, forward first. Nonzero when it submitted a job or the worker is busy.
int prefetchStep() {
  ComicArchive* archive = documentState.comicArchive;
  if (!archive) return 0;
  if (isDecodeBusy()) return 1;
  if (documentState.pageCount <= 0 || !decodeWorkerCanDecode()) return 0;
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
      shownDecodeSize(archive, i, w, h, &dw, &dh);
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

// The worker's answer for a page asked for by prefetchStep: kept in the image
// cache unless the archive is gone, the pages were turned since or the page
// got there meanwhile.
void filePrefetchedPage(DecodeJob* job) {
  if (job->archive && job->succeeded && job->quarterTurns == job->archive->quarterTurns &&
      !findCachedImage(job->archive, job->pageIndex, job->width, job->height))
    storeCachedImage(job->archive, job->pageIndex, job->width, job->height, job->pixels);
  else
    freeBytes(job->pixels);
  // A page the worker cannot decode is not asked for again in the background.
  if (job->archive && !job->succeeded) job->archive->entries[job->pageIndex].prefetchFailed = 1;
}
