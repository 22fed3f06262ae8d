// The loaded PDFium pages, shared by painting, links, search and printing.
// Strict round robin over load order: neither a hit nor visibility protects a
// page, which keeps the rule trivial and the slot count the only bound.
#include "viewer/viewer.h"

// The page at index, loaded on a miss into the next slot in turn. Null when
// PDFium cannot load it; that slot stays empty and the page is tried again on
// the next request. Callers must not close the page.
FPDF_PAGE getCachedPage(int index) {
  PageCache& cache = documentState.pageCache;
  for (int i = 0; i < PAGE_CACHE_SLOTS; i++)
    if (cache.slots[i].page && cache.slots[i].pageIndex == index) return cache.slots[i].page;
  if (!documentState.pdfDocument) return 0;
  CacheSlot& slot = cache.slots[cache.nextSlot % PAGE_CACHE_SLOTS];
  cache.nextSlot++;
  if (slot.page) FPDF_ClosePage(slot.page);
  slot.pageIndex = index;
  slot.page = FPDF_LoadPage(documentState.pdfDocument, index);
  slot.nightKind = NIGHT_UNKNOWN;
  return slot.page;
}

// Closes every cached page; they belong to the document and go before it.
void closeCachedPages() {
  PageCache& cache = documentState.pageCache;
  for (int i = 0; i < PAGE_CACHE_SLOTS; i++) {
    if (cache.slots[i].page) FPDF_ClosePage(cache.slots[i].page);
    cache.slots[i].page = 0;
  }
}
