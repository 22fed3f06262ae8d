// Lightness inverted, hue kept, in a luma and colour-difference space (as in
// Y'CbCr): the luma Y = (77 R + 150 G + 29 B) / 256 becomes its mirror image
// between NIGHT_PAPER and 255 - NIGHT_PAPER, while each channel keeps its
// difference to the luma. Adding one constant to the three channels keeps the
// hue exactly; where a channel would leave 0..255, the three differences are
// shrunk by one factor, which keeps the hue as well (never a per-channel
// clip, which turns saturated colours towards yellow, cyan or magenta).
#include "viewer/night.h"

#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
// Four pixels at once, exactly as nightOf does them. The night luma is
// NIGHT_PAPER + ((255 - Y) * (255 - 2 NIGHT_PAPER) + 127) / 255, the division
// done as (x + 1 + (x >> 8)) >> 8, which is exact below 65535. Returns false
// when a lifted channel leaves 0..255 (a saturated colour): the caller then
// takes those pixels one by one.
static bool nightOfFour(uint8_t* pixels) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i weights = _mm_setr_epi16(LUMA_BLUE, LUMA_GREEN, LUMA_RED, 0, LUMA_BLUE, LUMA_GREEN, LUMA_RED, 0);
  const __m128i white = _mm_set1_epi32(255), span = _mm_set1_epi32(255 - 2 * NIGHT_PAPER);
  const __m128i half = _mm_set1_epi32(127), one = _mm_set1_epi32(1), paper = _mm_set1_epi32(NIGHT_PAPER);
  const __m128i colourLanes = _mm_setr_epi16(-1, -1, -1, 0, -1, -1, -1, 0);   // the unused byte is kept
  const __m128i lowHalves = _mm_set1_epi32(0xFFFF);
  __m128i day = _mm_loadu_si128((const __m128i*)pixels);
  __m128i low = _mm_unpacklo_epi8(day, zero), high = _mm_unpackhi_epi8(day, zero);
  // Luma x 256 of each pixel, in 32-bit lanes 0 and 2 of each half.
  __m128i sumLow = _mm_madd_epi16(low, weights), sumHigh = _mm_madd_epi16(high, weights);
  sumLow = _mm_add_epi32(sumLow, _mm_srli_epi64(sumLow, 32));
  sumHigh = _mm_add_epi32(sumHigh, _mm_srli_epi64(sumHigh, 32));
  __m128i luma = _mm_srli_epi32(
      _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(sumLow), _mm_castsi128_ps(sumHigh), _MM_SHUFFLE(2, 0, 2, 0))),
      8);   // the four lumas
  __m128i x = _mm_add_epi32(_mm_mullo_epi16(_mm_sub_epi32(white, luma), span), half);
  __m128i night = _mm_add_epi32(paper, _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(x, one), _mm_srli_epi32(x, 8)), 8));
  __m128i lift = _mm_sub_epi32(night, luma);
  // Each pixel's lift in the 16-bit lanes of its three channels.
  lift = _mm_or_si128(_mm_and_si128(lift, lowHalves), _mm_slli_epi32(lift, 16));
  __m128i liftLow = _mm_and_si128(_mm_unpacklo_epi32(lift, lift), colourLanes);
  __m128i liftHigh = _mm_and_si128(_mm_unpackhi_epi32(lift, lift), colourLanes);
  __m128i nightLow = _mm_add_epi16(low, liftLow), nightHigh = _mm_add_epi16(high, liftHigh);
  // Out of 0..255 (negative ones wrap high): some bit above the low byte.
  __m128i above = _mm_srli_epi16(_mm_or_si128(nightLow, nightHigh), 8);
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(above, zero)) != 0xFFFF) return false;
  _mm_storeu_si128((__m128i*)pixels, _mm_packus_epi16(nightLow, nightHigh));
  return true;
}
#endif

static void turnPixelsOneByOne(uint8_t* pixel, int count) {
  for (int x = 0; x < count; x++, pixel += 4) {
    uint32_t value;
    memcpy(&value, pixel, 4);
    value = nightOf(value);
    memcpy(pixel, &value, 4);
  }
}

// Runs of one colour (paper, text) are the rule on a page: four pixels equal
// to the last four take their answer again.
static void turnRowToNight(uint8_t* pixel, int count) {
  int x = 0;
#if defined(__SSE2__)
  __m128i lastDay = _mm_set1_epi32(-1), lastNight = _mm_set1_epi32((int)nightOf(0xFFFFFFFFu));
  for (; x + 4 <= count; x += 4, pixel += 16) {
    __m128i day = _mm_loadu_si128((const __m128i*)pixel);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(day, lastDay)) == 0xFFFF) {
      _mm_storeu_si128((__m128i*)pixel, lastNight);
      continue;
    }
    if (!nightOfFour(pixel)) turnPixelsOneByOne(pixel, 4);
    lastDay = day;
    lastNight = _mm_loadu_si128((const __m128i*)pixel);
  }
#endif
  turnPixelsOneByOne(pixel, count - x);
}

void turnToNight(uint8_t* bits, int width, int height, int x0, int y0, int x1, int y1) {
  if (!tables.built) buildNightTables();
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > width) x1 = width;
  if (y1 > height) y1 = height;
  if (x0 >= x1 || y0 >= y1) return;
  for (int y = y0; y < y1; y++) turnRowToNight(bits + ((size_t)y * (size_t)width + (size_t)x0) * 4, x1 - x0);
}
