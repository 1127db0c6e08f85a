// Float files: OpenEXR (half and float) and float TIFF in and out, against
// values worked out by hand from the mapping v16 = lround(clamp(v, 0, 1) x
// 32768) and back v16 / 32768, rounded to the nearest half for half files.
// Every pixel of these frames is fully transparent (alpha NaN, negative or 0
// all become 0), which leaves the effect nothing to smooth: each pixel comes
// back as the conversions alone make it, but for the corner markers, which
// all land on pixel (1, 1) as opaque red. The files are taken and written
// with straight alpha (--alpha straight): premultiplied, every colour here
// would be 0.
#include <OpenImageIO/imageio.h>

#include <cmath>
#include <limits>

#include "effect/pixel_convert.h"
#include "cli_test_support.h"

namespace corvalin::clitest {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(CliFloatMapping, HandComputedChannelsAndBack) {
  struct Case {
    float v;
    uint16_t channel;
  };
  for (const Case c : {Case{kNaN, 0},
                       {-0.25f, 0},
                       {-0.0f, 0},
                       {0.0f, 0},
                       {std::ldexp(1.0f, -17), 0},  // 0.25 of a step
                       {std::ldexp(1.0f, -16), 1},  // half a step rounds away from zero
                       {0.0001f, 3},                // 3.2768 steps
                       {1.0f / 3.0f, 10923},        // 0.333333343 x 32768 = 10922.667
                       {0.5f, 16384},
                       {32767.0f / 32768.0f, 32767},
                       {1.0f, 32768},
                       {2.0f, 32768},
                       {std::numeric_limits<float>::infinity(), 32768},
                       {-std::numeric_limits<float>::infinity(), 0}}) {
    EXPECT_EQ(FloatToChannel16(c.v), c.channel) << c.v;
  }
  EXPECT_EQ(Channel16ToFloat(0), 0.0f);
  EXPECT_EQ(Channel16ToFloat(1), 3.0517578125e-05f);
  EXPECT_EQ(Channel16ToFloat(10923), 0.333343505859375f);
  EXPECT_EQ(Channel16ToFloat(32768), 1.0f);
}

using Pixels = std::vector<float>;  // RGBA, row by row

void WriteFloatImage(const std::string& path, int w, int h, OIIO::TypeDesc type,
                     const Pixels& rgba) {
  OIIO::ImageSpec layout(w, h, 4, type);
  layout.attribute("oiio:UnassociatedAlpha", 1);
  auto out = OIIO::ImageOutput::create(path);
  ASSERT_TRUE(out && out->open(path, layout)) << path;
  ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, rgba.data()));
  out->close();
}

struct Read {
  OIIO::TypeDesc type;
  Pixels rgba;
};

Read ReadFloatImage(const std::string& path) {
  Read r;
  OIIO::ImageSpec config;  // colour as stored, not multiplied by alpha
  config.attribute("oiio:UnassociatedAlpha", 1);
  auto in = OIIO::ImageInput::open(path, &config);
  if (!in) return r;
  const OIIO::ImageSpec layout = in->spec_dimensions(0);
  r.type = layout.format;
  r.rgba.resize(static_cast<size_t>(layout.image_pixels()) * 4);
  in->read_image(0, 0, 0, 4, OIIO::TypeDesc::FLOAT, r.rgba.data());
  return r;
}

// Every sample equal, NaN nowhere.
void ExpectSamples(const Pixels& got, const Pixels& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], want[i]) << "sample " << i;
}

using CliFloatFiles = ScratchTest;

TEST_F(CliFloatFiles, FloatAndHalfInAndOutAgainstHandComputedValues) {
  const Pixels floatIn = {kNaN,        -0.25f,      2.0f,
                          kNaN,        1.0f / 3.0f, 0.5f,
                          0.0001f,     -1.0f,       32767.0f / 32768.0f,
                          1.0f,        0.0f,        -0.0f,
                          0.25f,       0.75f,       0.125f,
                          0.0f,        0.0001f,     0.0001f,
                          0.0001f,     -1e30f,      1.0f / 3.0f,
                          1.0f / 3.0f, 3e30f,       kNaN};
  WriteFloatImage(Path("in_float.exr"), 3, 2, OIIO::TypeDesc::FLOAT, floatIn);
  // v16 / 32768 for v16 of each sample above.
  const float third = 0.333343505859375f, tiny = 9.1552734375e-05f, nearOne = 0.999969482421875f;
  const Pixels asFloat = {0,     0,     1,      0, third, 0.5f, tiny, 0, nearOne, 1,     0, 0,
                          0.25f, 0.75f, 0.125f, 0, 1,     0,    0,    1, third,   third, 1, 0};
  // The same to the nearest half: 10923 / 32768 is 1365.375 half steps of
  // 2^-12, 32767 / 32768 is nearer 1 than 1 - 2^-11; the others are exact.
  Pixels asHalf = asFloat;
  for (float& v : asHalf) {
    if (v == third) v = 0.333251953125f;
    if (v == nearOne) v = 1.0f;
  }

  ASSERT_EQ(RunRender({Path("in_float.exr"), Path("float.exr"), "--alpha", "straight"}).status, 0);
  ASSERT_EQ(RunRender({Path("in_float.exr"), Path("half.exr"), "--alpha", "straight",
                       "--float-output", "half"})
                .status,
            0);
  Read r = ReadFloatImage(Path("float.exr"));
  EXPECT_EQ(r.type, OIIO::TypeDesc::FLOAT);  // the input's float type
  ExpectSamples(r.rgba, asFloat);
  r = ReadFloatImage(Path("half.exr"));
  EXPECT_EQ(r.type, OIIO::TypeDesc::HALF);
  ExpectSamples(r.rgba, asHalf);

  // Half in: 0x3555 is 1365 / 4096, exactly 10920 steps; 65504 clamps.
  const float h3555 = 0.333251953125f, h3bff = 0.99951171875f;
  const Pixels halfIn = {h3555, kNaN, 65504.0f, -2.0f, std::ldexp(1.0f, -16),
                         h3bff, 1.0f, kNaN,     0.5f,  0.25f,
                         -0.0f, 0.0f, 0.0f,     0.0f,  0.0f,
                         0.0f};
  WriteFloatImage(Path("in_half.exr"), 2, 2, OIIO::TypeDesc::HALF, halfIn);
  ASSERT_EQ(RunRender({Path("in_half.exr"), Path("from_half.exr"), "--alpha", "straight"}).status,
            0);
  r = ReadFloatImage(Path("from_half.exr"));
  EXPECT_EQ(r.type, OIIO::TypeDesc::HALF);
  ExpectSamples(r.rgba,
                {h3555, 0, 1, 0, 3.0517578125e-05f, h3bff, 1, 0, 0.5f, 0.25f, 0, 0, 1, 0, 0, 1});

  // Float TIFF in: a .tif output stays float, a .png is 16-bit,
  // (v16 x 65535 + 16384) / 32768: 10923 -> 21846, 3 -> 6, 32767 -> 65533,
  // 24576 -> 49151.
  WriteFloatImage(Path("in.tif"), 3, 2, OIIO::TypeDesc::FLOAT, floatIn);
  ASSERT_EQ(RunRender({Path("in.tif"), Path("out.tif")}).status, 0);
  r = ReadFloatImage(Path("out.tif"));
  EXPECT_EQ(r.type, OIIO::TypeDesc::FLOAT);
  ExpectSamples(r.rgba, asFloat);
  ASSERT_EQ(RunRender({Path("in.tif"), Path("out.png")}).status, 0);
  const cli::Image png = cli::ReadImage(Path("out.png"));
  EXPECT_EQ(png.bits, 16);
  EXPECT_EQ(png.samples,
            (std::vector<uint16_t>{0,     0,     65535, 0,     21846, 32768, 6,     0,
                                   65533, 65535, 0,     0,     16384, 49151, 8192,  0,
                                   65535, 0,     0,     65535, 21846, 21846, 65535, 0}));
}

TEST_F(CliFloatFiles, IntegerInputsBecomeHalfUnlessFloatIsAsked) {
  // 8-bit v renders as (v x 32768 + 127) / 255: 1 -> 129, 77 -> 9895,
  // 128 -> 16448, 200 -> 25700. 9895 / 32768 is 1236.875 half steps of
  // 2^-12, 25700 / 32768 1606.2 steps of 2^-11.
  cli::WriteImage(Path("in.png"), [] {
    cli::Image im = FlatImage(2, 2, 8, 0, 0, 0, 255);
    im.samples = {1, 77, 128, 0, 200, 0, 255, 0, 77, 77, 77, 0, 1, 1, 1, 0};
    return im;
  }());
  const float v1 = 0.003936767578125f, v77 = 0.301971435546875f, v128 = 0.501953125f,
              v200 = 0.7843017578125f;
  ASSERT_EQ(RunRender({Path("in.png"), Path("half.exr"), "--alpha", "straight"}).status, 0);
  ASSERT_EQ(RunRender({Path("in.png"), Path("float.exr"), "--alpha", "straight", "--float-output",
                       "float"})
                .status,
            0);
  ASSERT_EQ(RunRender({Path("in.png"), Path("float.tif"), "--float-output", "half"}).status, 0);
  Read r = ReadFloatImage(Path("half.exr"));
  EXPECT_EQ(r.type, OIIO::TypeDesc::HALF);
  ExpectSamples(r.rgba, {v1, 0.302001953125f, v128, 0, 0.7841796875f, 0, 1, 0, 0.302001953125f,
                         0.302001953125f, 0.302001953125f, 0, 1, 0, 0, 1});
  const Pixels exact = {v1, v77, v128, 0, v200, 0, 1, 0, v77, v77, v77, 0, 1, 0, 0, 1};
  r = ReadFloatImage(Path("float.exr"));
  EXPECT_EQ(r.type, OIIO::TypeDesc::FLOAT);
  ExpectSamples(r.rgba, exact);
  // The TIFF writer has no half samples: float, with the exact values.
  r = ReadFloatImage(Path("float.tif"));
  EXPECT_EQ(r.type, OIIO::TypeDesc::FLOAT);
  ExpectSamples(r.rgba, exact);

  // What cannot be: float samples in PNG or TGA, an 8-bit float output, an
  // 8-bit render of a float file.
  for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"in.png", "o.png", "--float-output", "half"}, "PNG holds no float samples"},
           {{"in.png", "o.exr", "--depth", "8"}, "leave out --depth 8"},
           {{"float.exr", "o.png", "--depth", "8"}, "renders at 16 bits; leave out --depth 8"}}) {
    SCOPED_TRACE(args[1] + " " + args[2]);
    std::vector<std::string> full = {Path(args[0]), Path(args[1])};
    full.insert(full.end(), args.begin() + 2, args.end());
    const CommandResult result = RunRender(full);
    EXPECT_NE(result.status, 0);
    EXPECT_NE(result.output.find(message), std::string::npos) << result.output;
    EXPECT_FALSE(fs::exists(Path(args[1])));
  }
}

}  // namespace
}  // namespace corvalin::clitest
