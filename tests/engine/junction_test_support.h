// Shared by the junction tests: opaque 16-bit colours whose red or blue
// channel shows a blend weight directly, and a whole-frame comparison that
// expects the input everywhere except at the pixels named.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "test_frame.h"

namespace corvalin::testing {

constexpr uint16_t M16 = 32768;
inline const PF_Pixel16 black16{M16, 0, 0, 0};
inline const PF_Pixel16 red16{M16, M16, 0, 0};
inline const PF_Pixel16 blue16{M16, 0, 0, M16};
inline const PF_Pixel8 black8{255, 0, 0, 0};
inline const PF_Pixel8 red8{255, 255, 0, 0};

inline PF_Pixel16 Mix16(uint16_t red, uint16_t blue = 0) { return PF_Pixel16{M16, red, 0, blue}; }
inline PF_Pixel8 Red8(uint8_t red) { return PF_Pixel8{255, red, 0, 0}; }

template <class Pixel>
class Expected {
 public:
  explicit Expected(const TestFrame<Pixel>& f) : frame_(f), pixels_(f.input) {}

  Expected& Set(int32_t x, int32_t y, Pixel p) {
    pixels_[static_cast<size_t>(y) * frame_.stride + x] = p;
    return *this;
  }

  // Reports the first few differing pixels of the output.
  void Check() const {
    int mismatches = 0;
    for (int32_t y = 0; y < frame_.height; ++y)
      for (int32_t x = 0; x < frame_.width; ++x) {
        const size_t i = static_cast<size_t>(y) * frame_.stride + x;
        if (!(frame_.output[i] == pixels_[i]) && ++mismatches <= 8)
          ADD_FAILURE() << "at (" << x << "," << y << "): " << frame_.output[i]
                        << " expected " << pixels_[i];
      }
  }

 private:
  const TestFrame<Pixel>& frame_;
  std::vector<Pixel> pixels_;
};

}  // namespace corvalin::testing
