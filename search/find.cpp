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

// One character for the joined search; a hyphen PDFium joined to the next
// line itself (it has no line break after it) comes back as JOINED_HYPHEN.
static unsigned textPageChar(const void* page, int index) {
  FPDF_TEXTPAGE text = (FPDF_TEXTPAGE)page;
  unsigned c = FPDFText_GetUnicode(text, index);
  if ((c < 0x20 || c == 0x2D || c == 0xAD) && FPDFText_IsHyphen(text, index) == 1) return JOINED_HYPHEN;
  return c;
}

// Adds the rectangles of count characters from start to the match's, up to 64 in all.
static void keepMatchRects(FPDF_TEXTPAGE text, int start, int count) {
  int rects = FPDFText_CountRects(text, start, count);
  for (int i = 0; i < rects && searchState.matchRectCount < MAX_MATCH_RECTS; i++) {
    MatchRect& r = searchState.matchRects[searchState.matchRectCount++];
    FPDFText_GetRect(text, i, &r.left, &r.top, &r.right, &r.bottom);
  }
}

// PDFium's own search: the first occurrence after the threshold (forward) or
// the last one before it (backward). Its index, or -1; its length in *count.
static int findPlainOnPage(FPDF_TEXTPAGE text, int direction, int threshold, int* count) {
  FPDF_SCHHANDLE search = FPDFText_FindStart(text, (FPDF_WIDESTRING)searchState.searchText, 0, 0);
  int best = -1;
  while (search && FPDFText_FindNext(search)) {
    int index = FPDFText_GetSchResultIndex(search);
    if (direction > 0) {
      if (index > threshold) {
        best = index;
        *count = FPDFText_GetSchCount(search);
        break;
      }
    } else {
      if (index >= threshold) break;
      best = index;
      *count = FPDFText_GetSchCount(search);
    }
  }
  if (search) FPDFText_FindClose(search);
  return best;
}

// The first occurrence after the threshold (forward) or the last one before it
// (backward) on one page, PDFium's or one across a hyphenated line end,
// whichever comes first in that direction; the match is stored when there is one.
static bool findOnPage(int page, int direction, int threshold) {
  FPDF_PAGE pdfPage = getCachedPage(page);
  FPDF_TEXTPAGE text = pdfPage ? FPDFText_LoadPage(pdfPage) : NULL;
  if (!text) return false;
  int plainCount = 0;
  int plain = findPlainOnPage(text, direction, threshold, &plainCount);
  PageChars chars = {FPDFText_CountChars(text), textPageChar, text};
  JoinedMatch joined;
  bool across = findJoinedMatch(&chars, searchState.searchText, direction, threshold, &joined) &&
                (plain < 0 || (direction > 0 ? joined.start < plain : joined.start > plain));
  if (across || plain >= 0) {
    searchState.matchPage = page;
    searchState.matchRectCount = 0;
    if (across) {
      searchState.matchIndex = joined.start;
      keepMatchRects(text, joined.start, joined.hyphen - joined.start + 1);
      keepMatchRects(text, joined.resume, joined.end - joined.resume);
    } else {
      searchState.matchIndex = plain;
      keepMatchRects(text, plain, plainCount);
    }
  }
  FPDFText_ClosePage(text);
  return across || plain >= 0;
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
    FPDF_PageToDevice(pdfPage, 0, 0, w, h, v.quarterTurns, searchState.matchRects[0].left,
                      searchState.matchRects[0].top, &dx, &dy);
  int x = d.pageLefts[page] + centringOffset() + dx;
  int y = d.pageTops[page] + dy;
  if (y < v.scrollY + 20 || y >= v.scrollY + v.viewHeight - 60) *scrollY = y - v.viewHeight / 3;
  if (x < v.scrollX || x >= v.scrollX + v.viewWidth - 40) *scrollX = x - v.viewWidth / 2;
}
