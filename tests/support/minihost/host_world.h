// Buffers for the tests' host: pixels the host owns, described to the
// effect as a world, rows padded as hosts pad them.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "host/module_host/world_over.h"
#include "sdk/AE_Effect.h"

namespace corvalin::minihost {

using modulehost::WorldOver;

// Asks HostWorld to leave its pixels as allocated.
struct Uninitialised {};

// Leaves default-constructed elements uninitialised (pixels are plain data).
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  DefaultInitAllocator() = default;
  template <class U>
  DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    if constexpr (sizeof...(Args) == 0) {
      ::new (static_cast<void*>(p)) U;
    } else {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
  }
};

// Host-owned pixels; each row is followed by rowPadding all-zero pixels.
template <class Pixel>
class HostWorld {
 public:
  // All pixels zero. Throws std::invalid_argument for negative sizes or a
  // buffer beyond what a signed 32-bit pixel index reaches.
  HostWorld(int32_t width, int32_t height, int32_t rowPadding = 0);
  // The same, with the pixels (padding included) left as allocated, for a
  // caller that writes all of them: no page is touched before it is used.
  HostWorld(int32_t width, int32_t height, int32_t rowPadding, Uninitialised);
  HostWorld(const HostWorld& other);
  HostWorld& operator=(const HostWorld& other);

  Pixel& at(int32_t x, int32_t y) { return pixels_[Index(x, y)]; }
  const Pixel& at(int32_t x, int32_t y) const { return pixels_[Index(x, y)]; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t stride() const { return stride_; }  // pixels per row, padding included
  Pixel* pixels() { return pixels_.data(); }
  const Pixel* pixels() const { return pixels_.data(); }
  PF_EffectWorld& world() { return world_; }

 private:
  size_t Index(int32_t x, int32_t y) const {
    return static_cast<size_t>(y) * static_cast<size_t>(stride_) + static_cast<size_t>(x);
  }
  void BindWorld();
  void Allocate(int32_t rowPadding, bool zero);

  int32_t width_, height_, stride_;
  std::vector<Pixel, DefaultInitAllocator<Pixel>> pixels_;
  PF_EffectWorld world_{};
};

extern template class HostWorld<PF_Pixel8>;
extern template class HostWorld<PF_Pixel16>;

}  // namespace corvalin::minihost
