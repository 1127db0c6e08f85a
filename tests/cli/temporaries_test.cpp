// Temporary files under names already in use: on a farm, a task on another
// node may have the same process id and write the same frame, and a killed
// task leaves its temporaries behind. And names at the folder's limit, whose
// temporaries must fit it too.
#include <unistd.h>

#include <fstream>

#include "cli/frame_io.h"
#include "cli/input_format.h"
#include "cli_test_support.h"

namespace corvalin::clitest {
namespace {

using CliTemporaries = ScratchTest;

TEST_F(CliTemporaries, ANameInUseIsPassedOverAndKeepsWhatItHolds) {
  cli::WriteImage(Path("in.png"), CelImage(40, 30, 8));
  ASSERT_EQ(RunRender({Path("in.png"), Path("reference.png")}).status, 0);
  // The shell execs the command, so $$ is the command's process id: these
  // are the names its first eight temporaries would get.
  const std::string taken = "'" + Path(".out.png.tmp") + "'$$-$k.png";
  const std::string prelude =
      "for k in 0 1 2 3 4 5 6 7; do echo foreign >" + taken + "; done; exec ";
  const CommandResult r = RunRender({Path("in.png"), Path("out.png")}, prelude);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(cli::ReadImage(Path("out.png")).samples, cli::ReadImage(Path("reference.png")).samples);
  size_t foreign = 0;
  for (const std::string& name : Files()) {
    if (!name.starts_with(".out.png.tmp")) continue;
    std::ifstream in(Path(name));
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "foreign") << name;
    ++foreign;
  }
  EXPECT_EQ(foreign, 8u);
}

TEST(CliTemporaryName, FitsTheLimitKeepingTheExtensionAndTheUniquePart) {
  using cli::TemporaryFileName;
  EXPECT_EQ(TemporaryFileName("out.png", "812-3", 255), ".out.png.tmp812-3.png");
  // Exactly at the limit nothing is cut; under it the output's name gives way.
  EXPECT_EQ(TemporaryFileName("abcd.exr", "1-2", 20), ".abcd.exr.tmp1-2.exr");
  EXPECT_EQ(TemporaryFileName("abcd.exr", "1-2", 19), ".abcd.ex.tmp1-2.exr");
  EXPECT_EQ(TemporaryFileName("abcd.exr", "1-2", 12), "..tmp1-2.exr");
  const std::string longest(251, 'n');
  const std::string temp = TemporaryFileName(longest + ".tif", "4194304-18446744073709551615", 255);
  EXPECT_EQ(temp, "." + std::string(218, 'n') + ".tmp4194304-18446744073709551615.tif");
  // A cut never splits a character: each "é" is two bytes, and 19 would end inside one.
  const std::string accents = "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9.png";
  EXPECT_EQ(TemporaryFileName(accents, "7-0", 20), ".\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9.tmp7-0.png");
  EXPECT_EQ(TemporaryFileName(accents, "7-0", 19), ".\xC3\xA9\xC3\xA9\xC3\xA9.tmp7-0.png");
}

using CliLongNames = ScratchTest;

TEST_F(CliLongNames, AnOutputNamedAtTheFoldersLimitRendersAndLeavesOnlyItself) {
  cli::WriteImage(Path("in.png"), CelImage(40, 30, 8));
  const long max = ::pathconf(dir_.c_str(), _PC_NAME_MAX);
  const size_t limit = max > 0 ? static_cast<size_t>(max) : 255;
  // The OpenImageIO writer picks its format from the temporary's extension.
  for (const std::string extension : {".png", ".exr", ".tif"}) {
    SCOPED_TRACE(extension);
    const std::string name = std::string(limit - extension.size(), 'o') + extension;
    const CommandResult r = RunRender({Path("in.png"), Path(name)});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Files(), (std::vector<std::string>{"in.png", name}));
    EXPECT_EQ(cli::FormatOfPath(name), cli::DetectInputFormat(Path(name)));
    fs::remove(Path(name));
  }
  // A sequence too, frames in flight at once each with a temporary of its own.
  const std::string head(limit - 8, 's');
  const CommandResult r =
      RunRender({Path("in.png"), Path(head + "####.png"), "--frames", "1-3", "--threads", "3"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Files(), (std::vector<std::string>{"in.png", head + "0001.png", head + "0002.png",
                                               head + "0003.png"}));
}

}  // namespace
}  // namespace corvalin::clitest
