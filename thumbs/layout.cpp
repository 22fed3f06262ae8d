// The panel's geometry and its two choices, which page to render next and
// which bitmap to drop, over the one ThumbnailPanel record.
#include "thumbs/panel.h"

#include <limits.h>
#include <math.h>
#include <stdint.h>

ThumbnailPanel thumbnailPanel;

// Content coordinates stay well inside an int, as do the scroll-bar values made from them.
static const int64_t MAX_COLUMN = INT_MAX / 2;

// A page without a usable width is drawn with the ratio of a portrait sheet.
static const double DEFAULT_ASPECT = 1.4;

int scaledLength(int length) {
  int dpi = thumbnailPanel.dpi > 0 ? thumbnailPanel.dpi : 96;
  int64_t product = (int64_t)length * dpi;
  return (int)(product >= 0 ? (product + 48) / 96 : -((-product + 48) / 96));
}

// Every miniature is the band's width unless it is more than twice as tall as
// wide; none is taller than twice the band, and no side is below one pixel.
void thumbnailSize(int page, int* width, int* height) {
  const ThumbnailPanel& p = thumbnailPanel;
  double pageWidth = p.pageWidths ? p.pageWidths[page] : 0;
  double pageHeight = p.pageHeights ? p.pageHeights[page] : 0;
  double aspect = pageWidth > 0 ? pageHeight / pageWidth : DEFAULT_ASPECT;
  if (!(aspect >= 0)) aspect = DEFAULT_ASPECT;   // NaN from a size no one checked
  int band = scaledLength(THUMBNAIL_WIDTH);
  double tall = band * aspect + 0.5;
  int w = band, h;
  if (tall >= 2.0 * band + 1) {   // truncated, more than twice the band
    h = 2 * band;
    w = (int)(2.0 * band / aspect + 0.5);
  } else {
    h = (int)tall;
  }
  *width = w < 1 ? 1 : w;
  *height = h < 1 ? 1 : h;
}

static int thumbnailHeight(int page) {
  int w, h;
  thumbnailSize(page, &w, &h);
  return h;
}

// Where the page's item ends: its miniature and its label band, not the gap.
static int itemBottom(int page) {
  return thumbnailPanel.thumbnailTops[page] + scaledLength(THUMBNAIL_LABEL) + thumbnailHeight(page);
}

// Miniature, label band and gap per page, with a margin above and below the
// column. A column too long for an int (millions of pages) stops growing:
// the pages past that point share the last position.
void layoutThumbnails() {
  ThumbnailPanel& p = thumbnailPanel;
  int64_t top = scaledLength(THUMBNAIL_MARGIN);
  int64_t item = scaledLength(THUMBNAIL_LABEL) + scaledLength(THUMBNAIL_GAP);
  for (int i = 0; i < p.thumbnailCount; i++) {
    p.thumbnailTops[i] = (int)top;
    int64_t next = top + item + thumbnailHeight(i);
    if (next <= MAX_COLUMN) top = next;
  }
  p.columnHeight = (int)(top + scaledLength(THUMBNAIL_MARGIN));
}

// The first page whose item ends below y (thumbnailCount if none). Item
// bottoms never decrease down the column, so halving the range finds it.
static int firstItemEndingBelow(int y) {
  int low = 0, high = thumbnailPanel.thumbnailCount;
  while (low < high) {
    int middle = low + (high - low) / 2;
    if (itemBottom(middle) > y)
      high = middle;
    else
      low = middle + 1;
  }
  return low;
}

// The pages at least partly in the client area; last < first when none is.
void visibleThumbnails(int* first, int* last) {
  const ThumbnailPanel& p = thumbnailPanel;
  int i = firstItemEndingBelow(p.panelScrollY);
  *first = i;
  *last = -1;
  int64_t bottom = (int64_t)p.panelScrollY + p.panelHeight;
  for (; i < p.thumbnailCount && p.thumbnailTops[i] < bottom; i++) *last = i;
}

int clampThumbnailScroll(int position) {
  int limit = thumbnailPanel.columnHeight - thumbnailPanel.panelHeight;
  if (position > limit) position = limit;
  return position > 0 ? position : 0;
}

// The page whose click zone holds the content y: its miniature, its label and
// the gap above it, so that consecutive zones touch. -1 in the margins.
int thumbnailAtPoint(int contentY) {
  if (!thumbnailPanel.panelActive) return -1;
  int i = firstItemEndingBelow(contentY);
  if (i >= thumbnailPanel.thumbnailCount) return -1;
  return thumbnailPanel.thumbnailTops[i] - scaledLength(THUMBNAIL_GAP) <= contentY ? i : -1;
}

// How many pages beyond each edge of the view are rendered ahead. Reaching
// as far as the number in sight would, with many in sight, hold more than the
// cap: eviction would drop what was just rendered, to render it again, for
// ever. So the view and both reaches together never need more than the cap.
int thumbnailRenderReach(int inSight) {
  if (inSight < 1) return 0;
  int room = (MAX_THUMBNAIL_BITMAPS - inSight) / 2;
  int reach = inSight < room ? inSight : room;
  return reach > 0 ? reach : 0;
}

static bool slotIsEmpty(int page) {
  return thumbnailPanel.thumbnailSlots[page].state == ThumbnailState::Empty;
}

// Pages in sight top to bottom, then alternately the next below and the next
// above, below first; -1 when nothing in reach is left to render.
int nextThumbnailToRender() {
  const ThumbnailPanel& p = thumbnailPanel;
  if (!p.panelActive) return -1;
  int first, last;
  visibleThumbnails(&first, &last);
  for (int i = first; i <= last; i++)
    if (slotIsEmpty(i)) return i;
  int reach = thumbnailRenderReach(last - first + 1);
  for (int k = 1; k <= reach; k++) {
    if (last + k < p.thumbnailCount && slotIsEmpty(last + k)) return last + k;
    if (first - k >= 0 && slotIsEmpty(first - k)) return first - k;
  }
  return -1;
}

// Takes one bitmap out of the cache while it holds more than the cap: the
// one farthest from the view, the lower page on a tie, never one within the
// render reach (it would be rendered again at once). Returns the bitmap for
// the caller to delete, or null when nothing more is to go.
void* evictOneThumbnail() {
  ThumbnailPanel& p = thumbnailPanel;
  if (p.thumbnailBitmapCount <= MAX_THUMBNAIL_BITMAPS) return 0;
  int first, last;
  visibleThumbnails(&first, &last);
  int reach = thumbnailRenderReach(last - first + 1);
  int64_t keptFrom = (int64_t)first - reach, keptTo = (int64_t)last + reach;
  int chosen = -1;
  int64_t farthest = -1;
  for (int i = 0; i < p.thumbnailCount; i++) {
    if (p.thumbnailSlots[i].state != ThumbnailState::Ready) continue;
    if (last >= first && i >= keptFrom && i <= keptTo) continue;
    int64_t distance = i < first ? (int64_t)first - i : (i > last ? (int64_t)i - last : 0);
    if (distance > farthest) {
      farthest = distance;
      chosen = i;
    }
  }
  if (chosen < 0) return 0;
  ThumbnailSlot& slot = p.thumbnailSlots[chosen];
  void* bitmap = slot.bitmap;
  slot.bitmap = 0;
  slot.state = ThumbnailState::Empty;
  p.thumbnailBitmapCount--;
  return bitmap;
}

// The invariants the rest of the panel relies on; for tests.
bool thumbnailPanelIsConsistent() {
  const ThumbnailPanel& p = thumbnailPanel;
  if (!p.panelActive) return p.thumbnailCount == 0 && p.thumbnailBitmapCount == 0 && !p.thumbnailSlots;
  if (p.thumbnailCount < 1 || !p.thumbnailSlots || !p.thumbnailTops) return false;
  int ready = 0;
  for (int i = 0; i < p.thumbnailCount; i++) {
    const ThumbnailSlot& slot = p.thumbnailSlots[i];
    // A pending comic's bitmap travels with the worker's job, not in the slot.
    if ((slot.bitmap != 0) != (slot.state == ThumbnailState::Ready)) return false;
    if (slot.state == ThumbnailState::Ready) ready++;
    if (i > 0 && p.thumbnailTops[i] < p.thumbnailTops[i - 1]) return false;
  }
  if (p.highlightedPage < -1 || p.highlightedPage >= p.thumbnailCount) return false;
  return ready == p.thumbnailBitmapCount && p.panelScrollY >= 0;
}
