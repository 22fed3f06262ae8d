// The back and forward lists: where each step lands after the jumps recorded.
#include <gtest/gtest.h>
#include "viewer/places.h"

// Jumps from a page ('J'), and steps back ('B') or forward ('F') from one with
// the page each lands on (-1: none that way).
struct Step {
  char action;
  int here, lands;
};

TEST(JumpPlaces, StepsLandWhereTheJumpsLeft) {
  static const struct {
    const char* what;
    Step steps[8];
  } sessions[] = {
      {"nothing recorded", {{'B', 0, -1}, {'F', 0, -1}}},
      {"back, forward, back", {{'J', 1, 0}, {'B', 9, 1}, {'F', 1, 9}, {'F', 9, -1}, {'B', 9, 1}, {'B', 1, -1}}},
      {"a jump forgets what is ahead", {{'J', 1, 0}, {'B', 9, 1}, {'J', 1, 0}, {'F', 4, -1}, {'B', 4, 1}}},
      {"a step always moves", {{'J', 2, 0}, {'J', 5, 0}, {'B', 5, 2}, {'F', 2, 5}, {'F', 5, -1}}},
      {"two deep", {{'J', 1, 0}, {'J', 2, 0}, {'B', 3, 2}, {'B', 2, 1}, {'F', 1, 2}, {'F', 2, 3}}},
  };
  for (const auto& session : sessions) {
    PlaceHistory history;
    clearPlaces(&history);
    for (const Step& step : session.steps) {
      JumpPlace here = {step.here, 0.25}, to = {-1, 0};
      if (step.action == 'J') recordPlace(&history, here);
      if (step.action != 'B' && step.action != 'F') continue;
      EXPECT_EQ(step.lands >= 0, stepPlace(&history, step.action == 'B' ? -1 : +1, here, &to)) << session.what;
      EXPECT_EQ(step.lands, to.page) << session.what << ", from " << step.here;
    }
  }
}

// Past the capacity the oldest places go, on either list; jumps from one
// place take one entry.
TEST(JumpPlaces, EachListKeepsTheNewestHundred) {
  PlaceHistory history;
  clearPlaces(&history);
  recordPlace(&history, JumpPlace{6, 0});
  for (int i = 0; i < 2 * PLACE_LIST_CAPACITY; i++) recordPlace(&history, JumpPlace{7, 0});
  JumpPlace here = {8, 0};
  EXPECT_TRUE(stepPlace(&history, -1, here, &here) && stepPlace(&history, -1, here, &here) && here.page == 6);
  clearPlaces(&history);
  for (int page = 0; page < PLACE_LIST_CAPACITY + 50; page++) recordPlace(&history, JumpPlace{page, 0});
  here = {1000, 0};
  int back = 0, forward = 0;
  while (stepPlace(&history, -1, here, &here)) back++;
  EXPECT_EQ(50, here.page);
  while (stepPlace(&history, +1, here, &here)) forward++;
  EXPECT_EQ(1000, here.page);
  EXPECT_EQ(PLACE_LIST_CAPACITY, back);
  EXPECT_EQ(PLACE_LIST_CAPACITY, forward);
}
