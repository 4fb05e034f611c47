// A rectangle in pixels: right and bottom are exclusive, the layout of the
// platform's RECT.
#pragma once

#include <cstdint>

struct Rect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};
