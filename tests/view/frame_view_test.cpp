// The engine's one check of the frames adapters hand it: the geometry at
// the ends of the signed 32-bit index, and the pair of views a render takes.
#include "engine/view/frame_view.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace corvalin {
namespace {

constexpr int64_t kMax = INT32_MAX;  // 2^31 - 1, a prime: no other w x h reaches it

struct Geometry {
  int64_t width, height, rowBytes;
  int depth;
};

TEST(FrameGeometry, AcceptsEveryFrameUpToTheIndexLimit) {
  const Geometry accepted[] = {
      {0, 0, 0, 8},  // empty frames have nothing to address
      {0, kMax, 0, 16},
      {1, kMax, 4, 8},  // the last index is exactly 2^31 - 2
      {1, kMax, 8, 16},
      {2, kMax / 2, 8, 8},             // 2147483646 pixels
      {46340, 46340, 46340 * 4, 8},    // the largest square
      {kMax / 4, 1, kMax / 4 * 4, 8},  // the widest row: 2147483644 bytes
      {kMax / 8, 1, kMax / 8 * 8, 16},
      {1, 1, kMax / 4 * 4, 8},  // padding up to the row limit
      {3, 2, 5 * 8, 16},        // padded rows
  };
  for (const Geometry& g : accepted)
    EXPECT_EQ(FrameGeometryProblem(g.width, g.height, g.rowBytes, g.depth), "")
        << g.width << " x " << g.height << ", " << g.rowBytes << " bytes, " << g.depth;
}

TEST(FrameGeometry, RefusesOnePastEachLimitNamingTheValueAndTheRange) {
  const struct {
    Geometry geometry;
    const char* message;
  } refused[] = {
      {{1, kMax, 8, 8},
       "a frame of 1 x 2147483647 pixels with rows 2 pixels apart spans 4294967294 pixels: "
       "width (row padding included) x height must be at most 2147483647 (a signed 32-bit "
       "pixel index)"},
      {{2, kMax / 2 + 1, 8, 8},
       "a frame of 2 x 1073741824 pixels with rows 2 pixels apart spans 2147483648 pixels: "
       "width (row padding included) x height must be at most 2147483647 (a signed 32-bit "
       "pixel index)"},
      {{46341, 46341, 46341 * 4, 8},
       "a frame of 46341 x 46341 pixels with rows 46341 pixels apart spans 2147488281 pixels: "
       "width (row padding included) x height must be at most 2147483647 (a signed 32-bit "
       "pixel index)"},
      {{kMax / 4 + 1, 1, (kMax / 4 + 1) * 4, 8},
       "a frame of 536870912 x 1 pixels at 8 bits is too wide: a row must be at most "
       "2147483647 bytes, width at most 536870911 at 8 bits"},
      {{kMax / 8 + 1, 1, (kMax / 8 + 1) * 8, 16},
       "a frame of 268435456 x 1 pixels at 16 bits is too wide: a row must be at most "
       "2147483647 bytes, width at most 268435455 at 16 bits"},
      {{1, 1, kMax + 1, 8},
       "a frame of 1 x 1 pixels at 8 bits has rows 2147483648 bytes apart: a row must be at "
       "most 2147483647 bytes, width at most 536870911 at 8 bits"},
      {{1, 1, kMax, 8},
       "a frame of 1 x 1 pixels at 8 bits: its row stride of 2147483647 bytes is not a whole "
       "number of 4-byte pixels"},
      {{10, 2, 36, 8},
       "a frame of 10 x 2 pixels at 8 bits: rows 36 bytes apart do not hold a row; the row "
       "stride must be at least 40 bytes"},
      {{10, 2, 79, 16},
       "a frame of 10 x 2 pixels at 16 bits: rows 79 bytes apart do not hold a row; the row "
       "stride must be at least 80 bytes"},
      {{10, 2, 84, 16},
       "a frame of 10 x 2 pixels at 16 bits: its row stride of 84 bytes is not a whole number "
       "of 8-byte pixels"},
      {{0, 1, -4, 8},
       "a frame of 0 x 1 pixels at 8 bits: rows -4 bytes apart do not hold a row; the row "
       "stride must be at least 0 bytes"},
      {{0, kMax + 1, 0, 8},
       "a frame of 0 x 2147483648 pixels is too tall: height must be at most 2147483647"},
      {{-1, 4, 0, 8}, "a frame of -1 x 4 pixels: width and height must be at least 0"},
      {{4, -1, 16, 8}, "a frame of 4 x -1 pixels: width and height must be at least 0"},
      {{4, 1, 16, 32}, "a frame of 4 x 1 pixels at 32 bits: the engine renders 8 or 16 bits"},
  };
  for (const auto& r : refused) {
    const Geometry& g = r.geometry;
    EXPECT_EQ(FrameGeometryProblem(g.width, g.height, g.rowBytes, g.depth), r.message);
  }
}

// Widths no row could hold are refused for the width, without forming the
// row's byte count (which would overflow for the largest).
TEST(FrameGeometry, PackedFramesOfAnyWidth) {
  EXPECT_EQ(PackedFrameProblem(kMax / 4, 1, 8), "");
  EXPECT_EQ(PackedFrameProblem(1, kMax, 16), "");
  EXPECT_EQ(PackedFrameProblem(46340, 46340, 16), "");
  EXPECT_EQ(PackedFrameProblem(kMax / 8 + 1, 1, 16),
            "a frame of 268435456 x 1 pixels at 16 bits is too wide: a row must be at most "
            "2147483647 bytes, width at most 268435455 at 16 bits");
  EXPECT_EQ(PackedFrameProblem(INT64_MAX, 1, 8),
            "a frame of 9223372036854775807 x 1 pixels at 8 bits is too wide: a row must be at "
            "most 2147483647 bytes, width at most 536870911 at 8 bits");
  EXPECT_EQ(PackedFrameProblem(4294967295, 4294967295, 8),
            "a frame of 4294967295 x 4294967295 pixels at 8 bits is too wide: a row must be at "
            "most 2147483647 bytes, width at most 536870911 at 8 bits");
}

TEST(FrameView, PackedViewsDescribeTheirPixels) {
  Pixel16 pixels[6]{};
  const FrameView view = PackedView(pixels, 3, 2);
  EXPECT_EQ(view.pixels, static_cast<void*>(pixels));
  EXPECT_EQ(view.width, 3);
  EXPECT_EQ(view.height, 2);
  EXPECT_EQ(view.rowBytes, 24);
  EXPECT_EQ(view.depth, 16);
  EXPECT_EQ(PackedView(reinterpret_cast<Pixel8*>(pixels), 5, 1).rowBytes, 20);
  EXPECT_EQ(PackedView(reinterpret_cast<Pixel8*>(pixels), 5, 1).depth, 8);
}

TEST(FrameView, APairIsCheckedForPixelsDepthSizeAndEachGeometry) {
  Pixel8 in[16]{}, out[16]{};
  const FrameView input{in, 3, 2, 12, 8};
  const FrameView output{out, 3, 2, 16, 8};  // rows padded differently: allowed
  EXPECT_EQ(FrameViewProblem(input, output), "");

  const auto with = [](FrameView view, auto change) {
    change(view);
    return view;
  };
  const struct {
    FrameView input, output;
    const char* message;
  } refused[] = {
      {with(input, [](FrameView& v) { v.pixels = nullptr; }), output, "the input has no pixels"},
      {input, with(output, [](FrameView& v) { v.pixels = nullptr; }), "the output has no pixels"},
      {with(input, [](FrameView& v) { v.depth = 12; }), output,
       "the input has depth 12; the engine renders 8 or 16 bits"},
      {input, with(output, [](FrameView& v) { v.depth = 32; }),
       "the output has depth 32; the engine renders 8 or 16 bits"},
      {input, with(output, [](FrameView& v) { v.depth = 16; }),
       "the input has depth 8 and the output 16; both must have one depth"},
      {input, with(output, [](FrameView& v) { v.width = 2; }),
       "the input is 3 x 2 pixels and the output 2 x 2; both must be of one size"},
      {with(input, [](FrameView& v) { v.height = 3; }), output,
       "the input is 3 x 3 pixels and the output 3 x 2; both must be of one size"},
      {with(input, [](FrameView& v) { v.rowBytes = 8; }), output,
       "the input: a frame of 3 x 2 pixels at 8 bits: rows 8 bytes apart do not hold a row; "
       "the row stride must be at least 12 bytes"},
      {input, with(output, [](FrameView& v) { v.rowBytes = 14; }),
       "the output: a frame of 3 x 2 pixels at 8 bits: its row stride of 14 bytes is not a "
       "whole number of 4-byte pixels"},
  };
  for (const auto& r : refused) EXPECT_EQ(FrameViewProblem(r.input, r.output), r.message);
}

}  // namespace
}  // namespace corvalin
