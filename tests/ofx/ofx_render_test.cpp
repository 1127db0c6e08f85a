// Renders through the plug-in against the effect module's renders of the
// same pictures: byte output equals the 8-bit render, short output the 16-bit
// render as the command writes it, float output the 16-bit render / 32768,
// for every layout, origin and window a host may hand over.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "cli/image_io.h"
#include "tests/ofx/ofx_test_support.h"

namespace corvalin::ofxtest {
namespace {

Picture Example() {
  const cli::Image image = cli::ReadImage(CORVALIN_EXAMPLE);
  return Picture{image.width, image.height, image.bits, image.samples};
}

class OfxRender : public ::testing::Test {
 protected:
  void SetUp() override { Prepare(host_); }
  void TearDown() override { EXPECT_TRUE(host_.misuses().empty()) << host_.misuses()[0]; }

  // Every depth and component layout of one picture at one setting.
  void ExpectAllFormatsMatch(const Picture& picture, const RenderSettings& settings,
                             const Placement& placement = {}, const OfxRectI* window = nullptr) {
    for (const char* depth : kDepths)
      for (const char* components : kComponents) {
        SCOPED_TRACE(std::string(depth) + " " + components);
        const RenderCheck check =
            RenderAndCompare(host_, picture, settings, depth, components, placement, window);
        EXPECT_EQ(check.status, kOfxStatOK);
        EXPECT_EQ(check.difference, "");
      }
  }

  OfxTestHost host_{BundleBinary()};
};

TEST_F(OfxRender, ExampleFrameEqualsTheModuleAtEveryDepth) {
  const Picture example = Example();
  ASSERT_EQ(example.width, 192);
  for (const RenderSettings& settings : SettingsSet()) ExpectAllFormatsMatch(example, settings);
}

TEST_F(OfxRender, GeneratedFramesEqualTheModule) {
  const struct {
    int32_t width, height, bits;
  } sizes[] = {{48, 32, 8}, {33, 41, 16}, {64, 17, 8},  {3, 3, 8},  {97, 61, 16}, {1, 1, 8},
               {2, 5, 16},  {40, 2, 8},   {17, 29, 16}, {5, 40, 8}, {26, 26, 16}, {71, 9, 8}};
  const std::vector<RenderSettings> settings = SettingsSet();
  uint32_t seed = 1;
  for (const auto& size : sizes) {
    SCOPED_TRACE("frame " + std::to_string(seed));
    const Picture picture = GeneratedPicture(seed, size.width, size.height, size.bits);
    ExpectAllFormatsMatch(picture, settings[seed % settings.size()]);
    ++seed;
  }
}

// Top row first in memory (negative row bytes), padded rows (odd byte counts
// too, so shorts and floats sit unaligned), bounds away from the origin, and
// windows from the whole frame down to one pixel.
TEST_F(OfxRender, AnyLayoutOriginAndWindow) {
  const Picture picture = GeneratedPicture(21, 37, 23, 16);
  const RenderSettings settings = SettingsSet()[3];
  const Placement placements[] = {{0, 0, {true, 0, 0xA5}},
                                  {-7, 13, {true, 12, 0x5A}},
                                  {5, -3, {false, 3, 0xA5}},
                                  {1000, 2000, {false, 0, 0xFF}}};
  for (const Placement& p : placements) {
    SCOPED_TRACE("origin " + std::to_string(p.x0) + ", " + std::to_string(p.y0));
    const OfxRectI bounds{p.x0, p.y0, p.x0 + picture.width, p.y0 + picture.height};
    const OfxRectI windows[] = {bounds,
                                {bounds.x1 + 3, bounds.y1 + 2, bounds.x2 - 5, bounds.y2 - 4},
                                {bounds.x1, bounds.y2 - 1, bounds.x2, bounds.y2},
                                {bounds.x1 + 9, bounds.y1 + 4, bounds.x1 + 10, bounds.y1 + 5}};
    for (const OfxRectI& w : windows) ExpectAllFormatsMatch(picture, settings, p, &w);
  }
}

// Output pixels of the window beyond the source's bounds are black and
// transparent; the rest is the whole source frame's render.
TEST_F(OfxRender, WindowBeyondTheSourceIsBlackTransparent) {
  const Picture picture = GeneratedPicture(4, 20, 14, 8);
  const RenderSettings settings = SettingsSet()[1];
  SetParams(host_, settings);
  HostImage source = SourceImage(picture, "OfxBitDepthByte", "OfxImageComponentRGBA", {2, 3});
  const OfxRectI outer{0, 0, 25, 20};
  HostImage output("OfxBitDepthByte", "OfxImageComponentRGBA", outer);
  ASSERT_EQ(RenderThrough(host_, source, output, outer), kOfxStatOK);

  const auto render = ModuleRender8(picture, settings);
  for (int y = outer.y1; y < outer.y2; ++y)
    for (int x = outer.x1; x < outer.x2; ++x) {
      const bool inSource = x >= 2 && x < 22 && y >= 3 && y < 17;
      const PF_Pixel8 p = inSource ? render.at(x - 2, 16 - y) : PF_Pixel8{0, 0, 0, 0};
      const uint8_t expected[4] = {p.red, p.green, p.blue, p.alpha};
      for (int c = 0; c < 4; ++c)
        ASSERT_EQ(output.Get<uint8_t>(x, y, c), expected[c]) << x << ", " << y << " c" << c;
    }
}

// A proxy render scales the images, not the effect: the pixels that arrive
// are smoothed as they are.
TEST_F(OfxRender, ProxyScaleRendersThePixelsThatArrive) {
  const Picture picture = GeneratedPicture(8, 30, 22, 8);
  SetParams(host_, SettingsSet()[2]);
  HostImage source = SourceImage(picture, "OfxBitDepthShort", "OfxImageComponentRGBA", {});
  HostImage full("OfxBitDepthShort", "OfxImageComponentRGBA", source.bounds);
  HostImage proxy("OfxBitDepthShort", "OfxImageComponentRGBA", source.bounds);
  RenderRequest request;
  request.source = &source;
  request.window = source.bounds;
  request.output = &full;
  ASSERT_EQ(host_.Render(request), kOfxStatOK);
  request.output = &proxy;
  request.renderScale[0] = request.renderScale[1] = 0.5;
  ASSERT_EQ(host_.Render(request), kOfxStatOK);
  EXPECT_EQ(proxy.bytes(), full.bytes());
}

// Floats round to the nearest of the 16-bit render's levels; values outside
// 0..1 are held to it and NaN reads as 0. The render equals that of the
// picture the levels make.
TEST_F(OfxRender, FloatsRoundToLevelsAndAreHeld) {
  const Picture picture = GeneratedPicture(12, 31, 19, 16);
  const RenderSettings settings = SettingsSet()[0];
  SetParams(host_, settings);
  HostImage source = SourceImage(picture, "OfxBitDepthFloat", "OfxImageComponentRGBA", {});
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  int held = 0, rounded = 0;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x)
      for (int c = 0; c < 4; ++c) {
        const float v = source.Get<float>(x, y, c);
        const int pick = (x + y + c) % 3;
        if (v == 0.0f) {
          source.Set(x, y, c, pick == 0 ? -0.25f : pick == 1 ? nan : -inf);
          ++held;
        } else if (v == 1.0f) {
          source.Set(x, y, c, pick == 0 ? 1.5f : pick == 1 ? inf : 1.0000001f);
          ++held;
        } else {
          // Just short of half a level either way.
          source.Set(x, y, c, v + (pick == 0 ? 0.45f : -0.45f) / 32768.0f);
          ++rounded;
        }
      }
  ASSERT_GT(held, 100);
  ASSERT_GT(rounded, 100);
  HostImage output("OfxBitDepthFloat", "OfxImageComponentRGBA", source.bounds);
  ASSERT_EQ(RenderThrough(host_, source, output, source.bounds), kOfxStatOK);
  const HostImage expected = ExpectedImage(ModuleRender16(picture, settings), "OfxBitDepthFloat",
                                           "OfxImageComponentRGBA", {}, source.bounds);
  EXPECT_EQ(FirstDifference(output, expected, source.bounds), "");
}

// Every 16-bit sample value once in each channel: shorts convert in and out
// exactly as the command converts 16-bit files.
TEST_F(OfxRender, EverySixteenBitSampleConverts) {
  Picture picture{256, 256, 16, {}};
  for (uint32_t i = 0; i < 65536; ++i)
    for (uint32_t shift : {0u, 5u, 11u, 3u})  // each channel a different permutation
      picture.samples.push_back(static_cast<uint16_t>((i * 2053u + shift * 4099u) & 0xFFFF));
  for (const char* depth : {"OfxBitDepthShort", "OfxBitDepthFloat"}) {
    const RenderCheck check =
        RenderAndCompare(host_, picture, SettingsSet()[4], depth, "OfxImageComponentRGBA");
    EXPECT_EQ(check.difference, "") << depth;
  }
}

// Colour components become key bytes lround(v x 255), held to 0..1.
TEST_F(OfxRender, KeyColourComponentsRoundToBytes) {
  const Picture picture = GeneratedPicture(3, 40, 30, 8);
  RenderSettings settings = SettingsSet()[1];  // key {200, 20, 60}
  for (const std::vector<double>& components :
       {std::vector<double>{200.4 / 255, 19.6 / 255, 60.49 / 255},
        std::vector<double>{0.7843, 0.0784, 0.2353}}) {
    SetParams(host_, settings);
    host_.SetParam("alphaKey", components);
    const RenderCheck check = RenderAndCompare(host_, picture, settings, "OfxBitDepthByte",
                                               "OfxImageComponentRGBA", {}, nullptr, true);
    EXPECT_EQ(check.difference, "");
  }
  settings.keyColour = PF_Pixel8{255, 255, 0, 255};
  SetParams(host_, settings);
  host_.SetParam("alphaKey", {1.7, -0.2, std::nan("")});
  const RenderCheck held = RenderAndCompare(host_, picture, settings, "OfxBitDepthByte",
                                            "OfxImageComponentRGBA", {}, nullptr, true);
  EXPECT_EQ(held.difference, "");
}

// One small frame pinned to exact bytes, stored bottom row first away from
// the origin. Picture (top row first): a white band over a blue one with a
// one-step stair between them. The pixels along the step (row 2, columns 3
// to 5) take graded mixes of white and blue. The corner markers (opaque red) sit at
// the corners of the processing rectangle: the pixels that are neither
// transparent nor of the key colour (white by default, counted out even with
// the key off), pulled in one pixel from the frame's edges: picture rows 2
// and 4, columns 1 and 7.
// With "Corner Markers" off those four pixels keep the input's colours.
TEST_F(OfxRender, PinnedSmallFrame) {
  const Picture picture = StairPicture();
  struct Rgba {
    int r, g, b, a;
    bool operator==(const Rgba&) const = default;
  };
  const Rgba w{255, 255, 255, 255}, b{20, 60, 200, 255}, m{255, 0, 0, 255};
  for (bool markers : {true, false}) {
    SCOPED_TRACE(markers ? "markers" : "no markers");
    RenderSettings settings = DefaultRenderSettings();
    settings.cornerMarkers = markers;
    SetParams(host_, settings);
    HostImage source = SourceImage(picture, "OfxBitDepthByte", "OfxImageComponentRGBA", {4, -2});
    HostImage output("OfxBitDepthByte", "OfxImageComponentRGBA", source.bounds);
    ASSERT_EQ(RenderThrough(host_, source, output, source.bounds), kOfxStatOK);

    const Rgba l = markers ? m : w, r = markers ? m : b;
    const Rgba expected[5][8] = {
        {w, w, w, w, w, w, w, w},
        {w, w, w, w, w, w, w, w},
        {w, l, w, {196, 206, 241, 255}, {99, 125, 218, 255}, {30, 68, 202, 255}, b, r},
        {b, b, b, b, b, b, b, b},
        {b, r, b, b, b, b, b, r}};
    // Picture row r is image row y = 2 - r (bounds y from -2 to 3).
    for (int row = 0; row < 5; ++row)
      for (int col = 0; col < 8; ++col) {
        const Rgba& e = expected[row][col];
        const int x = 4 + col, y = 2 - row;
        EXPECT_EQ((Rgba{output.Get<uint8_t>(x, y, 0), output.Get<uint8_t>(x, y, 1),
                        output.Get<uint8_t>(x, y, 2), output.Get<uint8_t>(x, y, 3)}),
                  e)
            << "picture row " << row << ", column " << col;
      }
  }
}

// Without markers, every depth and layout renders as the engine does with
// them left out: the module's render but for those four pixels.
TEST_F(OfxRender, CornerMarkersOffAtEveryDepth) {
  const Picture picture = GeneratedPicture(31, 29, 19, 16);
  for (RenderSettings settings : {SettingsSet()[0], SettingsSet()[3]}) {
    settings.cornerMarkers = false;
    ExpectAllFormatsMatch(picture, settings);
    ExpectAllFormatsMatch(picture, settings, {-7, 13, {true, 12, 0x5A}});
  }
}

// An instance a host made from a description without the switch (a project
// saved before it existed) renders the markers, as every render did then.
TEST_F(OfxRender, AnInstanceWithoutTheSwitchRendersTheMarkers) {
  const Picture picture = GeneratedPicture(9, 23, 17, 8);
  SetParams(host_, DefaultRenderSettings());
  host_.RemoveParam("cornerMarkers");
  for (const char* depth : kDepths) {
    SCOPED_TRACE(depth);
    const RenderCheck check =
        RenderAndCompare(host_, picture, DefaultRenderSettings(), depth, "OfxImageComponentRGBA",
                         {}, nullptr, /*keepParams=*/true);
    EXPECT_EQ(check.status, kOfxStatOK);
    EXPECT_EQ(check.difference, "");
  }
}

}  // namespace
}  // namespace corvalin::ofxtest
