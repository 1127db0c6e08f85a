// Sequences through the built command: frame fields as compositors write
// them and frames found on disk, --skip-existing, a pinned render, bad frames
// among good ones, and a run stopped by SIGINT.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "cli/command.h"
#include "cli/frame_pattern.h"
#include "cli_test_support.h"

extern char** environ;

namespace corvalin::clitest {
namespace {

using cli::Image;
using namespace std::chrono_literals;

// A cel frame with a one-pixel line at column `line`, so frames differ.
Image CelFrame(int32_t w, int32_t h, int bits, int32_t line) {
  Image im = CelImage(w, h, bits);
  for (int32_t y = 2; y < h - 2; ++y) {
    uint16_t* p = &im.samples[im.index(line % w, y)];
    p[0] = p[1] = p[2] = 0;
  }
  return im;
}

std::vector<std::string> WrittenLines(const std::string& log) {
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);)
    if (line.starts_with("[")) lines.push_back(line.substr(line.find(']') + 2));
  return lines;
}

using CliSequence = ScratchTest;

TEST_F(CliSequence, FrameFieldsAndFramesFoundOnDisk) {
  for (int f : {1, 2, 3}) {
    cli::WriteImage(Path("in.000" + std::to_string(f) + ".png"), CelFrame(24, 16, 8, 4 * f));
  }
  // Names that are not this pattern's spelling of a frame.
  cli::WriteImage(Path("in.7.png"), CelFrame(24, 16, 8, 7));
  cli::WriteImage(Path("in.00004.png"), CelFrame(24, 16, 8, 4));
  cli::WriteImage(Path("in.000x.png"), CelFrame(24, 16, 8, 5));

  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> written;
  };
  const std::vector<Case> cases = {
      // No --frames: every frame on disk, in order.
      {{"in.####.png", "a.####.png"}, {"a.0001.png", "a.0002.png", "a.0003.png"}},
      {{"in.%04d.png", "b_%d.tif"}, {"b_1.tif", "b_2.tif", "b_3.tif"}},
      {{"in.@.png", "c.@@@.png"}, {"c.007.png"}},
      {{"in.#####.png", "d.#.png"}, {"d.0004.png"}},
      // A lone '#' is four digits; '@@@' three.
      {{"in.#.png", "e.@@@.png", "--frames", "3,1"}, {"e.003.png", "e.001.png"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " -> " + c.args[1]);
    std::vector<std::string> args = {Path(c.args[0]), Path(c.args[1]), "--threads", "2"};
    args.insert(args.end(), c.args.begin() + 2, c.args.end());
    const CommandResult r = RunRender(args);
    ASSERT_EQ(r.status, 0) << r.output;
    std::vector<std::string> expected;
    for (const std::string& name : c.written) expected.push_back("wrote " + Path(name));
    EXPECT_EQ(WrittenLines(r.output), expected) << r.output;
  }
  // Each frame's own picture went to its own number.
  EXPECT_EQ(cli::ReadImage(Path("a.0003.png")).samples, cli::ReadImage(Path("e.003.png")).samples);
  EXPECT_NE(cli::ReadImage(Path("a.0001.png")).samples, cli::ReadImage(Path("e.003.png")).samples);
  const CommandResult none = RunRender({Path("gone.####.png"), Path("o.####.png")});
  EXPECT_EQ(none.status, cli::kExitFailed);
  EXPECT_NE(none.output.find("no frames on disk for " + Path("gone.####.png")), std::string::npos)
      << none.output;
  const CommandResult noField = RunRender({Path("in.####.png"), Path("single.png")});
  EXPECT_EQ(noField.status, cli::kExitUsage);
  EXPECT_NE(noField.output.find("needs a frame field in OUTPUT"), std::string::npos);
}

struct FileId {
  ino_t inode;
  int64_t mtimeNs;
  bool operator==(const FileId&) const = default;
};

FileId Id(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return {st.st_ino, int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec};
}

TEST_F(CliSequence, SkipExistingRendersExactlyTheMissingFrames) {
  for (int f = 1; f <= 4; ++f)
    cli::WriteImage(Path("in.000" + std::to_string(f) + ".png"), CelFrame(32, 20, 8, 3 * f));
  ASSERT_EQ(RunRender({Path("in.####.png"), Path("out.####.png")}).status, 0);
  std::vector<Image> first;
  for (int f = 1; f <= 4; ++f)
    first.push_back(cli::ReadImage(Path("out.000" + std::to_string(f) + ".png")));
  const FileId kept1 = Id(Path("out.0001.png")), kept3 = Id(Path("out.0003.png"));
  fs::remove(Path("out.0002.png"));
  fs::remove(Path("out.0004.png"));
  std::this_thread::sleep_for(20ms);  // a rewrite would show in the modification time

  const CommandResult r = RunRender({Path("in.####.png"), Path("out.####.png"), "--skip-existing"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(WrittenLines(r.output),
            (std::vector<std::string>{
                "kept " + Path("out.0001.png") + " (it exists)", "wrote " + Path("out.0002.png"),
                "kept " + Path("out.0003.png") + " (it exists)", "wrote " + Path("out.0004.png")}));
  EXPECT_EQ(Id(Path("out.0001.png")), kept1);
  EXPECT_EQ(Id(Path("out.0003.png")), kept3);
  for (int f = 1; f <= 4; ++f) {
    EXPECT_EQ(cli::ReadImage(Path("out.000" + std::to_string(f) + ".png")).samples,
              first[static_cast<size_t>(f - 1)].samples)
        << f;
  }
}

// 64-bit FNV-1a over the samples, low byte first.
uint64_t Digest(const Image& im) {
  uint64_t h = 1469598103934665603ull;
  for (uint16_t v : im.samples) {
    for (int shift : {0, 8}) {
      h ^= static_cast<uint8_t>(v >> shift);
      h *= 1099511628211ull;
    }
  }
  return h;
}

TEST_F(CliSequence, PipelineEqualsFramesOneAtATimeAndThePinnedRender) {
  // The bundled example at both depths: the digests were taken from the
  // command as it rendered one frame at a time, before the pipeline existed.
  const std::vector<std::string> controls = {"--smoother-range", "5", "--line-weight", "0.5"};
  for (const auto& [depth, digest] :
       {std::pair{std::string("8"), 0xce4224ee87157955ull}, {"16", 0x0fc4a719f44ce971ull}}) {
    SCOPED_TRACE(depth);
    for (int f = 1; f <= 5; ++f)
      fs::copy_file(CORVALIN_EXAMPLE_PATH, Path("ex." + std::to_string(f) + ".png"),
                    fs::copy_options::overwrite_existing);
    std::vector<std::string> args = {
        Path("ex.@.png"), Path("seq.@.png"), "--depth", depth, "--threads", "3"};
    args.insert(args.end(), controls.begin(), controls.end());
    ASSERT_EQ(RunRender(args).status, 0);
    args = {Path("ex.1.png"), Path("one.png"), "--depth", depth, "--threads", "1"};
    args.insert(args.end(), controls.begin(), controls.end());
    ASSERT_EQ(RunRender(args).status, 0);
    const Image one = cli::ReadImage(Path("one.png"));
    EXPECT_EQ(Digest(one), digest) << std::hex << Digest(one);
    for (int f = 1; f <= 5; ++f)
      EXPECT_EQ(cli::ReadImage(Path("seq." + std::to_string(f) + ".png")).samples, one.samples)
          << f;
  }
}

TEST_F(CliSequence, BadFramesAreNamedAndTheOthersRender) {
  cli::WriteImage(Path("in.0001.png"), CelFrame(40, 30, 8, 5));
  // 2 is missing.
  std::ofstream(Path("in.0003.png")) << "not a PNG at all";
  cli::WriteImage(Path("in.0004.png"), CelFrame(20, 10, 8, 5));
  cli::WriteImage(Path("in.0005.png"), CelFrame(40, 30, 16, 5));
  cli::WriteImage(Path("in.0006.png"), CelFrame(40, 30, 8, 9));
  fs::create_directory(Path("out"));

  const CommandResult r =
      RunRender({Path("in.####.png"), Path("out/o.####.png"), "--frames", "1-6", "--quiet"});
  EXPECT_EQ(r.status, cli::kExitFailed);
  const std::string sequence = " but the sequence is 40 x 30, 8-bit (as frame 1)";
  for (const std::string& message :
       {"frame 2: cannot read " + Path("in.0002.png") + ": no such file",
        "frame 3: cannot read " + Path("in.0003.png") + ": ",
        "frame 4: " + Path("in.0004.png") + " is 20 x 10, 8-bit," + sequence,
        "frame 5: " + Path("in.0005.png") + " is 40 x 30, 16-bit," + sequence,
        std::string("corvalin: 4 of 6 frames failed")}) {
    EXPECT_NE(r.output.find(message), std::string::npos) << message << "\n" << r.output;
  }
  std::vector<std::string> written;
  for (const auto& e : fs::directory_iterator(Path("out")))
    written.push_back(e.path().filename().string());
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"o.0001.png", "o.0006.png"}));

  // An output folder that is not there: every frame says so.
  const CommandResult folder =
      RunRender({Path("in.####.png"), Path("gone/o.####.png"), "--frames", "1,6"});
  EXPECT_EQ(folder.status, cli::kExitFailed);
  for (const char* f : {"1", "6"}) {
    EXPECT_NE(
        folder.output.find(std::string("frame ") + f + ": cannot write " + Path("gone/o.000") + f +
                           ".png: the folder " + Path("gone") + " does not exist"),
        std::string::npos)
        << folder.output;
  }
}

TEST_F(CliSequence, AFullDiskFailsOnlyTheFramesItCuts) {
  // A file size limit stands in for a full disk: writes beyond it fail.
  // Noise does not compress (27 KiB as PNG), a flat frame does (0.1 KiB).
  Image noise = FlatImage(96, 72, 8, 0, 0, 0, 255);
  uint32_t seed = 12345;
  for (uint16_t& v : noise.samples)
    v = static_cast<uint16_t>((seed = seed * 1664525u + 1013904223u) >> 24);
  cli::WriteImage(Path("in.0001.png"), FlatImage(96, 72, 8, 40, 90, 200, 255));
  cli::WriteImage(Path("in.0002.png"), noise);
  cli::WriteImage(Path("in.0003.png"), FlatImage(96, 72, 8, 200, 90, 40, 255));
  fs::create_directory(Path("out"));
  const CommandResult r =
      RunRender({Path("in.####.png"), Path("out/o.####.png")}, "ulimit -f 16; ");  // 8 or 16 KiB
  EXPECT_EQ(r.status, cli::kExitFailed);
  EXPECT_NE(r.output.find("frame 2: cannot write " + Path("out/o.0002.png") + ": File too large"),
            std::string::npos)
      << r.output;
  std::vector<std::string> written;
  for (const auto& e : fs::directory_iterator(Path("out")))
    written.push_back(e.path().filename().string());
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"o.0001.png", "o.0003.png"}));
}

TEST_F(CliSequence, SigintStopsPromptlyKeepsCompletedFramesAndLeavesNoTemporaries) {
  constexpr int kFrames = 120;
  cli::WriteImage(Path("in.0001.png"), CelImage(1280, 720, 8));
  for (int f = 2; f <= kFrames; ++f) {
    char name[32];
    std::snprintf(name, sizeof name, "in.%04d.png", f);
    fs::create_hard_link(Path("in.0001.png"), Path(name));
  }
  fs::create_directory(Path("out"));
  ASSERT_EQ(RunRender({Path("in.0001.png"), Path("reference.png"), "--threads", "1"}).status, 0);
  const Image reference = cli::ReadImage(Path("reference.png"));

  const std::string in = Path("in.####.png"), out = Path("out/o.####.png");
  std::vector<std::string> args = {CORVALIN_CLI_PATH, "render", in, out, "--threads", "2", "-q"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
  // Mid-sequence: once two frames are complete (not always the first two:
  // frames finish in any order).
  auto completed = [&] {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(Path("out")))
      n += !e.path().filename().string().starts_with(".");
    return n;
  };
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (completed() < 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  ASSERT_EQ(::kill(pid, SIGINT), 0);
  const auto signalled = std::chrono::steady_clock::now();
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, 3s);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGINT);

  size_t complete = 0;
  for (const auto& e : fs::directory_iterator(Path("out"))) {
    const std::string name = e.path().filename().string();
    EXPECT_FALSE(name.starts_with(".")) << "temporary file left: " << name;
    EXPECT_EQ(cli::ReadImage(e.path().string()).samples, reference.samples) << name;
    ++complete;
  }
  EXPECT_GE(complete, 2u);
  EXPECT_LT(complete, static_cast<size_t>(kFrames));

  // Started again, it renders what is missing and keeps the rest.
  const CommandResult rerun = RunRender({in, out, "--skip-existing", "-q"});
  ASSERT_EQ(rerun.status, 0) << rerun.output;
  EXPECT_EQ(static_cast<size_t>(
                std::distance(fs::directory_iterator(Path("out")), fs::directory_iterator{})),
            static_cast<size_t>(kFrames));
}

TEST(CliDiscoverFrames, OnlyThePatternsOwnSpellingCounts) {
  const fs::path dir =
      fs::temp_directory_path() / ("corvalin_discover_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  for (const char* name : {"s.0007.png", "s.7.png", "s.12345.png", "s.0012.PNG", "s.1000000000.png",
                           "s.0003.png", "t.0001.png", "s.-001.png"}) {
    std::ofstream((dir / name).string()) << "x";
  }
  const std::string base = dir.string() + "/";
  EXPECT_EQ(cli::DiscoverFrames(*cli::FindFramePattern(base + "s.####.png")),
            (std::vector<int64_t>{3, 7, 12345}));
  EXPECT_EQ(cli::DiscoverFrames(*cli::FindFramePattern(base + "s.%d.png")),
            (std::vector<int64_t>{7, 12345}));
  EXPECT_TRUE(cli::DiscoverFrames(*cli::FindFramePattern(base + "u.####.png")).empty());
  EXPECT_THROW(cli::DiscoverFrames(*cli::FindFramePattern(base + "#/s.png")), cli::CliError);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace corvalin::clitest
