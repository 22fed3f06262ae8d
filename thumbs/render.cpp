// Filling the panel with miniatures, one bounded slice of idle time at a time.
// A PDF page is rendered progressively by PDFium, which asks between slices
// whether any message waits and then gives way; comic pages go to the decode
// worker. Pages in sight come first, then their neighbours; the cache holds
// at most MAX_THUMBNAIL_BITMAPS bitmaps, the farthest from the view going first.
#include "base/base.h"
#include "thumbs/thumbs.h"
#include "comics/worker/worker.h"
#include "viewer/night.h"
#include "viewer/viewer.h"

#include <string.h>

ThumbnailRender thumbnailRender = {-1, 0, 0, NULL, NULL};

static const FPDF_DWORD OPAQUE_WHITE = 0xFFFFFFFF;

// Every kind of message QS_ALLINPUT covers, raw input, touch and pointer
// input included. Systems older than Windows 8 refuse the touch and pointer
// bits as invalid flags (they cannot queue those messages either): there the
// same question is asked without them.
static const UINT ALL_INPUT_KINDS = 0x1CFF;
static const UINT CLASSIC_INPUT_KINDS = 0x04FF;
static_assert((ALL_INPUT_KINDS & ~CLASSIC_INPUT_KINDS) == 0x1800, "only touch and pointer input differ");

// True as soon as anything waits in this thread's queue: PDFium then returns
// from the render and the loop handles the message first. The queue is only
// looked at, nothing is taken off it.
static FPDF_BOOL needToPauseNow(IFSDK_PAUSE*) {
  static UINT kinds = ALL_INPUT_KINDS;
  SetLastError(0);
  DWORD status = GetQueueStatus(kinds);
  if (status == 0 && kinds == ALL_INPUT_KINDS && GetLastError() == ERROR_INVALID_FLAGS) {
    kinds = CLASSIC_INPUT_KINDS;
    status = GetQueueStatus(kinds);
  }
  return HIWORD(status) != 0;
}

static IFSDK_PAUSE renderPause = {1, needToPauseNow, NULL};

// Comic miniatures are decoded by the comic decode worker, one job at a time.
static bool decodeWorkerBusy() {
  return isDecodeBusy();
}

static bool submitComicThumbnailJob(ComicArchive* archive, int page, int width, int height, void* pixels,
                                    HBITMAP section) {
  return submitDecodeJob(archive, page, width, height, THUMBNAIL_JOB, (uint8_t*)pixels, section) != 0;
}

// A 32-bit top-down device-independent section of exactly width x height,
// rows of width x 4 bytes; its pixels through *bits.
static HBITMAP createThumbnailSection(int width, int height, void** bits) {
  BITMAPINFO info = topDownBitmapInfo(width, height);
  *bits = NULL;
  HBITMAP section = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, bits, NULL, 0);
  if (section && !*bits) {
    DeleteObject(section);
    return NULL;
  }
  return section;
}

// PDFium's bitmap without alpha has the section's byte order (blue, green,
// red, unused), so rows are copied as they are; only the strides differ.
// Returns the new section, or null when it cannot be made.
HBITMAP copyPdfiumBitmap(FPDF_BITMAP bitmap, int width, int height) {
  const unsigned char* source = (const unsigned char*)FPDFBitmap_GetBuffer(bitmap);
  int stride = FPDFBitmap_GetStride(bitmap);
  size_t rowBytes = (size_t)width * 4;
  if (!source || width < 1 || height < 1 || stride < 0 || (size_t)stride < rowBytes) return NULL;
  void* bits;
  HBITMAP section = createThumbnailSection(width, height, &bits);
  if (!section) return NULL;
  unsigned char* target = (unsigned char*)bits;
  for (int row = 0; row < height; row++)
    memcpy(target + (size_t)row * rowBytes, source + (size_t)row * (size_t)stride, rowBytes);
  return section;
}

static bool pageInSight(int page) {
  int first, last;
  visibleThumbnails(&first, &last);
  return page >= first && page <= last;
}

// Releases PDFium's state of the render in flight: the render, its page, its bitmap.
static void closeThumbnailRender() {
  ThumbnailRender& r = thumbnailRender;
  if (r.pageIndex < 0) return;
  FPDF_RenderPage_Close(r.page);
  FPDF_ClosePage(r.page);
  FPDFBitmap_Destroy(r.bitmap);
  r.pageIndex = -1;
  r.page = NULL;
  r.bitmap = NULL;
}

// Loads the next page to render and starts it; the status of the first slice,
// or -1 when nothing could start (the page is then marked Failed). Sets
// *page to -1 when nothing is left to render.
static int startThumbnailRender(int* page) {
  ThumbnailPanel& p = thumbnailPanel;
  int i = nextThumbnailToRender();
  *page = i;
  if (i < 0) return -1;
  FPDF_PAGE pdfPage = FPDF_LoadPage(p.panelDocument, i);
  if (!pdfPage) {
    p.thumbnailSlots[i].state = ThumbnailState::Failed;
    return -1;
  }
  int w, h;
  thumbnailSize(i, &w, &h);
  FPDF_BITMAP bitmap = FPDFBitmap_Create(w, h, 0);
  if (!bitmap) {
    FPDF_ClosePage(pdfPage);
    p.thumbnailSlots[i].state = ThumbnailState::Failed;
    return -1;
  }
  FPDFBitmap_FillRect(bitmap, 0, 0, w, h, OPAQUE_WHITE);
  thumbnailRender = ThumbnailRender{i, w, h, pdfPage, bitmap};
  return FPDF_RenderPageBitmap_Start(bitmap, pdfPage, 0, 0, w, h, 0, FPDF_ANNOT, &renderPause);
}

// Files the finished (or failed) render in its slot and releases PDFium's state.
static void finishThumbnailRender(int status) {
  ThumbnailPanel& p = thumbnailPanel;
  ThumbnailRender& r = thumbnailRender;
  ThumbnailSlot& slot = p.thumbnailSlots[r.pageIndex];
  unsigned char* pixels = (unsigned char*)FPDFBitmap_GetBuffer(r.bitmap);
  if (viewState.nightMode && status == FPDF_RENDER_DONE && pixels && FPDFBitmap_GetStride(r.bitmap) == r.width * 4)
    turnToNight(pixels, r.width, r.height, 0, 0, r.width, r.height);
  HBITMAP picture = status == FPDF_RENDER_DONE ? copyPdfiumBitmap(r.bitmap, r.width, r.height) : NULL;
  if (picture) {
    slot.bitmap = picture;
    slot.state = ThumbnailState::Ready;
    p.thumbnailBitmapCount++;
  } else {
    slot.state = ThumbnailState::Failed;
  }
  if (pageInSight(r.pageIndex)) invalidateThumbnails();
  closeThumbnailRender();
  evictThumbnails();
}

// One idle slice. Non-zero asks the loop to call again before it blocks:
// after every PDF slice and every failure. Zero lets it sleep: nothing to do,
// the panel hidden or inactive, or a comic job handed to the worker.
// A render in flight runs to its end even if its page leaves the view; while
// the panel is hidden it waits, neither continued nor released.
int renderNextThumbnail() {
  const ThumbnailPanel& p = thumbnailPanel;
  if (!p.panelActive || !p.panelShown) return 0;
  if (p.panelArchive) return requestComicThumbnail();
  int status;
  if (thumbnailRender.pageIndex < 0) {
    int page;
    status = startThumbnailRender(&page);
    if (page < 0) return 0;
    if (status < 0) return 1;   // that page failed; the next one at once
  } else {
    status = FPDF_RenderPage_Continue(thumbnailRender.page, &renderPause);
  }
  if (status == FPDF_RENDER_TOBECONTINUED) return 1;
  finishThumbnailRender(status);
  return 1;
}

// Drops bitmaps while the cache holds more than its cap; see evictOneThumbnail.
void evictThumbnails() {
  while (void* bitmap = evictOneThumbnail()) DeleteObject((HBITMAP)bitmap);
}

// Hands the next comic page to the decode worker, only while it is idle: the
// page view's prefetch, which runs first in every idle pass, has priority.
// Returns 0 once a job is submitted or refused (the worker's completion
// message wakes the loop), 1 after a failure so that the next page is tried.
int requestComicThumbnail() {
  ThumbnailPanel& p = thumbnailPanel;
  if (decodeWorkerBusy()) return 0;
  int i = nextThumbnailToRender();
  if (i < 0) return 0;
  int w, h;
  thumbnailSize(i, &w, &h);
  void* bits;
  HBITMAP section = createThumbnailSection(w, h, &bits);
  if (!section) {
    p.thumbnailSlots[i].state = ThumbnailState::Failed;
    return 1;
  }
  if (submitComicThumbnailJob(p.panelArchive, i, w, h, bits, section))
    p.thumbnailSlots[i].state = ThumbnailState::Pending;
  else
    DeleteObject(section);   // stays Empty: tried again at a later idle moment
  return 0;
}

// The worker's answer for a comic miniature. A result for a page no longer
// waiting (the document was closed or replaced) is deleted and changes nothing.
void comicThumbnailDecoded(int page, HBITMAP bitmap, bool success) {
  ThumbnailPanel& p = thumbnailPanel;
  bool waiting =
      p.panelActive && page >= 0 && page < p.thumbnailCount && p.thumbnailSlots[page].state == ThumbnailState::Pending;
  if (!waiting) {
    if (bitmap) DeleteObject(bitmap);
    return;
  }
  ThumbnailSlot& slot = p.thumbnailSlots[page];
  if (success && bitmap) {
    slot.bitmap = bitmap;
    slot.state = ThumbnailState::Ready;
    p.thumbnailBitmapCount++;
  } else {
    if (bitmap) DeleteObject(bitmap);
    slot.state = ThumbnailState::Failed;
  }
  if (pageInSight(page)) invalidateThumbnails();
  evictThumbnails();
}

// The worker's answer for a THUMBNAIL_JOB: the bitmap goes to its slot, or is
// deleted when the job's archive was closed meanwhile.
void fileComicThumbnail(DecodeJob* job) {
  if (job->archive)
    comicThumbnailDecoded(job->pageIndex, job->bitmap, job->succeeded != 0);   // takes the bitmap
  else if (job->bitmap)
    DeleteObject(job->bitmap);
}

// Deletes every miniature's bitmap and sets its slot back to Empty.
static void emptyThumbnailSlots() {
  ThumbnailPanel& p = thumbnailPanel;
  for (int i = 0; i < p.thumbnailCount; i++) {
    ThumbnailSlot& slot = p.thumbnailSlots[i];
    if (slot.state == ThumbnailState::Ready) {
      DeleteObject((HBITMAP)slot.bitmap);
      p.thumbnailBitmapCount--;
    }
    slot.bitmap = NULL;
    slot.state = ThumbnailState::Empty;
  }
}

// The PDF miniatures drawn again, after a change of how pages are shown (night
// mode): every slot back to Empty, the render in flight dropped. Comic
// miniatures do not change.
void redrawPdfThumbnails() {
  ThumbnailPanel& p = thumbnailPanel;
  if (!p.panelActive || !p.panelDocument) return;
  closeThumbnailRender();
  emptyThumbnailSlots();
  invalidateThumbnails();
}

// Deletes every bitmap and frees the block of slots and tops.
static void releaseThumbnailSlots() {
  ThumbnailPanel& p = thumbnailPanel;
  if (!p.thumbnailSlots) return;
  emptyThumbnailSlots();
  HeapFree(GetProcessHeap(), 0, p.thumbnailSlots);
  p.thumbnailSlots = NULL;
  p.thumbnailTops = NULL;
}

// The slots and tops of count pages in one zero-filled block (all slots Empty).
static bool allocateThumbnailSlots(int count) {
  ThumbnailPanel& p = thumbnailPanel;
  size_t slotBytes = sizeof(ThumbnailSlot) * (size_t)count;
  void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, slotBytes + sizeof(int) * (size_t)count);
  if (!block) return false;
  p.thumbnailSlots = (ThumbnailSlot*)block;
  p.thumbnailTops = (int*)((unsigned char*)block + slotBytes);
  return true;
}
static_assert(sizeof(ThumbnailSlot) % alignof(int) == 0, "the tops follow the slots aligned");

// A new document (or none) in the panel. Called by opening before the frame
// is laid out again, and by closing before anything of the document goes, so
// that a render in flight releases its page while its document still exists.
// A comic job already at the worker is not cancelled: its answer finds no
// Pending slot and is deleted. Without memory for the slots the panel stays
// inactive, as for a document without pages.
void resetThumbnails(FPDF_DOCUMENT document, ComicArchive* archive, int pageCount, const double* pageWidths,
                     const double* pageHeights) {
  ThumbnailPanel& p = thumbnailPanel;
  closeThumbnailRender();
  releaseThumbnailSlots();
  p.panelDocument = document;
  p.panelArchive = archive;
  p.pageWidths = pageWidths;
  p.pageHeights = pageHeights;
  p.panelScrollY = 0;
  p.highlightedPage = -1;
  p.panelActive = (document || archive) && pageCount > 0 && pageWidths && pageHeights;
  p.thumbnailCount = p.panelActive ? pageCount : 0;
  p.columnHeight = 0;
  if (p.panelActive && !allocateThumbnailSlots(p.thumbnailCount)) {
    p.panelActive = false;
    p.thumbnailCount = 0;
  }
  if (p.panelActive) layoutThumbnails();
  showThumbnailWindow();
  updateThumbnailScrollBar();
  invalidateThumbnails();
}
