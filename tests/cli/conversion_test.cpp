// File samples into render channels and back, and every PNG colour type read
// at 8 and 16 bits into both render depths. Expected values are worked out by
// hand from the conversion rules (integer arithmetic, remainder dropped).
#include <map>

#include "cli/frame_buffer.h"
#include "cli_test_support.h"
#include "effect/pixel_convert.h"
#include "tests/support/image_worlds.h"
#include "tests/support/minihost/host_world.h"

namespace corvalin::clitest {
namespace {

using cli::Image;
using minihost::HostWorld;

TEST(CliChannelConversion, HandComputedValuesAtEveryStep) {
  // 8-bit file, 16-bit render: (v * 32768 + 127) / 255.
  for (auto [v, want] : {std::pair{0u, 0}, {1u, 129}, {128u, 16448}, {255u, 32768}}) {
    EXPECT_EQ(FileToChannel16(v, 8), want) << v;
  }
  EXPECT_EQ(FileToChannel8(200, 8), 200);
  // 16-bit file, 8-bit render: (v * 255 + 32767) / 65535; the step to 1 comes at 129.
  for (auto [v, want] : {std::pair{128u, 0}, {129u, 1}, {32768u, 128}, {65535u, 255}}) {
    EXPECT_EQ(FileToChannel8(v, 16), want) << v;
  }
  // 16-bit file, 16-bit render: (v * 32768 + 32767) / 65535.
  for (auto [v, want] :
       {std::pair{1u, 1}, {2u, 1}, {32767u, 16384}, {32768u, 16384}, {65535u, 32768}}) {
    EXPECT_EQ(FileToChannel16(v, 16), want) << v;
  }
  // 16-bit render into the file: (v * 65535 + 16384) / 32768; out of range stays in the file's.
  for (auto [v, want] : {std::pair{0u, 0},
                         {1u, 2},
                         {129u, 258},
                         {16384u, 32768},
                         {16448u, 32895},
                         {32768u, 65535},
                         {40000u, 65535}}) {
    EXPECT_EQ(Channel16ToFile(v), want) << v;
  }
}

TEST(CliChannelConversion, SixteenBitRoundTripKeepsEveryFileValueWithinOne) {
  for (uint32_t v = 0; v <= 65535; ++v) {
    const int back = Channel16ToFile(FileToChannel16(v, 16));
    ASSERT_LE(std::abs(back - static_cast<int>(v)), 1) << v;
  }
}

// File values used below and their hand-computed render channels.
const std::map<uint16_t, uint16_t> kRender16From8 = {{0, 0},       {17, 2185},   {51, 6554},
                                                     {85, 10923},  {128, 16448}, {136, 17476},
                                                     {170, 21845}, {255, 32768}};
const std::map<uint16_t, uint16_t> kRender8From16 = {
    {0, 0}, {4660, 18}, {32768, 128}, {65535, 255}};
const std::map<uint16_t, uint16_t> kRender16From16 = {
    {0, 0}, {4660, 2330}, {32768, 16384}, {65535, 32768}};

using Rgba = std::array<uint16_t, 4>;

struct ColourTypeCase {
  const char* name;
  PngLayout layout;
  std::vector<std::vector<uint8_t>> rows;
  std::vector<Rgba> rgba;  // expected file samples, one row
};

// One row each; the PNG's samples and the RGBA file samples they must give.
std::vector<ColourTypeCase> ColourTypeCases() {
  const std::vector<png_color> pal = {{51, 128, 255}, {0, 255, 51}, {255, 0, 128}, {170, 85, 17}};
  constexpr int gray = PNG_COLOR_TYPE_GRAY, grayAlpha = PNG_COLOR_TYPE_GRAY_ALPHA,
                rgb = PNG_COLOR_TYPE_RGB, rgba = PNG_COLOR_TYPE_RGB_ALPHA,
                palette = PNG_COLOR_TYPE_PALETTE;
  constexpr uint16_t o = 255, O = 65535;  // opaque
  return {
      {"gray1",
       {4, 1, gray, 1},
       {{0b01010000}},
       {{0, 0, 0, o}, {o, o, o, o}, {0, 0, 0, o}, {o, o, o, o}}},
      {"gray2",
       {4, 1, gray, 2},
       {{0b00011011}},
       {{0, 0, 0, o}, {85, 85, 85, o}, {170, 170, 170, o}, {o, o, o, o}}},
      {"gray4",
       {4, 1, gray, 4},
       {{0x0F, 0x81}},
       {{0, 0, 0, o}, {o, o, o, o}, {136, 136, 136, o}, {17, 17, 17, o}}},
      {"gray8", {3, 1, gray, 8}, {{0, 128, 255}}, {{0, 0, 0, o}, {128, 128, 128, o}, {o, o, o, o}}},
      {"gray16",
       {3, 1, gray, 16},
       {Be16({0, 4660, 65535})},
       {{0, 0, 0, O}, {4660, 4660, 4660, O}, {O, O, O, O}}},
      {"grayAlpha8",
       {2, 1, grayAlpha, 8},
       {{128, 0, 255, 51}},
       {{128, 128, 128, 0}, {o, o, o, 51}}},
      {"grayAlpha16",
       {2, 1, grayAlpha, 16},
       {Be16({4660, 32768, 65535, 0})},
       {{4660, 4660, 4660, 32768}, {O, O, O, 0}}},
      {"rgb8", {2, 1, rgb, 8}, {{255, 128, 0, 0, 51, 255}}, {{255, 128, 0, o}, {0, 51, 255, o}}},
      {"rgb16", {1, 1, rgb, 16}, {Be16({65535, 32768, 4660})}, {{O, 32768, 4660, O}}},
      // Colour under zero alpha stays as stored: no premultiplication.
      {"rgba8",
       {2, 1, rgba, 8},
       {{17, 51, 85, 0, 255, 128, 51, 128}},
       {{17, 51, 85, 0}, {255, 128, 51, 128}}},
      {"rgba16", {1, 1, rgba, 16}, {Be16({4660, 0, 65535, 32768})}, {{4660, 0, O, 32768}}},
      {"palette1",
       {2, 1, palette, 1, {pal[0], pal[1]}},
       {{0b10000000}},
       {{0, 255, 51, o}, {51, 128, 255, o}}},
      {"palette2Transparent",
       {4, 1, palette, 2, pal, {0, 128}},
       {{0b00011011}},
       {{51, 128, 255, 0}, {0, 255, 51, 128}, {255, 0, 128, o}, {170, 85, 17, o}}},
      {"palette4", {2, 1, palette, 4, pal}, {{0x30}}, {{170, 85, 17, o}, {51, 128, 255, o}}},
      {"palette8Transparent",
       {2, 1, palette, 8, pal, {255, 255, 51}},
       {{2, 1}},
       {{255, 0, 128, 51}, {0, 255, 51, o}}},
      {"gray8TransparentValue",
       {2, 1, gray, 8, {}, {}, png_color_16{0, 0, 0, 0, 128}},
       {{128, 255}},
       {{128, 128, 128, 0}, {o, o, o, o}}},
      {"rgb16TransparentColour",
       {2, 1, rgb, 16, {}, {}, png_color_16{0, 4660, 4660, 4660, 0}},
       {Be16({4660, 4660, 4660, 65535, 0, 32768})},
       {{4660, 4660, 4660, 0}, {O, 0, 32768, O}}},
  };
}

template <class Pixel>
Rgba RenderChannels(const Image& image, int x) {
  HostWorld<Pixel> world(image.width, image.height, 3);
  test::ImageToWorld(image, world);
  const Pixel& p = world.at(x, 0);
  return {p.red, p.green, p.blue, p.alpha};
}

Rgba Lookup(const std::map<uint16_t, uint16_t>& table, const Rgba& v) {
  return {table.at(v[0]), table.at(v[1]), table.at(v[2]), table.at(v[3])};
}

class CliPngColourTypes : public ScratchTest {};

TEST_F(CliPngColourTypes, ReadAsFileSamplesAndConvertIntoBothDepths) {
  for (const ColourTypeCase& c : ColourTypeCases()) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(std::string(c.name) + ".png");
    WritePng(path, c.layout, c.rows);
    const Image image = cli::ReadImage(path);
    ASSERT_EQ(image.width, c.layout.width);
    ASSERT_EQ(image.height, 1);
    const int fileBits = c.layout.bitDepth == 16 ? 16 : 8;
    ASSERT_EQ(image.bits, fileBits);
    for (int x = 0; x < image.width; ++x) {
      SCOPED_TRACE(x);
      const Rgba& file = c.rgba[static_cast<size_t>(x)];
      const Rgba read = {image.samples[image.index(x, 0)], image.samples[image.index(x, 0) + 1],
                         image.samples[image.index(x, 0) + 2],
                         image.samples[image.index(x, 0) + 3]};
      EXPECT_EQ(read, file);
      if (fileBits == 8) {
        EXPECT_EQ(RenderChannels<PF_Pixel8>(image, x), file);
        EXPECT_EQ(RenderChannels<PF_Pixel16>(image, x), Lookup(kRender16From8, file));
      } else {
        EXPECT_EQ(RenderChannels<PF_Pixel8>(image, x), Lookup(kRender8From16, file));
        EXPECT_EQ(RenderChannels<PF_Pixel16>(image, x), Lookup(kRender16From16, file));
      }
    }
  }
}

TEST(CliImageToWorld, PaddingPixelsOfAFrameBufferStayZero) {
  cli::FrameBuffer<PF_Pixel8> world(3, 2, 2);
  test::ImageToWorld(FlatImage(3, 2, 8, 255, 255, 255, 255), world);
  for (int32_t i : {3, 4, 8, 9}) {
    const PF_Pixel8& p = world.pixels()[i];
    EXPECT_EQ(p.alpha | p.red | p.green | p.blue, 0) << i;
  }
}

TEST_F(CliPngColourTypes, EveryOutputFormatKeepsColourUnderTransparentAlpha) {
  // Written and read back unassociated: no format premultiplies on the way.
  for (const auto& [name, bits] : std::vector<std::pair<std::string, int>>{
           {"a.png", 8}, {"b.png", 16}, {"c.tif", 8}, {"d.tiff", 16}, {"e.tga", 8}}) {
    SCOPED_TRACE(name);
    const uint16_t full = bits == 16 ? 65535 : 255;
    Image image = FlatImage(3, 2, bits, 17, 51, full, 0);
    image.samples[image.index(2, 1) + 3] = static_cast<uint16_t>(full / 5);
    cli::WriteImage(Path(name), image);
    const Image back = cli::ReadImage(Path(name));
    EXPECT_EQ(back.bits, bits);
    EXPECT_EQ(back.samples, image.samples);
  }
}

}  // namespace
}  // namespace corvalin::clitest
