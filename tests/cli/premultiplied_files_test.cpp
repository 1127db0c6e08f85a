// Premultiplied files through the command: OpenEXR and associated-alpha TIFF
// are unpremultiplied before the render and OpenEXR written premultiplied
// after it, so a keyed frame composites without a fringe; --alpha overrides
// what a file says.
#include <Imath/half.h>
#include <OpenImageIO/imageio.h>

#include <cmath>

#include "cli/frame_options.h"
#include "cli_test_support.h"
#include "effect/pixel_convert.h"

namespace corvalin::clitest {
namespace {

using Floats = std::vector<float>;

struct FloatFile {
  OIIO::TypeDesc type;
  int alphaChannel = -1;
  int unassociated = -1;  // the reader's "oiio:UnassociatedAlpha", -1 absent
  Floats rgba;
};

FloatFile ReadAsFloat(const std::string& path) {
  FloatFile f;
  OIIO::ImageSpec config;  // samples as stored
  config.attribute("oiio:UnassociatedAlpha", 1);
  OIIO::ImageSpec layout;
  auto in = OIIO::ImageInput::create(path);
  if (!in || !in->open(path, layout, config)) return f;
  f.type = layout.format;
  f.alphaChannel = layout.alpha_channel;
  f.unassociated = layout.get_int_attribute("oiio:UnassociatedAlpha", -1);
  f.rgba.resize(static_cast<size_t>(layout.image_pixels()) * 4);
  in->read_image(0, 0, 0, 4, OIIO::TypeDesc::FLOAT, f.rgba.data());
  return f;
}

void WriteFile(const std::string& path, int w, int h, OIIO::TypeDesc type, const Floats& rgba,
               bool associated) {
  OIIO::ImageSpec layout(w, h, 4, type);
  layout.alpha_channel = 3;
  if (!associated) layout.attribute("oiio:UnassociatedAlpha", 1);
  auto out = OIIO::ImageOutput::create(path);
  ASSERT_TRUE(out && out->open(path, layout)) << path;
  ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, rgba.data()));
  out->close();
}

using CliPremultipliedFiles = ScratchTest;

// A flat premultiplied frame has no edge: each pixel comes back as the
// conversions make it, and premultiplying undoes unpremultiplying exactly
// here. The corner markers of a flat 4 x 3 frame land on (1, 1), (3, 1), (1, 2)
// and (3, 2).
TEST_F(CliPremultipliedFiles, FlatOpenExrFrameComesBackPremultipliedExactly) {
  const Floats pixel = {0.25f, 0.125f, 0.0f, 0.5f};
  Floats in;
  for (int i = 0; i < 12; ++i) in.insert(in.end(), pixel.begin(), pixel.end());
  WriteFile(Path("flat.exr"), 4, 3, OIIO::TypeDesc::FLOAT, in, true);
  ASSERT_EQ(RunRender({Path("flat.exr"), Path("out.exr")}).status, 0);
  const FloatFile out = ReadAsFloat(Path("out.exr"));
  EXPECT_EQ(out.type, OIIO::TypeDesc::FLOAT);
  Floats want = in;
  for (int y : {1, 2}) {
    for (int x : {1, 3}) {
      const size_t at = static_cast<size_t>(y * 4 + x) * 4;
      want[at] = 1.0f, want[at + 1] = 0.0f, want[at + 2] = 0.0f, want[at + 3] = 1.0f;
    }
  }
  EXPECT_EQ(out.rgba, want);

  // Read as straight, the same samples are colours of their own; written
  // straight, they come back unchanged too.
  ASSERT_EQ(RunRender({Path("flat.exr"), Path("straight.exr"), "--alpha", "straight"}).status, 0);
  EXPECT_EQ(ReadAsFloat(Path("straight.exr")).rgba, want);
  // Unpremultiplied into a PNG: 0.25 / 0.5 -> 16384 -> 32768, 0.125 / 0.5 -> 8192 -> 16384.
  ASSERT_EQ(RunRender({Path("flat.exr"), Path("flat.png")}).status, 0);
  const cli::Image png = cli::ReadImage(Path("flat.png"));
  EXPECT_EQ(png.bits, 16);
  EXPECT_EQ(std::vector<uint16_t>(png.samples.begin(), png.samples.begin() + 4),
            (std::vector<uint16_t>{32768, 16384, 0, 32768}));
}

// The keyed cel frame: every pixel of the OpenEXR output holds colour within
// its alpha, and dividing it out gives the straight render within the
// rounding of the premultiplication: float32, two roundings (one product,
// one quotient), 2^-22 at most; half, where the product and alpha are each
// rounded to half, |u - c| <= c x 2^-10 + 2^-24 / a (twice half's relative
// rounding, and its absolute rounding below 2^-14).
TEST_F(CliPremultipliedFiles, KeyedFrameInOpenExrHasNoColourAboveAlpha) {
  cli::WriteImage(Path("cel.png"), CelImage(96, 64, 8));
  const std::vector<std::string> key = {"--use-color-key", "--alpha-key", "FAC828"};
  auto render = [&](std::vector<std::string> args) {
    args.insert(args.end(), key.begin(), key.end());
    ASSERT_EQ(RunRender(args).status, 0);
  };
  render({Path("cel.png"), Path("straight.png"), "--depth", "16"});
  render({Path("cel.png"), Path("float.exr"), "--float-output", "float"});
  render({Path("cel.png"), Path("half.exr")});
  const cli::Image straight = cli::ReadImage(Path("straight.png"));
  ASSERT_EQ(straight.bits, 16);

  for (const char* name : {"float.exr", "half.exr"}) {
    SCOPED_TRACE(name);
    const bool half = std::string(name) == "half.exr";
    const FloatFile out = ReadAsFloat(Path(name));
    ASSERT_EQ(out.rgba.size(), straight.samples.size());
    int partial = 0;
    for (size_t i = 0; i < out.rgba.size(); i += 4) {
      const float a = out.rgba[i + 3];
      const float wantAlpha = Channel16ToFloat(FileToChannel16(straight.samples[i + 3], 16));
      ASSERT_EQ(a, half ? static_cast<float>(Imath::half(wantAlpha)) : wantAlpha) << i / 4;
      if (a > 0.0f && a < 1.0f) ++partial;
      for (size_t c = 0; c < 3; ++c) {
        const float v = out.rgba[i + c];
        ASSERT_LE(v, a) << "pixel " << i / 4;
        if (a == 0.0f) {
          ASSERT_EQ(v, 0.0f) << "pixel " << i / 4;
          continue;
        }
        const double want = Channel16ToFloat(FileToChannel16(straight.samples[i + c], 16));
        const double bound =
            half ? want * std::ldexp(1.0, -10) + std::ldexp(1.0, -24) / a : std::ldexp(1.0, -22);
        ASSERT_LE(std::abs(v / a - want), bound) << "pixel " << i / 4;
      }
    }
    EXPECT_GT(partial, 20);  // the key's edges are smoothed into partial alpha
  }
}

// An associated-alpha TIFF is unpremultiplied as render channels: 16-bit
// sample 32768 is channel 16384, 16384 is 8192; 8192 x 32768 / 16384 =
// 16384, written straight as 32768. Read as straight it stays 8192 (16384).
TEST_F(CliPremultipliedFiles, AssociatedTiffAndTheOverride) {
  const float s16384 = 16384.0f / 65535.0f, s32768 = 32768.0f / 65535.0f;
  Floats in;
  for (int i = 0; i < 9; ++i) in.insert(in.end(), {s16384, s16384, 0.0f, s32768});
  WriteFile(Path("assoc.tif"), 3, 3, OIIO::TypeDesc::UINT16, in, true);
  const auto firstPixel = [](const cli::Image& im) {
    return std::vector<uint16_t>(im.samples.begin(), im.samples.begin() + 4);
  };
  ASSERT_EQ(RunRender({Path("assoc.tif"), Path("out.png")}).status, 0);
  EXPECT_EQ(firstPixel(cli::ReadImage(Path("out.png"))),
            (std::vector<uint16_t>{32768, 32768, 0, 32768}));
  ASSERT_EQ(RunRender({Path("assoc.tif"), Path("asis.png"), "--alpha", "straight"}).status, 0);
  EXPECT_EQ(firstPixel(cli::ReadImage(Path("asis.png"))),
            (std::vector<uint16_t>{16384, 16384, 0, 32768}));

  // A TIFF output says which convention it holds in its extra-samples tag.
  ASSERT_EQ(RunRender({Path("assoc.tif"), Path("straight.tif")}).status, 0);
  FloatFile tif = ReadAsFloat(Path("straight.tif"));
  EXPECT_EQ(tif.alphaChannel, 3);
  EXPECT_EQ(tif.unassociated, 1);
  EXPECT_EQ(tif.rgba[0], s32768);
  ASSERT_EQ(
      RunRender({Path("assoc.tif"), Path("assoc_out.tif"), "--alpha", "premultiplied"}).status, 0);
  tif = ReadAsFloat(Path("assoc_out.tif"));
  EXPECT_EQ(tif.alphaChannel, 3);
  EXPECT_EQ(tif.unassociated, -1);
  EXPECT_EQ(tif.rgba[0], s16384);

  const CommandResult bad = RunRender({Path("assoc.tif"), Path("x.png"), "--alpha", "associated"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(
      bad.output.find("'associated' is not an alpha convention; use straight or premultiplied"),
      std::string::npos)
      << bad.output;
}

// Integer premultiplied output keeps the straight render within
// M / (2a) + 1/2 channel steps wherever alpha is above 0.
TEST_F(CliPremultipliedFiles, PremultipliedSixteenBitOutputWithinItsBound) {
  cli::WriteImage(Path("cel.png"), CelImage(64, 48, 16));
  const std::vector<std::string> common = {"--use-color-key", "--alpha-key", "FAC828"};
  std::vector<std::string> a = {Path("cel.png"), Path("straight.png")};
  a.insert(a.end(), common.begin(), common.end());
  ASSERT_EQ(RunRender(a).status, 0);
  // The input is opaque, the same read either way; the key makes the
  // transparency, and the output is written premultiplied.
  std::vector<std::string> b = {Path("cel.png"), Path("pre.tif"), "--alpha", "premultiplied"};
  b.insert(b.end(), common.begin(), common.end());
  ASSERT_EQ(RunRender(b).status, 0);
  const cli::Image straight = cli::ReadImage(Path("straight.png"));
  const cli::Image pre = cli::ReadImage(Path("pre.tif"));
  ASSERT_EQ(pre.samples.size(), straight.samples.size());
  int partial = 0;
  for (size_t i = 0; i < pre.samples.size(); i += 4) {
    const uint32_t alpha = FileToChannel16(pre.samples[i + 3], 16);
    ASSERT_EQ(alpha, FileToChannel16(straight.samples[i + 3], 16));
    if (alpha > 0 && alpha < 32768) ++partial;
    for (size_t c = 0; c < 3; ++c) {
      const uint32_t p = FileToChannel16(pre.samples[i + c], 16);
      ASSERT_LE(p, alpha);
      if (alpha == 0) continue;
      PF_Pixel16 px{static_cast<A_u_short>(alpha), static_cast<A_u_short>(p), 0, 0};
      const int back = UnpremultiplyPixel(px).red;
      const int want = FileToChannel16(straight.samples[i + c], 16);
      ASSERT_LE(std::abs(back - want), 32768.0 / (2.0 * alpha) + 0.5) << i / 4;
    }
  }
  EXPECT_GT(partial, 10);
}

}  // namespace
}  // namespace corvalin::clitest
