// The built command end to end: what it writes for flat frames (conversions
// and markers only), that its renders are the module's renders over the mini
// host, sequences on several threads, and failures that leave no files.
#include <OpenImageIO/imageio.h>

#include <fstream>

#include "cli/command.h"
#include "cli/render_frame.h"
#include "cli_test_support.h"

namespace corvalin::clitest {
namespace {

using cli::Image;
using Rgba = std::array<uint16_t, 4>;

int FileChannels(const std::string& path) {
  auto in = OIIO::ImageInput::open(path);
  return in ? in->spec().nchannels : -1;
}

Rgba At(const Image& im, int32_t x, int32_t y) {
  const uint16_t* p = &im.samples[im.index(x, y)];
  return {p[0], p[1], p[2], p[3]};
}

// A flat opaque frame comes back unchanged apart from the opaque red marker
// at each corner of the processing rectangle. The rectangle is pulled in from
// the last row, and from the last column only when that ends the row stride:
// with row padding the right-hand markers land in the padding, which the
// output file does not hold.
void ExpectFlatFrame(const Image& out, int32_t w, int32_t h, int bits, const Rgba& colour,
                     bool padded = false) {
  ASSERT_EQ(out.width, w);
  ASSERT_EQ(out.height, h);
  ASSERT_EQ(out.bits, bits);
  const uint16_t full = bits == 16 ? 65535 : 255;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const bool marker = (x == 1 || (x == w - 1 && !padded)) && (y == 1 || y == h - 1);
      const Rgba expected = marker ? Rgba{full, 0, 0, full} : colour;
      ASSERT_EQ(At(out, x, y), expected) << "at " << x << "," << y;
    }
  }
}

class CliRenderCommand : public ScratchTest {
 protected:
  CommandResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), "render");
    return RunCorvalin(args);
  }
};

TEST_F(CliRenderCommand, FlatFramesAtEveryDepthAndFormat) {
  // 8-bit RGBA; 16-bit RGB; 2-bit gray; 4-bit palette; then TIFF and TGA.
  cli::WriteImage(Path("rgba8.png"), FlatImage(7, 5, 8, 51, 128, 255, 255));
  cli::WriteImage(Path("rgb16.tif"), FlatImage(6, 4, 16, 4660, 32768, 65535, 65535));
  PngSpec gray;
  gray.width = 4;
  gray.height = 3;
  gray.colourType = PNG_COLOR_TYPE_GRAY;
  gray.bitDepth = 2;
  WritePng(Path("gray2.png"), gray, {{0b10101010}, {0b10101010}, {0b10101010}});
  PngSpec palette;
  palette.width = 4;
  palette.height = 3;
  palette.colourType = PNG_COLOR_TYPE_PALETTE;
  palette.bitDepth = 4;
  palette.palette = {{1, 2, 3}, {51, 0, 255}};
  WritePng(Path("pal4.png"), palette, {{0x11, 0x11}, {0x11, 0x11}, {0x11, 0x11}});
  cli::WriteImage(Path("in.tga"), FlatImage(5, 5, 8, 17, 85, 170, 255));

  struct Case {
    std::vector<std::string> args;
    int32_t w, h;
    int bits;
    Rgba colour;
  };
  const std::vector<Case> cases = {
      {{"rgba8.png", "a.png"}, 7, 5, 8, {51, 128, 255, 255}},
      {{"rgba8.png", "b.png", "--depth", "16"}, 7, 5, 16, {13108, 32895, 65535, 65535}},
      {{"rgb16.tif", "c.png"}, 6, 4, 16, {4660, 32768, 65535, 65535}},
      {{"rgb16.tif", "d.tga", "--depth", "8"}, 6, 4, 8, {18, 128, 255, 255}},
      {{"gray2.png", "e.png"}, 4, 3, 8, {170, 170, 170, 255}},
      {{"pal4.png", "f.tiff"}, 4, 3, 8, {51, 0, 255, 255}},
      {{"in.tga", "g.tif", "--depth", "16"}, 5, 5, 16, {4370, 21846, 43689, 65535}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " -> " + c.args[1]);
    std::vector<std::string> args = {Path(c.args[0]), Path(c.args[1])};
    args.insert(args.end(), c.args.begin() + 2, c.args.end());
    const CommandResult r = Run(args);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(FileChannels(Path(c.args[1])), 4);
    ExpectFlatFrame(cli::ReadImage(Path(c.args[1])), c.w, c.h, c.bits, c.colour);
  }
}

// The command's render against the module driven directly over the mini
// host with the same controls and the same converted input.
class CliSameAsMiniHost : public CliRenderCommand {
 protected:
  void SetUp() override {
    CliRenderCommand::SetUp();
    ASSERT_EQ(host_.GlobalSetup(), PF_Err_NONE);
    ASSERT_EQ(host_.ParamsSetup(), PF_Err_NONE);
  }
  minihost::MiniHost host_{minihost::LinkedEffectModule()};
};

TEST_F(CliSameAsMiniHost, WithEveryControlAndRowPadding) {
  for (int bits : {8, 16}) {
    SCOPED_TRACE(bits);
    const std::string in = Path("cel" + std::to_string(bits) + ".png");
    const std::string out = Path("out" + std::to_string(bits) + ".png");
    cli::WriteImage(in, CelImage(40, 30, bits));
    const CommandResult r = Run({in, out, "--smoother-range", "5", "--line-weight", "0.5",
                                 "--use-color-key", "--alpha-key", "FAC828", "--row-padding",
                                 "5"});
    ASSERT_EQ(r.status, 0) << r.output;

    cli::RenderSettings settings;
    settings.controls.smootherRange = 5;
    settings.controls.lineWeight = 0.5;
    settings.controls.useColorKey = true;
    settings.controls.alphaKey = PF_Pixel8{255, 0xFA, 0xC8, 0x28};
    settings.rowPadding = 5;
    const Image expected = cli::RenderImage(host_, cli::ReadImage(in), settings);
    const Image written = cli::ReadImage(out);
    EXPECT_EQ(written.bits, bits);
    EXPECT_EQ(written.samples, expected.samples);
  }
}

TEST_F(CliSameAsMiniHost, ModuleLoadedFromItsFile) {
  cli::WriteImage(Path("cel.png"), CelImage(32, 24, 8));
  const CommandResult r = Run({Path("cel.png"), Path("out.png"), "--plugin", CORVALIN_MODULE_PATH});
  ASSERT_EQ(r.status, 0) << r.output;
  const Image expected = cli::RenderImage(host_, cli::ReadImage(Path("cel.png")), {});
  EXPECT_EQ(cli::ReadImage(Path("out.png")).samples, expected.samples);

  const CommandResult missing = Run({Path("cel.png"), Path("out2.png"), "--plugin", Path("none.so")});
  EXPECT_EQ(missing.status, cli::kExitFailed);
  EXPECT_NE(missing.output.find(Path("none.so")), std::string::npos) << missing.output;
  EXPECT_FALSE(fs::exists(Path("out2.png")));
}

TEST_F(CliRenderCommand, RowPaddingMovesTheRightMarkersOutOfThePicture) {
  for (int bits : {8, 16}) {
    SCOPED_TRACE(bits);
    const uint16_t full = bits == 16 ? 65535 : 255;
    cli::WriteImage(Path("flat.png"), FlatImage(9, 6, bits, 0, full, full, full));
    for (const char* padding : {"1", "4096"}) {
      const CommandResult r = Run({Path("flat.png"), Path("out.png"), "--row-padding", padding});
      ASSERT_EQ(r.status, 0) << r.output;
      ExpectFlatFrame(cli::ReadImage(Path("out.png")), 9, 6, bits, {0, full, full, full}, true);
    }
  }
}

TEST(CliFrameSize, LimitOfTheSignedPixelIndex) {
  EXPECT_NO_THROW(cli::CheckFrameSize(46340, 46340, 0, 8));
  EXPECT_NO_THROW(cli::CheckFrameSize(2147483647, 1, 0, 1));
  try {
    cli::CheckFrameSize(46340, 46341, 4, 4);  // 46344 x 46341 > 2^31 - 1
    ADD_FAILURE() << "accepted";
  } catch (const cli::CliError& e) {
    EXPECT_NE(std::string(e.what()).find("2147483647"), std::string::npos) << e.what();
  }
  EXPECT_THROW(cli::CheckFrameSize(300000000, 1, 0, 8), cli::CliError);  // rowbytes overflow
}

TEST_F(CliRenderCommand, SequenceOnTwoThreadsMatchesFramesRenderedOneByOne) {
  constexpr int kFrames = 6;
  for (int f = 1; f <= kFrames; ++f) {
    // Each frame different: the cel picture at a different size.
    cli::WriteImage(Path("in." + std::to_string(1000 + f) + ".png"), CelImage(30 + 3 * f, 24 + f, 8));
  }
  const CommandResult seq = Run({Path("in.#.png"), Path("seq_%05d.png"), "--frames", "1001-1006",
                                 "--jobs", "2", "--smoother-range", "4"});
  ASSERT_EQ(seq.status, 0) << seq.output;
  EXPECT_NE(seq.output.find("[6/6]"), std::string::npos) << seq.output;
  for (int f = 1; f <= kFrames; ++f) {
    const std::string frame = std::to_string(1000 + f);
    const CommandResult one =
        Run({Path("in." + frame + ".png"), Path("one." + frame + ".png"), "--smoother-range", "4"});
    ASSERT_EQ(one.status, 0) << one.output;
    const Image a = cli::ReadImage(Path("seq_0" + frame + ".png"));
    const Image b = cli::ReadImage(Path("one." + frame + ".png"));
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.samples, b.samples) << "frame " << frame;
  }

  const CommandResult quiet = Run({Path("in.@@@@.png"), Path("q.#.tif"), "--frames",
                                   "1002-1006x2", "--jobs", "3", "--quiet"});
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.output, "");
  EXPECT_TRUE(fs::exists(Path("q.1004.tif")));
  EXPECT_FALSE(fs::exists(Path("q.1003.tif")));
}

TEST_F(CliRenderCommand, AFailedFrameIsNamedAndTheOthersStillRender) {
  for (int f : {1, 2, 4}) cli::WriteImage(Path("in.000" + std::to_string(f) + ".png"), CelImage(20, 16, 8));
  const CommandResult r =
      Run({Path("in.#.png"), Path("out.#.png"), "--frames", "1-4", "--jobs", "2", "--quiet"});
  EXPECT_EQ(r.status, cli::kExitFailed);
  EXPECT_NE(r.output.find("frame 3: cannot read " + Path("in.0003.png") + ": no such file"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("1 of 4 frames failed"), std::string::npos) << r.output;
  for (int f : {1, 2, 4}) EXPECT_TRUE(fs::exists(Path("out.000" + std::to_string(f) + ".png")));
  EXPECT_FALSE(fs::exists(Path("out.0003.png")));
}

TEST_F(CliRenderCommand, BadInputsFailClearlyAndLeaveNoFiles) {
  {
    std::ofstream junk(Path("junk.png"), std::ios::binary);
    junk << "this is not an image at all";
  }
  {
    // A real PNG cut short inside its pixel data.
    cli::WriteImage(Path("whole.png"), CelImage(64, 64, 16));
    const auto size = fs::file_size(Path("whole.png"));
    fs::copy_file(Path("whole.png"), Path("cut.png"));
    fs::resize_file(Path("cut.png"), size / 2);
    fs::remove(Path("whole.png"));
  }
  {
    OIIO::ImageSpec layout(4, 4, 4, OIIO::TypeDesc::FLOAT);
    auto out = OIIO::ImageOutput::create(Path("float.tif"));
    ASSERT_TRUE(out && out->open(Path("float.tif"), layout));
    std::vector<float> pixels(64, 0.5f);
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, pixels.data()));
    out->close();
  }
  fs::create_directory(Path("folder.png"));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"junk.png", "cannot read " + Path("junk.png")},
      {"cut.png", "cannot read " + Path("cut.png")},
      {"float.tif", Path("float.tif") + ": 32-bit float samples are not supported"},
      {"missing.png", "cannot read " + Path("missing.png") + ": no such file"},
      {"folder.png", "cannot read " + Path("folder.png") + ": it is a folder"},
  };
  for (const auto& [input, message] : cases) {
    SCOPED_TRACE(input);
    const CommandResult r = Run({Path(input), Path("out.png")});
    EXPECT_EQ(r.status, cli::kExitFailed);
    EXPECT_NE(r.output.find(message), std::string::npos) << r.output;
    std::vector<std::string> expected = {"cut.png", "float.tif", "folder.png", "junk.png"};
    EXPECT_EQ(Files(), expected);
  }
}

TEST_F(CliRenderCommand, UnwritableOutputsFailAndKeepWhatWasThere) {
  cli::WriteImage(Path("in.png"), CelImage(20, 16, 8));
  fs::create_directory(Path("taken.png"));
  for (const auto& [output, reason] : std::vector<std::pair<std::string, std::string>>{
           {"no/such/folder/out.png", "does not exist"}, {"taken.png", "cannot write"}}) {
    SCOPED_TRACE(output);
    const CommandResult r = Run({Path("in.png"), Path(output)});
    EXPECT_EQ(r.status, cli::kExitFailed);
    EXPECT_NE(r.output.find("cannot write " + Path(output)), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(reason), std::string::npos) << r.output;
    EXPECT_EQ(Files(), (std::vector<std::string>{"in.png", "taken.png"}));
    EXPECT_TRUE(fs::is_empty(Path("taken.png")));
  }

  // A failed render leaves an existing output as it was; a good one replaces it.
  { std::ofstream(Path("out.png")) << "previous"; }
  EXPECT_EQ(Run({Path("missing.png"), Path("out.png")}).status, cli::kExitFailed);
  EXPECT_EQ(fs::file_size(Path("out.png")), 8u);
  EXPECT_EQ(Run({Path("in.png"), Path("out.png")}).status, 0);
  EXPECT_EQ(cli::ReadImage(Path("out.png")).width, 20);
  EXPECT_EQ(Files(), (std::vector<std::string>{"in.png", "out.png", "taken.png"}));
}

}  // namespace
}  // namespace corvalin::clitest
