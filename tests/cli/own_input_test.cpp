// Output names against input names: an output that is an input of the run,
// by any spelling or link, is refused before anything renders and the inputs
// stay byte for byte; an existing INPUT is a still whatever its name holds,
// and a still needs --frames to fill a pattern OUTPUT.
#include <chrono>
#include <fstream>
#include <iterator>

#include "cli/command.h"
#include "cli_test_support.h"

namespace corvalin::clitest {
namespace {

class CliOwnInput : public ScratchTest {
 protected:
  // Every regular file's name and bytes.
  std::vector<std::pair<std::string, std::string>> Snapshot() const {
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& name : Files()) {
      if (!fs::is_regular_file(Path(name))) continue;
      std::ifstream in(Path(name), std::ios::binary);
      files.emplace_back(name, std::string(std::istreambuf_iterator<char>(in), {}));
    }
    return files;
  }
  // A usage error saying "OUTPUT out is the same file as INPUT in", nothing changed.
  void ExpectRefused(std::vector<std::string> args, const std::string& out, const std::string& in) {
    SCOPED_TRACE(args[0] + " -> " + args[1]);
    const auto before = Snapshot();
    const CommandResult r = RunRender(args);
    EXPECT_EQ(r.status, cli::kExitUsage) << r.output;
    EXPECT_NE(r.output.find("OUTPUT " + out + " is the same file as INPUT " + in +
                            "; its render would replace an input of the run: name another OUTPUT"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(Snapshot(), before);
  }
};

TEST_F(CliOwnInput, AnOutputThatIsAnInputIsRefused) {
  cli::WriteImage(Path("a.png"), CelImage(24, 16, 8));
  fs::create_directory(Path("sub"));
  fs::create_hard_link(Path("a.png"), Path("hard.png"));
  fs::create_symlink(Path("a.png"), Path("soft.png"));
  for (const std::string out : {"a.png", "./a.png", "sub/../a.png", "hard.png", "soft.png"}) {
    ExpectRefused({Path("a.png"), Path(out)}, Path(out), Path("a.png"));
  }
  ExpectRefused({Path("a.png"), Path("a.png"), "--skip-existing"}, Path("a.png"), Path("a.png"));
  // Before the file exists the same name is enough.
  ExpectRefused({Path("gone.png"), Path("sub/../gone.png")}, Path("sub/../gone.png"),
                Path("gone.png"));

  for (const char* name : {"in.0001.png", "in.0002.png", "s.1.png", "s.10.png"}) {
    cli::WriteImage(Path(name), CelImage(24, 16, 8));
  }
  ExpectRefused({Path("in.####.png"), Path("in.%04d.png")}, Path("in.0001.png") + " (frame 1)",
                Path("in.0001.png") + " (frame 1)");
  // Frame 1's output is frame 10's input; frame 4 is not on disk.
  ExpectRefused({Path("s.%d.png"), Path("s.%d0.png"), "--frames", "1,10"},
                Path("s.10.png") + " (frame 1)", Path("s.10.png") + " (frame 10)");
  ExpectRefused({Path("in.####.png"), Path("sub/../in.####.png"), "--frames", "4"},
                Path("sub/../in.0004.png") + " (frame 4)", Path("in.0004.png") + " (frame 4)");
  // Reruns with --skip-existing: CliSequence.SkipExistingRendersExactlyTheMissingFrames.
}

TEST(CliOwnInputCheck, IsLinearInTheFrames) {
  std::vector<cli::FrameJob> jobs;
  for (int64_t f = 0; f < 200000; ++f) {
    jobs.push_back(
        {f, "/none/in." + std::to_string(f) + ".png", "/none/out." + std::to_string(f) + ".png"});
  }
  // A comparison of every pair would take minutes.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_NO_THROW(cli::CheckOutputsSpareInputs(jobs));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  jobs.back().output = "/none/sub/../in.0.png";
  EXPECT_THROW(cli::CheckOutputsSpareInputs(jobs), cli::CliError);
}

TEST_F(CliOwnInput, AnExistingInputIsAStillAndAStillNeedsFramesForAPattern) {
  cli::Image other = CelImage(24, 16, 8);
  for (size_t i = 0; i < other.samples.size(); i += 4) other.samples[i] = 0;
  cli::WriteImage(Path("lit#.png"), CelImage(24, 16, 8));
  cli::WriteImage(Path("lit0005.png"), other);
  ASSERT_EQ(RunRender({Path("lit#.png"), Path("still.png")}).status, 0);
  ASSERT_EQ(RunRender({Path("lit#.png"), Path("o.####.png"), "--frames", "5"}).status, 0);
  const auto still = cli::ReadImage(Path("still.png")).samples;
  EXPECT_EQ(cli::ReadImage(Path("o.0005.png")).samples, still);
  ASSERT_EQ(RunRender({Path("lit0005.png"), Path("frame.png")}).status, 0);
  EXPECT_NE(cli::ReadImage(Path("frame.png")).samples, still);

  const auto before = Files();
  const CommandResult r = RunRender({Path("still.png"), Path("still2.####.png")});
  EXPECT_EQ(r.status, cli::kExitUsage) << r.output;
  EXPECT_NE(r.output.find("INPUT " + Path("still.png") + " is a single image, and OUTPUT " +
                          Path("still2.####.png") + " has a frame field: give --frames"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(Files(), before);
}

}  // namespace
}  // namespace corvalin::clitest
