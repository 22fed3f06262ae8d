// The quarter turn of a comic image printed on paper of the other orientation.
#include <gtest/gtest.h>
#include <stdint.h>
#include <vector>
#include "print/sheet.h"

namespace {

// A distinct value for each pixel: its row and column.
std::vector<uint32_t> numberedImage(int width, int height) {
  std::vector<uint32_t> image((size_t)width * height);
  for (int r = 0; r < height; r++)
    for (int c = 0; c < width; c++) image[(size_t)r * width + c] = (uint32_t)(r << 16 | c);
  return image;
}

}   // namespace

// 3 wide, 2 high:   a b c        turned:  d a
//                   d e f                 e b
//                                         f c
TEST(PrintTurn, SmallImageTurnsClockwise) {
  const uint32_t source[] = {'a', 'b', 'c', 'd', 'e', 'f'};
  uint32_t target[6] = {0};
  turnClockwise(source, 3, 2, target);
  const uint32_t expected[] = {'d', 'a', 'e', 'b', 'f', 'c'};
  for (int i = 0; i < 6; i++) EXPECT_EQ(expected[i], target[i]) << i;
}

// The top-left corner goes to the top-right, the top-right to the bottom-right;
// every source pixel (r, c) lands on row c, column h - 1 - r.
TEST(PrintTurn, EveryPixelLandsWhereTheRuleSays) {
  const int width = 37, height = 11;
  std::vector<uint32_t> source = numberedImage(width, height);
  std::vector<uint32_t> target(source.size(), 0xDEADBEEF);
  turnClockwise(source.data(), width, height, target.data());
  for (int r = 0; r < height; r++)
    for (int c = 0; c < width; c++)
      ASSERT_EQ(source[(size_t)r * width + c], target[(size_t)c * height + (height - 1 - r)]) << r << "," << c;
  EXPECT_EQ(source[0], target[height - 1]);                                          // top-left -> top-right
  EXPECT_EQ(source[width - 1], target[(size_t)(width - 1) * height + height - 1]);   // top-right -> bottom-right
}

// Four quarter turns give the image back; single rows and columns turn too.
TEST(PrintTurn, FourTurnsAreTheIdentityAndThinImagesWork) {
  const int width = 5, height = 3;
  std::vector<uint32_t> image = numberedImage(width, height), turned(image.size());
  int w = width, h = height;
  for (int i = 0; i < 4; i++) {
    turnClockwise(image.data(), w, h, turned.data());
    image.swap(turned);
    int side = w;
    w = h;
    h = side;
  }
  EXPECT_EQ(numberedImage(width, height), image);

  const uint32_t row[] = {1, 2, 3, 4};
  uint32_t column[4];
  turnClockwise(row, 4, 1, column);   // a row becomes a column, top to bottom
  EXPECT_EQ(std::vector<uint32_t>({1, 2, 3, 4}), std::vector<uint32_t>(column, column + 4));
  turnClockwise(row, 1, 4, column);   // a column becomes a row, read from the bottom
  EXPECT_EQ(std::vector<uint32_t>({4, 3, 2, 1}), std::vector<uint32_t>(column, column + 4));
}

// Two and three quarter turns are that many clockwise turns one after another.
TEST(QuarterTurns, EachCountIsThatManyClockwiseTurns) {
  std::vector<uint32_t> expected = numberedImage(4, 3), turned(12), next(12);
  for (int turns = 0; turns < 4; turns++) {
    turnQuarters(numberedImage(4, 3).data(), 4, 3, turns, turned.data());
    EXPECT_EQ(expected, turned) << turns;
    turnClockwise(expected.data(), turns % 2 ? 3 : 4, turns % 2 ? 4 : 3, next.data());
    expected.swap(next);
  }
}
