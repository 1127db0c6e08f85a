// Renders through the engine's entry for frame views: pinned on a small
// frame, equal to the scan over host records for padded rows, the same on
// the calling thread and on a runner, and refused views leave both frames
// as they were.
#include "engine/view/render_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "tests/engine/test_frame.h"

namespace corvalin {
namespace {

using test::Colour;
using test::ReversedRunner;
using test::TestFrame;

// A blue field with a green block whose right edge steps one pixel left
// halfway down: one short diagonal for the smoothing to find.
std::vector<Pixel8> StepFrame() {
  const Pixel8 blue = Colour<Pixel8>(255, 0, 0, 255), green = Colour<Pixel8>(255, 0, 255, 0);
  std::vector<Pixel8> frame(8 * 6, blue);
  for (int y = 1; y < 5; ++y)
    for (int x = 1; x < (y < 3 ? 5 : 4); ++x) frame[static_cast<size_t>(y * 8 + x)] = green;
  return frame;
}

struct Changed {
  int x, y;
  Pixel8 value;
};

// The input with the listed pixels changed.
std::vector<Pixel8> With(std::vector<Pixel8> frame, const std::vector<Changed>& changes) {
  for (const Changed& c : changes) frame[static_cast<size_t>(c.y * 8 + c.x)] = c.value;
  return frame;
}

TEST(RenderFrameView, PinnedPixelsOfASmallFrame) {
  const Pixel8 marker = Colour<Pixel8>(255, 255, 0, 0);
  // The smoothed step, and the markers at the corners of the rectangle
  // pulled in off the border: (1, 1) to (7, 5). Left out, those four
  // pixels keep the input: green at (1, 1), blue at the others.
  const std::vector<Changed> smoothed = {{4, 1, Colour<Pixel8>(255, 0, 127, 128)},
                                         {4, 2, Colour<Pixel8>(255, 0, 191, 64)},
                                         {4, 3, Colour<Pixel8>(255, 0, 64, 191)},
                                         {3, 4, Colour<Pixel8>(255, 0, 127, 128)}};
  std::vector<Changed> marked = smoothed;
  for (auto [x, y] : {std::pair{1, 1}, {7, 1}, {1, 5}, {7, 5}}) marked.push_back({x, y, marker});
  ReversedRunner runner;
  for (bool markers : {true, false})
    for (BandRunner* bands :
         {static_cast<BandRunner*>(nullptr), static_cast<BandRunner*>(&runner)}) {
      RenderSettings settings = DefaultRenderSettings();
      settings.cornerMarkers = markers;
      std::vector<Pixel8> input = StepFrame();
      std::vector<Pixel8> output(input.size());
      ASSERT_EQ(RenderFrameView(settings, PackedView(input.data(), 8, 6),
                                PackedView(output.data(), 8, 6), bands),
                "");
      EXPECT_TRUE(output == With(StepFrame(), markers ? marked : smoothed)) << markers;
      EXPECT_TRUE(input == StepFrame());  // no key colour: the input stays
    }
  // Six rows are one band: the runner is not asked.
  EXPECT_EQ(runner.stages, 0);
}

// The view entry describes padded rows to the scan exactly as a host's
// records do: every byte, padding included, equals the scan over records,
// serially and in bands, at both depths.
template <class Pixel>
void ExpectViewsEqualRecords(int32_t width, int32_t height, int32_t padding, uint32_t seed,
                             bool markers = true) {
  TestFrame<Pixel> records(width, height, Pixel{}, padding);
  test_images::Scene scene;
  scene.shapes = 40;
  scene.dotsPer1000 = 20;
  test_images::DrawScene(records.canvas(), seed, scene);
  RenderSettings settings = DefaultRenderSettings();
  settings.useKey = true;  // the key rewrites the input in both
  settings.cornerMarkers = markers;
  TestFrame<Pixel> serial = records, banded = records;
  ASSERT_EQ(records.Render(settings), PF_Err_NONE);

  const int64_t rowBytes = int64_t{records.stride} * int64_t{sizeof(Pixel)};
  ReversedRunner runner;
  for (auto [frame, bands] : {std::pair{&serial, static_cast<BandRunner*>(nullptr)},
                              std::pair{&banded, static_cast<BandRunner*>(&runner)}}) {
    const FrameView in{frame->input.data(), width, height, rowBytes, kDepthOf<Pixel>};
    const FrameView out{frame->output.data(), width, height, rowBytes, kDepthOf<Pixel>};
    ASSERT_EQ(RenderFrameView(settings, in, out, bands), "");
    EXPECT_TRUE(frame->input == records.input) << "seed " << seed;
    EXPECT_TRUE(frame->output == records.output) << "seed " << seed;
  }
  EXPECT_EQ(runner.stages, 3);  // keyed and measured, scanned, cross-band writes settled
}

TEST(RenderFrameView, PaddedFramesEqualTheScanOverHostRecords) {
  for (uint32_t seed : {3u, 17u}) {
    // Narrow rows make bands of 256 rows: three bands.
    ExpectViewsEqualRecords<Pixel8>(61, 600, 5, seed);
    ExpectViewsEqualRecords<Pixel16>(61, 600, 5, seed);
  }
  // Markers left out in bands as in the serial scan.
  ExpectViewsEqualRecords<Pixel8>(61, 600, 5, 3, false);
  ExpectViewsEqualRecords<Pixel16>(61, 600, 5, 3, false);
}

TEST(RenderFrameView, RefusedViewsLeaveBothFramesUntouched) {
  std::vector<Pixel8> input = StepFrame();
  const Pixel8 unwritten = Colour<Pixel8>(1, 2, 3, 4);
  std::vector<Pixel8> output(input.size(), unwritten);
  ReversedRunner runner;
  const FrameView in = PackedView(input.data(), 8, 6);
  FrameView out = PackedView(output.data(), 8, 6);
  out.rowBytes = 28;  // seven pixels: a row of eight does not fit
  EXPECT_EQ(RenderFrameView(DefaultRenderSettings(), in, out, &runner),
            "the output: a frame of 8 x 6 pixels at 8 bits: rows 28 bytes apart do not hold a "
            "row; the row stride must be at least 32 bytes");
  FrameView shallow = PackedView(output.data(), 8, 6);
  shallow.depth = 16;
  EXPECT_EQ(RenderFrameView(DefaultRenderSettings(), in, shallow, nullptr),
            "the input has depth 8 and the output 16; both must have one depth");
  EXPECT_TRUE(input == StepFrame());
  EXPECT_TRUE(output == std::vector<Pixel8>(input.size(), unwritten));
  EXPECT_EQ(runner.stages, 0);
}

}  // namespace
}  // namespace corvalin
