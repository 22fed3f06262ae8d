// The document's outline as far as it was read: the bookmarks of the branches
// unfolded so far, in document order, each with the page it leads to. Plain
// data over PDFium, without Windows, so that the native tests read hostile
// outlines with the same rules as the program; the tree window that shows
// them lives in outlinepanel.cpp.
#ifndef BRISA_THUMBS_OUTLINE_H
#define BRISA_THUMBS_OUTLINE_H

#include "base/pdfium.h"
#include "base/portable.h"

// Outlines of hostile documents loop, nest and grow without end: past these
// limits the rest is not shown.
enum {
  OUTLINE_MAX_ITEMS = 10000,
  OUTLINE_MAX_DEPTH = 64,          // levels, the top one included
  OUTLINE_TITLE_UNITS = 512,       // UTF-16 units of a title, terminator not included
  OUTLINE_VISITED_SLOTS = 16384,   // open addressing, at most 61 % full
};
static_assert(OUTLINE_VISITED_SLOTS >= OUTLINE_MAX_ITEMS * 3 / 2, "the visited set stays sparse");
static_assert((OUTLINE_VISITED_SLOTS & (OUTLINE_VISITED_SLOTS - 1)) == 0, "a power of two");

struct OutlineItem {
  FPDF_BOOKMARK bookmark;
  void* treeItem;            // the window's handle for it, null until shown
  int parent;                // its parent's index, -1 at the top level
  int page;                  // where it leads, -1: nowhere usable
  int depth;                 // 0 at the top level
  FPDF_BOOKMARK nextChild;   // the first child not read yet; null once all are
  bool childrenRead;         // its children were asked for: the first ones are items
  bool mayHaveChildren;
};

// Where a bookmark leads: a page, and the point of it to bring to the top.
struct OutlineTarget {
  int page;   // -1: nowhere usable (no destination, a web link, a script...)
  bool hasY;
  float y;   // page space, from the bottom edge
};

// One outline per process, the open PDF's, touched only on the UI thread.
// items keeps the order of reading, so an item's index never changes;
// order lists the same indices in document order.
struct OutlineModel {
  FPDF_DOCUMENT document;   // not owned; null while nothing is read
  int pageCount;
  OutlineItem* items;   // one heap block with order and visited
  int* order;
  FPDF_BOOKMARK* visited;   // every bookmark already made an item
  int itemCount;
  FPDF_BOOKMARK topNext;   // as an item's nextChild, for the top level
  bool topRead;
};

extern OutlineModel outlineModel;

bool documentHasOutline(FPDF_DOCUMENT document);
bool beginOutline(FPDF_DOCUMENT document);
void endOutline();
int readOutlineChildren(int parent);
int readSomeOutlineChildren(int parent, int limit);
int outlineBranchToRead();
int outlineTitle(int item, Utf16* title);
OutlineTarget outlineTarget(int item);
int outlineItemForPage(int page);

#endif
