// Test pictures in and out of render frames: a decoded image's samples into
// any frame of its size with at(x, y) (a FrameBuffer, a HostWorld), and a
// frame's pixels back into samples, through the effect's sample conversion.
#pragma once

#include <cstdint>
#include <type_traits>

#include "cli/image_io.h"
#include "effect/pixel_convert.h"

namespace corvalin::test {

template <class World>
void ImageToWorld(const cli::Image& image, World& world) {
  using Pixel = std::remove_reference_t<decltype(world.at(0, 0))>;
  using Convert = SampleConvert<Pixel>;
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      const uint16_t* s = &image.samples[image.index(x, y)];
      Pixel& p = world.at(x, y);
      using T = decltype(p.red);
      p.red = static_cast<T>(Convert::FromFile(s[0], image.bits));
      p.green = static_cast<T>(Convert::FromFile(s[1], image.bits));
      p.blue = static_cast<T>(Convert::FromFile(s[2], image.bits));
      p.alpha = static_cast<T>(Convert::FromFile(s[3], image.bits));
    }
  }
}

template <class World>
cli::Image WorldToImage(const World& world) {
  using Pixel = std::remove_cvref_t<decltype(world.at(0, 0))>;
  using Convert = SampleConvert<Pixel>;
  cli::Image image;
  image.width = world.width();
  image.height = world.height();
  image.bits = Convert::bits;
  image.samples.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4);
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      const Pixel& p = world.at(x, y);
      uint16_t* d = &image.samples[image.index(x, y)];
      d[0] = static_cast<uint16_t>(Convert::ToFile(p.red));
      d[1] = static_cast<uint16_t>(Convert::ToFile(p.green));
      d[2] = static_cast<uint16_t>(Convert::ToFile(p.blue));
      d[3] = static_cast<uint16_t>(Convert::ToFile(p.alpha));
    }
  }
  return image;
}

}  // namespace corvalin::test
