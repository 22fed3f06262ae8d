// Presentation's rows: the layout is kept as it is and shown one row at a
// time. The pages of a row share their top (a single page, a spread or a wide
// page alone), so the rows are read back from the placed pages and follow
// every page mode without rules of their own.
#include "viewer/viewer.h"

static bool sameRow(int a, int b) {
  return documentState.pageTops[a] == documentState.pageTops[b];
}

// The lowest page of the row holding `page`, the page clamped to the
// document first; 0 without pages.
int rowStartOf(int page) {
  const DocumentState& d = documentState;
  if (d.pageCount <= 0) return 0;
  if (page < 0) page = 0;
  if (page >= d.pageCount) page = d.pageCount - 1;
  while (page > 0 && sameRow(page - 1, page)) page--;
  return page;
}

// One past the last page of the row starting at `start`.
static int rowEndOf(int start) {
  int end = start;
  while (end < documentState.pageCount && sameRow(end, start)) end++;
  return end;
}

// The first page of the next row (direction > 0) or of the previous one; at
// either end of the document, the first page of the row of `page` itself.
int neighbourRow(int page, int direction) {
  int start = rowStartOf(page);
  if (documentState.pageCount <= 0) return 0;
  if (direction < 0) return start > 0 ? rowStartOf(start - 1) : start;
  int next = rowEndOf(start);
  return next < documentState.pageCount ? next : start;
}

// The pages [*first, *end) of the presented row, and the shift from canvas to
// view that puts the row in the middle of the view both ways (the canvas's
// middle is the row's: the spine of a spread, the centre of a single page).
void presentedRow(int* first, int* end, int* shiftX, int* shiftY) {
  const DocumentState& d = documentState;
  const ViewState& v = viewState;
  *first = *end = *shiftX = *shiftY = 0;
  if (d.pageCount <= 0) return;
  *first = rowStartOf(v.presentedPage);
  *end = rowEndOf(*first);
  int rowHeight = 0;
  for (int i = *first; i < *end; i++)
    if (pagePixels(d.pageHeights[i]) > rowHeight) rowHeight = pagePixels(d.pageHeights[i]);
  *shiftX = v.viewWidth / 2 - v.layoutWidth / 2;
  *shiftY = (v.viewHeight - rowHeight) / 2 - d.pageTops[*first];
}
