// Text search in the open PDF and the current match that painting highlights.
#ifndef BRISA_SEARCH_H
#define BRISA_SEARCH_H

#include "base/portable.h"

enum { SEARCH_TEXT_UNITS = 256, MAX_MATCH_RECTS = 64 };

struct MatchRect {
  double left, top, right, bottom;   // page points, origin bottom-left
};

struct SearchState {
  Utf16 searchText[SEARCH_TEXT_UNITS];
  int matchPage;    // -1: no current match
  int matchIndex;   // first character of the match on its page
  MatchRect matchRects[MAX_MATCH_RECTS];
  int matchRectCount;
};

extern SearchState searchState;

// A page's characters in PDFium's numbering, read one at a time through
// charAt (the page's text is never copied).
struct PageChars {
  int count;
  unsigned (*charAt)(const void* page, int index);
  const void* page;
};

// What charAt gives for a hyphen PDFium itself joined to the next line: the
// next line's first character follows it directly (no line break between).
enum : unsigned { JOINED_HYPHEN = 0x110000 };   // past the last code point

// A word hyphenated across a line break: characters start to hyphen (the
// hyphen included) end one line, resume to end - 1 begin the next.
struct JoinedMatch {
  int start, hyphen, resume, end;
};

// Portable (find.cpp, joined.cpp).
void clearSearchMatch();
bool findMatch(const Utf16* text, int direction);
void matchScrollTarget(int* scrollX, int* scrollY);
bool findJoinedMatch(const PageChars* page, const Utf16* text, int direction, int threshold, JoinedMatch* match);

// Windows side (searchbox.cpp).
void installSearchBox();
void showSearchBar(bool show);
void findText(int direction);

#endif
