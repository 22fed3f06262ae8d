// Miniature sizes, the column, what is in sight, click zones and scroll
// limits of the thumbnail panel, at 96 and 144 dpi.
#include <gtest/gtest.h>
#include "tests/support/thumbpanel.h"

namespace {

std::pair<int, int> sizeOf(int page) {
  int w, h;
  thumbnailSize(page, &w, &h);
  return {w, h};
}

int itemHeight(int page) {
  return scaledLength(THUMBNAIL_LABEL) + scaledLength(THUMBNAIL_GAP) + sizeOf(page).second;
}

}   // namespace

TEST(ThumbsGeometry, LengthsRoundLikeMulDiv) {
  setTestPanel({}, 96, 0);
  EXPECT_EQ(22, scaledLength(22));
  setTestPanel({}, 144, 0);
  EXPECT_EQ(33, scaledLength(22));
  EXPECT_EQ(144, scaledLength(96));
  setTestPanel({}, 120, 0);
  EXPECT_EQ(8, scaledLength(6));     // 7.5 goes up
  EXPECT_EQ(-8, scaledLength(-6));   // and -7.5 down, away from zero
  EXPECT_EQ(15, scaledLength(12));
  setTestPanel({}, 0, 0);   // before the screen was read: 96 dpi
  EXPECT_EQ(12, scaledLength(12));
}

TEST(ThumbsGeometry, MiniatureSizes) {
  setTestPanel({{0, 792}, {100, 300}, {14400, 1}, {612, 792}, {100, 200}, {300, 0}, {0, 0}}, 96, 500);
  EXPECT_EQ(std::make_pair(96, 134), sizeOf(0));   // no width: the ratio 1.4
  EXPECT_EQ(std::make_pair(64, 192), sizeOf(1));   // three times as tall: capped at twice the band
  EXPECT_EQ(std::make_pair(96, 1), sizeOf(2));     // very wide: still one pixel tall
  EXPECT_EQ(std::make_pair(96, 124), sizeOf(3));   // Letter: 96 x 792 / 612 + 0.5
  EXPECT_EQ(std::make_pair(96, 192), sizeOf(4));   // exactly twice as tall: not narrowed
  EXPECT_EQ(std::make_pair(96, 1), sizeOf(5));     // no height at all
  EXPECT_EQ(std::make_pair(96, 134), sizeOf(6));

  setTestPanel({{0, 792}, {100, 300}, {612, 792}, {1, 14400}}, 144, 500);
  EXPECT_EQ(std::make_pair(144, 202), sizeOf(0));
  EXPECT_EQ(std::make_pair(96, 288), sizeOf(1));
  EXPECT_EQ(std::make_pair(144, 186), sizeOf(2));
  EXPECT_EQ(std::make_pair(1, 288), sizeOf(3));   // a hair-thin page: one pixel wide
}

// Miniature, label band and gap per page, margins above and below.
TEST(ThumbsGeometry, ColumnLayout) {
  for (int dpi : {96, 144}) {
    setTestPanel({{612, 792}, {100, 300}, {792, 612}, {0, 1}}, dpi, 500);
    int top = scaledLength(12);
    for (int i = 0; i < 4; i++) {
      EXPECT_EQ(top, thumbnailPanel.thumbnailTops[i]) << dpi << " page " << i;
      top += itemHeight(i);
    }
    EXPECT_EQ(top + scaledLength(12), thumbnailPanel.columnHeight) << dpi;
  }
  setTestPanel({{612, 792}}, 96, 500);
  EXPECT_EQ(12 + 124 + 22 + 6 + 12, thumbnailPanel.columnHeight);
}

// Click zones: the gap above a miniature, the miniature and its label. They
// touch, so every point from the first zone's top to the last one's bottom
// hits exactly one page, in order; the margins hit nothing.
TEST(ThumbsGeometry, ClickZonesTouchAndCoverTheColumn) {
  for (int dpi : {96, 144}) {
    setTestPanel({{612, 792}, {100, 300}, {792, 612}, {14400, 1}, {0, 5}}, dpi, 300);
    const int* tops = thumbnailPanel.thumbnailTops;
    int gap = scaledLength(6);
    int start = tops[0] - gap, end = tops[4] + scaledLength(22) + sizeOf(4).second;
    EXPECT_EQ(-1, thumbnailAtPoint(start - 1)) << "top margin";
    EXPECT_EQ(-1, thumbnailAtPoint(0));
    EXPECT_EQ(-1, thumbnailAtPoint(-50));
    EXPECT_EQ(-1, thumbnailAtPoint(end)) << "bottom margin";
    EXPECT_EQ(-1, thumbnailAtPoint(thumbnailPanel.columnHeight + 100));
    int expected = 0;
    for (int y = start; y < end; y++) {
      if (expected + 1 < 5 && y == tops[expected + 1] - gap) expected++;
      ASSERT_EQ(expected, thumbnailAtPoint(y)) << "dpi " << dpi << " y " << y;
    }
    EXPECT_EQ(4, expected);
    // The gap just above a miniature, which also holds the bottom of the previous label band.
    EXPECT_EQ(2, thumbnailAtPoint(tops[2] - gap));
    EXPECT_EQ(1, thumbnailAtPoint(tops[2] - gap - 1));
  }
}

TEST(ThumbsGeometry, NothingIsHitWhileInactive) {
  setTestPanel({{612, 792}}, 96, 300);
  thumbnailPanel.panelActive = false;
  EXPECT_EQ(-1, thumbnailAtPoint(50));
}

TEST(ThumbsGeometry, VisibleRange) {
  setTestPanel(letterSizes(20), 96, 400);   // items of 152 pixels from y = 12
  int first, last;
  visibleThumbnails(&first, &last);
  EXPECT_EQ(0, first);
  EXPECT_EQ(2, last);   // page 2 starts at 316 < 400, page 3 at 468
  // The label band of page 0 still shows; its gap alone does not count.
  thumbnailPanel.panelScrollY = 12 + 124 + 22 - 1;
  visibleThumbnails(&first, &last);
  EXPECT_EQ(0, first);
  thumbnailPanel.panelScrollY = 12 + 124 + 22;
  visibleThumbnails(&first, &last);
  EXPECT_EQ(1, first);
  EXPECT_EQ(3, last);
  // A page whose top is exactly at the bottom edge is not in sight.
  thumbnailPanel.panelScrollY = thumbnailPanel.thumbnailTops[5] - 400;
  visibleThumbnails(&first, &last);
  EXPECT_EQ(4, last);
  // The end of the column.
  thumbnailPanel.panelScrollY = thumbnailPanel.columnHeight - 400;
  visibleThumbnails(&first, &last);
  EXPECT_EQ(19, last);
  EXPECT_EQ(17, first);
}

TEST(ThumbsGeometry, EmptyRanges) {
  int first, last;
  setTestPanel(letterSizes(5), 96, 0);   // no client height
  visibleThumbnails(&first, &last);
  EXPECT_LT(last, first);
  setTestPanel(letterSizes(5), 96, 300);
  thumbnailPanel.panelScrollY = thumbnailPanel.columnHeight;   // past the end
  visibleThumbnails(&first, &last);
  EXPECT_EQ(5, first);
  EXPECT_LT(last, first);
  setTestPanel({}, 96, 300);
  visibleThumbnails(&first, &last);
  EXPECT_LT(last, first);
}

TEST(ThumbsGeometry, ScrollStaysWithinTheColumn) {
  setTestPanel(letterSizes(20), 96, 400);
  int limit = thumbnailPanel.columnHeight - 400;
  EXPECT_EQ(0, clampThumbnailScroll(-120));
  EXPECT_EQ(77, clampThumbnailScroll(77));
  EXPECT_EQ(limit, clampThumbnailScroll(limit + 1));
  EXPECT_EQ(limit, clampThumbnailScroll(thumbnailPanel.columnHeight));   // SB_BOTTOM
  // A column shorter than the client area: always at 0.
  setTestPanel(letterSizes(2), 96, 1000);
  EXPECT_EQ(0, clampThumbnailScroll(0));
  EXPECT_EQ(0, clampThumbnailScroll(120));
  EXPECT_EQ(0, clampThumbnailScroll(-120));
}

// Millions of pages would carry the column past an int: it stops growing and
// stays ordered instead of wrapping to negative positions. (A huge resolution
// stands in for millions of pages.)
TEST(ThumbsGeometry, HugeColumnDoesNotWrap) {
  setTestPanel(std::vector<std::pair<double, double>>(100000, {100, 300}), 9600, 800);
  const ThumbnailPanel& p = thumbnailPanel;
  EXPECT_GT(p.columnHeight, 0);
  for (int i = 1; i < p.thumbnailCount; i++) ASSERT_GE(p.thumbnailTops[i], p.thumbnailTops[i - 1]) << i;
  EXPECT_GE(p.thumbnailTops[p.thumbnailCount - 1], p.thumbnailTops[0]);
  thumbnailPanel.panelScrollY = clampThumbnailScroll(INT32_MAX);
  int first, last;
  visibleThumbnails(&first, &last);
  EXPECT_LE(first, last);
  EXPECT_GE(thumbnailAtPoint(p.panelScrollY + 100), 0);
}
