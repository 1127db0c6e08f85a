// Moving pictures between OpenFX images and the engine's frames.
//
// An OpenFX image is addressed bottom row first: `data` is the pixel at
// (bounds.x1, bounds.y1), the bottom-left one, and rowBytes (signed, possibly
// padded) steps to the row above. The engine's frames are top row first with
// packed rows, as the corvalin command renders a picture, so the picture's
// top row (y = bounds.y2 - 1) becomes the frame's row 0, and the corner
// markers land where the command puts them.
//
// Components are R, G, B(, A) in memory. RGB images read as fully opaque and
// are written back without alpha. Components are read and written with
// memcpy: a host may pad rows to any byte count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/pixel/pixel_model.h"
#include "ofx/ofx_api.h"
#include "effect/pixel_convert.h"
#include "sdk/AE_Effect.h"

namespace corvalin::ofx {

enum class Depth { byte, short16, float32 };
enum class Components { rgba, rgb };

struct ImageView {
  unsigned char* data = nullptr;
  OfxRectI bounds{};
  int rowBytes = 0;
  Depth depth = Depth::byte;
  Components components = Components::rgba;
};

constexpr int64_t ComponentBytes(Depth depth) {
  return depth == Depth::byte ? 1 : depth == Depth::short16 ? 2 : 4;
}
constexpr int64_t ComponentCount(Components components) {
  return components == Components::rgba ? 4 : 3;
}
constexpr int64_t PixelBytes(const ImageView& image) {
  return ComponentBytes(image.depth) * ComponentCount(image.components);
}

constexpr int64_t Width(const OfxRectI& r) { return int64_t{r.x2} - r.x1; }
constexpr int64_t Height(const OfxRectI& r) { return int64_t{r.y2} - r.y1; }
constexpr bool IsEmpty(const OfxRectI& r) { return r.x2 <= r.x1 || r.y2 <= r.y1; }
constexpr bool Contains(const OfxRectI& outer, const OfxRectI& inner) {
  return inner.x1 >= outer.x1 && inner.y1 >= outer.y1 && inner.x2 <= outer.x2 &&
         inner.y2 <= outer.y2;
}

// Why the pixels of `image` cannot be addressed, or null when they can: the
// bounds must not be inverted, and a row must hold its pixels.
inline const char* LayoutProblem(const ImageView& image) {
  if (Width(image.bounds) < 0 || Height(image.bounds) < 0) return "its bounds are inverted";
  if (IsEmpty(image.bounds)) return nullptr;
  if (image.data == nullptr) return "it has no pixel data";
  const int64_t rowBytes = image.rowBytes < 0 ? -int64_t{image.rowBytes} : image.rowBytes;
  if (rowBytes < Width(image.bounds) * PixelBytes(image))
    return "its row bytes do not hold a row of its bounds";
  return nullptr;
}

// The first byte of the pixel at (x, y), which the caller has checked lies
// inside the bounds.
inline unsigned char* PixelAddress(const ImageView& image, int x, int y) {
  return image.data + (static_cast<ptrdiff_t>(y) - image.bounds.y1) * image.rowBytes +
         (static_cast<ptrdiff_t>(x) - image.bounds.x1) * static_cast<ptrdiff_t>(PixelBytes(image));
}

namespace frame_detail {

// One component type and the render pixel it feeds.
template <Depth D>
struct Codec;

template <>
struct Codec<Depth::byte> {
  using Component = uint8_t;
  using Pixel = PF_Pixel8;
  static uint8_t In(uint8_t v) { return v; }
  static uint8_t Out(uint8_t v) { return v; }
};

template <>
struct Codec<Depth::short16> {
  using Component = uint16_t;
  using Pixel = PF_Pixel16;
  static uint16_t In(uint16_t v) { return FileToChannel16(v, 16); }
  static uint16_t Out(uint16_t v) { return Channel16ToFile(v); }
};

template <>
struct Codec<Depth::float32> {
  using Component = float;
  using Pixel = PF_Pixel16;
  static uint16_t In(float v) { return FloatToChannel16(v); }
  static float Out(uint16_t v) { return Channel16ToFloat(v); }
};

template <class Component>
Component Read(const unsigned char* p, int i) {
  Component c;
  std::memcpy(&c, p + i * static_cast<int>(sizeof c), sizeof c);
  return c;
}

template <class Component>
void Write(unsigned char* p, int i, Component c) {
  std::memcpy(p + i * static_cast<int>(sizeof c), &c, sizeof c);
}

}  // namespace frame_detail

// The render pixel type of an image depth.
template <Depth D>
using PixelOf = typename frame_detail::Codec<D>::Pixel;

// Fills `frame` (Width x Height of the image's bounds, top row first, packed)
// from the image. The image's layout must have been checked.
template <Depth D>
void LoadFrame(const ImageView& image, PixelOf<D>* frame) {
  using C = frame_detail::Codec<D>;
  using Comp = typename C::Component;
  using Pixel = PixelOf<D>;
  using Channel = typename PixelTraits<Pixel>::Channel;
  const bool hasAlpha = image.components == Components::rgba;
  const int64_t pixelBytes = PixelBytes(image);
  const int32_t width = static_cast<int32_t>(Width(image.bounds));
  for (int y = image.bounds.y2 - 1; y >= image.bounds.y1; --y) {
    const unsigned char* p = PixelAddress(image, image.bounds.x1, y);
    for (int32_t x = 0; x < width; ++x, p += pixelBytes, ++frame) {
      frame->red = static_cast<Channel>(C::In(frame_detail::Read<Comp>(p, 0)));
      frame->green = static_cast<Channel>(C::In(frame_detail::Read<Comp>(p, 1)));
      frame->blue = static_cast<Channel>(C::In(frame_detail::Read<Comp>(p, 2)));
      frame->alpha = hasAlpha ? static_cast<Channel>(C::In(frame_detail::Read<Comp>(p, 3)))
                              : static_cast<Channel>(ChannelMax<Pixel>());
    }
  }
}

// Writes the pixels of `window` into `image`: those inside `frameBounds` from
// the rendered frame (laid out as LoadFrame lays out an image of those
// bounds), the others black and transparent. The window must lie inside the
// image's bounds, whose layout must have been checked.
template <Depth D>
void StoreWindow(const PixelOf<D>* frame, const OfxRectI& frameBounds, const ImageView& image,
                 const OfxRectI& window) {
  using C = frame_detail::Codec<D>;
  using Pixel = PixelOf<D>;
  const bool hasAlpha = image.components == Components::rgba;
  const int64_t pixelBytes = PixelBytes(image);
  const int64_t frameWidth = Width(frameBounds);
  for (int y = window.y1; y < window.y2; ++y) {
    unsigned char* p = PixelAddress(image, window.x1, y);
    const bool rowInFrame = y >= frameBounds.y1 && y < frameBounds.y2;
    const Pixel* frameRow = rowInFrame ? frame + (int64_t{frameBounds.y2} - 1 - y) * frameWidth
                                       : nullptr;
    for (int x = window.x1; x < window.x2; ++x, p += pixelBytes) {
      Pixel pixel{};
      if (rowInFrame && x >= frameBounds.x1 && x < frameBounds.x2)
        pixel = frameRow[int64_t{x} - frameBounds.x1];
      frame_detail::Write(p, 0, C::Out(pixel.red));
      frame_detail::Write(p, 1, C::Out(pixel.green));
      frame_detail::Write(p, 2, C::Out(pixel.blue));
      if (hasAlpha) frame_detail::Write(p, 3, C::Out(pixel.alpha));
    }
  }
}

}  // namespace corvalin::ofx
