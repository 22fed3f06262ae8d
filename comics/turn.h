// Quarter turns of 32-bit images (rows top down, no padding): the comic pages
// turned on screen and the sheets of printing. Portable.
#ifndef BRISA_COMICS_TURN_H
#define BRISA_COMICS_TURN_H

#include <stdint.h>

// Turns a width x height image a quarter turn clockwise into target, which is
// then `height` pixels wide and `width` high.
void turnClockwise(const uint32_t* source, int width, int height, uint32_t* target);

// Turns the image `quarterTurns` (0 to 3) quarter turns clockwise into target:
// `height` wide and `width` high after an odd number of turns.
void turnQuarters(const uint32_t* source, int width, int height, int quarterTurns, uint32_t* target);

#endif
