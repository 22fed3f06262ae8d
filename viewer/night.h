// Night mode's colour transform: the lightness of every pixel inverted, its hue
// kept, so that white paper turns dark, black text light and a red link stays
// red. Portable: it works on 32-bit pixels (blue, green, red, unused) in rows.
#ifndef BRISA_VIEWER_NIGHT_H
#define BRISA_VIEWER_NIGHT_H

#include <stdint.h>

// The luma white paper turns to; black turns to 255 - NIGHT_PAPER, so that
// mid-grey stays where it was.
enum { NIGHT_PAPER = 36 };

// One pixel, 0x00RRGGBB in and out (the top byte is kept).
uint32_t nightColour(uint32_t pixel);

// Turns the rectangle [x0, x1) x [y0, y1) of a top-down bitmap `width` pixels
// wide, clipped to the bitmap, in place.
void turnToNight(uint8_t* bits, int width, int height, int x0, int y0, int x1, int y1);

#endif
