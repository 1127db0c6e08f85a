// The command's frame buffers: the pixels of one frame at the render depth,
// rows padded as a host pads them, described to the effect as a world and
// to the engine as a view.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "engine/view/frame_view.h"
#include "host/module_host/world_over.h"
#include "sdk/AE_Effect.h"

namespace corvalin::cli {

// `width` x `height` pixels, each row followed by `rowPadding` pixels. The
// pixels are left as allocated, so that no page is touched before the
// decoder or the render writes it; only the padding is zeroed, as hosts hand
// it over. The caller has checked the size (CheckFrameSize).
template <class Pixel>
class FrameBuffer {
 public:
  FrameBuffer(int32_t width, int32_t height, int32_t rowPadding)
      : width_(width), height_(height), stride_(width + rowPadding),
        // At least one pixel, so that even an empty frame has a pixel base.
        pixels_(std::make_unique_for_overwrite<Pixel[]>(
            std::max<size_t>(1, static_cast<size_t>(stride_) * static_cast<size_t>(height)))),
        world_(modulehost::WorldOver(pixels_.get(), width_, height_, stride_)) {
    ClearPadding();
  }
  FrameBuffer(const FrameBuffer&) = delete;
  FrameBuffer& operator=(const FrameBuffer&) = delete;

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t stride() const { return stride_; }  // pixels per row, padding included
  Pixel* pixels() { return pixels_.get(); }
  const Pixel* pixels() const { return pixels_.get(); }
  Pixel& at(int32_t x, int32_t y) { return pixels_[Index(x, y)]; }
  const Pixel& at(int32_t x, int32_t y) const { return pixels_[Index(x, y)]; }
  // The frame as the module sees it, and as the engine sees it.
  PF_EffectWorld& world() { return world_; }
  FrameView view() {
    return FrameView{pixels_.get(), width_, height_, int64_t{stride_} * int64_t{sizeof(Pixel)},
                     kDepthOf<Pixel>};
  }

  // Zeroes the pixels after each row again: a render may leave corner
  // markers there.
  void ClearPadding() {
    for (int32_t y = 0; y < height_; ++y) {
      Pixel* row = pixels_.get() + Index(0, y);
      std::fill(row + width_, row + stride_, Pixel{});
    }
  }

 private:
  size_t Index(int32_t x, int32_t y) const {
    return static_cast<size_t>(y) * static_cast<size_t>(stride_) + static_cast<size_t>(x);
  }

  int32_t width_, height_, stride_;
  std::unique_ptr<Pixel[]> pixels_;
  PF_EffectWorld world_;
};

// The one choice of pixel type by render depth: calls `visit` with a pixel of
// 16 bits per channel for a depth of 16, else with one of 8.
template <class Visit>
decltype(auto) AtRenderDepth(int depth, Visit&& visit) {
  if (depth == 16) return visit(PF_Pixel16{});
  return visit(PF_Pixel8{});
}

// Bytes of one render pixel at `depth`.
inline int RenderPixelBytes(int depth) {
  return AtRenderDepth(depth, [](auto pixel) { return static_cast<int>(sizeof pixel); });
}

}  // namespace corvalin::cli
