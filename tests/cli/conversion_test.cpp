// File samples into render channels and back, and every PNG colour type read
// at 8 and 16 bits into both render depths. Expected values are worked out by
// hand from the conversion rules (integer arithmetic, remainder dropped).
#include <map>

#include "cli/channel_convert.h"
#include "cli/render_frame.h"
#include "cli_test_support.h"

namespace corvalin::clitest {
namespace {

using cli::Image;
using minihost::HostWorld;

TEST(CliChannelConversion, EightBitFileIntoSixteenBitRender) {
  // (v * 32768 + 127) / 255
  EXPECT_EQ(cli::FileToChannel16(0, 8), 0);
  EXPECT_EQ(cli::FileToChannel16(1, 8), 129);  // 32895 / 255 is exactly 129
  EXPECT_EQ(cli::FileToChannel16(128, 8), 16448);
  EXPECT_EQ(cli::FileToChannel16(255, 8), 32768);
  EXPECT_EQ(cli::FileToChannel8(200, 8), 200);
}

TEST(CliChannelConversion, SixteenBitFileIntoBothRenders) {
  // 8-bit render: (v * 255 + 32767) / 65535; the step to 1 comes at 129.
  EXPECT_EQ(cli::FileToChannel8(128, 16), 0);
  EXPECT_EQ(cli::FileToChannel8(129, 16), 1);
  EXPECT_EQ(cli::FileToChannel8(32768, 16), 128);
  EXPECT_EQ(cli::FileToChannel8(65535, 16), 255);
  // 16-bit render: (v * 32768 + 32767) / 65535.
  EXPECT_EQ(cli::FileToChannel16(1, 16), 1);
  EXPECT_EQ(cli::FileToChannel16(2, 16), 1);
  EXPECT_EQ(cli::FileToChannel16(32767, 16), 16384);
  EXPECT_EQ(cli::FileToChannel16(32768, 16), 16384);
  EXPECT_EQ(cli::FileToChannel16(65535, 16), 32768);
}

TEST(CliChannelConversion, SixteenBitRenderIntoFile) {
  // (v * 65535 + 16384) / 32768
  EXPECT_EQ(cli::Channel16ToFile(0), 0);
  EXPECT_EQ(cli::Channel16ToFile(1), 2);
  EXPECT_EQ(cli::Channel16ToFile(129), 258);
  EXPECT_EQ(cli::Channel16ToFile(16384), 32768);
  EXPECT_EQ(cli::Channel16ToFile(16448), 32895);
  EXPECT_EQ(cli::Channel16ToFile(32768), 65535);
  EXPECT_EQ(cli::Channel16ToFile(40000), 65535);  // out of range stays in the file's range
}

TEST(CliChannelConversion, SixteenBitRoundTripKeepsEveryFileValueWithinOne) {
  for (uint32_t v = 0; v <= 65535; ++v) {
    const int back = cli::Channel16ToFile(cli::FileToChannel16(v, 16));
    ASSERT_LE(std::abs(back - static_cast<int>(v)), 1) << v;
  }
}

// File values used below and their hand-computed render channels.
const std::map<uint16_t, uint16_t> kRender16From8 = {
    {0, 0},       {17, 2185},   {51, 6554},   {85, 10923}, {128, 16448},
    {136, 17476}, {170, 21845}, {255, 32768}};
const std::map<uint16_t, uint16_t> kRender8From16 = {{0, 0}, {4660, 18}, {32768, 128}, {65535, 255}};
const std::map<uint16_t, uint16_t> kRender16From16 = {
    {0, 0}, {4660, 2330}, {32768, 16384}, {65535, 32768}};

struct ColourTypeCase {
  const char* name;
  PngSpec layout;
  std::vector<std::vector<uint8_t>> rows;
  int fileBits;
  std::vector<std::array<uint16_t, 4>> rgba;  // expected file samples, one row
};

std::vector<ColourTypeCase> ColourTypeCases() {
  const png_color pal[4] = {{51, 128, 255}, {0, 255, 51}, {255, 0, 128}, {170, 85, 17}};
  std::vector<ColourTypeCase> cases;
  auto add = [&](const char* name, int type, int depth, int width,
                 std::vector<std::vector<uint8_t>> rows, int fileBits,
                 std::vector<std::array<uint16_t, 4>> rgba) {
    PngSpec layout;
    layout.width = width;
    layout.colourType = type;
    layout.bitDepth = depth;
    cases.push_back({name, layout, std::move(rows), fileBits, std::move(rgba)});
    return &cases.back();
  };
  add("gray1", PNG_COLOR_TYPE_GRAY, 1, 4, {{0b01010000}}, 8,
      {{0, 0, 0, 255}, {255, 255, 255, 255}, {0, 0, 0, 255}, {255, 255, 255, 255}});
  add("gray2", PNG_COLOR_TYPE_GRAY, 2, 4, {{0b00011011}}, 8,
      {{0, 0, 0, 255}, {85, 85, 85, 255}, {170, 170, 170, 255}, {255, 255, 255, 255}});
  add("gray4", PNG_COLOR_TYPE_GRAY, 4, 4, {{0x0F, 0x81}}, 8,
      {{0, 0, 0, 255}, {255, 255, 255, 255}, {136, 136, 136, 255}, {17, 17, 17, 255}});
  add("gray8", PNG_COLOR_TYPE_GRAY, 8, 3, {{0, 128, 255}}, 8,
      {{0, 0, 0, 255}, {128, 128, 128, 255}, {255, 255, 255, 255}});
  add("gray16", PNG_COLOR_TYPE_GRAY, 16, 3, {Be16({0, 4660, 65535})}, 16,
      {{0, 0, 0, 65535}, {4660, 4660, 4660, 65535}, {65535, 65535, 65535, 65535}});
  add("grayAlpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, 2, {{128, 0, 255, 51}}, 8,
      {{128, 128, 128, 0}, {255, 255, 255, 51}});
  add("grayAlpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, 2, {Be16({4660, 32768, 65535, 0})}, 16,
      {{4660, 4660, 4660, 32768}, {65535, 65535, 65535, 0}});
  add("rgb8", PNG_COLOR_TYPE_RGB, 8, 2, {{255, 128, 0, 0, 51, 255}}, 8,
      {{255, 128, 0, 255}, {0, 51, 255, 255}});
  add("rgb16", PNG_COLOR_TYPE_RGB, 16, 1, {Be16({65535, 32768, 4660})}, 16,
      {{65535, 32768, 4660, 65535}});
  // Colour under zero alpha stays as stored: no premultiplication.
  add("rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8, 2, {{17, 51, 85, 0, 255, 128, 51, 128}}, 8,
      {{17, 51, 85, 0}, {255, 128, 51, 128}});
  add("rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16, 1, {Be16({4660, 0, 65535, 32768})}, 16,
      {{4660, 0, 65535, 32768}});
  auto* p = add("palette1", PNG_COLOR_TYPE_PALETTE, 1, 2, {{0b10000000}}, 8,
                {{0, 255, 51, 255}, {51, 128, 255, 255}});
  p->layout.palette.assign(pal, pal + 2);
  p = add("palette2Transparent", PNG_COLOR_TYPE_PALETTE, 2, 4, {{0b00011011}}, 8,
          {{51, 128, 255, 0}, {0, 255, 51, 128}, {255, 0, 128, 255}, {170, 85, 17, 255}});
  p->layout.palette.assign(pal, pal + 4);
  p->layout.paletteAlpha = {0, 128};
  p = add("palette4", PNG_COLOR_TYPE_PALETTE, 4, 2, {{0x30}}, 8,
          {{170, 85, 17, 255}, {51, 128, 255, 255}});
  p->layout.palette.assign(pal, pal + 4);
  p = add("palette8Transparent", PNG_COLOR_TYPE_PALETTE, 8, 2, {{2, 1}}, 8,
          {{255, 0, 128, 51}, {0, 255, 51, 255}});
  p->layout.palette.assign(pal, pal + 4);
  p->layout.paletteAlpha = {255, 255, 51};
  p = add("gray8TransparentValue", PNG_COLOR_TYPE_GRAY, 8, 2, {{128, 255}}, 8,
          {{128, 128, 128, 0}, {255, 255, 255, 255}});
  p->layout.transparent = png_color_16{0, 0, 0, 0, 128};
  p = add("rgb16TransparentColour", PNG_COLOR_TYPE_RGB, 16, 2,
          {Be16({4660, 4660, 4660, 65535, 0, 32768})}, 16,
          {{4660, 4660, 4660, 0}, {65535, 0, 32768, 65535}});
  p->layout.transparent = png_color_16{0, 4660, 4660, 4660, 0};
  return cases;
}

template <class Pixel>
std::array<uint16_t, 4> RenderChannels(const Image& image, int x) {
  HostWorld<Pixel> world(image.width, image.height, 3);
  cli::ImageToWorld(image, world);
  const Pixel& p = world.at(x, 0);
  return {p.red, p.green, p.blue, p.alpha};
}

std::array<uint16_t, 4> Lookup(const std::map<uint16_t, uint16_t>& table,
                               const std::array<uint16_t, 4>& v) {
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
    ASSERT_EQ(image.bits, c.fileBits);
    for (int x = 0; x < image.width; ++x) {
      SCOPED_TRACE(x);
      const std::array<uint16_t, 4>& file = c.rgba[static_cast<size_t>(x)];
      const std::array<uint16_t, 4> read = {image.samples[image.index(x, 0)],
                                            image.samples[image.index(x, 0) + 1],
                                            image.samples[image.index(x, 0) + 2],
                                            image.samples[image.index(x, 0) + 3]};
      EXPECT_EQ(read, file);
      if (c.fileBits == 8) {
        EXPECT_EQ(RenderChannels<PF_Pixel8>(image, x), file);
        EXPECT_EQ(RenderChannels<PF_Pixel16>(image, x), Lookup(kRender16From8, file));
      } else {
        EXPECT_EQ(RenderChannels<PF_Pixel8>(image, x), Lookup(kRender8From16, file));
        EXPECT_EQ(RenderChannels<PF_Pixel16>(image, x), Lookup(kRender16From16, file));
      }
    }
  }
}

TEST_F(CliPngColourTypes, PaddingPixelsStayZero) {
  const Image image = FlatImage(3, 2, 8, 255, 255, 255, 255);
  HostWorld<PF_Pixel8> world(3, 2, 2);
  cli::ImageToWorld(image, world);
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 3; x < 5; ++x) {
      const PF_Pixel8& p = world.pixels()[y * world.stride() + x];
      EXPECT_EQ(p.alpha | p.red | p.green | p.blue, 0) << x << "," << y;
    }
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

TEST(CliWorldToImage, SixteenBitOutputUsesTheFileScale) {
  HostWorld<PF_Pixel16> world(2, 1, 1);
  world.at(0, 0) = PF_Pixel16{32768, 16384, 129, 0};
  world.at(1, 0) = PF_Pixel16{16448, 1, 32768, 6554};
  const Image image = cli::WorldToImage(world);
  EXPECT_EQ(image.bits, 16);
  const std::vector<uint16_t> expected = {32768, 258, 0, 65535, 2, 65535, 13108, 32895};
  EXPECT_EQ(image.samples, expected);
}

}  // namespace
}  // namespace corvalin::clitest
