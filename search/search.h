// The search box and the current match that painting highlights.
#ifndef BRISA_SEARCH_H
#define BRISA_SEARCH_H

enum { SEARCH_TEXT_UNITS = 256, MAX_MATCH_RECTS = 64 };

struct MatchRect {
  double left, top, right, bottom;   // page points, origin bottom-left
};

struct SearchState {
  wchar_t searchText[SEARCH_TEXT_UNITS];
  int matchPage;        // -1: no current match
  int matchIndex;
  MatchRect matchRects[MAX_MATCH_RECTS];
  int matchRectCount;
};

extern SearchState searchState;

void installSearchBox();
void clearSearchMatch();

#endif
