// Which miniature is rendered next and which bitmap goes when the cache is
// over its cap, on the panel record alone (stand-in bitmaps, no window).
#include <gtest/gtest.h>
#include <vector>
#include "tests/support/thumbpanel.h"

namespace {

// Letter pages are items of 152 pixels from y = 12 at 96 dpi: a client area
// of 4 x 152 - 10 shows exactly four of them from a page's top.
const int ITEM = 152;
const int FOUR_IN_SIGHT = 4 * ITEM - 10;

// The page's click zone (the gap above it) at the top of the client area.
void scrollToPage(int page) {
  thumbnailPanel.panelScrollY = clampThumbnailScroll(thumbnailPanel.thumbnailTops[page] - 6);
}

// What the idle steps would render, in order, marking each Ready (and
// evicting) as a finished render does; stops when nothing is left or after
// `limit` renders.
std::vector<int> renderAll(int limit = 100000) {
  std::vector<int> order;
  for (int i = nextThumbnailToRender(); i >= 0 && (int)order.size() < limit; i = nextThumbnailToRender()) {
    order.push_back(i);
    makeReady(i);
    while (evictOneThumbnail()) {}
  }
  return order;
}

std::pair<int, int> inSight() {
  int first, last;
  visibleThumbnails(&first, &last);
  return {first, last};
}

}   // namespace

TEST(ThumbsRenderOrder, InSightThenBelowAndAboveNoFurtherThanTheNumberInSight) {
  setTestPanel(letterSizes(100), 96, FOUR_IN_SIGHT);
  scrollToPage(10);
  ASSERT_EQ(std::make_pair(10, 13), inSight());
  std::vector<int> expected = {10, 11, 12, 13, 14, 9, 15, 8, 16, 7, 17, 6};
  EXPECT_EQ(expected, renderAll());
  EXPECT_EQ(-1, nextThumbnailToRender());
  EXPECT_TRUE(thumbnailPanelIsConsistent());
}

TEST(ThumbsRenderOrder, AtTheTopOnlyBelow) {
  setTestPanel(letterSizes(100), 96, FOUR_IN_SIGHT);
  std::vector<int> expected = {0, 1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(expected, renderAll());
}

TEST(ThumbsRenderOrder, AtTheEndOnlyAbove) {
  setTestPanel(letterSizes(30), 96, FOUR_IN_SIGHT);
  thumbnailPanel.panelScrollY = clampThumbnailScroll(thumbnailPanel.columnHeight);
  auto sight = inSight();
  ASSERT_EQ(29, sight.second);
  std::vector<int> expected;
  for (int i = sight.first; i <= 29; i++) expected.push_back(i);
  int n = 29 - sight.first + 1;
  for (int k = 1; k <= n; k++) expected.push_back(sight.first - k);
  EXPECT_EQ(expected, renderAll());
}

// Failed, pending and ready pages are not rendered again; only Empty ones are.
TEST(ThumbsRenderOrder, OnlyEmptySlotsAreChosen) {
  setTestPanel(letterSizes(100), 96, FOUR_IN_SIGHT);
  scrollToPage(10);
  ThumbnailSlot* slots = thumbnailPanel.thumbnailSlots;
  slots[10].state = ThumbnailState::Failed;
  slots[11].state = ThumbnailState::Pending;
  makeReady(12);
  EXPECT_EQ(13, nextThumbnailToRender());
  slots[13].state = ThumbnailState::Failed;
  slots[14].state = ThumbnailState::Failed;
  EXPECT_EQ(9, nextThumbnailToRender());   // below is done: above
}

TEST(ThumbsRenderOrder, NothingInSightRendersNothing) {
  setTestPanel(letterSizes(10), 96, 0);
  EXPECT_EQ(-1, nextThumbnailToRender());
  setTestPanel(letterSizes(10), 96, 300);
  thumbnailPanel.panelActive = false;
  EXPECT_EQ(-1, nextThumbnailToRender());
}

TEST(ThumbsRenderOrder, ReachKeepsViewAndBothSidesWithinTheCap) {
  EXPECT_EQ(0, thumbnailRenderReach(0));
  EXPECT_EQ(1, thumbnailRenderReach(1));
  EXPECT_EQ(4, thumbnailRenderReach(4));
  EXPECT_EQ(53, thumbnailRenderReach(53));
  EXPECT_EQ(53, thumbnailRenderReach(54));
  EXPECT_EQ(50, thumbnailRenderReach(60));
  EXPECT_EQ(0, thumbnailRenderReach(160));
  EXPECT_EQ(0, thumbnailRenderReach(500));
  for (int n = 1; n <= MAX_THUMBNAIL_BITMAPS; n++) EXPECT_LE(n + 2 * thumbnailRenderReach(n), 160) << n;
}

// Sixty miniatures in sight (very wide pages are one pixel tall): rendering
// sixty beyond each edge would want 180 bitmaps, and the cap would drop what
// was just rendered, to render it again, without end. The idle work must
// come to rest with every page in sight drawn and no more than the cap held.
TEST(ThumbsRenderOrder, ManyInSightComesToRest) {
  setTestPanel(std::vector<std::pair<double, double>>(400, {14400, 1}), 96, 60 * 29 - 10);
  scrollToPage(200);
  auto sight = inSight();
  ASSERT_EQ(60, sight.second - sight.first + 1);
  std::vector<int> order = renderAll(2000);
  EXPECT_EQ(-1, nextThumbnailToRender()) << "still rendering after " << order.size();
  EXPECT_EQ(160u, order.size());
  EXPECT_LE(thumbnailPanel.thumbnailBitmapCount, MAX_THUMBNAIL_BITMAPS);
  for (int i = sight.first; i <= sight.second; i++)
    EXPECT_EQ(ThumbnailState::Ready, thumbnailPanel.thumbnailSlots[i].state) << i;
  EXPECT_TRUE(thumbnailPanelIsConsistent());
}

TEST(ThumbsEviction, NothingGoesAtTheCap) {
  setTestPanel(letterSizes(400), 96, FOUR_IN_SIGHT);
  scrollToPage(200);
  for (int i = 0; i < MAX_THUMBNAIL_BITMAPS; i++) makeReady(i);
  EXPECT_EQ(nullptr, evictOneThumbnail());
  EXPECT_EQ(160, thumbnailPanel.thumbnailBitmapCount);
}

// 161 bitmaps outside the view: the farthest goes, and its bitmap is handed back.
TEST(ThumbsEviction, FarthestFromTheViewGoes) {
  setTestPanel(letterSizes(400), 96, FOUR_IN_SIGHT);
  scrollToPage(200);                               // 200..203 in sight
  for (int i = 100; i < 180; i++) makeReady(i);    // 80 above, the farthest 100 away
  for (int i = 224; i <= 304; i++) makeReady(i);   // 81 below, the farthest 101 away
  ASSERT_EQ(161, thumbnailPanel.thumbnailBitmapCount);
  EXPECT_EQ(fakeBitmap(304), evictOneThumbnail());
  EXPECT_EQ(ThumbnailState::Empty, thumbnailPanel.thumbnailSlots[304].state);
  EXPECT_EQ(nullptr, thumbnailPanel.thumbnailSlots[304].bitmap);
  EXPECT_EQ(160, thumbnailPanel.thumbnailBitmapCount);
  EXPECT_EQ(nullptr, evictOneThumbnail());
  EXPECT_TRUE(thumbnailPanelIsConsistent());
}

// At equal distances above and below, the page above (the lower index) goes first.
TEST(ThumbsEviction, TiesGoToTheLowerPage) {
  setTestPanel(letterSizes(400), 96, FOUR_IN_SIGHT);
  scrollToPage(200);
  for (int k = 5; k <= 85; k++) {
    makeReady(200 - k);
    makeReady(203 + k);
  }
  ASSERT_EQ(162, thumbnailPanel.thumbnailBitmapCount);
  EXPECT_EQ(fakeBitmap(115), evictOneThumbnail());
  EXPECT_EQ(fakeBitmap(288), evictOneThumbnail());
  EXPECT_EQ(nullptr, evictOneThumbnail());
}

// More miniatures in sight than the cap: none of them is dropped (it would be
// rendered again at once, for ever); the cache stays over its cap instead.
TEST(ThumbsEviction, PagesInSightAreNeverDropped) {
  setTestPanel(std::vector<std::pair<double, double>>(400, {14400, 1}), 96, 200 * 29);
  auto sight = inSight();
  ASSERT_EQ(200, sight.second - sight.first + 1);   // more in sight than the cap: no reach at all
  for (int i = 0; i <= sight.second; i++) makeReady(i);
  EXPECT_EQ(nullptr, evictOneThumbnail());
  EXPECT_EQ(200, thumbnailPanel.thumbnailBitmapCount);
  makeReady(250);   // outside: that one goes
  EXPECT_EQ(fakeBitmap(250), evictOneThumbnail());
}
