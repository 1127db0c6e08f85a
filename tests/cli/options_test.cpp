// Every option: the value it sets, its accepted ends and its error, and the
// help that explains it. A refused command line writes nothing.
#include <sstream>
#include <tuple>

#include "cli/command.h"
#include "cli_test_support.h"
#include "effect/controls.h"

namespace corvalin::clitest {
namespace {

std::optional<cli::CommandOptions> Parse(std::vector<std::string> args, int* status,
                                         std::string* err = nullptr) {
  std::ostringstream out, errors;
  auto options = cli::ParseCommandLine(args, out, errors, status);
  if (err) *err = errors.str();
  return options;
}

// The values as one tuple, so that a slip shows every field.
auto Values(const cli::CommandOptions& o) {
  const RenderSettings& s = o.settings;
  return std::tuple(s.useKey, s.smootherRange, s.lineWeight, s.keyColour.alpha, s.keyColour.red,
                    s.keyColour.green, s.keyColour.blue, o.frame.depth, o.frame.rowPadding, o.jobs,
                    o.quiet, o.frames.value_or("none"), o.plugin, o.input, o.output);
}

TEST(CliOptions, DefaultsAndEveryOptionsValue) {
  int status = -1;
  auto options = Parse({"render", "in.png", "out.png"}, &status);
  ASSERT_TRUE(options);
  const PF_Pixel8 key = Control("alphaKey").defaultColour;
  // clang-format off
  EXPECT_EQ(Values(*options),
            std::tuple(Control("useColorKey").defaultValue != 0,
                       Control("smootherRange").defaultValue,
                       Control("lineWeight").defaultValue, key.alpha, key.red, key.green,
                       key.blue, 0, 0, 1, false, std::string("none"), std::string(),
                       std::string("in.png"), std::string("out.png")));
  options = Parse({"render", "in.#.png", "out.#.tif", "--smoother-range", "12.5", "--line-weight",
                   "0.75", "--use-color-key", "--alpha-key", "12ab9F", "--depth", "16",
                   "--row-padding", "7", "--jobs", "3", "--frames", "1-3", "--plugin", "m.so",
                   "-q"},
                  &status);
  // clang-format on
  ASSERT_TRUE(options);
  EXPECT_EQ(Values(*options),
            std::tuple(true, 12.5, 0.75, A_u_char{255}, A_u_char{0x12}, A_u_char{0xAB},
                       A_u_char{0x9F}, 16, 7, 3, true, std::string("1-3"), std::string("m.so"),
                       std::string("in.#.png"), std::string("out.#.tif")));
}

TEST(CliOptions, RangeEndsAreAccepted) {
  // clang-format off
  for (const std::vector<std::string>& extra : std::vector<std::vector<std::string>>{
           {"--smoother-range", "0"},   {"--smoother-range", "100"}, {"--smoother-range", "1e2"},
           {"--line-weight", "0"},      {"--line-weight", "1"},      {"--row-padding", "0"},
           {"--row-padding", "4096"},   {"--jobs", "1"},             {"--jobs", "256"},
           {"--alpha-key", "000000"},   {"--alpha-key", "#ffffff"},  {"--depth", "8"}}) {
    SCOPED_TRACE(extra[0] + " " + extra[1]);
    // clang-format on
    std::vector<std::string> args = {"render", "in.png", "out.png"};
    args.insert(args.end(), extra.begin(), extra.end());
    int status = -1;
    std::string err;
    EXPECT_TRUE(Parse(args, &status, &err)) << err;
  }
}

class CliOptionErrors : public ScratchTest {};

// The markers are on unless the flag leaves them out; an external module
// always writes them, so the flag and --plugin together are refused before
// anything is read or written.
TEST_F(CliOptionErrors, NoCornerMarkersWithAPluginIsRefused) {
  int status = -1;
  EXPECT_TRUE(Parse({"render", "in.png", "out.png"}, &status)->settings.cornerMarkers);
  EXPECT_FALSE(Parse({"render", "in.png", "out.png", "--no-corner-markers"}, &status)
                   ->settings.cornerMarkers);
  cli::WriteImage(Path("in.png"), FlatImage(4, 4, 8, 10, 20, 30, 255));
  std::ostringstream out, err;
  EXPECT_EQ(cli::RunCommand({"render", Path("in.png"), Path("out.png"), "--no-corner-markers",
                             "--plugin", CORVALIN_MODULE_PATH},
                            out, err, false),
            cli::kExitUsage);
  EXPECT_EQ(err.str(),
            "corvalin: error: --no-corner-markers cannot be used with --plugin: an effect module "
            "always writes the corner markers, and the command leaves them out only on its own "
            "engine; give one of the two\n"
            "Run 'corvalin render --help' for the options and their ranges.\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"in.png"});
}

TEST_F(CliOptionErrors, NameTheOptionAndTheValidRangeAndWriteNothing) {
  cli::WriteImage(Path("in.png"), FlatImage(4, 4, 8, 10, 20, 30, 255));
  // Each bad value of an option, and the text its message must hold.
  const std::vector<std::tuple<std::string, std::vector<std::string>, std::string>> cases = {
      {"--smoother-range", {"-0.1", "100.01", "abc", "nan", "inf"}, "0 to 100"},
      {"--line-weight", {"1.5", "-1"}, "0 to 1"},
      {"--alpha-key", {"FFFFF", "FFFFFFF", "GG0000"}, "RRGGBB"},
      {"--depth", {"12", "8.0"}, "8 or 16"},
      {"--row-padding", {"-1", "4097", "1.5"}, "0 to 4096"},
      {"--jobs", {"0", "257"}, "1 to 256"},
      {"--frames", {"3-1", ""}, "1001-1100"},
      {"--frames", {"-5--1", "1--3"}, "negative frame number, but frames count from 0"},
  };
  std::vector<std::pair<std::vector<std::string>, std::string>> lines = {
      {{"--depth"}, "--depth"},
      {{"--bogus"}, "--bogus"},
      {{"--frames", "1-3"}, "OUTPUT"},  // out.png has no frame field
      {{"OUT", "out.jpg"}, "use .png, .tif, .tiff, .tga or .exr"},
      {{"OUT", "out.tga", "--depth", "16"}, "TGA holds 8 bits"},
  };
  for (const auto& [option, values, range] : cases) {
    for (const std::string& v : values) lines.push_back({{option, v}, range});
  }
  for (const auto& [extra, expected] : lines) {
    SCOPED_TRACE(extra[0] + (extra.size() > 1 ? " " + extra[1] : ""));
    std::vector<std::string> args = {"render", Path("in.png"), Path("out.png")};
    if (extra[0] == "OUT") {
      args[2] = Path(extra[1]);
      args.insert(args.end(), extra.begin() + 2, extra.end());
    } else {
      args.insert(args.end(), extra.begin(), extra.end());
    }
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCommand(args, out, err, false), cli::kExitUsage);
    EXPECT_NE(err.str().find(extra[0] == "OUT" ? expected : extra[0]), std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find(expected), std::string::npos) << err.str();
    EXPECT_EQ(Files(), std::vector<std::string>{"in.png"});
  }
}

TEST(CliHelp, ExplainsEveryOptionWithItsRangeAndDefault) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"}, {"render", "--help"}}) {
    SCOPED_TRACE(args.size());
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunCommand(args, out, err, false), cli::kExitOk);
    const std::string help = out.str();
    // clang-format off
    for (const char* text :
         {"--smoother-range", "0 to 100, default 1.0", "--line-weight", "0 to 1, default 0.0",
          "--use-color-key", "default off", "--alpha-key", "default FFFFFF", "--depth",
          "8 or 16", "--row-padding", "0 to 4096, default 0", "--plugin", "--frames", "%04d",
          "--jobs", "1 to 256, default 1", "--quiet", "Smoother Range", "Line Weight",
          "Use Color Key", "Alpha Key", "--no-corner-markers",
          "every render writes an opaque pure-red pixel at each of the four corners"}) {
      EXPECT_NE(help.find(text), std::string::npos) << text;
      // clang-format on
    }
    // Each control's help comes from the control table.
    EXPECT_NE(help.find("\"Alpha Key\": the colour that the colour key makes fully transparent "
                        "(key alpha is 255), as hex RRGGBB (000000 to FFFFFF, default FFFFFF)"),
              std::string::npos)
        << help;
  }
}

}  // namespace
}  // namespace corvalin::clitest
