// Night mode's colour transform: lightness inverted, hue kept.
#include <gtest/gtest.h>
#include <math.h>
#include <vector>
#include "viewer/night.h"

namespace {

double hueOf(uint32_t rgb) {
  double r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
  return atan2(sqrt(3.0) * (g - b), 2 * r - g - b) * 180 / M_PI;
}

double lumaOf(uint32_t rgb) {
  return 0.299 * ((rgb >> 16) & 255) + 0.587 * ((rgb >> 8) & 255) + 0.114 * (rgb & 255);
}

double hueDistance(double a, double b) {
  double d = fabs(a - b);
  return d > 180 ? 360 - d : d;
}

}   // namespace

TEST(NightColour, GreysMirrorAroundMidGrey) {
  struct Case {
    uint32_t day;
    int low, high;   // the night grey's range
  } cases[] = {
      {0xFFFFFF, NIGHT_PAPER - 1, NIGHT_PAPER + 1},               // paper turns near black
      {0x000000, 255 - NIGHT_PAPER - 1, 255 - NIGHT_PAPER + 1},   // text near white
      {0x808080, 126, 129},                                       // mid-grey stays
      {0xC0C0C0, 80, 90},
  };
  for (const Case& c : cases) {
    uint32_t night = nightColour(c.day);
    int r = (night >> 16) & 255, g = (night >> 8) & 255, b = night & 255;
    EXPECT_TRUE(r == g && g == b) << std::hex << c.day << " -> " << night;
    EXPECT_GE(r, c.low) << std::hex << c.day;
    EXPECT_LE(r, c.high) << std::hex << c.day;
  }
}

// Saturated colours keep their hue within two degrees while light and dark swap.
TEST(NightColour, ColoursKeepTheirHue) {
  const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFF8000, 0x000080, 0x0645AD, 0xFFE6B3, 0x7F2040};
  for (uint32_t day : colours) {
    uint32_t night = nightColour(day);
    EXPECT_LT(hueDistance(hueOf(day), hueOf(night)), 2.0) << std::hex << day << " -> " << night;
    if (lumaOf(day) < 100) EXPECT_GT(lumaOf(night), 127) << std::hex << day << " -> " << night;
    if (lumaOf(day) > 160) EXPECT_LT(lumaOf(night), 127) << std::hex << day << " -> " << night;
  }
  uint32_t red = nightColour(0xFF0000);
  EXPECT_GT((red >> 16) & 255, 200u);   // still a red: the strongest channel stays red
  EXPECT_LT((red >> 8) & 255, 160u);
  EXPECT_EQ(0xAB000000u, nightColour(0xABFFFFFF) & 0xFF000000u);   // the unused byte is kept
}

// Only the clipped rectangle changes, every pixel of it as nightColour says.
TEST(NightColour, TurnsOnlyTheRectangleInsideTheBitmap) {
  const int width = 6, height = 4;
  std::vector<uint32_t> pixels(width * height, 0xFFFFFFFF);
  pixels[1 * width + 4] = 0xFF0000FF;
  turnToNight((uint8_t*)pixels.data(), width, height, 3, -5, 99, 2);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) {
      bool inside = x >= 3 && y < 2;
      uint32_t day = y == 1 && x == 4 ? 0xFF0000FF : 0xFFFFFFFF;
      EXPECT_EQ(inside ? nightColour(day) : day, pixels[y * width + x]) << x << "," << y;
    }
  turnToNight((uint8_t*)pixels.data(), width, height, 5, 3, 2, 9);   // empty: nothing
}

// The row pass (four pixels at a time where it can) gives each pixel exactly
// what nightColour gives it: every grey, colours that saturate, random pixels,
// and a row length that leaves a remainder.
TEST(NightColour, TheRowPassAgreesWithThePixelRule) {
  std::vector<uint32_t> day;
  for (uint32_t g = 0; g < 256; g++) day.push_back(0xFF000000u | g * 0x010101u);
  const uint32_t saturated[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0x12FF0000, 0xFFFFE6B3};
  day.insert(day.end(), saturated, saturated + 7);
  uint32_t seed = 12345;
  for (int i = 0; i < 200003; i++) {
    seed = seed * 1664525u + 1013904223u;
    day.push_back(seed);
  }
  std::vector<uint32_t> night = day;
  turnToNight((uint8_t*)night.data(), (int)night.size(), 1, 0, 0, (int)night.size(), 1);
  for (size_t i = 0; i < day.size(); i++) ASSERT_EQ(nightColour(day[i]), night[i]) << std::hex << day[i] << " at " << i;
}
