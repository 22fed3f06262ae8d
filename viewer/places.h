// The places a reader jumped from, for going back and forward through them.
// This core includes no Windows header, so that its rules are tested natively.
#ifndef BRISA_PLACES_H
#define BRISA_PLACES_H

enum { PLACE_LIST_CAPACITY = 100 };   // per list; past it the oldest place goes

// A page and how far down it the view's top is, in page heights (as a kept
// reading position).
struct JumpPlace {
  int page;
  double fraction;
};

// Two stacks, each with its newest place last.
struct PlaceHistory {
  JumpPlace back[PLACE_LIST_CAPACITY];
  JumpPlace forward[PLACE_LIST_CAPACITY];
  int backCount, forwardCount;
};

void clearPlaces(PlaceHistory* history);
void recordPlace(PlaceHistory* history, JumpPlace here);
bool stepPlace(PlaceHistory* history, int direction, JumpPlace here, JumpPlace* to);

#endif
