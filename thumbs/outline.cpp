// Reading a PDF's outline one branch at a time, bounded against hostile
// documents: at most OUTLINE_MAX_ITEMS bookmarks, OUTLINE_MAX_DEPTH levels,
// titles cut to OUTLINE_TITLE_UNITS, and each bookmark taken once, so that a
// loop of siblings or a child that is its own ancestor ends the branch.
#include "thumbs/outline.h"

#include <stdint.h>
#include <string.h>
#include "comics/archive/memory.h"

OutlineModel outlineModel;

// The largest title read whole before it is cut; a longer one shows empty.
static const FPDF_DWORD MAX_TITLE_BYTES = 16u << 20;

static unsigned visitedSlot(FPDF_BOOKMARK bookmark) {
  uint64_t key = (uint64_t)(uintptr_t)bookmark * 0x9E3779B97F4A7C15ull;
  return (unsigned)(key >> 40) & (OUTLINE_VISITED_SLOTS - 1);
}

// True when the bookmark was taken already; otherwise false, and it now is.
static bool wasVisited(FPDF_BOOKMARK bookmark, bool take) {
  FPDF_BOOKMARK* set = outlineModel.visited;
  for (unsigned slot = visitedSlot(bookmark);; slot = (slot + 1) & (OUTLINE_VISITED_SLOTS - 1)) {
    if (set[slot] == bookmark) return true;
    if (!set[slot]) {
      if (take) set[slot] = bookmark;
      return false;
    }
  }
}

bool documentHasOutline(FPDF_DOCUMENT document) {
  return document && FPDFBookmark_GetFirstChild(document, NULL) != NULL;
}

// Allocates the model for the document; false without an outline or memory.
bool beginOutline(FPDF_DOCUMENT document) {
  endOutline();
  if (!documentHasOutline(document)) return false;
  size_t itemBytes = sizeof(OutlineItem) * OUTLINE_MAX_ITEMS;
  size_t orderBytes = sizeof(int) * OUTLINE_MAX_ITEMS;
  unsigned char* block =
      (unsigned char*)allocZeroed(itemBytes + orderBytes + sizeof(FPDF_BOOKMARK) * OUTLINE_VISITED_SLOTS);
  if (!block) return false;
  OutlineModel& m = outlineModel;
  m.document = document;
  m.pageCount = FPDF_GetPageCount(document);
  m.items = (OutlineItem*)block;
  m.order = (int*)(block + itemBytes);
  m.visited = (FPDF_BOOKMARK*)(block + itemBytes + orderBytes);
  return true;
}

// Safe with nothing read.
void endOutline() {
  freeBytes(outlineModel.items);
  outlineModel = OutlineModel();
}

// Where the bookmark leads: its own destination, or a GoTo action's. Other
// actions (web, launch, other files, scripts) lead nowhere: they never run.
static OutlineTarget targetOf(FPDF_BOOKMARK bookmark) {
  OutlineTarget target = {-1, false, 0};
  FPDF_DOCUMENT document = outlineModel.document;
  FPDF_DEST dest = FPDFBookmark_GetDest(document, bookmark);
  if (!dest) {
    FPDF_ACTION action = FPDFBookmark_GetAction(bookmark);
    if (action && FPDFAction_GetType(action) == PDFACTION_GOTO) dest = FPDFAction_GetDest(document, action);
  }
  if (!dest) return target;
  int page = FPDFDest_GetDestPageIndex(document, dest);
  if (page < 0 || page >= outlineModel.pageCount) return target;   // a page number past the end?
  target.page = page;
  FPDF_BOOL hasX = 0, hasY = 0, hasZoom = 0;
  float x = 0, y = 0, zoom = 0;
  if (FPDFDest_GetLocationInPage(dest, &hasX, &hasY, &hasZoom, &x, &y, &zoom) && hasY && y == y) {
    target.hasY = true;
    target.y = y;
  }
  return target;
}

static int positionInOrder(int item) {
  for (int k = 0; k < outlineModel.itemCount; k++)
    if (outlineModel.order[k] == item) return k;
  return -1;
}

// Where the parent's next children go in document order: after its
// descendants read so far (of the first `count` in order).
static int endOfBranch(int parent, int count) {
  if (parent < 0) return count;
  int k = positionInOrder(parent) + 1;
  while (k < count && outlineModel.items[outlineModel.order[k]].depth > outlineModel.items[parent].depth) k++;
  return k;
}

// Only a first child not taken yet counts: one already shown elsewhere (a
// loop back to an ancestor) would give an empty branch.
static bool probeChildren(const OutlineItem& item) {
  if (item.depth + 1 >= OUTLINE_MAX_DEPTH) return false;
  FPDF_BOOKMARK child = FPDFBookmark_GetFirstChild(outlineModel.document, item.bookmark);
  return child && !wasVisited(child, false);
}

// Makes items of up to limit more children of parent (-1: the top level), in
// their order, after the parent's items in document order; the number of new
// items, whose indices follow the previous count. A sibling already taken
// ends the row. A long row is thus read a slice at a time.
int readSomeOutlineChildren(int parent, int limit) {
  OutlineModel& m = outlineModel;
  if (!m.items || parent < -1 || parent >= m.itemCount) return 0;
  bool& asked = parent >= 0 ? m.items[parent].childrenRead : m.topRead;
  FPDF_BOOKMARK& next = parent >= 0 ? m.items[parent].nextChild : m.topNext;
  int depth = parent >= 0 ? m.items[parent].depth + 1 : 0;
  if (!asked) {
    asked = true;
    if (depth >= OUTLINE_MAX_DEPTH) return 0;
    next = FPDFBookmark_GetFirstChild(m.document, parent >= 0 ? m.items[parent].bookmark : NULL);
  }
  int start = m.itemCount;
  FPDF_BOOKMARK b = next;
  for (; b && m.itemCount < OUTLINE_MAX_ITEMS && m.itemCount - start < limit;
       b = FPDFBookmark_GetNextSibling(m.document, b)) {
    if (wasVisited(b, true)) {
      b = NULL;
      break;
    }
    OutlineItem& item = m.items[m.itemCount++];
    item = OutlineItem();
    item.bookmark = b;
    item.parent = parent;
    item.depth = depth;
    item.page = targetOf(b).page;
  }
  next = m.itemCount < OUTLINE_MAX_ITEMS ? b : NULL;
  int added = m.itemCount - start;
  for (int i = start; i < m.itemCount; i++) m.items[i].mayHaveChildren = probeChildren(m.items[i]);
  int at = endOfBranch(parent, start);
  memmove(m.order + at + added, m.order + at, sizeof(int) * (size_t)(start - at));
  for (int k = 0; k < added; k++) m.order[at + k] = start + k;
  return added;
}

// All the children of parent not read yet.
int readOutlineChildren(int parent) {
  return readSomeOutlineChildren(parent, OUTLINE_MAX_ITEMS);
}

// A branch whose reading has begun and not ended (-1: the top level); -2 when none.
int outlineBranchToRead() {
  const OutlineModel& m = outlineModel;
  if (!m.items) return -2;
  if (m.topNext) return -1;
  for (int i = 0; i < m.itemCount; i++)
    if (m.items[i].nextChild) return i;
  return -2;
}

// Control characters (line breaks inside a title) as spaces; a cut never
// leaves half a surrogate pair.
static int cleanTitle(const Utf16* text, int units, Utf16* title) {
  if (units > OUTLINE_TITLE_UNITS) {
    units = OUTLINE_TITLE_UNITS;
    if (text[units - 1] >= 0xD800 && text[units - 1] < 0xDC00) units--;
  }
  for (int i = 0; i < units; i++) title[i] = text[i] < 0x20 ? (Utf16)' ' : text[i];
  title[units] = 0;
  return units;
}

// The item's title in title (OUTLINE_TITLE_UNITS + 1 units); its length.
int outlineTitle(int item, Utf16* title) {
  title[0] = 0;
  if (item < 0 || item >= outlineModel.itemCount) return 0;
  FPDF_BOOKMARK bookmark = outlineModel.items[item].bookmark;
  Utf16 local[OUTLINE_TITLE_UNITS + 1];
  FPDF_DWORD bytes = FPDFBookmark_GetTitle(bookmark, NULL, 0);
  if (bytes < 4 || bytes > MAX_TITLE_BYTES) return 0;   // empty, or too long to read at all
  Utf16* text = bytes <= sizeof local ? local : (Utf16*)allocBytes(bytes);
  if (!text) return 0;
  int units = 0;
  if (FPDFBookmark_GetTitle(bookmark, text, bytes) == bytes) units = cleanTitle(text, (int)(bytes / 2) - 1, title);
  if (text != local) freeBytes(text);
  return units;
}

OutlineTarget outlineTarget(int item) {
  if (item < 0 || item >= outlineModel.itemCount) return OutlineTarget{-1, false, 0};
  return targetOf(outlineModel.items[item].bookmark);
}

// The section being read: the last item in document order that leads to the
// page or to one before it; -1 when none does.
int outlineItemForPage(int page) {
  const OutlineModel& m = outlineModel;
  for (int k = m.itemCount - 1; k >= 0; k--) {
    int page0 = m.items[m.order[k]].page;
    if (page0 >= 0 && page0 <= page) return m.order[k];
  }
  return -1;
}
