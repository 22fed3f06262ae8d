// Lightness inverted, hue kept, in a luma and colour-difference space (as in
// Y'CbCr): the luma Y = (77 R + 150 G + 29 B) / 256 becomes its mirror image
// between NIGHT_PAPER and 255 - NIGHT_PAPER, while each channel keeps its
// difference to the luma. Adding one constant to the three channels keeps the
// hue exactly; where a channel would leave 0..255, the three differences are
// shrunk by one factor, which keeps the hue as well (never a per-channel
// clip, which turns saturated colours towards yellow, cyan or magenta).
#include "viewer/night.h"

#include <string.h>

enum { LUMA_RED = 77, LUMA_GREEN = 150, LUMA_BLUE = 29 };
static_assert(LUMA_RED + LUMA_GREEN + LUMA_BLUE == 256, "white has luma 255");

struct NightTables {
  bool built;
  uint16_t red[256], green[256], blue[256];   // each channel's share of the luma, x 256
  int16_t lift[256];                          // night luma - luma, by luma
  uint32_t inverse[256];                      // 65536 / k, for the shrink factor
};

static NightTables tables;

static void buildNightTables() {
  for (int i = 0; i < 256; i++) {
    tables.red[i] = (uint16_t)(LUMA_RED * i);
    tables.green[i] = (uint16_t)(LUMA_GREEN * i);
    tables.blue[i] = (uint16_t)(LUMA_BLUE * i);
    int night = NIGHT_PAPER + ((255 - i) * (255 - 2 * NIGHT_PAPER) + 127) / 255;
    tables.lift[i] = (int16_t)(night - i);
    tables.inverse[i] = i ? 65536u / (uint32_t)i : 0;
  }
  tables.built = true;
}

// The largest factor (16.16) by which a channel's difference to the luma may
// be multiplied and stay inside 0..255 around the night luma.
static uint32_t roomFor(int channel, int luma, int night) {
  int difference = channel - luma;
  if (difference > 0) return (uint32_t)(255 - night) * tables.inverse[difference];
  if (difference < 0) return (uint32_t)night * tables.inverse[-difference];
  return 0xFFFFFFFFu;
}

static int shrunk(int channel, int luma, int night, uint32_t factor) {
  int64_t value = night + (((int64_t)(channel - luma) * factor) >> 16);
  return value < 0 ? 0 : (value > 255 ? 255 : (int)value);
}

// A colour whose lifted channels leave the range: its differences shrunk.
static uint32_t nightOfSaturated(int r, int g, int b, int luma, int night) {
  uint32_t factor = roomFor(r, luma, night);
  uint32_t room = roomFor(g, luma, night);
  if (room < factor) factor = room;
  room = roomFor(b, luma, night);
  if (room < factor) factor = room;
  return (uint32_t)shrunk(r, luma, night, factor) << 16 | (uint32_t)shrunk(g, luma, night, factor) << 8 |
         (uint32_t)shrunk(b, luma, night, factor);
}

static uint32_t nightOf(uint32_t pixel) {
  int r = (pixel >> 16) & 255, g = (pixel >> 8) & 255, b = pixel & 255;
  int luma = (tables.red[r] + tables.green[g] + tables.blue[b]) >> 8;
  int lift = tables.lift[luma];
  int nr = r + lift, ng = g + lift, nb = b + lift;
  uint32_t rgb = ((nr | ng | nb) & ~255) == 0 ? (uint32_t)nr << 16 | (uint32_t)ng << 8 | (uint32_t)nb
                                              : nightOfSaturated(r, g, b, luma, luma + lift);
  return (pixel & 0xFF000000u) | rgb;
}

uint32_t nightColour(uint32_t pixel) {
  if (!tables.built) buildNightTables();
  return nightOf(pixel);
}

// Runs of one colour (paper, text) are the rule on a page: the last pixel's
// answer is reused while the input repeats.
void turnToNight(uint8_t* bits, int width, int height, int x0, int y0, int x1, int y1) {
  if (!tables.built) buildNightTables();
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > width) x1 = width;
  if (y1 > height) y1 = height;
  if (x0 >= x1 || y0 >= y1) return;
  uint32_t last = 0xFFFFFFFFu, lastNight = nightOf(last);
  for (int y = y0; y < y1; y++) {
    uint8_t* pixel = bits + ((size_t)y * (size_t)width + (size_t)x0) * 4;
    for (int x = x0; x < x1; x++, pixel += 4) {
      uint32_t value;
      memcpy(&value, pixel, 4);
      if (value != last) {
        last = value;
        lastNight = nightOf(value);
      }
      memcpy(pixel, &lastNight, 4);
    }
  }
}
