// Temporary files under names already in use: on a farm, a task on another
// node may have the same process id and write the same frame, and a killed
// task leaves its temporaries behind.
#include <fstream>

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
  const std::string prelude = "for k in 0 1 2 3 4 5 6 7; do echo foreign >" + taken + "; done; exec ";
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

}  // namespace
}  // namespace corvalin::clitest
