// Frame fields in file names and frame lists, and the plan that pairs them.
#include <gtest/gtest.h>

#include "cli/command.h"
#include "cli/frame_pattern.h"

namespace corvalin::clitest {
namespace {

using cli::FindFramePattern;
using cli::ParseFrameList;

std::string Expand(const std::string& pattern, int64_t frame) {
  auto p = FindFramePattern(pattern);
  return p ? p->Expand(frame) : "<no field>";
}

TEST(CliFramePattern, FieldSpellings) {
  EXPECT_EQ(Expand("shot/plate.#.png", 7), "shot/plate.0007.png");
  EXPECT_EQ(Expand("plate.@.png", 7), "plate.7.png");
  EXPECT_EQ(Expand("plate.@@@.png", 7), "plate.007.png");
  EXPECT_EQ(Expand("plate.##.png", 7), "plate.00000007.png");
  EXPECT_EQ(Expand("plate.%04d.png", 1001), "plate.1001.png");
  EXPECT_EQ(Expand("plate.%06d.tif", 42), "plate.000042.tif");
  EXPECT_EQ(Expand("plate_%d.tga", 42), "plate_42.tga");
  // Numbers wider than the field keep every digit.
  EXPECT_EQ(Expand("plate.#.png", 123456), "plate.123456.png");
}

TEST(CliFramePattern, NamesWithoutAFieldAndLiteralPercents) {
  EXPECT_FALSE(FindFramePattern("plate.png"));
  EXPECT_FALSE(FindFramePattern("100%.png"));
  EXPECT_FALSE(FindFramePattern("a%sb.png"));
  EXPECT_FALSE(FindFramePattern("a%0xd.png"));
  EXPECT_EQ(Expand("50%_#.png", 3), "50%_0003.png");
}

TEST(CliFramePattern, TwoFieldsAreRefused) {
  EXPECT_THROW(FindFramePattern("#/plate.#.png"), cli::CliError);
  EXPECT_THROW(FindFramePattern("plate.%04d.@.png"), cli::CliError);
}

TEST(CliFrameList, RangesStepsAndLists) {
  EXPECT_EQ(ParseFrameList("5"), (std::vector<int64_t>{5}));
  EXPECT_EQ(ParseFrameList("1001-1004"), (std::vector<int64_t>{1001, 1002, 1003, 1004}));
  EXPECT_EQ(ParseFrameList("1-10x3"), (std::vector<int64_t>{1, 4, 7, 10}));
  EXPECT_EQ(ParseFrameList("1-9x4"), (std::vector<int64_t>{1, 5, 9}));
  EXPECT_EQ(ParseFrameList("0-2x5"), (std::vector<int64_t>{0}));
  // In the order given, each frame once.
  EXPECT_EQ(ParseFrameList("9,1-3,2,9"), (std::vector<int64_t>{9, 1, 2, 3}));
  EXPECT_EQ(ParseFrameList("999999999").back(), 999999999);
}

TEST(CliFrameList, MalformedListsNameThePartAndTheForms) {
  for (const char* bad : {"", ",", "1,", "a", "1-", "-5", "5-1", "1-10x0", "1-10x", "1x2",
                          "1-2-3", "1 - 3", "1000000000", "3x1-5"}) {
    SCOPED_TRACE(bad);
    try {
      ParseFrameList(bad);
      ADD_FAILURE() << "accepted";
    } catch (const cli::CliError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find("--frames"), std::string::npos) << message;
      EXPECT_NE(message.find("1001-1100"), std::string::npos) << message;
    }
  }
}

TEST(CliFrameList, TooManyFramesAreRefused) {
  EXPECT_THROW(ParseFrameList("0-999999999"), cli::CliError);
  EXPECT_EQ(ParseFrameList("1-1000000").size(), cli::kMaxFrameCount);
}

TEST(CliFramePlan, PairsInputAndOutputNames) {
  cli::CommandOptions options;
  options.input = "in.#.png";
  options.output = "out/%03d.tif";
  options.frames = "8-12x2";
  const auto jobs = cli::PlanFrames(options);
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_EQ(jobs[1].frame, 10);
  EXPECT_EQ(jobs[1].input, "in.0010.png");
  EXPECT_EQ(jobs[1].output, "out/010.tif");

  // A still input is held for every frame.
  options.input = "still.png";
  EXPECT_EQ(cli::PlanFrames(options)[2].input, "still.png");

  // Without --frames the names are taken as they are.
  options.frames.reset();
  options.input = "a#b.png";
  const auto single = cli::PlanFrames(options);
  ASSERT_EQ(single.size(), 1u);
  EXPECT_EQ(single[0].input, "a#b.png");
  EXPECT_EQ(single[0].output, "out/%03d.tif");

  // Frames into one output name would overwrite each other.
  options.frames = "1-2";
  options.output = "out.png";
  EXPECT_THROW(cli::PlanFrames(options), cli::CliError);
}

}  // namespace
}  // namespace corvalin::clitest
