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
//
// Premultiplied pictures cross here too, by effect/associated_alpha.h: a
// float image is unpremultiplied as float samples before they become render
// channels, and premultiplied as float samples made from them; byte and
// short images are unpremultiplied on the render pixels just read and
// premultiplied on the render pixels about to be written. Both happen inside
// the one conversion of each row (the vector one for RGBA, as for straight
// images), on the host's threads, so a premultiplied image costs about what
// a straight one does.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "effect/associated_alpha.h"
#include "effect/sample_convert.h"
#include "engine/pixel/pixel_model.h"
#include "engine/view/frame_view.h"
#include "ofx/ofx_api.h"

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

// Why the pixels of `image` cannot be addressed, or an empty string when they
// can. Every value comes from the host and is checked here in 64 bits,
// before any pixel is read or written: the bounds must be finite (INT_MIN
// and INT_MAX mean an infinite rectangle) and not inverted, a row must hold
// its pixels, the rows padding included must fit the engine's 32-bit index,
// and the pixels must lie within the address space.
inline std::string LayoutProblem(const ImageView& image) {
  const OfxRectI& b = image.bounds;
  const std::string bounds = "(" + std::to_string(b.x1) + ", " + std::to_string(b.y1) + ", " +
                             std::to_string(b.x2) + ", " + std::to_string(b.y2) + ")";
  if (Width(b) < 0 || Height(b) < 0) return "its bounds " + bounds + " are inverted";
  if (b.x1 == INT32_MIN || b.y1 == INT32_MIN || b.x2 == INT32_MAX || b.y2 == INT32_MAX)
    return "its bounds " + bounds +
           " are infinite (INT_MIN or INT_MAX); an image has finite "
           "bounds";
  if (IsEmpty(b)) return {};
  if (image.data == nullptr) return "it has no pixel data";
  const int64_t rowBytes = image.rowBytes < 0 ? -int64_t{image.rowBytes} : image.rowBytes;
  const int64_t pixelBytes = PixelBytes(image);
  const int64_t packedRowBytes = Width(b) * pixelBytes;
  if (rowBytes < packedRowBytes)
    return "its row bytes " + std::to_string(image.rowBytes) + " do not hold a row of its " +
           std::to_string(Width(b)) + " pixels (" + std::to_string(packedRowBytes) + " bytes)";
  // Both factors are below 2^32, so the product fits.
  const int64_t rowPixels = (rowBytes + pixelBytes - 1) / pixelBytes;
  if (Height(b) * rowPixels > kMaxFrameIndex)
    return "its " + std::to_string(Height(b)) + " rows of " + std::to_string(rowBytes) +
           " bytes span " + std::to_string(Height(b) * rowPixels) + " pixels, more than the " +
           std::to_string(kMaxFrameIndex) + " the effect addresses";
  // The rows run up from data with a positive rowBytes and down with a
  // negative one; neither end may wrap around the address space.
  const uint64_t address = reinterpret_cast<uintptr_t>(image.data);
  const uint64_t rowsSpan = static_cast<uint64_t>((Height(b) - 1) * rowBytes);
  const uint64_t lowest = image.rowBytes < 0 ? address - rowsSpan : address;
  const uint64_t span = rowsSpan + static_cast<uint64_t>(packedRowBytes);
  if ((image.rowBytes < 0 && address < rowsSpan) || lowest > UINTPTR_MAX - span)
    return "its pixels at address " + std::to_string(address) + " with row bytes " +
           std::to_string(image.rowBytes) + " run past the ends of memory";
  return {};
}

// The first byte of the pixel at (x, y), which the caller has checked lies
// inside the bounds; 64-bit, so that no coordinate a host gives can wrap.
inline unsigned char* PixelAddress(const ImageView& image, int64_t x, int64_t y) {
  return image.data + static_cast<ptrdiff_t>((y - image.bounds.y1) * image.rowBytes) +
         static_cast<ptrdiff_t>((x - image.bounds.x1) * PixelBytes(image));
}

// The sample type and render pixel of each image depth: floats render at
// 16 bits.
template <Depth D>
struct DepthTypes;

template <>
struct DepthTypes<Depth::byte> {
  using Sample = uint8_t;
  using Pixel = Pixel8;
};

template <>
struct DepthTypes<Depth::short16> {
  using Sample = uint16_t;
  using Pixel = Pixel16;
};

template <>
struct DepthTypes<Depth::float32> {
  using Sample = float;
  using Pixel = Pixel16;
};

// The render pixel type of an image depth.
template <Depth D>
using PixelOf = typename DepthTypes<D>::Pixel;

template <Depth D>
SampleLayout LayoutOf(const ImageView& image, AlphaConvention convention) {
  using Sample = typename DepthTypes<D>::Sample;
  // Rows are taken top first, so the step runs against rowBytes.
  return SampleLayout{static_cast<int>(ComponentCount(image.components)),
                      -static_cast<std::ptrdiff_t>(image.rowBytes),
                      static_cast<std::ptrdiff_t>(PixelBytes(image)),
                      static_cast<std::ptrdiff_t>(sizeof(Sample)), convention};
}

// Fills `frame` (Width x Height of the image's bounds, top row first, packed)
// from the image, straight colour whatever `convention` the image holds, on
// the runner's threads. The image's layout must have been checked and its
// bounds must not be empty.
template <Depth D>
void LoadFrame(const ImageView& image, PixelOf<D>* frame, AlphaConvention convention,
               BandRunner& threads) {
  using Sample = typename DepthTypes<D>::Sample;
  const SampleLayout layout = LayoutOf<D>(image, convention);
  const int32_t width = static_cast<int32_t>(Width(image.bounds));
  // 64-bit coordinates: the top row is y2 - 1, which cannot wrap.
  const std::byte* top = reinterpret_cast<const std::byte*>(
      PixelAddress(image, image.bounds.x1, int64_t{image.bounds.y2} - 1));
  ConvertInBands(threads, static_cast<int32_t>(Height(image.bounds)),
                 width * int64_t{sizeof(PixelOf<D>)}, [&](int32_t y0, int32_t y1) {
                   LoadSamples<PixelOf<D>, Sample>(top, layout, frame, width, width, y0, y1);
                 });
}

// Writes the pixels of `window` into `image`: those inside `frameBounds` from
// the rendered frame (laid out as LoadFrame lays out an image of those
// bounds), the others black and transparent (all bytes zero, at every depth
// and in either convention); premultiplied first when `convention` says so
// (an RGB image too: its colour then fades with the alpha it does not
// store). The window must lie inside the image's bounds, whose layout must
// have been checked.
template <Depth D>
void StoreWindow(const PixelOf<D>* frame, const OfxRectI& frameBounds, const ImageView& image,
                 const OfxRectI& window, AlphaConvention convention, BandRunner& threads) {
  using Sample = typename DepthTypes<D>::Sample;
  if (IsEmpty(window)) return;
  const SampleLayout layout = LayoutOf<D>(image, convention);
  const int64_t pixelBytes = PixelBytes(image);
  const int64_t frameWidth = Width(frameBounds);
  // The columns of the window that the frame covers: [left, right).
  const int64_t left = std::clamp<int64_t>(frameBounds.x1, window.x1, window.x2);
  const int64_t right = std::clamp<int64_t>(frameBounds.x2, left, window.x2);
  const auto blank = [&](unsigned char* p, int64_t x1, int64_t x2) {
    if (x2 > x1)
      std::memset(p + (x1 - window.x1) * pixelBytes, 0,
                  static_cast<size_t>((x2 - x1) * pixelBytes));
  };
  ConvertInBands(
      threads, static_cast<int32_t>(Height(window)), frameWidth * int64_t{sizeof(PixelOf<D>)},
      [&](int32_t r0, int32_t r1) {
        for (int32_t r = r0; r < r1; ++r) {
          // Row r of the window counts down from its top row.
          const int64_t y = int64_t{window.y2} - 1 - r;
          unsigned char* p = PixelAddress(image, window.x1, y);
          if (y < frameBounds.y1 || y >= frameBounds.y2 || right <= left) {
            blank(p, window.x1, window.x2);
            continue;
          }
          blank(p, window.x1, left);
          const PixelOf<D>* frameRow =
              frame + (int64_t{frameBounds.y2} - 1 - y) * frameWidth + (left - frameBounds.x1);
          StoreSamples<PixelOf<D>, Sample>(
              frameRow, 0, reinterpret_cast<std::byte*>(p + (left - window.x1) * pixelBytes),
              layout, static_cast<int32_t>(right - left), 0, 1);
          blank(p, right, window.x2);
        }
      });
}

}  // namespace corvalin::ofx
