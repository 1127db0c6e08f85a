// Where the smoothing steps put their results. A destination can only be
// written: the steps see the image as it was before the scan, and the banded
// parallel scan stays equal to the serial one only because no step can read
// back what it, or another band, has written.
#pragma once

#include <concepts>
#include <cstdint>

namespace corvalin {

// Write(index, pixel) stores one output pixel; nothing reads through it.
template <class Destination, class Pixel>
concept PixelDestination = requires(const Destination& destination, int32_t index, const Pixel& p) {
  { destination.Write(index, p) } -> std::same_as<void>;
};

// The output pixel base of a serial render. Write is a plain store.
template <class Pixel>
class OutputWriter {
 public:
  OutputWriter() = default;
  explicit OutputWriter(Pixel* pixels) : pixels_(pixels) {}

  void Write(int32_t index, const Pixel& value) const { pixels_[index] = value; }

 private:
  Pixel* pixels_ = nullptr;
};

}  // namespace corvalin
