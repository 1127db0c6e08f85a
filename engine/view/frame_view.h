// A frame as the engine renders it: pixels in rows, top row first, each row
// `rowBytes` after the one above. Adapters describe their buffers with it
// and never build host records; the engine checks every view in
// FrameViewProblem before it touches a pixel.
//
// The engine indexes a frame's pixels with signed 32-bit integers, row
// padding included (index = y x stride + x), and keeps a row's byte count in
// one too. Sizes are 64-bit here so that whatever a caller was given (an
// array's shape, a host's unsigned sizes) reaches the check unchanged
// instead of wrapping on the way in.
#pragma once

#include <cstdint>
#include <string>

#include "sdk/AE_Effect.h"

namespace corvalin {

// The engine's pixels, for adapters that hold no host records.
using Pixel8 = PF_Pixel8;
using Pixel16 = PF_Pixel16;

// The most pixels a frame may span, row padding included, and the most bytes
// of a row: the engine holds indices and row byte counts in signed 32 bits.
inline constexpr int64_t kMaxFrameIndex = INT32_MAX;

struct FrameView {
  // Written by the render: the colour key rewrites the input's pixels.
  void* pixels = nullptr;
  int64_t width = 0;
  int64_t height = 0;
  int64_t rowBytes = 0;  // a whole number of pixels, padding included
  int depth = 8;         // bits per channel: 8 (Pixel8) or 16 (Pixel16)
};

template <class Pixel>
inline constexpr int kDepthOf = sizeof(Pixel) == sizeof(Pixel16) ? 16 : 8;

// Bytes of one pixel at `depth` bits per channel (8 or 16).
constexpr int64_t PixelBytesAt(int depth) { return depth == 16 ? 8 : 4; }

// A frame whose rows follow each other without padding.
template <class Pixel>
FrameView PackedView(Pixel* pixels, int64_t width, int64_t height) {
  return FrameView{pixels, width, height, width * int64_t{sizeof(Pixel)}, kDepthOf<Pixel>};
}

// Why the engine cannot address a frame of this geometry, or "" when it can:
// width and height at least 0, a row of at least width pixels and a whole
// number of them, at most kMaxFrameIndex bytes, and (row stride in pixels) x
// height at most kMaxFrameIndex, at a depth of 8 or 16. For sizing buffers
// before they exist.
[[nodiscard]] std::string FrameGeometryProblem(int64_t width, int64_t height, int64_t rowBytes,
                                               int depth);

// FrameGeometryProblem for rows without padding, for any width a caller
// holds (the row's byte count is not formed where it would overflow).
[[nodiscard]] std::string PackedFrameProblem(int64_t width, int64_t height, int depth);

// Why the engine cannot render `input` into `output`, or "" when it can: a
// depth of 8 or 16, the same for both, pixels present, one size, and the
// geometry of each. The message names the view, the value and the valid range.
[[nodiscard]] std::string FrameViewProblem(const FrameView& input, const FrameView& output);

}  // namespace corvalin
