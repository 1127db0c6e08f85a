// Frame fields in file names and frame lists, and the plan that pairs them.
#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "cli/command.h"
#include "cli/frame_pattern.h"

namespace corvalin::clitest {
namespace {

using cli::FindFramePattern;
using cli::ParseFrameList;

TEST(CliFramePattern, FieldSpellingsAndNamesWithoutAField) {
  for (auto [pattern, frame, name] : {
           std::tuple{"shot/plate.#.png", 7, "shot/plate.0007.png"},
           {"plate.@.png", 7, "plate.7.png"},
           {"plate.@@@.png", 7, "plate.007.png"},
           {"plate.##.png", 7, "plate.07.png"},
           {"shot.####.png", 1001, "shot.1001.png"},
           {"shot.######.exr", 1001, "shot.001001.exr"},
           {"plate.%04d.png", 1001, "plate.1001.png"},
           {"plate.%06d.tif", 42, "plate.000042.tif"},
           {"plate_%d.tga", 42, "plate_42.tga"},
           {"plate.#.png", 123456, "plate.123456.png"},  // wider numbers keep every digit
           {"50%_#.png", 3, "50%_0003.png"},
       }) {
    const auto p = FindFramePattern(pattern);
    ASSERT_TRUE(p) << pattern;
    EXPECT_EQ(p->Expand(frame), name);
  }
  for (const char* still : {"plate.png", "100%.png", "a%sb.png", "a%0xd.png"}) {
    EXPECT_FALSE(FindFramePattern(still)) << still;
  }
}

TEST(CliFramePattern, TwoFieldsAreRefused) {
  EXPECT_THROW(FindFramePattern("#/plate.#.png"), cli::CliError);
  EXPECT_THROW(FindFramePattern("plate.%04d.@.png"), cli::CliError);
}

TEST(CliFramePattern, EveryKindOfFieldHasTheOneWidthLimit) {
  for (const std::string& widest :
       {std::string(18, '#'), std::string(18, '@'), std::string("%018d")}) {
    EXPECT_EQ(FindFramePattern("o." + widest + ".png")->digits, cli::kMaxFieldDigits);
  }
  // A long field is shown by its start: the path holds all of it.
  for (auto [field, shown, width] : {
           std::tuple{std::string(19, '#'), std::string(19, '#'), std::string("19")},
           {"#@#@#@#@#@#@#@#@#@@", "#@#@#@#@#@#@#@#@#@@", "19"},
           {"%019d", "%019d", "19"},
           {std::string(1000, '@'), std::string(16, '@') + "...", "1000"},
           {"%0" + std::string(40, '9') + "d", "%0" + std::string(14, '9') + "...",
            std::string(40, '9')},
       }) {
    const std::string path = "shot/o." + field + ".png";
    try {
      FindFramePattern(path);
      ADD_FAILURE() << "accepted " << path;
    } catch (const cli::CliError& e) {
      EXPECT_EQ(std::string(e.what()), path + ": the frame field '" + shown + "' has a width of " +
                                           width + " digits; the width must be 1 to 18");
    }
  }
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
  for (const char* bad : {"", ",", "1,", "a", "1-", "-5", "5-1", "1-10x0", "1-10x", "1x2", "1-2-3",
                          "1 - 3", "1000000000", "3x1-5"}) {
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

TEST(CliFrameList, NegativeFramesAndStepsAreNamedAsSuch) {
  const std::string negative = "has a negative frame number, but frames count from 0";
  for (auto [text, part, why] : {
           std::tuple{"-5--1", "-5--1", negative},
           {"-5", "-5", negative},
           {"-5-3", "-5-3", negative},
           {"1--3", "1--3", negative},
           {"4,-0", "-0", negative},
           {"1-10x-2", "1-10x-2", std::string("has a negative step, but a step is 1 or more")},
           // A dash without a number after it is no minus sign.
           {"3--", "3--", std::string("is not a number")},
       }) {
    try {
      ParseFrameList(text);
      ADD_FAILURE() << "accepted " << text;
    } catch (const cli::CliError& e) {
      EXPECT_EQ(std::string(e.what()), "--frames: '" + std::string(part) + "' " + why +
                                           "; use frames such as 1001-1100, 1-10x2 or 1,5,9 "
                                           "(numbers 0 to 999999999)");
    }
  }
}

TEST(CliFrameList, TooManyFramesAreRefused) {
  EXPECT_THROW(ParseFrameList("0-999999999"), cli::CliError);
  // Overlapping ranges are counted as listed, before they are walked.
  std::string overlapping = "0-999999";
  for (int i = 1; i < 400; ++i) overlapping += ",0-999999";
  EXPECT_THROW(ParseFrameList(overlapping), cli::CliError);
  EXPECT_THROW(ParseFrameList("1-600000,1-600000"), cli::CliError);
  EXPECT_EQ(ParseFrameList("1-500000,1-500000").size(), 500000u);
  EXPECT_EQ(ParseFrameList("1-1000000").size(), cli::kMaxFrameCount);
}

TEST(CliFramePlan, PairsInputAndOutputNames) {
  using Jobs = std::vector<std::tuple<int64_t, std::string, std::string>>;
  const auto plan = [](std::string in, std::string out, std::optional<std::string> frames) {
    cli::CommandOptions options;
    options.input = std::move(in);
    options.output = std::move(out);
    options.frames = std::move(frames);
    Jobs jobs;
    for (const auto& j : cli::PlanFrames(options)) jobs.emplace_back(j.frame, j.input, j.output);
    return jobs;
  };
  EXPECT_EQ(plan("in.#.png", "out/%03d.tif", "8-12x2"), (Jobs{{8, "in.0008.png", "out/008.tif"},
                                                              {10, "in.0010.png", "out/010.tif"},
                                                              {12, "in.0012.png", "out/012.tif"}}));
  // A still input is held for every frame; without --frames it cannot fill a
  // pattern OUTPUT, whose field would end up in the file's name.
  EXPECT_EQ(plan("still.png", "o.@.png", "1-2"),
            (Jobs{{1, "still.png", "o.1.png"}, {2, "still.png", "o.2.png"}}));
  EXPECT_EQ(plan("a.png", "out/a.tif", std::nullopt), (Jobs{{-1, "a.png", "out/a.tif"}}));
  EXPECT_THROW(plan("a.png", "out/%03d.tif", std::nullopt), cli::CliError);
  // Frames into one output name would overwrite each other.
  EXPECT_THROW(plan("in.#.png", "out.png", "1-2"), cli::CliError);
}

}  // namespace
}  // namespace corvalin::clitest
