// The colour key and the processing rectangle, found in one pass over the
// input before it is copied to the output.
//
// FindProcessRect visits rowbytes / pixel size pixels per row (row padding
// included) for `height` rows. With the key on, pixels whose colour matches
// the key are overwritten with the all-zero pixel in the input itself. The
// rectangle is the bounding box of pixels with non-zero alpha that are not the
// key colour; left/top inclusive, right/bottom exclusive. An empty image gives
// left 0, top 0, right 1, bottom 1.
#pragma once

#include <cstdint>

#include "engine/pixel/pixel_model.h"

namespace corvalin {

struct ProcessRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

namespace detail {

inline bool KeyMatches(const PF_Pixel8& p, const PF_Pixel8& key) {
  return p.red == key.red && p.green == key.green && p.blue == key.blue;
}

// A 16-bit pixel is converted to 8 bits only when one of its colour channels
// lies above the 8-bit range; otherwise its raw values are compared.
inline bool KeyMatches(const PF_Pixel16& p, const PF_Pixel8& key) {
  if (p.red > 255 || p.green > 255 || p.blue > 255) {
    auto to8 = [](uint32_t c) {
      uint32_t c8 = (c * 255u + 16384u) / 32768u;
      return c8 > 255u ? 255u : c8;
    };
    return to8(p.red) == key.red && to8(p.green) == key.green && to8(p.blue) == key.blue;
  }
  return p.red == key.red && p.green == key.green && p.blue == key.blue;
}

template <class Pixel>
inline bool IsKeyColourRaw(const Pixel& p, const PF_Pixel8& key) {
  return p.red == key.red && p.green == key.green && p.blue == key.blue;
}

}  // namespace detail

template <class Pixel>
void FindProcessRect(Pixel* pixels, int32_t rowbytes, int32_t height, ProcessRect& rect,
                     bool useKey, const PF_Pixel8& keyColour) {
  const int32_t pixelsPerRow = rowbytes / static_cast<int32_t>(sizeof(Pixel));
  int32_t left = pixelsPerRow, right = 0, bottom = 0, top = 0;
  bool found = false;
  Pixel* p = pixels;
  for (int32_t j = 0; j < height; ++j) {
    if (!found) top = j;
    for (int32_t k = 0; k < pixelsPerRow; ++k, ++p) {
      bool counted;
      if (useKey) {
        if (detail::KeyMatches(*p, keyColour)) {
          *p = Pixel{};
          counted = false;
        } else {
          counted = p->alpha != 0;
        }
      } else {
        counted = !detail::IsKeyColourRaw(*p, keyColour) && p->alpha != 0;
      }
      if (counted) {
        found = true;
        if (k < left) left = k;
        if (k > right) right = k;
        if (j > bottom) bottom = j;
      }
    }
  }
  if (!found) {
    top = 0;
    left = 0;
  }
  rect.left = left;
  rect.top = top;
  rect.right = right + 1;
  rect.bottom = bottom + 1;
}

}  // namespace corvalin
