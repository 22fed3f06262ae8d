// The back and forward lists: what a jump records, where each step lands.
#include <gtest/gtest.h>
#include <vector>
#include "viewer/places.h"

namespace {

// A jump from a page ('J'), or a step back ('B') or forward ('F') from one
// and the page it lands on (-1: nothing that way).
struct Step {
  char action;
  int here;
  int lands;
};

JumpPlace at(int page) {
  return JumpPlace{page, 0.25};
}

int take(PlaceHistory* history, const Step& step) {
  if (step.action == 'J') {
    recordPlace(history, at(step.here));
    return step.lands;
  }
  JumpPlace to;
  if (!stepPlace(history, step.action == 'B' ? -1 : +1, at(step.here), &to)) return -1;
  EXPECT_EQ(0.25, to.fraction);
  return to.page;
}

}   // namespace

TEST(JumpPlaces, SessionsLandWhereTheyLeft) {
  struct Session {
    const char* what;
    std::vector<Step> steps;
  } sessions[] = {
      {"nothing recorded", {{'B', 0, -1}, {'F', 0, -1}}},
      {"back and forward again", {{'J', 1, 0}, {'B', 9, 1}, {'F', 1, 9}, {'F', 9, -1}, {'B', 9, 1}, {'B', 1, -1}}},
      {"a new jump forgets the places ahead", {{'J', 1, 0}, {'B', 9, 1}, {'J', 1, 0}, {'F', 4, -1}, {'B', 4, 1}}},
      {"two jumps from one place keep it once", {{'J', 3, 0}, {'J', 3, 0}, {'B', 7, 3}, {'B', 3, -1}}},
      {"a step never stays in place", {{'J', 2, 0}, {'J', 5, 0}, {'B', 5, 2}, {'F', 2, 5}, {'F', 5, -1}}},
      {"three deep",
       {{'J', 1, 0}, {'J', 2, 0}, {'J', 3, 0}, {'B', 4, 3}, {'B', 3, 2}, {'B', 2, 1}, {'B', 1, -1}, {'F', 1, 2},
        {'F', 2, 3}, {'F', 3, 4}, {'F', 4, -1}}},
  };
  for (const Session& session : sessions) {
    PlaceHistory history;
    clearPlaces(&history);
    for (size_t i = 0; i < session.steps.size(); i++)
      EXPECT_EQ(session.steps[i].lands, take(&history, session.steps[i])) << session.what << ", step " << i;
  }
}

// Past the capacity the oldest places go, on either list.
TEST(JumpPlaces, EachListKeepsTheNewestHundred) {
  PlaceHistory history;
  clearPlaces(&history);
  for (int page = 0; page < PLACE_LIST_CAPACITY + 50; page++) recordPlace(&history, at(page));
  int here = 1000, steps = 0;
  JumpPlace to;
  while (stepPlace(&history, -1, at(here), &to)) here = to.page, steps++;
  EXPECT_EQ(PLACE_LIST_CAPACITY, steps);
  EXPECT_EQ(50, here);
  steps = 0;
  while (stepPlace(&history, +1, at(here), &to)) here = to.page, steps++;
  EXPECT_EQ(PLACE_LIST_CAPACITY, steps);
  EXPECT_EQ(1000, here);
}
