#include "comics/turn.h"

#include <string.h>

// Source row r, column c lands on target row c, column height - 1 - r.
void turnClockwise(const uint32_t* source, int width, int height, uint32_t* target) {
  for (int c = 0; c < width; c++) {
    uint32_t* targetRow = target + (size_t)c * (size_t)height;
    for (int r = 0; r < height; r++) targetRow[height - 1 - r] = source[(size_t)r * (size_t)width + c];
  }
}

// Source row r, column c lands on target row width - 1 - c, column r.
static void turnCounterClockwise(const uint32_t* source, int width, int height, uint32_t* target) {
  for (int c = 0; c < width; c++) {
    uint32_t* targetRow = target + (size_t)(width - 1 - c) * (size_t)height;
    for (int r = 0; r < height; r++) targetRow[r] = source[(size_t)r * (size_t)width + c];
  }
}

// A half turn reads the pixels backwards.
static void turnHalf(const uint32_t* source, int width, int height, uint32_t* target) {
  size_t count = (size_t)width * (size_t)height;
  for (size_t i = 0; i < count; i++) target[count - 1 - i] = source[i];
}

void turnQuarters(const uint32_t* source, int width, int height, int quarterTurns, uint32_t* target) {
  if (width <= 0 || height <= 0) return;
  switch (quarterTurns & 3) {
    case 0:
      memcpy(target, source, (size_t)width * (size_t)height * 4);
      break;
    case 1:
      turnClockwise(source, width, height, target);
      break;
    case 2:
      turnHalf(source, width, height, target);
      break;
    case 3:
      turnCounterClockwise(source, width, height, target);
      break;
  }
}
