// The format rules at the bottom of the data path, checked case by case: the
// samples each format holds for each request, the formats named by
// extension, the output folder and the command's frame buffers.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "cli/formats.h"
#include "cli/frame_buffer.h"
#include "cli/frame_io.h"
#include "cli_test_support.h"

namespace corvalin {
namespace {

using cli::SampleKind;

struct SampleCase {
  const char* output;
  int depth;
  std::optional<SampleKind> floatOutput;
  std::optional<SampleKind> input;
  int wantDepth;
  SampleKind wantKind;
};

TEST(CliPlanSamples, EachFormatHoldsItsOwnSamples) {
  constexpr auto u8 = SampleKind::uint8, u16 = SampleKind::uint16;
  constexpr auto half = SampleKind::half, f32 = SampleKind::float32;
  const SampleCase cases[] = {
      // The input's depth where none is asked; PNG and TGA hold integers.
      {"o.png", 0, {}, u8, 8, u8},
      {"o.png", 0, {}, u16, 16, u16},
      {"o.png", 16, {}, u8, 16, u16},
      {"o.png", 0, {}, half, 16, u16},
      {"o.tga", 0, {}, u8, 8, u8},
      // TIFF holds floats as 32-bit, for a float input or when asked.
      {"o.tif", 0, {}, u8, 8, u8},
      {"o.tiff", 0, {}, half, 16, f32},
      {"o.tif", 0, half, u8, 16, f32},
      // OpenEXR: half unless the input or the option says float.
      {"o.exr", 0, {}, u8, 16, half},
      {"o.exr", 0, {}, f32, 16, f32},
      {"o.exr", 0, f32, half, 16, f32},
      // The options alone: no depth is chosen until the input is known.
      {"o.png", 0, {}, {}, 0, u8},
      {"o.exr", 16, {}, {}, 16, half},
  };
  for (const SampleCase& c : cases) {
    SCOPED_TRACE(std::string(c.output) + " depth " + std::to_string(c.depth));
    const cli::SamplePlan plan = cli::PlanSamples(
        c.output, cli::FormatOfPath(c.output), cli::SampleRequest{c.depth, c.floatOutput, c.input});
    EXPECT_EQ(plan.depth, c.wantDepth);
    EXPECT_EQ(plan.kind, c.wantKind);
  }
}

TEST(CliPlanSamples, RefusesWhatAFormatCannotHold) {
  struct Refusal {
    const char* output;
    cli::SampleRequest request;
    const char* message;
  };
  const Refusal refusals[] = {
      {"o.tga",
       {16, {}, {}},
       "o.tga: TGA holds 8 bits per channel; use --depth 8 or a .png, .tif or .exr output for "
       "16 bits"},
      {"o.tga",
       {0, {}, SampleKind::uint16},
       "o.tga: TGA holds 8 bits per channel; use --depth 8 or a .png, .tif or .exr output for "
       "16 bits"},
      {"o.exr",
       {8, {}, {}},
       "o.exr: an OpenEXR output holds the 16-bit render as float; leave out --depth 8"},
      {"o.png",
       {0, SampleKind::half, {}},
       "--float-output: PNG holds no float samples; use a .exr or .tif output"},
      {"o.tif",
       {8, SampleKind::float32, {}},
       "--float-output: a float output holds the 16-bit render; leave out --depth 8"},
      {"o.png",
       {8, {}, SampleKind::half},
       "a half float file renders at 16 bits; leave out --depth 8"},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.message);
    try {
      cli::PlanSamples(r.output, cli::FormatOfPath(r.output), r.request);
      ADD_FAILURE() << "accepted";
    } catch (const cli::CliError& e) {
      EXPECT_EQ(std::string(e.what()), r.message);
    }
  }
}

TEST(CliFormats, ExtensionsNameFormatsInAnyCase) {
  EXPECT_EQ(cli::FormatOfExtension("a/b.PNG"), cli::FileFormat::png);
  EXPECT_EQ(cli::FormatOfExtension("b.Tiff"), cli::FileFormat::tiff);
  EXPECT_EQ(cli::FormatOfExtension("b.tif"), cli::FileFormat::tiff);
  EXPECT_EQ(cli::FormatOfExtension("b.tga"), cli::FileFormat::tga);
  EXPECT_EQ(cli::FormatOfExtension("b.EXR"), cli::FileFormat::exr);
  EXPECT_EQ(cli::FormatOfExtension("b.jpg"), std::nullopt);
  EXPECT_EQ(cli::FormatOfExtension("png"), std::nullopt);
  EXPECT_EQ(cli::DefaultOutputAlpha(cli::FileFormat::exr), AlphaConvention::premultiplied);
  EXPECT_EQ(cli::DefaultOutputAlpha(cli::FileFormat::tiff), AlphaConvention::straight);
  try {
    cli::FormatOfPath("out.JPG");
    ADD_FAILURE() << "accepted";
  } catch (const cli::CliError& e) {
    EXPECT_STREQ(e.what(),
                 "out.JPG: unsupported output format '.jpg'; use .png, .tif, .tiff, "
                 ".tga or .exr");
  }
}

class CliOutputFolder : public clitest::ScratchTest {};

TEST_F(CliOutputFolder, IsTheParentOrHereAndMustExist) {
  EXPECT_EQ(cli::OutputFolder(Path("o.png")), std::filesystem::path(Path("o.png")).parent_path());
  EXPECT_EQ(cli::OutputFolder("o.png"), std::filesystem::path("."));
  try {
    cli::OutputFolder(Path("missing/o.png"));
    ADD_FAILURE() << "accepted";
  } catch (const cli::CliError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot write " + Path("missing/o.png") + ": the folder " +
                                         Path("missing") + " does not exist");
  }
}

TEST(CliFrameBuffer, DescribesItsPixelsToTheEffectWithZeroPadding) {
  cli::FrameBuffer<PF_Pixel16> frame(3, 2, 2);
  EXPECT_EQ(frame.stride(), 5);
  const PF_EffectWorld& world = frame.world();
  EXPECT_EQ(world.data, frame.pixels());
  EXPECT_EQ(world.rowbytes, 5 * 8);
  EXPECT_EQ(world.width, 3);
  EXPECT_EQ(world.height, 2);
  EXPECT_EQ(world.world_flags, PF_WorldFlag_WRITEABLE | PF_WorldFlag_DEEP);
  frame.pixels()[3] = PF_Pixel16{1, 2, 3, 4};  // as a render's corner marker
  frame.at(2, 1) = PF_Pixel16{5, 6, 7, 8};
  frame.ClearPadding();
  for (int i : {3, 4, 8, 9}) EXPECT_EQ(frame.pixels()[i].alpha, 0) << i;
  EXPECT_EQ(frame.pixels()[7].blue, 8);
  EXPECT_EQ(cli::RenderPixelBytes(8), 4);
  EXPECT_EQ(cli::RenderPixelBytes(16), 8);
}

}  // namespace
}  // namespace corvalin
