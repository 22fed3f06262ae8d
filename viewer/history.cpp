// Back and forward through the places jumped from. The lists belong to the
// open document: opening another forgets them, a reload keeps them.
#include "base/base.h"

#include "viewer/places.h"
#include "viewer/recent.h"
#include "viewer/viewer.h"

static PlaceHistory placeHistory;

static bool hasPages() {
  return documentIsOpen() && documentState.pageCount > 0;
}

static JumpPlace currentPlace() {
  JumpPlace place = {0, 0};
  currentReadingPosition(&place.page, &place.fraction);
  return place;
}

// Called before each jump (Go to page, a miniature, Home and End, a search
// match on another page, an outline item); ordinary scrolling records nothing.
void recordJumpPlace() {
  if (hasPages()) recordPlace(&placeHistory, currentPlace());
}

void forgetJumpPlaces() {
  clearPlaces(&placeHistory);
}

// Back (-1) or forward (+1); a beep when no place is left that way. A place
// past the end of a document reloaded shorter lands on its last page.
void stepThroughPlaces(int direction) {
  JumpPlace to;
  if (!hasPages() || !stepPlace(&placeHistory, direction, currentPlace(), &to)) {
    MessageBeep(MB_ICONEXCLAMATION);
    return;
  }
  int page = to.page < documentState.pageCount ? to.page : documentState.pageCount - 1;
  scrollTo(viewState.scrollX, scrollForReadingPosition(page, to.fraction));
}
