// Threads per frame: the banded parallel scan must write the same files as the
// module's serial render, and the option's limits are enforced.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/command.h"
#include "cli_test_support.h"

namespace corvalin::clitest {
namespace {

using CliThreads = ScratchTest;

TEST_F(CliThreads, EveryThreadCountWritesTheSerialRender) {
  for (int bits : {8, 16}) {
    cli::WriteImage(Path("cel.png"), CelImage(61, 97, bits));
    ASSERT_EQ(RunRender({Path("cel.png"), Path("serial.png"), "--threads", "1", "--line-weight",
                         "0.5", "--row-padding", "3"})
                  .status,
              0);
    const cli::Image serial = cli::ReadImage(Path("serial.png"));
    for (const char* threads : {"2", "3", "8"}) {
      const CommandResult r = RunRender({Path("cel.png"), Path("banded.png"), "--threads", threads,
                                         "--line-weight", "0.5", "--row-padding", "3"});
      ASSERT_EQ(r.status, 0) << r.output;
      EXPECT_EQ(cli::ReadImage(Path("banded.png")).samples, serial.samples)
          << bits << "-bit, " << threads << " threads";
    }
  }
}

TEST_F(CliThreads, OutOfRangeIsRefused) {
  cli::WriteImage(Path("cel.png"), CelImage(16, 16, 8));
  for (const char* threads : {"0", "257", "-1", "two"}) {
    const CommandResult r = RunRender({Path("cel.png"), Path("out.png"), "--threads", threads});
    EXPECT_EQ(r.status, cli::kExitUsage) << threads;
    EXPECT_NE(r.output.find("256"), std::string::npos) << r.output;
  }
  EXPECT_FALSE(fs::exists(Path("out.png")));
}

TEST(CliThreadOptions, OneCountForTheRunAndEarlierScriptsKeepTheirThreads) {
  auto threads = [](std::vector<std::string> extra) {
    std::vector<std::string> args = {"render", "in.png", "out.png"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::ostringstream out, err;
    int status = -1;
    const auto options = cli::ParseCommandLine(args, out, err, &status);
    return options ? options->frame.threads : -1;
  };
  EXPECT_EQ(threads({"--threads", "3"}), 3);
  // --jobs N with --threads T: N frames of T threads each, as before.
  EXPECT_EQ(threads({"--jobs", "4", "--threads", "2"}), 8);
  EXPECT_EQ(threads({"--jobs", "200", "--threads", "200"}), 256);
  // A module file no longer forces one thread: its frames render at once.
  EXPECT_EQ(threads({"--threads", "4", "--plugin", "m.so"}), 4);
}

}  // namespace
}  // namespace corvalin::clitest
