// The area-averaging scaler and the budget arithmetic, on rows made here with
// hand-computed averages.
#include <gtest/gtest.h>

#include <vector>

#include "comics/decode.h"
#include "comics/archive/memory.h"
#include "comics/codecs/scale.h"

namespace {

struct Pixel {
  uint8_t b, g, r, a;
};

// Scales `source` (width x height straight BGRA pixels, rows top down) to the
// target size and returns the target, or an empty vector when scaling failed.
std::vector<Pixel> scale(const std::vector<Pixel>& source, int32_t width, int32_t height, int32_t targetWidth,
                         int32_t targetHeight, RowLayout layout = STRAIGHT_BGRA) {
  std::vector<Pixel> target((size_t)targetWidth * targetHeight, Pixel{1, 2, 3, 4});
  ImageScaler scaler;
  if (!startScaling(&scaler, width, height, targetWidth, targetHeight, (uint8_t*)target.data())) return {};
  std::vector<Pixel> row(width);
  for (int32_t y = 0; y < height; y++) {
    std::copy(source.begin() + (size_t)y * width, source.begin() + (size_t)(y + 1) * width, row.begin());
    scaleRow(&scaler, (uint8_t*)row.data(), layout);
  }
  if (!finishScaling(&scaler)) return {};
  return target;
}

Pixel grey(uint8_t v) {
  return Pixel{v, v, v, 255};
}

void expectGrey(const Pixel& p, int value, const char* where) {
  EXPECT_EQ(p.b, value) << where;
  EXPECT_EQ(p.g, value) << where;
  EXPECT_EQ(p.r, value) << where;
  EXPECT_EQ(p.a, 255) << where;
}

TEST(ComicsDecodeScale, CheckerHalvesToGreyNotToOneOfItsColours) {
  // Nearest-neighbour scaling keeps one pixel of each 2x2 block (all black or
  // all white); averaging gives the grey between them.
  std::vector<Pixel> checker;
  for (int y = 0; y < 8; y++) {
    for (int x = 0; x < 8; x++) checker.push_back(grey((x + y) % 2 ? 255 : 0));
  }
  std::vector<Pixel> half = scale(checker, 8, 8, 4, 4);
  ASSERT_EQ(half.size(), 16u);
  for (const Pixel& p : half) expectGrey(p, 128, "2x2 block");   // 127.5 rounds up
  std::vector<Pixel> one = scale(checker, 8, 8, 1, 1);
  ASSERT_EQ(one.size(), 1u);
  expectGrey(one[0], 128, "whole checker");
}

TEST(ComicsDecodeScale, PartialPixelsCountByTheFractionCovered) {
  // Three columns 0, 90, 240 into two: each target pixel covers 1.5 source pixels,
  // (0 + 0.5 * 90) / 1.5 = 30 and (0.5 * 90 + 240) / 1.5 = 190.
  std::vector<Pixel> row = {grey(0), grey(90), grey(240)};
  std::vector<Pixel> two = scale(row, 3, 1, 2, 1);
  ASSERT_EQ(two.size(), 2u);
  expectGrey(two[0], 30, "left");
  expectGrey(two[1], 190, "right");
  // The same down a column.
  std::vector<Pixel> column = scale(row, 1, 3, 1, 2);
  ASSERT_EQ(column.size(), 2u);
  expectGrey(column[0], 30, "top");
  expectGrey(column[1], 190, "bottom");
}

TEST(ComicsDecodeScale, ExactTargetSizesWhateverTheRatio) {
  const int32_t sizes[][4] = {{7, 5, 3, 2}, {5, 7, 13, 11}, {100, 1, 1, 1}, {1, 100, 3, 300}, {640, 480, 639, 479}};
  for (const auto& s : sizes) {
    std::vector<Pixel> flat((size_t)s[0] * s[1], Pixel{10, 20, 30, 255});
    std::vector<Pixel> out = scale(flat, s[0], s[1], s[2], s[3]);
    ASSERT_EQ(out.size(), (size_t)s[2] * s[3]) << s[0] << "x" << s[1] << " to " << s[2] << "x" << s[3];
    for (const Pixel& p : out) {   // a flat area stays exact
      ASSERT_EQ(p.b, 10);
      ASSERT_EQ(p.g, 20);
      ASSERT_EQ(p.r, 30);
      ASSERT_EQ(p.a, 255);
    }
  }
}

TEST(ComicsDecodeScale, EnlargingRepeatsPixelsAndBlendsOnlyAtShared) {
  // Two pixels to five: target pixel 2 straddles both sources equally.
  std::vector<Pixel> row = {grey(0), grey(200)};
  std::vector<Pixel> five = scale(row, 2, 1, 5, 1);
  ASSERT_EQ(five.size(), 5u);
  expectGrey(five[0], 0, "0");
  expectGrey(five[1], 0, "1");
  expectGrey(five[2], 100, "2");
  expectGrey(five[3], 200, "3");
  expectGrey(five[4], 200, "4");
}

TEST(ComicsDecodeScale, HalfTransparentBlackBecomesMidGrey) {
  // Straight black at alpha 128 is premultiplied 0, 0, 0, 128; over white,
  // 0 + 255 - 128 = 127.
  std::vector<Pixel> one = {Pixel{0, 0, 0, 128}};
  std::vector<Pixel> same = scale(one, 1, 1, 1, 1);
  ASSERT_EQ(same.size(), 1u);
  expectGrey(same[0], 127, "copied");
  std::vector<Pixel> four(4, Pixel{0, 0, 0, 128});
  std::vector<Pixel> scaled = scale(four, 2, 2, 1, 1);
  ASSERT_EQ(scaled.size(), 1u);
  expectGrey(scaled[0], 127, "averaged");
  std::vector<Pixel> premultiplied = scale(one, 1, 1, 1, 1, PREMULTIPLIED_BGRA);
  expectGrey(premultiplied[0], 127, "already premultiplied");
}

TEST(ComicsDecodeScale, TransparentColourDoesNotBleedIntoOpaqueNeighbours) {
  // Averaging straight colour would let the invisible red of a transparent pixel
  // tint its white neighbour pink; premultiplied averaging leaves pure white.
  std::vector<Pixel> row = {Pixel{0, 0, 255, 0}, Pixel{255, 255, 255, 255}};
  std::vector<Pixel> one = scale(row, 2, 1, 1, 1);
  ASSERT_EQ(one.size(), 1u);
  expectGrey(one[0], 255, "white over white");
  // Red at half alpha over white: blue and green 255 - 128 = 127, red 128 + 127.
  std::vector<Pixel> rgba = {Pixel{255, 0, 0, 128}};   // bytes R, G, B, A: red
  std::vector<Pixel> red = scale(rgba, 1, 1, 1, 1, STRAIGHT_RGBA);
  EXPECT_EQ(red[0].b, 127);
  EXPECT_EQ(red[0].g, 127);
  EXPECT_EQ(red[0].r, 255);
}

TEST(ComicsDecodeScale, TransparentRowsComeOutWhite) {
  std::vector<uint8_t> target(3 * 2 * 4, 0);
  ImageScaler scaler;
  ASSERT_TRUE(startScaling(&scaler, 6, 4, 3, 2, target.data()));
  std::vector<Pixel> black(6, grey(0));
  scaleRow(&scaler, (uint8_t*)black.data(), STRAIGHT_BGRA);
  scaleTransparentRows(&scaler, 3);
  ASSERT_TRUE(finishScaling(&scaler));
  for (int x = 0; x < 3; x++) EXPECT_EQ(target[x * 4], 127) << "black over half the area";
  for (int x = 3; x < 6; x++) EXPECT_EQ(target[x * 4], 255) << "all transparent";
}

TEST(ComicsDecodeScale, MissingRowsAndBadSizesFail) {
  std::vector<uint8_t> target(4 * 4 * 4);
  ImageScaler scaler;
  ASSERT_TRUE(startScaling(&scaler, 8, 8, 4, 4, target.data()));
  std::vector<Pixel> row(8, grey(9));
  for (int y = 0; y < 7; y++) scaleRow(&scaler, (uint8_t*)row.data(), STRAIGHT_BGRA);
  EXPECT_FALSE(finishScaling(&scaler)) << "one row short";
  EXPECT_FALSE(startScaling(&scaler, 0, 8, 4, 4, target.data()));
  EXPECT_FALSE(startScaling(&scaler, 8, -1, 4, 4, target.data()));
  EXPECT_FALSE(startScaling(&scaler, 8, 8, 0, 4, target.data()));
  EXPECT_FALSE(startScaling(&scaler, LARGEST_SCALED_SIDE + 1, 1, 1, 1, target.data()));
  // Working rows beyond the image budget are refused, not allocated.
  EXPECT_FALSE(startScaling(&scaler, 1, 1, 1 << 26, 1, target.data()));
}

TEST(ComicsDecodeScale, NoMemoryFailsCleanly) {
  std::vector<uint8_t> target(3 * 3 * 4);
  ImageScaler scaler;
  for (int n = 0; n < 4; n++) {
    failNthAllocation(n);
    EXPECT_FALSE(startScaling(&scaler, 7, 7, 3, 3, target.data())) << "allocation " << n;
  }
  failNthAllocation(-1);
  ASSERT_TRUE(startScaling(&scaler, 7, 7, 3, 3, target.data()));
  abandonScaling(&scaler);
}

TEST(ComicsDecodeScale, BudgetFitKeepsAspectWithinTheBudget) {
  int32_t w = 0, h = 0;
  fitImageBudget(1600, 2400, &w, &h);
  EXPECT_EQ(w, 1600);
  EXPECT_EQ(h, 2400);
  fitImageBudget(24000, 24000, &w, &h);   // 2.3 GB at full size
  EXPECT_EQ(w, 8192);
  EXPECT_EQ(h, 8192);
  EXPECT_LE(imagePixelBytes(w, h), IMAGE_BUDGET_BYTES);
  fitImageBudget(20000, 10000, &w, &h);
  EXPECT_LE(imagePixelBytes(w, h), IMAGE_BUDGET_BYTES);
  EXPECT_GT(imagePixelBytes(w + 1, h + 1), IMAGE_BUDGET_BYTES) << "the largest within the budget";
  EXPECT_NEAR((double)w / h, 2.0, 0.001);
  fitImageBudget(2000000000, 1, &w, &h);   // 32-bit byte counts would wrap here
  EXPECT_EQ(h, 1);
  EXPECT_EQ((uint64_t)w, IMAGE_BUDGET_BYTES / 4);
  fitImageBudget(1, 2000000000, &w, &h);
  EXPECT_EQ(w, 1);
  EXPECT_EQ((uint64_t)h, IMAGE_BUDGET_BYTES / 4);
  EXPECT_EQ(imagePixelBytes(70000, 70000), 19600000000ull);
  EXPECT_EQ(imagePixelBytes(0, 5), 0u);
}

}   // namespace
