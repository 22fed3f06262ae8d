// The back and forward lists: a jump records where it left from and forgets
// the places ahead; a step moves one place from one list to the other.
#include "viewer/places.h"

#include <string.h>

static bool samePlace(JumpPlace a, JumpPlace b) {
  return a.page == b.page && a.fraction == b.fraction;
}

// Pushes the place unless it is already the newest; a full list lets its oldest go.
static void pushPlace(JumpPlace* stack, int* count, JumpPlace place) {
  if (*count > 0 && samePlace(stack[*count - 1], place)) return;
  if (*count == PLACE_LIST_CAPACITY) {
    memmove(stack, stack + 1, (PLACE_LIST_CAPACITY - 1) * sizeof *stack);
    (*count)--;
  }
  stack[(*count)++] = place;
}

void clearPlaces(PlaceHistory* history) {
  history->backCount = history->forwardCount = 0;
}

// Before a jump from `here`: two jumps from one place keep it once.
void recordPlace(PlaceHistory* history, JumpPlace here) {
  history->forwardCount = 0;
  pushPlace(history->back, &history->backCount, here);
}

// Back (-1) or forward (+1) from `here`: the newest place that way goes to
// *to, and `here` to the other list. A step always moves: places equal to
// `here` are passed over. False when no place is left that way.
bool stepPlace(PlaceHistory* history, int direction, JumpPlace here, JumpPlace* to) {
  JumpPlace* from = direction < 0 ? history->back : history->forward;
  int* fromCount = direction < 0 ? &history->backCount : &history->forwardCount;
  while (*fromCount > 0 && samePlace(from[*fromCount - 1], here)) (*fromCount)--;
  if (*fromCount == 0) return false;
  *to = from[--*fromCount];
  if (direction < 0)
    pushPlace(history->forward, &history->forwardCount, here);
  else
    pushPlace(history->back, &history->backCount, here);
  return true;
}
