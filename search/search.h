// Text search in the open PDF and the current match that painting highlights.
#ifndef BRISA_SEARCH_H
#define BRISA_SEARCH_H

#include "app/portable.h"

enum { SEARCH_TEXT_UNITS = 256, MAX_MATCH_RECTS = 64 };

struct MatchRect {
  double left, top, right, bottom;   // page points, origin bottom-left
};

struct SearchState {
  Utf16 searchText[SEARCH_TEXT_UNITS];
  int matchPage;        // -1: no current match
  int matchIndex;       // first character of the match on its page
  MatchRect matchRects[MAX_MATCH_RECTS];
  int matchRectCount;
};

extern SearchState searchState;

// Portable (find.cpp).
void clearSearchMatch();
bool findMatch(const Utf16* text, int direction);
void matchScrollTarget(int* scrollX, int* scrollY);

// Windows side (searchbox.cpp).
void installSearchBox();
void showSearchBar(bool show);
void findText(int direction);

#endif
