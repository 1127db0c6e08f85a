// Every option: the value it sets, its accepted ends and its error, and the
// help that explains it. A refused command line writes nothing.
#include <sstream>

#include "cli/command.h"
#include "cli_test_support.h"
#include "host/controls.h"

namespace corvalin::clitest {
namespace {

std::optional<cli::CommandOptions> Parse(std::vector<std::string> args, int* status,
                                         std::string* err = nullptr) {
  std::ostringstream out, errors;
  auto options = cli::ParseCommandLine(args, out, errors, status);
  if (err) *err = errors.str();
  return options;
}

TEST(CliOptions, DefaultsComeFromTheControlTable) {
  int status = -1;
  const auto options = Parse({"render", "in.png", "out.png"}, &status);
  ASSERT_TRUE(options);
  const auto& c = options->settings.controls;
  EXPECT_EQ(c.useColorKey, kUseColorKey.defaultValue != 0);
  EXPECT_EQ(c.smootherRange, kSmootherRange.defaultValue);
  EXPECT_EQ(c.lineWeight, kLineWeight.defaultValue);
  EXPECT_EQ(c.alphaKey.alpha, kDefaultKeyAlpha);
  EXPECT_EQ(c.alphaKey.red, kDefaultKeyRed);
  EXPECT_EQ(c.alphaKey.green, kDefaultKeyGreen);
  EXPECT_EQ(c.alphaKey.blue, kDefaultKeyBlue);
  EXPECT_EQ(options->settings.depth, 0);
  EXPECT_EQ(options->settings.rowPadding, 0);
  EXPECT_EQ(options->jobs, 1);
  EXPECT_FALSE(options->quiet);
  EXPECT_FALSE(options->frames);
  EXPECT_TRUE(options->plugin.empty());
  EXPECT_EQ(options->input, "in.png");
  EXPECT_EQ(options->output, "out.png");
}

TEST(CliOptions, EveryOptionSetsItsValue) {
  int status = -1;
  const auto options =
      Parse({"render", "in.#.png", "out.#.tif", "--smoother-range", "12.5", "--line-weight",
             "0.75", "--use-color-key", "--alpha-key", "12ab9F", "--depth", "16",
             "--row-padding", "7", "--jobs", "3", "--frames", "1-3", "--plugin", "m.so", "-q"},
            &status);
  ASSERT_TRUE(options);
  const auto& c = options->settings.controls;
  EXPECT_TRUE(c.useColorKey);
  EXPECT_EQ(c.smootherRange, 12.5);
  EXPECT_EQ(c.lineWeight, 0.75);
  EXPECT_EQ(c.alphaKey.alpha, 255);
  EXPECT_EQ(c.alphaKey.red, 0x12);
  EXPECT_EQ(c.alphaKey.green, 0xAB);
  EXPECT_EQ(c.alphaKey.blue, 0x9F);
  EXPECT_EQ(options->settings.depth, 16);
  EXPECT_EQ(options->settings.rowPadding, 7);
  EXPECT_EQ(options->jobs, 3);
  EXPECT_EQ(options->frames, "1-3");
  EXPECT_EQ(options->plugin, "m.so");
  EXPECT_TRUE(options->quiet);
}

TEST(CliOptions, RangeEndsAreAccepted) {
  for (const std::vector<std::string>& extra : std::vector<std::vector<std::string>>{
           {"--smoother-range", "0"},   {"--smoother-range", "100"}, {"--smoother-range", "1e2"},
           {"--line-weight", "0"},      {"--line-weight", "1"},      {"--row-padding", "0"},
           {"--row-padding", "4096"},   {"--jobs", "1"},             {"--jobs", "256"},
           {"--alpha-key", "000000"},   {"--alpha-key", "#ffffff"},  {"--depth", "8"}}) {
    SCOPED_TRACE(extra[0] + " " + extra[1]);
    std::vector<std::string> args = {"render", "in.png", "out.png"};
    args.insert(args.end(), extra.begin(), extra.end());
    int status = -1;
    std::string err;
    EXPECT_TRUE(Parse(args, &status, &err)) << err;
  }
}

class CliOptionErrors : public ScratchTest {};

TEST_F(CliOptionErrors, NameTheOptionAndTheValidRangeAndWriteNothing) {
  cli::WriteImage(Path("in.png"), FlatImage(4, 4, 8, 10, 20, 30, 255));
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {{"--smoother-range", "-0.1"}, {"--smoother-range", "0 to 100"}},
      {{"--smoother-range", "100.01"}, {"--smoother-range", "0 to 100"}},
      {{"--smoother-range", "abc"}, {"--smoother-range", "0 to 100"}},
      {{"--smoother-range", "nan"}, {"--smoother-range", "0 to 100"}},
      {{"--smoother-range", "inf"}, {"--smoother-range", "0 to 100"}},
      {{"--line-weight", "1.5"}, {"--line-weight", "0 to 1"}},
      {{"--line-weight", "-1"}, {"--line-weight", "0 to 1"}},
      {{"--alpha-key", "FFFFF"}, {"--alpha-key", "RRGGBB"}},
      {{"--alpha-key", "FFFFFFF"}, {"--alpha-key", "RRGGBB"}},
      {{"--alpha-key", "GG0000"}, {"--alpha-key", "RRGGBB"}},
      {{"--depth", "12"}, {"--depth", "8 or 16"}},
      {{"--depth", "8.0"}, {"--depth", "8 or 16"}},
      {{"--row-padding", "-1"}, {"--row-padding", "0 to 4096"}},
      {{"--row-padding", "4097"}, {"--row-padding", "0 to 4096"}},
      {{"--row-padding", "1.5"}, {"--row-padding", "0 to 4096"}},
      {{"--jobs", "0"}, {"--jobs", "1 to 256"}},
      {{"--jobs", "257"}, {"--jobs", "1 to 256"}},
      {{"--depth"}, {"--depth"}},
      {{"--bogus"}, {"--bogus"}},
      {{"--frames", "3-1"}, {"--frames", "1001-1100"}},
      {{"--frames", ""}, {"--frames", "1001-1100"}},
      {{"--frames", "1-3"}, {"--frames", "OUTPUT"}},  // OUTPUT has no frame field
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"render", Path("in.png"), Path("out.png")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCommand(args, out, err, false), cli::kExitUsage);
    for (const std::string& e : c.expected) EXPECT_NE(err.str().find(e), std::string::npos) << err.str();
    EXPECT_EQ(Files(), std::vector<std::string>{"in.png"});
  }
}

TEST_F(CliOptionErrors, OutputFormatsTheCommandCannotWrite) {
  cli::WriteImage(Path("in.png"), FlatImage(4, 4, 8, 10, 20, 30, 255));
  std::ostringstream out, err;
  EXPECT_EQ(cli::RunCommand({"render", Path("in.png"), Path("out.jpg")}, out, err, false),
            cli::kExitUsage);
  EXPECT_NE(err.str().find("use .png, .tif, .tiff or .tga"), std::string::npos) << err.str();
  EXPECT_EQ(cli::RunCommand({"render", Path("in.png"), Path("out.tga"), "--depth", "16"}, out,
                            err, false),
            cli::kExitUsage);
  EXPECT_NE(err.str().find("TGA holds 8 bits"), std::string::npos) << err.str();
  EXPECT_EQ(Files(), std::vector<std::string>{"in.png"});
}

TEST(CliHelp, ExplainsEveryOptionWithItsRangeAndDefault) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"}, {"render", "--help"}}) {
    SCOPED_TRACE(args.size());
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCommand(args, out, err, false), cli::kExitOk);
    const std::string help = out.str();
    for (const char* text :
         {"--smoother-range", "0 to 100, default 1.0", "--line-weight", "0 to 1, default 0.0",
          "--use-color-key", "default off", "--alpha-key", "default FFFFFF", "--depth",
          "8 or 16", "--row-padding", "0 to 4096, default 0", "--plugin", "--frames", "%04d",
          "--jobs", "1 to 256, default 1", "--quiet", "Smoother Range", "Line Weight",
          "Use Color Key", "Alpha Key"}) {
      EXPECT_NE(help.find(text), std::string::npos) << text;
    }
  }
}

}  // namespace
}  // namespace corvalin::clitest
