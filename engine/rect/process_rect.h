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

#include <cstddef>
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

// What one pass over a run of rows found: the bounding box of the counted
// pixels (right and bottom inclusive here), and whether there were any.
struct ContentBounds {
  bool found = false;
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Keys and measures rows rowBegin <= j < rowEnd of pixelsPerRow pixels each.
template <class Pixel>
ContentBounds FindContentRows(Pixel* pixels, int32_t pixelsPerRow, int32_t rowBegin, int32_t rowEnd,
                              bool useKey, const PF_Pixel8& keyColour) {
  ContentBounds bounds;
  bounds.left = pixelsPerRow;
  auto count = [&bounds](int32_t k, int32_t j) {
    bounds.found = true;
    if (k < bounds.left) bounds.left = k;
    if (k > bounds.right) bounds.right = k;
    if (j > bounds.bottom) bounds.bottom = j;
  };
  for (int32_t j = rowBegin; j < rowEnd; ++j) {
    if (!bounds.found) bounds.top = j;
    Pixel* row = pixels + static_cast<ptrdiff_t>(j) * pixelsPerRow;
    if (useKey) {
      for (int32_t k = 0; k < pixelsPerRow; ++k) {
        if (detail::KeyMatches(row[k], keyColour))
          row[k] = Pixel{};
        else if (row[k].alpha != 0)
          count(k, j);
      }
    } else {
      // Nothing is written, so only the outermost counted pixels of the row
      // matter: walk in from both ends.
      auto counted = [&](int32_t k) {
        return row[k].alpha != 0 && !detail::IsKeyColourRaw(row[k], keyColour);
      };
      int32_t first = 0;
      while (first < pixelsPerRow && !counted(first)) ++first;
      if (first == pixelsPerRow) continue;
      int32_t last = pixelsPerRow - 1;
      while (!counted(last)) --last;
      count(first, j);
      count(last, j);
    }
  }
  return bounds;
}

// Joins the bounds of consecutive row runs, the upper run first.
inline ContentBounds JoinContentBounds(const ContentBounds& upper, const ContentBounds& lower) {
  if (!upper.found) return lower.found ? lower : upper;
  if (!lower.found) return upper;
  ContentBounds joined = upper;
  if (lower.left < joined.left) joined.left = lower.left;
  if (lower.right > joined.right) joined.right = lower.right;
  if (lower.bottom > joined.bottom) joined.bottom = lower.bottom;
  return joined;
}

inline ProcessRect ProcessRectFromBounds(const ContentBounds& bounds) {
  if (!bounds.found) return ProcessRect{0, 0, 1, 1};
  return ProcessRect{bounds.left, bounds.top, bounds.right + 1, bounds.bottom + 1};
}

template <class Pixel>
void FindProcessRect(Pixel* pixels, int32_t rowbytes, int32_t height, ProcessRect& rect,
                     bool useKey, const PF_Pixel8& keyColour) {
  const int32_t pixelsPerRow = rowbytes / static_cast<int32_t>(sizeof(Pixel));
  rect = ProcessRectFromBounds(FindContentRows(pixels, pixelsPerRow, 0, height, useKey, keyColour));
}

}  // namespace corvalin
