#include "tests/support/minihost/host_world.h"

#include <stdexcept>
#include <string>

#include "engine/view/frame_view.h"

namespace corvalin::minihost {

template <class Pixel>
HostWorld<Pixel>::HostWorld(int32_t width, int32_t height, int32_t rowPadding)
    : width_(width), height_(height), stride_(0) {
  Allocate(rowPadding, true);
}

template <class Pixel>
HostWorld<Pixel>::HostWorld(int32_t width, int32_t height, int32_t rowPadding, Uninitialised)
    : width_(width), height_(height), stride_(0) {
  Allocate(rowPadding, false);
}

template <class Pixel>
void HostWorld<Pixel>::Allocate(int32_t rowPadding, bool zero) {
  const int32_t width = width_, height = height_;
  if (width < 0 || height < 0 || rowPadding < 0) {
    throw std::invalid_argument("image width, height and row padding must be 0 or more (got " +
                                std::to_string(width) + ", " + std::to_string(height) + ", " +
                                std::to_string(rowPadding) + ")");
  }
  const int64_t stride = int64_t{width} + rowPadding;
  const std::string problem =
      FrameGeometryProblem(width, height, stride * int64_t{sizeof(Pixel)}, kDepthOf<Pixel>);
  if (!problem.empty()) throw std::invalid_argument(problem);
  stride_ = static_cast<int32_t>(stride);
  // At least one pixel, so that even an empty image has a pixel base.
  const size_t count = static_cast<size_t>(stride) * static_cast<size_t>(height);
  if (zero) {
    pixels_.assign(count > 0 ? count : 1, Pixel{});
  } else {
    pixels_.resize(count > 0 ? count : 1);
  }
  BindWorld();
}

template <class Pixel>
HostWorld<Pixel>::HostWorld(const HostWorld& other)
    : width_(other.width_), height_(other.height_), stride_(other.stride_), pixels_(other.pixels_) {
  BindWorld();
}

template <class Pixel>
HostWorld<Pixel>& HostWorld<Pixel>::operator=(const HostWorld& other) {
  width_ = other.width_;
  height_ = other.height_;
  stride_ = other.stride_;
  pixels_ = other.pixels_;
  BindWorld();
  return *this;
}

template <class Pixel>
void HostWorld<Pixel>::BindWorld() {
  world_ = WorldOver(pixels_.data(), width_, height_, stride_);
}

template class HostWorld<PF_Pixel8>;
template class HostWorld<PF_Pixel16>;

}  // namespace corvalin::minihost
