// The built command end to end: what it writes for flat frames (conversions
// and markers only), that its renders are the module's renders in the tests'
// host, sequences on several threads and a failed frame among good ones.
#include <OpenImageIO/imageio.h>

#include "cli/command.h"
#include "cli/render_frame.h"
#include "cli_test_support.h"
#include "engine/view/render_view.h"
#include "tests/support/image_worlds.h"
#include "tests/support/minihost/mini_host.h"

namespace corvalin::clitest {
namespace {

using cli::Image;
using Rgba = std::array<uint16_t, 4>;

int FileChannels(const std::string& path) {
  auto in = OIIO::ImageInput::open(path);
  return in ? in->spec_dimensions(0).nchannels : -1;
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
                     bool padded = false, bool markers = true) {
  ASSERT_EQ(out.width, w);
  ASSERT_EQ(out.height, h);
  ASSERT_EQ(out.bits, bits);
  const uint16_t full = bits == 16 ? 65535 : 255;
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const bool marker = markers && (x == 1 || (x == w - 1 && !padded)) && (y == 1 || y == h - 1);
      const Rgba expected = marker ? Rgba{full, 0, 0, full} : colour;
      ASSERT_EQ(At(out, x, y), expected) << "at " << x << "," << y;
    }
  }
}

using CliRenderCommand = ScratchTest;

TEST_F(CliRenderCommand, FlatFramesAtEveryDepthAndFormat) {
  // 8-bit RGBA; 16-bit RGB; 2-bit gray; 4-bit palette; then TIFF and TGA.
  cli::WriteImage(Path("rgba8.png"), FlatImage(7, 5, 8, 51, 128, 255, 255));
  cli::WriteImage(Path("rgb16.tif"), FlatImage(6, 4, 16, 4660, 32768, 65535, 65535));
  WritePng(Path("gray2.png"), {4, 3, PNG_COLOR_TYPE_GRAY, 2},
           {{0b10101010}, {0b10101010}, {0b10101010}});
  WritePng(Path("pal4.png"), {4, 3, PNG_COLOR_TYPE_PALETTE, 4, {{1, 2, 3}, {51, 0, 255}}},
           {{0x11, 0x11}, {0x11, 0x11}, {0x11, 0x11}});
  cli::WriteImage(Path("in.tga"), FlatImage(5, 5, 8, 17, 85, 170, 255));

  struct Case {
    std::vector<std::string> args;
    int32_t w, h;
    int bits;
    Rgba colour;
    bool padded = false;
  };
  const std::vector<Case> cases = {
      {{"rgba8.png", "a.png"}, 7, 5, 8, {51, 128, 255, 255}},
      {{"rgba8.png", "b.png", "--depth", "16"}, 7, 5, 16, {13108, 32895, 65535, 65535}},
      {{"rgb16.tif", "c.png"}, 6, 4, 16, {4660, 32768, 65535, 65535}},
      {{"rgb16.tif", "d.tga", "--depth", "8"}, 6, 4, 8, {18, 128, 255, 255}},
      {{"gray2.png", "e.png"}, 4, 3, 8, {170, 170, 170, 255}},
      {{"pal4.png", "f.tiff"}, 4, 3, 8, {51, 0, 255, 255}},
      {{"in.tga", "g.tif", "--depth", "16"}, 5, 5, 16, {4370, 21846, 43689, 65535}},
      // With row padding the right-hand markers land in the padding.
      {{"rgba8.png", "h.png", "--row-padding", "1"}, 7, 5, 8, {51, 128, 255, 255}, true},
      {{"rgb16.tif", "i.tif", "--row-padding", "4096"},
       6,
       4,
       16,
       {4660, 32768, 65535, 65535},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " -> " + c.args[1]);
    std::vector<std::string> args = {Path(c.args[0]), Path(c.args[1])};
    args.insert(args.end(), c.args.begin() + 2, c.args.end());
    const CommandResult r = RunRender(args);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(FileChannels(Path(c.args[1])), 4);
    ExpectFlatFrame(cli::ReadImage(Path(c.args[1])), c.w, c.h, c.bits, c.colour, c.padded);
  }
}

// --no-corner-markers: a flat frame comes back as it went in, through the
// command's engine on one thread as on several, and so does a frame too
// small to have a marker inside it.
TEST_F(CliRenderCommand, WithoutCornerMarkersFlatFramesComeBackUnchanged) {
  cli::WriteImage(Path("rgba8.png"), FlatImage(7, 5, 8, 51, 128, 255, 255));
  cli::WriteImage(Path("rgb16.tif"), FlatImage(6, 4, 16, 4660, 32768, 65535, 65535));
  cli::WriteImage(Path("dot.png"), FlatImage(1, 1, 8, 9, 8, 7, 255));
  cli::WriteImage(Path("row.png"), FlatImage(5, 1, 8, 9, 8, 7, 255));
  for (const char* threads : {"1", "3"}) {
    SCOPED_TRACE(std::string("--threads ") + threads);
    auto render = [&](const std::string& in, const std::string& out,
                      std::vector<std::string> extra = {}) {
      std::vector<std::string> args = {Path(in), Path(out), "--no-corner-markers", "--threads",
                                       threads};
      args.insert(args.end(), extra.begin(), extra.end());
      const CommandResult r = RunRender(args);
      EXPECT_EQ(r.status, 0) << r.output;
      return cli::ReadImage(Path(out));
    };
    ExpectFlatFrame(render("rgba8.png", "a.png"), 7, 5, 8, {51, 128, 255, 255}, false, false);
    ExpectFlatFrame(render("rgba8.png", "b.png", {"--row-padding", "2"}), 7, 5, 8,
                    {51, 128, 255, 255}, true, false);
    ExpectFlatFrame(render("rgb16.tif", "c.tif"), 6, 4, 16, {4660, 32768, 65535, 65535}, false,
                    false);
    ExpectFlatFrame(render("dot.png", "d.png"), 1, 1, 8, {9, 8, 7, 255}, false, false);
    ExpectFlatFrame(render("row.png", "e.png"), 5, 1, 8, {9, 8, 7, 255}, false, false);
  }
  // With the markers a 1 x 1 frame is its one marker.
  ASSERT_EQ(RunRender({Path("dot.png"), Path("f.png"), "--threads", "1"}).status, 0);
  EXPECT_EQ(At(cli::ReadImage(Path("f.png")), 0, 0), (Rgba{255, 0, 0, 255}));
}

// The command's render against the module driven directly in the tests'
// host with the same controls and the same converted input.
class CliSameAsMiniHost : public CliRenderCommand {
 protected:
  void SetUp() override {
    CliRenderCommand::SetUp();
    ASSERT_EQ(host_.GlobalSetup(), PF_Err_NONE);
    ASSERT_EQ(host_.ParamsSetup(), PF_Err_NONE);
  }

  // `image` at its own depth through the module, or without corner markers
  // through the engine's entry on this thread, rows padded by `rowPadding`.
  Image Expected(const Image& image, const RenderSettings& settings, int32_t rowPadding) const {
    const auto render = [&]<class Pixel>(Pixel) {
      minihost::HostWorld<Pixel> input(image.width, image.height, rowPadding);
      minihost::HostWorld<Pixel> output(image.width, image.height, rowPadding);
      test::ImageToWorld(image, input);
      if (settings.cornerMarkers) {
        EXPECT_EQ(host_.Render(settings, input, output), PF_Err_NONE);
      } else {
        const auto view = [](minihost::HostWorld<Pixel>& w) {
          return FrameView{w.pixels(), w.width(), w.height(),
                           int64_t{w.stride()} * int64_t{sizeof(Pixel)}, kDepthOf<Pixel>};
        };
        EXPECT_EQ(RenderFrameView(settings, view(input), view(output), nullptr), "");
      }
      return test::WorldToImage(output);
    };
    return image.bits == 16 ? render(PF_Pixel16{}) : render(PF_Pixel8{});
  }

  minihost::MiniHost host_{minihost::LinkedEffectModule()};
};

// Built in and loaded from the module file, at both depths.
TEST_F(CliSameAsMiniHost, WithEveryControlAndRowPadding) {
  for (int bits : {8, 16}) {
    for (const std::string plugin : {"", CORVALIN_MODULE_PATH}) {
      SCOPED_TRACE(std::to_string(bits) + " " + plugin);
      const std::string in = Path("cel" + std::to_string(bits) + ".png"), out = Path("out.png");
      cli::WriteImage(in, CelImage(40, 30, bits));
      // clang-format off
      std::vector<std::string> args = {in, out, "--smoother-range", "5", "--line-weight", "0.5",
                                       "--use-color-key", "--alpha-key", "FAC828",
                                       "--row-padding", "5"};
      // clang-format on
      if (!plugin.empty()) args.insert(args.end(), {"--plugin", plugin});
      const CommandResult r = RunRender(args);
      ASSERT_EQ(r.status, 0) << r.output;

      const RenderSettings settings{true, PF_Pixel8{255, 0xFA, 0xC8, 0x28}, 5, 0.5};
      const Image expected = Expected(cli::ReadImage(in), settings, 5);
      const Image written = cli::ReadImage(out);
      EXPECT_EQ(written.bits, bits);
      EXPECT_EQ(written.samples, expected.samples);
    }
  }
}

// Without markers the render is the module's but for the four red pixels,
// which keep the smoothing's result: the same on one thread as on several.
TEST_F(CliSameAsMiniHost, WithoutCornerMarkersOnlyTheFourCornersDiffer) {
  for (int bits : {8, 16}) {
    SCOPED_TRACE(bits);
    const std::string in = Path("cel.png");
    cli::WriteImage(in, CelImage(40, 30, bits));
    const std::vector<std::string> controls = {"--line-weight", "0.5"};
    auto render = [&](std::vector<std::string> extra) {
      std::vector<std::string> args = {in, Path("out.png")};
      args.insert(args.end(), controls.begin(), controls.end());
      args.insert(args.end(), extra.begin(), extra.end());
      const CommandResult r = RunRender(args);
      EXPECT_EQ(r.status, 0) << r.output;
      return cli::ReadImage(Path("out.png"));
    };
    const Image marked = render({"--threads", "1"});
    const Image unmarked = render({"--threads", "1", "--no-corner-markers"});
    EXPECT_EQ(render({"--threads", "3", "--no-corner-markers"}).samples, unmarked.samples);

    RenderSettings settings = DefaultRenderSettings();
    settings.lineWeight = 0.5;
    EXPECT_EQ(Expected(cli::ReadImage(in), settings, 0).samples, marked.samples);
    settings.cornerMarkers = false;
    EXPECT_EQ(Expected(cli::ReadImage(in), settings, 0).samples, unmarked.samples);

    const uint16_t full = bits == 16 ? 65535 : 255;
    std::vector<std::pair<int32_t, int32_t>> differing;
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 40; ++x)
        if (At(marked, x, y) != At(unmarked, x, y)) {
          differing.emplace_back(x, y);
          EXPECT_EQ(At(marked, x, y), (Rgba{full, 0, 0, full}));
        }
    // The cel frame is opaque: its rectangle is the whole frame, pulled in
    // off the top and left border and from the last row and column.
    EXPECT_EQ(differing,
              (std::vector<std::pair<int32_t, int32_t>>{{1, 1}, {39, 1}, {1, 29}, {39, 29}}));
  }
}

TEST(CliFrameSize, LimitOfTheSignedPixelIndexAndRowBytes) {
  EXPECT_NO_THROW(cli::CheckFrameSize(46340, 46340, 0, 8));
  EXPECT_NO_THROW(cli::CheckFrameSize(536870911, 1, 0, 4));              // the widest 8-bit row
  EXPECT_THROW(cli::CheckFrameSize(46340, 46341, 4, 4), cli::CliError);  // 46344 x 46341 > 2^31 - 1
  EXPECT_THROW(cli::CheckFrameSize(300000000, 1, 0, 8), cli::CliError);  // rowbytes overflow
}

TEST_F(CliRenderCommand, SequencesOnSeveralThreadsMatchFramesRenderedOneByOne) {
  constexpr int kFrames = 6;
  for (int f = 1; f <= kFrames; ++f) {
    // Each frame different: the cel picture with a one-pixel line moving across.
    Image frame = CelImage(40, 30, 8);
    for (int32_t y = 3; y < 27; ++y) {
      uint16_t* p = &frame.samples[frame.index(4 + 5 * f, y)];
      p[0] = 20, p[1] = 20, p[2] = 30;
    }
    cli::WriteImage(Path("in." + std::to_string(1000 + f) + ".png"), frame);
  }
  const CommandResult seq = RunRender({Path("in.#.png"), Path("seq_%05d.png"), "--frames",
                                       "1001-1006", "--threads", "3", "--smoother-range", "4"});
  ASSERT_EQ(seq.status, 0) << seq.output;
  EXPECT_NE(seq.output.find("[6/6]"), std::string::npos) << seq.output;
  for (int f = 1; f <= kFrames; ++f) {
    const std::string frame = std::to_string(1000 + f);
    const CommandResult one =
        RunRender({Path("in." + frame + ".png"), Path("one." + frame + ".png"), "--smoother-range",
                   "4", "--threads", "1"});
    ASSERT_EQ(one.status, 0) << one.output;
    const Image a = cli::ReadImage(Path("seq_0" + frame + ".png"));
    const Image b = cli::ReadImage(Path("one." + frame + ".png"));
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.samples, b.samples) << "frame " << frame;
  }

  // Quiet, with a frame missing: only the failure is reported, the others
  // are still written.
  fs::remove(Path("in.1004.png"));
  const CommandResult quiet = RunRender(
      {Path("in.@@@@.png"), Path("q.#.tif"), "--frames", "1002-1006x2", "--jobs", "3", "--quiet"});
  EXPECT_EQ(quiet.status, cli::kExitFailed);
  EXPECT_EQ(quiet.output, "corvalin: error: frame 1004: cannot read " + Path("in.1004.png") +
                              ": no such file\ncorvalin: 1 of 3 frames failed\n");
  EXPECT_EQ(Files().size(), (kFrames - 1) + kFrames + kFrames + 2u);  // in, seq_, one., q.*
  EXPECT_TRUE(fs::exists(Path("q.1002.tif")) && fs::exists(Path("q.1006.tif")));
}

}  // namespace
}  // namespace corvalin::clitest
