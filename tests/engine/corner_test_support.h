// Shared pieces of the corner and run tests: frames drawn as text, the two
// test colours, and the pixel a blend of them gives for a weight.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "test_frame.h"

namespace corvalin::testing {

using Depths = ::testing::Types<PF_Pixel8, PF_Pixel16>;

template <class Pixel>
Pixel Colour(uint32_t alpha, uint32_t red, uint32_t green, uint32_t blue) {
  using Channel = typename PixelTraits<Pixel>::Channel;
  return Pixel{static_cast<Channel>(alpha), static_cast<Channel>(red),
               static_cast<Channel>(green), static_cast<Channel>(blue)};
}

// Opaque full red and opaque full blue: a blend of ink (weight w) with paper
// reads back the integer weight in red and its complement in blue.
template <class Pixel>
Pixel Ink() {
  constexpr uint32_t M = ChannelMax<Pixel>();
  return Colour<Pixel>(M, M, 0, 0);
}

template <class Pixel>
Pixel Paper() {
  constexpr uint32_t M = ChannelMax<Pixel>();
  return Colour<Pixel>(M, 0, 0, M);
}

// The output of ink mixed with paper at weight w on the ink.
template <class Pixel>
Pixel InkOverPaper(float w) {
  constexpr uint32_t M = ChannelMax<Pixel>();
  const uint32_t wA = static_cast<uint32_t>(static_cast<float>(M) * w);
  return Colour<Pixel>(M, wA, 0, M - wA);
}

// The output of paper mixed with ink at weight w on the paper.
template <class Pixel>
Pixel PaperOverInk(float w) {
  constexpr uint32_t M = ChannelMax<Pixel>();
  const uint32_t wA = static_cast<uint32_t>(static_cast<float>(M) * w);
  return Colour<Pixel>(M, M - wA, 0, wA);
}

// A frame drawn row by row: '#' is ink, '.' is paper, and the letters a..z
// stand for the colours given in `extra` (a first). Built in place: the
// worlds point into the frame's own buffers, so it is never copied.
template <class Pixel>
struct Drawn : TestFrame<Pixel> {
  Drawn(std::initializer_list<std::string> rows, int32_t padding = 0,
        std::initializer_list<Pixel> extra = {})
      : TestFrame<Pixel>(static_cast<int32_t>(rows.begin()->size()),
                         static_cast<int32_t>(rows.size()), Paper<Pixel>(), padding) {
    int32_t y = 0;
    for (const std::string& row : rows) {
      EXPECT_EQ(static_cast<int32_t>(row.size()), this->width) << "row " << y;
      for (int32_t x = 0; x < this->width && x < static_cast<int32_t>(row.size()); ++x) {
        const char c = row[static_cast<size_t>(x)];
        if (c == '#') {
          this->in(x, y) = Ink<Pixel>();
        } else if (c >= 'a' && c <= 'z') {
          const auto index = static_cast<size_t>(c - 'a');
          EXPECT_LT(index, extra.size()) << "colour " << c;
          if (index < extra.size()) this->in(x, y) = *(extra.begin() + index);
        }
      }
      ++y;
    }
  }
  Drawn(const Drawn&) = delete;
  Drawn& operator=(const Drawn&) = delete;
};

}  // namespace corvalin::testing
