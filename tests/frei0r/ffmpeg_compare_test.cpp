// Debian's ffmpeg loads the built corvalin.so through FREI0R_PATH and renders
// pictures and a short video; its output must equal, byte for byte, ScanFrame
// on the same picture and the corvalin command's 8-bit render.
#include <gtest/gtest.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "frei0r/frei0r_params.h"
#include "tests/frei0r/frei0r_test_support.h"

namespace corvalin::testing {
namespace {

// One parameter set three ways: ffmpeg's filter_params, the corvalin
// command's options and the control values.
struct Case {
  const char* filterParams;
  std::string cliOptions;
  Controls controls;
};

std::string Shortest(double v) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, v);
  return std::string(text, result.ptr);
}

std::vector<Case> Cases() {
  const double oddRange = frei0r::SliderFromParam(kSmootherRange, 0.029);
  return {
      {"n|1/1/1|0.01|0", "", Controls{}},
      {"y|0/1/0|0.05|0.5", "--use-color-key --alpha-key 00FF00 --smoother-range 5 --line-weight 0.5",
       {true, {255, 0, 255, 0}, 5.0, 0.5}},
      {"n|0xFFFFFF|0.25|1", "--smoother-range 25 --line-weight 1",
       {false, {255, 255, 255, 255}, 25.0, 1.0}},
      {"y|white|0|0.25", "--use-color-key --alpha-key FFFFFF --smoother-range 0 --line-weight 0.25",
       {true, {255, 255, 255, 255}, 0.0, 0.25}},
      // Key bytes lround(v * 255): 128, 51, 64.
      {"y|0.5/0.2/0.25|0.029|0.7",
       "--use-color-key --alpha-key 803340 --smoother-range " + Shortest(oddRange) +
           " --line-weight 0.7",
       {true, {255, 128, 51, 64}, oddRange, 0.7}},
  };
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string AsString(const RgbaImage& img) { return std::string(img.bytes.begin(), img.bytes.end()); }

// Equal frames, or where they first differ.
::testing::AssertionResult SameFrame(const std::string& actual, const std::string& expected,
                                     int32_t width) {
  if (actual == expected) return ::testing::AssertionSuccess();
  if (actual.size() != expected.size())
    return ::testing::AssertionFailure() << actual.size() << " bytes, expected " << expected.size();
  size_t differing = 0, first = actual.size();
  for (size_t i = 0; i < actual.size(); i += 4)
    if (actual.compare(i, 4, expected, i, 4) != 0 && differing++ == 0) first = i;
  auto rgba = [](const std::string& s, size_t i) {
    char text[16];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x", static_cast<uint8_t>(s[i]),
                  static_cast<uint8_t>(s[i + 1]), static_cast<uint8_t>(s[i + 2]),
                  static_cast<uint8_t>(s[i + 3]));
    return std::string(text);
  };
  const size_t pixel = first / 4;
  return ::testing::AssertionFailure()
         << differing << " pixels differ, first at (" << pixel % width << ", " << pixel / width
         << "): " << rgba(actual, first) << " instead of " << rgba(expected, first);
}

class FfmpegCompareTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef CORVALIN_SANITIZED
    GTEST_SKIP() << "ffmpeg cannot load a module built with the sanitizers";
#endif
    if (std::system("ffmpeg -hide_banner -filters 2>/dev/null | grep -q ' frei0r '") != 0)
      GTEST_SKIP() << "ffmpeg with the frei0r filter is not installed";
    char pattern[] = "/tmp/corvalin-frei0r-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    const std::string module = CORVALIN_FREI0R_MODULE;
    modulePath = module.substr(0, module.find_last_of('/'));
    cliPresent = access(CORVALIN_CLI, X_OK) == 0;
  }
  void TearDown() override {
    if (!dir.empty()) Run("rm -rf '" + dir + "'");
  }

  static bool Run(const std::string& command) {
    const bool ok = std::system(command.c_str()) == 0;
    if (!ok) ADD_FAILURE() << "failed: " << command;
    return ok;
  }
  std::string Path(const std::string& name) const { return dir + "/" + name; }

  // Writes the picture as an RGBA PNG, through ffmpeg's own encoder.
  void WritePng(const RgbaImage& img, const std::string& name) {
    std::ofstream(Path(name + ".rgba"), std::ios::binary)
        .write(reinterpret_cast<const char*>(img.bytes.data()),
               static_cast<std::streamsize>(img.bytes.size()));
    Run("ffmpeg -v error -y -f rawvideo -pix_fmt rgba -s " + std::to_string(img.width) + "x" +
        std::to_string(img.height) + " -i '" + Path(name + ".rgba") + "' -frames:v 1 '" +
        Path(name) + "'");
  }

  // Every frame of a file as raw RGBA bytes.
  std::string Decode(const std::string& name) {
    Run("ffmpeg -v error -y -i '" + Path(name) + "' -pix_fmt rgba -f rawvideo '" +
        Path(name + ".raw") + "'");
    return ReadFile(Path(name + ".raw"));
  }

  std::string FilterCommand(const std::string& in, const char* params, const std::string& out,
                            const std::string& outOptions) {
    return "FREI0R_PATH='" + modulePath + "' ffmpeg -v error -y -i '" + Path(in) +
           "' -vf 'format=rgba,frei0r=corvalin:" + params + "' " + outOptions + " '" + Path(out) +
           "'";
  }

  std::string CliRender(const std::string& in, const Case& c, const std::string& out) {
    Run(std::string(CORVALIN_CLI) + " render '" + Path(in) + "' '" + Path(out) + "' --depth 8 " +
        c.cliOptions + " >/dev/null");
    return Decode(out);
  }

  std::string dir, modulePath;
  bool cliPresent = false;
};

TEST_F(FfmpegCompareTest, PicturesMatchScanFrameAndTheCommand) {
  // Widths are multiples of 16: Debian's ffmpeg 5.1 hands frei0r filters rows
  // padded to the CPU's alignment (up to 64 bytes), which frei0r frames
  // cannot describe.
  const RgbaImage pictures[] = {MakePicture(48, 30, 0), MakePicture(32, 21, 1),
                                MakePicture(64, 47, 2)};
  const std::vector<Case> cases = Cases();
  int compared = 0;
  for (size_t p = 0; p < std::size(pictures); ++p) {
    const std::string in = "in" + std::to_string(p) + ".png";
    WritePng(pictures[p], in);
    for (size_t i = 0; i < cases.size(); ++i) {
      if ((i + p) % 2 == 1 && i != 1) continue;  // a spread of pairs, every case at least once
      SCOPED_TRACE(in + " with " + cases[i].filterParams);
      const std::string out = "f" + std::to_string(p) + "_" + std::to_string(i) + ".raw";
      Run(FilterCommand(in, cases[i].filterParams, out, "-pix_fmt rgba -f rawvideo"));
      const std::string filtered = ReadFile(Path(out));
      EXPECT_TRUE(SameFrame(filtered, AsString(ReferenceRender(pictures[p], cases[i].controls)),
                            pictures[p].width));
      if (cliPresent) {
        EXPECT_TRUE(SameFrame(filtered, CliRender(in, cases[i], "c" + out + ".png"),
                              pictures[p].width));
      }
      ++compared;
    }
  }
  EXPECT_EQ(compared, 10);
  if (!cliPresent) GTEST_SKIP() << "compared with ScanFrame only: " << CORVALIN_CLI << " not built";
}

// The command line the documentation gives for a video file, on a lossless
// RGBA video of three different frames.
TEST_F(FfmpegCompareTest, VideoFramesMatchFrameByFrame) {
  const RgbaImage frames[] = {MakePicture(48, 32, 0), MakePicture(48, 32, 1),
                              MakePicture(48, 32, 2)};
  for (int i = 0; i < 3; ++i) WritePng(frames[i], "frame" + std::to_string(i) + ".png");
  Run("ffmpeg -v error -y -framerate 25 -i '" + Path("frame%d.png") +
      "' -c:v png -pix_fmt rgba '" + Path("in.mkv") + "'");
  const Case c = Cases()[1];
  Run(FilterCommand("in.mkv", c.filterParams, "out.mkv", "-c:v png -pix_fmt rgba"));
  const std::string video = Decode("out.mkv");
  const size_t frameBytes = frames[0].bytes.size();
  ASSERT_EQ(video.size(), 3 * frameBytes);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    const std::string filtered = video.substr(i * frameBytes, frameBytes);
    EXPECT_TRUE(SameFrame(filtered, AsString(ReferenceRender(frames[i], c.controls)), 48));
    if (cliPresent) {
      EXPECT_TRUE(SameFrame(filtered,
                            CliRender("frame" + std::to_string(i) + ".png", c,
                                      "cli" + std::to_string(i) + ".png"),
                            48));
    }
  }
  if (!cliPresent) GTEST_SKIP() << "compared with ScanFrame only: " << CORVALIN_CLI << " not built";
}

}  // namespace
}  // namespace corvalin::testing
