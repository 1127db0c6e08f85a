// The progress report: the bar's numbers, plain lines off a terminal, and
// errors that get through --quiet.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/progress.h"

namespace corvalin::clitest {
namespace {

TEST(CliProgress, BarShowsFramesRateAndTimeLeft) {
  EXPECT_EQ(cli::Progress::Bar(0, 10, 0.0),
            "[..............................] 0/10 frames  0.0 fps  --:-- left");
  EXPECT_EQ(cli::Progress::Bar(5, 10, 2.0),
            "[###############...............] 5/10 frames  2.5 fps  0:02 left");
  EXPECT_EQ(cli::Progress::Bar(1, 4000, 1.0).substr(32), " 1/4000 frames  1.0 fps  1:06:39 left");
  EXPECT_EQ(cli::Progress::Bar(7, 7, 3.5).substr(0, 32), "[" + std::string(30, '#') + "]");
}

TEST(CliProgress, PlainLinesAndQuiet) {
  std::ostringstream plain, quiet;
  {
    cli::Progress p(plain, 2, false, false);
    p.Done("a.png");
    p.Failed("frame 2: cannot read b.png: no such file");
    p.Finish();
  }
  EXPECT_EQ(plain.str(),
            "[1/2] wrote a.png\n"
            "corvalin: error: frame 2: cannot read b.png: no such file\n"
            "corvalin: 1 of 2 frames failed\n");
  {
    cli::Progress p(quiet, 3, true, true);
    p.Done("a.png");
    p.Failed("bad");
    p.Done("c.png");
    p.Finish();
  }
  EXPECT_EQ(quiet.str(), "corvalin: error: bad\ncorvalin: 1 of 3 frames failed\n");
}

}  // namespace
}  // namespace corvalin::clitest
