// Walking the pages of the PDF for the next or previous occurrence of a text,
// with wrap-around, and where to scroll so the match shows.
#include "search/search.h"
#include "viewer/viewer.h"

#include <limits.h>

SearchState searchState = {{0}, -1, 0, {}, 0};

void clearSearchMatch() {
  searchState.matchPage = -1;
  searchState.matchRectCount = 0;
}

static bool sameText(const Utf16* a, const Utf16* b) {
  while (*a && *a == *b) a++, b++;
  return *a == *b;
}

static void copyText(Utf16* to, const Utf16* from) {
  int i = 0;
  for (; i < SEARCH_TEXT_UNITS - 1 && from[i]; i++) to[i] = from[i];
  to[i] = 0;
}

// The first occurrence after the threshold (forward) or the last one before it
// (backward) on one page; the match is stored when there is one.
static bool findOnPage(int page, int direction, int threshold) {
  FPDF_PAGE pdfPage = getCachedPage(page);
  FPDF_TEXTPAGE text = pdfPage ? FPDFText_LoadPage(pdfPage) : NULL;
  if (!text) return false;
  FPDF_SCHHANDLE search = FPDFText_FindStart(text, (FPDF_WIDESTRING)searchState.searchText, 0, 0);
  int best = -1, bestCount = 0;
  while (search && FPDFText_FindNext(search)) {
    int index = FPDFText_GetSchResultIndex(search);
    if (direction > 0) {
      if (index > threshold) {
        best = index;
        bestCount = FPDFText_GetSchCount(search);
        break;
      }
    } else {
      if (index >= threshold) break;
      best = index;
      bestCount = FPDFText_GetSchCount(search);
    }
  }
  if (best >= 0) {
    searchState.matchPage = page;
    searchState.matchIndex = best;
    int rects = FPDFText_CountRects(text, best, bestCount);
    searchState.matchRectCount = rects < MAX_MATCH_RECTS ? (rects > 0 ? rects : 0) : MAX_MATCH_RECTS;
    for (int i = 0; i < searchState.matchRectCount; i++) {
      MatchRect& r = searchState.matchRects[i];
      FPDFText_GetRect(text, i, &r.left, &r.top, &r.right, &r.bottom);
    }
  }
  if (search) FPDFText_FindClose(search);
  FPDFText_ClosePage(text);
  return best >= 0;
}

// Finds the next (+1) or previous (-1) occurrence from the current match, or
// from the current page for a new text. At most pageCount + 1 pages are
// examined: the start page comes round once more, from its beginning, so a
// search wraps inside it too. False (and no match) when nothing is found.
bool findMatch(const Utf16* text, int direction) {
  const int fresh = direction > 0 ? -1 : INT_MAX;
  if (!sameText(text, searchState.searchText)) {
    copyText(searchState.searchText, text);
    searchState.matchPage = -1;
  }
  int pageCount = documentState.pageCount;
  int page, threshold;
  if (searchState.matchPage >= 0) {
    page = searchState.matchPage;
    threshold = searchState.matchIndex;
  } else {
    page = viewState.currentPage > 0 ? viewState.currentPage : 0;
    threshold = fresh;
  }
  for (int examined = 0; pageCount > 0 && examined < pageCount + 1; examined++) {
    if (findOnPage(page, direction, threshold)) return true;
    page = (page + pageCount + direction) % pageCount;
    threshold = fresh;
  }
  clearSearchMatch();
  return false;
}

// Where to scroll so the match shows: a third down the view when it lies near
// an edge or outside, centred horizontally when outside; unchanged otherwise.
void matchScrollTarget(int* scrollX, int* scrollY) {
  const DocumentState& d = documentState;
  const ViewState& v = viewState;
  int page = searchState.matchPage;
  *scrollX = v.scrollX;
  *scrollY = v.scrollY;
  if (page < 0 || page >= d.pageCount) return;
  int w = pagePixels(d.pageWidths[page]), h = pagePixels(d.pageHeights[page]);
  int dx = 0, dy = 0;
  FPDF_PAGE pdfPage = getCachedPage(page);
  if (pdfPage && searchState.matchRectCount > 0)
    FPDF_PageToDevice(pdfPage, 0, 0, w, h, 0, searchState.matchRects[0].left, searchState.matchRects[0].top, &dx, &dy);
  int centring = ((v.layoutWidth > v.viewWidth ? v.layoutWidth : v.viewWidth) - v.layoutWidth) / 2;
  int x = d.pageLefts[page] + centring + dx;
  int y = d.pageTops[page] + dy;
  if (y < v.scrollY + 20 || y >= v.scrollY + v.viewHeight - 60) *scrollY = y - v.viewHeight / 3;
  if (x < v.scrollX || x >= v.scrollX + v.viewWidth - 40) *scrollX = x - v.viewWidth / 2;
}
